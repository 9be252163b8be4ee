#include "import/import_log.h"

#include "base/date.h"
#include "base/paths.h"

namespace zandor {

ImportLog::ImportLog(std::string fileName) : fileName_(std::move(fileName)) {
  // An existing file (a second run within the same second) is continued, not replaced.
  needsSeparator_ = fileExists(fileName_);
  file_ = openFile(fileName_, "ab");
}

ImportLog::~ImportLog() {
  close();
}

void ImportLog::add(const std::string& entry) {
  if (file_ == nullptr) return;
  if (needsSeparator_) std::fwrite("\r\n", 1, 2, file_);
  if (!entry.empty()) std::fwrite(entry.data(), 1, entry.size(), file_);
  std::fflush(file_);
  needsSeparator_ = true;
}

void ImportLog::close() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
}

std::string importLogFileName(const std::string& exePath, std::int32_t day,
                              const std::string& timeWithPoints) {
  return exePath + "log" + kPathSeparator + "Einlesen" + dateToText(day) + "-" + timeWithPoints +
         ".log";
}

}  // namespace zandor
