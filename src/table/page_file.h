#pragma once

#include <cstdint>
#include <string>

namespace zandor {

// An index file opened for page-wise reads and writes; closed by the destructor.
// Reads and writes throw std::system_error on OS failures; a read beyond the end of the
// file throws IndexDamage.
class PageFile {
 public:
  PageFile() = default;
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // Returns 0 or the OS error code.
  int open(const std::string& path, bool writable);
  int create(const std::string& path);
  void close();
  // Renames the open file; returns 0 or the OS error code.
  int renameTo(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }

  std::uint64_t size() const;
  void read(std::uint64_t offset, void* buffer, std::size_t length) const;
  void write(std::uint64_t offset, const void* data, std::size_t length);

 private:
  int fd_ = -1;
  bool writable_ = false;
  std::string path_;
};

}  // namespace zandor
