// What the module makes of Config.txt, line by line, and why a field gets
// no value: lines skipped, tags the read-only rule refuses, tags the tool
// does not know, units that give nothing for the field's type.
#pragma once

#include <string>
#include <vector>

#include "check/tool_report.h"
#include "config/config_loader.h"
#include "config/load_report.h"

namespace check {

// The header as read; returns the number of problems.
int PrintHeader(const std::u16string& configPath, const config::LoadReport& report);

// Every line after the header; `sortOrder(field)` is the module's default
// sort order of a field. Returns the number of lines with a problem.
int PrintLines(const config::LoadReport& report, const config::Configuration& configuration,
               const ToolFacts& tool, int (*sortOrder)(int field));

// What is wrong with a stored field, one text per problem: the tag rule,
// the tool's tag names (when listed), the type, the units.
std::vector<std::string> FieldProblems(const config::Field& field, const ToolFacts& tool);

}  // namespace check
