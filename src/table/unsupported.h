#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/error.h"

namespace zandor {

struct DbfLayout;
struct OrderInfo;

// Features of table and index files written by other programs that we can read (or at least
// recognise) but cannot maintain the way their writers do. A file holding one is refused
// for writing before any byte of it changes; reading for display goes on where it is exact.
constexpr int kUnsupportedGenCode = 30;
constexpr int kUnsupportedSubCode = 1013;

// Thrown inside the table and index layers; what() is the feature, in German (1252 text).
class UnsupportedFeature : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "Nicht unterstützt: FEATURE" for the file, raised by the layer's public operations.
Error unsupportedError(const std::string& driver, const std::string& fileName,
                       const std::string& feature);
bool isUnsupportedError(const Error& error);
// The feature of such an error (its description without the leading words).
std::string unsupportedFeatureOf(const Error& error);

// A table layout we cannot append to or change as its writer would.
std::optional<std::string> unwritableTableFeature(const DbfLayout& layout);
// An order whose keys we cannot maintain as its writer would.
std::optional<std::string> unwritableOrderFeature(const OrderInfo& info);
// For an order whose keys carry the NULL marker, over a table one of whose records holds a
// NULL value (record number given): which field is NULL is not known, so neither is its key.
std::string nullRecordFeature(const OrderInfo& info, std::uint32_t recNo);
// Index files of formats we do not read, by their extension (".mdx", ".ndx", ".idx").
std::optional<std::string> unsupportedIndexFormat(const std::string& path);

}  // namespace zandor
