// What the Config.txt reader made of each line of the file, so that a user
// can be told why a column is missing. Reading with a report stores exactly
// what reading without one stores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace config {

enum class LineRole {
  kHeader,     // line 1
  kToolLine,   // line 2: the tool path
  kTitleLine,  // line 3: ignored
  kStored,     // a field line stored as field `field`
  kSkipped,    // a field line that stores no field (see `reason`)
  kNotRead,    // a line past the point where the reader stops
};

struct LineReport {
  int number = 0;  // line number in the file, from 1
  LineRole role = LineRole::kSkipped;
  int field = -1;  // index in the field table when stored
  // Why a line is skipped or not read; empty otherwise.
  std::string reason;
  // Anything read differently from how it is written (a tag cut short, an
  // unknown type name, a line cut at its length limit). Each is a problem.
  std::vector<std::string> notes;
  // A skipped line that is only a line switched off (its first column "0")
  // or a blank line: not a problem.
  bool intended = false;
};

struct LoadReport {
  bool byteOrderMark = false;
  // The header's items as read.
  std::int32_t declaredFieldCount = 0;  // before clamping
  char syntaxLetter = 0;
  char columnSeparator = 0;
  std::int32_t invertFlag = 0;
  std::string prefixList;
  // Why nothing is stored, when the header says so; empty otherwise.
  std::string headerProblem;
  // Set when byte 26 ended the file before its physical end.
  bool endedByByte26 = false;
  std::vector<LineReport> lines;
};

}  // namespace config
