#include "host/tools/vcard.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "host/tools/vcard_charset.h"
#include "host/tools/vcard_lines.h"
#include "platform/core/calendar.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace vardel::tools {

namespace {

using vcard::ContentLine;

// Properties that fill numbered slots: a later value takes the next free one.
const std::array<CEPROPID, 3> kEmails = {PIMPR_EMAIL1_ADDRESS, PIMPR_EMAIL2_ADDRESS,
                                         PIMPR_EMAIL3_ADDRESS};
const std::array<CEPROPID, 3> kIms = {PIMPR_IM1_ADDRESS, PIMPR_IM2_ADDRESS, PIMPR_IM3_ADDRESS};
const std::array<CEPROPID, 2> kWorkTels = {PIMPR_BUSINESS_TELEPHONE_NUMBER,
                                           PIMPR_BUSINESS2_TELEPHONE_NUMBER};
const std::array<CEPROPID, 2> kHomeTels = {PIMPR_HOME_TELEPHONE_NUMBER,
                                           PIMPR_HOME2_TELEPHONE_NUMBER};

struct Address {
  const char* type;
  std::array<CEPROPID, 5> tags;  // street, city, state, postal code, country
};
const std::array<Address, 3> kAddresses = {{
    {"work",
     {PIMPR_BUSINESS_ADDRESS_STREET, PIMPR_BUSINESS_ADDRESS_CITY, PIMPR_BUSINESS_ADDRESS_STATE,
      PIMPR_BUSINESS_ADDRESS_POSTAL_CODE, PIMPR_BUSINESS_ADDRESS_COUNTRY}},
    {"home",
     {PIMPR_HOME_ADDRESS_STREET, PIMPR_HOME_ADDRESS_CITY, PIMPR_HOME_ADDRESS_STATE,
      PIMPR_HOME_ADDRESS_POSTAL_CODE, PIMPR_HOME_ADDRESS_COUNTRY}},
    {"other",
     {PIMPR_OTHER_ADDRESS_STREET, PIMPR_OTHER_ADDRESS_CITY, PIMPR_OTHER_ADDRESS_STATE,
      PIMPR_OTHER_ADDRESS_POSTAL_CODE, PIMPR_OTHER_ADDRESS_COUNTRY}},
}};

// Single-valued text properties that map one to one.
struct Simple {
  const char* name;
  CEPROPID tag;
};
const std::array<Simple, 14> kSimple = {{
    {"NICKNAME", PIMPR_NICKNAME},
    {"URL", PIMPR_WEB_PAGE},
    {"TITLE", PIMPR_JOB_TITLE},
    {"X-MS-OFFICE", PIMPR_OFFICE_LOCATION},
    {"X-MS-MANAGER", PIMPR_MANAGER},
    {"X-MS-ASSISTANT", PIMPR_ASSISTANT_NAME},
    {"X-GOVERNMENT-ID", PIMPR_GOVERNMENTID},
    {"X-CUSTOMER-ID", PIMPR_CUSTOMERID},
    {"X-ACCOUNT", PIMPR_ACCOUNT_NAME},
    {"X-PHONETIC-ORG", PIMPR_YOMI_COMPANY},
    {"NOTE", PIMPR_BODY},
    {"X-SPOUSE", PIMPR_SPOUSE},
    {"X-CHILDREN", PIMPR_CHILDREN},
    {"X-ANNIVERSARY", PIMPR_ANNIVERSARY},
}};

// Other names peers use for the same properties.
const std::map<std::string, std::string> kAliases = {
    {"X-OFFICE", "X-MS-OFFICE"},
    {"X-MANAGER", "X-MS-MANAGER"},
    {"X-ASSISTANT", "X-MS-ASSISTANT"},
    {"X-MS-SPOUSE", "X-SPOUSE"},
    {"X-EVOLUTION-SPOUSE", "X-SPOUSE"},
    {"X-KADDRESSBOOK-X-SPOUSESNAME", "X-SPOUSE"},
    {"X-MS-CHILD", "X-CHILDREN"},
    {"X-MS-CHILDREN", "X-CHILDREN"},
    {"X-MS-ANNIVERSARY", "X-ANNIVERSARY"},
    {"X-EVOLUTION-ANNIVERSARY", "X-ANNIVERSARY"},
    {"ANNIVERSARY", "X-ANNIVERSARY"},
    {"X-KADDRESSBOOK-X-ANNIVERSARY", "X-ANNIVERSARY"},
    {"X-PHONETIC-ORGANIZATION", "X-PHONETIC-ORG"},
    {"X-EVOLUTION-MANAGER", "X-MS-MANAGER"},
    {"X-EVOLUTION-ASSISTANT", "X-MS-ASSISTANT"},
};

const std::set<std::string> kLegacyIm = {"X-AIM",         "X-MSN",  "X-ICQ",   "X-JABBER",
                                         "X-YAHOO",       "X-QQ",   "X-SKYPE", "X-GADUGADU",
                                         "X-GOOGLE-TALK", "X-GTALK"};

// Converts a vCard date ("1980-05-17", "19800517", "1980-05-17T06:30:00Z",
// "19800517T063000") to the store's ISO text; nothing for a date without a
// year ("--0517") or an impossible one.
std::optional<std::string> iso_date(const std::string& v) {
  std::string digits;
  size_t i = 0;
  for (; i < v.size() && v[i] != 'T'; ++i)
    if (v[i] != '-') digits += v[i];
  if (digits.size() != 8 || v.rfind("--", 0) == 0) return std::nullopt;
  for (char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  int y = std::stoi(digits.substr(0, 4)), m = std::stoi(digits.substr(4, 2)),
      d = std::stoi(digits.substr(6, 2));
  if (y < 1601 || !calendar::is_valid_date(y, m, d)) return std::nullopt;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  std::string out = buf;
  if (i < v.size()) {
    std::string t;
    for (size_t k = i + 1; k < v.size() && t.size() < 6; ++k)
      if (v[k] >= '0' && v[k] <= '9')
        t += v[k];
      else if (v[k] != ':')
        break;
    if (t.size() == 6 && t != "000000")
      out += "T" + t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
  }
  return out;
}

// One card being read: its properties, and the warnings about what it
// could not keep, each naming the line and the property.
class CardBuilder {
 public:
  explicit CardBuilder(std::vector<std::string>& warnings) : warnings_(warnings) {}

  // The line being read, for the warnings.
  void at(const ContentLine& cl) {
    line_ = cl.line;
    name_ = cl.name;
  }
  void warn(const std::string& what) {
    warnings_.push_back("line " + std::to_string(line_) + ": " + name_ + ": " + what);
  }

  // Sets a property the phone has one of; a different second value is left
  // out and said so (notes are joined instead).
  void set(CEPROPID tag, const std::string& utf8_text) {
    if (utf8_text.empty()) return;
    auto it = props_.find(tag);
    if (it == props_.end()) {
      props_[tag] = utf16(utf8_text);
      return;
    }
    const std::u16string text = utf16(utf8_text);
    if (it->second == text) return;
    if (tag == PIMPR_BODY) {
      it->second += u"\n" + text;
      return;
    }
    const std::string_view what = poom::property_name(tag);
    warn("\"" + utf8_text + "\" left out: the phone keeps one " +
         (what.empty() ? std::string("value") : std::string(what)) + " (\"" + utf8(it->second) +
         "\")");
  }
  bool has(CEPROPID tag) const { return props_.count(tag) != 0; }

  // Puts a value into the slot X-SLOT names when that is free, else into the
  // first free slot; false when every slot is taken.
  template <size_t N>
  bool fill_slot(const std::array<CEPROPID, N>& slots, const ContentLine& cl,
                 const std::string& text) {
    if (text.empty()) return true;
    const std::u16string wide = utf16(text);
    for (auto tag : slots)  // the same value twice is kept once
      if (auto it = props_.find(tag); it != props_.end() && it->second == wide) return true;
    if (!cl.slot.empty()) {
      size_t k = static_cast<size_t>(cl.slot[0] - '1');
      if (cl.slot.size() == 1 && k < N && !has(slots[k])) {
        set(slots[k], text);
        return true;
      }
    }
    for (auto tag : slots)
      if (!has(tag)) {
        set(tag, text);
        return true;
      }
    return false;
  }

  // A property the phone has no place for, named once per card.
  void not_stored(const std::string& name) {
    if (std::find(not_stored_.begin(), not_stored_.end(), name) == not_stored_.end())
      not_stored_.push_back(name);
  }
  const std::vector<std::string>& not_stored_names() const { return not_stored_; }

  poom::ContactRecord finish() const {
    poom::ContactRecord r;
    for (auto& [tag, text] : props_) r.push_back({tag, text});
    return r;
  }

 private:
  std::vector<std::string>& warnings_;
  int line_ = 0;
  std::string name_;
  std::map<CEPROPID, std::u16string> props_;
  std::vector<std::string> not_stored_;
};

void add_telephone(CardBuilder& card, const ContentLine& cl, const std::string& number) {
  auto t = [&](const char* type) { return cl.has_type(type); };
  bool ok = true;
  if (cl.name == "X-MS-TEL" || t("x-assistant") || t("assistant") || t("x-radio") || t("radio") ||
      t("x-company") || t("company")) {
    if (t("assistant") || t("x-assistant"))
      card.set(PIMPR_ASSISTANT_TELEPHONE_NUMBER, number);
    else if (t("radio") || t("x-radio"))
      card.set(PIMPR_RADIO_TELEPHONE_NUMBER, number);
    else
      card.set(PIMPR_COMPANY_TELEPHONE_NUMBER, number);
  } else if (t("fax")) {
    card.set(t("home") ? PIMPR_HOME_FAX_NUMBER : PIMPR_BUSINESS_FAX_NUMBER, number);
  } else if (t("cell") || t("mobile")) {
    // A second mobile number goes where an untyped one would.
    if (card.has(PIMPR_MOBILE_TELEPHONE_NUMBER)) {
      static const std::array<CEPROPID, 5> more = {
          PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER,
          PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER};
      ok = card.fill_slot(more, cl, number);
    } else {
      card.set(PIMPR_MOBILE_TELEPHONE_NUMBER, number);
    }
  } else if (t("pager")) {
    card.set(PIMPR_PAGER_NUMBER, number);
  } else if (t("car")) {
    card.set(PIMPR_CAR_TELEPHONE_NUMBER, number);
  } else if (t("work")) {
    ok = card.fill_slot(kWorkTels, cl, number);
  } else if (t("home")) {
    ok = card.fill_slot(kHomeTels, cl, number);
  } else {
    // An untyped number: the phone's most likely place first.
    static const std::array<CEPROPID, 5> anywhere = {
        PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER,
        PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER};
    ok = card.fill_slot(anywhere, cl, number);
  }
  if (!ok) card.warn(number + " left out: no free place for another number of this kind");
}

// Properties with no place on the phone that are only bookkeeping of the
// program that wrote the file: left out without a word.
const std::set<std::string> kBookkeeping = {"VERSION",
                                            "PRODID",
                                            "REV",
                                            "UID",
                                            "X-ABLABEL",
                                            "X-ABADR",
                                            "LABEL",
                                            "X-MS-OL-DEFAULT-POSTAL-ADDRESS",
                                            "X-EVOLUTION-FILE-AS",
                                            "X-COUCHDB-APPLICATION-ANNOTATIONS",
                                            "KIND",
                                            "SOURCE",
                                            "CLIENTPIDMAP"};

// text is the decoded value, still escaped.
void add_property(CardBuilder& card, ContentLine cl, const std::string& value, std::string& fn,
                  std::string& sort) {
  if (auto alias = kAliases.find(cl.name); alias != kAliases.end()) cl.name = alias->second;
  card.at(cl);
  const std::string text = vcard::unescape(value, cl.line_breaks);
  auto structured = [&](char sep = ';') {
    return vcard::split_structured(value, sep, cl.line_breaks);
  };
  const std::string& n = cl.name;
  if (n == "FN") {
    if (fn.empty())
      fn = text;
    else if (text != fn)
      card.warn("\"" + text + "\" left out: the card has a name already (\"" + fn + "\")");
  } else if (n == "SORT-STRING") {
    sort = text;
  } else if (n == "N") {
    auto parts = structured();
    parts.resize(5);
    card.set(PIMPR_LAST_NAME, parts[0]);
    card.set(PIMPR_FIRST_NAME, parts[1]);
    card.set(PIMPR_MIDDLE_NAME, parts[2]);
    card.set(PIMPR_TITLE, parts[3]);
    card.set(PIMPR_SUFFIX, parts[4]);
    if (!cl.sort_as.empty()) sort = vcard::split_structured(cl.sort_as, ',')[0];
  } else if (n == "TEL" || n == "X-MS-TEL") {
    // vCard 4.0 may write a number as a URI: the phone keeps the number.
    const bool tel_uri =
        text.size() > 4 && (text.compare(0, 4, "tel:") == 0 || text.compare(0, 4, "TEL:") == 0);
    add_telephone(card, cl, tel_uri ? text.substr(4) : text);
  } else if (n == "EMAIL") {
    if (!card.fill_slot(kEmails, cl, text))
      card.warn(text + " left out: the phone keeps three e-mail addresses");
  } else if (n == "IMPP" || kLegacyIm.count(n)) {
    if (!card.fill_slot(kIms, cl, text))
      card.warn(text + " left out: the phone keeps three IM addresses");
  } else if (n == "ORG") {
    auto parts = structured();
    parts.resize(2);
    card.set(PIMPR_COMPANY_NAME, parts[0]);
    card.set(PIMPR_DEPARTMENT, parts[1]);
  } else if (n == "ADR") {
    auto parts = structured();
    parts.resize(7);
    const Address* where = &kAddresses[2];
    if (cl.has_type("work"))
      where = &kAddresses[0];
    else if (cl.has_type("home"))
      where = &kAddresses[1];
    std::string street;
    for (int k : {0, 1, 2})
      if (!parts[k].empty()) street += (street.empty() ? "" : " ") + parts[k];
    const std::string values[5] = {street, parts[3], parts[4], parts[5], parts[6]};
    for (int k = 0; k < 5; ++k) card.set(where->tags[k], values[k]);
  } else if (n == "BDAY" || n == "X-ANNIVERSARY") {
    auto date = iso_date(text);
    if (!date) {
      card.warn("date \"" + text + "\" left out: not a whole date");
      return;
    }
    card.set(n == "BDAY" ? PIMPR_BIRTHDAY : PIMPR_ANNIVERSARY, *date);
  } else if (n == "RELATED") {
    if (cl.has_type("spouse"))
      card.set(PIMPR_SPOUSE, text);
    else if (cl.has_type("child"))
      card.set(PIMPR_CHILDREN, text);
    else
      card.not_stored(n);
  } else if (n == "CATEGORIES") {
    card.set(PIMPR_CATEGORIES, text);
  } else {
    for (auto& s : kSimple)
      if (n == s.name) {
        card.set(s.tag, text);
        return;
      }
    if (!kBookkeeping.count(n)) card.not_stored(n);
  }
}

bool is_vcard(const std::string& value) {
  std::string v;
  for (char c : value)
    if (c != ' ') v += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return v == "VCARD";
}

}  // namespace

VcardImport read_vcards(std::string_view file_bytes) {
  VcardImport result;
  std::string utf16_kind;
  const std::string text = vcard::file_to_8bit(file_bytes, &utf16_kind);
  const auto lines = vcard::unfold(text);

  // Every line is parsed first, so that the values whose charset must be
  // detected are judged together.
  std::vector<std::optional<ContentLine>> parsed(lines.size());
  std::vector<std::string> errors(lines.size());
  vcard::CharsetDetector detector;
  for (size_t k = 0; k < lines.size(); ++k) {
    parsed[k] = vcard::parse(lines[k], &errors[k]);
    if (parsed[k] && vcard::CharsetDetector::needs_detection(parsed[k]->value, parsed[k]->charset))
      detector.add_sample(parsed[k]->value);
  }

  size_t i = 0;
  while (i < lines.size()) {
    const auto& begin = parsed[i];
    if (!begin || begin->name != "BEGIN" || !is_vcard(begin->value)) {
      result.warnings.push_back("line " + std::to_string(lines[i].line) +
                                ": not part of a card, skipped");
      ++i;
      continue;
    }
    const int start_line = lines[i].line;
    ++i;
    CardBuilder card(result.warnings);
    const size_t warnings_before = result.warnings.size();
    std::string fn, sort, problem;
    bool ended = false;
    for (; i < lines.size(); ++i) {
      if (!parsed[i]) {
        result.warnings.push_back("line " + std::to_string(lines[i].line) +
                                  ": skipped: " + errors[i]);
        continue;
      }
      const ContentLine& cl = *parsed[i];
      if (cl.name == "END") {
        ++i;
        ended = true;
        break;
      }
      if (cl.name == "BEGIN") {
        problem = "line " + std::to_string(cl.line) + ": a card begins inside another";
        break;
      }
      std::string note;
      const std::string value = vcard::decode_value(cl.value, cl.charset, detector, &note);
      card.at(cl);
      if (!note.empty()) card.warn(note);
      if (value.find('\0') != std::string::npos) {
        // A NUL would end the text on the phone: refused rather than cut.
        card.warn("left out: the text holds a NUL character");
        continue;
      }
      add_property(card, cl, value, fn, sort);
    }
    if (!ended && problem.empty())
      problem = "line " + std::to_string(start_line) + ": card has no END:VCARD";
    if (!problem.empty()) {
      result.warnings.resize(warnings_before);
      result.warnings.push_back("card at line " + std::to_string(start_line) + " skipped (" +
                                problem + ")");
      continue;
    }
    if (!card.not_stored_names().empty()) {
      std::string names;
      for (auto& name : card.not_stored_names()) names += (names.empty() ? "" : ", ") + name;
      result.warnings.push_back("card at line " + std::to_string(start_line) + " (" +
                                (fn.empty() ? std::string("no name") : fn) +
                                "): the phone has no place for " + names + "; left out");
    }
    card.set(PIMPR_FILEAS, sort.empty() ? fn : sort);
    result.contacts.push_back(card.finish());
  }
  if (!utf16_kind.empty() && !result.contacts.empty())
    result.notes.push_back("read as " + utf16_kind);
  return result;
}

namespace {

class CardWriter {
 public:
  CardWriter(const poom::ContactRecord& c, VcardVersion v) : v4_(v == VcardVersion::v4) {
    for (auto& p : c) props_[p.tag] = utf8(p.text);
  }

