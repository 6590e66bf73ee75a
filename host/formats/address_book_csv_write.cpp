// Contacts written as a CSV file of Google Contacts, of Outlook or of the
// phone's own property names (see address_book_csv.h): the header row of
// the layout, then a row per contact.
#include <algorithm>
#include <array>
#include <map>

#include "host/formats/address_book_columns.h"
#include "host/formats/address_book_csv.h"
#include "host/formats/contact_fields.h"
#include "host/formats/contacts_json.h"
#include "host/tools/message_writers.h"
#include "platform/core/wstr.h"
#include "platform/poom/props.h"

namespace vardel::host {

namespace {

using namespace address_book;
using fields::Kind;
using fields::Place;

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

// The phone's own layout: UTF-8 with a byte order mark, a column for each
// property any contact uses, in the store's order, each cell the text as
// the store holds it.
std::string phone_csv(const std::vector<poom::ContactRecord>& contacts) {
  std::vector<CEPROPID> columns;
  for (CEPROPID tag : poom::known_property_tags())
    for (const auto& c : contacts)
      if (std::any_of(c.begin(), c.end(), [&](const auto& p) { return p.tag == tag; })) {
        columns.push_back(tag);
        break;
      }
  std::string out = "\xEF\xBB\xBF";
  for (size_t k = 0; k < columns.size(); ++k) {
    std::string name(fields::field_name(columns[k]));
    out += (k ? "," : "") + tools::csv_field(name.empty() ? hex_tag(columns[k]) : name);
  }
  out += "\r\n";
  for (const auto& c : contacts) {
    for (size_t k = 0; k < columns.size(); ++k) {
      if (k) out += ",";
      for (const auto& p : c)
        if (p.tag == columns[k]) out += tools::csv_field(utf8(p.text));
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace

std::string address_book_csv(const std::vector<poom::ContactRecord>& contacts, CsvLayout layout) {
  switch (layout) {
    case CsvLayout::google:
      return google_csv(contacts);
    case CsvLayout::outlook:
      return outlook_csv(contacts);
    case CsvLayout::phone:
      break;
  }
  return phone_csv(contacts);
}

}  // namespace vardel::host
