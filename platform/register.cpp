// Registers the COM classes of the stand-ins: DOMDocument and Pocket
// Outlook's Application. (CE MAPI is reached through functions, not classes.)
#include "platform/platform.h"

#include "platform/msxml/msxml.h"
#include "platform/poom/pimstore.h"

namespace vardel::platform {

void register_classes() {
  vardel::msxml::register_classes();
  vardel::poom::register_classes();
}

}  // namespace vardel::platform
