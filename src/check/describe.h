// How the checker names what it prints: field types, texts with control
// characters shown, dates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace check {

// "ft_datetime (10)" and the like.
std::string TypeName(std::int32_t fieldType);

// `text` in double quotes, control characters written as \t, \n, \xNN.
std::string Quoted(std::string_view text);

// A UTC file time (100 ns units since 1601) as "YYYY-MM-DD hh:mm:ss UTC"
// and as local time on this computer.
std::string FileTimeText(std::uint64_t fileTime);

}  // namespace check
