#include "host/formats/address_book_csv.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "host/device_tools.h"
#include "host/formats/contact_fields.h"
#include "host/tools/message_writers.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"
#include "platform/poom/props.h"

namespace vardel::host {

namespace {

using fields::Kind;
using fields::Place;
using Props = std::map<CEPROPID, std::string>;

constexpr std::string_view kJoin = " ::: ";

std::string get(const Props& p, CEPROPID tag) {
  auto it = p.find(tag);
  return it == p.end() ? std::string() : it->second;
}

std::vector<std::string> split(std::string_view text, std::string_view sep) {
  std::vector<std::string> out;
  while (true) {
    const size_t at = text.find(sep);
    std::string part(text.substr(0, at));
    while (!part.empty() && part.front() == ' ') part.erase(0, 1);
    while (!part.empty() && part.back() == ' ') part.pop_back();
    if (!part.empty()) out.push_back(part);
    if (at == std::string_view::npos) return out;
    text.remove_prefix(at + sep.size());
  }
}

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : std::string(sep)) + p;
  return out;
}

// ---- The columns -------------------------------------------------------

// Google's columns before the numbered groups, and the fields they hold.
struct Column {
  const char* name;
  CEPROPID tag;  // 0: a column the phone has no field for
};
constexpr Column kGoogleHead[] = {
    {"Name", PIMPR_FILEAS},
    {"Given Name", PIMPR_FIRST_NAME},
    {"Additional Name", PIMPR_MIDDLE_NAME},
    {"Family Name", PIMPR_LAST_NAME},
    {"Yomi Name", 0},
    {"Given Name Yomi", 0},
    {"Additional Name Yomi", 0},
    {"Family Name Yomi", 0},
    {"Name Prefix", PIMPR_TITLE},
    {"Name Suffix", PIMPR_SUFFIX},
    {"Initials", 0},
    {"Nickname", PIMPR_NICKNAME},
    {"Short Name", 0},
    {"Maiden Name", 0},
    {"Birthday", PIMPR_BIRTHDAY},
    {"Gender", 0},
    {"Location", 0},
    {"Billing Information", 0},
    {"Directory Server", 0},
    {"Mileage", 0},
    {"Occupation", 0},
    {"Hobby", 0},
    {"Sensitivity", 0},
    {"Priority", 0},
    {"Subject", 0},
    {"Notes", PIMPR_BODY},
    {"Language", 0},
    {"Photo", 0},
    {"Group Membership", PIMPR_CATEGORIES},
};

// A labelled value of a numbered group, and the slots its label stands for.
struct Label {
  const char* group;  // "Phone"
  const char* label;  // "Mobile"
  std::vector<CEPROPID> tags;
};
const std::vector<Label>& google_labels() {
  static const std::vector<Label> labels = {
      {"E-mail", "Other", {PIMPR_EMAIL1_ADDRESS, PIMPR_EMAIL2_ADDRESS, PIMPR_EMAIL3_ADDRESS}},
      {"IM", "Other", {PIMPR_IM1_ADDRESS, PIMPR_IM2_ADDRESS, PIMPR_IM3_ADDRESS}},
      {"Phone", "Mobile", {PIMPR_MOBILE_TELEPHONE_NUMBER}},
      {"Phone", "Work", {PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER}},
      {"Phone", "Home", {PIMPR_HOME_TELEPHONE_NUMBER, PIMPR_HOME2_TELEPHONE_NUMBER}},
      {"Phone", "Work Fax", {PIMPR_BUSINESS_FAX_NUMBER}},
      {"Phone", "Home Fax", {PIMPR_HOME_FAX_NUMBER}},
      {"Phone", "Pager", {PIMPR_PAGER_NUMBER}},
      {"Phone", "Car", {PIMPR_CAR_TELEPHONE_NUMBER}},
      {"Phone", "Radio", {PIMPR_RADIO_TELEPHONE_NUMBER}},
      {"Phone", "Assistant", {PIMPR_ASSISTANT_TELEPHONE_NUMBER}},
      {"Phone", "Main", {PIMPR_COMPANY_TELEPHONE_NUMBER}},
      {"Relation", "Spouse", {PIMPR_SPOUSE}},
      {"Relation", "Child", {PIMPR_CHILDREN}},
      {"Relation", "Manager", {PIMPR_MANAGER}},
      {"Relation", "Assistant", {PIMPR_ASSISTANT_NAME}},
      {"Website", "Other", {PIMPR_WEB_PAGE}},
      {"Event", "Anniversary", {PIMPR_ANNIVERSARY}},
  };
  return labels;
}

