#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "table/index_order.h"
#include "table/ntx_tree.h"
#include "table/page_file.h"

namespace zandor {

class NtxOrder;

// An NTX index file: a 1024-byte header and the B-tree of its order.
//
// open/create throw IndexDamage or std::system_error (see index_open.h); order operations
// raise the damage error themselves.
class NtxFile : public IndexFile, public ntx::PageStore {
 public:
  static std::unique_ptr<NtxFile> open(const std::string& path, bool writable,
                                       PageMapping mapping = PageMapping::WhenPossible);

  struct NewOrder {
    std::string name;  // stored when not empty
    std::string keyExpression;
    std::string forExpression;
    char keyType = 'C';
    int keyLength = 10;
    int decimals = 0;
    NtxNumberForm numberForm = NtxNumberForm::ZeroFilled;
    bool unique = false;
    bool descending = false;
  };
  // A new file holding the given entries (any order); replaces an existing file.
  static std::unique_ptr<NtxFile> create(const std::string& path, const NewOrder& def,
                                         std::vector<IndexEntry> entries);
  ~NtxFile() override;

  const std::string& path() const override { return file_.path(); }
  std::size_t orderCount() const override { return 1; }
  IndexOrder& order(std::size_t index) override;
  void commit() override;
  void sync() override { file_.sync(); }
  void startWriteback() override { file_.startWriteback(); }
  void close() override;
  CheckReport check();

 private:
  friend class NtxOrder;
  NtxFile() = default;
  void readPage(std::uint32_t offset, unsigned char* page) override;
  std::uint32_t allocatePage() override;
  void releasePage(std::uint32_t offset) override;
  std::size_t pageCount() const override { return static_cast<std::size_t>(end_ / 1024); }
  void willWrite(std::uint32_t offset) override { file_.prefetch(offset, 1024); }
  void load();
  // Changes need a file opened for writing (else the OS error EBADF).
  void requireWritable() const;
  void commitOrThrow();
  void discardUncommitted();
  template <class R, class F>
  R guarded(F&& operation);

  PageFile file_;
  PageBatch batch_;  // reused by every commit
  std::array<unsigned char, 1024> header_{};
  std::uint32_t committedRoot_ = 0;
  std::uint32_t freeHead_ = 0;
  std::uint32_t committedFreeHead_ = 0;
  std::set<std::uint32_t> takenFromFreeList_;
  std::vector<std::uint32_t> pendingFree_;
  std::uint64_t end_ = 0;
  std::uint64_t committedEnd_ = 0;
  bool headerDirty_ = false;
  std::unique_ptr<ntx::NtxTree> tree_;
  std::unique_ptr<NtxOrder> order_;
};

class NtxOrder : public IndexOrder {
 public:
  const OrderInfo& info() const override { return info_; }
  void setKeyType(char type) override { info_.keyType = type; }
  void adoptKeySample(const Value& sample) override;
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
  friend class NtxFile;
  NtxOrder(NtxFile& file, OrderInfo info) : file_(file), info_(std::move(info)) {}
  std::optional<IndexEntry> settle(ntx::NtxTree::Pos pos);

  NtxFile& file_;
  OrderInfo info_;
  ntx::NtxTree::Pos pos_;
  IndexEntry current_;
  std::uint64_t generation_ = 0;
};

}  // namespace zandor
