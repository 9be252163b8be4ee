#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "table/os_file.h"

namespace zandor {

// The log file of one import run: entries separated by CR LF, no line break after the last
// one, each entry written as soon as it is added. Texts are Windows-1252 bytes and are
// written unchanged. The log is part of the run's result: a log that cannot be created,
// written, synced or closed keeps the reason, and the entries that did not reach the file
// (from the first one that failed on, so that the file never holds a gap).
class ImportLog {
 public:
  // Creates the file, or opens an existing one to add after its end.
  explicit ImportLog(std::string fileName);
  ~ImportLog();
  ImportLog(const ImportLog&) = delete;
  ImportLog& operator=(const ImportLog&) = delete;

  void add(const std::string& entry);
  // Puts the file on stable storage and closes it.
  void close();

  const std::string& fileName() const { return fileName_; }
  bool isOpen() const { return file_.isOpen(); }
  // Entries added so far, written or not.
  std::size_t entryCount() const { return added_; }
  // 0, or the errno value of the first failure: the file could not be made, an entry not
  // written, the file not synced or not closed.
  int failure() const { return failure_; }
  // Whether the file exists with the entries before the first failure.
  bool fileMade() const { return made_; }
  // The entries that did not reach the file, with their place among all entries (counted
  // from 0); the first kKeptLost of them.
  struct Lost {
    std::size_t index;
    std::string text;
  };
  static constexpr std::size_t kKeptLost = 1000;
  const std::vector<Lost>& lostEntries() const { return lost_; }

 private:
  void fail(int err);

  std::string fileName_;
  OsFile file_;
  std::uint64_t end_ = 0;
  bool needsSeparator_ = false;
  bool made_ = false;
  int failure_ = 0;
  std::size_t added_ = 0;
  std::vector<Lost> lost_;
};

// exePath + "log" + separator + "Einlesen" + date + "-" + time (hh.mm.ss) + ".log".
std::string importLogFileName(const std::string& exePath, std::int32_t day,
                              const std::string& timeWithPoints);

}  // namespace zandor
