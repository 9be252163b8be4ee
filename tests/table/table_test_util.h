#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/error.h"
#include "table/work_areas.h"

namespace zandor::test {

// Runs an operation inside a guard and hands back the error it raised (none when it ran).
template <class F>
std::optional<Error> errorOf(F&& operation) {
  ErrorGuard guard;
  try {
    operation();
  } catch (const ErrorException& e) {
    return e.error();
  }
  return std::nullopt;
}

inline std::uint32_t u32At(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}
inline std::uint16_t u16At(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// Record `recNo` of a raw table file, taken with the lengths its header states.
inline std::string rawRecord(const std::string& file, std::uint32_t recNo) {
  const std::size_t headerLength = u16At(file, 8);
  const std::size_t recordLength = u16At(file, 10);
  return file.substr(headerLength + (recNo - 1) * recordLength, recordLength);
}

}  // namespace zandor::test
