#include "table/code_page.h"

#include "table/code_page_tables.h"

namespace zandor {

namespace {

struct MarkPage {
  std::uint8_t mark;
  int page;
};

// Language driver marks of the dBase and FoxPro families and the page each names.
constexpr MarkPage kMarks[] = {
    {0x00, 0},     {0x01, 437},   {0x02, 850},   {0x03, 1252}, {0x04, 10000}, {0x08, 865},
    {0x09, 437},   {0x0A, 850},   {0x0B, 437},   {0x0D, 437},  {0x0E, 850},   {0x0F, 437},
    {0x10, 850},   {0x11, 437},   {0x12, 850},   {0x13, 932},  {0x14, 850},   {0x15, 437},
    {0x16, 850},   {0x17, 865},   {0x18, 437},   {0x19, 437},  {0x1A, 850},   {0x1B, 437},
    {0x1C, 863},   {0x1D, 850},   {0x1F, 852},   {0x22, 852},  {0x23, 852},   {0x24, 860},
    {0x25, 850},   {0x26, 866},   {0x37, 850},   {0x40, 852},  {0x4D, 936},   {0x4E, 949},
    {0x4F, 950},   {0x50, 874},   {0x57, 1252},  {0x58, 1252}, {0x59, 1252},  {0x64, 852},
    {0x65, 866},   {0x66, 865},   {0x67, 861},   {0x6A, 737},  {0x6B, 857},   {0x78, 950},
    {0x79, 949},   {0x7A, 936},   {0x7B, 932},   {0x7C, 874},  {0x7D, 1255},  {0x7E, 1256},
    {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251},  {0xCA, 1254},
    {0xCB, 1253},  {0xCC, 1257},
};

// Pages of two-byte characters: only their one-byte part, ASCII, is the same as in 1252, so
// nothing beyond it translates.
bool isDoubleBytePage(int page) {
  return page == 932 || page == 936 || page == 949 || page == 950;
}

// The first byte of a two-byte character.
bool isLeadByte(int page, unsigned char b) {
  if (page == 932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return b >= 0x81 && b <= 0xFE;
}

}  // namespace

std::optional<TableCodePage> TableCodePage::ofMark(std::uint8_t mark) {
  for (const MarkPage& m : kMarks) {
    if (m.mark != mark) continue;
    TableCodePage cp;
    cp.number_ = m.page;
    if (m.page == 0 || m.page == 1252) return cp;
    cp.translates_ = true;
    cp.doubleByte_ = isDoubleBytePage(m.page);
    if (cp.doubleByte_) return cp;
    const std::uint8_t* table = codePageToAnsiTable(m.page);
    if (!table) return std::nullopt;
    for (int i = 0; i < 128; ++i) {
      cp.toAnsi_[static_cast<std::size_t>(i)] = table[i];
      if (table[i] >= 0x80) cp.fromAnsi_[table[i] - 0x80u] = static_cast<std::uint8_t>(0x80 + i);
    }
    return cp;
  }
  return std::nullopt;
}

std::string TableCodePage::toAnsi(std::string_view tableText) const {
  if (doubleByte_) {
    std::string out;
    for (std::size_t i = 0; i < tableText.size(); ++i) {
      const auto b = static_cast<unsigned char>(tableText[i]);
      if (b < 0x80) {
        out += tableText[i];
        continue;
      }
      if (isLeadByte(number_, b) && i + 1 < tableText.size()) ++i;
      out += '?';
    }
    return out;
  }
  std::string out(tableText);
  if (!translates_) return out;
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) continue;
    const std::uint8_t a = toAnsi_[b - 0x80u];
    c = a ? static_cast<char>(a) : '?';
  }
  return out;
}

std::optional<std::string> TableCodePage::fromAnsi(std::string_view text, char* missing) const {
  std::string out(text);
  if (!translates_) return out;
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) continue;
    const std::uint8_t t = fromAnsi_[b - 0x80u];
    if (!t) {
      if (missing) *missing = c;
      return std::nullopt;
    }
    c = static_cast<char>(t);
  }
  return out;
}

}  // namespace zandor
