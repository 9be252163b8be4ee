#include "table/os_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/windows_api.h"

// Windows has no advisory whole-file lock: what keeps others out is the share mode of the
// open. So lockFile() opens the file again with the share mode the lock stands for (none
// for an exclusive lock, read and write for a shared one) in place of the first handle. No
// file is mapped: plain positioned reads and writes are what the system shares between
// processes there, and they leave nothing to unmap before a cut.

namespace zandor {

namespace {

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// Opens with CreateFileW and wraps the handle in a C runtime descriptor; returns the
// descriptor or -1 with the errno value in err.
int openHandle(const std::string& path, DWORD access, DWORD share, DWORD disposition, int& err) {
  const HANDLE h = CreateFileW(win32::widePath(path).c_str(), access, share, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = win32::lastErrno();
    return -1;
  }
  if (disposition == OPEN_EXISTING && GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    err = EINVAL;
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    err = EMFILE;
    return -1;
  }
  err = 0;
  return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

int OsFile::open(const std::string& path, bool readOnly) {
  close();
  const DWORD attributes = GetFileAttributesW(win32::widePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return EISDIR;
  int err = 0;
  const int fd = openHandle(path, readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, kShareAll,
                            OPEN_EXISTING, err);
  if (fd < 0) return err;
  fd_ = fd;
  path_ = path;
  mapWritable_ = readOnly ? 0 : 1;  // no mapping here: the field remembers the access
  return 0;
}

int OsFile::openOrCreate(const std::string& path) {
  close();
  const DWORD attributes = GetFileAttributesW(win32::widePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return EISDIR;
  int err = 0;
  const int fd = openHandle(path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_ALWAYS, err);
  if (fd < 0) return err;
  fd_ = fd;
  path_ = path;
  mapWritable_ = 1;
  return 0;
}

int OsFile::create(const std::string& path) {
  close();
  int err = 0;
  const int fd = openHandle(path, GENERIC_READ | GENERIC_WRITE, kShareAll, CREATE_ALWAYS, err);
  if (fd < 0) return err;
  fd_ = fd;
  path_ = path;
  mapWritable_ = 1;
  return 0;
}

int OsFile::lockFile(bool exclusive) {
  const DWORD access = mapWritable_ != 0 ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  // A share mode refuses every other handle, our own first one too, so that one goes first.
  // Where the second open fails the file stays closed; the caller gives up the open anyway.
  _close(fd_);
  int err = 0;
  fd_ = openHandle(path_, access, share, OPEN_EXISTING, err);
  return err;
}

bool OsFile::lockRange(std::uint64_t offset, std::uint64_t length, bool lock) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const auto low = static_cast<DWORD>(length);
  const auto high = static_cast<DWORD>(length >> 32);
  if (!lock) return UnlockFileEx(handleOf(fd_), 0, low, high, &at) != 0;
  return LockFileEx(handleOf(fd_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, low,
                    high, &at) != 0;
}

// No file is mapped here, so none grows ahead and there is no room to give back; a file
// size limit is no signal either.
void letFileSizeLimitFailWrites() {}

void releaseRoomAhead() {}

int OsFile::giveBackRoom() {
  return 0;
}

void OsFile::takeOverRoom(OsFile&) {}

bool OsFile::mapExistingLength() {
  return false;
}

void OsFile::unmap() {}

int OsFile::close() {
  int err = 0;
  if (fd_ >= 0 && _close(fd_) != 0) err = errno;
  fd_ = -1;
  mapWritable_ = 0;
  return err;
}

long long OsFile::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    unsigned long got = 0;
    const auto chunk = static_cast<unsigned long>(std::min<std::size_t>(n - done, 1u << 30));
    if (!win32::readAt(handleOf(fd_), offset + done, out + done, chunk, got)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<long long>(done);
}

int OsFile::writeAt(std::uint64_t offset, const void* data, std::size_t n) {
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < n) {
    unsigned long put = 0;
    const auto chunk = static_cast<unsigned long>(std::min<std::size_t>(n - done, 1u << 30));
    if (!win32::writeAt(handleOf(fd_), offset + done, in + done, chunk, put))
      return win32::lastErrno();
    if (put == 0) return ENOSPC;
    done += put;
  }
  return 0;
}

long long OsFile::size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handleOf(fd_), &size)) return -1;
  return size.QuadPart;
}

int OsFile::sync() {
  if (fd_ < 0) return 0;
  if (!FlushFileBuffers(handleOf(fd_))) return win32::lastErrno();
  return 0;
}

int OsFile::truncate(std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(handleOf(fd_), FileEndOfFileInfo, &end, sizeof end))
    return win32::lastErrno();
  return 0;
}

// Links are rare on the drives the business application uses, and the rename below replaces
// the name itself, so the file a path names is the path.
std::string linkedFile(const std::string& path) {
  return path;
}

// The new file inherits its folder's access rules like the old one did; what a file may carry
// of its own here is the read-only mark, and a read-only index is refused before a rebuild.
int takeOverIdentity(const std::string&, const std::string&) {
  return 0;
}

int replaceFile(const std::string& newFile, const std::string& oldFile) {
  // Write-through: the call returns once the new name is on disk.
  if (!MoveFileExW(win32::widePath(newFile).c_str(), win32::widePath(oldFile).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return win32::lastErrno();
  return 0;
}

// replaceFile writes the name through already; folders cannot be flushed by a handle here.
int syncDirectoryOf(const std::string&) {
  return 0;
}

}  // namespace zandor
