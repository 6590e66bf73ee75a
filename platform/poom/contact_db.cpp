// Host-side access to the contacts database for the device tools, over the
// same connection the object model uses in this process.
#include "platform/poom/contact_db.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <utility>

#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "platform/poom/contact_database.h"
#include "platform/poom/pimstore.h"
#include "platform/sql/errors.h"

namespace vardel::poom {
namespace {

struct NamedTag {
  std::string_view name;
  CEPROPID tag;
};

// In ascending tag order.
constexpr NamedTag kNames[] = {
    {"FileAs", PIMPR_FILEAS},
    {"Title", PIMPR_TITLE},
    {"FirstName", PIMPR_FIRST_NAME},
    {"MiddleName", PIMPR_MIDDLE_NAME},
    {"LastName", PIMPR_LAST_NAME},
    {"Suffix", PIMPR_SUFFIX},
    {"Nickname", PIMPR_NICKNAME},
    {"CompanyName", PIMPR_COMPANY_NAME},
    {"Department", PIMPR_DEPARTMENT},
    {"JobTitle", PIMPR_JOB_TITLE},
    {"ManagerName", PIMPR_MANAGER},
    {"OfficeLocation", PIMPR_OFFICE_LOCATION},
    {"AssistantName", PIMPR_ASSISTANT_NAME},
    {"Email1Address", PIMPR_EMAIL1_ADDRESS},
    {"Email2Address", PIMPR_EMAIL2_ADDRESS},
    {"Email3Address", PIMPR_EMAIL3_ADDRESS},
    {"IM1Address", PIMPR_IM1_ADDRESS},
    {"IM2Address", PIMPR_IM2_ADDRESS},
    {"IM3Address", PIMPR_IM3_ADDRESS},
    {"MobileTelephoneNumber", PIMPR_MOBILE_TELEPHONE_NUMBER},
    {"BusinessTelephoneNumber", PIMPR_BUSINESS_TELEPHONE_NUMBER},
    {"Business2TelephoneNumber", PIMPR_BUSINESS2_TELEPHONE_NUMBER},
    {"HomeTelephoneNumber", PIMPR_HOME_TELEPHONE_NUMBER},
    {"Home2TelephoneNumber", PIMPR_HOME2_TELEPHONE_NUMBER},
    {"BusinessFaxNumber", PIMPR_BUSINESS_FAX_NUMBER},
    {"HomeFaxNumber", PIMPR_HOME_FAX_NUMBER},
    {"PagerNumber", PIMPR_PAGER_NUMBER},
    {"CarTelephoneNumber", PIMPR_CAR_TELEPHONE_NUMBER},
    {"RadioTelephoneNumber", PIMPR_RADIO_TELEPHONE_NUMBER},
    {"CompanyTelephoneNumber", PIMPR_COMPANY_TELEPHONE_NUMBER},
    {"AssistantTelephoneNumber", PIMPR_ASSISTANT_TELEPHONE_NUMBER},
    {"Spouse", PIMPR_SPOUSE},
    {"Children", PIMPR_CHILDREN},
    {"WebPage", PIMPR_WEB_PAGE},
    {"YomiCompanyName", PIMPR_YOMI_COMPANY},
    {"CustomerId", PIMPR_CUSTOMERID},
    {"GovernmentId", PIMPR_GOVERNMENTID},
    {"AccountName", PIMPR_ACCOUNT_NAME},
    {"BusinessAddressStreet", PIMPR_BUSINESS_ADDRESS_STREET},
    {"BusinessAddressCity", PIMPR_BUSINESS_ADDRESS_CITY},
    {"BusinessAddressState", PIMPR_BUSINESS_ADDRESS_STATE},
    {"BusinessAddressPostalCode", PIMPR_BUSINESS_ADDRESS_POSTAL_CODE},
    {"BusinessAddressCountry", PIMPR_BUSINESS_ADDRESS_COUNTRY},
    {"HomeAddressStreet", PIMPR_HOME_ADDRESS_STREET},
    {"HomeAddressCity", PIMPR_HOME_ADDRESS_CITY},
    {"HomeAddressState", PIMPR_HOME_ADDRESS_STATE},
    {"HomeAddressPostalCode", PIMPR_HOME_ADDRESS_POSTAL_CODE},
    {"HomeAddressCountry", PIMPR_HOME_ADDRESS_COUNTRY},
    {"OtherAddressStreet", PIMPR_OTHER_ADDRESS_STREET},
    {"OtherAddressCity", PIMPR_OTHER_ADDRESS_CITY},
    {"OtherAddressState", PIMPR_OTHER_ADDRESS_STATE},
    {"OtherAddressPostalCode", PIMPR_OTHER_ADDRESS_POSTAL_CODE},
    {"OtherAddressCountry", PIMPR_OTHER_ADDRESS_COUNTRY},
    {"Birthday", PIMPR_BIRTHDAY},
    {"Anniversary", PIMPR_ANNIVERSARY},
    {"Categories", PIMPR_CATEGORIES},
    {"Body", PIMPR_BODY},
};

std::shared_ptr<ContactDatabase> open_or_throw(const std::filesystem::path& db) {
  std::shared_ptr<ContactDatabase> out;
  if (HRESULT hr = ContactDatabase::open(db, &out); FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    // In use is not damaged: say which, and what to do.
    if (hr == sql::kHrBusy)
      throw std::runtime_error("the contacts database " + db.string() +
                               " is in use by another vardel (an import, a restore or the "
                               "window); try again when it has finished");
    throw std::runtime_error("cannot open the contacts database " + db.string() + " (" + code +
                             ")");
  }
  return out;
}

void throw_if_failed(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    throw std::runtime_error(std::string(what) + " failed (" + code + ")");
  }
}

bool iequals(std::string_view a, std::string_view b) { return ascii_iequals(a, b); }

}  // namespace