// The columns of one group after "<group> <n> - ".
const std::vector<std::string>& group_columns(std::string_view group) {
  static const std::vector<std::string> typed = {"Type", "Value"};
  static const std::vector<std::string> im = {"Type", "Service", "Value"};
  static const std::vector<std::string> address = {"Type",        "Formatted", "Street",
                                                   "City",        "PO Box",    "Region",
                                                   "Postal Code", "Country",   "Extended Address"};
  static const std::vector<std::string> organization = {
      "Type", "Name", "Yomi Name", "Title", "Department", "Symbol", "Location", "Job Description"};
  if (group == "IM") return im;
  if (group == "Address") return address;
  if (group == "Organization") return organization;
  return typed;
}
constexpr const char* kGroups[] = {"E-mail",       "IM",       "Phone",   "Address",
                                   "Organization", "Relation", "Website", "Event"};

// Outlook's columns, as it exports them, and the fields they hold.
constexpr Column kOutlook[] = {
    {"First Name", PIMPR_FIRST_NAME},
    {"Middle Name", PIMPR_MIDDLE_NAME},
    {"Last Name", PIMPR_LAST_NAME},
    {"Title", PIMPR_TITLE},
    {"Suffix", PIMPR_SUFFIX},
    {"Initials", 0},
    {"Web Page", PIMPR_WEB_PAGE},
    {"Gender", 0},
    {"Birthday", PIMPR_BIRTHDAY},
    {"Anniversary", PIMPR_ANNIVERSARY},
    {"Location", 0},
    {"Language", 0},
    {"Internet Free Busy", 0},
    {"Notes", PIMPR_BODY},
    {"E-mail Address", PIMPR_EMAIL1_ADDRESS},
    {"E-mail 2 Address", PIMPR_EMAIL2_ADDRESS},
    {"E-mail 3 Address", PIMPR_EMAIL3_ADDRESS},
    {"Primary Phone", 0},
    {"Home Phone", PIMPR_HOME_TELEPHONE_NUMBER},
    {"Home Phone 2", PIMPR_HOME2_TELEPHONE_NUMBER},
    {"Mobile Phone", PIMPR_MOBILE_TELEPHONE_NUMBER},
    {"Pager", PIMPR_PAGER_NUMBER},
    {"Home Fax", PIMPR_HOME_FAX_NUMBER},
    {"Home Address", 0},
    {"Home Street", PIMPR_HOME_ADDRESS_STREET},
    {"Home Street 2", 0},
    {"Home Street 3", 0},
    {"Home Address PO Box", 0},
    {"Home City", PIMPR_HOME_ADDRESS_CITY},
    {"Home State", PIMPR_HOME_ADDRESS_STATE},
    {"Home Postal Code", PIMPR_HOME_ADDRESS_POSTAL_CODE},
    {"Home Country", PIMPR_HOME_ADDRESS_COUNTRY},
    {"Spouse", PIMPR_SPOUSE},
    {"Children", PIMPR_CHILDREN},
    {"Manager's Name", PIMPR_MANAGER},
    {"Assistant's Name", PIMPR_ASSISTANT_NAME},
    {"Referred By", 0},
    {"Company Main Phone", PIMPR_COMPANY_TELEPHONE_NUMBER},
    {"Business Phone", PIMPR_BUSINESS_TELEPHONE_NUMBER},
    {"Business Phone 2", PIMPR_BUSINESS2_TELEPHONE_NUMBER},
    {"Business Fax", PIMPR_BUSINESS_FAX_NUMBER},
    {"Assistant's Phone", PIMPR_ASSISTANT_TELEPHONE_NUMBER},
    {"Company", PIMPR_COMPANY_NAME},
    {"Job Title", PIMPR_JOB_TITLE},
    {"Department", PIMPR_DEPARTMENT},
    {"Office Location", PIMPR_OFFICE_LOCATION},
    {"Organizational ID Number", 0},
    {"Profession", 0},
    {"Account", PIMPR_ACCOUNT_NAME},
    {"Business Address", 0},
    {"Business Street", PIMPR_BUSINESS_ADDRESS_STREET},
    {"Business Street 2", 0},
    {"Business Street 3", 0},
    {"Business Address PO Box", 0},
    {"Business City", PIMPR_BUSINESS_ADDRESS_CITY},
    {"Business State", PIMPR_BUSINESS_ADDRESS_STATE},
    {"Business Postal Code", PIMPR_BUSINESS_ADDRESS_POSTAL_CODE},
    {"Business Country", PIMPR_BUSINESS_ADDRESS_COUNTRY},
    {"Other Phone", 0},
    {"Other Fax", 0},
    {"Other Address", 0},
    {"Other Street", PIMPR_OTHER_ADDRESS_STREET},
    {"Other Street 2", 0},
    {"Other Street 3", 0},
    {"Other Address PO Box", 0},
    {"Other City", PIMPR_OTHER_ADDRESS_CITY},
    {"Other State", PIMPR_OTHER_ADDRESS_STATE},
    {"Other Postal Code", PIMPR_OTHER_ADDRESS_POSTAL_CODE},
    {"Other Country", PIMPR_OTHER_ADDRESS_COUNTRY},
    {"Callback", 0},
    {"Car Phone", PIMPR_CAR_TELEPHONE_NUMBER},
    {"ISDN", 0},
    {"Radio Phone", PIMPR_RADIO_TELEPHONE_NUMBER},
    {"TTY/TDD Phone", 0},
    {"Telex", 0},
    {"User 1", 0},
    {"User 2", 0},
    {"User 3", 0},
    {"User 4", 0},
    {"Keywords", 0},
    {"Mileage", 0},
    {"Hobby", 0},
    {"Billing Information", 0},
    {"Directory Server", 0},
    {"Sensitivity", 0},
    {"Priority", 0},
    {"Private", 0},
    {"Categories", PIMPR_CATEGORIES},
};

