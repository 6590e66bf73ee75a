// The shared parts of the two CSV layouts (see address_book_columns.h).
#include "host/formats/address_book_columns.h"

#include <cstdio>

#include "platform/poom/props.h"

namespace vardel::host::address_book {

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

}  // namespace vardel::host::address_book
