// Pocket Outlook Object Model stand-in: the application object, the contacts
// folder, its item collection, contacts (IContact) and the generic item view
// (IItem) with its property-tag access, over the device's contacts database.
//
// Contract the program relies on:
// - The item collection lists contacts by FileAs compared without regard to
//   case (the same folding as _wcsicmp), then by creation, so contacts with
//   equal FileAs stand next to each other. Positions are 1-based; Remove(k)
//   moves every later contact down by one. Item and Remove cost O(log n): the
//   collection takes its ordered list once, when get_Items makes it.
// - CreateItem(olContactItem) gives a new, unsaved, empty contact; Save stores
//   it in one transaction and gives it its object identifier (get_Oid).
// - Several application objects (on one thread or several) share the
//   database: a new item collection shows everything saved before it was made.
// - A database that is corrupt or cannot be read makes Logon fail with a
//   negative HRESULT; such a file is never written.
// - Interface pointers handed out hold one reference. Objects are used on one
//   thread (the one that created the application object).
//
// Fault points (platform/core/fault.h): "poom.Logon", "poom.GetDefaultFolder",
// "poom.get_Items", "poom.Item", "poom.Remove", "poom.CreateItem",
// "poom.Contact.Save", "poom.GetProps", "poom.SetProps", "poom.Item.Save".
// ("com.CoCreateInstance" is the COM runtime's.)
#pragma once

#include "platform/com/com.h"
#include "platform/core/types.h"

// The automation base of the Pocket Outlook interfaces. Nothing here calls
// through it by name, so it adds no methods of its own.
#ifndef VARDEL_HAVE_IDISPATCH
#define VARDEL_HAVE_IDISPATCH
struct IDispatch : IUnknown {
 protected:
  ~IDispatch() = default;
};
#endif
using LPDISPATCH = IDispatch*;

// ---------------------------------------------------------------------------
// Property values (windbase.h).

#define CEVT_I2 2
#define CEVT_I4 3
#define CEVT_R8 5
#define CEVT_BOOL 11
#define CEVT_UI2 18
#define CEVT_UI4 19
#define CEVT_LPWSTR 31
#define CEVT_FILETIME 64
#define CEVT_BLOB 65

#define TypeFromPropID(propid) LOWORD(propid)
#define PropIdFromPropID(propid) HIWORD(propid)

// wFlags of a CEPROPVAL.
#define CEDB_PROPNOTFOUND 0x0100  // GetProps: the item has no such property
#define CEDB_PROPDELETE 0x0200    // SetProps: remove the property; GetProps: deleted
// ulFlags of GetProps: let the call grow the caller's buffer (not supported
// here; the program always asks for the size first).
#define CEDB_ALLOWREALLOC 0x00000001

struct CEBLOB {
  DWORD dwCount;
  LPBYTE lpb;
};

union CEVALUNION {
  SHORT iVal;
  USHORT uiVal;
  LONG lVal;
  ULONG ulVal;
  FILETIME filetime;
  LPWSTR lpwstr;
  CEBLOB blob;
  BOOL boolVal;
  double dblVal;
};

struct CEPROPVAL {
  CEPROPID propid;
  WORD wLenData;  // text length in characters (without the terminator)
  WORD wFlags;
  CEVALUNION val;
};
using PCEPROPVAL = CEPROPVAL*;

// ---------------------------------------------------------------------------
// Folder and item kinds.

enum OlDefaultFolders {
  olFolderCalendar = 9,
  olFolderContacts = 10,
  olFolderTasks = 13,
  olFolderCities = 101,
  olFolderInfrared = 102,
};

enum OlItemType {
  olAppointmentItem = 1,
  olContactItem = 2,
  olTaskItem = 3,
  olCitiesItem = 102,
};

// ---------------------------------------------------------------------------
// Contact property tags: property identifier in the high 16 bits, value type
// in the low 16 bits.

#define PIMPR_PROP(id, type) ((CEPROPID)(((DWORD)(id) << 16) | (DWORD)(type)))

