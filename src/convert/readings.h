// Readings of the tool's reply text as the typed values the host asks for.
// None of them fails: text that is not a number reads as 0, text that is not
// a date and time as file time 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace convert {

// Decimal integers, clamped at the type's limits.
std::int32_t TextToInt32(std::u16string_view text);
std::int64_t TextToInt64(std::u16string_view text);
// Decimal (or hexadecimal, infinity, NaN) number with "." as decimal point,
// whatever the process locale.
double TextToDouble(std::u16string_view text);
// "YYYY:MM:DD hh:mm:ss" optionally followed by a zone ("+hh:mm", "-hh:mm",
// "Z"); without a zone the time is local on this computer. UTC file time.
std::uint64_t ParseToolDateTime(std::u16string_view text);

}  // namespace convert
