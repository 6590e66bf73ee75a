// DOMDocument: IXMLDOMDocument2 over a pugixml tree.
#include "platform/msxml/dom_document.h"

#include <fcntl.h>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/atomic_file.h"
#include "platform/msxml/dom_node.h"
#include "platform/msxml/dom_node_list.h"
#include "platform/msxml/node_ops.h"
#include "platform/msxml/saved_file_check.h"
#include "platform/msxml/text.h"
#include "platform/msxml/xml_source.h"
#include "platform/msxml/xml_writer.h"

namespace vardel::msxml {

#define SELF (NodeRef{this, tree_, pugi::xpath_node(tree_->doc)})

HRESULT DomDocument::create(REFIID riid, void** ppv) {
  return guard([&] { return com::create_instance<DomDocument>(riid, ppv); });
}

DomDocument::DomDocument() : tree_(std::make_shared<Tree>()) {}

HRESULT DomDocument::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  return guard([&] {
    if (riid == IID_IXMLDOMNode) {
      if (HRESULT hr = fault::check("msxml.QueryInterface"); FAILED(hr)) {
        *ppv = nullptr;
        return hr;
      }
    }
    return Object::QueryInterface(riid, ppv);
  });
}

// ---- the document as a node

HRESULT DomDocument::get_nodeName(BSTR* name) {
  return guard([&] { return node_name(SELF, name); });
}
HRESULT DomDocument::get_nodeType(DOMNodeType* type) {
  return guard([&] { return node_type(SELF, type); });
}

HRESULT DomDocument::get_parentNode(IXMLDOMNode**) noexcept {
  return stub(u"IXMLDOMNode::get_parentNode");
}
HRESULT DomDocument::get_childNodes(IXMLDOMNodeList**) noexcept {
  return stub(u"IXMLDOMNode::get_childNodes");
}
HRESULT DomDocument::get_firstChild(IXMLDOMNode** firstChild) {
  return guard([&] { return node_first_child(SELF, firstChild); });
}
HRESULT DomDocument::get_lastChild(IXMLDOMNode**) noexcept {
  return stub(u"IXMLDOMNode::get_lastChild");
}
HRESULT DomDocument::get_previousSibling(IXMLDOMNode**) noexcept {
  return stub(u"IXMLDOMNode::get_previousSibling");
}

HRESULT DomDocument::get_nextSibling(IXMLDOMNode** nextSibling) noexcept {
  if (!nextSibling) return E_INVALIDARG;
  *nextSibling = nullptr;
  return S_FALSE;
}

HRESULT DomDocument::removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) {
  return guard([&] { return node_remove_child(SELF, childNode, oldChild); });
}
HRESULT DomDocument::appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) {
  return guard([&] { return node_append_child(SELF, newChild, outNewChild); });
}
HRESULT DomDocument::hasChildNodes(VARIANT_BOOL*) noexcept {
  return stub(u"IXMLDOMNode::hasChildNodes");
}
HRESULT DomDocument::get_ownerDocument(IXMLDOMDocument**) noexcept {
  return stub(u"IXMLDOMNode::get_ownerDocument");
}

HRESULT DomDocument::get_text(BSTR* text) {
  return guard([&] { return node_get_text(SELF, text); });
}
HRESULT DomDocument::put_text(BSTR) noexcept { return E_FAIL; }  // a document holds no text
HRESULT DomDocument::get_xml(BSTR*) noexcept { return stub(u"IXMLDOMNode::get_xml"); }
HRESULT DomDocument::selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) {
  return guard([&] { return node_select_nodes(SELF, queryString, resultList); });
}
HRESULT DomDocument::selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) {
  return guard([&] { return node_select_single(SELF, queryString, resultNode); });
}

// ---- IXMLDOMDocument

