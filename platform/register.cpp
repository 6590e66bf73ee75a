// Gathers the class registrations of the stand-ins that are built.
#include "platform/platform.h"

#ifdef VARDEL_HAVE_MSXML
#include "platform/msxml/msxml.h"
#endif
#ifdef VARDEL_HAVE_POOM
#include "platform/poom/pimstore.h"
#endif

namespace vardel::platform {

void register_classes() {
#ifdef VARDEL_HAVE_MSXML
  vardel::msxml::register_classes();
#endif
#ifdef VARDEL_HAVE_POOM
  vardel::poom::register_classes();
#endif
}

}  // namespace vardel::platform
