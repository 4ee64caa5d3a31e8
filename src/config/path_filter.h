// Limits the files the plugin answers for to those whose full name begins
// with one of the configured prefixes (or, inverted, with none of them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace config {

inline constexpr std::size_t kMaxPathPrefixes = 100;

struct PathFilter {
  std::vector<std::u16string> prefixes;  // upper-cased; may be empty texts
  std::int32_t invertFlag = 0;
};

// Replaces the prefixes with the ";"-separated list `text`; keeps the first
// 100 entries. Leaves the invert flag alone.
void BuildPathFilter(PathFilter& filter, std::string_view text);

// True when the plugin may serve `name`. ASCII letters of the name are
// compared upper-cased; the caller's text is not changed.
bool PathAllowed(const PathFilter& filter, std::u16string_view name);

}  // namespace config
