#include "table/page_file.h"
#include "base/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "table/index_error.h"

namespace zandor {

PageFile::~PageFile() {
  close();
}

int PageFile::open(const std::string& path, bool writable) {
  close();
  int fd = ::open(nativePath(path).c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return errno;
  fd_ = fd;
  writable_ = writable;
  path_ = path;
  return 0;
}

int PageFile::create(const std::string& path) {
  close();
  int fd = ::open(nativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  fd_ = fd;
  writable_ = true;
  path_ = path;
  return 0;
}

void PageFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int PageFile::renameTo(const std::string& path) {
  if (::rename(path_.c_str(), path.c_str()) != 0) return errno;
  path_ = path;
  return 0;
}

std::uint64_t PageFile::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw std::system_error(errno, std::generic_category(), path_);
  return static_cast<std::uint64_t>(st.st_size);
}

void PageFile::read(std::uint64_t offset, void* buffer, std::size_t length) const {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), path_);
    }
    if (n == 0) throw IndexDamage("page beyond the end of the file");
    done += static_cast<std::size_t>(n);
  }
}

void PageFile::write(std::uint64_t offset, const void* data, std::size_t length) {
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), path_);
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace zandor
