#include "support/index_key_values.h"

#include <cstring>

namespace zandor::test {

double sortableDoubleValue(std::string_view key) {
  unsigned char b[8] = {};
  for (std::size_t i = 0; i < 8 && i < key.size(); ++i) b[i] = static_cast<unsigned char>(key[i]);
  if (b[0] & 0x80) {
    b[0] &= 0x7F;
  } else {
    for (unsigned char& c : b) c = static_cast<unsigned char>(~c);
  }
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | b[i];
  double d = 0;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::int32_t sortableIntegerValue(std::string_view key) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    bits = bits << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return static_cast<std::int32_t>(bits ^ 0x80000000u);
}

}  // namespace zandor::test
