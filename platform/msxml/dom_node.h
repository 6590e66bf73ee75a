// A node of a document: element, text, comment, instruction or attribute.
// Offers IXMLDOMElement when it is an element. Keeps its document object and
// its tree alive (through the tree's count of node objects), so it stays
// valid whatever happens to the document (a later load, the document
// released first). Like the tree, node objects belong to the tree's thread.
#pragma once

#include "platform/msxml/dom_document.h"
#include "platform/msxml/node_ops.h"

namespace vardel::msxml {

class DomNode final
    : public com::Object<kMsxml, IXMLDOMElement, &IID_IXMLDOMNode, &IID_IXMLDOMElement> {
 public:
  // One reference, owned by the caller.
  static DomNode* create(DomDocument* doc, const TreePtr& tree, pugi::xpath_node node);

  pugi::xpath_node node() const { return node_; }
  const TreePtr& tree() const { return tree_->held; }

  // IUnknown: only an element is offered as IXMLDOMElement.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;

  HRESULT get_nodeName(BSTR* name) override;
  HRESULT get_nodeType(DOMNodeType* type) override;
  HRESULT get_parentNode(IXMLDOMNode** parent) noexcept override;
  HRESULT get_childNodes(IXMLDOMNodeList** childList) noexcept override;
  HRESULT get_firstChild(IXMLDOMNode** firstChild) override;
  HRESULT get_lastChild(IXMLDOMNode** lastChild) noexcept override;
  HRESULT get_previousSibling(IXMLDOMNode** previousSibling) noexcept override;
  HRESULT get_nextSibling(IXMLDOMNode** nextSibling) override;
  HRESULT removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) override;
  HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override;
  HRESULT hasChildNodes(VARIANT_BOOL* hasChild) noexcept override;
  HRESULT get_ownerDocument(IXMLDOMDocument** DOMDocument) noexcept override;
  HRESULT get_text(BSTR* text) override;
  HRESULT put_text(BSTR text) override;
  HRESULT get_xml(BSTR* xmlString) noexcept override;
  HRESULT selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) override;
  HRESULT selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) override;

  HRESULT get_tagName(BSTR* tagName) noexcept override;
  HRESULT getAttribute(BSTR name, VARIANT* value) override;
  HRESULT setAttribute(BSTR name, VARIANT value) override;
  HRESULT removeAttribute(BSTR name) noexcept override;

 private:
  DomNode(DomDocument* doc, const TreePtr& tree, pugi::xpath_node node);
  ~DomNode() override;
  NodeRef ref() const { return NodeRef{doc_, tree_->held, node_}; }
  bool is_element() const {
    return !node_.attribute() && node_.node().type() == pugi::node_element;
  }

  DomDocument* doc_;
  Tree* tree_;  // alive while tree_->node_objects counts this object
  pugi::xpath_node node_;
  bool own_doc_ref_ = false;  // a document other than the one the tree holds
  Pin pin_;                   // keeps the record holding node_ from being packed
};

}  // namespace vardel::msxml