  std::string get(CEPROPID tag) const {
    auto it = props_.find(tag);
    return it == props_.end() ? std::string() : it->second;
  }

  void line(const std::string& content) { out_ += vcard::fold(content); }

  // The parameters a text value needs: X-EOL when its line breaks are not
  // all LF, and in 4.0 VALUE=text on a property whose value is by default
  // a URI when the text is not one.
  std::string params(const std::string& name, const std::string& value) const {
    std::string p;
    if (auto eol = vcard::line_break_kinds(value); !eol.empty()) p += ";X-EOL=" + eol;
    if (v4_ && (name == "RELATED" || name == "URL" || name == "IMPP") && !is_uri(value))
      p += ";VALUE=text";
    return p;
  }

  void text(const std::string& name, CEPROPID tag) {
    auto v = get(tag);
    if (!v.empty()) line(name + params(name, v) + ":" + vcard::escape(v));
  }

  void typed(const std::string& name, const std::string& types, CEPROPID tag, int slot = 0) {
    auto v = get(tag);
    if (v.empty()) return;
    std::string head = name;
    if (!types.empty()) head += ";TYPE=" + (v4_ ? types : upper(types));
    if (slot > 1) head += ";X-SLOT=" + std::to_string(slot);
    line(head + params(name, v) + ":" + vcard::escape(v));
  }

