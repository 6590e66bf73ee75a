// Shared set-up for the DOM tests: a temporary device with COM on the test's
// thread; and small owning holders so a failing assertion leaks nothing
// under ASan.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/msxml/msxml.h"
#include "test_support/temp_device.h"

namespace vardel::msxml::testing {

template <class T>
class Ptr {
 public:
  Ptr() = default;
  explicit Ptr(T* p) : p_(p) {}
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  Ptr(Ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ptr& operator=(Ptr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  ~Ptr() { reset(); }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** out() {
    reset();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(std::u16string_view s)
      : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  operator BSTR() const { return b_; }
  BSTR* out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::u16string str() const {
    return b_ ? std::u16string(b_, SysStringLen(b_)) : std::u16string();
  }

 private:
  BSTR b_ = nullptr;
};

// A VT_BSTR variant that frees its text.
class TextVariant {
 public:
  explicit TextVariant(std::u16string_view s) {
    VariantInit(&v_);
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  }
  ~TextVariant() { VariantClear(&v_); }
  TextVariant(const TextVariant&) = delete;
  TextVariant& operator=(const TextVariant&) = delete;
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

inline const std::u16string kContactsTemplate =
    u"<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='MessageLogContact.xsl'?>\r\n"
    u"<CONTACTS>\r\n</CONTACTS>\r\n";
inline const std::u16string kMessagesTemplate =
    u"<?xml version=\"1.0\"?>\r\n<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\r\n"
    u"<CONTACTS>\r\n</CONTACTS>\r\n";

class DomTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0); }
  void TearDown() override { CoUninitialize(); }

  // A new document set up as the program sets it up.
  Ptr<IXMLDOMDocument2> new_doc(bool preserve = true) {
    Ptr<IXMLDOMDocument2> doc;
    EXPECT_EQ(
        CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IXMLDOMDocument2, reinterpret_cast<void**>(doc.out())),
        S_OK);
    if (doc) {
      doc->put_async(VARIANT_FALSE);
      TextVariant xpath(u"XPath");
      EXPECT_EQ(doc->setProperty(Bstr(u"SelectionLanguage"), xpath.get()), S_OK);
      EXPECT_EQ(doc->put_preserveWhiteSpace(preserve ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    }
    return doc;
  }

  static bool load_xml(IXMLDOMDocument2* doc, std::u16string_view text) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    HRESULT hr = doc->loadXML(Bstr(text), &ok);
    return hr == S_OK && ok == VARIANT_TRUE;
  }
  static bool load(IXMLDOMDocument2* doc, std::u16string_view ce_path) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    TextVariant path(ce_path);
    HRESULT hr = doc->load(path.get(), &ok);
    EXPECT_EQ(hr == S_OK, ok == VARIANT_TRUE);
    return ok == VARIANT_TRUE;
  }
  static HRESULT save(IXMLDOMDocument2* doc, std::u16string_view ce_path) {
    TextVariant path(ce_path);
    return doc->save(path.get());
  }

  static Ptr<IXMLDOMNode> select(IXMLDOMNode* context, std::u16string_view query) {
    Ptr<IXMLDOMNode> node;
    EXPECT_GE(context->selectSingleNode(Bstr(query), node.out()), 0);
    return node;
  }
  // The nodes a selection answers; a failing call fails the test.
  static Ptr<IXMLDOMNodeList> select_all(IXMLDOMNode* context, std::u16string_view query) {
    Ptr<IXMLDOMNodeList> list;
    EXPECT_EQ(context->selectNodes(Bstr(query), list.out()), S_OK);
    return list;
  }
  // A list's length, -1 when it can't be read.
  static long length_of(IXMLDOMNodeList* list) {
    long n = -1;
    EXPECT_EQ(list->get_length(&n), S_OK);
    return n;
  }
  static std::u16string text_of(IXMLDOMNode* node) {
    Bstr text;
    EXPECT_EQ(node->get_text(text.out()), S_OK);
    return text.str();
  }
  static Ptr<IXMLDOMNode> as_node(IXMLDOMDocument2* doc) {
    Ptr<IXMLDOMNode> node;
    EXPECT_EQ(doc->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.out())), S_OK);
    return node;
  }
  // Appends a new element named name to parent; the appended node comes back.
  static Ptr<IXMLDOMNode> append(IXMLDOMDocument2* doc, IXMLDOMNode* parent,
                                 std::u16string_view name) {
    Ptr<IXMLDOMElement> element;
    EXPECT_EQ(doc->createElement(Bstr(name), element.out()), S_OK);
    Ptr<IXMLDOMNode> added;
    EXPECT_EQ(parent->appendChild(element.get(), added.out()), S_OK);
    return added;
  }
  static HRESULT set_attr(IXMLDOMNode* node, std::u16string_view name, std::u16string_view value) {
    Ptr<IXMLDOMElement> element;
    HRESULT hr = node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.out()));
    if (hr != S_OK) return hr;
    TextVariant v(value);
    return element->setAttribute(Bstr(name), v.get());
  }
  static std::u16string attr(IXMLDOMNode* node, std::u16string_view name) {
    Ptr<IXMLDOMElement> element;
    EXPECT_EQ(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.out())),
              S_OK);
    VARIANT v;
    VariantInit(&v);
    if (element->getAttribute(Bstr(name), &v) != S_OK) return u"<absent>";
    std::u16string s(v.bstrVal, SysStringLen(v.bstrVal));
    VariantClear(&v);
    return s;
  }

  std::filesystem::path host(const std::string& rel) const { return root_ / rel; }
  static std::string read_bytes(const std::filesystem::path& p) {
    return vardel::testing::read_file(p);
  }
  static void write_bytes(const std::filesystem::path& p, const std::string& bytes) {
    vardel::testing::write_file(p, bytes);
  }
  // A second parser's verdict (libxml2's xmllint, no network, no DTD).
  static bool well_formed(const std::filesystem::path& p) {
    std::string cmd = "xmllint --noout --nonet '" + p.string() + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
  }

  vardel::testing::TempDevice device_;
  const std::filesystem::path& outer_ = device_.outer();
  const std::filesystem::path& root_ = device_.root();
};

}  // namespace vardel::msxml::testing
