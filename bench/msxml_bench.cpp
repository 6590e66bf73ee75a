// The XML DOM at the size of a large address book: build 100,000 record
// elements of about a dozen children each (every field looked up before it
// is created, as the backup writer does), save them, load the file again,
// and make the 53 relative lookups per record that the restore makes.
//
//   bench_msxml_bench [records]    (default 100000)
#include <stdlib.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/device.h"
#include "platform/msxml/msxml.h"

namespace {

// Process CPU time: the build machine is shared, so wall time says little.
struct Clock {
  struct time_point {
    double wall, cpu;
  };
  static time_point now() {
    timespec c{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c);
    return {
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
        static_cast<double>(c.tv_sec) + static_cast<double>(c.tv_nsec) * 1e-9};
  }
};

struct Span {
  double wall, cpu;
};
Span seconds_since(Clock::time_point t) {
  auto n = Clock::now();
  return {n.wall - t.wall, n.cpu - t.cpu};
}

struct B {
  BSTR b;
  explicit B(const char16_t* s) : b(SysAllocString(s)) {}
  ~B() { SysFreeString(b); }
  operator BSTR() const { return b; }
};

const char16_t* const kLookups[53] = {
    u"ADDRESS/FIRST",
    u"ADDRESS/LAST",
    u"ADDRESS/FILEAS",
    u"ADDRESS/NICKNAME",
    u"ADDRESS/WORK1",
    u"ADDRESS/MOBILE",
    u"ADDRESS/HOME1",
    u"ADDRESS/WORK2",
    u"ADDRESS/HOME2",
    u"ADDRESS/COMPANY",
    u"ADDRESS/PAGER",
    u"ADDRESS/CAR",
    u"ADDRESS/ASSIT",
    u"ADDRESS/WORK2",
    u"ADDRESS/HOME2",
    u"CATEGORIES",
    u"ADDRESS/RADIO",
    u"ADDRESS/EMAIL1",
    u"ADDRESS/EMAIL2",
    u"ADDRESS/EMAIL3",
    u"ADDRESS/IM1",
    u"ADDRESS/IM2",
    u"ADDRESS/IM3",
    u"ADDRESS/COMPANY",
    u"ADDRESS/DEPT",
    u"ADDRESS/TITLE",
    u"ADDRESS/OFFICE",
    u"ADDRESS/MANAGER",
    u"ADDRESS/ASSITANT",
    u"ADDRESS/STREET1",
    u"ADDRESS/CITY1",
    u"ADDRESS/STATE1",
    u"ADDRESS/COUNTRY1",
    u"ADDRESS/ZIP1",
    u"ADDRESS/STREET2",
    u"ADDRESS/CITY2",
    u"ADDRESS/STATE2",
    u"ADDRESS/COUNTRY2",
    u"ADDRESS/ZIP2",
    u"ADDRESS/STREET3",
    u"ADDRESS/CITY3",
    u"ADDRESS/STATE3",
    u"ADDRESS/COUNTRY3",
    u"ADDRESS/ZIP3",
    u"ADDRESS/BIRTHDAY",
    u"ADDRESS/ANNIVERSARY",
    u"ADDRESS//GOVERMENT",
    u"ADDRESS//ACCOUNT",
    u"ADDRESS//CUSTOMER",
    u"ADDRESS//SPOUSE",
    u"ADDRESS//CHILDREN",
    u"NOTE",
    u"WEB",
};

// The ~12 elements each record gets: 11 under ADDRESS and WEB.
const char16_t* const kFields[][2] = {
    {u"ADDRESS/FIRST", u"FIRST"},     {u"ADDRESS/LAST", u"LAST"},
    {u"ADDRESS/FILEAS", u"FILEAS"},   {u"ADDRESS/MOBILE", u"MOBILE"},
    {u"ADDRESS/WORK1", u"WORK1"},     {u"ADDRESS/HOME1", u"HOME1"},
    {u"ADDRESS/EMAIL1", u"EMAIL1"},   {u"ADDRESS/COMPANY", u"COMPANY"},
    {u"ADDRESS/STREET1", u"STREET1"}, {u"ADDRESS/CITY1", u"CITY1"},
    {u"ADDRESS//SPOUSE", u"SPOUSE"},  {u"WEB", u"WEB"},
};

}  // namespace

