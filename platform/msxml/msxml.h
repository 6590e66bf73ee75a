// MSXML DOM stand-in: the DOMDocument class and the node, element and node
// list interfaces the program builds, saves, loads and queries its XML files
// through. Method names, argument order and HRESULTs follow the phone's
// msxml.h; only the methods the program (and the tests) need are declared,
// and of those, the ones the program never calls are loud stubs: they
// answer E_NOTIMPL and write a trace line (NKDbgPrintfW), touching nothing.
// They are marked "stub" below.
//
// What callers can rely on:
// - Selections are XPath 1.0, relative to the node they are called on, in
//   document order; a selection that finds nothing gives S_FALSE and a null
//   node (selectSingleNode) or an empty list (selectNodes).
// - Every interface pointer handed out holds one reference. A node keeps its
//   document alive: releasing the document first is safe.
// - save(VARIANT path) writes UTF-8 through a temporary file beside the
//   target, flushed and renamed over it: on failure the previous file is
//   whole and the result is negative. The prolog, processing instructions
//   and the white space between top-level nodes are written as loaded; no
//   indentation is added. Every text and attribute value reads back
//   identical after save and load; characters XML 1.0 cannot carry become
//   U+FFFD.
// - load(VARIANT path) and loadXML(BSTR) give VARIANT_FALSE (and S_FALSE) for
//   a missing, unreadable or malformed input. Documents with a DOCTYPE are
//   refused (no DTDs, no entities, nothing fetched). Files in a declared
//   legacy encoding (GB2312, GBK, GB18030, Big5, ISO-8859-x, ...) are read.
// - Paths are CE paths inside the device (see platform/core/device.h).
//
// Thread-safety: a document and its nodes belong to one thread.
//
// Fault points: "msxml.save" (fails as on a full disk after writing half the
// temporary file; the old file stays), "msxml.load", "msxml.loadXML",
// "msxml.setProperty", "msxml.put_preserveWhiteSpace", "msxml.QueryInterface"
// (the document asked for IXMLDOMNode), "msxml.createElement",
// "msxml.appendChild", "msxml.setAttribute", "msxml.selectSingleNode",
// "msxml.selectNodes", "msxml.get_length", "msxml.get_item", "msxml.put_text",
// "msxml.get_text". Each makes its call return the armed HRESULT unchanged.
#pragma once

#include "platform/com/com.h"

extern const CLSID CLSID_DOMDocument;   // {2933BF90-7B36-11D2-B20E-00C04F983E60}
extern const IID IID_IXMLDOMNode;       // {2933BF80-7B36-11D2-B20E-00C04F983E60}
extern const IID IID_IXMLDOMDocument;   // {2933BF81-7B36-11D2-B20E-00C04F983E60}
extern const IID IID_IXMLDOMNodeList;   // {2933BF82-7B36-11D2-B20E-00C04F983E60}
extern const IID IID_IXMLDOMElement;    // {2933BF86-7B36-11D2-B20E-00C04F983E60}
extern const IID IID_IXMLDOMDocument2;  // {2933BF95-7B36-11D2-B20E-00C04F983E60}

// Numbered from 0 in this order, as in the phone's msxml.h.
enum DOMNodeType {
  NODE_INVALID,
  NODE_ELEMENT,
  NODE_ATTRIBUTE,
  NODE_TEXT,
  NODE_CDATA_SECTION,
  NODE_ENTITY_REFERENCE,
  NODE_ENTITY,
  NODE_PROCESSING_INSTRUCTION,
  NODE_COMMENT,
  NODE_DOCUMENT,
  NODE_DOCUMENT_TYPE,
  NODE_DOCUMENT_FRAGMENT,
  NODE_NOTATION,
};
static_assert(NODE_ELEMENT == 1 && NODE_TEXT == 3 && NODE_NOTATION == 12);

struct IXMLDOMNodeList;
struct IXMLDOMDocument;
struct IXMLDOMElement;