  // A structured value: its parts escaped and joined with ';'.
  void structured(const std::string& head, const std::vector<std::string>& parts) {
    std::string all, value;
    for (size_t k = 0; k < parts.size(); ++k) {
      all += parts[k] + ";";
      value += (k ? ";" : "") + vcard::escape(parts[k]);
    }
    line(head + params("", all) + ":" + value);
  }

  // The formatted name: the file-as name, else the name's parts, else what
  // else names the contact (vCard wants one that is not empty).
  std::string formatted_name() const {
    if (auto f = get(PIMPR_FILEAS); !f.empty()) return f;
    std::string name;
    for (CEPROPID tag :
         {PIMPR_TITLE, PIMPR_FIRST_NAME, PIMPR_MIDDLE_NAME, PIMPR_LAST_NAME, PIMPR_SUFFIX})
      if (auto part = get(tag); !part.empty()) name += (name.empty() ? "" : " ") + part;
    for (CEPROPID tag : {PIMPR_COMPANY_NAME, PIMPR_EMAIL1_ADDRESS, PIMPR_MOBILE_TELEPHONE_NUMBER})
      if (name.empty()) name = get(tag);
    return name;
  }

  static bool is_uri(const std::string& v) {
    const size_t colon = v.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(v[0])))
      return false;
    for (size_t k = 0; k < colon; ++k) {
      const char c = v[k];
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
        return false;
    }
    return v.find_first_of(" \r\n") == std::string::npos;
  }

