// Node objects: IXMLDOMElement (and IXMLDOMNode) over one tree node.
#include "platform/msxml/dom_node.h"

#include <new>
#include <string>

#include "platform/core/fault.h"
#include "platform/msxml/text.h"

namespace vardel::msxml {

DomNode* DomNode::create(DomDocument* doc, const TreePtr& tree, pugi::xpath_node node) {
  return new (std::nothrow) DomNode(doc, tree, node);
}

// The first node object of a tree makes the tree hold itself and its
// document; the last lets both go. Every node object of a tree is made with
// the document that made the tree, so one held reference stands for all of
// them; another document's node gets a reference of its own all the same.
DomNode::DomNode(DomDocument* doc, const TreePtr& tree, pugi::xpath_node node)
    : doc_(doc), tree_(tree.get()), node_(node) {
  if (tree_->node_objects++ == 0) {
    tree_->held = tree;
    tree_->held_doc = doc;
    doc->AddRef();
  } else if (doc != tree_->held_doc) {
    own_doc_ref_ = true;
    doc->AddRef();
  }
  pin_.node = node.attribute() ? node.parent() : node.node();
  tree_->pins.add(pin_);
}

DomNode::~DomNode() {
  tree_->pins.remove(pin_);
  if (own_doc_ref_) doc_->Release();
  if (--tree_->node_objects != 0) return;
  DomDocument* doc = tree_->held_doc;
  tree_->held_doc = nullptr;
  // The tree may go with its last holder: it is let go of last.
  TreePtr last = std::move(tree_->held);
  doc->Release();
}

HRESULT DomNode::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IXMLDOMElement && !is_element()) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  return Object::QueryInterface(riid, ppv);
}

HRESULT DomNode::get_nodeName(BSTR* name) {
  return guard([&] { return node_name(ref(), name); });
}
HRESULT DomNode::get_nodeType(DOMNodeType* type) {
  return guard([&] { return node_type(ref(), type); });
}
HRESULT DomNode::get_parentNode(IXMLDOMNode**) noexcept {
  return stub(u"IXMLDOMNode::get_parentNode");
}
HRESULT DomNode::get_childNodes(IXMLDOMNodeList**) noexcept {
  return stub(u"IXMLDOMNode::get_childNodes");
}
HRESULT DomNode::get_firstChild(IXMLDOMNode** firstChild) {
  return guard([&] { return node_first_child(ref(), firstChild); });
}
HRESULT DomNode::get_lastChild(IXMLDOMNode**) noexcept {
  return stub(u"IXMLDOMNode::get_lastChild");
}
HRESULT DomNode::get_previousSibling(IXMLDOMNode**) noexcept {
  return stub(u"IXMLDOMNode::get_previousSibling");
}
HRESULT DomNode::get_nextSibling(IXMLDOMNode** nextSibling) {
  return guard([&] { return node_next_sibling(ref(), nextSibling); });
}
HRESULT DomNode::removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) {
  return guard([&] { return node_remove_child(ref(), childNode, oldChild); });
}
HRESULT DomNode::appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) {
  return guard([&] { return node_append_child(ref(), newChild, outNewChild); });
}
HRESULT DomNode::hasChildNodes(VARIANT_BOOL*) noexcept {
  return stub(u"IXMLDOMNode::hasChildNodes");
}
HRESULT DomNode::get_ownerDocument(IXMLDOMDocument**) noexcept {
  return stub(u"IXMLDOMNode::get_ownerDocument");
}

HRESULT DomNode::get_text(BSTR* text) {
  return guard([&] { return node_get_text(ref(), text); });
}
HRESULT DomNode::put_text(BSTR text) {
  return guard([&] { return node_put_text(ref(), text); });
}
HRESULT DomNode::get_xml(BSTR*) noexcept { return stub(u"IXMLDOMNode::get_xml"); }
HRESULT DomNode::selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) {
  return guard([&] { return node_select_nodes(ref(), queryString, resultList); });
}
HRESULT DomNode::selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) {
  return guard([&] { return node_select_single(ref(), queryString, resultNode); });
}

HRESULT DomNode::get_tagName(BSTR*) noexcept { return stub(u"IXMLDOMElement::get_tagName"); }

namespace {

// The text an attribute value stands for; the DOM turns numbers into text.
bool value_text(const VARIANT& v, std::u16string& out) {
  switch (v.vt) {
    case VT_BSTR:
      out.assign(bstr_view(v.bstrVal));
      return true;
    case VT_I4: {
      std::string s = std::to_string(v.lVal);
      out.assign(s.begin(), s.end());
      return true;
    }
    case VT_I2: {
      std::string s = std::to_string(v.iVal);
      out.assign(s.begin(), s.end());
      return true;
    }
    case VT_UI4: {
      std::string s = std::to_string(v.ulVal);
      out.assign(s.begin(), s.end());
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

HRESULT DomNode::getAttribute(BSTR name, VARIANT* value) {
  return guard([&] {
    if (!name || !value) return E_INVALIDARG;
    VariantInit(value);
    if (!is_element()) return E_FAIL;
    pugi::xml_attribute a = node_.node().attribute(to_utf8(bstr_view(name)).c_str());
    if (!a) {
      value->vt = VT_NULL;
      return S_FALSE;
    }
    BSTR text = to_bstr(a.value());
    if (!text) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    value->bstrVal = text;
    return S_OK;
  });
}

HRESULT DomNode::setAttribute(BSTR name, VARIANT value) {
  return guard([&] {
    if (!name) return E_INVALIDARG;
    if (HRESULT hr = fault::check("msxml.setAttribute"); FAILED(hr)) return hr;
    if (!is_element()) return E_FAIL;
    // A name XML cannot carry would make the saved file unreadable.
    if (!is_xml_name(bstr_view(name))) return E_FAIL;
    // Buffers the thread keeps: a backup sets several attributes a record.
    thread_local std::u16string number;
    std::u16string_view text;
    if (value.vt == VT_BSTR) {
      text = bstr_view(value.bstrVal);
    } else {
      if (!value_text(value, number)) return E_INVALIDARG;
      text = number;
    }
    thread_local std::string key;
    key.clear();
    append_utf8(key, bstr_view(name));
    thread_local std::string utf8;
    utf8.clear();
    append_utf8(utf8, text);
    // Setting an existing attribute keeps its place; a new one goes last.
    if (!tree_->names.set_attribute(node_.node(), key.c_str(), utf8.c_str())) return E_OUTOFMEMORY;
    return S_OK;
  });
}

HRESULT DomNode::removeAttribute(BSTR) noexcept { return stub(u"IXMLDOMElement::removeAttribute"); }

}  // namespace vardel::msxml