#define PIMPR_FILEAS 0x0080001Fu
#define PIMPR_TITLE 0x0081001Fu
#define PIMPR_FIRST_NAME 0x0082001Fu
#define PIMPR_MIDDLE_NAME 0x0083001Fu
#define PIMPR_LAST_NAME 0x0084001Fu
#define PIMPR_SUFFIX 0x0085001Fu
#define PIMPR_NICKNAME 0x0086001Fu
#define PIMPR_COMPANY_NAME 0x008A001Fu
#define PIMPR_DEPARTMENT 0x008B001Fu
#define PIMPR_JOB_TITLE 0x008C001Fu
#define PIMPR_MANAGER 0x008D001Fu
#define PIMPR_OFFICE_LOCATION 0x008E001Fu
#define PIMPR_ASSISTANT_NAME 0x008F001Fu
#define PIMPR_EMAIL1_ADDRESS 0x0090001Fu
#define PIMPR_EMAIL2_ADDRESS 0x0091001Fu
#define PIMPR_EMAIL3_ADDRESS 0x0092001Fu
#define PIMPR_IM1_ADDRESS 0x0093001Fu
#define PIMPR_IM2_ADDRESS 0x0094001Fu
#define PIMPR_IM3_ADDRESS 0x0095001Fu
#define PIMPR_MOBILE_TELEPHONE_NUMBER 0x0096001Fu
#define PIMPR_BUSINESS_TELEPHONE_NUMBER 0x0097001Fu
#define PIMPR_BUSINESS2_TELEPHONE_NUMBER 0x0098001Fu
#define PIMPR_HOME_TELEPHONE_NUMBER 0x0099001Fu
#define PIMPR_HOME2_TELEPHONE_NUMBER 0x009A001Fu
#define PIMPR_BUSINESS_FAX_NUMBER 0x009B001Fu
#define PIMPR_HOME_FAX_NUMBER 0x009C001Fu
#define PIMPR_PAGER_NUMBER 0x009D001Fu
#define PIMPR_CAR_TELEPHONE_NUMBER 0x009E001Fu
#define PIMPR_RADIO_TELEPHONE_NUMBER 0x009F001Fu
#define PIMPR_COMPANY_TELEPHONE_NUMBER 0x00A0001Fu
#define PIMPR_ASSISTANT_TELEPHONE_NUMBER 0x00A1001Fu
#define PIMPR_SPOUSE 0x00A5001Fu
#define PIMPR_CHILDREN 0x00A6001Fu
#define PIMPR_WEB_PAGE 0x00A7001Fu
#define PIMPR_YOMI_COMPANY 0x00A8001Fu
#define PIMPR_CUSTOMERID 0x00A9001Fu
#define PIMPR_GOVERNMENTID 0x00AA001Fu
#define PIMPR_ACCOUNT_NAME 0x00AB001Fu
#define PIMPR_BUSINESS_ADDRESS_STREET 0x00C1001Fu
#define PIMPR_BUSINESS_ADDRESS_CITY 0x00C2001Fu
#define PIMPR_BUSINESS_ADDRESS_STATE 0x00C3001Fu
#define PIMPR_BUSINESS_ADDRESS_POSTAL_CODE 0x00C4001Fu
#define PIMPR_BUSINESS_ADDRESS_COUNTRY 0x00C5001Fu
#define PIMPR_HOME_ADDRESS_STREET 0x00D1001Fu
#define PIMPR_HOME_ADDRESS_CITY 0x00D2001Fu
#define PIMPR_HOME_ADDRESS_STATE 0x00D3001Fu
#define PIMPR_HOME_ADDRESS_POSTAL_CODE 0x00D4001Fu
#define PIMPR_HOME_ADDRESS_COUNTRY 0x00D5001Fu
#define PIMPR_OTHER_ADDRESS_STREET 0x00E1001Fu
#define PIMPR_OTHER_ADDRESS_CITY 0x00E2001Fu
#define PIMPR_OTHER_ADDRESS_STATE 0x00E3001Fu
#define PIMPR_OTHER_ADDRESS_POSTAL_CODE 0x00E4001Fu
#define PIMPR_OTHER_ADDRESS_COUNTRY 0x00E5001Fu
#define PIMPR_BIRTHDAY 0x00F00040u
#define PIMPR_ANNIVERSARY 0x00F10040u
#define PIMPR_CATEGORIES 0x101D001Fu
#define PIMPR_BODY 0x101F001Fu

// ---------------------------------------------------------------------------
// Class and interface identifiers.