std::filesystem::path default_contacts_db() { return device::contacts_db(); }

void create_contacts_db(const std::filesystem::path& db) { open_or_throw(db); }

std::vector<StoredContact> list_stored_contacts(const std::filesystem::path& db) {
  auto database = open_or_throw(db);
  std::vector<std::pair<long, PropMap>> rows;
  throw_if_failed(database->list(&rows), "listing the contacts");
  std::vector<StoredContact> out;
  out.reserve(rows.size());
  for (const auto& [oid, props] : rows) {
    ContactRecord record;
    for (const auto& [tag, value] : props)
      record.push_back({tag, is_date_tag(tag) ? utf16(ticks_to_iso(value.filetime)) : value.text});
    out.push_back({oid, std::move(record)});
  }
  return out;
}

std::vector<ContactRecord> list_contacts(const std::filesystem::path& db) {
  std::vector<ContactRecord> out;
  for (StoredContact& c : list_stored_contacts(db)) out.push_back(std::move(c.record));
  return out;
}

namespace {

// The edits a Save of the record makes; throws std::invalid_argument as
// add_contact does.
PropEdits edits_of(const ContactRecord& contact) {
  PropEdits edits;
  for (const ContactProperty& p : contact) {
    if (property_name(p.tag).empty())
      throw std::invalid_argument("unknown contact property tag " + std::to_string(p.tag));
    PropValue v;
    if (is_date_tag(p.tag)) {
      auto ticks = iso_to_ticks(utf8(p.text));
      if (!ticks) throw std::invalid_argument("not an ISO 8601 date: " + utf8(p.text));
      v.filetime = *ticks;
    } else {
      v.text = p.text;
    }
    if (!edits.emplace(p.tag, std::move(v)).second)
      throw std::invalid_argument("contact property given twice: " +
                                  std::string(property_name(p.tag)));
  }
  return edits;
}

}  // namespace

long add_contact(const ContactRecord& contact, const std::filesystem::path& db) {
  return add_contacts({contact}, db).front();
}

