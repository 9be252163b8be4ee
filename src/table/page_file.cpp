#include "table/page_file.h"
#include "base/paths.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "table/index_error.h"
#include "table/os_file.h"

namespace zandor {
namespace {

// Address space only: pages of the mapping beyond the end of the file are never touched.
std::uint64_t reservationFor(std::uint64_t size) {
  constexpr std::uint64_t kStep = 64ull << 20;
  return (size + size / 2 + kStep) / kStep * kStep;
}

// Grows the file from its size `from` to `to` with real blocks; on failure (a full disk) the
// file keeps its size and the OS error is thrown. On a full disk the room our other files
// have grown ahead is given back first and the allocation tried once more.
void allocate(int fd, std::uint64_t from, std::uint64_t to, const std::string& path) {
  const auto tryAllocate = [&] {
    return ::posix_fallocate(fd, static_cast<off_t>(from), static_cast<off_t>(to - from));
  };
  int err = tryAllocate();
  if (err == ENOSPC || err == EDQUOT) {
    releaseRoomAhead();
    err = tryAllocate();
  }
  if (err == 0) return;
  if (::ftruncate(fd, static_cast<off_t>(from)) != 0) {
    // The pages beyond the old end are unreferenced either way.
  }
  throw std::system_error(err, std::generic_category(), path);
}

}  // namespace

PageFile::~PageFile() {
  close();
}

int PageFile::open(const std::string& path, bool writable, PageMapping mapping) {
  close();
  // Only regular files: a FIFO would block the open (not here, with O_NONBLOCK) and reads.
  int fd =
      ::open(nativePath(path).c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return err;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (writable) letFileSizeLimitFailWrites();
  fd_ = fd;
  writable_ = writable;
  path_ = path;
  if (writable) mapForWriting(mapping);
  return 0;
}

int PageFile::create(const std::string& path, PageMapping mapping) {
  close();
  letFileSizeLimitFailWrites();
  int fd = ::open(nativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  fd_ = fd;
  writable_ = true;
  path_ = path;
  mapForWriting(mapping);
  return 0;
}

void PageFile::mapForWriting(PageMapping mapping) {
  if (mapping == PageMapping::Never) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t reserved = reservationFor(size);
  void* map = ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (map == MAP_FAILED) return;
  map_ = static_cast<unsigned char*>(map);
  reserved_ = reserved;
  size_ = size;
}

void PageFile::unmap() {
  if (map_) ::munmap(map_, reserved_);
  map_ = nullptr;
  reserved_ = 0;
  size_ = 0;
}

int PageFile::close() {
  witness_.stop();
  witnessTried_ = false;
  unmap();
  int err = 0;
  // After a failed close the descriptor is gone all the same: never closed twice.
  if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) err = errno;
  fd_ = -1;
  writebackError_ = 0;
  return err;
}

void PageFile::sync() {
  if (fd_ < 0 || !writable_) return;
  while (::fdatasync(fd_) != 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), path_);
  }
  if (const int err = std::exchange(writebackError_, 0)) {
    throw std::system_error(err, std::generic_category(), path_);
  }
}

void PageFile::startWriteback() {
  if (fd_ < 0 || !writable_ || ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE) == 0) return;
  // A system or file system without it loses nothing; anything else is a failed write.
  if (errno != EINVAL && errno != ENOSYS && errno != ESPIPE && errno != EOPNOTSUPP &&
      writebackError_ == 0) {
    writebackError_ = errno;
  }
}

int PageFile::renameTo(const std::string& path) {
  if (::rename(nativePath(path_).c_str(), nativePath(path).c_str()) != 0) return errno;
  path_ = path;
  return 0;
}

std::uint64_t PageFile::size() const {
  if (map_) return size_;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw std::system_error(errno, std::generic_category(), path_);
  return static_cast<std::uint64_t>(st.st_size);
}

void PageFile::read(std::uint64_t offset, void* buffer, std::size_t length) const {
  if (map_) {
    if (offset > size_ || length > size_ - offset) {
      throw IndexDamage("Seite hinter dem Dateiende");
    }
    std::memcpy(buffer, map_ + offset, length);
    return;
  }
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), path_);
    }
    if (n == 0) throw IndexDamage("Seite hinter dem Dateiende");
    done += static_cast<std::size_t>(n);
  }
}

void PageFile::readTreePage(std::uint64_t offset, unsigned char* page, std::size_t pageSize,
                            std::uint64_t end) const {
  if (offset % pageSize != 0 || offset < pageSize || offset + pageSize > end) {
    throw IndexDamage("Seitenzeiger " + std::to_string(offset) +
                      " au\xdf"
                      "erhalb des Rasters oder der Datei");
  }
  read(offset, page, pageSize);
}

// Blocks are allocated before the mapping touches them: writing into a hole of a full disk
// would end the process instead of failing the commit.
void PageFile::growTo(std::uint64_t end) {
  if (end > reserved_) {
    const std::uint64_t reserved = reservationFor(end);
    void* map = ::mremap(map_, reserved_, reserved, MREMAP_MAYMOVE);
    if (map == MAP_FAILED) throw std::system_error(errno, std::generic_category(), path_);
    map_ = static_cast<unsigned char*>(map);
    reserved_ = reserved;
  }
  allocate(fd_, size_, end, path_);
  size_ = end;
}

void PageFile::write(std::uint64_t offset, const void* data, std::size_t length) {
  if (map_) {
    if (offset + length > size_) growTo(offset + length);
    std::memcpy(map_ + offset, data, length);
    return;
  }
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

// The file grows to take the whole batch before any page is written, so a full disk fails
// the batch before it has changed anything.
void PageFile::write(PageBatch& batch) {
  if (batch.empty()) return;  // a record that changed no key of this file
  std::uint64_t end = 0;
  for (const auto& w : batch.writes_) end = std::max(end, w.offset + w.length);
  if (map_) {
    if (end > size_) growTo(end);
  } else if (const std::uint64_t before = size(); end > before) {
    allocate(fd_, before, end, path_);
  }
  if (map_) {
    // Every page the copy will store into is made writable first, by storing one byte it
    // already holds. Otherwise a page the system has just written back faults in the middle
    // of the copy, which widens the moment that only the witness can mend.
    const auto osPage = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    for (const auto& w : batch.writes_) {
      for (std::uint64_t at = w.offset / osPage * osPage; at < w.offset + w.length; at += osPage) {
        volatile unsigned char* byte = map_ + at;
        *byte = *byte;
      }
    }
  }
  if (!witnessTried_) {
    witnessTried_ = true;
    witness_.start(fd_);
  }
  witness_.begin(batch.writes_.data(), batch.writes_.size(), batch.bytes_.data());
  try {
    for (const auto& w : batch.writes_) write(w.offset, w.source(batch.bytes_.data()), w.length);
  } catch (...) {
    witness_.end();  // a failed commit is undone by its caller, not finished by the witness
    throw;
  }
  witness_.end();
  batch.clear();
}

}  // namespace zandor
