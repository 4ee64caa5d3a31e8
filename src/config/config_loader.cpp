#include "config/config_loader.h"

#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include "config/load_report.h"
#include "config/text_reader.h"
#include "platform/platform.h"
#include "text/text.h"

namespace config {

namespace {

constexpr std::size_t kLineRoom = 2047;      // characters per read, newline included
constexpr std::size_t kToolPathRoom = 259;   // the same for the tool path line
constexpr std::size_t kPrefixListRoom = 999;

bool IsScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A cursor over a zero-terminated line with the conversions of formatted
// scanning. Each returns false, consuming nothing useful, when its item
// cannot be read; values are clamped instead of overflowing.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool Int(std::int32_t& value) {
    std::size_t i = pos_;
    while (i < text_.size() && IsScanSpace(text_[i])) ++i;
    bool negative = false;
    if (i < text_.size() && (text_[i] == '+' || text_[i] == '-'))
      negative = text_[i++] == '-';
    const std::size_t digits = i;
    long long v = 0;
    while (i < text_.size() && text_[i] >= '0' && text_[i] <= '9') {
      if (v <= INT_MAX) v = v * 10 + (text_[i] - '0');
      ++i;
    }
    if (i == digits) return false;
    if (negative) v = -v;
    value = static_cast<std::int32_t>(v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v);
    pos_ = i;
    return true;
  }

  bool Char(char& c) {
    if (pos_ >= text_.size()) return false;
    c = text_[pos_++];
    return true;
  }

