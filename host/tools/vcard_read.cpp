#include "host/tools/vcard.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <span>

#include "host/formats/contact_fields.h"
#include "host/tools/vcard_charset.h"
#include "host/tools/vcard_lines.h"
#include "platform/core/calendar.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace vardel::tools {

namespace {

using vcard::ContentLine;

// A property of the phone's with one simple text value, by its vCard name
// (3.0's name too); nullptr for another name.
const fields::ContactField* simple_text(const std::string& name) {
  for (const fields::ContactField& f : fields::contact_fields())
    if (f.kind == fields::Kind::text && f.vcard != "ORG" && f.vcard != "CATEGORIES" &&
        ((f.vcard == name && f.vcard_types.empty()) || f.vcard3 == name))
      return &f;
  return nullptr;
}

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
    const std::string_view what = fields::field_name(tag);
    warn("\"" + utf8_text + "\" left out: the phone keeps one " +
         (what.empty() ? std::string("value") : std::string(what)) + " (\"" + utf8(it->second) +
         "\")");
  }
  bool has(CEPROPID tag) const { return props_.count(tag) != 0; }

  // Puts a value into the slot X-SLOT names when that is free, else into the
  // first free slot; false when every slot is taken. A value one of the
  // first `own` slots holds already is kept once.
  bool fill_slot(const std::vector<CEPROPID>& slots, const ContentLine& cl, const std::string& text,
                 size_t own = SIZE_MAX) {
    if (text.empty()) return true;
    const std::u16string wide = utf16(text);
    for (size_t k = 0; k < slots.size() && k < own; ++k)
      if (auto it = props_.find(slots[k]); it != props_.end() && it->second == wide) return true;
    if (!cl.slot.empty()) {
      size_t k = static_cast<size_t>(cl.slot[0] - '1');
      if (cl.slot.size() == 1 && k < slots.size() && !has(slots[k])) {
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

  // Puts an address (its five parts) into the first of the places whose
  // address is empty; the same address twice in its own place is kept once.
  // False when every place holds another address.
  bool fill_address(const std::vector<CEPROPID>& streets, const std::string (&parts)[5]) {
    bool empty = true;
    for (auto& p : parts) empty = empty && p.empty();
    if (empty) return true;
    auto place_parts = [](CEPROPID street) {
      return fields::address_parts(fields::address_place(street));
    };
    for (CEPROPID street : std::span(streets).first(1)) {
      const auto tags = place_parts(street);
      bool same = true;
      for (int k = 0; k < 5; ++k) {
        auto it = props_.find(tags[k]);
        same = same && (it == props_.end() ? parts[k].empty() : it->second == utf16(parts[k]));
      }
      if (same) return true;
    }
    for (CEPROPID street : streets) {
      const auto tags = place_parts(street);
      bool free = true;
      for (auto t : tags) free = free && !has(t);
      if (!free) continue;
      for (int k = 0; k < 5; ++k) set(tags[k], parts[k]);
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
  using fields::Kind;
  using fields::Place;
  auto t = [&](const char* type) { return cl.has_type(type); };
  // The slots in the order tried; the same number in one of the first `own`
  // (the slots of its kind) is kept once.
  std::vector<CEPROPID> slots;
  size_t own = 1;
  auto first_then_any = [&](CEPROPID tag) {
    slots = {tag};
    for (CEPROPID other : fields::slots(Kind::telephone))
      if (other != tag) slots.push_back(other);
  };
  if (cl.name == "X-MS-TEL" || t("x-assistant") || t("assistant") || t("x-radio") || t("radio") ||
      t("x-company") || t("company")) {
    first_then_any(t("assistant") || t("x-assistant") ? PIMPR_ASSISTANT_TELEPHONE_NUMBER
                   : t("radio") || t("x-radio")       ? PIMPR_RADIO_TELEPHONE_NUMBER
                                                      : PIMPR_COMPANY_TELEPHONE_NUMBER);
  } else if (t("fax")) {
    slots = fields::slots(Kind::fax, t("home") ? Place::home : Place::work);
  } else if (t("cell") || t("mobile")) {
    // A second mobile number goes where a number of no kind would.
    slots = fields::slots(Kind::telephone, Place::mobile);
    own = card.has(PIMPR_MOBILE_TELEPHONE_NUMBER) ? 5 : 1;
  } else if (t("pager")) {
    slots = {PIMPR_PAGER_NUMBER};
  } else if (t("car")) {
    first_then_any(PIMPR_CAR_TELEPHONE_NUMBER);
  } else if (t("work") || t("home")) {
    slots = fields::slots(Kind::telephone, t("work") ? Place::work : Place::home);
    own = 2;
  } else {
    // A number of no kind we know (OTHER, MAIN, none): the phone's likeliest
    // place first.
    slots = fields::slots(Kind::telephone);
    own = 5;
  }
  if (!card.fill_slot(slots, cl, number, own))
    card.warn(number + " left out: no free place for another number of this kind");
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
    if (!card.fill_slot(fields::slots(fields::Kind::email), cl, text))
      card.warn(text + " left out: the phone keeps three e-mail addresses");
  } else if (n == "IMPP" || kLegacyIm.count(n)) {
    if (!card.fill_slot(fields::slots(fields::Kind::im), cl, text))
      card.warn(text + " left out: the phone keeps three IM addresses");
  } else if (n == "ORG") {
    auto parts = structured();
    parts.resize(2);
    card.set(PIMPR_COMPANY_NAME, parts[0]);
    card.set(PIMPR_DEPARTMENT, parts[1]);
  } else if (n == "ADR") {
    auto parts = structured();
    parts.resize(7);
    const fields::Place place = cl.has_type("work")   ? fields::Place::work
                                : cl.has_type("home") ? fields::Place::home
                                                      : fields::Place::other;
    std::string street;
    for (int k : {0, 1, 2})
      if (!parts[k].empty()) street += (street.empty() ? "" : " ") + parts[k];
    const std::string values[5] = {street, parts[3], parts[4], parts[5], parts[6]};
    if (!card.fill_address(fields::slots(fields::Kind::address, place), values))
      card.warn("left out: the phone keeps three addresses, all taken");
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
    if (const fields::ContactField* f = simple_text(n)) {
      card.set(f->tag, text);
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

namespace {

std::string line_text(int line) { return "line " + std::to_string(line); }

}  // namespace

std::vector<std::string> read_vcard_stream(const std::function<VcardSource()>& open,
                                           const std::function<void(VcardCard&&)>& each,
                                           const std::function<void(std::string&&)>& warn) {
  // The values whose charset must be detected are judged together: a first
  // pass gathers them.
  vcard::CharsetDetector detector;
  {
    vcard::LineReader reader(open());
    vcard::RawLine raw;
    std::string error;
    while (reader.next(raw)) {
      const auto cl = vcard::parse(raw, &error);
      if (cl && vcard::CharsetDetector::needs_detection(cl->value, cl->charset))
        detector.add_sample(cl->value);
    }
  }
  vcard::ParsedLines lines(open());
  size_t cards = 0;
  vcard::ParsedLine line;
  while (lines.next(line)) {
    const auto& begin = line.parsed;
    if (!begin || begin->name != "BEGIN" || !is_vcard(begin->value)) {
      warn(line_text(line.line) + ": not part of a card, skipped");
      continue;
    }
    const int start_line = line.line;
    // The card's warnings wait for its end: a card cut short by another's
    // BEGIN is skipped with one warning instead.
    std::vector<std::string> warnings;
    CardBuilder card(warnings);
    std::string fn, sort, problem, uid;
    bool ended = false;
    size_t card_bytes = line.bytes;
    while (lines.next(line)) {
      card_bytes += line.bytes;
      if (card_bytes > kMaxCard)
        throw VcardFileError("the card at line " + std::to_string(start_line) + " is longer than " +
                             std::to_string(kMaxCard >> 20) + " MiB by " + line_text(line.line) +
                             ", more than any address book writes");
      if (!line.parsed) {
        warnings.push_back(line_text(line.line) + ": skipped: " + line.error);
        continue;
      }
      const ContentLine& cl = *line.parsed;
      if (cl.name == "END") {
        ended = true;
        break;
      }
      if (cl.name == "BEGIN") {
        problem = line_text(cl.line) + ": a card begins inside another";
        lines.put_back(std::move(line));
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
      if (cl.name == "UID") {
        // Kept with the contact, so that the card written for it again is
        // the same card to an address book.
        if (uid.empty()) uid = vcard::unescape(value, cl.line_breaks);
        continue;
      }
      add_property(card, cl, value, fn, sort);
    }
    if (!problem.empty()) {
      warn("card at line " + std::to_string(start_line) + " skipped (" + problem + ")");
      continue;
    }
    for (std::string& w : warnings) warn(std::move(w));
    const std::string named =
        "card at line " + std::to_string(start_line) + " (" + (fn.empty() ? "no name" : fn) + ")";
    if (!card.not_stored_names().empty()) {
      std::string names;
      for (auto& name : card.not_stored_names()) names += (names.empty() ? "" : ", ") + name;
      warn(named + ": the phone has no place for " + names + "; left out");
    }
    if (!ended) {
      // The last card of a file cut short (a copy that stopped): what it
      // holds is kept, and said so.
      warn(named + ": no END:VCARD, the file ends at " + line_text(lines.last_line()) +
           "; kept as far as it goes");
    }
    card.set(PIMPR_FILEAS, sort.empty() ? fn : sort);
    each({card.finish(), std::move(uid)});
    ++cards;
  }
  std::vector<std::string> notes;
  const vcard::LineReader& reader = lines.reader();
  if (const size_t n = reader.surrogates_replaced())
    warn(reader.utf16_kind() + ": " + std::to_string(n) +
         (n == 1 ? " lone surrogate" : " lone surrogates") + " replaced by U+FFFD");
  if (!reader.utf16_kind().empty() && cards > 0) notes.push_back("read as " + reader.utf16_kind());
  return notes;
}

VcardImport read_vcards(std::string_view file_bytes) {
  VcardImport result;
  result.notes = read_vcard_stream(
      [file_bytes]() -> VcardSource {
        return [bytes = file_bytes](char* buf, size_t n) mutable {
          n = std::min(n, bytes.size());
          std::copy_n(bytes.data(), n, buf);
          bytes.remove_prefix(n);
          return n;
        };
      },
      [&](VcardCard&& card) {
        result.contacts.push_back(std::move(card.contact));
        result.uids.push_back(std::move(card.uid));
      },
      [&](std::string&& w) { result.warnings.push_back(std::move(w)); });
  return result;
}

}  // namespace vardel::tools
