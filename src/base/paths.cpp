#include "base/paths.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/encoding.h"
#include "base/text.h"
#include "base/windows_api.h"

namespace zandor {

namespace fs = std::filesystem;

bool isPathSeparator(char c) {
  return c == '\\' || c == '/';
}

static std::size_t lastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (isPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

std::string directoryPart(std::string_view path) {
  const std::size_t pos = lastSeparator(path);
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string fileNamePart(std::string_view path) {
  const std::size_t pos = lastSeparator(path);
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string baseNamePart(std::string_view path) {
  const std::string name = fileNamePart(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string extensionPart(std::string_view path) {
  const std::string name = fileNamePart(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string unusableNameMessage(std::string_view pathUtf8, ChosenKind kind) {
  const char32_t character = firstCharacterOutsideCp1252(pathUtf8);
  if (character == 0) return {};
  // The part of the path that holds the character; a part before the last is a folder.
  std::size_t begin = 0;
  std::size_t end = 0;
  for (;;) {
    end = begin;
    while (end < pathUtf8.size() && !isPathSeparator(pathUtf8[end])) ++end;
    if (end == pathUtf8.size() || firstCharacterOutsideCp1252(pathUtf8.substr(begin, end - begin)))
      break;
    begin = end + 1;
  }
  const bool folder = end < pathUtf8.size() || kind == ChosenKind::Folder;
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
  std::string text = cp1252ToUtf8(folder ? "Der Ordnername \x84" : "Der Dateiname \x84");
  text += pathUtf8.substr(begin, end - begin);
  text += cp1252ToUtf8("\x93 enth\xe4lt das Zeichen \x84");
  appendUtf8(text, character);
  text += cp1252ToUtf8("\x93 (");
  text += code;
  text += cp1252ToUtf8(
      "), das Zandor nicht verarbeiten kann: Zandor kennt nur die Zeichen des "
      "westeurop\xe4ischen Windows-Zeichensatzes (1252).\n\nGew\xe4hlt: ");
  text += pathUtf8;
  text += cp1252ToUtf8(folder ? "\n\nBitte benennen Sie den Ordner um und w\xe4hlen Sie erneut."
                       : kind == ChosenKind::NewFile
                           ? "\n\nBitte w\xe4hlen Sie einen anderen Namen."
                           : "\n\nBitte benennen Sie die Datei um und w\xe4hlen Sie sie erneut.");
  return text;
}

std::filesystem::path nativePath(std::string_view path) {
#ifdef _WIN32
  return std::filesystem::path(win32::widePath(path));
#else
  return std::filesystem::path(cp1252ToUtf8(path));
#endif
}

std::string pathFromNative(const std::filesystem::path& path) {
#ifdef _WIN32
  return win32::narrowPath(path.native());
#else
  return utf8ToCp1252(path.string());
#endif
}

std::FILE* openFile(std::string_view path, const char* mode) {
#ifdef _WIN32
  const std::string m(mode);
  return _wfopen(nativePath(path).c_str(), std::wstring(m.begin(), m.end()).c_str());
#else
  return std::fopen(nativePath(path).c_str(), mode);
#endif
}

bool directoryExists(std::string_view path) {
  std::string p(path);
  if (!p.empty() && isPathSeparator(p.back())) p.pop_back();
  if (p.empty()) return false;
  std::error_code ec;
  return fs::is_directory(nativePath(p), ec);
}

bool fileExists(std::string_view path) {
  std::error_code ec;
  const auto status = fs::status(nativePath(path), ec);
  return !ec && fs::exists(status) && !fs::is_directory(status);
}

bool createDirectory(std::string_view path) {
  std::error_code ec;
  return fs::create_directory(nativePath(path), ec);
}

std::string programFileName() {
#ifdef _WIN32
  return win32::moduleFileName();
#else
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : pathFromNative(self);
#endif
}

std::string resolveCaseInsensitive(std::string_view path) {
#ifdef _WIN32
  // Every spelling names the file there; messages show the one it is stored under.
  const std::string stored = win32::storedFileName(path);
  return stored.empty() ? std::string() : directoryPart(path) + stored;
#else
  std::error_code ec;
  if (fs::exists(nativePath(path), ec)) return std::string(path);
  std::string dir = directoryPart(path);
  const std::string name = fileNamePart(path);
  fs::directory_iterator it(dir.empty() ? fs::path(".") : nativePath(dir), ec);
  if (ec) return {};
  for (const auto& entry : it) {
    const std::string candidate = pathFromNative(entry.path().filename());
    if (equalsIgnoreCaseAZ(candidate, name)) return dir + candidate;
  }
  return {};
#endif
}

}  // namespace zandor
