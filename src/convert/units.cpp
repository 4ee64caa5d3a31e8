#include "convert/units.h"

#include <cstddef>

#include "text/text.h"

namespace convert {

std::u16string PickUnit(std::string_view units, int unitIndex) {
  // The units text ends at its first zero byte, as the configuration stores it.
  const std::size_t zero = units.find('\0');
  if (zero != std::string_view::npos) units = units.substr(0, zero);

  // Entries end at each "|" and at the end of the text. Stop as soon as entry
  // number unitIndex has ended; when the text runs out first, the last entry
  // ended is the answer.
  int counter = -1;
  std::size_t start = 0;
  bool haveCandidate = false;
  std::string_view candidate;
  for (std::size_t pos = 0; pos <= units.size() && counter < unitIndex; ++pos) {
    if (pos == units.size() || units[pos] == '|') {
      candidate = units.substr(start, pos - start);
      haveCandidate = true;
      ++counter;
      start = pos + 1;
    }
  }
  return haveCandidate ? text::WidenText(candidate) : std::u16string();
}

}  // namespace convert
