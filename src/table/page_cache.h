#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "table/page_file.h"
#include "table/prefetch.h"

namespace zandor {

// Decoded pages of one index tree, found by their offset in one step.
template <class Node, std::size_t PageSize>
class PageCache {
 public:
  Node* find(std::uint32_t offset) const {
    std::size_t i = offset / PageSize;
    return i < slots_.size() ? slots_[i].node.get() : nullptr;
  }
  // As find, for a search that reads the page's keys next: asks for the node and for its
  // keys and child pointers where the last search found them, all at once, so that these
  // memory round trips overlap instead of following one another (prefetching a stale place
  // never faults). Pages not cached yet come from load(offset).
  template <class Load>
  Node& findForSearch(std::uint32_t offset, Load load) {
    std::size_t i = offset / PageSize;
    Node* node = nullptr;
    if (i < slots_.size()) {
      const Slot& slot = slots_[i];
      node = slot.node.get();
      __builtin_prefetch(node);
      prefetchBytes(slot.keys, slot.keyBytes);
      prefetchBytes(slot.children, slot.childBytes);
    }
    if (!node) node = &load(offset);
    // Where the keys moved or changed size, ask for them now and remember the new place.
    Slot& slot = slots_[offset / PageSize];
    const char* keys = node->keys.data();
    const auto keyBytes =
        static_cast<std::uint32_t>(std::min<std::size_t>(node->keys.size(), kMaxHint));
    const auto* children = reinterpret_cast<const char*>(node->children.data());
    const auto childBytes = static_cast<std::uint32_t>(
        std::min<std::size_t>(node->children.size() * sizeof(node->children[0]), kMaxHint));
    if (slot.keys != keys || slot.keyBytes != keyBytes || slot.children != children ||
        slot.childBytes != childBytes) {
      prefetchBytes(keys, keyBytes);
      prefetchBytes(children, childBytes);
      slot.keys = keys;
      slot.keyBytes = keyBytes;
      slot.children = children;
      slot.childBytes = childBytes;
    }
    return *node;
  }
  Node& put(std::uint32_t offset, std::unique_ptr<Node> node) {
    std::size_t i = offset / PageSize;
    if (i >= slots_.size()) slots_.resize(i + 1 + slots_.size() / 2);
    slots_[i] = Slot{std::move(node), nullptr, nullptr, 0, 0};
    return *slots_[i].node;
  }
  Node& at(std::uint32_t offset) const {
    Node* node = find(offset);
    if (!node) throw std::logic_error("page not in the cache");
    return *node;
  }
  void erase(std::uint32_t offset) {
    std::size_t i = offset / PageSize;
    if (i < slots_.size()) slots_[i] = Slot{};
  }
  void clear() { slots_.clear(); }

 private:
  static constexpr std::size_t kMaxHint = PageSize * 4;

  struct Slot {
    std::unique_ptr<Node> node;
    const char* keys = nullptr;
    const char* children = nullptr;
    std::uint32_t keyBytes = 0;
    std::uint32_t childBytes = 0;
  };
  std::vector<Slot> slots_;
};

// The pages changed since the last write, each listed once.
template <std::size_t PageSize>
class DirtyPages {
 public:
  void insert(std::uint32_t offset) {
    std::size_t i = offset / PageSize;
    if (i >= flags_.size()) flags_.resize(i + 1 + flags_.size() / 2, false);
    if (flags_[i]) return;
    flags_[i] = true;
    list_.push_back(offset);
    ++count_;
  }
  void erase(std::uint32_t offset) {
    std::size_t i = offset / PageSize;
    if (i < flags_.size() && flags_[i]) {
      flags_[i] = false;
      --count_;
    }
  }
  bool empty() const { return count_ == 0; }
  // The changed pages, highest offset first (new pages at the end of the file go first);
  // the set is empty afterwards. The list stays valid until the next call.
  const std::vector<std::uint32_t>& take() {
    taken_.clear();
    for (std::uint32_t offset : list_) {
      std::size_t i = offset / PageSize;
      if (!flags_[i]) continue;
      flags_[i] = false;
      taken_.push_back(offset);
    }
    list_.clear();
    count_ = 0;
    std::sort(taken_.begin(), taken_.end(), std::greater<>());
    return taken_;
  }
  void clear() { take(); }

 private:
  std::vector<bool> flags_;
  std::vector<std::uint32_t> list_;
  std::vector<std::uint32_t> taken_;  // kept, so that a commit allocates nothing here
  std::size_t count_ = 0;
};

// Puts every changed page of a tree into the batch (highest offset first), encoded by
// encode(node, batch), and forgets that they were changed.
template <class Node, std::size_t PageSize, class Encode>
void flushChangedPages(const PageCache<Node, PageSize>& nodes, DirtyPages<PageSize>& dirty,
                       PageBatch& batch, Encode encode) {
  for (std::uint32_t offset : dirty.take()) encode(nodes.at(offset), batch);
}

}  // namespace zandor
