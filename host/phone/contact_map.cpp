// Phonebook entries and device contacts, both ways.
#include "host/phone/contact_map.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>

#include "host/formats/contact_fields.h"
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
    case PBK_Text_FirstName:
      return "first name";
    case PBK_Text_LastName:
      return "last name";
    case PBK_Text_SecondName:
      return "second name";
    case PBK_Text_NamePrefix:
      return "name prefix";
    case PBK_Text_NameSuffix:
      return "name suffix";
    case PBK_Text_NickName:
      return "nickname";
    case PBK_Text_Company:
      return "company";
    case PBK_Text_JobTitle:
      return "job title";
    case PBK_Text_URL:
      return "web address";
    case PBK_Text_Note:
      return "note";
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

  void first_free(const std::vector<CEPROPID>& slots, std::u16string text, const char* name) {
    for (CEPROPID tag : slots)
      if (!props.count(tag)) {
        props.emplace(tag, std::move(text));
        return;
      }
    unplaced.emplace_back(name);
  }
};

// The given slots first, then the others of their kind.
std::vector<CEPROPID> then_kind(std::vector<CEPROPID> first, fields::Kind kind,
                                fields::Place place = fields::Place::none) {
  for (CEPROPID tag : fields::slots(kind, place))
    if (std::find(first.begin(), first.end(), tag) == first.end()) first.push_back(tag);
  return first;
}

fields::Place place_of(GSM_EntryLocation where) {
  return where == PBK_Location_Home   ? fields::Place::home
         : where == PBK_Location_Work ? fields::Place::work
                                      : fields::Place::other;
}

// One part (0 street ... 4 country) of an address: its place's, else that
// of the next address with the part free.
void place_address_part(Builder& b, GSM_EntryLocation where, int part, std::u16string text,
                        const char* name) {
  std::vector<CEPROPID> slots;
  for (CEPROPID street : fields::slots(fields::Kind::address, place_of(where)))
    slots.push_back(fields::address_parts(fields::address_place(street))[part]);
  b.first_free(slots, std::move(text), name);
}

// A phonebook text field with one place in a contact (a name part, the
// company, ...): its row of the field table.
const fields::ContactField* one_place(GSM_EntryType type) {
  if (type == PBK_Category || type == PBK_Date) return nullptr;
  for (const fields::ContactField& f : fields::contact_fields())
    if (f.gammu == type && (f.kind == fields::Kind::name || f.kind == fields::Kind::text))
      return &f;
  return nullptr;
}

void place(Builder& b, const GSM_SubMemoryEntry& sub, std::u16string text,
           std::vector<std::u16string>& categories) {
  using fields::Kind;
  using fields::Place;
  if (const fields::ContactField* one = one_place(sub.EntryType))
    return b.first_free({one->tag}, std::move(text), field_name(sub.EntryType));
  const GSM_EntryLocation where = sub.Location;
  switch (sub.EntryType) {
    case PBK_Number_Mobile:
      return b.first_free(
          then_kind({PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_CAR_TELEPHONE_NUMBER}, Kind::telephone),
          text, "mobile number");
    case PBK_Number_General:
      if (where == PBK_Location_Home)
        return b.first_free(fields::slots(Kind::telephone, Place::home), text, "home number");
      if (where == PBK_Location_Work)
        return b.first_free(fields::slots(Kind::telephone, Place::work), text, "work number");
      // A number of no kind, as SIM cards keep them: most are mobiles.
      return b.first_free(fields::slots(Kind::telephone), text, "number");
    case PBK_Number_Fax:
      return b.first_free(
          fields::slots(Kind::fax, where == PBK_Location_Home ? Place::home : Place::work), text,
          "fax number");
    case PBK_Number_Pager:
      return b.first_free({PIMPR_PAGER_NUMBER}, text, "pager number");
    case PBK_Number_Other:
    case PBK_Number_Messaging:
    case PBK_Number_Video:
      return b.first_free(then_kind({PIMPR_RADIO_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER,
                                     PIMPR_BUSINESS2_TELEPHONE_NUMBER},
                                    Kind::telephone),
                          text, "other number");
    case PBK_Text_Email:
      return b.first_free(fields::slots(Kind::email), text, "e-mail address");
    case PBK_Text_Email2:
      return b.first_free({PIMPR_EMAIL2_ADDRESS, PIMPR_EMAIL3_ADDRESS, PIMPR_EMAIL1_ADDRESS}, text,
                          "e-mail address");
    case PBK_Text_SIP:
    case PBK_Text_VOIP:
    case PBK_Text_WVID:
      return b.first_free(fields::slots(Kind::im), text, "internet call address");
    case PBK_Text_Postal:
    case PBK_Text_StreetAddress:
      return place_address_part(b, where, 0, std::move(text), "street");
    case PBK_Text_City:
      return place_address_part(b, where, 1, std::move(text), "city");
    case PBK_Text_State:
      return place_address_part(b, where, 2, std::move(text), "state");
    case PBK_Text_Zip:
      return place_address_part(b, where, 3, std::move(text), "postal code");
    case PBK_Text_Country:
      return place_address_part(b, where, 4, std::move(text), "country");
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
    const fields::ContactField* f = fields::field_of(tag);
    const std::string field(fields::field_name(tag));
    if (tag == PIMPR_FILEAS) continue;
    if (tag == PIMPR_CATEGORIES) {
      std::u16string_view rest = text;
      while (!rest.empty()) {
        const auto comma = rest.find(u',');
        const std::u16string one = trim(rest.substr(0, comma));
        if (!one.empty()) w.add(PBK_Category, PBK_Location_Unknown, one, field);
        rest = comma == std::u16string_view::npos ? u"" : rest.substr(comma + 1);
      }
    } else if (tag == PIMPR_BIRTHDAY) {
      if (auto day = gammu_date(text); day && w.result.refused.empty()) {
        if (out->EntriesNum >= GSM_PHONEBOOK_ENTRIES) {
          w.result.refused = "more fields than a phone entry holds";
          continue;
        }
        GSM_SubMemoryEntry& sub = out->Entries[out->EntriesNum++];
        std::memset(&sub, 0, sizeof sub);
        sub.EntryType = PBK_Date;
        sub.Date = *day;
      }
    } else if (f && f->gammu != 0 && f->kind != fields::Kind::date) {
      w.add(f->gammu, f->gammu_location, text, field);
    } else {
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
