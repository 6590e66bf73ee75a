// Figures for the core stand-ins on the paths the program takes often:
// formatting, case-insensitive compares, the trace points when tracing is
// off, an unarmed fault check, device path mapping, and BSTR churn.
//
//   make bench   (or build with -DVARDEL_BENCH=ON and run bench_core_bench)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/com/com.h"
#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/windows.h"

namespace {

int g_sink = 0;  // keeps results alive; printed at the end

template <typename F>
void measure(const char* name, int iterations, F&& body) {
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) body(i);
  auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-44s %10.1f ns/op  (%d ops)\n", name, ns / iterations, iterations);
}

}  // namespace

int main() {
  WCHAR buf[MAX_PATH];
  measure("swprintf \"%8x - %6d -- \"", 1'000'000,
          [&](int i) { g_sink += swprintf(buf, MAX_PATH, u"%8x - %6d -- ", 0x1a2bu + i, i); });
  measure("swprintf dated backup name", 1'000'000, [&](int i) {
    g_sink += swprintf(buf, MAX_PATH, u"%s\\通讯录%02d%02d%02d_%02d%02d%02d.xml",
                       u"Storage Card\\vardelbackup", 9, 3, 29, i % 24, 2, 30);
  });
  measure("_wcsicmp 24 units, equal folded", 2'000'000, [&](int) {
    g_sink += _wcsicmp(u"Storage Card\\VardelBackup", u"STORAGE CARD\\vardelbackup");
  });
  measure("_wcsicmp Cyrillic/Greek 12 units", 2'000'000,
          [&](int) { g_sink += _wcsicmp(u"ПРИВЕТ ΣΊΣΥΦΟΣ", u"привет σίσυφος"); });
  vardel::core::set_debug_output(false);
  measure("NKDbgPrintfW, tracing off", 10'000'000,
          [&](int i) { NKDbgPrintfW(u"CXMLTextWriter::SavePhoneContactsToXML i = %d\r\n", i); });
  measure("fault::check, nothing armed", 10'000'000,
          [&](int) { g_sink += vardel::fault::check("poom.Contact.Save"); });
  measure("SysAllocString + SysFreeString", 2'000'000, [&](int) {
    BSTR b = SysAllocString(u"TEL/CELL");
    g_sink += static_cast<int>(SysStringLen(b));
    SysFreeString(b);
  });

  std::string tmpl = (std::filesystem::temp_directory_path() / "vardel-bench-XXXXXX").string();
  if (::mkdtemp(tmpl.data())) {
    vardel::device::set_root(tmpl);
    std::filesystem::create_directories(std::filesystem::path(tmpl) / "Storage Card" /
                                        "vardelbackup");
    measure("device::to_host, 3 names on disk", 100'000, [&](int) {
      g_sink += static_cast<int>(
          vardel::device::to_host(u"\\Storage Card\\vardelbackup\\通讯录.xml")->native().size());
    });
    measure("device::to_host, name found ignoring case", 100'000, [&](int) {
      g_sink += static_cast<int>(
          vardel::device::to_host(u"\\storage card\\VARDELBACKUP")->native().size());
    });
    std::filesystem::remove_all(tmpl);
  }
  std::printf("(checksum %d)\n", g_sink);
  return 0;
}
