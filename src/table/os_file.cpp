#include "table/os_file.h"
#include "base/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace zandor {

namespace {

// The files holding room grown ahead, for releaseRoomAhead().
std::mutex gRoomLock;
std::vector<OsFile*> gFilesWithRoom;

void holdsRoom(OsFile* file, bool holds) {
  const std::lock_guard<std::mutex> lock(gRoomLock);
  const auto at = std::find(gFilesWithRoom.begin(), gFilesWithRoom.end(), file);
  if (holds && at == gFilesWithRoom.end()) gFilesWithRoom.push_back(file);
  if (!holds && at != gFilesWithRoom.end()) gFilesWithRoom.erase(at);
}

bool outOfSpace(int err) {
  return err == ENOSPC || err == EDQUOT;
}

std::uint64_t roundedUp(std::uint64_t n, std::uint64_t step) {
  return (n + step - 1) / step * step;
}

}  // namespace

void letFileSizeLimitFailWrites() {
  std::signal(SIGXFSZ, SIG_IGN);
}

void releaseRoomAhead() {
  std::vector<OsFile*> files;
  {
    const std::lock_guard<std::mutex> lock(gRoomLock);
    files = gFilesWithRoom;
  }
  for (OsFile* file : files) file->giveBackRoom();
}

namespace {

// Opens a regular file with the flags; returns the descriptor, or -1 with the errno value
// in err. Without O_NONBLOCK the open of a FIFO would wait for a writer; it is refused.
int openRegular(const std::string& path, int flags, int& err) {
  const int fd = ::open(nativePath(path).c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    err = errno;
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  err = 0;
  return fd;
}

}  // namespace

int OsFile::open(const std::string& path, bool readOnly) {
  close();
  if (!readOnly) letFileSizeLimitFailWrites();
  int err = 0;
  fd_ = openRegular(path, readOnly ? O_RDONLY : O_RDWR, err);
  if (fd_ >= 0) path_ = path;
  return err;
}

int OsFile::create(const std::string& path) {
  close();
  letFileSizeLimitFailWrites();
  int err = 0;
  fd_ = openRegular(path, O_RDWR | O_CREAT | O_TRUNC, err);
  if (fd_ >= 0) path_ = path;
  return err;
}

int OsFile::openOrCreate(const std::string& path) {
  close();
  letFileSizeLimitFailWrites();
  int err = 0;
  fd_ = openRegular(path, O_RDWR | O_CREAT, err);
  if (fd_ >= 0) path_ = path;
  return err;
}

int OsFile::lockFile(bool exclusive) {
  // flock locks belong to the open file description, so a second open inside this
  // process conflicts just like one from another process.
  if (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return errno;
  return 0;
}

bool OsFile::lockRange(std::uint64_t offset, std::uint64_t length, bool lock) {
  struct flock fl {};
  fl.l_type = lock ? F_WRLCK : F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  return ::fcntl(fd_, F_OFD_SETLK, &fl) == 0;
}

bool OsFile::mapExistingLength() {
  unmap();
  const long long length = size();
  if (fd_ < 0 || length <= 0) return false;
  void* at =
      ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (at == MAP_FAILED) return false;
  map_ = static_cast<char*>(at);
  mapLength_ = mapWritable_ = usedEnd_ = static_cast<std::uint64_t>(length);
  return true;
}

void OsFile::unmap() {
  holdsRoom(this, false);
  if (map_) ::munmap(map_, static_cast<std::size_t>(mapLength_));
  map_ = nullptr;
  mapLength_ = mapWritable_ = usedEnd_ = 0;
  growFailed_ = false;
  roomShort_ = false;
}

void OsFile::takeOverRoom(OsFile& from) {
  const std::lock_guard<std::mutex> lock(gRoomLock);
  std::replace(gFilesWithRoom.begin(), gFilesWithRoom.end(), &from, this);
}

int OsFile::giveBackRoom() {
  if (!map_ || growFailed_ || mapWritable_ <= usedEnd_) return 0;
  if (::ftruncate(fd_, static_cast<off_t>(usedEnd_)) != 0) return errno;
  mapWritable_ = usedEnd_;
  roomShort_ = true;
  holdsRoom(this, false);
  return 0;
}

int OsFile::close() {
  unmap();
  int err = 0;
  // After a failed close the descriptor is gone all the same: never closed twice.
  if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) err = errno;
  fd_ = -1;
  return err;
}

long long OsFile::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
  if (map_ && offset <= mapWritable_ && n <= mapWritable_ - offset) {
    std::memcpy(buffer, map_ + offset, n);
    return static_cast<long long>(n);
  }
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<long long>(done);
}

int OsFile::allocate(std::uint64_t from, std::uint64_t to) {
  const int err = ::posix_fallocate(fd_, static_cast<off_t>(from), static_cast<off_t>(to - from));
  if (err != 0 && ::ftruncate(fd_, static_cast<off_t>(from)) != 0) {
    // What was allocated beyond the old end is zeros no record count covers.
  }
  return err;
}

