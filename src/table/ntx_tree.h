#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "table/index_order.h"
#include "table/ntx_page.h"
#include "table/page_cache.h"

namespace zandor {
class PageFile;
class PageBatch;
}  // namespace zandor

namespace zandor::ntx {

class PageStore {
 public:
  virtual ~PageStore() = default;
  virtual void readPage(std::uint32_t offset, unsigned char* page) = 0;
  virtual std::uint32_t allocatePage() = 0;
  virtual void releasePage(std::uint32_t offset) = 0;
  // Pages the file holds; no walk through a sound tree enters more.
  virtual std::size_t pageCount() const = 0;
  // The page at offset will be written at the next commit: where it lies in memory, it may
  // be fetched into the cache meanwhile.
  virtual void willWrite(std::uint32_t offset) { (void)offset; }
};

// The B-tree of one NTX order: keys in interior pages are entries of their own. Pages are
// decoded once and kept; changed pages wait in memory for flush().
class NtxTree {
 public:
  NtxTree(PageStore& store, std::uint32_t root, Geometry geometry);

  // A position: the path from the root; the last frame names the current key.
  struct Pos {
    std::vector<std::pair<std::uint32_t, std::size_t>> path;
    std::size_t entered = 0;  // pages entered since positioning; bounds walks of bad files
    bool valid() const { return !path.empty(); }
  };

  const Geometry& geometry() const { return g_; }
  std::uint32_t root() const { return root_; }
  bool rootChanged() const { return rootChanged_; }
  std::uint64_t generation() const { return generation_; }

  Pos first();
  Pos last();
  bool next(Pos& pos);
  bool prev(Pos& pos);
  IndexEntry entry(const Pos& pos);
  Pos seekPrefix(std::string_view prefix, bool strictlyGreater);
  Pos seekEntry(std::string_view key, std::uint32_t recno);

  bool insert(std::string_view key, std::uint32_t recno);
  bool remove(std::string_view key, std::uint32_t recno);
  void startEmpty();

  bool dirty() const { return !dirty_.empty() || rootChanged_; }
  void flush(PageBatch& batch);
  void discard(std::uint32_t committedRoot);

  void check(PageFile& file, std::uint64_t fileSize, bool unique, CheckReport& report,
             std::set<std::uint32_t>& seen) const;

 private:
  struct Promote {
    bool happened = false;
    std::string key;
    std::uint32_t recno = 0;
    std::uint32_t right = 0;
  };

  Node& load(std::uint32_t offset);
  // As load, for a search through the page's keys (see PageCache::findForSearch).
  Node& loadForSearch(std::uint32_t offset);
  Node& newNode(bool leaf);
  void markDirty(const Node& node) {
    dirty_.insert(node.offset);
    store_.willWrite(node.offset);
  }
  void release(Node& node);
  int compareEntry(const Node& node, std::size_t i, std::string_view key,
                   std::uint32_t recno) const;
  std::size_t lowerBound(const Node& node, std::string_view key, std::uint32_t recno) const;
  std::size_t lowerBoundKey(const Node& node, std::string_view key) const;
  Promote insertInto(Node& node, std::string_view key, std::uint32_t recno, int depth,
                     bool& inserted);
  bool removeIn(Node& node, std::string_view key, std::uint32_t recno, int depth, bool ordered);
  void removeAt(Node& node, std::size_t i, int depth);
  IndexEntry removeLast(Node& node, int depth);
  void fixChild(Node& parent, std::size_t i);
  void descend(Pos& pos, std::uint32_t offset, bool rightmost);
  bool climbForward(Pos& pos);
  template <class Pred>
  Pos seekFirst(Pred atOrAbove);

  PageStore& store_;
  std::uint32_t root_;
  Geometry g_;
  bool rootChanged_ = false;
  std::uint64_t generation_ = 0;
  std::size_t budget_ = 0;
  PageCache<Node, kPageSize> nodes_;
  DirtyPages<kPageSize> dirty_;
};

}  // namespace zandor::ntx