HRESULT DomDocument::get_documentElement(IXMLDOMElement** DOMElement) {
  return guard([&] {
    if (!DOMElement) return E_INVALIDARG;
    *DOMElement = nullptr;
    for (pugi::xml_node c : tree_->doc.children()) {
      if (c.type() != pugi::node_element || !tree_->is_visible(c)) continue;
      DomNode* node = DomNode::create(this, tree_, pugi::xpath_node(c));
      if (!node) return E_OUTOFMEMORY;
      *DOMElement = node;
      return S_OK;
    }
    return S_FALSE;
  });
}

HRESULT DomDocument::createElement(BSTR tagName, IXMLDOMElement** element) {
  return guard([&] {
    if (!element) return E_INVALIDARG;
    *element = nullptr;
    if (!tagName) return E_INVALIDARG;
    if (HRESULT hr = fault::check("msxml.createElement"); FAILED(hr)) return hr;
    if (!is_xml_name(bstr_view(tagName))) return E_FAIL;
    // Made in the detached holder; appendChild moves it into place.
    thread_local std::string name;
    name.clear();
    append_utf8(name, bstr_view(tagName));
    pugi::xml_node n = tree_->names.append_element(tree_->detached, name.c_str());
    if (!n) return E_OUTOFMEMORY;
    DomNode* node = DomNode::create(this, tree_, pugi::xpath_node(n));
    if (!node) return E_OUTOFMEMORY;
    *element = node;
    return S_OK;
  });
}

HRESULT DomDocument::getElementsByTagName(BSTR, IXMLDOMNodeList**) noexcept {
  return stub(u"IXMLDOMDocument::getElementsByTagName");
}

bool DomDocument::load_text(std::string utf8) {
  TreePtr parsed = parse_tree(std::move(utf8), preserve_space_);
  // A failed load leaves an empty document, as the phone's does; node
  // objects of the old tree keep that tree alive.
  tree_ = parsed ? std::move(parsed) : std::make_shared<Tree>();
  return tree_->doc.first_child() != tree_->detached;
}

HRESULT DomDocument::load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) {
  return guard([&] {
    if (!isSuccessful) return E_INVALIDARG;
    *isSuccessful = VARIANT_FALSE;
    if (xmlSource.vt != VT_BSTR) return E_INVALIDARG;
    if (HRESULT hr = fault::check("msxml.load"); FAILED(hr)) return hr;
    std::optional<std::string> text;
    const int fd = device::open_file(bstr_view(xmlSource.bstrVal), O_RDONLY);
    if (fd >= 0)
      if (auto bytes = read_fd(fd)) text = to_utf8_text(std::move(*bytes));
    if (!text) {
      tree_ = std::make_shared<Tree>();
      return S_FALSE;
    }
    if (!load_text(std::move(*text))) return S_FALSE;
    *isSuccessful = VARIANT_TRUE;
    return S_OK;
  });
}

HRESULT DomDocument::get_async(VARIANT_BOOL*) noexcept {
  return stub(u"IXMLDOMDocument::get_async");
}

// Loading is always synchronous here: either answer is taken.
HRESULT DomDocument::put_async(VARIANT_BOOL) noexcept { return S_OK; }

HRESULT DomDocument::loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) {
  return guard([&] {
    if (!isSuccessful) return E_INVALIDARG;
    *isSuccessful = VARIANT_FALSE;
    if (HRESULT hr = fault::check("msxml.loadXML"); FAILED(hr)) return hr;
    std::u16string_view text = bstr_view(bstrXML);
    if (!text.empty() && text.front() == u'\uFEFF')
      text.remove_prefix(1);  // a byte order mark carried over
    if (!load_text(to_utf8(text))) return S_FALSE;
    *isSuccessful = VARIANT_TRUE;
    return S_OK;
  });
}

namespace {

// The document's root element, or null for a document without one.
pugi::xml_node root_element(const Tree& tree) {
  for (pugi::xml_node c = tree.doc.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && tree.is_visible(c)) return c;
  return {};
}

// The records the tree holds as the saved file will: elements directly
// inside the root element, packed ones included.
size_t count_records(const Tree& tree, pugi::xml_node root) {
  size_t n = 0;
  for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
    if (const PackedRun* run = packed_run(tree, c))
      n += run->records;
    else if (c.type() == pugi::node_element)
      ++n;
  }
  return n;
}

