#include "base/windows_api.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cerrno>
#include <cstdio>

#include "base/encoding.h"

namespace zandor::win32 {

std::wstring widePath(std::string_view cp1252) {
  const std::u16string utf16 = cp1252ToUtf16(cp1252);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string narrowPath(std::wstring_view utf16) {
  return utf16ToCp1252(std::u16string(utf16.begin(), utf16.end()));
}

int errnoOf(unsigned long win32Error) {
  switch (win32Error) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DIRECTORY:
      return EISDIR;
    default:
      return EIO;
  }
}

int lastErrno() {
  return errnoOf(GetLastError());
}

std::string moduleFileName() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return narrowPath(name);
    }
    name.resize(name.size() * 2);
  }
}

namespace {

// The file position is per handle, so a seek and the read or write after it hold the lock
// of their handle; a handful of locks shared out by handle value is enough for the few files
// open at once.
SRWLOCK positionLocks[64] = {};

SRWLOCK& positionLockOf(HANDLE h) {
  return positionLocks[(reinterpret_cast<std::uintptr_t>(h) >> 2) % 64];
}

struct PositionLock {
  SRWLOCK& lock;
  explicit PositionLock(HANDLE h) : lock(positionLockOf(h)) { AcquireSRWLockExclusive(&lock); }
  ~PositionLock() { ReleaseSRWLockExclusive(&lock); }
  PositionLock(const PositionLock&) = delete;
  PositionLock& operator=(const PositionLock&) = delete;
};

bool seekTo(HANDLE h, std::uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

// A seek and a plain call rather than an OVERLAPPED offset: with one, Wine asks its server
// about a completion port after every call, which made each page read or written a round
// trip to another process and the import many times slower than on Linux.
bool readAt(void* handle, std::uint64_t offset, void* buffer, unsigned long n, unsigned long& got) {
  const HANDLE h = static_cast<HANDLE>(handle);
  PositionLock lock(h);
  DWORD done = 0;
  const bool ok = seekTo(h, offset) && ReadFile(h, buffer, n, &done, nullptr) != 0;
  got = done;
  return ok;
}

bool writeAt(void* handle, std::uint64_t offset, const void* data, unsigned long n,
             unsigned long& put) {
  const HANDLE h = static_cast<HANDLE>(handle);
  PositionLock lock(h);
  DWORD done = 0;
  const bool ok = seekTo(h, offset) && WriteFile(h, data, n, &done, nullptr) != 0;
  put = done;
  return ok;
}

std::string storedFileName(std::string_view path) {
  // FindFirstFileW would take these as wildcards; no stored name holds them.
  if (path.find_first_of("*?") != std::string_view::npos) return {};
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW(widePath(path).c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return {};
  FindClose(h);
  return narrowPath(found.cFileName);
}

void useUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
  // Output is the same bytes as on Linux (LF line ends), so scripts read it alike.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> argumentsUtf8() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!words) return args;
  for (int i = 1; i < count; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, words[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, words[i], -1, arg.data(), n, nullptr, nullptr);
    args.push_back(std::move(arg));
  }
  LocalFree(words);
  return args;
}

}  // namespace zandor::win32
