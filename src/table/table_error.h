#pragma once

#include <exception>
#include <string>
#include <system_error>

#include "base/error.h"

namespace zandor {

// Sub-codes of the table layer, next to the general codes of base/error.h.
namespace sub {
constexpr int kOpen = 1001;
constexpr int kRead = 1010;
constexpr int kWrite = 1011;
constexpr int kCorruption = 1012;
constexpr int kDriver = 1015;
constexpr int kDataType = 1020;
constexpr int kDataWidth = 1021;
constexpr int kUnlocked = 1022;
constexpr int kAppendLock = 1024;
constexpr int kReadOnly = 1025;
constexpr int kBadAlias = 1010;
constexpr int kDuplicateAlias = 1011;
constexpr int kNoTable = 2001;
}  // namespace sub

// Thrown inside the table layer and turned into raiseError() at the public operations, so
// that everything opened on the way is released before the handler is asked.
class TableError : public std::exception {
 public:
  explicit TableError(Error error) : error_(std::move(error)) {}
  const Error& error() const { return error_; }
  Error& error() { return error_; }
  const char* what() const noexcept override { return "table error"; }

 private:
  Error error_;
};

// An error of the table layer; the subsystem (driver name) is filled in by the work area.
Error tableError(int genCode, int subCode, std::string description, std::string fileName = {},
                 int osCode = 0);

// The operating-system code as the error report shows it, the same on every system: the
// codes of Windows for not found (2), access denied (5), sharing violation (32), disk full
// (112), file too large (223) and device error (1117), otherwise the errno value.
int osCodeOf(int errnoValue);

// A failure of the system in German words, with what it was about ("datei.cdx: Kein
// Speicherplatz mehr auf dem Datentr\xe4ger"), 1252 text.
std::string systemErrorText(const std::system_error& e);

}  // namespace zandor
