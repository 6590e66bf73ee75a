// Contacts <-> JSON.
#include "host/formats/contacts_json.h"

#include <algorithm>
#include <cstdio>

#include "host/device/device_tools.h"
#include "host/formats/contact_fields.h"
#include "platform/core/wstr.h"
#include "platform/poom/props.h"

namespace vardel::host {

nlohmann::json parse_json_text(const std::string& bytes, const std::string& name) {
  try {
    return nlohmann::json::parse(bytes);
  } catch (const nlohmann::json::exception& e) {
    // The library's own words, without its "[json.exception.parse_error.101]"
    // prefix: a number out of range is as bad input as a syntax error.
    std::string why = e.what();
    if (why.starts_with("[json.exception.")) why.erase(0, why.find(']') + 1);
    while (!why.empty() && why.front() == ' ') why.erase(0, 1);
    if (why.size() > 200) why = why.substr(0, 200) + "...";
    throw UsageError(name + " is not valid JSON: " + why);
  }
}

std::string hex_tag(CEPROPID tag) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(tag));
  return buf;
}

nlohmann::json contacts_to_json(const std::vector<poom::ContactRecord>& contacts, bool hex_tags) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& contact : contacts) {
    nlohmann::json obj = nlohmann::json::object();
    for (const auto& prop : contact) {
      std::string key = hex_tags ? hex_tag(prop.tag) : std::string(fields::field_name(prop.tag));
      if (key.empty()) key = hex_tag(prop.tag);
      obj[key] = utf8(prop.text);
    }
    out.push_back(std::move(obj));
  }
  return out;
}

namespace {

std::optional<CEPROPID> parse_tag(const std::string& key) {
  if (key.size() > 2 && key[0] == '0' && (key[1] == 'x' || key[1] == 'X')) {
    std::uint32_t value = 0;
    for (size_t i = 2; i < key.size(); ++i) {
      const char c = key[i];
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        return std::nullopt;
      if (i >= 10) return std::nullopt;  // more than eight digits
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    const auto& known = poom::known_property_tags();
    if (std::find(known.begin(), known.end(), value) == known.end()) return std::nullopt;
    return value;
  }
  return fields::field_tag(key);
}

}  // namespace

std::vector<poom::ContactRecord> contacts_from_json(const nlohmann::json& json) {
  if (!json.is_array()) throw UsageError("contacts JSON must be an array of objects");
  std::vector<poom::ContactRecord> contacts;
  size_t index = 0;
  for (const auto& item : json) {
    const std::string where = "contact " + std::to_string(index + 1);
    if (!item.is_object()) throw UsageError(where + " is not an object");
    poom::ContactRecord record;
    for (const auto& [key, value] : item.items()) {
      const auto tag = parse_tag(key);
      if (!tag) throw UsageError(where + ": unknown property \"" + key + "\"");
      if (value.is_null()) continue;
      if (!value.is_string())
        throw UsageError(where + ": the value of \"" + key + "\" is not a text");
      for (const auto& prop : record)
        if (prop.tag == *tag) throw UsageError(where + ": property \"" + key + "\" given twice");
      const std::u16string text = utf16(value.get<std::string>());
      if (text.empty()) continue;  // empty texts are not stored
      if (text.find(u'\0') != std::u16string::npos)
        throw UsageError(where + ": \"" + key + "\" holds a NUL character");
      if ((*tag & 0xFFFF) == 0x0040 && !poom::iso_to_ticks(value.get<std::string>()))
        throw UsageError(where + ": \"" + key + "\" is not a date (1980-05-17): \"" +
                         value.get<std::string>() + "\"");
      record.push_back({*tag, text});
    }
    contacts.push_back(std::move(record));
    ++index;
  }
  return contacts;
}

}  // namespace vardel::host
