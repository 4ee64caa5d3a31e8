#include "check/config_report.h"

#include <cstdio>

#include "check/describe.h"
#include "config/tag_rule.h"
#include "convert/units.h"
#include "platform/platform.h"
#include "plugin/delivery.h"
#include "plugin/plugin.h"

namespace check {

namespace {

std::string FilterText(const config::LoadReport& report) {
  if (report.prefixList.empty())
    return report.invertFlag != 0 ? "no prefixes, inverted: no file at all"
                                  : "no prefixes: every file";
  return std::string(report.invertFlag != 0 ? "every file except those under "
                                            : "only files under ") +
         Quoted(report.prefixList);
}

std::string SeparatorText(char separator) {
  if (separator == '\t') return "tab";
  if (separator == ' ') return "space";
  return Quoted(std::string(1, separator));
}

// What the module delivers for `fieldType` and a unit entry, tried with a
// reply that reads well as any type: false when it delivers no value.
bool UnitGivesValue(std::int32_t fieldType, std::u16string_view unit) {
  const std::u16string_view sample =
      fieldType == config::kDateTime ? u"2000:01:02 03:04:05" : u"1";
  char buffer[64] = {};
  return plugin::DeliverValue(fieldType, unit, sample, buffer, sizeof buffer) !=
         plugin::kNoValue;
}

int UnitCount(const std::string& units) {
  int count = 1;
  for (const char c : units) count += c == '|';
  return count;
}

// Each group of `parts` that the tool does not know, with the closest names.
void AddUnknownGroups(const TagParts& parts, const ToolFacts& tool,
                      std::vector<std::string>& problems) {
  std::size_t start = 0;
  while (start < parts.groups.size()) {
    const std::size_t colon = parts.groups.find(':', start);
    const std::string group = parts.groups.substr(start, colon - start);
    start = colon + 1;
    if (tool.groups.KnowsGroup(group)) continue;
    std::string text = "Exiftool " + tool.version + " knows no group " + Quoted(group);
    const std::vector<std::string> closest = tool.groups.Closest(group, 5);
    if (closest.empty()) text += ", nor one of a name close to it";
    for (std::size_t i = 0; i < closest.size(); ++i)
      text += (i ? ", " : "; closest: ") + closest[i];
    problems.push_back(text);
  }
}

std::string UnknownTagProblem(const TagParts& parts, const ToolFacts& tool) {
  std::string text = "Exiftool " + tool.version + " knows no tag " + Quoted(parts.name);
  const std::vector<std::string> closest = tool.names.Closest(parts.name, 5);
  if (closest.empty()) return text + ", nor one of a name close to it";
  text += "; closest: ";
  for (std::size_t i = 0; i < closest.size(); ++i)
    text += (i ? ", " : "") + parts.groups + closest[i] + (parts.numeric ? "#" : "");
  return text;
}

void PrintProblems(const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) std::printf("  problem: %s\n", problem.c_str());
}

}  // namespace

int PrintHeader(const std::u16string& configPath, const config::LoadReport& report) {
  int problems = 0;
  std::printf("configuration: %s\n", platform::Utf16ToUtf8(configPath).c_str());
  if (report.byteOrderMark) std::printf("  starts with a UTF-8 byte-order mark (skipped)\n");
  std::printf("line 1 (header): at most %d fields, syntax %s, column separator %s, "
              "files: %s\n",
              report.declaredFieldCount, Quoted(std::string(1, report.syntaxLetter)).c_str(),
              SeparatorText(report.columnSeparator).c_str(), FilterText(report).c_str());
  std::printf("  the module is offered the files of its detect string: %s\n",
              plugin::kDetectString);
  if (report.declaredFieldCount > config::kMaxFields)
    std::printf("  note: the count is read as %d, the most fields there may be\n",
                config::kMaxFields);
  if (!report.headerProblem.empty()) {
    PrintProblems({report.headerProblem});
    ++problems;
  } else if (report.prefixList.empty() && report.invertFlag != 0) {
    PrintProblems({"INVERT is 1 with no prefixes: the module serves no file"});
    ++problems;
  }
  return problems;
}

std::vector<std::string> FieldProblems(const config::Field& field, const ToolFacts& tool) {
  std::vector<std::string> problems;
  const std::int32_t type = field.attributes.fieldType;
  if (type == config::kNoMoreFields)
    problems.push_back("type ft_nomorefields tells the file manager that the list of fields "
                       "ends here: this field and every later one are not shown");
  if (field.text.displayName == "-")
    problems.push_back("a field named \"-\" gets no value");
  const std::string& tag = field.text.RequestTag();
  if (!config::IsTagRequest(tag)) {
    problems.push_back("the tag " + Quoted(tag) +
                       " is refused: a field may only read a tag (a tag name, optionally "
                       "after groups and with a final #), never anything Exiftool takes as "
                       "an option; nothing is sent for it and the field stays empty");
  } else if (tool.listed) {
    const TagParts parts = SplitTag(tag);
    if (!tool.names.Knows(parts.name)) problems.push_back(UnknownTagProblem(parts, tool));
    if (tool.groupsListed) AddUnknownGroups(parts, tool, problems);
  }
  for (int unit = 0; unit < UnitCount(field.text.units); ++unit) {
    const std::u16string entry = convert::PickUnit(field.text.units, unit);
    if (!UnitGivesValue(type, entry))
      problems.push_back("unit " + Quoted(platform::Utf16ToUtf8(entry)) + " gives no value for "
                         "type " + TypeName(type) +
                         " (numbers and dates take \"#\", \"Default\" or no unit; the types "
                         "the module reads are text, numbers and ft_datetime)");
  }
  return problems;
}

int PrintLines(const config::LoadReport& report, const config::Configuration& configuration,
               const ToolFacts& tool, int (*sortOrder)(int field)) {
  int problems = 0;
  for (const config::LineReport& line : report.lines) {
    std::vector<std::string> found = line.notes;
    switch (line.role) {
      case config::LineRole::kHeader:
        continue;
      case config::LineRole::kToolLine:
        std::printf("line %d (tool): %s\n", line.number,
                    Quoted(platform::Utf16ToUtf8(configuration.toolPath)).c_str());
        break;
      case config::LineRole::kTitleLine:
        std::printf("line %d: ignored (a place for column titles)\n", line.number);
        break;
      case config::LineRole::kStored: {
        const config::Field& field = configuration.fields[line.field];
        std::printf("line %d: field %d %s: tag %s, type %s, units %s, sort %s\n",
                    line.number, line.field, Quoted(field.text.displayName).c_str(),
                    Quoted(field.text.RequestTag()).c_str(),
                    TypeName(field.attributes.fieldType).c_str(),
                    field.text.units.empty() ? "none" : Quoted(field.text.units).c_str(),
                    sortOrder(line.field) == -1 ? "descending" : "ascending");
        for (std::string& problem : FieldProblems(field, tool)) found.push_back(problem);
        break;
      }
      case config::LineRole::kSkipped:
        std::printf("line %d: skipped: %s\n", line.number, line.reason.c_str());
        if (!line.intended) found.insert(found.begin(), "this line stores no field");
        break;
      case config::LineRole::kNotRead:
        std::printf("line %d: not read: %s\n", line.number, line.reason.c_str());
        if (!line.intended) found.insert(found.begin(), "this line stores no field");
        break;
    }
    PrintProblems(found);
    if (!found.empty()) ++problems;
  }
  if (report.endedByByte26) {
    PrintProblems({"byte 26 (Ctrl-Z) ends the file: nothing after it is read"});
    ++problems;
  }
  return problems;
}

}  // namespace check
