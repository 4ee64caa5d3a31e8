// What each way gives for a value, in the form a host receives it, and the
// comparison of the four ways value by value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bench_config.h"

namespace bench {

// The size of a host's value buffer, in bytes, as a file manager passes it.
inline constexpr int kHostBufferBytes = 2049;

// One value as the host receives it: the result code, and the bytes the
// code says the buffer holds (a zero-terminated UTF-16 text, a 32- or
// 64-bit number, a file time; nothing for the other codes).
struct Value {
  int code = 0;
  std::string bytes;
  bool operator==(const Value& o) const { return code == o.code && bytes == o.bytes; }
  bool operator!=(const Value& o) const { return !(*this == o); }
};

// What a raw loop read for a field, as the module reads a reply: whether
// the tool was asked at all, and the text (none for an empty reply or a
// tag the file does not have).
struct Reading {
  bool asked = false;
  std::optional<std::u16string> text;
};

// What a way gave for every field of every file in its kept round, at
// file * fields + field: delivered values from a module, readings from a
// raw loop.
struct Kept {
  std::vector<Value> values;
  std::vector<Reading> readings;
};

// What the module makes of a one-tag reply: its line end dropped, an empty
// reply no value.
Reading OneTagReading(std::u16string reply);

// The value in a host buffer of kHostBufferBytes after result `code`.
Value FromBuffer(int code, const unsigned char* buffer);
// What the module delivers for `reading`: no value when nothing was asked,
// the empty-reply code for no text, otherwise the text read as the field's
// type and unit entry 0 ask (the module's own delivery code).
Value Deliver(const FieldInfo& field, const Reading& reading);
// A value as a person reads it, for reports.
std::string Show(const Value& value);

struct Comparison {
  std::size_t compared = 0;     // (file, field) pairs
  std::size_t allEqual = 0;     // the four ways gave the same code and bytes
  std::size_t sameText = 0;     // the two raw loops read the same text
  std::size_t agreeing = 0;     // the tool's text, read here, is the value delivered
  std::size_t kinds[4] = {};    // text, numbers, date-times, empty or none
  std::vector<std::string> differences;  // the first few, described
};

// Compares the kept rounds of the four ways, in the order unbatched
// module, batched module, raw one-tag loop, raw all-tags loop.
Comparison CompareWays(const std::vector<Photo>& photos, const BenchConfig& config,
                       const std::vector<const Kept*>& kept,
                       const std::vector<std::string>& names);

}  // namespace bench
