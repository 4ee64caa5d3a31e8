// Reading Config.txt as the C runtime's text mode reads a file on Windows,
// on every platform, a line at a time with a limit like fgets'.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace config {

// Reads a file as the C runtime's text mode does on Windows, on every
// platform: CR LF becomes LF, a lone CR stays, byte 26 ends the file.
class TextModeReader {
 public:
  explicit TextModeReader(std::FILE* file) : file_(file) {}

  // Skips a UTF-8 byte-order mark at the start of the file (Notepad writes
  // one), and says whether there was one; anything else is read as it
  // stands.
  bool SkipByteOrderMark() {
    static constexpr unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
    for (unsigned char expected : kMark) {
      const int c = std::getc(file_);
      if (c == EOF) break;
      pending_.push_back(static_cast<char>(c));
      if (static_cast<unsigned char>(c) != expected) return false;
    }
    if (pending_.size() != sizeof kMark) return false;
    pending_.clear();
    return true;
  }

  // Like fgets with room for `room` characters: reads up to and including a
  // newline, or `room` characters. False at the end of the file. The line is
  // cut at a zero byte, as a C text would be.
  bool ReadLine(std::size_t room, std::string& line) {
    line.clear();
    bool any = false;
    cut_ = false;
    while (line.size() < room) {
      const int c = Get();
      if (c == EOF) break;
      any = true;
      line.push_back(static_cast<char>(c));
      if (c == '\n') break;
    }
    cut_ = line.size() == room && line.back() != '\n';
    const std::size_t zero = line.find('\0');
    zero_ = zero != std::string::npos;
    if (zero_) line.resize(zero);
    return any;
  }

  // How the last read ended: at the room's limit, the rest of its line
  // left for the next read; with a zero byte in it.
  bool Cut() const { return cut_; }
  bool HadZero() const { return zero_; }
  // True once byte 26 ended the file.
  bool EndedByByte26() const { return endedBy26_; }

 private:
  int Get() {
    if (ended_) return EOF;
    int c = Next();
    if (c == EOF || c == 26) {
      ended_ = true;
      endedBy26_ = c == 26;
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
  bool endedBy26_ = false;
  bool cut_ = false;
  bool zero_ = false;
};

}  // namespace config