  std::string date(CEPROPID tag) const {
    auto v = get(tag);
    if (v.empty() || !v4_) return v;
    std::string basic;  // vCard 4.0 writes dates in the basic form
    for (char c : v)
      if (c != '-' && c != ':') basic += c;
    return basic;
  }

  std::string write() {
    line("BEGIN:VCARD");
    line(v4_ ? "VERSION:4.0" : "VERSION:3.0");
    const std::string fn = formatted_name();
    line("FN" + params("FN", fn) + ":" + vcard::escape(fn));
    structured("N", {get(PIMPR_LAST_NAME), get(PIMPR_FIRST_NAME), get(PIMPR_MIDDLE_NAME),
                     get(PIMPR_TITLE), get(PIMPR_SUFFIX)});
    text("NICKNAME", PIMPR_NICKNAME);
    typed("TEL", "cell", PIMPR_MOBILE_TELEPHONE_NUMBER);
    typed("TEL", "work,voice", PIMPR_BUSINESS_TELEPHONE_NUMBER);
    typed("TEL", "work,voice", PIMPR_BUSINESS2_TELEPHONE_NUMBER, 2);
    typed("TEL", "home,voice", PIMPR_HOME_TELEPHONE_NUMBER);
    typed("TEL", "home,voice", PIMPR_HOME2_TELEPHONE_NUMBER, 2);
    typed("TEL", "work,fax", PIMPR_BUSINESS_FAX_NUMBER);
    typed("TEL", "home,fax", PIMPR_HOME_FAX_NUMBER);
    typed("TEL", "pager", PIMPR_PAGER_NUMBER);
    typed("TEL", "car", PIMPR_CAR_TELEPHONE_NUMBER);
    typed("X-MS-TEL", "assistant", PIMPR_ASSISTANT_TELEPHONE_NUMBER);
    typed("X-MS-TEL", "radio", PIMPR_RADIO_TELEPHONE_NUMBER);
    typed("X-MS-TEL", "company", PIMPR_COMPANY_TELEPHONE_NUMBER);
    for (int k = 0; k < 3; ++k) typed("EMAIL", "internet", kEmails[k], k + 1);
    for (int k = 0; k < 3; ++k) typed("IMPP", "", kIms[k], k + 1);
    text("URL", PIMPR_WEB_PAGE);
    if (!get(PIMPR_COMPANY_NAME).empty() || !get(PIMPR_DEPARTMENT).empty())
      structured("ORG", {get(PIMPR_COMPANY_NAME), get(PIMPR_DEPARTMENT)});
    text("X-PHONETIC-ORG", PIMPR_YOMI_COMPANY);
    text("TITLE", PIMPR_JOB_TITLE);
    text("X-MS-OFFICE", PIMPR_OFFICE_LOCATION);
    text("X-MS-MANAGER", PIMPR_MANAGER);
    text("X-MS-ASSISTANT", PIMPR_ASSISTANT_NAME);
    for (auto& a : kAddresses) {
      bool any = false;
      for (auto t : a.tags) any = any || !get(t).empty();
      if (!any) continue;
      std::vector<std::string> parts = {"", ""};
      for (auto t : a.tags) parts.push_back(get(t));
      structured(std::string("ADR;TYPE=") + (v4_ ? a.type : upper(a.type)), parts);
    }
    if (auto b = date(PIMPR_BIRTHDAY); !b.empty()) line("BDAY:" + b);
    if (auto d = date(PIMPR_ANNIVERSARY); !d.empty())
      line((v4_ ? "ANNIVERSARY:" : "X-ANNIVERSARY:") + d);
    if (v4_) {
      typed("RELATED", "spouse", PIMPR_SPOUSE);
      typed("RELATED", "child", PIMPR_CHILDREN);
    } else {
      text("X-SPOUSE", PIMPR_SPOUSE);
      text("X-CHILDREN", PIMPR_CHILDREN);
    }
    text("X-GOVERNMENT-ID", PIMPR_GOVERNMENTID);
    text("X-CUSTOMER-ID", PIMPR_CUSTOMERID);
    text("X-ACCOUNT", PIMPR_ACCOUNT_NAME);
    if (auto c = get(PIMPR_CATEGORIES); !c.empty()) {
      // Categories are a comma-separated list already; only the other
      // special characters are escaped.
      std::string v;
      for (char ch : vcard::escape(c)) v += ch;
      std::string unescaped_commas;
      for (size_t k = 0; k < v.size(); ++k) {
        if (v[k] == '\\' && k + 1 < v.size() && v[k + 1] == ',') continue;
        unescaped_commas += v[k];
      }
      line("CATEGORIES" + params("CATEGORIES", c) + ":" + unescaped_commas);
    }
    text("NOTE", PIMPR_BODY);
    line("END:VCARD");
    return out_;
  }

 private:
  static std::string upper(std::string_view s) { return ascii_upper(s); }

  bool v4_;
  std::map<CEPROPID, std::string> props_;
  std::string out_;
};

}  // namespace

std::string write_vcards(const std::vector<poom::ContactRecord>& contacts, VcardVersion version) {
  std::string out;
  for (auto& c : contacts) out += CardWriter(c, version).write();
  return out;
}

}  // namespace vardel::tools
