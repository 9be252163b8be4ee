#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zandor {

// The code page a table's header marks (byte 29), and its text to and from Windows-1252,
// the program's own text. Other programs read a table in the page its mark names: text
// written there as 1252 bytes would show other characters. No mark and the 1252 marks
// need no translation; the bytes 0x00..0x7F are the same in every page we know.
class TableCodePage {
 public:
  // The page of a mark; nullopt for a mark we do not know.
  static std::optional<TableCodePage> ofMark(std::uint8_t mark);

  // 0 for no mark, else the page's number (1252, 437, 850, 10000 for Macintosh Roman, ...).
  int number() const { return number_; }
  bool translates() const { return translates_; }

  // The table's bytes as 1252 text; a character 1252 does not have reads as "?" (one for
  // each character of a page of two-byte characters, too).
  std::string toAnsi(std::string_view tableText) const;
  // The table's bytes for 1252 text, or nullopt when a character has no counterpart in the
  // page (then *missing holds the first such character). Nothing that would read back as
  // another character is ever written.
  std::optional<std::string> fromAnsi(std::string_view text, char* missing = nullptr) const;

 private:
  int number_ = 0;
  bool translates_ = false;
  bool doubleByte_ = false;
  std::array<std::uint8_t, 128> toAnsi_{};    // bytes 0x80..0xFF, 0: no 1252 character
  std::array<std::uint8_t, 128> fromAnsi_{};  // 1252 bytes 0x80..0xFF, 0: not in the page
};

}  // namespace zandor
