#include "plugin/urgent_queue.h"

#include "plugin/walk.h"

namespace plugin {

void UrgentQueue::Push(const std::u16string& name) {
  Drop(name);
  if (names_.size() >= limit_) {
    if (names_.empty()) return;
    at_.erase(names_.back());
    names_.pop_back();
  }
  names_.push_front(name);
  at_.emplace(name, names_.begin());
}

void UrgentQueue::Drop(const std::u16string& name) {
  const auto at = at_.find(name);
  if (at == at_.end()) return;
  names_.erase(at->second);
  at_.erase(at);
}

std::u16string UrgentQueue::Pop() {
  std::u16string name = std::move(names_.front());
  names_.pop_front();
  at_.erase(name);
  return name;
}

void UrgentQueue::KeepIn(std::u16string_view folder) {
  for (auto at = names_.begin(); at != names_.end();) {
    if (folder.empty() || FolderOf(*at) != folder) {
      at_.erase(*at);
      at = names_.erase(at);
    } else {
      ++at;
    }
  }
}

}  // namespace plugin