// ---- Dates ----------------------------------------------------------------

// The stored ISO text's day ("1980-05-17"), as Google writes it.
std::string iso_day(const std::string& iso) { return iso.substr(0, 10); }

// Outlook writes a day as month/day/year ("5/17/1980").
std::string outlook_day(const std::string& iso) {
  int y = 0, m = 0, d = 0;
  if (std::sscanf(iso.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3) return "";
  return std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
}

// Either form back to ISO; nothing for a text that is no whole day.
std::optional<std::string> read_day(const std::string& text) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3 ||
      std::sscanf(text.c_str(), "%d/%d/%d%c", &m, &d, &y, &tail) == 3) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    if (poom::iso_to_ticks(buf)) return std::string(buf);
  }
  return std::nullopt;
}

// ---- Writing -------------------------------------------------------------

std::string row_of(const std::vector<std::string>& cells) {
  std::string out;
  for (size_t k = 0; k < cells.size(); ++k) out += (k ? "," : "") + tools::csv_field(cells[k]);
  return out + "\r\n";
}

Props props_of(const poom::ContactRecord& c) {
  Props p;
  for (const auto& prop : c) p[prop.tag] = utf8(prop.text);
  return p;
}

// A contact's values of one group: label and joined values, labels in the
// table's order.
std::vector<std::pair<std::string, std::string>> labelled(const Props& p, std::string_view group) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const Label& l : google_labels()) {
    if (group != l.group) continue;
    std::vector<std::string> values;
    for (CEPROPID tag : l.tags)
      if (auto v = get(p, tag); !v.empty())
        values.push_back(poom::is_date_tag(tag) ? iso_day(v) : v);
    if (!values.empty()) out.emplace_back(l.label, join(values, kJoin));
  }
  return out;
}

constexpr const char* kAddressLabels[] = {"Work", "Home", "Other"};
constexpr Place kAddressPlaces[] = {Place::work, Place::home, Place::other};

std::vector<std::array<std::string, 9>> addresses(const Props& p) {
  std::vector<std::array<std::string, 9>> out;
  for (int k = 0; k < 3; ++k) {
    const auto tags = fields::address_parts(kAddressPlaces[k]);
    std::array<std::string, 5> parts;
    bool any = false;
    for (int i = 0; i < 5; ++i) any = !(parts[i] = get(p, tags[i])).empty() || any;
    if (any)
      out.push_back(
          {kAddressLabels[k], "", parts[0], parts[1], "", parts[2], parts[3], parts[4], ""});
  }
  return out;
}

