// A contact's properties as the stand-in keeps them in memory, and the date
// conversions between the forms the object model uses (DATE, FILETIME,
// SYSTEMTIME) and the ISO 8601 text the device tools show.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/types.h"
#include "platform/poom/prop_map.h"

namespace vardel::poom {

// One stored value: a text for CEVT_LPWSTR tags, a FILETIME (as its 64-bit
// count of 100 ns since 1601) for CEVT_FILETIME tags.
struct PropValue {
  std::u16string text;
  std::int64_t filetime = 0;

  bool operator==(const PropValue&) const = default;
};

using PropMap = FlatPropMap<CEPROPID, PropValue>;
using SharedProps = std::shared_ptr<const PropMap>;

inline bool is_text_tag(CEPROPID tag) { return (tag & 0xFFFFu) == 31u; }
inline bool is_date_tag(CEPROPID tag) { return (tag & 0xFFFFu) == 64u; }
// Tags the store keeps: every text or date tag of a contact.
bool is_contact_tag(CEPROPID tag);

// Edits made to an object and not yet saved: a value to store, or nothing to
// remove the property.
using PropEdits = std::map<CEPROPID, std::optional<PropValue>>;

// DATE (days since 1899-12-30; the fraction is the time of day, also for days
// before 1899-12-30) <-> FILETIME ticks. False when out of range.
bool date_to_ticks(DATE date, std::int64_t* ticks);
bool ticks_to_date(std::int64_t ticks, DATE* date);

// SYSTEMTIME <-> DATE, validating the calendar fields (milliseconds dropped,
// as the phone's conversion does).
bool system_time_to_date(const SYSTEMTIME& st, DATE* date);
bool date_to_system_time(DATE date, SYSTEMTIME* st);

// FILETIME ticks <-> "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS" (a "Z" or a
// fraction of seconds is accepted on input and ignored; no time zone is
// applied: the phone keeps dates as they were entered).
std::string ticks_to_iso(std::int64_t ticks);
std::optional<std::int64_t> iso_to_ticks(std::string_view text);

}  // namespace vardel::poom
