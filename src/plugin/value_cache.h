// Tag values read for files, kept while a file stays as it was. Bounded in
// files and in bytes; the least recently used file goes first. Safe to use
// from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "tool/requests.h"

namespace plugin {

inline constexpr std::size_t kCacheFiles = 4096;
inline constexpr std::size_t kCacheBytes = std::size_t{16} << 20;

class ValueCache {
 public:
  ValueCache(std::size_t maxFiles = kCacheFiles, std::size_t maxBytes = kCacheBytes)
      : maxFiles_(maxFiles), maxBytes_(maxBytes) {}

  // What is known of `key` for the file `name` as `stamp` describes it:
  // nothing (outer), no such tag (empty inner), or the value. A file whose
  // stamp has changed knows nothing.
  std::optional<std::optional<std::u16string>> Find(const std::u16string& name,
                                                    const platform::FileStamp& stamp,
                                                    const tool::TagKey& key);
  // True when the file, as `stamp` describes it, has had its batch request.
  bool Batched(const std::u16string& name, const platform::FileStamp& stamp);

  // The count of clears so far. A request takes it before it looks at the
  // file, and passes it to what it stores.
  std::uint64_t Generation() const;

  // Keeps what is known of `key`. A file with another stamp starts afresh.
  // Nothing is kept when the cache has been cleared since `generation`:
  // what a request read before a clear may be what the clear was for.
  void Store(const std::u16string& name, const platform::FileStamp& stamp,
             std::uint64_t generation, const tool::TagKey& key,
             std::optional<std::u16string> value);
  // Keeps what a batch request said (keys it left open are not kept), and
  // marks the file as batched; nothing after a clear, as Store.
  void StoreBatch(const std::u16string& name, const platform::FileStamp& stamp,
                  std::uint64_t generation, const std::vector<tool::TagKey>& keys,
                  const std::vector<tool::BatchValue>& values);

  // Forgets everything, and makes void every store by a request that began
  // before.
  void Clear();

  std::size_t Files() const;
  std::size_t Bytes() const;

 private:
  struct Entry {
    std::u16string name;
    platform::FileStamp stamp;
    bool batched = false;
    std::map<tool::TagKey, std::optional<std::u16string>> values;
    std::size_t bytes = 0;
  };
  using Entries = std::list<Entry>;

  // The entry for `name` made current for `stamp`, most recently used.
  Entry& Touch(const std::u16string& name, const platform::FileStamp& stamp);
  void Keep(Entry& entry, const tool::TagKey& key, std::optional<std::u16string> value);
  void Trim();

  const std::size_t maxFiles_, maxBytes_;
  mutable std::mutex mutex_;
  Entries entries_;  // most recently used first
  std::unordered_map<std::u16string, Entries::iterator> index_;
  std::size_t bytes_ = 0;
  std::uint64_t generation_ = 0;
};

}  // namespace plugin