  bool Word(std::size_t room, std::string& word) {
    while (pos_ < text_.size() && IsScanSpace(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return false;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && pos_ - start < room && !IsScanSpace(text_[pos_]))
      ++pos_;
    word.assign(text_.substr(start, pos_ - start));
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Decimal conversion as atoi reads it: no digits give 0.
std::int32_t DecimalValue(std::string_view column) {
  std::int32_t value = 0;
  Scanner(column).Int(value);
  return value;
}

// Tool tags and simple-syntax names end before "=", "<" or a space.
std::string CutName(std::string_view name) {
  return std::string(name.substr(0, name.find_first_of("=< ")));
}

void Note(LineReport* out, std::string text) {
  if (out != nullptr) out->notes.push_back(std::move(text));
}

void Skip(LineReport* out, std::string reason, bool intended = false) {
  if (out == nullptr) return;
  out->reason = std::move(reason);
  out->intended = intended;
}

void NoteCutName(std::string_view written, LineReport* out) {
  if (written.find_first_of("=< ") != std::string_view::npos)
    Note(out, "\"" + std::string(written) + "\" is read up to its first \"=\", \"<\" or space: \"" +
                  CutName(written) + "\"");
}

// The separator as a user would name it.
std::string SeparatorName(char separator) {
  if (separator == '\t') return "tab";
  if (separator == ' ') return "space";
  return std::string("\"") + separator + "\"";
}

bool IsBlank(std::string_view content) {
  return content.find_first_not_of(" \t\r\v\f") == std::string_view::npos;
}

bool SimpleLine(const std::string& line, FieldTable& table, LineReport* out) {
  Field field;
  field.attributes = {1, 1, kWideString, 0, 1};
  Scanner scan(line);
  char separator = 0;
  std::string name;
  if (!scan.Int(field.attributes.fieldType))
    Note(out, "no type code at its start: stored as type 11 (ft_stringw)");
  else if (scan.Char(separator))
    scan.Word(line.size(), name);
  NoteCutName(name, out);
  field.text.displayName = CutName(name);
  if (field.text.displayName.empty()) Note(out, "no tag after the type code");
  table.push_back(std::move(field));
  return true;
}

bool FullLine(const std::string& line, char columnSeparator, FieldTable& table,
              LineReport* out) {
  // A line holds one record: its newline (and anything a stray newline
  // would leave after it) is not part of any column.
  const std::string_view content =
      std::string_view(line).substr(0, line.find('\n'));
  std::string_view columns[7];
  std::size_t start = 0;
  for (int column = 0; column < 7; ++column) {
    const std::size_t end = content.find(columnSeparator, start);
    if (end == std::string_view::npos && column < 6) {
      if (IsBlank(content) && content.find(columnSeparator) == std::string_view::npos)
        Skip(out, "blank", true);
      else
        Skip(out, "has " + std::to_string(column + 1) + " of the 7 columns (on, tag, -, type, "
                  "-, sort, name) that the header's separator (" +
                  SeparatorName(columnSeparator) + ") divides a line into");
      return false;
    }
    columns[column] = content.substr(start, end == std::string_view::npos
                                                ? std::string_view::npos
                                                : end - start);
    if (column == 0 && (columns[0].empty() || columns[0][0] != '1')) {
      if (columns[0] == "0")
        Skip(out, "switched off (its first column is 0)", true);
      else
        Skip(out, "its first column \"" + std::string(columns[0]) +
                      "\" does not start with 1 (a line is on only then)");
      return false;
    }
    start = end == std::string_view::npos ? content.size() : end + 1;
  }
  Field field;
  field.text.tagName = CutName(columns[1]);
  if (field.text.tagName->empty()) {
    Skip(out, "no tag in its second column");
    return false;
  }
  NoteCutName(columns[1], out);
  field.attributes.syntaxFlag = 0;
  field.attributes.column2Value = DecimalValue(columns[2]);
  const std::string typeName(columns[3]);
  field.attributes.fieldType = FieldTypeFromName(typeName.c_str());
  if (field.attributes.fieldType == kWideString &&
      !text::EqualsIgnoreAsciiCase(std::string_view(typeName), "ft_stringw"))
    Note(out, "type \"" + typeName + "\" is no type name: read as ft_stringw (text)");
  field.attributes.column4Value = DecimalValue(columns[4]);
  field.attributes.sortOrder = DecimalValue(columns[5]);
  field.text.displayName = std::string(columns[6]);
  field.text.units = std::string(content.substr(std::min(start, content.size())));
  table.push_back(std::move(field));
  return true;
}

// Numbers the lines as the reader reads them, when a report is asked for.
// A read cut at its room's limit leaves the rest of its line to the next
// read, which the reader takes as a line of its own.
class Reporter {
 public:
  Reporter(LoadReport* report, const TextModeReader& reader)
      : report_(report), reader_(reader) {}

  // Records the read just made; null when no report is kept.
  LineReport* Add(LineRole role, std::size_t room) {
    if (report_ == nullptr) return nullptr;
    LineReport line;
    line.role = role;
    line.number = continued_ ? number_ : ++number_;
    if (continued_)
      line.notes.push_back("the rest of line " + std::to_string(number_) +
                           ", past its first characters, read as a line of its own");
    if (reader_.Cut())
      line.notes.push_back("longer than " + std::to_string(room) +
                           " characters: the rest is read as the next line");
    if (reader_.HadZero()) line.notes.push_back("holds a zero byte: read up to it");
    continued_ = reader_.Cut();
    report_->lines.push_back(std::move(line));
    return &report_->lines.back();
  }

  // `line`, just read, and every later line are not read as field lines.
  void Rest(TextModeReader& reader, std::string& line, const std::string& reason) {
    if (report_ == nullptr) return;
    constexpr std::size_t kMostLines = 100000;
    do {
      LineReport* out = Add(LineRole::kNotRead, kLineRoom);
      out->reason = reason;
      out->intended = IsBlank(line.substr(0, line.find('\n')));
    } while (report_->lines.size() < kMostLines && reader.ReadLine(kLineRoom, line));
  }

  void Finish() {
    if (report_ != nullptr) report_->endedByByte26 = reader_.EndedByByte26();
  }

 private:
  LoadReport* report_;
  const TextModeReader& reader_;
  int number_ = 0;
  bool continued_ = false;
};

// Why the header lets no field line be read; empty when it lets them.
std::string HeaderProblem(char syntaxLetter, char columnSeparator, std::int32_t count) {
  if (columnSeparator == '\n' || columnSeparator == '\0')
    return "the header ends before its column separator (it reads COUNT, a space, F or S, "
           "then the separator): no field is read";
  if (count <= 0) return "the header's field count is not above 0: no field is read";
  if (syntaxLetter != 'S' && syntaxLetter != 'F')
    return std::string("the header's syntax letter is \"") + syntaxLetter +
           "\", neither F nor S: no field line is stored";
  return {};
}

// The field lines, until `limit` fields are stored.
void ReadFieldLines(TextModeReader& reader, Reporter& lines, Configuration& configuration,
                    char columnSeparator, std::size_t limit) {
  std::string line;
  while (reader.ReadLine(kLineRoom, line)) {
    if (configuration.fields.size() >= limit) {
      lines.Rest(reader, line, "past the header's count of " + std::to_string(limit) + " fields");
      break;
    }
    LineReport* out = lines.Add(LineRole::kSkipped, kLineRoom);
    bool stored = false;
    if (configuration.syntaxLetter == 'S')
      stored = SimpleLine(line, configuration.fields, out);
    else if (configuration.syntaxLetter == 'F')
      stored = FullLine(line, columnSeparator, configuration.fields, out);
    else
      Skip(out, "the header's syntax letter is neither F nor S");
    if (stored && out != nullptr) {
      out->role = LineRole::kStored;
      out->field = static_cast<int>(configuration.fields.size()) - 1;
    }
  }
}

}  // namespace

std::int32_t FieldTypeFromName(const char* name) {
  static constexpr struct {
    const char* name;
    std::int32_t code;
  } kTypes[] = {
      {"ft_nomorefields", kNoMoreFields}, {"ft_numeric_32", kNumeric32},
      {"ft_numeric_64", kNumeric64},      {"ft_numeric_floating", kNumericFloating},
      {"ft_date", kDate},                 {"ft_time", kTime},
      {"ft_boolean", kBoolean},           {"ft_multiplechoice", kMultipleChoice},
      {"ft_string", kString},             {"ft_fulltext", kFullText},
      {"ft_datetime", kDateTime},         {"ft_comparecontent", kCompareContent},
  };
  for (const auto& type : kTypes)
    if (text::EqualsIgnoreAsciiCase(std::string_view(name), type.name)) return type.code;
  return kWideString;
}

bool ParseSimpleLine(const std::string& line, FieldTable& table) {
  return SimpleLine(line, table, nullptr);
}

bool ParseFullLine(const std::string& line, char columnSeparator, FieldTable& table) {
  return FullLine(line, columnSeparator, table, nullptr);
}

int LoadConfigFrom(Configuration& configuration, std::FILE* file, LoadReport* report) {
  configuration.fields.clear();
  configuration.fields.shrink_to_fit();
  if (report != nullptr) *report = LoadReport{};
  TextModeReader reader(file);
  if (reader.SkipByteOrderMark() && report != nullptr) report->byteOrderMark = true;
  Reporter lines(report, reader);
  std::string line;
  if (reader.ReadLine(kLineRoom, line)) lines.Add(LineRole::kHeader, kLineRoom);

  Scanner header(line);
  std::int32_t declaredFieldCount = 0;
  char ignored = 0, columnSeparator = 0;
  std::string prefixList;
  if (header.Int(declaredFieldCount) && header.Char(ignored) &&
      header.Char(configuration.syntaxLetter) && header.Char(columnSeparator) &&
      header.Int(configuration.filter.invertFlag)) {
    header.Word(kPrefixListRoom, prefixList);
  }
  if (report != nullptr) {
    report->declaredFieldCount = declaredFieldCount;
    report->syntaxLetter = configuration.syntaxLetter;
    report->columnSeparator = columnSeparator;
    report->invertFlag = configuration.filter.invertFlag;
    report->prefixList = prefixList;
    report->headerProblem =
        HeaderProblem(configuration.syntaxLetter, columnSeparator, declaredFieldCount);
  }
  if (columnSeparator == '\n' || columnSeparator == '\0') {
    if (reader.ReadLine(kLineRoom, line)) lines.Rest(reader, line, "the header is incomplete");
    lines.Finish();
    return 0;
  }
  BuildPathFilter(configuration.filter, prefixList);
  if (declaredFieldCount > kMaxFields) declaredFieldCount = kMaxFields;
  if (declaredFieldCount <= 0) {
    if (reader.ReadLine(kLineRoom, line))
      lines.Rest(reader, line, "the header's count is not above 0");
    lines.Finish();
    return 0;
  }

  if (reader.ReadLine(kToolPathRoom, line)) {
    lines.Add(LineRole::kToolLine, kToolPathRoom);
    line.resize(std::min(line.find('\n'), line.size()));
    line.resize(std::min(line.find('\t'), line.size()));
    configuration.toolPath = text::WidenText(line);
  }
  if (reader.ReadLine(kLineRoom, line)) lines.Add(LineRole::kTitleLine, kLineRoom);

  ReadFieldLines(reader, lines, configuration, columnSeparator,
                 static_cast<std::size_t>(declaredFieldCount));
  lines.Finish();
  return static_cast<int>(configuration.fields.size());
}

int LoadConfig(Configuration& configuration, const std::u16string& directory) {
  configuration.fields.clear();
  if (directory.empty()) return 0;
  std::FILE* file = platform::OpenForReading(directory + u"Config.txt");
  if (file == nullptr) return 0;
  const int stored = LoadConfigFrom(configuration, file);
  std::fclose(file);
  return stored;
}

}  // namespace config
