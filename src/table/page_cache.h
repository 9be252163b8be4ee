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
    return i < slots_.size() ? slots_[i].get() : nullptr;
  }
  Node& put(std::uint32_t offset, std::unique_ptr<Node> node) {
    std::size_t i = offset / PageSize;
    if (i >= slots_.size()) slots_.resize(i + 1 + slots_.size() / 2);
    slots_[i] = std::move(node);
    return *slots_[i];
  }
  Node& at(std::uint32_t offset) const {
    Node* node = find(offset);
    if (!node) throw std::logic_error("page not in the cache");
    return *node;
  }
  void erase(std::uint32_t offset) {
    std::size_t i = offset / PageSize;
    if (i < slots_.size()) slots_[i].reset();
  }
  void clear() { slots_.clear(); }

 private:
  std::vector<std::unique_ptr<Node>> slots_;
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
