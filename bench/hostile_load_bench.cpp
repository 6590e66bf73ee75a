// How fast the DOM refuses hostile and malformed files: an entity bomb, an
// external entity, a remote DTD, a truncated file. A refusal must cost no
// more than reading the bytes (nothing is expanded or fetched), so each is
// loaded many times and the time per load printed, beside a sound file of
// the same kind for comparison. A refusal slower than a millisecond is
// flagged.
//
//   bench_hostile_load_bench [loads=2000]
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/measure.h"
#include "platform/com/com.h"
#include "platform/core/device.h"
#include "platform/msxml/msxml.h"

namespace {

void write_bytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

// Loads \f.xml `loads` times; how many loads succeeded.
int load_many(int loads) {
  int loaded = 0;
  BSTR path = SysAllocString(u"\\f.xml");
  for (int i = 0; i < loads; ++i) {
    IXMLDOMDocument* doc = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IXMLDOMDocument, reinterpret_cast<void**>(&doc))))
      break;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = path;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (SUCCEEDED(doc->load(v, &ok)) && ok == VARIANT_TRUE) ++loaded;
    doc->Release();
  }
  SysFreeString(path);
  return loaded;
}

}  // namespace

int main(int argc, char** argv) {
  const int loads = argc > 1 ? std::atoi(argv[1]) : 2000;
  char tmpl[] = "/tmp/vardel-hostile-bench-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  const std::filesystem::path root = tmpl;
  vardel::device::set_root(root / "device");
  std::filesystem::create_directories(root / "device");
  write_bytes(root / "secret.txt", "secret");
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  vardel::msxml::register_classes();

  std::string lol = "<!ENTITY lol \"lol\">";
  std::string prev = "lol";
  for (int level = 1; level <= 9; ++level) {
    std::string name = "lol" + std::to_string(level), value;
    for (int k = 0; k < 10; ++k) value += "&" + prev + ";";
    lol += "<!ENTITY " + name + " \"" + value + "\">";
    prev = name;
  }
  const std::string full =
      "<?xml version=\"1.0\"?>\r\n<CONTACTS>\r\n<VCARD TITLE=\"A\"><NOTE>n</NOTE></VCARD>"
      "\r\n</CONTACTS>\r\n";
  struct {
    const char* what;
    std::string bytes;
    bool sound;
  } cases[] = {
      {"sound file", full, true},
      {"entity bomb (10^9 expansions)",
       "<?xml version=\"1.0\"?><!DOCTYPE lolz [" + lol + "]><CONTACTS><VCARD TITLE=\"&" + prev +
           ";\"/></CONTACTS>",
       false},
      {"external entity",
       "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY x SYSTEM \"file://" +
           (root / "secret.txt").string() + "\">]><CONTACTS>&x;</CONTACTS>",
       false},
      {"remote DTD", "<!DOCTYPE CONTACTS SYSTEM \"http://127.0.0.1:9/contacts.dtd\"><CONTACTS/>",
       false},
      {"truncated", full.substr(0, full.size() / 2), false},
  };
  std::printf("%-32s %8s %10s %10s\n", "file", "loads", "us/load", "cpu us");
  bool ok = true;
  for (auto& c : cases) {
    write_bytes(root / "device" / "f.xml", c.bytes);
    const auto start = std::chrono::steady_clock::now();
    const double cpu = cpu_seconds();
    const int loaded = load_many(loads);
    const double each = seconds_since(start) * 1e6 / loads;
    const double cpu_each = (cpu_seconds() - cpu) * 1e6 / loads;
    const bool right = loaded == (c.sound ? loads : 0);
    const bool slow = !c.sound && cpu_each > 1000;
    std::printf("%-32s %8d %10.1f %10.1f%s%s\n", c.what, loads, each, cpu_each,
                right ? "" : "  WRONG RESULT", slow ? "  SLOW" : "");
    ok = ok && right && !slow;
  }
  CoUninitialize();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return ok ? 0 : 1;
}