std::string google_csv(const std::vector<poom::ContactRecord>& contacts) {
  std::vector<Props> all;
  for (const auto& c : contacts) all.push_back(props_of(c));
  // As many groups of a kind as the contact with the most of them needs;
  // one E-mail, Phone and Organization group always, as Google writes them.
  std::map<std::string, size_t> count = {{"E-mail", 1}, {"Phone", 1}, {"Organization", 1}};
  for (const Props& p : all) {
    for (const char* g : {"E-mail", "IM", "Phone", "Relation", "Website", "Event"})
      count[g] = std::max(count[g], labelled(p, g).size());
    count["Address"] = std::max(count["Address"], addresses(p).size());
  }
  std::vector<std::string> header;
  for (const Column& c : kGoogleHead) header.push_back(c.name);
  for (const char* g : kGroups)
    for (size_t n = 1; n <= count[g]; ++n)
      for (const auto& col : group_columns(g))
        header.push_back(std::string(g) + " " + std::to_string(n) + " - " + col);
  std::string out = row_of(header);
  for (const Props& p : all) {
    std::vector<std::string> row;
    for (const Column& c : kGoogleHead) {
      std::string v = c.tag ? get(p, c.tag) : "";
      if (c.tag == PIMPR_BIRTHDAY && !v.empty()) v = iso_day(v);
      if (c.tag == PIMPR_CATEGORIES) v = join(split(v, ","), kJoin);
      row.push_back(v);
    }
    for (const char* g : kGroups) {
      const std::string_view group = g;
      for (size_t n = 0; n < count[g]; ++n) {
        std::vector<std::string> cells(group_columns(g).size());
        if (group == "Address") {
          const auto a = addresses(p);
          if (n < a.size()) cells.assign(a[n].begin(), a[n].end());
        } else if (group == "Organization") {
          cells = {"",
                   get(p, PIMPR_COMPANY_NAME),
                   get(p, PIMPR_YOMI_COMPANY),
                   get(p, PIMPR_JOB_TITLE),
                   get(p, PIMPR_DEPARTMENT),
                   "",
                   get(p, PIMPR_OFFICE_LOCATION),
                   ""};
        } else if (const auto l = labelled(p, g); n < l.size()) {
          cells.front() = l[n].first;
          cells.back() = l[n].second;
        }
        row.insert(row.end(), cells.begin(), cells.end());
      }
    }
    out += row_of(row);
  }
  return out;
}

std::string outlook_csv(const std::vector<poom::ContactRecord>& contacts) {
  std::vector<std::string> header;
  for (const Column& c : kOutlook) header.push_back(c.name);
  std::string out = "\xEF\xBB\xBF" + row_of(header);
  for (const auto& c : contacts) {
    const Props p = props_of(c);
    std::vector<std::string> row;
    for (const Column& col : kOutlook) {
      const std::string v = col.tag ? get(p, col.tag) : "";
      row.push_back(col.tag && poom::is_date_tag(col.tag) && !v.empty() ? outlook_day(v) : v);
    }
    out += row_of(row);
  }
  return out;
}

// ---- Reading -------------------------------------------------------------

// RFC 4180 rows (quoted cells with "" for a quote and line breaks inside;
// rows end with CR LF or LF; the apostrophe that kept a cell from being
// taken for a formula is taken off). Throws UsageError for a quote left open.
std::vector<std::vector<std::string>> csv_rows(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string cell;
  bool quoted = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      row.push_back(tools::csv_unguarded(std::move(cell)));
      cell.clear();
      any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !cell.empty()) {
        row.push_back(tools::csv_unguarded(std::move(cell)));
        rows.push_back(std::move(row));
      }
      row.clear();
      cell.clear();
      any = false;
    } else {
      cell += c;
      any = true;
    }
  }
  if (quoted) throw UsageError("the CSV file ends inside a quoted cell");
  if (any || !cell.empty()) {
    row.push_back(tools::csv_unguarded(std::move(cell)));
    rows.push_back(std::move(row));
  }
  return rows;
}

// One contact being read: values go to the first free of their slots.
class Placer {
 public:
  explicit Placer(std::vector<std::string>& left_out) : left_out_(left_out) {}