bool OsFile::growMapping(std::uint64_t end) {
  // Once refused room (or cut below it by another hand), the file grows by writes.
  if (growFailed_) return false;
  // An eighth of the file at a time, 1 to 64 MB: few steps, and little room after a kill.
  // Where space ran short, only what is needed: room ahead must not take what another
  // write of the run needs, nor pass a file size limit the records themselves keep below.
  constexpr std::uint64_t kLeast = 1u << 20, kMost = 64u << 20;
  const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  const auto lengthFor = [&] {
    return roundedUp(end, roomShort_ ? page : std::clamp(mapLength_ / 8, kLeast, kMost));
  };
  std::uint64_t length = lengthFor();
  // Blocks first: a store into a hole of a full disk would end the process.
  int err = allocate(mapWritable_, length);
  if (err != 0 && !roomShort_ && (outOfSpace(err) || err == EFBIG)) {
    roomShort_ = true;
    length = lengthFor();
    err = allocate(mapWritable_, length);
  }
  if (outOfSpace(err)) {
    releaseRoomAhead();
    err = allocate(mapWritable_, length);
  }
  if (err != 0) {
    growFailed_ = true;
    return false;
  }
  if (length > mapLength_) {
    void* at = ::mremap(map_, static_cast<std::size_t>(mapLength_),
                        static_cast<std::size_t>(length), MREMAP_MAYMOVE);
    if (at == MAP_FAILED) {
      // Without the mapping the room is of no use: the file goes back to its size.
      if (::ftruncate(fd_, static_cast<off_t>(mapWritable_)) != 0) {
        // Zeros behind the records, cut off at the close.
      }
      growFailed_ = true;
      return false;
    }
    map_ = static_cast<char*>(at);
    mapLength_ = length;
  }
  mapWritable_ = length;
  holdsRoom(this, true);
  return true;
}

int OsFile::writeAt(std::uint64_t offset, const void* data, std::size_t n) {
  if (map_ && offset <= mapWritable_ && (n <= mapWritable_ - offset || growMapping(offset + n))) {
    std::memcpy(map_ + offset, data, n);
    usedEnd_ = std::max<std::uint64_t>(usedEnd_, offset + n);
    return 0;
  }
  const auto writeAll = [&]() -> int {
    const auto* in = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (w == 0) return ENOSPC;
      done += static_cast<std::size_t>(w);
    }
    return 0;
  };
  int err = writeAll();
  // Room another file of ours has grown ahead is given back, and the write made again.
  if (outOfSpace(err)) {
    releaseRoomAhead();
    err = writeAll();
  }
  if (err == 0) usedEnd_ = std::max<std::uint64_t>(usedEnd_, offset + n);
  return err;
}

long long OsFile::size() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

int OsFile::sync() {
  if (fd_ < 0) return 0;
  while (::fdatasync(fd_) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int OsFile::truncate(std::uint64_t size) {
  // Mapped pages past the new end are gone (touching them would be a fault), even when
  // the cut fails halfway.
  if (size < mapWritable_) mapWritable_ = size;
  usedEnd_ = std::min(usedEnd_, size);
  // A file made longer than its mapping grows by writes from here on.
  if (map_ && size > mapWritable_) growFailed_ = true;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return errno;
  return 0;
}

std::string linkedFile(const std::string& path) {
  std::string current = path;
  // As many steps as the system itself follows before it gives up (ELOOP).
  for (int step = 0; step < 40; ++step) {
    const std::string native = nativePath(current).string();
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(native.c_str(), buffer.data(), buffer.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) return current;
    const std::string target =
        pathFromNative(std::string(buffer.data(), static_cast<std::size_t>(n)));
    current = !target.empty() && isPathSeparator(target.front()) ? target
                                                                 : directoryPart(current) + target;
  }
  return current;
}

int takeOverIdentity(const std::string& newFile, const std::string& oldFile) {
  struct stat old;
  if (::stat(nativePath(oldFile).c_str(), &old) != 0) return errno;
  const int fd = ::open(nativePath(newFile).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  // Only root may give a file away; anyone may hand it to a group of their own.
  if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // The new file stays its creator's.
  }
  // After the owner: a change of owner clears the set-id bits.
  const int err = ::fchmod(fd, old.st_mode & 07777) != 0 ? errno : 0;
  ::close(fd);
  return err;
}

int replaceFile(const std::string& newFile, const std::string& oldFile) {
  if (std::rename(nativePath(newFile).c_str(), nativePath(oldFile).c_str()) != 0) return errno;
  return 0;
}

int syncDirectoryOf(const std::string& path) {
  const std::string directory = directoryPart(path);
  const int fd = ::open(nativePath(directory.empty() ? "." : directory).c_str(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = 0;
  while (::fsync(fd) != 0) {
    // EINVAL: a file system that keeps no directory to sync (its names are durable anyway).
    if (errno != EINTR) {
      err = errno == EINVAL ? 0 : errno;
      break;
    }
  }
  ::close(fd);
  return err;
}

}  // namespace zandor
