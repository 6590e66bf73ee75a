// Phonebook entries and device contacts, both ways.
#include "host/phone/contact_map.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>

#include "host/phone/gammu_text.h"
#include "platform/core/wstr.h"
#include "platform/poom/file_as.h"
#include "platform/poom/pimstore.h"

namespace vardel::phone {

namespace {

const char* field_name(GSM_EntryType type) {
  switch (type) {
    case PBK_Caller_Group:
      return "caller group";
    case PBK_Private:
      return "private mark";
    case PBK_RingtoneID:
      return "ringtone";
    case PBK_PictureID:
    case PBK_Photo:
    case PBK_Text_PictureName:
      return "picture";
    case PBK_CallLength:
      return "call length";
    case PBK_Text_Custom1:
    case PBK_Text_Custom2:
    case PBK_Text_Custom3:
    case PBK_Text_Custom4:
      return "custom field";
    case PBK_PushToTalkID:
      return "push-to-talk id";
    case PBK_Text_DTMF:
      return "DTMF";
    case PBK_Text_SWIS:
      return "SWIS address";
    case PBK_Text_FormalName:
      return "formal name";
    case PBK_Text_UserID:
      return "user id";
    default:
      return "other field";
  }
}

std::u16string trim(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return std::u16string(s);
}

class Builder {
 public:
  std::map<CEPROPID, std::u16string> props;
  std::vector<std::string> unplaced;

