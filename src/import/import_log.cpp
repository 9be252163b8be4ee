#include "import/import_log.h"

#include <cerrno>

#include "base/date.h"
#include "base/paths.h"

namespace zandor {

ImportLog::ImportLog(std::string fileName) : fileName_(std::move(fileName)) {
  // An existing file (a second run within the same second) is continued, not replaced.
  needsSeparator_ = fileExists(fileName_);
  if (const int err = file_.openOrCreate(fileName_)) {
    fail(err);
    return;
  }
  made_ = true;
  const long long size = file_.size();
  if (size < 0) {
    fail(EIO);
    return;
  }
  end_ = static_cast<std::uint64_t>(size);
}

ImportLog::~ImportLog() {
  close();
}

void ImportLog::fail(int err) {
  if (failure_ == 0) failure_ = err;
}

void ImportLog::add(const std::string& entry) {
  const std::size_t index = added_++;
  if (failure_ == 0) {
    const std::string bytes = (needsSeparator_ ? "\r\n" : "") + entry;
    if (const int err = file_.writeAt(end_, bytes.data(), bytes.size())) {
      fail(err);
      // What part of the entry did get there is taken back: the log ends with whole entries.
      file_.truncate(end_);
    } else {
      end_ += bytes.size();
      needsSeparator_ = true;
      return;
    }
  }
  if (lost_.size() < kKeptLost) lost_.push_back({index, entry});
}

void ImportLog::close() {
  if (!file_.isOpen()) return;
  if (failure_ == 0) fail(file_.sync());
  const int closed = file_.close();
  if (failure_ == 0) fail(closed);
}

std::string importLogFileName(const std::string& exePath, std::int32_t day,
                              const std::string& timeWithPoints) {
  return exePath + "log" + kPathSeparator + "Einlesen" + dateToText(day) + "-" + timeWithPoints +
         ".log";
}

}  // namespace zandor
