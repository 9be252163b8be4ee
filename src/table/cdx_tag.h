#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "table/cdx_page.h"
#include "table/index_order.h"
#include "table/page_cache.h"

namespace zandor {
class PageFile;
class PageBatch;
}  // namespace zandor

namespace zandor::cdx {

// Page allocation and reading shared by the tags of one file.
class PageStore {
 public:
  virtual ~PageStore() = default;
  // Reads a tree page; throws IndexDamage for offsets off the page grid or outside the file.
  virtual void readPage(std::uint32_t offset, unsigned char* page) = 0;
  virtual std::uint32_t allocatePage() = 0;
  virtual void releasePage(std::uint32_t offset) = 0;
  // The page at offset will be written at the next commit: where it lies in memory, it may
  // be fetched into the cache meanwhile.
  virtual void willWrite(std::uint32_t offset) { (void)offset; }
};

// The B+-tree of one tag (or of the tag directory). Pages are decoded once and kept;
// changed pages stay in memory until flush() writes them.
class CdxTree {
 public:
  CdxTree(PageStore& store, std::uint32_t root, int keyLength, char fill);

  struct Pos {
    std::uint32_t leaf = kNone;
    std::size_t index = 0;
    bool valid() const { return leaf != kNone; }
  };

  int keyLength() const { return keyLength_; }
  std::uint32_t root() const { return root_; }
  bool rootChanged() const { return rootChanged_; }
  // Changes each time the tree's content changes (positions must be re-found then).
  std::uint64_t generation() const { return generation_; }
  void setFill(char fill);

  Pos first();
  Pos last();
  bool next(Pos& pos);
  bool prev(Pos& pos);
  IndexEntry entry(const Pos& pos);
  // First entry whose first prefix.size() bytes are >= prefix (> with strictlyGreater).
  Pos seekPrefix(std::string_view prefix, bool strictlyGreater);
  // First entry >= (key, recno).
  Pos seekEntry(std::string_view key, std::uint32_t recno);

  bool insert(std::string_view key, std::uint32_t recno);
  bool remove(std::string_view key, std::uint32_t recno);
  // Replaces the whole tree by one built from sorted, distinct entries; returns the root.
  void build(const std::vector<IndexEntry>& sorted);
  // Makes the (already allocated) root page an empty root leaf, to be written on flush.
  void startEmpty();

  bool dirty() const { return !dirty_.empty() || rootChanged_; }
  void flush(PageBatch& batch);
  // Forgets every change not yet flushed and the decoded pages.
  void discard(std::uint32_t committedRoot);

  // Validates the tree as written in the file; every page reached is added to seen.
  void check(PageFile& file, std::uint64_t fileSize, bool unique, CheckReport& report,
             std::set<std::uint32_t>& seen) const;

 private:
  struct Split {
    bool happened = false;
    std::uint32_t right = 0;
  };

  Node& load(std::uint32_t offset);
  // As load, for a search through the page's keys (see PageCache::findForSearch).
  Node& loadForSearch(std::uint32_t offset);
  Node& newNode(bool leaf);
  void markDirty(const Node& node);
  // After one key was inserted into or removed from a leaf at index (shapes were known).
  void prefetchForChange(const Node& leaf) const;
  void markLeafChanged(const Node& node, LeafChange change, std::size_t index);
  void release(Node& node);
  int compareEntry(const Node& node, std::size_t i, std::string_view key,
                   std::uint32_t recno) const;
  std::size_t lowerBound(const Node& node, std::string_view key, std::uint32_t recno) const;
  bool fits(const Node& node) const;
  std::size_t leafUsed(const Node& node) const;
  void setEntryToHigh(Node& parent, std::size_t i, const Node& child);
  Split insertInto(Node& node, std::string_view key, std::uint32_t recno, int depth,
                   bool& inserted);
  // Inserts into the leaf where the last seek ended, without a descent, where the entry
  // belongs strictly inside it and surely fits (so no parent changes); false otherwise.
  bool insertAtSeek(std::string_view key, std::uint32_t recno);
  Split splitNode(Node& node);
  bool removeFrom(Node& node, std::string_view key, std::uint32_t recno, int depth);
  void mergeIfSmall(Node& parent, std::size_t i);
  void unlink(Node& node);
  Pos descendTo(bool last);
  void stepLimit(std::size_t& steps) const;

  PageStore& store_;
  std::uint32_t root_;
  int keyLength_;
  char fill_;
  bool rootChanged_ = false;
  std::uint64_t generation_ = 0;
  PageCache<Node, kPageSize> nodes_;
  DirtyPages<kPageSize> dirty_;
  // Where the last seek ended, while the tree is as it was then: a record appended after a
  // seek that missed its key takes that place in the tree.
  Pos seekEnd_;
  std::uint64_t seekEndGeneration_ = ~std::uint64_t{0};
};

}  // namespace zandor::cdx
