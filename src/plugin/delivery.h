// What a value request writes into the host's buffer: the tool's reply,
// read as the field type and the chosen unit entry ask.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plugin {

// Result codes of a value request, beside the field type codes.
enum ValueResult : int {
  kDelayed = 0,
  kNoValue = -1,
  kFiltered = -2,
  kEmptyReply = -3,
};

// Drops the one final line end that the tool puts after a value.
void TrimReplyLineEnd(std::u16string& reply);

// Writes `text` into a host buffer of `maxLength` BYTES: at most
// maxLength / 2 - 1 code units and a terminating zero; nothing when the
// buffer cannot hold even the zero. Returns the wide-text code.
int DeliverText(std::u16string_view text, void* fieldValue, int maxLength);

// Writes `text` into a host buffer of `maxLength` bytes as narrow text in
// the system's code page: at most maxLength - 1 bytes of whole characters
// and a terminating zero. Returns the narrow-text code.
int DeliverNarrowText(std::u16string_view text, void* fieldValue, int maxLength);

// Which entry point the host called: the narrow one takes a text field's
// value as narrow text, the wide one as wide text.
enum class HostText { kWide, kNarrow };

// Writes the trimmed reply into the host's buffer as the field type and the
// unit entry ask, and returns the result code.
int DeliverValue(std::int32_t fieldType, std::u16string_view unit,
                 std::u16string_view reply, void* fieldValue, int maxLength,
                 HostText hostText = HostText::kWide);

}  // namespace plugin
