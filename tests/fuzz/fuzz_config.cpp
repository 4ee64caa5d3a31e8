// Whole Config.txt files through config::LoadConfigFrom, compared with a
// small model of the file format written here independently: text-mode
// reading, line rooms, the header scan, the tool path line and both field
// syntaxes. Any difference, and any broken table invariant, aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_loader.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_config: %s\n", what);
  std::abort();
}

#define CHECK(condition)                              \
  do {                                                \
    if (!(condition)) Fail("check failed: " #condition); \
  } while (0)

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// CR LF becomes LF, a lone CR stays, byte 26 ends the data.
std::string TextMode(const std::uint8_t* data, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (data[i] == 26) break;
    if (c == '\r' && i + 1 < size && data[i + 1] == '\n') {
      out.push_back('\n');
      ++i;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

// fgets over the converted text, each line cut at a zero byte.
class Lines {
 public:
  explicit Lines(const std::string& text) : text_(text) {}
  bool Read(std::size_t room, std::string& line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = pos_;
    while (end < text_.size() && end - pos_ < room) {
      if (text_[end++] == '\n') break;
    }
    line = text_.substr(pos_, end - pos_);
    pos_ = end;
    const std::size_t zero = line.find('\0');
    if (zero != std::string::npos) line.resize(zero);
    return true;
  }

 private:
  const std::string& text_;
  std::size_t pos_ = 0;
};

// "%d": white space, a sign, at least one digit; clamped to 32 bits.
bool ScanInt(std::string_view s, std::size_t& i, std::int32_t& value) {
  std::size_t p = i;
  while (p < s.size() && IsSpace(s[p])) ++p;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  const std::size_t first = p;
  long long v = 0;
  for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) {
    v = v * 10 + (s[p] - '0');
    if (v > 10'000'000'000LL) v = 10'000'000'000LL;
  }
  if (p == first) return false;
  if (negative) v = -v;
  value = static_cast<std::int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
  i = p;
  return true;
}

std::int32_t Atoi(std::string_view s) {
  std::size_t i = 0;
  std::int32_t v = 0;
  ScanInt(s, i, v);
  return v;
}

std::string Cut(std::string_view s) {
  std::size_t end = s.size();
  for (char stop : {'=', '<', ' '}) {
    const std::size_t at = s.find(stop);
    if (at != std::string_view::npos && at < end) end = at;
  }
  return std::string(s.substr(0, end));
}

std::int32_t TypeCode(std::string_view name) {
  static const char* const kNames[] = {
      "ft_nomorefields", "ft_numeric_32", "ft_numeric_64", "ft_numeric_floating",
      "ft_date",         "ft_time",       "ft_boolean",    "ft_multiplechoice",
      "ft_string",       "ft_fulltext",   "ft_datetime"};
  std::string lower(name);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (std::int32_t code = 0; code <= 10; ++code)
    if (lower == kNames[code]) return code;
  if (lower == "ft_comparecontent") return 100;
  return 11;
}

void ModelSimple(const std::string& line, config::FieldTable& table) {
  config::Field field;
  field.attributes = {1, 1, 11, 0, 1};
  std::size_t i = 0;
  std::string name;
  if (ScanInt(line, i, field.attributes.fieldType) && i < line.size()) {
    ++i;  // the separator character, whatever it is
    while (i < line.size() && IsSpace(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    name = line.substr(start, i - start);
  }
  field.text.displayName = Cut(name);
  table.push_back(field);
}

void ModelFull(const std::string& line, char separator, config::FieldTable& table) {
  const std::string content = line.substr(0, line.find('\n'));
  std::vector<std::size_t> seps;
  for (std::size_t i = 0; i < content.size(); ++i)
    if (content[i] == separator) seps.push_back(i);
  if (seps.size() < 6) return;
  std::vector<std::string_view> columns;
  std::size_t start = 0;
  for (int c = 0; c < 7; ++c) {
    const std::size_t end = c < 6 ? seps[c] : (seps.size() > 6 ? seps[6] : content.size());
    columns.push_back(std::string_view(content).substr(start, end - start));
    start = end + 1;
  }
  if (columns[0].empty() || columns[0][0] != '1') return;
  config::Field field;
  field.text.tagName = Cut(columns[1]);
  if (field.text.tagName->empty()) return;
  field.attributes.syntaxFlag = 0;
  field.attributes.column2Value = Atoi(columns[2]);
  field.attributes.fieldType = TypeCode(columns[3]);
  field.attributes.column4Value = Atoi(columns[4]);
  field.attributes.sortOrder = Atoi(columns[5]);
  field.text.displayName = std::string(columns[6]);
  field.text.units = seps.size() > 6 ? content.substr(seps[6] + 1) : std::string();
  table.push_back(field);
}

struct Model {
  int stored = 0;
  std::int32_t declared = 0;  // the header's count, at most 2000
  bool filterBuilt = false;
  std::vector<std::u16string> prefixes;
  std::int32_t invertFlag = 0;
  char syntaxLetter = 0;
  bool toolPathSet = false;
  std::u16string toolPath;
  config::FieldTable fields;
};

std::u16string Widen(std::string_view s) {
  std::u16string out;
  for (char c : s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

Model RunModel(const std::string& text, std::int32_t oldInvert) {
  Model model;
  model.invertFlag = oldInvert;
  Lines lines(text);
  std::string line;
  lines.Read(2047, line);
  std::size_t i = 0;
  std::int32_t declared = 0;
  char syntax = 0, separator = 0;
  std::string prefixList;
  const bool counted = ScanInt(line, i, declared);
  if (counted && i + 2 <= line.size()) model.syntaxLetter = line[i + 1];
  syntax = model.syntaxLetter;
  if (counted && i + 3 <= line.size()) {
    separator = line[i + 2];
    i += 3;
    if (ScanInt(line, i, model.invertFlag)) {
      while (i < line.size() && IsSpace(line[i])) ++i;
      const std::size_t start = i;
      while (i < line.size() && i - start < 999 && !IsSpace(line[i])) ++i;
      prefixList = line.substr(start, i - start);
    }
  }
  if (separator == '\n' || separator == '\0') {
    model.invertFlag = oldInvert;
    return model;
  }
  model.filterBuilt = true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = prefixList.find(';', start);
    std::string piece = prefixList.substr(start, end == std::string::npos ? std::string::npos
                                                                          : end - start);
    for (char& c : piece)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (model.prefixes.size() < 100) model.prefixes.push_back(Widen(piece));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (declared > 2000) declared = 2000;
  model.declared = declared;
  if (declared <= 0) return model;
  if (lines.Read(259, line)) {
    line = line.substr(0, line.find('\n'));
    line = line.substr(0, line.find('\t'));
    model.toolPathSet = true;
    model.toolPath = Widen(line);
  }
  lines.Read(2047, line);
  while (lines.Read(2047, line) && model.fields.size() < static_cast<std::size_t>(declared)) {
    if (syntax == 'S') ModelSimple(line, model.fields);
    else if (syntax == 'F') ModelFull(line, separator, model.fields);
  }
  model.stored = static_cast<int>(model.fields.size());
  return model;
}

bool SameField(const config::Field& a, const config::Field& b) {
  return a.text.tagName == b.text.tagName && a.text.displayName == b.text.displayName &&
         a.text.units == b.text.units &&
         a.attributes.syntaxFlag == b.attributes.syntaxFlag &&
         a.attributes.column2Value == b.attributes.column2Value &&
         a.attributes.fieldType == b.attributes.fieldType &&
         a.attributes.column4Value == b.attributes.column4Value &&
         a.attributes.sortOrder == b.attributes.sortOrder;
}

bool ValidTypeCode(std::int32_t code) { return (code >= 0 && code <= 11) || code == 100; }

// Invariants of any loaded table, whatever the model says.
void CheckTable(const config::Configuration& c, int stored, std::int32_t declaredCap) {
  CHECK(stored >= 0);
  CHECK(static_cast<std::size_t>(stored) == c.fields.size());
  CHECK(stored <= config::kMaxFields);
  CHECK(stored <= (declaredCap > 0 ? declaredCap : 0));
  CHECK(c.filter.prefixes.size() <= config::kMaxPathPrefixes);
  for (const std::u16string& prefix : c.filter.prefixes) {
    CHECK(prefix.size() <= 999);
    for (char16_t u : prefix) {
      CHECK(u < 256);
      CHECK(!(u >= u'a' && u <= u'z'));
      CHECK(u != u';');
      CHECK(!IsSpace(static_cast<char>(u)) && u != 0);
    }
  }
  for (const config::Field& f : c.fields) {
    CHECK(f.text.displayName.find('\0') == std::string::npos);
    CHECK(f.text.units.find('\n') == std::string::npos);
    if (f.text.tagName) {  // full syntax
      const std::string& tag = *f.text.tagName;
      CHECK(!tag.empty());
      CHECK(tag.find_first_of("=< \n") == std::string::npos);
      CHECK(tag.find('\0') == std::string::npos);
      CHECK(f.text.displayName.find('\n') == std::string::npos);
      CHECK(ValidTypeCode(f.attributes.fieldType));
      CHECK(f.attributes.syntaxFlag == 0);
    } else {  // simple syntax
      CHECK(f.text.units.empty());
      CHECK(f.text.displayName.find_first_of("=< \t\n\r\v\f") == std::string::npos);
      CHECK(f.attributes.syntaxFlag == 1 && f.attributes.column2Value == 1 &&
            f.attributes.column4Value == 0 && f.attributes.sortOrder == 1);
    }
  }
}

std::FILE* OpenData(std::vector<std::uint8_t>& copy) {
  if (copy.empty()) return std::tmpfile();
  return fmemopen(copy.data(), copy.size(), "rb");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> copy(data, data + size);
  std::FILE* file = OpenData(copy);
  if (file == nullptr) Fail("cannot open the data as a file");

  // A configuration that holds leftovers of an earlier load.
  config::Configuration configuration;
  configuration.fields.push_back(config::Field{});
  configuration.filter.prefixes = {u"OLD"};
  configuration.filter.invertFlag = 7;
  configuration.toolPath = u"old tool";
  const int stored = config::LoadConfigFrom(configuration, file);
  std::fclose(file);

  const Model model = RunModel(TextMode(data, size), 7);
  CheckTable(configuration, stored, model.declared);
  CHECK(stored == model.stored);
  for (std::size_t i = 0; i < model.fields.size(); ++i)
    CHECK(SameField(configuration.fields[i], model.fields[i]));
  CHECK(configuration.filter.invertFlag == model.invertFlag);
  CHECK(configuration.syntaxLetter == model.syntaxLetter);
  if (model.filterBuilt) CHECK(configuration.filter.prefixes == model.prefixes);
  else CHECK(configuration.filter.prefixes == std::vector<std::u16string>{u"OLD"});
  CHECK(configuration.toolPath == (model.toolPathSet ? model.toolPath : u"old tool"));
  if (model.toolPathSet) {
    CHECK(configuration.toolPath.size() <= 259);
    CHECK(configuration.toolPath.find_first_of(u"\t\n") == std::u16string::npos);
  }

  // Loading the same file again over the first result, with a report of
  // each line, gives the same table; the report names each stored field
  // once, in order, on lines numbered upwards.
  copy.assign(data, data + size);
  file = OpenData(copy);
  if (file == nullptr) Fail("cannot open the data as a file");
  const config::FieldTable first = configuration.fields;
  config::LoadReport report;
  const int again = config::LoadConfigFrom(configuration, file, &report);
  std::fclose(file);
  CHECK(again == stored);
  for (int i = 0; i < stored; ++i) CHECK(SameField(first[i], configuration.fields[i]));
  int nextField = 0, lastNumber = 0;
  for (const config::LineReport& line : report.lines) {
    CHECK(line.number >= lastNumber);
    lastNumber = line.number;
    if (line.role == config::LineRole::kStored) CHECK(line.field == nextField++);
    else CHECK(line.field == -1);
  }
  CHECK(nextField == stored);
  return 0;
}
