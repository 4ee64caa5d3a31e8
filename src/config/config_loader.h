// Reads Config.txt: header, tool path, one ignored line, then field lines in
// the simple ("S") or the full ("F") syntax.
#pragma once

#include <cstdio>
#include <string>

#include "config/field_table.h"
#include "config/load_report.h"
#include "config/path_filter.h"

namespace config {

struct Configuration {
  FieldTable fields;
  std::u16string toolPath;
  PathFilter filter;
  char syntaxLetter = 0;  // carries over into a later load
};

// Loads `directory` + "Config.txt" into `configuration` and returns the number
// of fields stored. Fields of an earlier load are dropped first.
int LoadConfig(Configuration& configuration, const std::u16string& directory);

// The same from an open file (read in binary; text-mode rules are applied
// here so that every platform reads a file alike). Does not close `file`.
// With `report`, also tells what became of each line, and why.
int LoadConfigFrom(Configuration& configuration, std::FILE* file,
                   LoadReport* report = nullptr);

// One field line as read (its newline included). Return true when stored.
bool ParseSimpleLine(const std::string& line, FieldTable& table);
bool ParseFullLine(const std::string& line, char columnSeparator,
                   FieldTable& table);

}  // namespace config
