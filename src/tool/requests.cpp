#include "tool/requests.h"

namespace tool {

std::string BuildTagRequest(std::string_view tag, bool numeric,
                            std::string_view fileNameUtf8) {
  std::string request;
  request.reserve(tag.size() + fileNameUtf8.size() + 64);
  request += '-';
  request += tag;
  request += "\n-fast\n-s3\n-charset\nFileName=UTF8\n";
  if (numeric) request += "-n\n";
  request += fileNameUtf8;
  request += '\n';
  return request;
}

}  // namespace tool
