// Contacts read from a CSV file of Google Contacts or of Outlook (see
// address_book_csv.h): the layout told by the header row, each value placed
// in the first free slot of its kind, what finds no place named in a
// warning.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <set>

#include "host/device/device_tools.h"
#include "host/formats/address_book_columns.h"
#include "host/formats/address_book_csv.h"
#include "host/formats/contact_fields.h"
#include "host/tools/message_writers.h"
#include "platform/core/wstr.h"
#include "platform/poom/props.h"

namespace vardel::host {

namespace {

using namespace address_book;
using fields::Kind;
using fields::Place;

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

// A column of the phone's own layout: a property's name, or its tag in hex.
std::optional<CEPROPID> phone_column(const std::string& name) {
  if (auto tag = fields::field_tag(name)) return tag;
  if (name.size() < 3 || name.size() > 10 || name.compare(0, 2, "0x") != 0) return std::nullopt;
  if (name.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) return std::nullopt;
  return static_cast<CEPROPID>(std::stoul(name.substr(2), nullptr, 16));
}

std::optional<CsvLayout> layout_of(const std::vector<std::string>& header) {
  auto has = [&](const char* name) {
    return std::find(header.begin(), header.end(), name) != header.end();
  };
  if (has("Name") && has("Given Name") && has("Family Name")) return CsvLayout::google;
  if (has("First Name") && has("Last Name") && has("E-mail Address")) return CsvLayout::outlook;
  if (!header.empty() && std::all_of(header.begin(), header.end(),
                                     [](const std::string& n) { return phone_column(n); }))
    return CsvLayout::phone;
  return std::nullopt;
}

CsvContacts read_phone(const std::vector<std::vector<std::string>>& rows) {
  CsvContacts out;
  std::vector<CEPROPID> columns;
  for (const std::string& name : rows[0]) columns.push_back(*phone_column(name));
  for (size_t r = 1; r < rows.size(); ++r) {
    poom::ContactRecord contact;
    for (size_t k = 0; k < rows[r].size(); ++k) {
      if (rows[r][k].empty()) continue;
      if (k >= columns.size()) {
        out.warnings.push_back("row " + std::to_string(r + 1) +
                               ": more cells than the header names; the rest left out");
        break;
      }
      contact.push_back({columns[k], utf16(rows[r][k])});
    }
    if (!contact.empty()) out.contacts.push_back(std::move(contact));
  }
  return out;
}

}  // namespace

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
  if (!layout)
    throw UsageError(
        "not a CSV file of Google Contacts, of Outlook or of this program (its header row)");
  switch (*layout) {
    case CsvLayout::google:
      return read_google(rows);
    case CsvLayout::outlook:
      return read_outlook(rows);
    case CsvLayout::phone:
      break;
  }
  return read_phone(rows);
}

}  // namespace vardel::host
