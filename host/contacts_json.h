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

// Reads contacts from JSON. Throws UsageError naming the first problem (not an
// array, an unknown key, a property given twice, a value that is not text).
std::vector<poom::ContactRecord> contacts_from_json(const nlohmann::json& json);

// "0x0080001F"
std::string hex_tag(CEPROPID tag);

}  // namespace vardel::host
