#include "table/area_indexes.h"
#include "base/paths.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "base/error.h"
#include "table/area_record.h"
#include "table/expression.h"
#include "table/index_error.h"
#include "table/index_maintenance.h"

namespace zandor {

namespace {

std::string sameFileKey(const std::string& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(nativePath(path), ec);
  return ec ? path : canonical.string();
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

void AreaIndexes::recordWritten(WorkArea& area) {
  const AreaRecord now(area, AreaRecord::State::Current);
  const AreaRecord before(area, AreaRecord::State::Original);
  std::optional<Error> failure;
  for (auto& f : files_) {
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
