// IXMLDOMNodeList over a snapshot of nodes (see dom_node_list.h).
#include "platform/msxml/dom_node_list.h"

#include <new>

#include "platform/core/fault.h"
#include "platform/msxml/node_ops.h"

namespace vardel::msxml {

DomNodeList* DomNodeList::create(DomDocument* doc, const TreePtr& tree,
                                 std::vector<pugi::xpath_node> nodes) {
  return new (std::nothrow) DomNodeList(doc, tree, std::move(nodes));
}

DomNodeList::DomNodeList(DomDocument* doc, const TreePtr& tree, std::vector<pugi::xpath_node> nodes)
    : doc_(doc), tree_(tree), nodes_(std::move(nodes)) {
  doc_->AddRef();
  ++tree_->lists;  // its nodes must stay nodes
}

DomNodeList::~DomNodeList() {
  --tree_->lists;
  doc_->Release();
}

HRESULT DomNodeList::get_item(long index, IXMLDOMNode** listItem) {
  return guard([&] {
    if (!listItem) return E_INVALIDARG;
    *listItem = nullptr;
    if (HRESULT hr = fault::check("msxml.get_item"); FAILED(hr)) return hr;
    if (index < 0 || static_cast<unsigned long>(index) >= nodes_.size()) return S_FALSE;
    return wrap_node(doc_, tree_, nodes_[static_cast<size_t>(index)], listItem);
  });
}

HRESULT DomNodeList::get_length(long* listLength) {
  return guard([&] {
    if (!listLength) return E_INVALIDARG;
    if (HRESULT hr = fault::check("msxml.get_length"); FAILED(hr)) return hr;
    *listLength = static_cast<long>(nodes_.size());
    return S_OK;
  });
}

HRESULT DomNodeList::nextNode(IXMLDOMNode**) noexcept { return stub(u"IXMLDOMNodeList::nextNode"); }

HRESULT DomNodeList::reset() noexcept { return stub(u"IXMLDOMNodeList::reset"); }

}  // namespace vardel::msxml