extern const CLSID CLSID_Application;          // {05058F23-20BE-11D2-8F18-0000F87A4335}
extern const IID IID_IPOutlookApp2;            // {AF7D0DC7-3D35-424B-AA60-27A38B8B629E}
extern const IID IID_IPOutlookApp;             // {05058F22-20BE-11D2-8F18-0000F87A4335}
extern const IID IID_IFolder;                  // {05058F0A-20BE-11D2-8F18-0000F87A4335}
extern const IID IID_IPOutlookItemCollection;  // {F06748C0-21A5-11D2-8F18-0000F87A4335}
extern const IID IID_IContact;                 // {7F804E40-2006-11D2-8F18-0000F87A4335}
extern const IID IID_IItem;                    // {FAD11DF1-8096-4E4E-B4F2-5BA0D3F01CFC}
extern const IID IID_IDispatch;                // {00020400-0000-0000-C000-000000000046}

struct IFolder;
struct IPOutlookItemCollection;
struct IContact;
struct IItem;

// ---------------------------------------------------------------------------

struct IPOutlookApp2 : IDispatch {
  // Opens the object model; hWnd owns any dialog it would show (none here).
  virtual HRESULT Logon(long hWnd) = 0;
  virtual HRESULT Logoff() = 0;
  virtual HRESULT get_Version(BSTR* pVersion) = 0;
  virtual HRESULT GetDefaultFolder(int olFolder, IFolder** ppIFolder) = 0;
  // A new, unsaved, empty item. For olContactItem the IDispatch pointer is
  // the contact's IContact (cast it, or QueryInterface for IID_IContact).
  virtual HRESULT CreateItem(int olItem, IDispatch** ppPOOMItem) = 0;
  virtual HRESULT GetItemFromOid(long oid, IDispatch** ppPOOMItem) = 0;
  // The saved contact with that identifier as a generic item. dwFlags 0.
  virtual HRESULT GetItemFromOidEx(CEOID oidPIM, ULONG dwFlags, IItem** ppItem) = 0;
  // Calendar time <-> the DATE the date properties take (days since
  // 1899-12-30, the fraction being the time of day).
  virtual HRESULT SystemTimeToVariantTime(SYSTEMTIME* pst, DATE* pdate) = 0;
  virtual HRESULT VariantTimeToSystemTime(DATE date, SYSTEMTIME* pst) = 0;

 protected:
  ~IPOutlookApp2() = default;
};

struct IFolder : IDispatch {
  virtual HRESULT get_Items(IPOutlookItemCollection** ppolItems) = 0;
  virtual HRESULT get_DefaultItemType(int* polItem) = 0;
  virtual HRESULT get_Application(IPOutlookApp2** ppPOOM) = 0;

 protected:
  ~IFolder() = default;
};

struct IPOutlookItemCollection : IDispatch {
  virtual HRESULT get_Count(int* pnCount) = 0;
  // The contact at 1-based position iIndex (its IContact as IDispatch).
  virtual HRESULT Item(int iIndex, IDispatch** ppolItem) = 0;
  // Deletes the contact at 1-based position iIndex from the store.
  virtual HRESULT Remove(int iIndex) = 0;
  // Same as CreateItem(olContactItem) on the application.
  virtual HRESULT Add(IDispatch** ppolItem) = 0;
  virtual HRESULT get_Application(IPOutlookApp2** ppPOOM) = 0;

 protected:
  ~IPOutlookItemCollection() = default;
};

