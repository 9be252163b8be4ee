#include "table/page_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "base/windows_api.h"
#include "table/index_error.h"

// Index files on Windows are read and written at their offsets (win32::readAt/writeAt), never
// mapped: a mapped view keeps the file from being cut or renamed while it exists, and
// FlushViewOfFile plus FlushFileBuffers would be needed for every commit anyway. A batch
// grows the file first, so a full disk fails it before any page has changed.

namespace zandor {

namespace {

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

[[noreturn]] void fail(int err, const std::string& path) {
  throw std::system_error(err, std::generic_category(), path);
}

int setEnd(int fd, std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(handleOf(fd), FileEndOfFileInfo, &end, sizeof end))
    return win32::lastErrno();
  return 0;
}

int openFd(const std::string& path, bool writable, DWORD disposition) {
  const HANDLE h = CreateFileW(win32::widePath(path).c_str(),
                               writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -win32::lastErrno();
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return -EINVAL;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return -EMFILE;
  }
  return fd;
}

}  // namespace

PageFile::~PageFile() {
  close();
}

int PageFile::open(const std::string& path, bool writable, PageMapping) {
  close();
  const DWORD attributes = GetFileAttributesW(win32::widePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return EISDIR;
  const int fd = openFd(path, writable, OPEN_EXISTING);
  if (fd < 0) return -fd;
  fd_ = fd;
  writable_ = writable;
  path_ = path;
  return 0;
}

int PageFile::create(const std::string& path, PageMapping) {
  close();
  const int fd = openFd(path, true, CREATE_ALWAYS);
  if (fd < 0) return -fd;
  fd_ = fd;
  writable_ = true;
  path_ = path;
  return 0;
}

int PageFile::close() {
  int err = 0;
  if (fd_ >= 0 && _close(fd_) != 0) err = errno;
  fd_ = -1;
  return err;
}

void PageFile::startWriteback() {}

void PageFile::sync() {
  if (fd_ < 0 || !writable_) return;
  if (!FlushFileBuffers(handleOf(fd_))) fail(win32::lastErrno(), path_);
}

int PageFile::renameTo(const std::string& path) {
  if (!MoveFileExW(win32::widePath(path_).c_str(), win32::widePath(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING))
    return win32::lastErrno();
  path_ = path;
  return 0;
}

std::uint64_t PageFile::size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handleOf(fd_), &size)) fail(win32::lastErrno(), path_);
  return static_cast<std::uint64_t>(size.QuadPart);
}

void PageFile::read(std::uint64_t offset, void* buffer, std::size_t length) const {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    unsigned long got = 0;
    const auto chunk = static_cast<unsigned long>(std::min<std::size_t>(length - done, 1u << 30));
    if (!win32::readAt(handleOf(fd_), offset + done, out + done, chunk, got)) {
      if (GetLastError() != ERROR_HANDLE_EOF) fail(win32::lastErrno(), path_);
      got = 0;
    }
    if (got == 0) throw IndexDamage("Seite hinter dem Dateiende");
    done += got;
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

void PageFile::write(std::uint64_t offset, const void* data, std::size_t length) {
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < length) {
    unsigned long put = 0;
    const auto chunk = static_cast<unsigned long>(std::min<std::size_t>(length - done, 1u << 30));
    if (!win32::writeAt(handleOf(fd_), offset + done, in + done, chunk, put))
      fail(win32::lastErrno(), path_);
    if (put == 0) fail(ENOSPC, path_);
    done += put;
  }
}

void PageFile::write(PageBatch& batch) {
  if (batch.empty()) return;  // a record that changed no key of this file
  std::uint64_t end = 0;
  for (const auto& w : batch.writes_) end = std::max(end, w.offset + w.length);
  if (const std::uint64_t before = size(); end > before) {
    if (const int err = setEnd(fd_, end)) {
      setEnd(fd_, before);
      fail(err, path_);
    }
  }
  for (const auto& w : batch.writes_) write(w.offset, w.source(batch.bytes_.data()), w.length);
  batch.clear();
}

}  // namespace zandor
