// What a Config.txt field may ask the tool for. A field's tag reaches the
// tool as the argument "-" + tag, where Exiftool takes many words as options
// (-w writes files, -o copies the photo, -delete_original deletes backups,
// "-Model>FileName" renames it, -execute ends a request ...). A field can
// only read: its tag must be a tag request and nothing else.
#pragma once

#include <string_view>

namespace config {

// True for a tag request: optional group prefixes ("EXIF:", "XMP-dc:",
// "Composite:", "1:"), each of letters, digits, "_", "-" or "*" and ended by
// ":"; then a tag name of letters, digits, "_", "-", "*" or "?"; then an
// optional "#". It must not begin or end with "-", and must not be one of
// the words that Exiftool reads as an option (compared without regard to
// case), nor such a word with a number after it, signed or not, nor with
// the ":" forms some options take.
bool IsTagRequest(std::string_view tag);

}  // namespace config