  void put(const std::vector<CEPROPID>& slots, const std::string& value, const std::string& what) {
    if (value.empty()) return;
    for (CEPROPID tag : slots)
      if (get(props_, tag) == value) return;
    for (CEPROPID tag : slots)
      if (!props_.count(tag)) {
        props_[tag] = value;
        return;
      }
    left_out_.push_back(what + " \"" + value + "\"");
  }
  void put(CEPROPID tag, const std::string& value, const std::string& what) {
    put(std::vector<CEPROPID>{tag}, value, what);
  }
  void date(CEPROPID tag, const std::string& value, const std::string& what) {
    if (value.empty()) return;
    if (auto day = read_day(value))
      put(tag, *day, what);
    else
      left_out_.push_back(what + " \"" + value + "\" (not a date)");
  }
  // An address's parts at the first place whose address is empty.
  void address(Place place, const std::array<std::string, 5>& parts) {
    if (std::all_of(parts.begin(), parts.end(), [](auto& p) { return p.empty(); })) return;
    for (CEPROPID street : fields::slots(Kind::address, place)) {
      const auto tags = fields::address_parts(fields::address_place(street));
      if (std::any_of(tags.begin(), tags.end(), [&](CEPROPID t) { return props_.count(t); }))
        continue;
      for (int k = 0; k < 5; ++k)
        if (!parts[k].empty()) props_[tags[k]] = parts[k];
      return;
    }
    left_out_.push_back("address \"" + join({parts.begin(), parts.end()}, " ") + "\"");
  }
  poom::ContactRecord finish() const {
    poom::ContactRecord r;
    for (const auto& [tag, text] : props_) r.push_back({tag, utf16(text)});
    return r;
  }

 private:
  Props props_;
  std::vector<std::string>& left_out_;
};

// The slots a Google telephone label stands for.
std::vector<CEPROPID> phone_slots(std::string label) {
  if (label.rfind("* ", 0) == 0) label.erase(0, 2);  // Google's mark of the first one
  auto then_any = [](CEPROPID first) {
    std::vector<CEPROPID> s = {first};
    for (CEPROPID t : fields::slots(Kind::telephone))
      if (t != first) s.push_back(t);
    return s;
  };
  if (label == "Mobile") return fields::slots(Kind::telephone, Place::mobile);
  if (label == "Work") return fields::slots(Kind::telephone, Place::work);
  if (label == "Home") return fields::slots(Kind::telephone, Place::home);
  if (label == "Work Fax") return fields::slots(Kind::fax, Place::work);
  if (label == "Home Fax") return fields::slots(Kind::fax, Place::home);
  if (label == "Pager") return {PIMPR_PAGER_NUMBER};
  for (const Label& l : google_labels())
    if (std::string_view(l.group) == "Phone" && label == l.label) return then_any(l.tags[0]);
  return fields::slots(Kind::telephone);
}

CsvContacts read_google(const std::vector<std::vector<std::string>>& rows) {
  const auto& header = rows[0];
  CsvContacts out;
  std::set<std::string> unplaced_columns;
  for (size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    auto cell = [&](size_t k) { return k < row.size() ? row[k] : std::string(); };
    std::vector<std::string> left_out;
    Placer c(left_out);
    // "<group> <n> - <column>" cells, gathered per group instance.
    std::map<std::pair<std::string, int>, std::map<std::string, std::string>> groups;
    for (size_t k = 0; k < header.size(); ++k) {
      const std::string& name = header[k];
      const std::string value = cell(k);
      if (value.empty()) continue;
      const auto head = std::find_if(std::begin(kGoogleHead), std::end(kGoogleHead),
                                     [&](const Column& col) { return name == col.name; });
      if (head != std::end(kGoogleHead)) {
        if (!head->tag)
          unplaced_columns.insert(name);
        else if (head->tag == PIMPR_BIRTHDAY)
          c.date(PIMPR_BIRTHDAY, value, name);
        else if (head->tag == PIMPR_CATEGORIES)
          c.put(PIMPR_CATEGORIES, join(split(value, kJoin), ", "), name);
        else
          c.put(head->tag, value, name);
        continue;
      }
      const size_t dash = name.find(" - ");
      const size_t space = name.rfind(' ', dash == std::string::npos ? 0 : dash - 1);
      if (dash == std::string::npos || space == std::string::npos) {
        unplaced_columns.insert(name);
        continue;
      }
      groups[{name.substr(0, space), std::atoi(name.c_str() + space + 1)}][name.substr(dash + 3)] =
          value;
    }
    for (auto& [key, g] : groups) {
      const std::string& group = key.first;
      const std::string what = group + " " + std::to_string(key.second);
      const std::string type = g["Type"];
      const auto values = split(g["Value"], kJoin);
      if (group == "E-mail") {
        for (const auto& v : values) c.put(fields::slots(Kind::email), v, what);
      } else if (group == "IM") {
        for (const auto& v : values) c.put(fields::slots(Kind::im), v, what);
      } else if (group == "Phone") {
        for (const auto& v : values) c.put(phone_slots(type), v, what);
      } else if (group == "Address") {
        std::string street = g["Street"];
        if (street.empty() && g["City"].empty()) street = g["Formatted"];
        const Place place = type == "Work"   ? Place::work
                            : type == "Home" ? Place::home
                                             : Place::other;
        c.address(place, {street, g["City"], g["Region"], g["Postal Code"], g["Country"]});
      } else if (group == "Organization") {
        c.put(PIMPR_COMPANY_NAME, g["Name"], what);
        c.put(PIMPR_YOMI_COMPANY, g["Yomi Name"], what);
        c.put(PIMPR_JOB_TITLE, g["Title"], what);
        c.put(PIMPR_DEPARTMENT, g["Department"], what);
        c.put(PIMPR_OFFICE_LOCATION, g["Location"], what);
      } else {
        // Relation, Website, Event: by their label.
        const Label* l = nullptr;
        for (const Label& x : google_labels())
          if (group == x.group && (type == x.label || group == "Website")) l = &x;
        for (const auto& v : values) {
          if (!l)
            left_out.push_back(what + " (" + type + ") \"" + v + "\"");
          else if (poom::is_date_tag(l->tags[0]))
            c.date(l->tags[0], v, what);
          else
            c.put(l->tags, v, what);
        }
      }
    }
    for (const auto& w : left_out)
      out.warnings.push_back("row " + std::to_string(r + 1) + ": " + w +
                             " left out: the phone has no free place for it");
    out.contacts.push_back(c.finish());
  }
  if (!unplaced_columns.empty())
    out.warnings.push_back("the phone has no place for the columns " +
                           join({unplaced_columns.begin(), unplaced_columns.end()}, ", ") +
                           "; left out");
  return out;
}