struct IContact : IDispatch {
  // Text getters return a new BSTR the caller frees (an empty BSTR when the
  // property is not set); setters copy the text (null or empty clears it).
#define VARDEL_POOM_TEXT_PROPERTY(Name)        \
  virtual HRESULT get_##Name(BSTR* pbstr) = 0; \
  virtual HRESULT put_##Name(BSTR bstr) = 0;
  VARDEL_POOM_TEXT_PROPERTY(FileAs)
  VARDEL_POOM_TEXT_PROPERTY(Title)
  VARDEL_POOM_TEXT_PROPERTY(FirstName)
  VARDEL_POOM_TEXT_PROPERTY(MiddleName)
  VARDEL_POOM_TEXT_PROPERTY(LastName)
  VARDEL_POOM_TEXT_PROPERTY(Suffix)
  VARDEL_POOM_TEXT_PROPERTY(CompanyName)
  VARDEL_POOM_TEXT_PROPERTY(Department)
  VARDEL_POOM_TEXT_PROPERTY(JobTitle)
  VARDEL_POOM_TEXT_PROPERTY(OfficeLocation)
  VARDEL_POOM_TEXT_PROPERTY(AssistantName)
  VARDEL_POOM_TEXT_PROPERTY(Email1Address)
  VARDEL_POOM_TEXT_PROPERTY(Email2Address)
  VARDEL_POOM_TEXT_PROPERTY(Email3Address)
  VARDEL_POOM_TEXT_PROPERTY(MobileTelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(BusinessTelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(Business2TelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(HomeTelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(Home2TelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(BusinessFaxNumber)
  VARDEL_POOM_TEXT_PROPERTY(HomeFaxNumber)
  VARDEL_POOM_TEXT_PROPERTY(PagerNumber)
  VARDEL_POOM_TEXT_PROPERTY(CarTelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(RadioTelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(AssistantTelephoneNumber)
  VARDEL_POOM_TEXT_PROPERTY(Spouse)
  VARDEL_POOM_TEXT_PROPERTY(Children)
  VARDEL_POOM_TEXT_PROPERTY(WebPage)
  VARDEL_POOM_TEXT_PROPERTY(BusinessAddressStreet)
  VARDEL_POOM_TEXT_PROPERTY(BusinessAddressCity)
  VARDEL_POOM_TEXT_PROPERTY(BusinessAddressState)
  VARDEL_POOM_TEXT_PROPERTY(BusinessAddressPostalCode)
  VARDEL_POOM_TEXT_PROPERTY(BusinessAddressCountry)
  VARDEL_POOM_TEXT_PROPERTY(HomeAddressStreet)
  VARDEL_POOM_TEXT_PROPERTY(HomeAddressCity)
  VARDEL_POOM_TEXT_PROPERTY(HomeAddressState)
  VARDEL_POOM_TEXT_PROPERTY(HomeAddressPostalCode)
  VARDEL_POOM_TEXT_PROPERTY(HomeAddressCountry)
  VARDEL_POOM_TEXT_PROPERTY(OtherAddressStreet)
  VARDEL_POOM_TEXT_PROPERTY(OtherAddressCity)
  VARDEL_POOM_TEXT_PROPERTY(OtherAddressState)
  VARDEL_POOM_TEXT_PROPERTY(OtherAddressPostalCode)
  VARDEL_POOM_TEXT_PROPERTY(OtherAddressCountry)
  VARDEL_POOM_TEXT_PROPERTY(Categories)
  VARDEL_POOM_TEXT_PROPERTY(Body)
#undef VARDEL_POOM_TEXT_PROPERTY

  // Dates; a contact without one reports 4501-01-01 (DATE 949998.0), as the
  // phone does.
  virtual HRESULT get_Birthday(DATE* pst) = 0;
  virtual HRESULT put_Birthday(DATE st) = 0;
  virtual HRESULT get_Anniversary(DATE* pst) = 0;
  virtual HRESULT put_Anniversary(DATE st) = 0;

  // 0 until the contact has been saved.
  virtual HRESULT get_Oid(long* poid) = 0;
  // Stores the contact (one transaction) and gives a new one its identifier.
  virtual HRESULT Save() = 0;
  virtual HRESULT Delete() = 0;
  virtual HRESULT get_Application(IPOutlookApp2** ppPOOM) = 0;

 protected:
  ~IContact() = default;
};

// The date a contact without a birthday or anniversary reports.
#define POOM_NO_DATE 949998.0

struct IItem : IDispatch {
  // Reads cProps properties into one buffer: the CEPROPVAL array first, the
  // texts after it. With *prgVals null or *pcbBuffer too small it stores the
  // size needed in *pcbBuffer and returns HRESULT_FROM_WIN32(
  // ERROR_INSUFFICIENT_BUFFER) (0x8007007A); the caller allocates that much
  // (LocalAlloc) and calls again. An absent property comes back with
  // CEDB_PROPNOTFOUND in wFlags, wLenData 0 and a zero value.
  virtual HRESULT GetProps(const CEPROPID* rgPropID, ULONG ulFlags, WORD cProps,
                           CEPROPVAL** prgVals, ULONG* pcbBuffer, HANDLE hHeap) = 0;
  // Sets (or, with CEDB_PROPDELETE in wFlags, removes) properties on the
  // item; they reach the store with Save. Texts are taken up to their
  // terminator (wLenData is not trusted).
  virtual HRESULT SetProps(ULONG ulFlags, WORD cProps, CEPROPVAL* rgVals) = 0;
  virtual HRESULT Save() = 0;
  virtual HRESULT Delete() = 0;
  virtual HRESULT get_Oid(CEOID* poid) = 0;

 protected:
  ~IItem() = default;
};

namespace vardel::poom {

// Registers the Pocket Outlook application class with the COM runtime.
void register_classes();

}  // namespace vardel::poom
