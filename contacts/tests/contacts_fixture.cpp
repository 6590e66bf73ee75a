// What the contacts tests share.
#include "contacts/tests/contacts_fixture.h"

namespace contacts_test {

ContactsTest::ContactsTest() {
  std::filesystem::create_directories(device_.backup_dir());
  g_hMainWnd = window_.hwnd();
}

ContactsTest::~ContactsTest() { g_hMainWnd = nullptr; }

std::string ContactsTest::FileBytes() const { return vardel::testing::read_file(HostPath()); }

void ContactsTest::WriteFile(const std::string& bytes) const {
  vardel::testing::write_file(HostPath(), bytes);
}

Progress ContactsTest::RecordedProgress() const {
  Progress progress;
  for (const auto& m : window_.messages(WM_PROGRESS))
    progress.push_back({static_cast<unsigned>(m.wParam), static_cast<long>(m.lParam)});
  return progress;
}

vardel::poom::ContactRecord Contact(std::initializer_list<std::pair<CEPROPID, const char*>> props) {
  vardel::poom::ContactRecord record;
  for (const auto& [tag, text] : props) record.push_back({tag, vardel::utf16(text)});
  return record;
}

std::u16string Prop(const vardel::poom::ContactRecord& contact, CEPROPID tag) {
  for (const auto& p : contact)
    if (p.tag == tag) return p.text;
  return {};
}

namespace {

std::string Text(IXMLDOMNode* node) {
  BSTR text = nullptr;
  node->get_text(&text);
  std::string s = vardel::utf8(text);
  SysFreeString(text);
  return s;
}

std::string Name(IXMLDOMNode* node) {
  BSTR name = nullptr;
  node->get_nodeName(&name);
  std::string s = vardel::utf8(name);
  SysFreeString(name);
  return s;
}

std::string Attribute(IXMLDOMNode* node, const WCHAR* name) {
  IXMLDOMElement* element = nullptr;
  if (FAILED(node->QueryInterface(IID_IXMLDOMElement, (void**)&element)) || element == nullptr)
    return "?";
  VARIANT value;
  VariantInit(&value);
  BSTR bname = SysAllocString(name);
  element->getAttribute(bname, &value);
  SysFreeString(bname);
  std::string s = value.vt == VT_BSTR ? vardel::utf8(value.bstrVal) : "-";
  VariantClear(&value);
  element->Release();
  return s;
}

// Calls f for each element child of node, in order.
template <typename F>
void ForEachElement(IXMLDOMNode* node, F f) {
  IXMLDOMNode* child = nullptr;
  node->get_firstChild(&child);
  while (child != nullptr) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) f(child);
    IXMLDOMNode* next = nullptr;
    child->get_nextSibling(&next);
    child->Release();
    child = next;
  }
}

}  // namespace

std::vector<std::string> Outline(const WCHAR* cePath) {
  std::vector<std::string> lines;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IXMLDOMDocument2* doc = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IXMLDOMDocument2, (void**)&doc))) {
    doc->put_preserveWhiteSpace(VARIANT_TRUE);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(cePath);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    doc->load(source, &loaded);
    VariantClear(&source);
    IXMLDOMElement* root = nullptr;
    if (loaded && SUCCEEDED(doc->get_documentElement(&root)) && root != nullptr) {
      ForEachElement(root, [&](IXMLDOMNode* card) {
        std::string line = Attribute(card, u"TITLE") + "|";
        std::string address;
        std::string children;
        ForEachElement(card, [&](IXMLDOMNode* part) {
          std::string name = Name(part);
          if (!children.empty()) children += ",";
          if (name == "ADDRESS") {
            children += name;
            line += Attribute(part, u"Direction");
            ForEachElement(part, [&](IXMLDOMNode* field) {
              if (!address.empty()) address += ",";
              address += Name(field) + "=" + Text(field);
            });
          } else {
            children += name + "=" + Text(part);
          }
        });
        lines.push_back(line + "|" + address + "|" + children);
      });
      root->Release();
    }
    doc->Release();
  }
  CoUninitialize();
  return lines;
}

}  // namespace contacts_test