struct IXMLDOMNode : IUnknown {
  // The tag name for an element, "#text", "#document", the target of a
  // processing instruction, ...
  virtual HRESULT get_nodeName(BSTR* name) = 0;
  virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
  virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;         // stub
  virtual HRESULT get_childNodes(IXMLDOMNodeList** childList) = 0;  // stub
  virtual HRESULT get_firstChild(IXMLDOMNode** firstChild) = 0;
  virtual HRESULT get_lastChild(IXMLDOMNode** lastChild) = 0;              // stub
  virtual HRESULT get_previousSibling(IXMLDOMNode** previousSibling) = 0;  // stub
  virtual HRESULT get_nextSibling(IXMLDOMNode** nextSibling) = 0;
  virtual HRESULT removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) = 0;
  // Moves newChild (detached or elsewhere in the same document) to be this
  // node's last child; outNewChild, if given, receives it with a reference.
  virtual HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) = 0;
  virtual HRESULT hasChildNodes(VARIANT_BOOL* hasChild) = 0;             // stub
  virtual HRESULT get_ownerDocument(IXMLDOMDocument** DOMDocument) = 0;  // stub
  // The concatenated text of the node and all its descendants.
  virtual HRESULT get_text(BSTR* text) = 0;
  // Replaces the node's content with one text.
  virtual HRESULT put_text(BSTR text) = 0;
  virtual HRESULT get_xml(BSTR* xmlString) = 0;  // stub
  virtual HRESULT selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) = 0;
  virtual HRESULT selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) = 0;

 protected:
  ~IXMLDOMNode() = default;
};

struct IXMLDOMElement : IXMLDOMNode {
  virtual HRESULT get_tagName(BSTR* tagName) = 0;  // stub
  // VT_BSTR value, or VT_NULL with S_FALSE when the attribute is absent.
  virtual HRESULT getAttribute(BSTR name, VARIANT* value) = 0;
  // value must be VT_BSTR (a null BSTR is an empty value). A new attribute
  // goes after the existing ones; setting an existing one keeps its place.
  virtual HRESULT setAttribute(BSTR name, VARIANT value) = 0;
  virtual HRESULT removeAttribute(BSTR name) = 0;  // stub

 protected:
  ~IXMLDOMElement() = default;
};

struct IXMLDOMNodeList : IUnknown {
  // index is 0-based; out of range gives S_FALSE and a null node.
  virtual HRESULT get_item(long index, IXMLDOMNode** listItem) = 0;
  virtual HRESULT get_length(long* listLength) = 0;
  virtual HRESULT nextNode(IXMLDOMNode** nextItem) = 0;  // stub
  virtual HRESULT reset() = 0;                           // stub

 protected:
  ~IXMLDOMNodeList() = default;
};

struct IXMLDOMDocument : IXMLDOMNode {
  virtual HRESULT get_documentElement(IXMLDOMElement** DOMElement) = 0;
  virtual HRESULT createElement(BSTR tagName, IXMLDOMElement** element) = 0;
  virtual HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) = 0;  // stub
  // xmlSource: VT_BSTR holding a CE path.
  virtual HRESULT load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) = 0;
  virtual HRESULT get_async(VARIANT_BOOL* isAsync) = 0;  // stub
  virtual HRESULT put_async(VARIANT_BOOL isAsync) = 0;
  virtual HRESULT loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) = 0;
  // destination: VT_BSTR holding a CE path.
  virtual HRESULT save(VARIANT destination) = 0;
  virtual HRESULT get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) = 0;  // stub
  virtual HRESULT put_preserveWhiteSpace(VARIANT_BOOL isPreserving) = 0;

 protected:
  ~IXMLDOMDocument() = default;
};

struct IXMLDOMDocument2 : IXMLDOMDocument {
  // "SelectionLanguage" = "XPath" (the only language offered) and
  // "SelectionNamespaces" (accepted) are known; other names fail with
  // E_FAIL.
  virtual HRESULT setProperty(BSTR name, VARIANT value) = 0;
  virtual HRESULT getProperty(BSTR name, VARIANT* value) = 0;  // stub

 protected:
  ~IXMLDOMDocument2() = default;
};

namespace vardel::msxml {

// Adds DOMDocument to the class table CoCreateInstance looks in.
void register_classes();

}  // namespace vardel::msxml
