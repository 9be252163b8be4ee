#include "sheet/biff_records.h"

#include "sheet/sheet_error.h"

namespace zandor::sheet {

namespace {
constexpr std::uint16_t kContinue = 0x003C;
}

void damagedBiff() {
  throw SheetReadError(
      "Die Excel-Datei ist besch\xc3\xa4"
      "digt.");
}

bool BiffRecords::next(BiffRecord& rec) {
  if (at_ >= stream_.size() || stream_.size() - at_ < 4) return false;
  const std::uint16_t id = le16(stream_, at_), length = le16(stream_, at_ + 2);
  if (stream_.size() - at_ - 4 < length) damagedBiff();
  rec.id = id;
  rec.data = stream_.substr(at_ + 4, length);
  rec.parts.clear();
  at_ += 4u + length;
  return true;
}

const BiffRecord& BiffRecords::withContinues(BiffRecord& rec) {
  rec.parts.assign(1, rec.data);
  while (stream_.size() - at_ >= 4 && le16(stream_, at_) == kContinue) {
    const std::uint16_t length = le16(stream_, at_ + 2);
    if (stream_.size() - at_ - 4 < length) damagedBiff();
    rec.parts.push_back(stream_.substr(at_ + 4, length));
    at_ += 4u + length;
  }
  return rec;
}

BiffText::BiffText(const BiffRecord& rec, std::size_t offset)
    : parts_(rec.parts.empty() ? std::vector<std::string_view>{rec.data} : rec.parts) {
  skip(offset);
}

bool BiffText::atEnd() const {
  for (std::size_t p = part_, at = at_; p < parts_.size(); ++p, at = 0) {
    if (at < parts_[p].size()) return false;
  }
  return true;
}

std::uint8_t BiffText::byte() {
  while (part_ < parts_.size() && at_ >= parts_[part_].size()) {
    ++part_;
    at_ = 0;
  }
  if (part_ >= parts_.size()) damagedBiff();
  return static_cast<std::uint8_t>(parts_[part_][at_++]);
}

std::uint16_t BiffText::u16() {
  const std::uint16_t low = byte();
  return static_cast<std::uint16_t>(low | (byte() << 8));
}

std::uint32_t BiffText::u32() {
  const std::uint32_t low = u16();
  return low | (static_cast<std::uint32_t>(u16()) << 16);
}

void BiffText::skip(std::uint64_t count) {
  while (count > 0) {
    if (part_ >= parts_.size()) damagedBiff();
    const std::size_t left = parts_[part_].size() - at_;
    if (left == 0) {
      ++part_;
      at_ = 0;
      continue;
    }
    const std::size_t step = count < left ? static_cast<std::size_t>(count) : left;
    at_ += step;
    count -= step;
  }
}

std::u16string BiffText::characters(std::size_t count, bool wide) {
  std::u16string out;
  out.reserve(count);
  while (out.size() < count) {
    if (part_ >= parts_.size()) damagedBiff();
    if (at_ >= parts_[part_].size()) {
      // The text goes on in the next part, which says again how wide its characters are.
      ++part_;
      at_ = 0;
      wide = byte() & 1;
      continue;
    }
    const std::string_view p = parts_[part_];
    if (wide) {
      if (p.size() - at_ < 2) damagedBiff();
      out += static_cast<char16_t>(le16(p, at_));
      at_ += 2;
    } else {
      out += static_cast<char16_t>(static_cast<unsigned char>(p[at_]));
      ++at_;
    }
  }
  return out;
}

std::u16string BiffText::shortString() {
  const std::size_t count = byte();
  const bool wide = byte() & 1;
  return characters(count, wide);
}

std::u16string BiffText::longString() {
  const std::size_t count = u16();
  const std::uint8_t options = byte();
  const std::uint16_t runs = options & 0x08 ? u16() : 0;
  const std::uint32_t phonetic = options & 0x04 ? u32() : 0;
  std::u16string text = characters(count, options & 1);
  skip(4ull * runs + phonetic);
  return text;
}

}  // namespace zandor::sheet
