#include "sheet/cfb_file.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sheet/sheet_error.h"

namespace zandor::sheet {

namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint64_t kMaxFileBytes = 512ull << 20;

std::uint32_t u32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}
std::uint16_t u16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    (static_cast<unsigned char>(b[at + 1]) << 8));
}

[[noreturn]] void corrupt() {
  throw SheetReadError(
      "Die Datei ist besch\xc3\xa4"
      "digt (Verbunddatei).");
}

char16_t upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? c - 32 : c;
}

}  // namespace

CompoundFile::CompoundFile(const std::string& path) {
  // The name is UTF-8, which std::string paths are not on Windows.
  std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                   std::ios::binary);
  if (!in) throw SheetReadError("Die Datei l\xc3\xa4sst sich nicht lesen.");
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(in.tellg());
  if (size > kMaxFileBytes) throw SheetReadError("Die Datei ist zu gro\xc3\x9f.");
  bytes_.resize(static_cast<std::size_t>(size));
  in.seekg(0);
  in.read(bytes_.data(), static_cast<std::streamsize>(size));
  parse();
}

CompoundFile CompoundFile::fromBytes(std::string bytes) {
  CompoundFile file;
  if (bytes.size() > kMaxFileBytes) throw SheetReadError("Die Datei ist zu gro\xc3\x9f.");
  file.bytes_ = std::move(bytes);
  file.parse();
  return file;
}

void CompoundFile::parse() {
  if (bytes_.size() < 512) corrupt();

  const std::uint16_t shift = u16(bytes_, 0x1E), miniShift = u16(bytes_, 0x20);
  if ((shift != 9 && shift != 12) || miniShift != 6) corrupt();
  sectorSize_ = 1u << shift;
  miniSectorSize_ = 1u << miniShift;
  miniCutoff_ = u32(bytes_, 0x38);
  const std::uint32_t fatSectors = u32(bytes_, 0x2C);
  const std::uint32_t firstDir = u32(bytes_, 0x30);
  const std::uint32_t firstMiniFat = u32(bytes_, 0x3C);
  std::uint32_t difatSector = u32(bytes_, 0x44);
  const std::uint32_t sectorCount =
      static_cast<std::uint32_t>((bytes_.size() + sectorSize_ - 1) / sectorSize_);
  if (fatSectors > sectorCount) corrupt();

  // The FAT sectors: 109 listed in the header, the rest in the DIFAT chain.
  std::vector<std::uint32_t> fatList;
  for (std::uint32_t i = 0; i < 109 && fatList.size() < fatSectors; ++i)
    fatList.push_back(u32(bytes_, 0x4C + 4 * i));
  const std::uint32_t perDifat = sectorSize_ / 4 - 1;
  for (std::uint32_t guard = 0; fatList.size() < fatSectors; ++guard) {
    if (guard > sectorCount || difatSector >= sectorCount) corrupt();
    const std::string_view s = sector(difatSector);
    for (std::uint32_t i = 0; i < perDifat && fatList.size() < fatSectors; ++i)
      fatList.push_back(u32(s, 4 * i));
    difatSector = u32(s, 4 * perDifat);
  }
  for (std::uint32_t f : fatList) {
    if (f >= sectorCount) corrupt();
    const std::string_view s = sector(f);
    for (std::uint32_t i = 0; i < sectorSize_ / 4; ++i) fat_.push_back(u32(s, 4 * i));
  }
  // Entries for sectors beyond the end of the file lead nowhere (a FAT sector listed over
  // and over would otherwise make the table many times the file).
  if (fat_.size() > sectorCount) fat_.resize(sectorCount);

  const std::string dir = chain(firstDir, UINT64_MAX, false);
  for (std::size_t at = 0; at + 128 <= dir.size(); at += 128) {
    Entry e;
    const std::uint16_t nameBytes = u16(dir, at + 64);
    for (std::size_t i = 0; i + 2 < nameBytes && i < 62; i += 2)
      e.name += static_cast<char16_t>(u16(dir, at + i));
    e.type = static_cast<std::uint8_t>(dir[at + 66]);
    e.start = u32(dir, at + 116);
    e.size = u32(dir, at + 120);
    if (shift == 12) e.size |= static_cast<std::uint64_t>(u32(dir, at + 124)) << 32;
    entries_.push_back(std::move(e));
  }
  if (entries_.empty() || entries_[0].type != 5) corrupt();
  if (firstMiniFat != kEndOfChain && firstMiniFat != kFreeSector) {
    const std::string mf = chain(firstMiniFat, UINT64_MAX, false);
    for (std::size_t i = 0; i + 4 <= mf.size(); i += 4) miniFat_.push_back(u32(mf, i));
    miniStream_ = chain(entries_[0].start, entries_[0].size, false);
    const std::size_t miniSectors = miniStream_.size() / miniSectorSize_;
    if (miniFat_.size() > miniSectors) miniFat_.resize(miniSectors);
  }
}

std::string_view CompoundFile::sector(std::uint32_t index) const {
  const std::uint64_t at = (static_cast<std::uint64_t>(index) + 1) * sectorSize_;
  if (at >= bytes_.size()) corrupt();
  const std::uint64_t len = std::min<std::uint64_t>(sectorSize_, bytes_.size() - at);
  std::string_view s(bytes_.data() + at, static_cast<std::size_t>(len));
  if (len < sectorSize_) corrupt();
  return s;
}

std::string CompoundFile::chain(std::uint32_t start, std::uint64_t size, bool mini) const {
  const auto& fat = mini ? miniFat_ : fat_;
  const std::uint32_t unit = mini ? miniSectorSize_ : sectorSize_;
  // A chain that comes back to a sector is damaged, however long its stream claims to be:
  // taking each sector once keeps every stream within the file, loops or no loops.
  std::vector<bool> taken(fat.size());
  std::string out;
  std::uint32_t current = start;
  while (current != kEndOfChain && out.size() < size) {
    if (current >= fat.size() || taken[current]) corrupt();
    taken[current] = true;
    if (mini) {
      const std::uint64_t at = static_cast<std::uint64_t>(current) * unit;
      if (at + unit > miniStream_.size()) corrupt();
      out.append(miniStream_, static_cast<std::size_t>(at), unit);
    } else {
      out.append(sector(current));
    }
    current = fat[current];
  }
  if (size != UINT64_MAX) {
    if (out.size() < size) corrupt();
    out.resize(static_cast<std::size_t>(size));
  }
  return out;
}

const CompoundFile::Entry* CompoundFile::find(std::u16string_view name) const {
  for (const Entry& e : entries_) {
    if (e.type != 2 || e.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size(); ++i) same = same && upper(e.name[i]) == upper(name[i]);
    if (same) return &e;
  }
  return nullptr;
}

bool CompoundFile::hasStream(std::u16string_view name) const {
  return find(name) != nullptr;
}

std::string CompoundFile::readStream(std::u16string_view name) const {
  const Entry* e = find(name);
  if (!e) throw SheetReadError("Die Datei enth\xc3\xa4lt keine Arbeitsmappe.");
  return chain(e->start, e->size, e->size < miniCutoff_);
}

}  // namespace zandor::sheet
