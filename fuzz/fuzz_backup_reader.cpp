// The restore's reading of a contacts backup: the file loaded through the
// DOM as the reader loads it, its records selected, and every field path of
// every record read back (dates through the restore's date texts).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "contacts/ContactFieldMap.h"
#include "contacts/DateText.h"
#include "fuzz/fuzz_folder.h"
#include "platform/com/com.h"
#include "platform/core/device.h"
#include "platform/msxml/msxml.h"
#include "platform/platform.h"

namespace {

// The run's folder as the device, with the platform's classes and COM.
const std::filesystem::path& device_root() {
  static const bool ready = [] {
    vardel::device::set_root(vardel::fuzz::run_folder());
    vardel::platform::register_classes();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    return true;
  }();
  (void)ready;
  return vardel::fuzz::run_folder();
}

void read_records(IXMLDOMDocument2* doc) {
  IXMLDOMNode* root = nullptr;
  if (FAILED(doc->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(&root)))) return;
  IXMLDOMNodeList* list = nullptr;
  BSTR query = SysAllocString(u"//CONTACTS/VCARD");
  if (SUCCEEDED(root->selectNodes(query, &list)) && list) {
    long n = 0;
    list->get_length(&n);
    for (long i = 0; i < n && i < 200; ++i) {
      IXMLDOMNode* record = nullptr;
      if (FAILED(list->get_item(i, &record)) || !record) continue;
      for (const ContactFieldMapEntry& field : ContactFieldMap) {
        BSTR path = SysAllocString(field.szPath);
        IXMLDOMNode* node = nullptr;
        if (SUCCEEDED(record->selectSingleNode(path, &node)) && node) {
          BSTR text = nullptr;
          if (SUCCEEDED(node->get_text(&text)) && text) {
            FILETIME ft;
            DateTextToFileTime(text, &ft);
            SysFreeString(text);
          }
          node->Release();
        }
        SysFreeString(path);
      }
      record->Release();
    }
    list->Release();
  }
  SysFreeString(query);
  root->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path root = device_root();
  std::ofstream(root / "in.xml", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  IXMLDOMDocument2* doc = nullptr;
  if (FAILED(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IXMLDOMDocument2, reinterpret_cast<void**>(&doc))))
    return 0;
  doc->put_async(VARIANT_FALSE);
  BSTR name = SysAllocString(u"SelectionLanguage");
  VARIANT xpath;
  VariantInit(&xpath);
  xpath.vt = VT_BSTR;
  xpath.bstrVal = SysAllocString(u"XPath");
  doc->setProperty(name, xpath);
  VariantClear(&xpath);
  SysFreeString(name);
  doc->put_preserveWhiteSpace(VARIANT_TRUE);
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(u"\\in.xml");
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (SUCCEEDED(doc->load(source, &ok)) && ok == VARIANT_TRUE) read_records(doc);
  VariantClear(&source);
  doc->Release();
  return 0;
}
