#include "plugin/walk.h"

#include <algorithm>
#include <numeric>

#include "platform/platform.h"
#include "plugin/detect_string.h"
#include "text/text.h"

namespace plugin {

bool DetectedFile(std::u16string_view name) {
  const std::size_t dot = name.find_last_of(u".\\/");
  if (dot == std::u16string_view::npos || name[dot] != u'.') return false;
  const std::u16string_view extension = name.substr(dot + 1);
  if (extension.empty() || extension.size() > 8) return false;
  std::string pattern = "EXT=\"";
  for (char16_t c : extension) {
    if (c > 0x7f || c == u'"') return false;
    pattern += text::AsciiUpper(static_cast<char>(c));
  }
  pattern += '"';
  return std::string_view(kDetectString).find(pattern) != std::string_view::npos;
}

std::u16string_view FolderOf(std::u16string_view name) {
  const std::size_t cut = name.find_last_of(platform::kPathSeparators);
  return cut == std::u16string_view::npos ? std::u16string_view() : name.substr(0, cut + 1);
}

bool FolderOrder::Listing(WalkOrder order) const {
  return order == WalkOrder::kListing || (order == WalkOrder::kName && listedByName);
}

std::int64_t FolderOrder::Find(const std::u16string& name) const {
  const auto found = index.find(name);
  return found == index.end() ? -1 : static_cast<std::int64_t>(found->second);
}

namespace {

bool NameBefore(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = text::AsciiUpper(a[i]), y = text::AsciiUpper(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // names that differ in case only, in a stable order
}

}  // namespace

FolderOrder MakeFolderOrder(std::vector<std::u16string> listed) {
  FolderOrder order;
  for (std::u16string& name : listed)
    if (DetectedFile(name)) order.names.push_back(std::move(name));
  const std::size_t count = order.names.size();
  order.byName.resize(count);
  std::iota(order.byName.begin(), order.byName.end(), 0u);
  std::sort(order.byName.begin(), order.byName.end(), [&](std::uint32_t a, std::uint32_t b) {
    return NameBefore(order.names[a], order.names[b]);
  });
  order.nameRank.resize(count);
  order.listedByName = true;
  for (std::size_t rank = 0; rank < count; ++rank) {
    order.nameRank[order.byName[rank]] = static_cast<std::uint32_t>(rank);
    order.listedByName = order.listedByName && order.byName[rank] == rank;
  }
  order.index.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    order.index.emplace(order.names[i], static_cast<std::uint32_t>(i));
  return order;
}

bool EnterFolder(std::vector<TreeStep>& path, const std::u16string& folder) {
  const std::u16string_view above =
      folder.empty() ? std::u16string_view() : FolderOf(std::u16string_view(folder).substr(0, folder.size() - 1));
  while (!path.empty() && path.back().folder != above) path.pop_back();
  const bool related = !path.empty() && !above.empty();
  if (path.size() >= kMaxTreeDepth) path.clear();
  path.push_back(TreeStep{folder, nullptr});
  return related;
}

std::u16string NextFolder(const std::vector<TreeStep>& path) {
  if (path.empty() || !path.back().order) return {};
  const std::u16string& last = path.back().folder;
  const char16_t separator = last.back();
  if (!path.back().order->folders.empty())
    return last + path.back().order->folders.front() + separator;
  for (std::size_t i = path.size() - 1; i > 0; --i) {
    const TreeStep& up = path[i - 1];
    if (!up.order) return {};
    const std::u16string_view below = std::u16string_view(path[i].folder)
                                          .substr(up.folder.size(), path[i].folder.size() -
                                                                        up.folder.size() - 1);
    const auto& folders = up.order->folders;
    const auto at = std::find(folders.begin(), folders.end(), below);
    if (at == folders.end()) return {};
    if (at + 1 != folders.end()) return up.folder + *(at + 1) + separator;
  }
  return {};
}

namespace {

std::int64_t Place(const FolderOrder& order, WalkOrder walk, std::int64_t at) {
  if (at < 0) return -1;  // before the first: a walk carried on from another folder
  return walk == WalkOrder::kName ? order.nameRank[at] : at;
}

bool Next(const FolderOrder& order, WalkOrder walk, std::int64_t from, std::uint32_t to) {
  const std::int64_t a = Place(order, walk, from), b = Place(order, walk, to);
  return b > a && b - a <= static_cast<std::int64_t>(kWalkSkip) + 1;
}

}  // namespace

WalkStep Follow(Walk& walk, const FolderOrder& order, std::uint32_t at, std::size_t window) {
  WalkStep step;
  if (at >= order.names.size() || walk.last == at) return step;
  if ((walk.last < 0 && walk.order == WalkOrder::kNone) ||
      walk.last >= static_cast<std::int64_t>(order.names.size())) {
    walk.last = at;
    return step;
  }
  const std::int64_t from = walk.last;
  walk.last = at;
  // The order followed so far goes on when it can; a new walk takes name
  // order first, which most hosts show.
  WalkOrder now = WalkOrder::kNone;
  if (walk.order != WalkOrder::kNone && Next(order, walk.order, from, at)) now = walk.order;
  else if (Next(order, WalkOrder::kName, from, at)) now = WalkOrder::kName;
  else if (Next(order, WalkOrder::kListing, from, at)) now = WalkOrder::kListing;
  if (now != walk.order || now == WalkOrder::kNone) {
    step.restart = walk.order != WalkOrder::kNone || walk.followed > 0;
    walk.order = now;
    walk.followed = 0;
    walk.queuedTo = 0;
  }
  if (now == WalkOrder::kNone) return step;
  ++walk.followed;
  const std::size_t place = static_cast<std::size_t>(Place(order, now, at));
  const std::size_t end = std::min(order.names.size(), place + 1 + std::min(walk.followed, window));
  for (std::size_t p = std::max(place + 1, walk.queuedTo); p < end; ++p)
    step.next.push_back(now == WalkOrder::kName ? order.byName[p] : static_cast<std::uint32_t>(p));
  walk.queuedTo = std::max(walk.queuedTo, end);
  return step;
}

}  // namespace plugin