std::vector<long> add_contacts(const std::vector<ContactRecord>& contacts,
                               const std::filesystem::path& db) {
  return add_contacts(contacts, {}, db);
}

std::vector<long> add_contacts(const std::vector<ContactRecord>& contacts,
                               const std::vector<std::string>& uids,
                               const std::filesystem::path& db) {
  std::vector<PropEdits> all;
  all.reserve(contacts.size());
  for (const ContactRecord& c : contacts) all.push_back(edits_of(c));
  auto database = open_or_throw(db);
  std::vector<long> oids;
  throw_if_failed(database->replace({}, all, &oids, uids), "adding the contacts");
  return oids;
}

std::vector<long> import_contacts(const std::vector<ContactRecord>& contacts,
                                  const std::vector<std::string>& uids,
                                  const sql::FileIdentity& file, const std::filesystem::path& db) {
  std::vector<PropEdits> all;
  all.reserve(contacts.size());
  for (const ContactRecord& c : contacts) all.push_back(edits_of(c));
  std::vector<long> oids;
  throw_if_failed(open_or_throw(db)->replace({}, all, &oids, uids, &file), "adding the contacts");
  return oids;
}

ContactImport::ContactImport(const std::filesystem::path& db) : db_(open_or_throw(db)) {
  throw_if_failed(db_->begin_import(), "starting the import");
  open_ = true;
}

ContactImport::~ContactImport() {
  if (open_) db_->end_import();
}

void ContactImport::add(const std::vector<ContactRecord>& contacts,
                        const std::vector<std::string>& uids) {
  if (!open_) throw std::logic_error("adding to an import that has ended");
  std::vector<PropEdits> all;
  all.reserve(contacts.size());
  for (const ContactRecord& c : contacts) all.push_back(edits_of(c));
  std::vector<long> oids;
  throw_if_failed(db_->import_batch(all, uids, &oids), "adding the contacts");
  added_ += oids.size();
}

void ContactImport::commit(const sql::FileIdentity& file) {
  if (!open_) throw std::logic_error("committing an import that has ended");
  open_ = false;
  throw_if_failed(db_->commit_import(file), "adding the contacts");
}

std::optional<std::int64_t> contacts_imported_when(const sql::FileIdentity& file,
                                                   const std::filesystem::path& db) {
  std::optional<std::int64_t> when;
  throw_if_failed(open_or_throw(db)->imported_when(file, &when), "reading the imported files");
  return when;
}

std::vector<std::string> contact_uids(const std::vector<long>& oids,
                                      const std::filesystem::path& db) {
  std::vector<std::string> out;
  throw_if_failed(open_or_throw(db)->uids(oids, &out), "reading the contacts' UIDs");
  return out;
}

std::vector<long> replace_contacts(const std::vector<long>& remove,
                                   const std::vector<ContactRecord>& add,
                                   const std::filesystem::path& db) {
  std::vector<PropEdits> all;
  all.reserve(add.size());
  for (const ContactRecord& c : add) all.push_back(edits_of(c));
  std::vector<long> oids;
  throw_if_failed(open_or_throw(db)->replace(remove, all, &oids), "replacing contacts");
  return oids;
}

void delete_all_contacts(const std::filesystem::path& db) {
  throw_if_failed(open_or_throw(db)->remove_all(), "deleting the contacts");
}

std::optional<CEPROPID> property_tag(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (const NamedTag& n : kNames)
    if (iequals(n.name, name)) return n.tag;
  return std::nullopt;
}

std::string_view property_name(CEPROPID tag) {
  for (const NamedTag& n : kNames)
    if (n.tag == tag) return n.name;
  return {};
}

const std::vector<CEPROPID>& known_property_tags() {
  static const std::vector<CEPROPID> tags = [] {
    std::vector<CEPROPID> t;
    for (const NamedTag& n : kNames) t.push_back(n.tag);
    return t;
  }();
  return tags;
}

}  // namespace vardel::poom