CsvContacts read_outlook(const std::vector<std::vector<std::string>>& rows) {
  const auto& header = rows[0];
  std::vector<const Column*> columns;
  for (const std::string& name : header) {
    const auto col = std::find_if(std::begin(kOutlook), std::end(kOutlook),
                                  [&](const Column& c) { return name == c.name; });
    columns.push_back(col == std::end(kOutlook) ? nullptr : &*col);
  }
  CsvContacts out;
  std::set<std::string> unplaced_columns;
  for (size_t r = 1; r < rows.size(); ++r) {
    std::vector<std::string> left_out;
    Placer c(left_out);
    for (size_t k = 0; k < header.size() && k < rows[r].size(); ++k) {
      const std::string& value = rows[r][k];
      if (value.empty()) continue;
      if (!columns[k] || !columns[k]->tag) {
        unplaced_columns.insert(header[k]);
      } else if (poom::is_date_tag(columns[k]->tag)) {
        if (value != "0/0/00") c.date(columns[k]->tag, value, header[k]);
      } else {
        c.put(columns[k]->tag, value, header[k]);
      }
    }
    for (const auto& w : left_out)
      out.warnings.push_back("row " + std::to_string(r + 1) + ": " + w + " left out");
    out.contacts.push_back(c.finish());
  }
  if (!unplaced_columns.empty())
    out.warnings.push_back("the phone has no place for the columns " +
                           join({unplaced_columns.begin(), unplaced_columns.end()}, ", ") +
                           "; left out");
  return out;
}

std::optional<CsvLayout> layout_of(const std::vector<std::string>& header) {
  auto has = [&](const char* name) {
    return std::find(header.begin(), header.end(), name) != header.end();
  };
  if (has("Name") && has("Given Name") && has("Family Name")) return CsvLayout::google;
  if (has("First Name") && has("Last Name") && has("E-mail Address")) return CsvLayout::outlook;
  return std::nullopt;
}

}  // namespace

std::string address_book_csv(const std::vector<poom::ContactRecord>& contacts, CsvLayout layout) {
  return layout == CsvLayout::google ? google_csv(contacts) : outlook_csv(contacts);
}

}  // namespace vardel::host

namespace vardel::host {

std::optional<CsvLayout> address_book_csv_layout(std::string_view bytes) {
  // The header row alone: a file of another kind is not read whole.
  const size_t end = bytes.find_first_of("\r\n");
  try {
    const auto rows = csv_rows(bytes.substr(0, end));
    if (rows.empty()) return std::nullopt;
    return layout_of(rows[0]);
  } catch (const UsageError&) {
    return std::nullopt;
  }
}

CsvContacts read_address_book_csv(std::string_view bytes) {
  const auto rows = csv_rows(bytes);
  const auto layout = rows.empty() ? std::nullopt : layout_of(rows[0]);
  if (!layout) throw UsageError("not a CSV file of Google Contacts or Outlook (its header row)");
  return *layout == CsvLayout::google ? read_google(rows) : read_outlook(rows);
}

}  // namespace vardel::host
