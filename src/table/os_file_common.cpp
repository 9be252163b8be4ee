// What an OsFile owns and how it is handed on, the same on every platform.
#include <cerrno>
#include <chrono>
#include <thread>
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

int OsFile::openLocked(const std::string& path, bool readOnly, bool exclusive) {
  using namespace std::chrono_literals;
  const auto giveUp = std::chrono::steady_clock::now() + 2s;
  for (;;) {
    int err = open(path, readOnly);
    if (err == 0) {
      err = lockFile(exclusive);
      if (err != 0) close();
    }
    if (err != EWOULDBLOCK || std::chrono::steady_clock::now() >= giveUp) return err;
    std::this_thread::sleep_for(20ms);
  }
}

}  // namespace zandor
