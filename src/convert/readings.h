// Readings of the tool's reply text as the typed values the host asks for.
// Each is empty when the text holds no such value: no number, or no valid
// date and time.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace convert {

// Decimal integers, clamped at the type's limits; the leading number of the
// text ("1/200" reads as 1), empty when the text does not start with one.
std::optional<std::int32_t> TextToInt32(std::u16string_view text);
std::optional<std::int64_t> TextToInt64(std::u16string_view text);
// Decimal (or hexadecimal, infinity, NaN) number with "." as decimal point,
// whatever the process locale; empty when the text does not start with one.
std::optional<double> TextToDouble(std::u16string_view text);
// "YYYY:MM:DD hh:mm:ss" optionally followed by a zone ("+hh:mm", "-hh:mm",
// "Z"); without a zone the time is local on this computer. UTC file time;
// empty when the text is no valid date and time of the years 1601 to 30827
// (a zero date, blanks, a month 13 ...).
std::optional<std::uint64_t> ParseToolDateTime(std::u16string_view text);

}  // namespace convert
