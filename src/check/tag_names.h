// The tag names an Exiftool knows, as its "-list" prints them, and the
// lookups the checker makes in them: is a field's tag known, and which known
// names are closest to one that is not.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace check {

// A field's tag taken apart: its group prefixes ("EXIF:", "XMP-xmp:",
// "1:"), the tag name, and a final "#" (the plain number).
struct TagParts {
  std::string groups;  // with their colons, e.g. "EXIF:"
  std::string name;
  bool numeric = false;
};
TagParts SplitTag(std::string_view tag);

class TagNames {
 public:
  // Adds what "exiftool -list" (or "-listgN", the groups of a family)
  // prints: section titles ending in ":" at the start of a line, then names
  // separated by spaces (and line ends). Names of every section count: tags,
  // then command-line shortcuts.
  void Read(std::u16string_view listing);
  std::size_t size() const { return names_.size(); }

  // True when `name` (no groups, no "#") is a known name or "all", compared
  // without regard to ASCII case; a name with "*" or "?" when it matches
  // at least one known name.
  bool Knows(std::string_view name) const;

  // Up to `most` known names closest to `name` by edit distance (letters
  // compared without regard to ASCII case; a swap of two neighbours counts
  // as one edit), nearest first; none nearer than about half the name.
  std::vector<std::string> Closest(std::string_view name, std::size_t most) const;

  // For a set of group names: true when `group` is one, after an optional
  // family number ("1IFD0"), with digits where the list has "#" ("Doc2"
  // for "Doc#"); "*", "All" and family 7's "ID-..." always.
  bool KnowsGroup(std::string_view group) const;

 private:
  std::vector<std::string> names_;   // as printed
  std::vector<std::string> folded_;  // upper-cased, sorted
};

// Edit distance between two names, ASCII case ignored; a swap of two
// neighbouring characters is one edit.
std::size_t NameDistance(std::string_view a, std::string_view b);

// "*" matches any run of characters, "?" one; ASCII case ignored.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace check