  void first_free(std::initializer_list<CEPROPID> slots, std::u16string text, const char* name) {
    for (CEPROPID tag : slots)
      if (!props.count(tag)) {
        props.emplace(tag, std::move(text));
        return;
      }
    unplaced.emplace_back(name);
  }
};

struct AddressSlots {
  CEPROPID street, city, state, zip, country;
};

AddressSlots address_slots(GSM_EntryLocation where) {
  switch (where) {
    case PBK_Location_Home:
      return {PIMPR_HOME_ADDRESS_STREET, PIMPR_HOME_ADDRESS_CITY, PIMPR_HOME_ADDRESS_STATE,
              PIMPR_HOME_ADDRESS_POSTAL_CODE, PIMPR_HOME_ADDRESS_COUNTRY};
    case PBK_Location_Work:
      return {PIMPR_BUSINESS_ADDRESS_STREET, PIMPR_BUSINESS_ADDRESS_CITY,
              PIMPR_BUSINESS_ADDRESS_STATE, PIMPR_BUSINESS_ADDRESS_POSTAL_CODE,
              PIMPR_BUSINESS_ADDRESS_COUNTRY};
    default:
      return {PIMPR_OTHER_ADDRESS_STREET, PIMPR_OTHER_ADDRESS_CITY, PIMPR_OTHER_ADDRESS_STATE,
              PIMPR_OTHER_ADDRESS_POSTAL_CODE, PIMPR_OTHER_ADDRESS_COUNTRY};
  }
}

// Phonebook fields with one place in a contact, and back.
struct OnePlace {
  GSM_EntryType type;
  CEPROPID tag;
  const char* name;
};
constexpr OnePlace kOnePlace[] = {
    {PBK_Text_FirstName, PIMPR_FIRST_NAME, "first name"},
    {PBK_Text_LastName, PIMPR_LAST_NAME, "last name"},
    {PBK_Text_SecondName, PIMPR_MIDDLE_NAME, "second name"},
    {PBK_Text_NamePrefix, PIMPR_TITLE, "name prefix"},
    {PBK_Text_NameSuffix, PIMPR_SUFFIX, "name suffix"},
    {PBK_Text_NickName, PIMPR_NICKNAME, "nickname"},
    {PBK_Text_Company, PIMPR_COMPANY_NAME, "company"},
    {PBK_Text_JobTitle, PIMPR_JOB_TITLE, "job title"},
    {PBK_Text_URL, PIMPR_WEB_PAGE, "web address"},
    {PBK_Text_Note, PIMPR_BODY, "note"},
};

void place(Builder& b, const GSM_SubMemoryEntry& sub, std::u16string text,
           std::vector<std::u16string>& categories) {
  for (const OnePlace& one : kOnePlace)
    if (one.type == sub.EntryType) return b.first_free({one.tag}, std::move(text), one.name);
  const GSM_EntryLocation where = sub.Location;
  switch (sub.EntryType) {
    case PBK_Number_Mobile:
      return b.first_free({PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_CAR_TELEPHONE_NUMBER}, text,
                          "mobile number");
    case PBK_Number_General:
      if (where == PBK_Location_Home)
        return b.first_free({PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER}, text,
                            "home number");
      if (where == PBK_Location_Work)
        return b.first_free({PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER},
                            text, "work number");
      // A number of no kind, as SIM cards keep them: most are mobiles.
      return b.first_free(
          {PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER,
           PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER},
          text, "number");
    case PBK_Number_Fax:
      if (where == PBK_Location_Home)
        return b.first_free({PIMPR_HOME_FAX_NUMBER}, text, "fax number");
      return b.first_free({PIMPR_BUSINESS_FAX_NUMBER, PIMPR_HOME_FAX_NUMBER}, text, "fax number");
    case PBK_Number_Pager:
      return b.first_free({PIMPR_PAGER_NUMBER}, text, "pager number");
    case PBK_Number_Other:
    case PBK_Number_Messaging:
    case PBK_Number_Video:
      return b.first_free({PIMPR_RADIO_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER,
                           PIMPR_BUSINESS2_TELEPHONE_NUMBER},
                          text, "other number");
    case PBK_Text_Email:
      return b.first_free({PIMPR_EMAIL1_ADDRESS, PIMPR_EMAIL2_ADDRESS, PIMPR_EMAIL3_ADDRESS}, text,
                          "e-mail address");
    case PBK_Text_Email2:
      return b.first_free({PIMPR_EMAIL2_ADDRESS, PIMPR_EMAIL3_ADDRESS, PIMPR_EMAIL1_ADDRESS}, text,
                          "e-mail address");
    case PBK_Text_SIP:
    case PBK_Text_VOIP:
    case PBK_Text_WVID:
      return b.first_free({PIMPR_IM1_ADDRESS, PIMPR_IM2_ADDRESS, PIMPR_IM3_ADDRESS}, text,
                          "internet call address");
    case PBK_Text_Postal:
    case PBK_Text_StreetAddress:
      return b.first_free({address_slots(where).street}, text, "street");
    case PBK_Text_City:
      return b.first_free({address_slots(where).city}, text, "city");
    case PBK_Text_State:
      return b.first_free({address_slots(where).state}, text, "state");
    case PBK_Text_Zip:
      return b.first_free({address_slots(where).zip}, text, "postal code");
    case PBK_Text_Country:
      return b.first_free({address_slots(where).country}, text, "country");
    case PBK_Category:
      if (sub.Number == -1 || !text.empty()) {
        categories.push_back(std::move(text));
        return;
      }
      b.unplaced.emplace_back("category");
      return;
    default:
      b.unplaced.emplace_back(field_name(sub.EntryType));
  }
}

bool has_text(GSM_EntryType t) {
  return t != PBK_Date && t != PBK_LastModified && t != PBK_Caller_Group && t != PBK_Private &&
         t != PBK_RingtoneID && t != PBK_PictureID && t != PBK_CallLength && t != PBK_Photo;
}

}  // namespace

std::u16string default_file_as(const std::map<CEPROPID, std::u16string>& texts) {
  poom::PropMap props;
  for (const auto& [tag, text] : texts)
    if (tag != PIMPR_FILEAS) props[tag].text = text;
  return poom::default_file_as(props);
}

MappedContact contact_from_entry(const GSM_MemoryEntry& entry) {
  Builder b;
  std::u16string name, formal;
  std::vector<std::u16string> categories;
  for (int i = 0; i < entry.EntriesNum && i < GSM_PHONEBOOK_ENTRIES; ++i) {
    const GSM_SubMemoryEntry& sub = entry.Entries[i];
    if (sub.EntryType == PBK_Text_LUID || sub.EntryType == PBK_LastModified) continue;
    if (sub.EntryType == PBK_Date) {
      if (auto day = iso_date(sub.Date); day && !b.props.count(PIMPR_BIRTHDAY))
        b.props.emplace(PIMPR_BIRTHDAY, *day);
      else
        b.unplaced.emplace_back("date");
      continue;
    }
    if (!has_text(sub.EntryType)) {
      b.unplaced.emplace_back(field_name(sub.EntryType));
      continue;
    }
    std::u16string text = trim(from_gammu(sub.Text));
    if (text.empty() && sub.EntryType != PBK_Category) continue;
    if (sub.EntryType == PBK_Text_Name) {
      if (name.empty())
        name = text;
      else
        b.unplaced.emplace_back("name");
      continue;
    }
    if (sub.EntryType == PBK_Text_FormalName && formal.empty()) {
      formal = text;
      continue;
    }
    place(b, sub, std::move(text), categories);
  }
  if (!categories.empty()) {
    std::u16string joined;
    for (const auto& c : categories)
      if (!c.empty()) joined += (joined.empty() ? u"" : u", ") + c;
    if (!joined.empty()) b.props.emplace(PIMPR_CATEGORIES, joined);
  }
  std::u16string file_as = !name.empty() ? name : formal;
  if (file_as.empty()) file_as = default_file_as(b.props);
  if (!file_as.empty()) b.props.emplace(PIMPR_FILEAS, file_as);
  if (!name.empty() && !formal.empty()) b.unplaced.emplace_back("formal name");

  MappedContact out;
  for (auto& [tag, text] : b.props) out.record.push_back({tag, std::move(text)});
  out.unplaced = std::move(b.unplaced);
  return out;
}

namespace {

struct EntryWriter {
  GSM_MemoryEntry* entry;
  EntryResult result;

