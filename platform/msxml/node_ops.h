// The IXMLDOMNode operations shared by the document object (whose node is the
// tree's document node) and the node objects. Each takes the owning document,
// the tree the node lives in and the node (an attribute node is a
// pugi::xpath_node holding an attribute). Pointers are checked first.
//
// Fault points (see msxml.h): "msxml.appendChild", "msxml.selectSingleNode",
// "msxml.selectNodes", "msxml.put_text", "msxml.get_text".
#pragma once

#include "platform/msxml/dom_document.h"

namespace vardel::msxml {

struct NodeRef {
  DomDocument* doc;
  const TreePtr& tree;
  pugi::xpath_node node;
};

// A node object for n (the document object itself for the document node of
// the document's current tree); S_FALSE and null for an empty n.
HRESULT wrap_node(DomDocument* doc, const TreePtr& tree, pugi::xpath_node n, IXMLDOMNode** out);
// Like wrap_node for a node that is visible (not detached, not top-level
// white space), else S_FALSE and null.
HRESULT wrap_visible(DomDocument* doc, const TreePtr& tree, pugi::xml_node n, IXMLDOMNode** out);

HRESULT node_name(const NodeRef& self, BSTR* name);
HRESULT node_type(const NodeRef& self, DOMNodeType* type);
HRESULT node_first_child(const NodeRef& self, IXMLDOMNode** child);
HRESULT node_next_sibling(const NodeRef& self, IXMLDOMNode** sibling);
HRESULT node_remove_child(const NodeRef& self, IXMLDOMNode* child, IXMLDOMNode** old_child);
HRESULT node_append_child(const NodeRef& self, IXMLDOMNode* child, IXMLDOMNode** out);
HRESULT node_get_text(const NodeRef& self, BSTR* text);
HRESULT node_put_text(const NodeRef& self, BSTR text);
HRESULT node_select_nodes(const NodeRef& self, BSTR query, IXMLDOMNodeList** list);
HRESULT node_select_single(const NodeRef& self, BSTR query, IXMLDOMNode** out);

// Sets a text value on a pugixml node or attribute from UTF-16.
bool set_value(pugi::xml_node n, std::u16string_view text);
bool set_value(pugi::xml_attribute a, std::u16string_view text);

}  // namespace vardel::msxml
