// The files that delay-if-slow calls named: the rows a host shows now, to
// be read before anything else, the latest first.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace plugin {

// Newest first, at most `limit` names, each once; finding a name costs the
// same however many are queued. Not guarded: its owner's lock is.
class UrgentQueue {
 public:
  explicit UrgentQueue(std::size_t limit) : limit_(limit) {}

  // Puts `name` first; the oldest gives way when the queue is full.
  void Push(const std::u16string& name);
  void Drop(const std::u16string& name);
  // The newest name, taken out; the queue must not be empty.
  std::u16string Pop();
  // Keeps only the names in `folder` (a full path ending with its
  // separator); an empty `folder` keeps none.
  void KeepIn(std::u16string_view folder);
  bool Empty() const { return names_.empty(); }
  std::size_t Size() const { return names_.size(); }

 private:
  const std::size_t limit_;
  std::list<std::u16string> names_;
  std::unordered_map<std::u16string, std::list<std::u16string>::iterator> at_;
};

}  // namespace plugin
