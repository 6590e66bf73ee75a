// Contacts as JSON, for the device tools: an array of objects, one per
// contact, whose keys are property tags in hex ("0x0080001F") or readable
// property names ("FileAs") and whose values are texts (dates ISO 8601).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/poom/contact_db.h"

namespace vardel::host {

// The contacts of the current device as JSON; keys readable, or hex tags.
nlohmann::json contacts_to_json(const std::vector<poom::ContactRecord>& contacts, bool hex_tags);

// Parses JSON text; throws UsageError "<name> is not valid JSON: <why>" for
// any text the parser refuses, a number too large for a double included.
nlohmann::json parse_json_text(const std::string& bytes, const std::string& name);

// Reads contacts from JSON. Throws UsageError naming the first problem (not an
// array, an unknown key, a property given twice, a value that is not text, a
// text holding a NUL character, a date that does not exist).
std::vector<poom::ContactRecord> contacts_from_json(const nlohmann::json& json);

// "0x0080001F"
std::string hex_tag(CEPROPID tag);

}  // namespace vardel::host