int main(int argc, char** argv) {
  long records = argc > 1 ? std::atol(argv[1]) : 100000;
  std::string tmpl =
      (std::filesystem::temp_directory_path() / "vardel-msxml-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return 1;
  vardel::device::set_root(tmpl);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  vardel::msxml::register_classes();

  IXMLDOMDocument2* doc = nullptr;
  if (CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                       reinterpret_cast<void**>(&doc)) < 0)
    return 1;
  VARIANT xpath;
  VariantInit(&xpath);
  xpath.vt = VT_BSTR;
  xpath.bstrVal = SysAllocString(u"XPath");
  doc->setProperty(B(u"SelectionLanguage"), xpath);
  doc->put_preserveWhiteSpace(VARIANT_TRUE);
  VARIANT_BOOL ok;
  doc->loadXML(B(u"<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' "
                 u"href='MessageLogContact.xsl'?>\r\n"
                 u"<CONTACTS>\r\n</CONTACTS>\r\n"),
               &ok);
  IXMLDOMNode* root = nullptr;
  doc->selectSingleNode(B(u"CONTACTS"), &root);

  // Build, as the backup writer does: look each path up, create when missing.
  std::vector<B*> paths, names;
  for (auto& f : kFields) paths.push_back(new B(f[0])), names.push_back(new B(f[1]));
  B vcard(u"VCARD"), address(u"ADDRESS"), title(u"TITLE"), type(u"TYPE"), direction(u"Direction");
  B text(u"Some field text 0123456789");
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"WinMobile");
  auto t = Clock::now();
  for (long i = 0; i < records; ++i) {
    IXMLDOMElement* e = nullptr;
    IXMLDOMNode* card = nullptr;
    doc->createElement(vcard, &e);
    root->appendChild(e, &card);
    e->setAttribute(title, value);
    e->setAttribute(type, value);
    e->Release();
    IXMLDOMNode* addr = nullptr;
    doc->createElement(address, &e);
    card->appendChild(e, &addr);
    e->setAttribute(direction, value);
    e->Release();
    for (size_t f = 0; f < paths.size(); ++f) {
      IXMLDOMNode* found = nullptr;
      card->selectSingleNode(*paths[f], &found);
      if (!found) {
        doc->createElement(*names[f], &e);
        (f + 1 == paths.size() ? card : addr)->appendChild(e, &found);
        e->Release();
      }
      found->put_text(text);
      found->Release();
    }
    addr->Release();
    card->Release();
  }
  Span build = seconds_since(t);

  VARIANT path;
  VariantInit(&path);
  path.vt = VT_BSTR;
  path.bstrVal = SysAllocString(u"\\contacts.xml");
  t = Clock::now();
  HRESULT saved = doc->save(path);
  Span save = seconds_since(t);
  auto size = std::filesystem::file_size(std::filesystem::path(tmpl) / "contacts.xml");
  root->Release();
  doc->Release();

  IXMLDOMDocument2* reader = nullptr;
  CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                   reinterpret_cast<void**>(&reader));
  reader->setProperty(B(u"SelectionLanguage"), xpath);
  reader->put_preserveWhiteSpace(VARIANT_TRUE);
  t = Clock::now();
  reader->load(path, &ok);
  Span load = seconds_since(t);

  t = Clock::now();
  IXMLDOMNodeList* list = nullptr;
  reader->selectNodes(B(u"//CONTACTS/VCARD"), &list);
  long count = 0;
  list->get_length(&count);
  Span select_all = seconds_since(t);
  std::vector<B*> lookups;
  for (auto q : kLookups) lookups.push_back(new B(q));
  long found_count = 0;
  size_t text_units = 0;
  t = Clock::now();
  for (long i = 0; i < count; ++i) {
    IXMLDOMNode* card = nullptr;
    list->get_item(i, &card);
    for (B* q : lookups) {
      IXMLDOMNode* n = nullptr;
      if (card->selectSingleNode(*q, &n) == S_OK && n) {
        BSTR s = nullptr;
        n->get_text(&s);
        text_units += SysStringLen(s);
        SysFreeString(s);
        n->Release();
        ++found_count;
      }
    }
    card->Release();
  }
  Span lookups_s = seconds_since(t);
  list->Release();
  reader->Release();

  std::printf("records: %ld (%s, loaded %s, %ld selected)\n", records,
              saved == S_OK ? "saved" : "SAVE FAILED", ok ? "ok" : "FAILED", count);
  std::printf("(seconds of CPU time, wall time in brackets)\n");
  std::printf("build (look up + create %zu fields per record): %.3f s [%.3f]\n", paths.size(),
              build.cpu, build.wall);
  std::printf("save: %.3f s [%.3f], %.1f MB\n", save.cpu, save.wall,
              static_cast<double>(size) / 1e6);
  std::printf("load: %.3f s [%.3f]\n", load.cpu, load.wall);
  std::printf("select //CONTACTS/VCARD: %.3f s [%.3f]\n", select_all.cpu, select_all.wall);
  std::printf(
      "53 lookups per record (+ get_text of %ld found): %.3f s [%.3f], %.3f us per lookup\n",
      found_count, lookups_s.cpu, lookups_s.wall,
      lookups_s.cpu * 1e6 / (static_cast<double>(count) * 53));
  (void)text_units;

  for (B* b : paths) delete b;
  for (B* b : names) delete b;
  for (B* b : lookups) delete b;
  VariantClear(&xpath);
  VariantClear(&value);
  VariantClear(&path);
  CoUninitialize();
  std::filesystem::remove_all(tmpl);
  return 0;
}
