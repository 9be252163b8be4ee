// What an OsFile owns and how it is handed on, the same on every platform.
#include <utility>

#include "table/os_file.h"

namespace zandor {

OsFile::~OsFile() {
  close();
}

OsFile::OsFile(OsFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      map_(std::exchange(other.map_, nullptr)),
      mapLength_(std::exchange(other.mapLength_, 0)),
      mapWritable_(std::exchange(other.mapWritable_, 0)),
      usedEnd_(std::exchange(other.usedEnd_, 0)),
      growFailed_(std::exchange(other.growFailed_, false)),
      roomShort_(std::exchange(other.roomShort_, false)) {
  takeOverRoom(other);
}

OsFile& OsFile::operator=(OsFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    map_ = std::exchange(other.map_, nullptr);
    mapLength_ = std::exchange(other.mapLength_, 0);
    mapWritable_ = std::exchange(other.mapWritable_, 0);
    usedEnd_ = std::exchange(other.usedEnd_, 0);
    growFailed_ = std::exchange(other.growFailed_, false);
    roomShort_ = std::exchange(other.roomShort_, false);
    takeOverRoom(other);
  }
  return *this;
}

}  // namespace zandor
