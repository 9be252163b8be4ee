#include "support/index_peer.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "support/test_support.h"

namespace zandor::test {

std::vector<FieldInfo> dbfFields(const std::string& path) {
  std::string bytes = readBytes(path);
  std::vector<FieldInfo> fields;
  for (std::size_t pos = 32; pos + 32 <= bytes.size() && bytes[pos] != '\x0d'; pos += 32) {
    FieldInfo f;
    std::string name(bytes.data() + pos, 11);
    f.name = upperAZ(name.substr(0, name.find('\0')));
    f.type = bytes[pos + 11];
    f.length = static_cast<unsigned char>(bytes[pos + 16]);
    f.decimals = static_cast<unsigned char>(bytes[pos + 17]);
    fields.push_back(f);
  }
  return fields;
}

void writeDbf(const std::string& path, const std::vector<FieldInfo>& fields,
              const std::vector<std::vector<std::string>>& rows) {
  std::size_t recordLength = 1;
  for (const auto& f : fields) recordLength += static_cast<std::size_t>(f.length);
  std::size_t headerLength = 32 + 32 * fields.size() + 1;
  std::string out(headerLength, '\0');
  out[0] = 0x03;
  out[1] = 124;
  out[2] = 1;
  out[3] = 1;
  auto put = [&](std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
      out[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  put(4, static_cast<std::uint32_t>(rows.size()), 4);
  put(8, static_cast<std::uint32_t>(headerLength), 2);
  put(10, static_cast<std::uint32_t>(recordLength), 2);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::size_t at = 32 + 32 * i;
    std::memcpy(&out[at], fields[i].name.data(), std::min<std::size_t>(fields[i].name.size(), 10));
    out[at + 11] = fields[i].type;
    out[at + 16] = static_cast<char>(fields[i].length);
    out[at + 17] = static_cast<char>(fields[i].decimals);
  }
  out[headerLength - 1] = '\x0d';
  for (const auto& row : rows) {
    out += ' ';
    for (std::size_t i = 0; i < fields.size(); ++i) {
      auto width = static_cast<std::size_t>(fields[i].length);
      out +=
          fields[i].type == 'N' ? padLeft(row[i], width).substr(0, width) : padRight(row[i], width);
    }
  }
  out += '\x1a';
  writeBytes(path, out);
}

PeerListing peerListing(const std::string& table, const std::string& index,
                        const std::string& tag) {
  PeerListing listing;
  std::string tool = (sharedDir() / "tools" / "idxcheck.pl").string();
  std::string cmd = "perl '" + tool + "' '" + table + "' '" + index + "' '" + tag + "' 2>&1";
  int status = runCommand(cmd, &listing.raw);
  if (status != 0 || listing.raw.rfind("key expr:", 0) != 0) return listing;
  std::istringstream in(listing.raw);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (line.rfind("entries: ", 0) == 0) {
      listing.ok = std::stoul(line.substr(9)) == listing.entries.size();
      break;
    }
    auto tab = line.rfind('\t');
    if (tab == std::string::npos) return listing;
    listing.entries.emplace_back(line.substr(0, tab),
                                 static_cast<std::uint32_t>(std::stoul(line.substr(tab + 1))));
  }
  return listing;
}

char fieldKeyType(const std::vector<FieldInfo>& fields, std::string expression) {
  expression = upperAZ(trimBlanks(expression));
  auto arrow = expression.find("->");
  if (arrow != std::string::npos) expression = expression.substr(arrow + 2);
  for (const auto& f : fields) {
    if (f.name == expression) {
      if (f.type == 'N' || f.type == 'F' || f.type == 'I' || f.type == 'B' || f.type == 'Y') {
        return 'N';
      }
      return f.type == 'D' ? 'D' : (f.type == 'L' ? 'L' : 'C');
    }
  }
  return 'C';
}

}  // namespace zandor::test
