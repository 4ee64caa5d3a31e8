#include "config/path_filter.h"

#include "text/text.h"

namespace config {

void BuildPathFilter(PathFilter& filter, std::string_view text) {
  filter.prefixes.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(';', start);
    const std::string_view piece = text.substr(
        start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (filter.prefixes.size() < kMaxPathPrefixes) {
      std::string upper(piece);
      for (char& c : upper) c = text::AsciiUpper(c);
      filter.prefixes.push_back(text::WidenText(upper));
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

bool PathAllowed(const PathFilter& filter, std::u16string_view name) {
  bool match = filter.prefixes.empty();
  for (const std::u16string& prefix : filter.prefixes) {
    if (prefix.size() > name.size()) continue;
    std::size_t i = 0;
    while (i < prefix.size() && text::AsciiUpper(name[i]) == prefix[i]) ++i;
    if (i == prefix.size()) {
      match = true;
      break;
    }
  }
  return filter.invertFlag != 0 ? !match : match;
}

}  // namespace config
