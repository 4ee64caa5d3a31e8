// How the host walks through a folder: the folder's files in its listing
// order and in name order, and the files to read next while the host
// follows one of the two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace plugin {

// True when the detect string names the extension of the file name `name`
// (in any case).
bool DetectedFile(std::u16string_view name);

// The folder part of a full file name, up to and with its last separator;
// empty when there is none.
std::u16string_view FolderOf(std::u16string_view name);

enum class WalkOrder { kNone, kListing, kName };

// The files of one folder that the host may ask for.
struct FolderOrder {
  std::vector<std::u16string> names;      // in the order the system lists them
  std::vector<std::uint32_t> byName;      // listing indices, in name order
  std::vector<std::uint32_t> nameRank;    // each listing index's place in byName
  std::unordered_map<std::u16string, std::uint32_t> index;  // name to listing index
  std::vector<std::u16string> folders;    // its sub-folders, in listing order
  bool listedByName = false;              // the system lists the files in name order

  // True when a walk in `order` is a walk in listing order.
  bool Listing(WalkOrder order) const;

  // The listing index of `name`; -1 when it is not one of the files.
  std::int64_t Find(const std::u16string& name) const;
};

// The files of `listed` (names as the system lists them) that the detect
// string names, ordered both ways. Name order ignores ASCII case, as file
// managers sort.
FolderOrder MakeFolderOrder(std::vector<std::u16string> listed);

// A folder a walk went through, and its files and sub-folders once listed.
struct TreeStep {
  std::u16string folder;  // a full path ending with its separator
  std::shared_ptr<const FolderOrder> order;
};
// The most folders a walk down a tree keeps, outermost first.
inline constexpr std::size_t kMaxTreeDepth = 64;

// The host turns to `folder`: `path` keeps the folders above it that it
// went through, and ends with `folder`. True when one of them held it (a
// sub-folder, or the next of one folder's sub-folders).
bool EnterFolder(std::vector<TreeStep>& path, const std::u16string& folder);

// The folder after the last of `path` in a depth-first walk that takes
// each folder's files before its sub-folders, all in listing order: its
// first sub-folder, else the sub-folder after the one it lies in, the
// nearest one up. Empty when the listings known do not tell.
std::u16string NextFolder(const std::vector<TreeStep>& path);

// What is known of the host's walk through one folder.
// A walk carried on into another folder has `order` set and `last` -1: its
// first file continues it.
struct Walk {
  std::int64_t last = -1;     // listing index of the file asked last
  WalkOrder order = WalkOrder::kNone;
  std::size_t followed = 0;   // files asked in a row in `order`
  std::size_t queuedTo = 0;   // places in `order` before this are queued
};

// A file is taken as the next one in an order when at most this many
// files lie between it and the one asked before.
inline constexpr std::size_t kWalkSkip = 2;

struct WalkStep {
  bool restart = false;              // the walk broke off or changed order
  std::vector<std::uint32_t> next;   // listing indices to read, nearest first
};

// The host asked the file at listing index `at`. While the host follows an
// order, the files ahead of it in that order are read: as many as it has
// followed in a row, at most `window`, each once.
WalkStep Follow(Walk& walk, const FolderOrder& order, std::uint32_t at, std::size_t window);

}  // namespace plugin
