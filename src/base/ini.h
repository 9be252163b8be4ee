#pragma once

#include <optional>
#include <string>

#include "base/value.h"

namespace zandor {

// The settings file object: INI reading and writing with the rules of the Windows profile
// functions. No cache; every call reads or writes the file.
class TIni {
 public:
  explicit TIni(std::string file) : cIniFile(std::move(file)) {}

  // The key's value without surrounding blanks, at most 4094 characters; "" when the file,
  // section or key is missing. Sections and keys match without regard to case.
  std::string Get(const std::string& section, const std::string& key) const;

  // Writes the value at once: text unchanged, a number as plain digits, a logical as ".T."
  // or ".F.", anything unset as "". Other lines of the file stay as they are. False when
  // the file could not be written.
  bool Set(const std::string& section, const std::string& key, const Value& value) const;

  // Why a settings file that is there cannot be read (German, 1252 text): not a file of its
  // own (a directory, a pipe), or a failed read. Nothing when it is read, or not there at
  // all; only then does every Get answer "" for a reason.
  std::optional<std::string> readProblem() const;

  std::string cIniFile;
};

// The text TIni::Set stores for a value.
std::string iniText(const Value& value);

}  // namespace zandor
