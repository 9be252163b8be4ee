#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct zip;
struct zip_file;
struct inflate_state;

namespace zandor::sheet {

// Reads the inflated bytes of one part of a zip chunk by chunk. A deflated part that is not
// encrypted is inflated here with ISA-L, about twice as fast as zlib behind libzip, and its
// CRC-32 and size are checked against the archive's; any other part is read through libzip,
// which checks the same. Opening the sheet is mostly inflating and parsing, so this counts.
// Builds without ISA-L (Windows) read every part through libzip.
class PartReader {
 public:
  // Throws SheetReadError when the part is missing, damaged or protected by a password.
  // Inflating beyond maxBytes is refused (a zip bomb).
  PartReader(zip* archive, const std::string& entry, std::uint64_t maxBytes);
  ~PartReader();
  PartReader(const PartReader&) = delete;
  PartReader& operator=(const PartReader&) = delete;

  // Inflated bytes put into buffer (at most size); 0 at the end of the part. Throws
  // SheetReadError when the part turns out damaged or inflates beyond the most bytes it
  // was given.
  std::size_t read(char* buffer, std::size_t size);
  // The inflated size the archive states, 0 when it states none.
  std::uint64_t statedSize() const { return statedSize_; }

 private:
  [[noreturn]] void damaged() const;
  std::size_t inflateInto(char* buffer, std::size_t size);

  std::string entry_;
  std::uint64_t maxBytes_;
  zip_file* file_ = nullptr;
  std::unique_ptr<inflate_state> state_;  // null: libzip inflates
  std::vector<unsigned char> input_;
  bool inputEnded_ = false;
  bool finished_ = false;
  std::uint32_t expectedCrc_ = 0;
  std::uint64_t statedSize_ = 0;
  std::uint64_t produced_ = 0;
  std::uint64_t total_ = 0;  // bytes handed out, however inflated
};

}  // namespace zandor::sheet
