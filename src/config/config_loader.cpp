#include "config/config_loader.h"

#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "text/text.h"

namespace config {

namespace {

constexpr std::size_t kLineRoom = 2047;      // characters per read, newline included
constexpr std::size_t kToolPathRoom = 259;   // the same for the tool path line
constexpr std::size_t kPrefixListRoom = 999;

// Reads a file as the C runtime's text mode does on Windows, on every
// platform: CR LF becomes LF, a lone CR stays, byte 26 ends the file.
class TextModeReader {
 public:
  explicit TextModeReader(std::FILE* file) : file_(file) {}

  // Skips a UTF-8 byte-order mark at the start of the file (Notepad writes
  // one); anything else is read as it stands.
  void SkipByteOrderMark() {
    static constexpr unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
    for (unsigned char expected : kMark) {
      const int c = std::getc(file_);
      if (c == EOF) break;
      pending_.push_back(static_cast<char>(c));
      if (static_cast<unsigned char>(c) != expected) return;
    }
    if (pending_.size() == sizeof kMark) pending_.clear();
  }

  // Like fgets with room for `room` characters: reads up to and including a
  // newline, or `room` characters. False at the end of the file. The line is
  // cut at a zero byte, as a C text would be.
  bool ReadLine(std::size_t room, std::string& line) {
    line.clear();
    bool any = false;
    while (line.size() < room) {
      const int c = Get();
      if (c == EOF) break;
      any = true;
      line.push_back(static_cast<char>(c));
      if (c == '\n') break;
    }
    const std::size_t zero = line.find('\0');
    if (zero != std::string::npos) line.resize(zero);
    return any;
  }

 private:
  int Get() {
    if (ended_) return EOF;
    int c = Next();
    if (c == EOF || c == 26) {
      ended_ = true;
      return EOF;
    }
    if (c == '\r') {
      const int next = Next();
      if (next == '\n') return '\n';
      if (next != EOF) pending_.insert(pending_.begin(), static_cast<char>(next));
    }
    return c;
  }

  int Next() {
    if (pending_.empty()) return std::getc(file_);
    const unsigned char c = static_cast<unsigned char>(pending_.front());
    pending_.erase(pending_.begin());
    return c;
  }

  std::FILE* file_;
  std::string pending_;  // bytes read ahead, read again first
  bool ended_ = false;
};

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
  Field field;
  field.attributes = {1, 1, kWideString, 0, 1};
  Scanner scan(line);
  char separator = 0;
  std::string name;
  if (scan.Int(field.attributes.fieldType) && scan.Char(separator))
    scan.Word(line.size(), name);
  field.text.displayName = CutName(name);
  table.push_back(std::move(field));
  return true;
}

bool ParseFullLine(const std::string& line, char columnSeparator, FieldTable& table) {
  // A line holds one record: its newline (and anything a stray newline
  // would leave after it) is not part of any column.
  const std::string_view content =
      std::string_view(line).substr(0, line.find('\n'));
  std::string_view columns[7];
  std::size_t start = 0;
  for (int column = 0; column < 7; ++column) {
    const std::size_t end = content.find(columnSeparator, start);
    if (end == std::string_view::npos && column < 6) return false;
    columns[column] = content.substr(start, end == std::string_view::npos
                                                ? std::string_view::npos
                                                : end - start);
    if (column == 0 && (columns[0].empty() || columns[0][0] != '1')) return false;
    start = end == std::string_view::npos ? content.size() : end + 1;
  }
  Field field;
  field.text.tagName = CutName(columns[1]);
  if (field.text.tagName->empty()) return false;
  field.attributes.syntaxFlag = 0;
  field.attributes.column2Value = DecimalValue(columns[2]);
  field.attributes.fieldType = FieldTypeFromName(std::string(columns[3]).c_str());
  field.attributes.column4Value = DecimalValue(columns[4]);
  field.attributes.sortOrder = DecimalValue(columns[5]);
  field.text.displayName = std::string(columns[6]);
  field.text.units = std::string(content.substr(std::min(start, content.size())));
  table.push_back(std::move(field));
  return true;
}

int LoadConfigFrom(Configuration& configuration, std::FILE* file) {
  configuration.fields.clear();
  configuration.fields.shrink_to_fit();
  TextModeReader reader(file);
  reader.SkipByteOrderMark();
  std::string line;
  reader.ReadLine(kLineRoom, line);

  Scanner header(line);
  std::int32_t declaredFieldCount = 0;
  char ignored = 0, columnSeparator = 0;
  std::string prefixList;
  if (header.Int(declaredFieldCount) && header.Char(ignored) &&
      header.Char(configuration.syntaxLetter) && header.Char(columnSeparator) &&
      header.Int(configuration.filter.invertFlag)) {
    header.Word(kPrefixListRoom, prefixList);
  }
  if (columnSeparator == '\n' || columnSeparator == '\0') return 0;
  BuildPathFilter(configuration.filter, prefixList);
  if (declaredFieldCount > kMaxFields) declaredFieldCount = kMaxFields;
  if (declaredFieldCount <= 0) return 0;

  if (reader.ReadLine(kToolPathRoom, line)) {
    line.resize(std::min(line.find('\n'), line.size()));
    line.resize(std::min(line.find('\t'), line.size()));
    configuration.toolPath = text::WidenText(line);
  }
  reader.ReadLine(kLineRoom, line);

  const std::size_t limit = static_cast<std::size_t>(declaredFieldCount);
  while (reader.ReadLine(kLineRoom, line) && configuration.fields.size() < limit) {
    if (configuration.syntaxLetter == 'S')
      ParseSimpleLine(line, configuration.fields);
    else if (configuration.syntaxLetter == 'F')
      ParseFullLine(line, columnSeparator, configuration.fields);
  }
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
