// A list of nodes: the result of a selection (in document order) or a
// node's children. A snapshot: later changes to the tree do not change it.
#pragma once

#include <vector>

#include "platform/msxml/dom_document.h"

namespace vardel::msxml {

class DomNodeList final : public com::Object<kMsxml, IXMLDOMNodeList, &IID_IXMLDOMNodeList> {
 public:
  // One reference, owned by the caller; null when out of memory.
  static DomNodeList* create(DomDocument* doc, const TreePtr& tree,
                             std::vector<pugi::xpath_node> nodes);

  HRESULT get_item(long index, IXMLDOMNode** listItem) override;
  HRESULT get_length(long* listLength) override;
  HRESULT nextNode(IXMLDOMNode** nextItem) noexcept override;
  HRESULT reset() noexcept override;

 private:
  DomNodeList(DomDocument* doc, const TreePtr& tree, std::vector<pugi::xpath_node> nodes);
  ~DomNodeList() override;

  DomDocument* doc_;
  TreePtr tree_;
  std::vector<pugi::xpath_node> nodes_;
};

}  // namespace vardel::msxml
