// Texts and dates between libgammu and the device's stores.
//
// libgammu keeps texts as big-endian UTF-16 ending in a zero unit, in fixed
// buffers of (limit + 1) * 2 bytes; its dates are calendar fields with a
// time zone offset the phones fill in unreliably, so the fields are taken
// as the host's local time (as the phone showed them).
#pragma once

#include <gammu.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/types.h"

namespace vardel::phone {

// The text of a libgammu buffer (empty for a null pointer).
std::u16string from_gammu(const unsigned char* text);

// Writes text into a libgammu buffer that holds `limit` units and its ending
// zero. false (and nothing written) when the text is longer than that.
bool to_gammu(std::u16string_view text, unsigned char* dest, std::size_t limit);

// A libgammu text buffer's limit in units, from its size in bytes.
template <std::size_t N>
constexpr std::size_t gammu_limit(const unsigned char (&)[N]) {
  return N / 2 - 1;
}

// "1980-05-17" for a date whose fields are a valid calendar day; nothing else.
std::optional<std::u16string> iso_date(const GSM_DateTime& date);
// The fields of "1980-05-17" or "1980-05-17T06:30:00" (the time is dropped).
std::optional<GSM_DateTime> gammu_date(std::u16string_view iso);

// The UTC time of the phone's date and time read as the host's local time
// (TZ honoured); nothing for a date that is unset or out of range.
std::optional<FILETIME> local_time_to_utc(const GSM_DateTime& date);

}  // namespace vardel::phone
