#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "table/commit_witness.h"
#include "table/page_mapping.h"
#include "table/prefetch.h"

namespace zandor {

// The pages of one commit. They are prepared first and then written in one tight loop, which
// the file's witness finishes should the process be killed within it.
class PageBatch {
 public:
  // A buffer of length bytes that will be written at offset, in the order of the calls.
  unsigned char* add(std::uint64_t offset, std::size_t length);
  // Bytes kept elsewhere, unchanged until the batch is written: written from there.
  void addKept(std::uint64_t offset, const unsigned char* data, std::size_t length) {
    writes_.push_back({offset, length, 0, data});
  }
  bool empty() const { return writes_.empty(); }
  void clear();

 private:
  friend class PageFile;
  std::vector<PageWrite> writes_;
  std::vector<unsigned char> bytes_;
};

// An index file opened for page-wise reads and writes; closed by the destructor.
// Reads and writes throw std::system_error on OS failures; a read beyond the end of the
// file throws IndexDamage.
//
// A writable file is mapped into memory: a commit then copies its pages into the page cache
// without a system call per page, which is much faster and leaves a killed process far less
// time in which only some pages of a commit have reached the file. New pages are allocated
// on disk before they are touched, so a full disk is an ordinary error, not a fault. Where
// the mapping fails (some network file systems) reads and writes fall back to pread/pwrite.
// A batch is copied under the eye of a CommitWitness, so a kill in the middle of the copy
// still leaves the whole commit in the file.
class PageFile {
 public:
  PageFile() = default;
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // Returns 0 or the OS error code. A file opened for writing is mapped where mapping allows
  // it and the file system can; otherwise every page goes out with pwrite.
  int open(const std::string& path, bool writable, PageMapping mapping = PageMapping::WhenPossible);
  int create(const std::string& path, PageMapping mapping = PageMapping::WhenPossible);
  // Returns 0 or the OS error code of the close; the file is closed either way.
  int close();
  // Waits until the pages written are on stable storage; throws std::system_error, also for
  // a failure the write-back started before met.
  void sync();
  // Starts writing the changed pages out, without waiting; a failure is kept for sync().
  void startWriteback();
  // Renames the open file; returns 0 or the OS error code.
  int renameTo(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  bool writable() const { return writable_; }
  bool mapped() const { return map_ != nullptr; }
  // Asks for the mapped bytes at offset to be fetched into the cache, for a write soon;
  // nothing where the file is not mapped (a hint only: it never faults).
  void prefetch(std::uint64_t offset, std::size_t length) const {
    if (!map_ || offset + length > size_) return;
    prefetchBytes<true>(map_ + offset, length);
  }
  const std::string& path() const { return path_; }

  std::uint64_t size() const;
  void read(std::uint64_t offset, void* buffer, std::size_t length) const;
  // Reads a tree page; an offset off the page grid, on the header page (offset 0) or past
  // end throws IndexDamage.
  void readTreePage(std::uint64_t offset, unsigned char* page, std::size_t pageSize,
                    std::uint64_t end) const;
  void write(std::uint64_t offset, const void* data, std::size_t length);
  // Writes every page of the batch (the file grows first) and clears it.
  void write(PageBatch& batch);

 private:
  void mapForWriting(PageMapping mapping);
  void unmap();
  void growTo(std::uint64_t end);

  int fd_ = -1;
  bool writable_ = false;
  std::string path_;
  unsigned char* map_ = nullptr;
  std::uint64_t reserved_ = 0;  // length of the mapping, beyond the end of the file
  std::uint64_t size_ = 0;      // size of the file while it is mapped
  CommitWitness witness_;       // started with the first batch
  bool witnessTried_ = false;
  int writebackError_ = 0;  // of startWriteback(), reported by the next sync()
};

}  // namespace zandor