  // false once the contact is refused.
  bool add(GSM_EntryType type, GSM_EntryLocation where, std::u16string_view text,
           std::string_view field) {
    if (!result.refused.empty()) return false;
    if (entry->EntriesNum >= GSM_PHONEBOOK_ENTRIES) {
      result.refused = "more fields than a phone entry holds";
      return false;
    }
    GSM_SubMemoryEntry& sub = entry->Entries[entry->EntriesNum];
    std::memset(&sub, 0, sizeof sub);
    sub.EntryType = type;
    sub.Location = where;
    sub.Number = type == PBK_Category ? -1 : 0;
    if (!to_gammu(text, sub.Text, gammu_limit(sub.Text))) {
      result.refused = std::string(field) + " longer than the phone holds (" +
                       std::to_string(text.size()) + " characters, at most " +
                       std::to_string(gammu_limit(sub.Text)) + ")";
      return false;
    }
    ++entry->EntriesNum;
    return true;
  }
};

}  // namespace

EntryResult entry_from_contact(const poom::ContactRecord& contact, GSM_MemoryEntry* out) {
  out->EntriesNum = 0;
  EntryWriter w{out, {}};
  std::map<CEPROPID, std::u16string> props;
  for (const auto& p : contact)
    if (!p.text.empty()) props[p.tag] = p.text;
  auto get = [&](CEPROPID tag) {
    auto it = props.find(tag);
    return it == props.end() ? std::u16string() : it->second;
  };

  // The entry's name only when the contact's file-as name is not the one
  // its other fields make anyway.
  const std::u16string file_as = get(PIMPR_FILEAS);
  if (!file_as.empty() && default_file_as(props) != file_as)
    w.add(PBK_Text_Name, PBK_Location_Unknown, file_as, "FileAs");

  for (const auto& [tag, text] : props) {
    const std::string field(poom::property_name(tag));
    const OnePlace* one = std::find_if(std::begin(kOnePlace), std::end(kOnePlace),
                                       [&](const OnePlace& o) { return o.tag == tag; });
    if (one != std::end(kOnePlace)) {
      w.add(one->type, PBK_Location_Unknown, text, field);
      continue;
    }
    switch (tag) {
      case PIMPR_FILEAS:
        break;
      case PIMPR_EMAIL1_ADDRESS:
      case PIMPR_EMAIL3_ADDRESS:
        w.add(PBK_Text_Email, PBK_Location_Unknown, text, field);
        break;
      case PIMPR_EMAIL2_ADDRESS:
        w.add(PBK_Text_Email2, PBK_Location_Unknown, text, field);
        break;
      case PIMPR_MOBILE_TELEPHONE_NUMBER:
      case PIMPR_CAR_TELEPHONE_NUMBER:
        w.add(PBK_Number_Mobile, PBK_Location_Unknown, text, field);
        break;
      case PIMPR_HOME_TELEPHONE_NUMBER:
      case PIMPR_HOME2_TELEPHONE_NUMBER:
        w.add(PBK_Number_General, PBK_Location_Home, text, field);
        break;
      case PIMPR_BUSINESS_TELEPHONE_NUMBER:
      case PIMPR_BUSINESS2_TELEPHONE_NUMBER:
      case PIMPR_COMPANY_TELEPHONE_NUMBER:
        w.add(PBK_Number_General, PBK_Location_Work, text, field);
        break;
      case PIMPR_HOME_FAX_NUMBER:
        w.add(PBK_Number_Fax, PBK_Location_Home, text, field);
        break;
      case PIMPR_BUSINESS_FAX_NUMBER:
        w.add(PBK_Number_Fax, PBK_Location_Work, text, field);
        break;
      case PIMPR_PAGER_NUMBER:
        w.add(PBK_Number_Pager, PBK_Location_Unknown, text, field);
        break;
      case PIMPR_RADIO_TELEPHONE_NUMBER:
        w.add(PBK_Number_Other, PBK_Location_Unknown, text, field);
        break;
      case PIMPR_HOME_ADDRESS_STREET:
      case PIMPR_BUSINESS_ADDRESS_STREET:
      case PIMPR_OTHER_ADDRESS_STREET:
      case PIMPR_HOME_ADDRESS_CITY:
      case PIMPR_BUSINESS_ADDRESS_CITY:
      case PIMPR_OTHER_ADDRESS_CITY:
      case PIMPR_HOME_ADDRESS_STATE:
      case PIMPR_BUSINESS_ADDRESS_STATE:
      case PIMPR_OTHER_ADDRESS_STATE:
      case PIMPR_HOME_ADDRESS_POSTAL_CODE:
      case PIMPR_BUSINESS_ADDRESS_POSTAL_CODE:
      case PIMPR_OTHER_ADDRESS_POSTAL_CODE:
      case PIMPR_HOME_ADDRESS_COUNTRY:
      case PIMPR_BUSINESS_ADDRESS_COUNTRY:
      case PIMPR_OTHER_ADDRESS_COUNTRY: {
        // The address tags run street, city, state, postal code, country
        // from 0x..1 in each block of sixteen.
        const unsigned block = (tag >> 16) & 0xF0, part = (tag >> 16) & 0x0F;
        const GSM_EntryLocation where = block == 0xD0   ? PBK_Location_Home
                                        : block == 0xC0 ? PBK_Location_Work
                                                        : PBK_Location_Unknown;
        static constexpr GSM_EntryType kParts[] = {PBK_Text_StreetAddress, PBK_Text_City,
                                                   PBK_Text_State, PBK_Text_Zip, PBK_Text_Country};
        w.add(kParts[part - 1], where, text, field);
        break;
      }
      case PIMPR_CATEGORIES: {
        std::u16string_view rest = text;
        while (!rest.empty()) {
          const auto comma = rest.find(u',');
          const std::u16string one = trim(rest.substr(0, comma));
          if (!one.empty()) w.add(PBK_Category, PBK_Location_Unknown, one, field);
          rest = comma == std::u16string_view::npos ? u"" : rest.substr(comma + 1);
        }
        break;
      }
      case PIMPR_BIRTHDAY:
        if (auto day = gammu_date(text); day && w.result.refused.empty()) {
          if (out->EntriesNum >= GSM_PHONEBOOK_ENTRIES) {
            w.result.refused = "more fields than a phone entry holds";
            break;
          }
          GSM_SubMemoryEntry& sub = out->Entries[out->EntriesNum++];
          std::memset(&sub, 0, sizeof sub);
          sub.EntryType = PBK_Date;
          sub.Date = *day;
        }
        break;
      default:
        w.result.unplaced.push_back(field);
    }
  }
  if (!w.result.refused.empty()) {
    out->EntriesNum = 0;
    w.result.unplaced.clear();
  }
  return w.result;
}

DuplicateKey duplicate_key(const poom::ContactRecord& contact) {
  DuplicateKey key;
  for (const auto& p : contact) {
    switch (p.tag) {
      case PIMPR_FILEAS:
        key.file_as = fold_case(p.text);
        break;
      case PIMPR_BUSINESS_TELEPHONE_NUMBER:
        key.business = fold_case(p.text);
        break;
      case PIMPR_MOBILE_TELEPHONE_NUMBER:
        key.mobile = fold_case(p.text);
        break;
      case PIMPR_HOME_TELEPHONE_NUMBER:
        key.home = fold_case(p.text);
        break;
      default:
        break;
    }
  }
  return key;
}

}  // namespace vardel::phone
