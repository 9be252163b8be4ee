#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zandor {

// The log file of one import run: entries separated by CR LF, no line break after the last
// one, each entry on disk as soon as it is added. Texts are Windows-1252 bytes and are
// written unchanged. A log that cannot be opened swallows its entries without a word, so
// that the run goes on.
class ImportLog {
 public:
  // Creates the file, or opens an existing one to add after its end.
  explicit ImportLog(std::string fileName);
  ~ImportLog();
  ImportLog(const ImportLog&) = delete;
  ImportLog& operator=(const ImportLog&) = delete;

  void add(const std::string& entry);
  void close();

  const std::string& fileName() const { return fileName_; }
  bool isOpen() const { return file_ != nullptr; }

 private:
  std::string fileName_;
  std::FILE* file_ = nullptr;
  bool needsSeparator_ = false;
};

// exePath + "log" + separator + "Einlesen" + date + "-" + time (hh.mm.ss) + ".log".
std::string importLogFileName(const std::string& exePath, std::int32_t day,
                              const std::string& timeWithPoints);

}  // namespace zandor
