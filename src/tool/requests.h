// The argument lines that ask Exiftool for tag values, and the reading of
// what it prints for them. The exchange adds the numbered "-execute" line
// that ends each request.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tool {

// One tag of one file, printed alone ("-s3"); "-n" asks for the plain
// number instead of the readable form.
std::string BuildTagRequest(std::string_view tag, bool numeric,
                            std::string_view fileNameUtf8);

// A tag and the form it is asked in: readable, or the plain number.
struct TagKey {
  std::string tag;
  bool numeric = false;
  bool operator==(const TagKey& o) const { return numeric == o.numeric && tag == o.tag; }
  bool operator<(const TagKey& o) const {
    return tag != o.tag ? tag < o.tag : numeric < o.numeric;
  }
};

// True for a tag that a request for many tags answers under its own name:
// a plain tag name, with no group, wildcard or "#".
bool AnswersUnderItsName(std::string_view tag);

// Every tag in `keys` (each AnswersUnderItsName, each key once) of one file
// in one request, printed as "-TAG=value" lines ("-args"); "TAG#" asks for
// the plain number of one tag as "-n" does for all. The reply ends with
// kBatchEndLine.
std::string BuildBatchRequest(const std::vector<TagKey>& keys,
                              std::string_view fileNameUtf8);

// The line that a batch request has the tool print once it has read the
// file ("-echo3"). A request that the tool refuses as a whole (an argument
// it takes for an unknown option, such as "-_") prints nothing at all, not
// even this line; a file that has none of the tags prints this line alone.
inline constexpr char kBatchEndLine[] = "{batch end}";

// True when a batch request's reply is empty: the tool refused the request.
bool BatchRefused(std::u16string_view reply);

// What a batch reply says of each key, in the order of `keys`:
//   a value           - the line printed for it, as "-s3" prints it alone;
//   an empty optional - the file has no such tag;
//   nothing (outer)   - the reply does not say exactly; ask for it alone.
// A tag counts as missing only when every line of the reply belongs to a
// requested tag, once: a shortcut or another name that printed lines of its
// own would otherwise pass for a missing tag. The final kBatchEndLine is no
// tag's; an empty reply says nothing of any tag.
using BatchValue = std::optional<std::optional<std::u16string>>;
std::vector<BatchValue> ReadBatchReply(std::u16string_view reply,
                                       const std::vector<TagKey>& keys,
                                       std::size_t lineEndLength);

}  // namespace tool
