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

OpenIndex* AreaIndexes::find(const std::string& path) {
  const std::string wanted = sameFileKey(path);
  for (auto& f : files_) {
    if (sameFileKey(f->file->path()) == wanted) return f.get();
  }
  return nullptr;
}

OpenIndex& AreaIndexes::add(std::unique_ptr<OpenIndex> file) {
  files_.push_back(std::move(file));
  return *files_.back();
}

void AreaIndexes::startWriteback() {
  for (auto& f : files_) f->file->startWriteback();
}

std::optional<Error> AreaIndexes::syncAndClose() {
  std::optional<Error> failure;
  const auto note = [&](const std::string& path, const std::system_error& e) {
    if (failure) return;
    failure = indexWriteError(driverName(driver_), path, e.code().value());
    failure->canRetry = false;
    failure->canDefault = true;
  };
  for (auto& f : files_) {
    const std::string path = f->file->path();
    try {
      f->file->sync();
    } catch (const std::system_error& e) {
      note(path, e);
    }
    try {
      f->file->close();
    } catch (const std::system_error& e) {
      note(path, e);
    }
  }
  return failure;
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
  const AreaRecord now(area, AreaRecord::State::Current);
  const AreaRecord before(area, AreaRecord::State::Original);
  // The first order that cannot be evaluated, in file order, is the one reported, after the
  // others are done.
  std::optional<Error> failure;
  for (const auto& f : files_) {
    for (BoundOrder& order : f->orders) {
      if (order.order->info().custom) continue;
      try {
        std::optional<KeySnapshot> old;
        if (!area.isAppended()) old = snapshotKey(order, before);
        maintainKeys(order, old, snapshotKey(order, now), area.recNo());
      } catch (const ExpressionError& e) {
        if (!failure) {
          failure = indexDamageError(driverName(driver_), f->file->path(),
                                     order.order->info().name + ": " + e.what());
        }
      }
    }
    f->file->commit();
  }
  if (failure) raiseError(*failure);
}

}  // namespace zandor
