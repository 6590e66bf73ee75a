// DOMDocument: the document object (IXMLDOMDocument2, and the document seen
// as a node). Owns the current tree and the compiled queries; node and list
// objects hold a reference to it and to the tree they came from.
#pragma once

#include <string>

#include "platform/com/object.h"
#include "platform/msxml/msxml.h"
#include "platform/msxml/query_cache.h"
#include "platform/msxml/tree.h"

namespace vardel::msxml {

// What the DOM objects answer for an unexpected exception and for a call not
// provided.
inline constexpr com::Module kMsxml{u"msxml", E_FAIL, E_NOTIMPL};

class DomDocument final : public com::Object<kMsxml, IXMLDOMDocument2, &IID_IXMLDOMNode,
                                             &IID_IXMLDOMDocument, &IID_IXMLDOMDocument2> {
 public:
  // The class factory CoCreateInstance calls.
  static HRESULT create(REFIID riid, void** ppv);
  DomDocument();

  const TreePtr& tree() const { return tree_; }
  QueryCache& queries() { return queries_; }

  // IUnknown: the document as a node is its own fault point.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;

  // IXMLDOMNode, with the document node as the node
  HRESULT get_nodeName(BSTR* name) override;
  HRESULT get_nodeType(DOMNodeType* type) override;
  HRESULT get_parentNode(IXMLDOMNode** parent) noexcept override;
  HRESULT get_childNodes(IXMLDOMNodeList** childList) noexcept override;
  HRESULT get_firstChild(IXMLDOMNode** firstChild) override;
  HRESULT get_lastChild(IXMLDOMNode** lastChild) noexcept override;
  HRESULT get_previousSibling(IXMLDOMNode** previousSibling) noexcept override;
  HRESULT get_nextSibling(IXMLDOMNode** nextSibling) noexcept override;
  HRESULT removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) override;
  HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override;
  HRESULT hasChildNodes(VARIANT_BOOL* hasChild) noexcept override;
  HRESULT get_ownerDocument(IXMLDOMDocument** DOMDocument) noexcept override;
  HRESULT get_text(BSTR* text) override;
  HRESULT put_text(BSTR text) noexcept override;
  HRESULT get_xml(BSTR* xmlString) noexcept override;
  HRESULT selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) override;
  HRESULT selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) override;

  // IXMLDOMDocument
  HRESULT get_documentElement(IXMLDOMElement** DOMElement) override;
  HRESULT createElement(BSTR tagName, IXMLDOMElement** element) override;
  HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) noexcept override;
  HRESULT load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) override;
  HRESULT get_async(VARIANT_BOOL* isAsync) noexcept override;
  HRESULT put_async(VARIANT_BOOL isAsync) noexcept override;
  HRESULT loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) override;
  HRESULT save(VARIANT destination) override;
  HRESULT get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) noexcept override;
  HRESULT put_preserveWhiteSpace(VARIANT_BOOL isPreserving) override;

  // IXMLDOMDocument2
  HRESULT setProperty(BSTR name, VARIANT value) override;
  HRESULT getProperty(BSTR name, VARIANT* value) noexcept override;

 private:
  ~DomDocument() override = default;
  // Replaces the tree with the parsed text; false (and an empty document)
  // when the text is malformed or refused.
  bool load_text(std::string utf8);

  TreePtr tree_;
  QueryCache queries_;
  bool preserve_space_ = false;
};

}  // namespace vardel::msxml
