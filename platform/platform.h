// Registers every stand-in COM class (DOMDocument, the Pocket Outlook
// application) in the class table CoCreateInstance looks in. The host calls
// it once at start, before any job thread; tests that create these classes
// call it in their set-up. Calling it again is harmless.
#pragma once

namespace vardel::platform {

void register_classes();

}  // namespace vardel::platform
