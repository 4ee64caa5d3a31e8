#include "plugin/value_cache.h"

namespace plugin {

namespace {

// What an entry holds, counted generously: its texts and the bookkeeping
// around them.
constexpr std::size_t kEntryOverhead = 160;
constexpr std::size_t kValueOverhead = 96;

std::size_t ValueBytes(const tool::TagKey& key, const std::optional<std::u16string>& value) {
  return kValueOverhead + key.tag.size() + (value ? value->size() * sizeof(char16_t) : 0);
}

}  // namespace

std::optional<std::optional<std::u16string>> ValueCache::Find(
    const std::u16string& name, const platform::FileStamp& stamp, const tool::TagKey& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = index_.find(name);
  if (found == index_.end() || found->second->stamp != stamp) return std::nullopt;
  const auto value = found->second->values.find(key);
  if (value == found->second->values.end()) return std::nullopt;
  entries_.splice(entries_.begin(), entries_, found->second);
  return value->second;
}

bool ValueCache::Batched(const std::u16string& name, const platform::FileStamp& stamp) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = index_.find(name);
  return found != index_.end() && found->second->stamp == stamp && found->second->batched;
}

ValueCache::Entry& ValueCache::Touch(const std::u16string& name,
                                     const platform::FileStamp& stamp) {
  const auto found = index_.find(name);
  if (found != index_.end()) {
    entries_.splice(entries_.begin(), entries_, found->second);
    Entry& entry = entries_.front();
    if (entry.stamp != stamp) {  // the file changed: what was read is stale
      bytes_ -= entry.bytes;
      entry.values.clear();
      entry.batched = false;
      entry.stamp = stamp;
      entry.bytes = kEntryOverhead + name.size() * sizeof(char16_t);
      bytes_ += entry.bytes;
    }
    return entry;
  }
  entries_.push_front(Entry{name, stamp, false, {}, kEntryOverhead + name.size() * sizeof(char16_t)});
  index_[name] = entries_.begin();
  bytes_ += entries_.front().bytes;
  return entries_.front();
}

void ValueCache::Keep(Entry& entry, const tool::TagKey& key,
                      std::optional<std::u16string> value) {
  const auto old = entry.values.find(key);
  if (old != entry.values.end()) {
    const std::size_t size = ValueBytes(key, old->second);
    entry.bytes -= size;
    bytes_ -= size;
  }
  const std::size_t size = ValueBytes(key, value);
  entry.values[key] = std::move(value);
  entry.bytes += size;
  bytes_ += size;
}

std::uint64_t ValueCache::Generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

void ValueCache::Store(const std::u16string& name, const platform::FileStamp& stamp,
                       std::uint64_t generation, const tool::TagKey& key,
                       std::optional<std::u16string> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (generation != generation_) return;
  Keep(Touch(name, stamp), key, std::move(value));
  Trim();
}

void ValueCache::StoreBatch(const std::u16string& name, const platform::FileStamp& stamp,
                            std::uint64_t generation, const std::vector<tool::TagKey>& keys,
                            const std::vector<tool::BatchValue>& values) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (generation != generation_) return;
  Entry& entry = Touch(name, stamp);
  entry.batched = true;
  for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
    if (values[i]) Keep(entry, keys[i], *values[i]);
  Trim();
}

void ValueCache::Trim() {
  while (!entries_.empty() && (entries_.size() > maxFiles_ || bytes_ > maxBytes_)) {
    bytes_ -= entries_.back().bytes;
    index_.erase(entries_.back().name);
    entries_.pop_back();
  }
}

void ValueCache::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  index_.clear();
  bytes_ = 0;
  ++generation_;
}

std::size_t ValueCache::Files() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::size_t ValueCache::Bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

}  // namespace plugin
