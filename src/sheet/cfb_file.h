#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandor::sheet {

// A compound file (the container of .xls workbooks and of encrypted Office files), read
// whole into memory. Only streams are read; nothing is written.
class CompoundFile {
 public:
  // Throws SheetReadError when the file is no well-formed compound file.
  explicit CompoundFile(const std::string& path);
  // The same for a file already in memory.
  static CompoundFile fromBytes(std::string bytes);

  // Stream names are compared without regard to ASCII letter case.
  bool hasStream(std::u16string_view name) const;
  // The stream's bytes; throws SheetReadError when it is missing or its chain is broken.
  std::string readStream(std::u16string_view name) const;

 private:
  CompoundFile() = default;
  void parse();

  struct Entry {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
  };
  std::string chain(std::uint32_t start, std::uint64_t size, bool mini) const;
  const Entry* find(std::u16string_view name) const;
  std::string_view sector(std::uint32_t index) const;

  std::string bytes_;
  std::uint32_t sectorSize_ = 512;
  std::uint32_t miniSectorSize_ = 64;
  std::uint32_t miniCutoff_ = 4096;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> miniFat_;
  std::vector<Entry> entries_;
  std::string miniStream_;
};

}  // namespace zandor::sheet
