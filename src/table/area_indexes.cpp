#include "table/area_indexes.h"
#include "base/paths.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "base/error.h"
#include "base/text.h"
#include "table/area_record.h"
#include "table/expression.h"
#include "table/index_error.h"
#include "table/index_maintenance.h"
#include "table/table_error.h"

namespace zandor {

namespace {

std::string sameFileKey(const std::string& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(nativePath(path), ec);
  std::string key = ec ? path : canonical.string();
#ifdef _WIN32
  // The file system there ignores the letter case of names: KUNDE.NTX is kunde.ntx.
  upperAZInPlace(key);
#endif
  return key;
}

}  // namespace

IndexDriver indexDriverFor(const std::string& tableDriver) {
  return tableDriver == "DBFCDX" ? IndexDriver::Cdx : IndexDriver::Ntx;
}

const char* indexExtension(IndexDriver driver) {
  return driver == IndexDriver::Cdx ? ".cdx" : ".ntx";
}

AreaIndexes::~AreaIndexes() {
  try {
    ErrorGuard quiet;  // no handler is asked from a destructor
    settle();
  } catch (...) {
    // Going away: what could not be written is given up, as by the files' own clean-up.
  }
}

OpenIndex* AreaIndexes::find(const std::string& path) {
  settle();
  const std::string wanted = sameFileKey(path);
  for (auto& f : files_) {
    if (sameFileKey(f->file->path()) == wanted) return f.get();
  }
  return nullptr;
}

OpenIndex& AreaIndexes::add(std::unique_ptr<OpenIndex> file) {
  settle();
  files_.push_back(std::move(file));
  return *files_.back();
}

const std::vector<std::unique_ptr<OpenIndex>>& AreaIndexes::files() {
  settle();
  return files_;
}

void AreaIndexes::setControlling(BoundOrder* order) {
  settle();
  controlling_ = order;
}

void AreaIndexes::setWorkLane(WorkLane* lane) {
  try {
    settle();
  } catch (...) {
    // The old lane has been waited for before anything here fails: it is let go of all the
    // same (it may not outlive this call), and what failed stays marked to be done in place.
    lane_ = lane;
    throw;
  }
  lane_ = lane;
}

void AreaIndexes::maintainFile(FileChanges& file, std::uint32_t recno) {
  for (KeyChange& c : file.changes) maintainKeys(*c.order, c.before, c.after, recno);
  file.file->file->commit();
}

// On the lane's helper (or here, when it has not begun): errors come out as exceptions,
// never to the handler, which belongs to this thread's caller.
void AreaIndexes::runHandedOver(void* self) {
  auto& ix = *static_cast<AreaIndexes*>(self);
  ErrorGuard guard;
  for (std::size_t i = 0; i < ix.handedCount_; ++i) {
    FileChanges& file = ix.handed_[i];
    try {
      maintainFile(file, ix.handedRecno_);
    } catch (const ErrorException&) {
      file.failed = true;  // the file is back at its last commit
    } catch (...) {
      ix.handedFailure_ = std::current_exception();
      for (; i < ix.handedCount_; ++i) ix.handed_[i].failed = true;
      return;
    }
  }
}

void AreaIndexes::sync() {
  settle();
  for (auto& f : files_) {
    for (;;) {
      try {
        f->file->sync();
        break;
      } catch (const std::system_error& e) {
        const Error error = indexWriteError(driverName(driver_), f->file->path(), e.code().value());
        if (raiseError(error) != ErrorAnswer::Retry) break;
      }
    }
  }
}

void AreaIndexes::settle() {
  if (handedOver_) {
    lane_->settle();
    handedOver_ = false;
    if (handedFailure_) std::rethrow_exception(std::exchange(handedFailure_, nullptr));
  }
  // A file stays marked until its keys are in: an error here that the handler lets pass
  // must not lose them for good.
  for (std::size_t i = 0; i < handedCount_; ++i) {
    FileChanges& file = handed_[i];
    if (!file.failed) continue;
    maintainFile(file, handedRecno_);
    file.failed = false;
  }
}

bool AreaIndexes::hasCandidateOrder() const {
  for (const auto& f : files_) {
    for (const BoundOrder& order : f->orders) {
      if (order.order->info().candidate) return true;
    }
  }
  return false;
}

void AreaIndexes::checkRecord(WorkArea& area) {
  const AreaRecord now(area, AreaRecord::State::Current);
  const AreaRecord before(area, AreaRecord::State::Original);
  for (const auto& f : files_) {
    for (BoundOrder& order : f->orders) {
      if (!order.order->info().candidate) continue;
      try {
        const KeySnapshot next = snapshotKey(order, now);
        if (!next.qualifies) continue;
        if (!area.isAppended()) {
          const KeySnapshot old = snapshotKey(order, before);
          if (old.qualifies && old.key == next.key) continue;
        }
        const std::optional<IndexEntry> held = order.order->seek(next.key);
        if (held && held->key == next.key && held->recno != area.recNo()) {
          throw TableError(duplicateKeyError(driverName(driver_), f->file->path(),
                                             order.order->info().name, next.key));
        }
      } catch (const ExpressionError&) {
        // Reported as damage when the record's keys are written.
      }
    }
  }
}

void AreaIndexes::recordWritten(WorkArea& area) {
  settle();
  const AreaRecord now(area, AreaRecord::State::Current);
  const AreaRecord before(area, AreaRecord::State::Original);
  // The first order that cannot be evaluated, in file order, is the one reported.
  std::optional<Error> failure;
  std::size_t failedFile = files_.size();
  const auto keysOf = [&](std::size_t at, auto&& maintain) {
    OpenIndex& f = *files_[at];
    for (BoundOrder& order : f.orders) {
      if (order.order->info().custom) continue;
      try {
        std::optional<KeySnapshot> old;
        if (!area.isAppended()) old = snapshotKey(order, before);
        maintain(order, std::move(old), snapshotKey(order, now));
      } catch (const ExpressionError& e) {
        if (at < failedFile) {
          failedFile = at;
          failure = indexDamageError(driverName(driver_), f.file->path(),
                                     order.order->info().name + ": " + e.what());
        }
      }
    }
  };
  const auto handedToLane = [&](const OpenIndex& f) {
    const bool holdsControlling = controlling_ && controlling_ >= f.orders.data() &&
                                  controlling_ < f.orders.data() + f.orders.size();
    return lane_ && !holdsControlling;
  };
  // What goes to the lane is handed over first, so that it runs beside the rest.
  handedCount_ = 0;
  for (std::size_t at = 0; at < files_.size(); ++at) {
    if (!handedToLane(*files_[at])) continue;
    if (handed_.size() == handedCount_) handed_.emplace_back();
    FileChanges& handed = handed_[handedCount_++];
    handed.file = files_[at].get();
    handed.changes.clear();
    handed.failed = false;
    keysOf(at, [&](BoundOrder& order, std::optional<KeySnapshot> old, KeySnapshot next) {
      handed.changes.push_back({&order, std::move(old), std::move(next)});
    });
  }
  if (handedCount_ > 0) {
    handedRecno_ = area.recNo();
    lane_->settle();  // another area's work handed to the same lane
    lane_->post(&AreaIndexes::runHandedOver, this);
    handedOver_ = true;
  }
  for (std::size_t at = 0; at < files_.size(); ++at) {
    if (handedToLane(*files_[at])) continue;
    keysOf(at, [&](BoundOrder& order, const std::optional<KeySnapshot>& old,
                   const KeySnapshot& next) { maintainKeys(order, old, next, area.recNo()); });
    files_[at]->file->commit();
  }
  if (failure) raiseError(*failure);
}

}  // namespace zandor
