// The argument lines that ask Exiftool for tag values. The exchange adds
// the numbered "-execute" line that ends each request.
#pragma once

#include <string>
#include <string_view>

namespace tool {

// One tag of one file, printed alone ("-s3"); "-n" asks for the plain
// number instead of the readable form.
std::string BuildTagRequest(std::string_view tag, bool numeric,
                            std::string_view fileNameUtf8);

}  // namespace tool
