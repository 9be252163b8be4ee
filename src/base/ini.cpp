#include "base/ini.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "base/date.h"
#include "base/number_text.h"
#include "base/paths.h"
#include "base/text.h"

namespace zandor {

namespace {

constexpr std::size_t kMaxValueLength = 4094;
const std::string kBom = "\xEF\xBB\xBF";

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\r\n", "\n", or "" for a last line without one
};

std::optional<std::string> readFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(nativePath(path), ec)) return std::nullopt;
  std::ifstream in(nativePath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

std::vector<Line> splitLines(const std::string& data) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < data.size()) {
    const std::size_t nl = data.find('\n', pos);
    Line line;
    if (nl == std::string::npos) {
      line.text = data.substr(pos);
      pos = data.size();
    } else {
      const bool cr = nl > pos && data[nl - 1] == '\r';
      line.text = data.substr(pos, nl - pos - (cr ? 1 : 0));
      line.end = cr ? "\r\n" : "\n";
      pos = nl + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string stripTabsBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// The section a line opens, if it is a section line.
std::optional<std::string> sectionName(const std::string& text) {
  const std::string t = stripTabsBlanks(text);
  if (t.empty() || t.front() != '[') return std::nullopt;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return stripTabsBlanks(std::string_view(t).substr(1, close - 1));
}

// The key of a "key=value" line, if the line has an "=".
std::optional<std::string> keyName(const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return stripTabsBlanks(std::string_view(text).substr(0, eq));
}

// Where a section and a key stand in the lines.
struct Location {
  std::optional<std::size_t> section;  // index of the section line
  std::optional<std::size_t> key;      // index of the key line
  std::size_t lastContent = 0;         // last non-blank line of the section
};

Location locate(const std::vector<Line>& lines, const std::string& section,
                const std::string& key) {
  Location loc;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = sectionName(lines[i].text)) {
      if (inSection) break;  // only the first section of that name counts
      if (equalsIgnoreCaseAZ(*name, section)) {
        inSection = true;
        loc.section = i;
        loc.lastContent = i;
      }
      continue;
    }
    if (!inSection) continue;
    if (!stripTabsBlanks(lines[i].text).empty()) loc.lastContent = i;
    if (!loc.key) {
      if (auto k = keyName(lines[i].text); k && equalsIgnoreCaseAZ(*k, key)) loc.key = i;
    }
  }
  return loc;
}

std::vector<Line> linesOf(const std::string& data, bool& hasBom) {
  hasBom = data.compare(0, kBom.size(), kBom) == 0;
  return splitLines(hasBom ? data.substr(kBom.size()) : data);
}

// A line break inside a name or value would add lines of its own.
std::string singleLine(std::string s) {
  for (char& c : s) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return s;
}

// The file a path names, symbolic links followed: a linked settings file stays a link.
std::filesystem::path linkedFile(std::filesystem::path path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (int step = 0; step < 40 && fs::is_symlink(path, ec); ++step) {
    const fs::path target = fs::read_symlink(path, ec);
    if (ec) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

bool writeWhole(const std::string& given, const std::string& data) {
  namespace fs = std::filesystem;
  const fs::path path = linkedFile(nativePath(given));
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  const bool exists = !ec && fs::exists(status);
  if (exists) {
#ifdef _WIN32
    // The read-only mark stops every writer there, an administrator too.
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) return false;
#endif
    // A file we may not write keeps its content, whatever its directory would allow.
    std::ofstream probe(path, std::ios::binary | std::ios::app);
    if (!probe) return false;
  }
  // Write beside the file and rename, so a failure never leaves half a settings file.
  fs::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
      out.close();
      if (out && exists) fs::permissions(temp, status.permissions(), ec);
      if (out && !ec) {
        fs::rename(temp, path, ec);
        if (!ec) return true;
      }
      fs::remove(temp, ec);
    }
  }
  // A directory we may not create files in, but a file we may write: write in place.
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

std::string iniText(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Text:
      return value.asText();
    case Value::Kind::Number:
      return numberToPlainText(value.asNumber());
    case Value::Kind::Logical:
      return value.asLogical() ? ".T." : ".F.";
    case Value::Kind::Date:
      return dateToText(value.asDate().day);
    default:
      return {};
  }
}

std::string TIni::Get(const std::string& section, const std::string& key) const {
  const auto data = readFile(cIniFile);
  if (!data) return {};
  bool hasBom = false;
  const std::vector<Line> lines = linesOf(*data, hasBom);
  const Location loc = locate(lines, section, key);
  if (!loc.key) return {};
  const std::string& text = lines[*loc.key].text;
  std::string value = trimBlanks(std::string_view(text).substr(text.find('=') + 1));
  if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
  return value;
}

std::optional<std::string> TIni::readProblem() const {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(nativePath(cIniFile), ec);
  if (std::filesystem::status_known(status) && !std::filesystem::exists(status)) {
    return std::nullopt;
  }
  if (ec) return std::string("Sie ist nicht zug\xe4nglich");
  if (std::filesystem::is_directory(status)) return std::string("Sie ist ein Verzeichnis");
  if (!std::filesystem::is_regular_file(status)) {
    return std::string("Sie ist keine gew\xf6hnliche Datei");
  }
  if (!readFile(cIniFile)) return std::string("Sie kann nicht gelesen werden");
  return std::nullopt;
}

bool TIni::Set(const std::string& section, const std::string& key, const Value& value) const {
  const std::string cleanSection = singleLine(section);
  const std::string cleanKey = singleLine(key);
  const std::string text = singleLine(iniText(value));

  std::error_code ec;
  const bool exists = std::filesystem::exists(nativePath(cIniFile), ec);
  const auto data = readFile(cIniFile);
  if (exists && !data) return false;  // a directory or an unreadable file: leave it alone

  bool hasBom = false;
  std::vector<Line> lines = data ? linesOf(*data, hasBom) : std::vector<Line>{};
  const Location loc = locate(lines, cleanSection, cleanKey);
  if (loc.key) {
    Line& line = lines[*loc.key];
    line.text = *keyName(line.text) + "=" + text;
  } else if (loc.section) {
    Line& after = lines[loc.lastContent];
    if (after.end.empty()) after.end = "\r\n";
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(loc.lastContent) + 1,
                 Line{cleanKey + "=" + text, "\r\n"});
  } else {
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
    lines.push_back(Line{"[" + cleanSection + "]", "\r\n"});
    lines.push_back(Line{cleanKey + "=" + text, "\r\n"});
  }

  std::string out = hasBom ? kBom : std::string();
  for (const Line& line : lines) out += line.text + line.end;
  return writeWhole(cIniFile, out);
}

}  // namespace zandor
