#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "table/page_file.h"

namespace zandor {

// Decoded pages of one index tree, found by their offset in one step.
template <class Node, std::size_t PageSize>
class PageCache {
 public:
  Node* find(std::uint32_t offset) const {
    std::size_t i = offset / PageSize;
    return i < slots_.size() ? slots_[i].node.get() : nullptr;
  }
  // As find, for a search that reads the page's keys next: asks for the node and for the
  // keys where the last search found them, both at once, so that the two memory round
  // trips overlap instead of following one another. The remembered place may be stale
  // (prefetching never faults); it is renewed by remember().
  Node* findForSearch(std::uint32_t offset) const {
    std::size_t i = offset / PageSize;
    if (i >= slots_.size()) return nullptr;
    const Slot& slot = slots_[i];
    __builtin_prefetch(slot.node.get());
    for (std::uint32_t at = 0; at < slot.keyBytes; at += 64) __builtin_prefetch(slot.keys + at);
    for (std::uint32_t at = 0; at < slot.childBytes; at += 64) {
      __builtin_prefetch(slot.children + at);
    }
    return slot.node.get();
  }
  void remember(std::uint32_t offset, const char* keys, std::size_t keyBytes, const char* children,
                std::size_t childBytes) {
    Slot& slot = slots_[offset / PageSize];
    slot.keys = keys;
    slot.children = children;
    slot.keyBytes = static_cast<std::uint32_t>(std::min<std::size_t>(keyBytes, PageSize * 4));
    slot.childBytes = static_cast<std::uint32_t>(std::min<std::size_t>(childBytes, PageSize));
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
  // the set is empty afterwards.
  std::vector<std::uint32_t> take() {
    std::vector<std::uint32_t> out;
    out.reserve(count_);
    for (std::uint32_t offset : list_) {
      std::size_t i = offset / PageSize;
      if (!flags_[i]) continue;
      flags_[i] = false;
      out.push_back(offset);
    }
    list_.clear();
    count_ = 0;
    std::sort(out.begin(), out.end(), std::greater<>());
    return out;
  }
  void clear() { take(); }

 private:
  std::vector<bool> flags_;
  std::vector<std::uint32_t> list_;
  std::size_t count_ = 0;
};

// Encodes every changed page of a tree into the batch (highest offset first) and forgets
// that they were changed.
template <class Node, std::size_t PageSize, class Encode>
void flushChangedPages(const PageCache<Node, PageSize>& nodes, DirtyPages<PageSize>& dirty,
                       PageBatch& batch, Encode encode) {
  for (std::uint32_t offset : dirty.take()) {
    const Node& node = nodes.at(offset);
    encode(node, batch.add(node.offset, PageSize));
  }
}

}  // namespace zandor
