// Class and interface identifiers of the Pocket Outlook object model.
#include "platform/poom/item_merge.h"
#include "platform/poom/pimstore.h"

using vardel::com::guid;

const CLSID CLSID_Application = guid("{05058F23-20BE-11D2-8F18-0000F87A4335}");
const IID IID_IPOutlookApp2 = guid("{AF7D0DC7-3D35-424B-AA60-27A38B8B629E}");
const IID IID_IPOutlookApp = guid("{05058F22-20BE-11D2-8F18-0000F87A4335}");
const IID IID_IFolder = guid("{05058F0A-20BE-11D2-8F18-0000F87A4335}");
const IID IID_IPOutlookItemCollection = guid("{F06748C0-21A5-11D2-8F18-0000F87A4335}");
const IID IID_IContact = guid("{7F804E40-2006-11D2-8F18-0000F87A4335}");
const IID IID_IItem = guid("{FAD11DF1-8096-4E4E-B4F2-5BA0D3F01CFC}");
// Weak so that the COM runtime may define the same identifier.
__attribute__((weak)) extern const IID IID_IDispatch =
    guid("{00020400-0000-0000-C000-000000000046}");
// The stand-in's own interface (item_merge.h).
const IID IID_IPOutlookItemMerge = guid("{6D1C52B0-7A64-4E0B-9C3E-2F1B8E5A9D47}");