// Fault point "msxml.save.record": one record goes missing after it was
// counted, as a fault in the serialiser or the disk would lose it.
void drop_last_record(Tree& tree, pugi::xml_node root) {
  unpack_all(tree);
  for (pugi::xml_node c = root.last_child(); c; c = c.previous_sibling())
    if (c.type() == pugi::node_element) {
      tree.detached.append_move(c);
      return;
    }
}

}  // namespace

HRESULT DomDocument::save(VARIANT destination) {
  return guard([&] {
    if (destination.vt != VT_BSTR || bstr_view(destination.bstrVal).empty()) return E_INVALIDARG;
    HRESULT injected = fault::check("msxml.save");
    // Written to the new file in 64 KiB pieces, so a large backup is never
    // held twice in memory. An injected failure stops after the first piece,
    // as a disk filling up would. A path outside the device is E_ACCESSDENIED.
    core::AtomicFile file;
    if (HRESULT hr = file.open(bstr_view(destination.bstrVal)); FAILED(hr)) return hr;
    const pugi::xml_node root = root_element(*tree_);
    const size_t records = root ? count_records(*tree_, root) : 0;
    if (root && FAILED(fault::check("msxml.save.record"))) drop_last_record(*tree_, root);
    HRESULT hr = S_OK;
    write_markup(*tree_, tree_->doc, 64 * 1024, [&](std::string_view piece) {
      if (FAILED(injected)) {
        file.write(piece.substr(0, piece.size() / 2));
        return false;
      }
      hr = file.write(piece);
      return SUCCEEDED(hr);
    });
    if (FAILED(injected)) return injected;
    if (FAILED(hr)) return hr;
    // The new file is read back before it replaces the old one: it must
    // parse, under the same root, with every record the document holds.
    // Otherwise the old file stays and the save fails.
    if (root) {
      SavedFile saved;
      if (!check_saved_file(file.fd(), &saved)) return core::hresult_from_errno(errno);
      if (!saved.well_formed || saved.root != root.name() || saved.records != records)
        return E_FAIL;
      file.set_sha256(std::move(saved.sha256));
    }
    return file.commit();
  });
}

HRESULT DomDocument::get_preserveWhiteSpace(VARIANT_BOOL*) noexcept {
  return stub(u"IXMLDOMDocument::get_preserveWhiteSpace");
}

HRESULT DomDocument::put_preserveWhiteSpace(VARIANT_BOOL isPreserving) {
  return guard([&] {
    if (HRESULT hr = fault::check("msxml.put_preserveWhiteSpace"); FAILED(hr)) return hr;
    preserve_space_ = isPreserving != VARIANT_FALSE;
    return S_OK;
  });
}

// ---- IXMLDOMDocument2

HRESULT DomDocument::setProperty(BSTR name, VARIANT value) {
  return guard([&] {
    if (!name) return E_INVALIDARG;
    if (HRESULT hr = fault::check("msxml.setProperty"); FAILED(hr)) return hr;
    std::u16string_view n = bstr_view(name);
    if (n == u"SelectionLanguage") {
      // XPath is the only selection language offered.
      if (value.vt == VT_BSTR && bstr_view(value.bstrVal) == u"XPath") return S_OK;
      return E_FAIL;
    }
    // Accepted; the program's names carry no prefixes.
    if (n == u"SelectionNamespaces") return value.vt == VT_BSTR ? S_OK : E_FAIL;
    return E_FAIL;
  });
}

HRESULT DomDocument::getProperty(BSTR, VARIANT*) noexcept {
  return stub(u"IXMLDOMDocument2::getProperty");
}

#undef SELF

}  // namespace vardel::msxml
