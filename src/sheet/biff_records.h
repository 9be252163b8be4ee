#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandor::sheet {

// Little-endian fields of BIFF records; the caller has checked the length.
inline std::uint16_t le16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    (static_cast<unsigned char>(b[at + 1]) << 8));
}
inline std::uint32_t le32(std::string_view b, std::size_t at) {
  return le16(b, at) | (static_cast<std::uint32_t>(le16(b, at + 2)) << 16);
}

// Throws SheetReadError: the workbook stream is damaged.
[[noreturn]] void damagedBiff();

// One record of a workbook stream; parts holds its data and that of the CONTINUE records
// that follow it, where the reader asked for them.
struct BiffRecord {
  std::uint16_t id = 0;
  std::string_view data;
  std::vector<std::string_view> parts;
};

// The records of a workbook stream from an offset on, up to end (where another sheet's
// records begin) or the end of the stream.
class BiffRecords {
 public:
  BiffRecords(const std::string& stream, std::size_t offset, std::size_t end = SIZE_MAX)
      : stream_(std::string_view(stream).substr(0, end)), at_(offset) {}
  // The next record; false at the end. A record reaching beyond the end is damage.
  bool next(BiffRecord& rec);
  // The record with the CONTINUE records that follow it, which are then passed over.
  const BiffRecord& withContinues(BiffRecord& rec);

 private:
  std::string_view stream_;
  std::size_t at_;
};

// Reads the texts of a record and its CONTINUE records: where the characters of a text go
// on in the next part, that part begins with a new option byte (8 or 16 bits a character).
class BiffText {
 public:
  BiffText(const BiffRecord& rec, std::size_t offset);
  bool atEnd() const;
  // A text with an 8-bit length (sheet names).
  std::u16string shortString();
  // A text with a 16-bit length, perhaps with formatting runs and phonetic data, which
  // are passed over.
  std::u16string longString();

 private:
  std::uint8_t byte();
  std::uint16_t u16();
  std::uint32_t u32();
  void skip(std::uint64_t count);
  std::u16string characters(std::size_t count, bool wide);

  std::vector<std::string_view> parts_;
  std::size_t part_ = 0, at_ = 0;
};

class TextPool;
struct WorkbookData;
// Reads a BIFF8 workbook stream; path is the file it came from, to read sheets left for
// later ("" keeps the stream for them). Throws SheetReadError.
void readBiffWorkbook(const std::string& stream, const std::string& path, WorkbookData& book);

}  // namespace zandor::sheet
