#include "convert/readings.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace convert {

namespace {

// A reply text ends at its first zero code unit, as a C text would.
std::u16string_view UpToZero(std::u16string_view text) {
  const std::size_t zero = text.find(u'\0');
  return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

// The white space of the "C" locale. Nothing outside ASCII counts.
bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' ||
         c == u'\r';
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsHexDigit(char16_t c) {
  return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// True when `text` continues at `pos` with the lower-case ASCII `word`, in
// any ASCII case.
bool HasWordAt(std::u16string_view text, std::size_t pos, std::string_view word) {
  if (text.size() - pos < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (AsciiLower(text[pos + i]) != static_cast<char16_t>(word[i])) return false;
  return true;
}

std::size_t SkipSpace(std::u16string_view text, std::size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
}

// One optional sign at `pos`, passed over; true when it is "-".
bool ReadSign(std::u16string_view text, std::size_t& pos) {
  if (pos >= text.size() || (text[pos] != u'-' && text[pos] != u'+')) return false;
  return text[pos++] == u'-';
}

template <typename Int>
std::optional<Int> TextToInteger(std::u16string_view text) {
  text = UpToZero(text);
  std::size_t pos = SkipSpace(text, 0);
  const bool negative = ReadSign(text, pos);
  if (pos >= text.size() || !IsDigit(text[pos])) return std::nullopt;
  using Unsigned = std::make_unsigned_t<Int>;
  // The magnitude of the limit on this side: max, or max + 1 below zero.
  const Unsigned limit = static_cast<Unsigned>(std::numeric_limits<Int>::max()) +
                         (negative ? 1u : 0u);
  Unsigned magnitude = 0;
  bool clamped = false;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    const unsigned digit = static_cast<unsigned>(text[pos] - u'0');
    if (clamped || magnitude > (limit - digit) / 10u) {
      clamped = true;  // keep reading digits; the value stays at the limit
      continue;
    }
    magnitude = magnitude * 10u + digit;
  }
  if (clamped) magnitude = limit;
  if (!negative) return static_cast<Int>(magnitude);
  // Negate in unsigned arithmetic so that the minimum needs no overflow.
  return magnitude == 0 ? Int{0}
                        : static_cast<Int>(-static_cast<Int>(magnitude - 1u) - 1);
}

// Adds to a decimal exponent without overflowing: far beyond any double's
// range the exact value no longer matters.
void AccumulateExponent(long long& exponent, unsigned digit) {
  constexpr long long kCeiling = 1'000'000'000'000LL;
  if (exponent < kCeiling) exponent = exponent * 10 + static_cast<long long>(digit);
}

// The part of a number text that the C library's strtod would take, after
// white space and sign.
struct NumberForm {
  enum Kind { kNone, kDecimal, kHex, kInfinity, kNan } kind = kNone;
  std::size_t begin = 0, end = 0;  // digits and exponent, without "0x"
  // Rough position of the leading significant digit: the value's magnitude
  // is at least 1 when it is zero or more. Only consulted when the value is
  // out of range, to tell overflow from underflow.
  long long order = 0;
};

// Reads digits [0-9] or hex digits from `pos`; counts the significant ones
// before the point, or the zeros after the point before the first non-zero.
std::size_t ScanSignificand(std::u16string_view text, std::size_t pos, bool hex,
                            std::size_t* integerDigits, std::size_t* fractionZeros,
                            bool* anyDigit, bool* nonZero) {
  const auto isDigit = hex ? IsHexDigit : IsDigit;
  for (; pos < text.size() && isDigit(text[pos]); ++pos) {
    *anyDigit = true;
    if (text[pos] != u'0') *nonZero = true;
    if (*nonZero) ++*integerDigits;
  }
  if (pos < text.size() && text[pos] == u'.') {
    ++pos;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
      *anyDigit = true;
      if (!*nonZero && text[pos] == u'0') ++*fractionZeros;
      if (text[pos] != u'0') *nonZero = true;
    }
  }
  return pos;
}

NumberForm ScanNumber(std::u16string_view text, std::size_t pos) {
  NumberForm form;
  if (HasWordAt(text, pos, "inf")) {
    form.kind = NumberForm::kInfinity;
    return form;
  }
  if (HasWordAt(text, pos, "nan")) {
    form.kind = NumberForm::kNan;
    return form;
  }
  const bool hex = pos + 1 < text.size() && text[pos] == u'0' &&
                   AsciiLower(text[pos + 1]) == u'x';
  if (hex) {
    // "0x" counts only when a hex digit follows, before or after a point;
    // otherwise the text is the decimal number 0.
    std::size_t p = pos + 2;
    if (p < text.size() && text[p] == u'.') ++p;
    if (p >= text.size() || !IsHexDigit(text[p])) {
      form.kind = NumberForm::kDecimal;
      form.begin = pos;
      form.end = pos + 1;
      return form;
    }
    pos += 2;
  }
  std::size_t integerDigits = 0, fractionZeros = 0;
  bool anyDigit = false, nonZero = false;
  const std::size_t begin = pos;
  pos = ScanSignificand(text, pos, hex, &integerDigits, &fractionZeros, &anyDigit,
                        &nonZero);
  if (!anyDigit) return form;

  // An exponent counts only when at least one digit follows its sign.
  long long exponent = 0;
  const char16_t mark = hex ? u'p' : u'e';
  if (pos < text.size() && AsciiLower(text[pos]) == mark) {
    std::size_t p = pos + 1;
    bool negative = false;
    if (p < text.size() && (text[p] == u'+' || text[p] == u'-')) {
      negative = text[p] == u'-';
      ++p;
    }
    if (p < text.size() && IsDigit(text[p])) {
      for (; p < text.size() && IsDigit(text[p]); ++p)
        AccumulateExponent(exponent, static_cast<unsigned>(text[p] - u'0'));
      if (negative) exponent = -exponent;
      pos = p;
    }
  }
  const long long digitBits = hex ? 4 : 1;
  const long long leading =
      integerDigits > 0 ? static_cast<long long>(integerDigits) - 1
                        : -static_cast<long long>(fractionZeros) - 1;
  form.kind = hex ? NumberForm::kHex : NumberForm::kDecimal;
  form.begin = begin;
  form.end = pos;
  form.order = leading * digitBits + exponent;
  return form;
}

// ------------------------------------------------------------- date and time

// One unsigned 16-bit number as formatted input reads it: white space, an
// optional sign, decimal digits. A number that does not fit in 16 bits (a
// negative one included) becomes 65535, which no date field accepts.
bool ScanField(std::u16string_view text, std::size_t* pos, std::uint16_t* field) {
  std::size_t p = SkipSpace(text, *pos);
  bool negative = false;
  if (p < text.size() && (text[p] == u'+' || text[p] == u'-')) {
    negative = text[p] == u'-';
    ++p;
  }
  if (p >= text.size() || !IsDigit(text[p])) return false;
  std::uint32_t value = 0;
  for (; p < text.size() && IsDigit(text[p]); ++p) {
    value = value * 10u + static_cast<std::uint32_t>(text[p] - u'0');
    if (value > 0xFFFFu) value = 0x10000u;  // stays out of range
  }
  if (negative && value != 0) value = 0x10000u;
  *field = value > 0xFFFFu ? std::uint16_t{0xFFFF} : static_cast<std::uint16_t>(value);
  *pos = p;
  return true;
}

bool ScanColon(std::u16string_view text, std::size_t* pos) {
  if (*pos >= text.size() || text[*pos] != u':') return false;
  ++*pos;
  return true;
}

struct DateTimeFields {
  platform::CalendarTime time;
  char16_t zone = 0;
  std::uint16_t zoneHours = 0, zoneMinutes = 0;
};

// "%hu:%hu:%hu %hu:%hu:%hu%c%hu:%hu": the first mismatch ends the scan and
// leaves the later fields at zero. The zone character is the code unit right
// after the seconds, white space included.
void ScanDateTime(std::u16string_view text, DateTimeFields* fields) {
  platform::CalendarTime& time = fields->time;
  std::size_t pos = 0;
  if (!ScanField(text, &pos, &time.year) || !ScanColon(text, &pos)) return;
  if (!ScanField(text, &pos, &time.month) || !ScanColon(text, &pos)) return;
  if (!ScanField(text, &pos, &time.day)) return;
  pos = SkipSpace(text, pos);
  if (!ScanField(text, &pos, &time.hour) || !ScanColon(text, &pos)) return;
  if (!ScanField(text, &pos, &time.minute) || !ScanColon(text, &pos)) return;
  if (!ScanField(text, &pos, &time.second)) return;
  // Sub-seconds (".25") are passed over so that the zone after them is read;
  // the time keeps whole seconds.
  if (pos + 1 < text.size() && text[pos] == u'.' && IsDigit(text[pos + 1])) {
    ++pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
  }
  if (pos >= text.size()) return;
  fields->zone = text[pos++];
  if (!ScanField(text, &pos, &fields->zoneHours) || !ScanColon(text, &pos)) return;
  ScanField(text, &pos, &fields->zoneMinutes);
}

}  // namespace

std::optional<std::int32_t> TextToInt32(std::u16string_view text) {
  return TextToInteger<std::int32_t>(text);
}

std::optional<std::int64_t> TextToInt64(std::u16string_view text) {
  return TextToInteger<std::int64_t>(text);
}

std::optional<double> TextToDouble(std::u16string_view text) {
  text = UpToZero(text);
  std::size_t pos = SkipSpace(text, 0);
  const bool negative = ReadSign(text, pos);
  const NumberForm form = ScanNumber(text, pos);
  double value = 0.0;
  switch (form.kind) {
    case NumberForm::kNone:
      return std::nullopt;
    case NumberForm::kInfinity:
      value = std::numeric_limits<double>::infinity();
      break;
    case NumberForm::kNan:
      value = std::numeric_limits<double>::quiet_NaN();
      break;
    case NumberForm::kDecimal:
    case NumberForm::kHex: {
      // The scanned form is plain ASCII, so it narrows unit by unit; its
      // length is that of the number, however long the reply.
      std::string narrow(form.end - form.begin, '\0');
      for (std::size_t i = 0; i < narrow.size(); ++i)
        narrow[i] = static_cast<char>(text[form.begin + i]);
      // from_chars never consults the locale.
      const auto format = form.kind == NumberForm::kHex ? std::chars_format::hex
                                                        : std::chars_format::general;
      const auto result =
          std::from_chars(narrow.data(), narrow.data() + narrow.size(), value, format);
      if (result.ec == std::errc::result_out_of_range)
        value = form.order >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
      else if (result.ec != std::errc())
        value = 0.0;
      break;
    }
  }
  return negative ? -value : value;
}

std::optional<std::uint64_t> ParseToolDateTime(std::u16string_view text) {
  DateTimeFields fields;
  ScanDateTime(UpToZero(text), &fields);
  const platform::CalendarTime& time = fields.time;

  std::uint64_t fileTime = 0;
  if (fields.zone != 0) {
    // UTC = local + bias. "+hh:mm" is ahead of UTC; "-", "Z" and any other
    // character count as behind it ("Z" has no digits, so its bias is 0).
    int bias = fields.zoneHours * 60 + fields.zoneMinutes;
    if (fields.zone == u'+') bias = -bias;
    if (!platform::BiasedTimeToFileTime(time, bias, &fileTime)) return std::nullopt;
  } else if (!platform::LocalTimeToFileTime(time, &fileTime)) {
    return std::nullopt;
  }
  return fileTime;
}

}  // namespace convert
