#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace zandor {

// The platform's path separator; splitting accepts "\\" and "/" on every platform.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

bool isPathSeparator(char c);
// Everything up to and including the last separator ("" when there is none).
std::string directoryPart(std::string_view path);
// The part after the last separator.
std::string fileNamePart(std::string_view path);
// The file name without its extension (the part after the last point of the name).
std::string baseNamePart(std::string_view path);
// The extension of the file name, point included ("" when there is none).
std::string extensionPart(std::string_view path);

// The directory test of start-up: one trailing separator stripped, then an existing
// directory of exactly that name.
bool directoryExists(std::string_view path);
// An existing entry that is not a directory.
bool fileExists(std::string_view path);
// Creates one directory; false when it could not.
bool createDirectory(std::string_view path);

// File names are Windows-1252 text inside the program, like every other text; the file
// system spells them in its own way (UTF-8 here). These two convert at that edge.
std::filesystem::path nativePath(std::string_view path);
std::string pathFromNative(const std::filesystem::path& path);
// std::fopen for a Windows-1252 file name.
std::FILE* openFile(std::string_view path, const char* mode);

// What a file or folder dialog chose: an existing file, the name of a file to be written,
// or a folder.
enum class ChosenKind { File, NewFile, Folder };

// A chosen name (UTF-8, as the file system spells it) holding a character Windows-1252
// lacks cannot be used: inside the program it would turn into "?" and name no file. The
// German message naming the file or folder and that character, in UTF-8 since it shows
// the character; "" when the name can be used.
std::string unusableNameMessage(std::string_view pathUtf8, ChosenKind kind);

// The full file name of the running program ("" when the system cannot tell).
std::string programFileName();

// The path of an existing file whose name matches without regard to letter case (a-z),
// searched in the given directory; the path itself when it exists as written, "" when
// nothing matches. On Windows, where every spelling names the file, the name is the one the
// file is stored under.
std::string resolveCaseInsensitive(std::string_view path);

}  // namespace zandor
