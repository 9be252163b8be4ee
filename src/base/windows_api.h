#pragma once

// Helpers of the Win32 implementations; only Windows builds have them.
#ifdef _WIN32

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandor::win32 {

// File names are Windows-1252 inside the program; the wide API takes UTF-16.
std::wstring widePath(std::string_view cp1252);
std::string narrowPath(std::wstring_view utf16);

// The errno value our file layer reports for a Win32 error code (a sharing or lock
// violation becomes EWOULDBLOCK, which the open error reports as DOS error 32).
int errnoOf(unsigned long win32Error);
// errnoOf(GetLastError()).
int lastErrno();

// The name of the file a path names as the file system stores it (letter case and all), or
// "" when there is none.
std::string storedFileName(std::string_view path);

// Reads or writes at an offset of a handle opened for synchronous I/O; false with the error
// in GetLastError(), and a read past the end gives true with got 0. Calls on the same handle
// from several threads do not mix up their offsets.
bool readAt(void* handle, std::uint64_t offset, void* buffer, unsigned long n, unsigned long& got);
bool writeAt(void* handle, std::uint64_t offset, const void* data, unsigned long n,
             unsigned long& put);

// The full file name of the running program.
std::string moduleFileName();

// The program's arguments (without the program name) in UTF-8, taken from the wide command
// line: the narrow one holds only what the ANSI code page can spell.
std::vector<std::string> argumentsUtf8();
// Lets a console window show the UTF-8 we print, with LF line ends as on Linux.
void useUtf8Console();

}  // namespace zandor::win32

#endif
