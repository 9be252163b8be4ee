#include "base/text.h"

namespace zandor {

bool isLeadingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isBlankText(std::string_view text) {
  for (char c : text) {
    if (!isLeadingSpace(c)) return false;
  }
  return true;
}

std::string trimmed(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && isLeadingSpace(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && text[end - 1] == ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

std::string trimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return std::string(text.substr(0, end));
}

std::string trimBlanks(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && text[begin] == ' ') ++begin;
  return trimRight(text.substr(begin));
}

static char upperByte(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

void upperAZInPlace(std::string& text) {
  for (char& c : text) c = upperByte(c);
}

std::string upperAZ(std::string_view text) {
  std::string result(text);
  upperAZInPlace(result);
  return result;
}

bool equalsIgnoreCaseAZ(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upperByte(a[i]) != upperByte(b[i])) return false;
  }
  return true;
}

bool beginsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string padRight(std::string_view text, std::size_t width) {
  std::string result(text.substr(0, width));
  result.resize(width, ' ');
  return result;
}

std::string padLeft(std::string_view text, std::size_t width) {
  if (text.size() >= width) return std::string(text);
  return std::string(width - text.size(), ' ') + std::string(text);
}

}  // namespace zandor
