#include "table/work_areas.h"

#include <cerrno>
#include <exception>

#include "base/error.h"
#include "base/paths.h"
#include "base/text.h"
#include "table/area_record.h"
#include "table/index_open.h"
#include "table/table_drivers.h"
#include "table/table_error.h"

namespace zandor {

namespace {

constexpr std::size_t kMaxAliasLength = 63;

// Runs an operation; a failure goes to the handler, which asks for another attempt or
// lets the operation end with its default result.
// The subsystem of an error is the driver of the area it came from.
template <class R, class F>
R retrying(const WorkArea* area, R defaultResult, F&& body) {
  for (;;) {
    try {
      return body();
    } catch (TableError& e) {
      if (e.error().subsystem.empty()) e.error().subsystem = area ? area->driver() : "DBCMD";
      if (raiseError(e.error()) == ErrorAnswer::Retry) continue;
      return defaultResult;
    }
  }
}

std::string withDefaultExtension(const std::string& file) {
  if (!extensionPart(file).empty()) return file;
  const std::string withExt = file + ".dbf";
  if (fileExists(withExt)) return withExt;
  const std::string resolved = resolveCaseInsensitive(withExt);
  return resolved.empty() ? withExt : resolved;
}

}  // namespace

bool isValidAlias(const std::string& alias) {
  if (alias.empty() || alias.size() > kMaxAliasLength) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(alias[0])) return false;
  for (char c : alias) {
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

WorkAreas::~WorkAreas() {
  closeAll();
}

WorkArea* WorkAreas::area(int number) const {
  const auto it = areas_.find(number);
  return it == areas_.end() ? nullptr : it->second.get();
}

int WorkAreas::areaOf(const std::string& alias) const {
  const std::string wanted = upperAZ(trimBlanks(alias));
  for (const auto& [number, area] : areas_) {
    if (area->alias() == wanted) return number;
  }
  return 0;
}

WorkArea* WorkAreas::requireCurrent(const char* operation) {
  WorkArea* a = current();
  if (!a) {
    Error e = tableError(gen::kNoTable, sub::kNoTable, "Workarea not in use");
    e.subsystem = "DBCMD";
    e.operation = operation;
    throw TableError(e);
  }
  return a;
}

bool WorkAreas::DBUSEAREA(bool newArea, const std::string& driver, const std::string& file,
                          const std::string& alias, std::optional<bool> shared, bool readOnly) {
  for (;;) {
    std::string subsystem = "DBCMD";
    try {
      const std::optional<std::string> driverName = findTableDriver(driver);
      if (!driverName) {
        Error e = tableError(gen::kArgument, sub::kDriver, "Argument error");
        e.operation = "DBUSEAREA";
        throw TableError(e);
      }
      subsystem = *driverName;
      int target = current_;
      if (newArea) {
        target = 1;
        while (areas_.contains(target)) ++target;
      } else if (areas_.contains(target)) {
        closeArea(target);
      }
      const std::string path = withDefaultExtension(file);
      std::unique_ptr<WorkArea> opened =
          WorkArea::open(path, *driverName, shared.value_or(!exclusive_), readOnly);
      const std::string aliasName = upperAZ(trimBlanks(alias.empty() ? baseNamePart(path) : alias));
      if (!isValidAlias(aliasName)) {
        Error e = tableError(gen::kBadAlias, sub::kBadAlias, "Invalid alias", aliasName);
        e.subsystem = "DBCMD";
        throw TableError(e);
      }
      if (areaOf(aliasName) != 0) {
        Error e = tableError(gen::kDuplicateAlias, sub::kDuplicateAlias, "Alias already in use",
                             aliasName);
        e.subsystem = "DBCMD";
        throw TableError(e);
      }
      opened->setAlias(aliasName);
      std::unique_ptr<AreaIndexes> structural;
      if (*driverName == "DBFCDX") {
        const std::string cdx = resolveCaseInsensitive(directoryPart(path) + baseNamePart(path) +
                                                       indexExtension(IndexDriver::Cdx));
        if (!cdx.empty()) {
          // The open error was raised already; the table is not opened without its index.
          if (!addIndexFile(structural, *opened, cdx)) return false;
          opened->setStructuralIndexOpen();
          opened->goTo(1);
        }
      }
      indexes_[target] = std::move(structural);
      areas_[target] = std::move(opened);
      current_ = target;
      return true;
    } catch (TableError& e) {
      // The table that was being opened is closed again by now, untouched.
      if (e.error().subsystem.empty()) e.error().subsystem = subsystem;
      if (e.error().operation.empty()) e.error().operation = "DBUSEAREA";
      if (raiseError(e.error()) == ErrorAnswer::Retry) continue;
      return false;
    }
  }
}

Value WorkAreas::DBSTRUCT() {
  return retrying(nullptr, Value::list({}), [&] {
    const WorkArea* a = requireCurrent("DBSTRUCT");
    std::vector<Value> rows;
    for (const FieldInfo& f : a->fields()) {
      rows.push_back(Value::list({Value::text(f.name), Value::text(std::string(1, f.type)),
                                  Value::integer(f.length), Value::integer(f.decimals),
                                  Value::integer(f.flags)}));
    }
    return Value::list(std::move(rows));
  });
}

bool WorkAreas::DBAPPEND() {
  return retrying(current(), false, [&] {
    requireCurrent("DBAPPEND")->append();
    return true;
  });
}

Value WorkAreas::FIELDPUT(int fieldNo, const Value& value) {
  return putField(fieldNo, value) ? value : Value();
}

bool WorkAreas::putField(int fieldNo, const Value& value) {
  WorkArea* const area = current();
  return retrying(area, false, [&] {
    WorkArea* a = area ? area : requireCurrent("FIELDPUT");
    if (fieldNo <= 0 || fieldNo > static_cast<int>(a->fields().size()) || value.isNil() ||
        a->eof()) {
      return false;
    }
    a->putField(fieldNo - 1, value);
    return true;
  });
}

bool WorkAreas::putFieldsBytes(std::string_view image, const std::vector<int>& fieldNos) {
  WorkArea* const area = current();
  return retrying(area, false, [&] {
    WorkArea* a = area ? area : requireCurrent("FIELDPUT");
    if (a->eof()) return false;
    putIndexes_.clear();
    for (int fieldNo : fieldNos) {
      if (fieldNo <= 0 || fieldNo > static_cast<int>(a->fields().size())) return false;
      putIndexes_.push_back(fieldNo - 1);
    }
    a->putFieldsBytes(image, putIndexes_);
    return true;
  });
}

Value WorkAreas::FIELDGET(int fieldNo) {
  return retrying(current(), Value(), [&] {
    const WorkArea* a = requireCurrent("FIELDGET");
    return a->fieldValue(fieldNo - 1);
  });
}

Value WorkAreas::aliasField(const std::string& alias, const std::string& fieldName) {
  return retrying(area(areaOf(alias)), Value(), [&] {
    const int number = areaOf(alias);
    const WorkArea* a = area(number);
    if (!a) {
      Error e = tableError(gen::kNoTable, sub::kNoTable, "Alias does not exist", upperAZ(alias));
      throw TableError(e);
    }
    const int index = a->fieldIndex(fieldName);
    if (index < 0) {
      Error e = tableError(gen::kArgument, 1449, "Field does not exist", upperAZ(fieldName));
      throw TableError(e);
    }
    return a->fieldValue(index);
  });
}

AreaIndexes* WorkAreas::indexes(int number) const {
  const auto it = indexes_.find(number);
  return it == indexes_.end() ? nullptr : it->second.get();
}

OpenIndex* WorkAreas::addIndexFile(std::unique_ptr<AreaIndexes>& indexes, WorkArea& area,
                                   const std::string& file) {
  const IndexDriver driver = indexDriverFor(area.driver());
  std::string path = extensionPart(file).empty() ? file + indexExtension(driver) : file;
  const std::string resolved = resolveCaseInsensitive(path);
  if (!resolved.empty()) path = resolved;
  if (!indexes) indexes = std::make_unique<AreaIndexes>(driver);
  if (OpenIndex* open = indexes->find(path)) return open;
  std::unique_ptr<OpenIndex> opened =
      openIndexFile(path, driver, !area.isReadOnly(), AreaRecord(area), indexMapping_);
  if (!opened) return nullptr;
  OpenIndex& added = indexes->add(std::move(opened));
  area.setRecordWriteHook(indexes.get());
  return &added;
}

bool WorkAreas::ORDLISTADD(const std::string& file) {
  WorkArea* const area = current();
  return retrying(area, false, [&] {
    WorkArea* a = area ? area : requireCurrent("ORDLISTADD");
    if (trimBlanks(file).empty()) {
      a->flushRecord();
      return false;
    }
    std::unique_ptr<AreaIndexes>& indexes = indexes_[current_];
    OpenIndex* open = addIndexFile(indexes, *a, file);
    // The pending record is written with the new file already open: its keys are taken
    // from the record's bytes before and after the change, so the new file gets them too
    // instead of missing the change for good.
    a->flushRecord();
    if (!open) return false;
    if (!indexes->controlling() && !open->orders.empty()) {
      BoundOrder& first = open->orders.front();
      indexes->setControlling(&first);
      const std::optional<IndexEntry> top = first.order->first();
      if (top) {
        a->goTo(top->recno);
      } else {
        a->goEof();
      }
    }
    return true;
  });
}

bool WorkAreas::DBSEEK(const Value& value) {
  WorkArea* const area = current();
  return retrying(area, false, [&] {
    WorkArea* a = area ? area : requireCurrent("DBSEEK");
    // The seek sees every value written before it.
    a->flushRecord();
    const AreaIndexes* ix = indexes(current_);
    BoundOrder* order = ix ? ix->controlling() : nullptr;
    if (!order) {
      Error e = tableError(gen::kNoOrder, 1201, "Workarea not indexed");
      e.subsystem = a->driver();
      e.operation = "DBSEEK";
      e.canDefault = true;
      throw TableError(e);
    }
    if (value.isNil()) {
      Error e = tableError(gen::kArgument, 1001, "Argument error");
      e.subsystem = a->driver();
      e.operation = "DBSEEK";
      e.canDefault = true;
      throw TableError(e);
    }
    // Keys hold the table's code page; a text it cannot hold is the key of no record.
    Value translated;
    if (value.isText() && a->codePage().translates()) {
      std::optional<std::string> bytes = a->codePage().fromAnsi(value.asText());
      if (!bytes) {
        a->goEof();
        a->setFound(false);
        return false;
      }
      translated = Value::text(std::move(*bytes));
    }
    const Value& sought = translated.isNil() ? value : translated;
    const std::optional<IndexEntry> hit = order->order->seek(order->order->searchKeyFor(sought));
    if (hit) {
      a->goTo(hit->recno);
    } else {
      a->goEof();
    }
    // A key pointing beyond the table finds nothing.
    a->setFound(hit.has_value() && !a->eof());
    return a->found();
  });
}

bool WorkAreas::found() const {
  const WorkArea* a = current();
  return a && a->found();
}

bool WorkAreas::commitRecord() {
  WorkArea* const area = current();
  return retrying(area, false, [&] {
    WorkArea* a = area ? area : requireCurrent("DBCOMMIT");
    a->flushRecord();
    return true;
  });
}

bool WorkAreas::hasCandidateOrder() const {
  const AreaIndexes* ix = indexes(current_);
  return ix && ix->hasCandidateOrder();
}

bool WorkAreas::DBRLOCK() {
  return retrying(current(), false, [&] { return requireCurrent("DBRLOCK")->lockRecord(); });
}

bool WorkAreas::DBRUNLOCK() {
  if (WorkArea* a = current()) a->unlockAll();
  return true;
}

void WorkAreas::DBCLOSEAREA() {
  closeArea(current_);
}

namespace {

// Syncs and closes an area's index files when an error leaves closeArea early (the user
// quit, the run ended): attempted all the same, their failure left to the error on its way.
struct IndexFilesClosed {
  AreaIndexes* indexes;
  ~IndexFilesClosed() {
    if (indexes) indexes->syncAndClose();
  }
};

}  // namespace

void WorkAreas::closeArea(int number) {
  const auto it = areas_.find(number);
  if (it == areas_.end()) return;
  // The area and its alias are gone however this ends; what cannot be written is given
  // up by the area's own clean-up.
  std::unique_ptr<AreaIndexes> indexes;
  if (const auto ix = indexes_.find(number); ix != indexes_.end()) {
    indexes = std::move(ix->second);
    indexes_.erase(ix);
  }
  std::unique_ptr<WorkArea> area = std::move(it->second);
  areas_.erase(it);
  // The index files go out while the table is synced; their own syncs then find little left.
  if (indexes) indexes->startWriteback();
  IndexFilesClosed onTheWayOut{indexes.get()};
  std::optional<Error> failure;
  for (;;) {
    try {
      area->close();
      break;
    } catch (TableError& e) {
      if (e.error().subsystem.empty()) e.error().subsystem = area->driver();
      if (!e.error().canRetry) {
        failure = e.error();  // the files are closed: told once the index files are too
        break;
      }
      if (raiseError(e.error()) == ErrorAnswer::Retry) continue;
      area->discardChange();
      // The rest once more: the header, the syncs and closes. What fails again of the
      // writes was said already.
      try {
        area->close();
      } catch (TableError& again) {
        if (!again.error().canRetry) failure = again.error();
      }
      break;
    }
  }
  onTheWayOut.indexes = nullptr;
  if (indexes) {
    std::optional<Error> indexFailure = indexes->syncAndClose();
    if (!failure) failure = std::move(indexFailure);
  }
  if (failure) {
    if (failure->subsystem.empty()) failure->subsystem = area->driver();
    raiseError(*failure);
  }
}

void WorkAreas::closeAll() {
  while (!areas_.empty()) areas_.erase(areas_.begin());
  indexes_.clear();
}

}  // namespace zandor
