// Node operations shared by the document and node objects (see node_ops.h).
#include "platform/msxml/node_ops.h"

#include <new>
#include <vector>

#include "platform/core/fault.h"
#include "platform/msxml/child_path.h"
#include "platform/msxml/dom_node.h"
#include "platform/msxml/dom_node_list.h"
#include "platform/msxml/text.h"

namespace vardel::msxml {

namespace {

HRESULT give_bstr(std::string_view utf8, BSTR* out) {
  *out = to_bstr(utf8);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The node object behind an interface pointer, when it is one of ours.
DomNode* impl_from(IXMLDOMNode* iface) { return dynamic_cast<DomNode*>(iface); }

// Whether a selection may hand out a match: not the detached holder, not
// white space between top-level nodes, and not detached unless the
// selection started inside a detached node itself.
bool selectable(const NodeRef& self, const pugi::xpath_node& n) {
  pugi::xml_node owner = n.attribute() ? n.parent() : n.node();
  const Tree& tree = *self.tree;
  if (owner == tree.doc || tree.is_visible(owner)) return true;
  if (owner == tree.detached || !tree.is_detached(owner) || tree.is_name_holder_part(owner))
    return false;
  pugi::xml_node context = self.node.attribute() ? self.node.parent() : self.node.node();
  return context != tree.doc && tree.is_detached(context);
}

// Whether every element below the context is selectable: so when the
// context is the document or a visible node, as a path walks element
// children and the detached holder's name matches no name of a path.
bool context_visible(const NodeRef& self) {
  if (self.node.attribute()) return false;
  pugi::xml_node n = self.node.node();
  return n == self.tree->doc || self.tree->is_visible(n);
}

// The node a selection starts from: an attribute's element for an attribute.
pugi::xml_node context_of(const NodeRef& self) {
  return self.node.attribute() ? self.node.parent() : self.node.node();
}

// Reads a plain path into `path` (true when it is one), and first unpacks
// the packed records the query could reach: a plain path reaches nothing
// above where it starts.
bool read_query(const NodeRef& self, BSTR query, ChildPath& path) {
  const bool plain = path.parse(bstr_view(query));
  if (plain)
    unpack_below(*self.tree, context_of(self));
  else
    unpack_for_query(*self.tree, context_of(self), bstr_view(query));
  return plain;
}

bool is_container(pugi::xml_node n) {
  return n.type() == pugi::node_element || n.type() == pugi::node_document;
}

}  // namespace

bool set_value(pugi::xml_node n, std::u16string_view text) {
  thread_local std::string buf;
  buf.clear();
  append_utf8(buf, text);
  return n.set_value(buf.c_str());
}

bool set_value(pugi::xml_attribute a, std::u16string_view text) {
  thread_local std::string buf;
  buf.clear();
  append_utf8(buf, text);
  return a.set_value(buf.c_str());
}

HRESULT wrap_node(DomDocument* doc, const TreePtr& tree, pugi::xpath_node n, IXMLDOMNode** out) {
  *out = nullptr;
  if (!n) return S_FALSE;
  if (!n.attribute() && n.node() == doc->tree()->doc) {
    doc->AddRef();
    *out = doc;
    return S_OK;
  }
  DomNode* node = DomNode::create(doc, tree, n);
  if (!node) return E_OUTOFMEMORY;
  *out = node;
  return S_OK;
}

HRESULT wrap_visible(DomDocument* doc, const TreePtr& tree, pugi::xml_node n, IXMLDOMNode** out) {
  *out = nullptr;
  if (!tree->is_visible(n)) return S_FALSE;
  return wrap_node(doc, tree, pugi::xpath_node(n), out);
}

HRESULT node_name(const NodeRef& self, BSTR* name) {
  if (!name) return E_INVALIDARG;
  if (self.node.attribute()) return give_bstr(self.node.attribute().name(), name);
  pugi::xml_node n = self.node.node();
  switch (n.type()) {
    case pugi::node_element:
    case pugi::node_pi:
      return give_bstr(n.name(), name);
    case pugi::node_declaration:
      return give_bstr("xml", name);
    case pugi::node_pcdata:
      return give_bstr("#text", name);
    case pugi::node_cdata:
      return give_bstr("#cdata-section", name);
    case pugi::node_comment:
      return give_bstr("#comment", name);
    case pugi::node_document:
      return give_bstr("#document", name);
    default:
      return give_bstr("", name);
  }
}

HRESULT node_type(const NodeRef& self, DOMNodeType* type) {
  if (!type) return E_INVALIDARG;
  if (self.node.attribute()) {
    *type = NODE_ATTRIBUTE;
    return S_OK;
  }
  switch (self.node.node().type()) {
    case pugi::node_element:
      *type = NODE_ELEMENT;
      break;
    case pugi::node_pcdata:
      *type = NODE_TEXT;
      break;
    case pugi::node_cdata:
      *type = NODE_CDATA_SECTION;
      break;
    case pugi::node_comment:
      *type = NODE_COMMENT;
      break;
    case pugi::node_pi:
    case pugi::node_declaration:
      *type = NODE_PROCESSING_INSTRUCTION;
      break;
    case pugi::node_document:
      *type = NODE_DOCUMENT;
      break;
    case pugi::node_doctype:
      *type = NODE_DOCUMENT_TYPE;
      break;
    default:
      *type = NODE_INVALID;
      break;
  }
  return S_OK;
}

HRESULT node_first_child(const NodeRef& self, IXMLDOMNode** child) {
  if (!child) return E_INVALIDARG;
  *child = nullptr;
  if (self.node.attribute()) return S_FALSE;
  pugi::xml_node n = self.node.node();
  unpack_children(*self.tree, n);
  pugi::xml_node c = n.first_child();
  while (c && !self.tree->is_visible(c)) c = c.next_sibling();
  return wrap_node(self.doc, self.tree, pugi::xpath_node(c), child);
}

HRESULT node_next_sibling(const NodeRef& self, IXMLDOMNode** sibling) {
  if (!sibling) return E_INVALIDARG;
  *sibling = nullptr;
  pugi::xml_node n = self.node.node();
  if (self.node.attribute() || !self.tree->is_visible(n)) return S_FALSE;
  unpack_siblings(*self.tree, n);
  pugi::xml_node c = n.next_sibling();
  while (c && !self.tree->is_visible(c)) c = c.next_sibling();
  return wrap_node(self.doc, self.tree, pugi::xpath_node(c), sibling);
}

HRESULT node_remove_child(const NodeRef& self, IXMLDOMNode* child, IXMLDOMNode** old_child) {
  if (old_child) *old_child = nullptr;
  if (!child) return E_INVALIDARG;
  DomNode* c = impl_from(child);
  if (!c || c->tree() != self.tree || c->node().attribute() || self.node.attribute() ||
      c->node().node().parent() != self.node.node() || !self.tree->is_visible(c->node().node()))
    return E_INVALIDARG;
  // Kept, not freed: the caller (and any other node object) may still use it.
  if (!self.tree->detached.append_move(c->node().node())) return E_FAIL;
  if (old_child) {
    child->AddRef();
    *old_child = child;
  }
  return S_OK;
}

HRESULT node_append_child(const NodeRef& self, IXMLDOMNode* child, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  if (!child) return E_INVALIDARG;
  if (HRESULT hr = fault::check("msxml.appendChild"); FAILED(hr)) return hr;
  DomNode* c = impl_from(child);
  if (!c || c->node().attribute()) return E_INVALIDARG;
  if (c->tree() != self.tree || self.node.attribute()) return E_FAIL;  // another document's node
  pugi::xml_node parent = self.node.node();
  pugi::xml_node moving = c->node().node();
  pugi::xml_node moved;
  if (parent.type() == pugi::node_element) {
    moved = parent.append_move(moving);  // refuses to move a node into itself
  } else if (parent.type() == pugi::node_document) {
    auto t = moving.type();
    if (t != pugi::node_element && t != pugi::node_pi && t != pugi::node_comment) return E_FAIL;
    if (t == pugi::node_element)
      for (pugi::xml_node k : parent.children())
        if (k.type() == pugi::node_element && k != moving && self.tree->is_visible(k))
          return E_FAIL;  // one root element only
    moved = parent.insert_move_before(moving, self.tree->detached);
  }
  if (!moved) return E_FAIL;
  note_append(*self.tree, parent);
  if (out) {
    child->AddRef();
    *out = child;
  }
  return S_OK;
}

HRESULT node_get_text(const NodeRef& self, BSTR* text) {
  if (!text) return E_INVALIDARG;
  *text = nullptr;
  if (HRESULT hr = fault::check("msxml.get_text"); FAILED(hr)) return hr;
  if (self.node.attribute()) return give_bstr(self.node.attribute().value(), text);
  pugi::xml_node n = self.node.node();
  if (!is_container(n)) return give_bstr(n.value(), text);
  unpack_below(*self.tree, n);
  thread_local std::string buf;
  buf.clear();
  collect_text(*self.tree, n, buf);
  HRESULT hr = give_bstr(buf, text);
  if (buf.capacity() > (1u << 20)) std::string().swap(buf);
  return hr;
}

HRESULT node_put_text(const NodeRef& self, BSTR text) {
  if (HRESULT hr = fault::check("msxml.put_text"); FAILED(hr)) return hr;
  std::u16string_view value = bstr_view(text);
  if (self.node.attribute()) return set_value(self.node.attribute(), value) ? S_OK : E_OUTOFMEMORY;
  pugi::xml_node n = self.node.node();
  if (n.type() == pugi::node_document) return E_FAIL;
  if (n.type() != pugi::node_element) return set_value(n, value) ? S_OK : E_FAIL;
  unpack_children(*self.tree, n);  // the children it replaces
  // The usual case: an element holding one text, or nothing yet.
  pugi::xml_node only = n.first_child();
  if (!value.empty() && only && only.type() == pugi::node_pcdata && !only.next_sibling())
    return set_value(only, value) ? S_OK : E_OUTOFMEMORY;
  // Old children move to the detached holder: node objects may point at them.
  while (pugi::xml_node c = n.first_child())
    if (!self.tree->detached.append_move(c)) return E_FAIL;
  if (value.empty()) return S_OK;
  pugi::xml_node t = n.append_child(pugi::node_pcdata);
  if (!t || !set_value(t, value)) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT node_select_single(const NodeRef& self, BSTR query, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!query) return E_INVALIDARG;
  if (HRESULT hr = fault::check("msxml.selectSingleNode"); FAILED(hr)) return hr;
  ChildPath path;
  if (read_query(self, query, path)) {
    // Asked at the first match only: most queries match nothing.
    int below_visible = -1;
    pugi::xpath_node found;
    path.walk(self.node.node(), [&](pugi::xml_node n) {
      if (below_visible < 0) below_visible = context_visible(self) ? 1 : 0;
      if (!below_visible && !selectable(self, pugi::xpath_node(n))) return true;
      found = pugi::xpath_node(n);
      return false;
    });
    return found ? wrap_node(self.doc, self.tree, found, out) : S_FALSE;
  }
  const pugi::xpath_query* q = self.doc->queries().get(bstr_view(query));
  if (!q) return E_FAIL;
  pugi::xpath_node found = q->evaluate_node(self.node);
  if (!found) return S_FALSE;
  if (selectable(self, found)) return wrap_node(self.doc, self.tree, found, out);
  // The first match was hidden (detached, or white space between top-level
  // nodes): look through all matches in document order.
  pugi::xpath_node_set all = q->evaluate_node_set(self.node);
  all.sort();
  for (const pugi::xpath_node& n : all)
    if (selectable(self, n)) return wrap_node(self.doc, self.tree, n, out);
  return S_FALSE;
}

HRESULT node_select_nodes(const NodeRef& self, BSTR query, IXMLDOMNodeList** list) {
  if (!list) return E_INVALIDARG;
  *list = nullptr;
  if (!query) return E_INVALIDARG;
  if (HRESULT hr = fault::check("msxml.selectNodes"); FAILED(hr)) return hr;
  ChildPath path;
  std::vector<pugi::xpath_node> nodes;
  if (read_query(self, query, path)) {
    const bool below_visible = context_visible(self);
    path.walk(self.node.node(), [&](pugi::xml_node n) {
      if (below_visible || selectable(self, pugi::xpath_node(n))) nodes.emplace_back(n);
      return true;
    });
  } else {
    const pugi::xpath_query* q = self.doc->queries().get(bstr_view(query));
    if (!q) return E_FAIL;
    pugi::xpath_node_set all = q->evaluate_node_set(self.node);
    all.sort();
    nodes.reserve(all.size());
    for (const pugi::xpath_node& n : all)
      if (selectable(self, n)) nodes.push_back(n);
  }
  DomNodeList* l = DomNodeList::create(self.doc, self.tree, std::move(nodes));
  if (!l) return E_OUTOFMEMORY;
  *list = l;
  return S_OK;
}

}  // namespace vardel::msxml
