// The reference values: what one Exiftool process without stay-open prints
// for the requests the module sends, read as the module reads replies.
#pragma once

#include <string>
#include <vector>

#include "bench_config.h"
#include "values.h"

namespace bench {

// Every field of every photo, at file * fields + field, as the module
// delivers them: each file's batch request (and the one-tag requests of
// the fields a batch leaves open), all of them in one run of `toolPath`
// over an argument file in `workDir`, with "-execute" after each request.
std::vector<Value> OneShotValues(const BenchConfig& config, const std::vector<Photo>& photos,
                                 const std::string& toolPath, const std::string& workDir);

}  // namespace bench
