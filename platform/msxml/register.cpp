// Puts DOMDocument in the class table CoCreateInstance looks in.
#include "platform/msxml/dom_document.h"

namespace vardel::msxml {

void register_classes() { com::register_class(CLSID_DOMDocument, &DomDocument::create); }

}  // namespace vardel::msxml
