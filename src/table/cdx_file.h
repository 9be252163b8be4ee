#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "table/cdx_tag.h"
#include "table/index_order.h"
#include "table/page_file.h"

namespace zandor {

class CdxOrder;

// A compact compound index file (".cdx"): the tag directory and its tags, ordered by the
// position of their headers. Single-order compact files (no directory) are read too.
//
// open/create/addTag throw IndexDamage or std::system_error; openCdxFile() in
// index_open.h turns those into the errors of the index layer. Order operations raise
// the damage error themselves.
class CdxFile : public IndexFile, public cdx::PageStore {
 public:
  static std::unique_ptr<CdxFile> open(const std::string& path, bool writable,
                                       PageMapping mapping = PageMapping::WhenPossible);
  // A new, empty compound file (only the tag directory); replaces an existing file.
  static std::unique_ptr<CdxFile> create(const std::string& path);
  ~CdxFile() override;

  struct NewTag {
    std::string name;
    std::string keyExpression;
    std::string forExpression;
    char keyType = 'C';
    int keyLength = 10;
    bool unique = false;
    bool descending = false;
    bool caseInsensitive = false;
    bool candidate = false;   // each key once, every record keyed
    bool nullMarked = false;  // keys start with the NULL marker byte
  };
  // Adds a tag built from the given entries (any order; a unique tag keeps the lowest
  // record of each key); a tag of the same name is replaced. Written on commit().
  CdxOrder& addTag(const NewTag& def, std::vector<IndexEntry> entries);

  const std::string& path() const override { return file_.path(); }
  std::size_t orderCount() const override { return orders_.size(); }
  IndexOrder& order(std::size_t index) override;
  CdxOrder& cdxOrder(std::size_t index) { return *orders_.at(index); }
  bool compound() const { return compound_; }
  void commit() override;
  void sync() override { file_.sync(); }
  void startWriteback() override { file_.startWriteback(); }
  void close() override;
  // The whole file: directory, every tag, and that no page belongs to two trees.
  CheckReport check();

 private:
  friend class CdxOrder;
  struct Tag {
    std::uint32_t headerOffset = 0;
    std::array<unsigned char, 1024> header{};
    std::uint32_t committedRoot = 0;
    bool headerDirty = false;
    std::unique_ptr<cdx::CdxTree> tree;
  };

  CdxFile() = default;
  void readPage(std::uint32_t offset, unsigned char* page) override;
  std::uint32_t allocatePage() override;
  void releasePage(std::uint32_t offset) override;
  void willWrite(std::uint32_t offset) override { file_.prefetch(offset, cdx::kPageSize); }

  void load();
  // Changes need a file opened for writing (else the OS error EBADF).
  void requireWritable() const;
  std::unique_ptr<Tag> readTag(std::uint32_t headerOffset, bool directory);
  void flushTag(Tag& tag);
  void commitOrThrow();
  // Drops every change since the last commit.
  void discardUncommitted();
  // Runs an order operation; damage and OS failures raise their error and give fallback.
  template <class R, class F>
  R guarded(F&& operation);

  PageFile file_;
  PageBatch batch_;  // reused by every commit
  bool compound_ = false;
  std::uint64_t end_ = 0;
  std::uint64_t committedEnd_ = 0;
  std::vector<std::uint32_t> free_;
  std::vector<std::uint32_t> freeAtCommit_;
  std::vector<std::uint32_t> pendingFree_;
  std::unique_ptr<Tag> directory_;
  std::vector<std::unique_ptr<Tag>> tags_;  // header order
  std::vector<std::unique_ptr<CdxOrder>> orders_;
};

// One tag of a CDX file.
class CdxOrder : public IndexOrder {
 public:
  const OrderInfo& info() const override { return info_; }
  void setKeyType(char type) override;
  std::string keyFor(const Value& value) const override;
  std::string searchKeyFor(const Value& value) const override;
  std::optional<IndexEntry> seek(std::string_view searchKey) override;
  std::optional<IndexEntry> first() override;
  std::optional<IndexEntry> next() override;
  bool insert(std::string_view key, std::uint32_t recno) override;
  bool remove(std::string_view key, std::uint32_t recno) override;
  void commit() override;
  CheckReport check() override;

 private:
  friend class CdxFile;
  CdxOrder(CdxFile& file, CdxFile::Tag& tag, OrderInfo info)
      : file_(file), tag_(&tag), info_(std::move(info)) {}
  std::optional<IndexEntry> settle(cdx::CdxTree::Pos pos);

  CdxFile& file_;
  CdxFile::Tag* tag_;
  OrderInfo info_;
  cdx::CdxTree::Pos pos_;
  IndexEntry current_;
  std::uint64_t generation_ = 0;
};

}  // namespace zandor
