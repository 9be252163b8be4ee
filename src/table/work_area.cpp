#include "table/work_area.h"

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/local_clock.h"
#include "base/paths.h"
#include "base/text.h"
#include "table/field_value.h"
#include "table/layout_check.h"
#include "table/record_check.h"
#include "table/table_error.h"
#include "table/unsupported.h"

namespace zandor {

namespace {

// Appended records collected before one write.
constexpr std::size_t kPendingLimit = 1 << 20;
// Record and append locks of shared tables sit in a range far beyond any real file.
constexpr std::uint64_t kLockBase = 1000000000ull;

Error openError(const std::string& path, int err) {
  Error e = tableError(gen::kOpen, sub::kOpen, "Open error", path, osCodeOf(err));
  e.canRetry = true;
  e.canDefault = true;
  return e;
}

Error writeError(const std::string& path, int err) {
  Error e = tableError(gen::kWrite, sub::kWrite, "Write error", path, osCodeOf(err));
  e.canRetry = true;
  e.canDefault = true;
  return e;
}

std::string memoExtension(MemoKind kind) {
  switch (kind) {
    case MemoKind::Dbt3:
    case MemoKind::Dbt4:
      return ".dbt";
    case MemoKind::Fpt:
      return ".fpt";
    case MemoKind::Smt:
      return ".smt";
    case MemoKind::None:
      break;
  }
  return {};
}

}  // namespace

std::unique_ptr<WorkArea> WorkArea::open(const std::string& path, const std::string& driver,
                                         bool shared, bool readOnly) {
  std::unique_ptr<WorkArea> area(new WorkArea);
  area->path_ = path;
  area->driver_ = driver;
  area->shared_ = shared;
  area->readOnly_ = readOnly;
  if (const int err = area->file_.openLocked(path, readOnly, !shared)) {
    throw TableError(openError(path, err));
  }
  // Nobody else writes an exclusive table: the record count and records changed in place
  // go out as stores into the mapped file, not one system call each.
  if (!shared && !readOnly) area->file_.mapExistingLength();

  area->layout_ = readDbfLayout(area->file_, path);
  const DbfLayout& layout = area->layout_;
  if (!readOnly) {
    if (const auto feature = unwritableTableFeature(layout)) {
      throw TableError(unsupportedError("", path, *feature));
    }
  }
  // An unknown mark reads as stored; writing is refused above.
  area->codePage_ = TableCodePage::ofMark(layout.header[29]).value_or(TableCodePage());
  for (const FieldInfo& f : layout.fields) {
    if (!f.hidden) area->fields_.push_back(f);
    if (f.name == "_NULLFLAGS") area->nullFlags_ = &f;
  }
  // A file shorter than its record count says holds only its full records.
  const long long size = area->file_.size();
  std::uint64_t available = 0;
  if (size > layout.headerLength) {
    available = (static_cast<std::uint64_t>(size) - layout.headerLength) / layout.recordLength;
  }
  area->recCount_ =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(layout.storedCount, available));

  const MemoKind memoKind = layout.memoKind(driver);
  if (memoKind != MemoKind::None) {
    const std::string base = directoryPart(path) + baseNamePart(path);
    const std::string wanted = base + memoExtension(memoKind);
    std::string memoPath = resolveCaseInsensitive(wanted);
    if (memoPath.empty()) throw TableError(openError(wanted, ENOENT));
    area->memo_ = MemoFile::open(memoPath, memoKind, readOnly, !shared);
  }
  if (!readOnly) {
    // Written on the word of a header that contradicts itself, records would land where
    // no reader looks for them, or over the records that are there.
    if (auto damage = area->damage()) {
      Error e = tableError(gen::kCorruption, sub::kCorruption, "Corruption detected", path);
      e.reason =
          "besch\xe4"
          "digt: " +
          *damage;
      throw TableError(e);
    }
  }
  area->blank_ = blankRecord(layout.fields, layout.recordLength);
  area->record_ = area->blank_;
  area->goTo(1);
  return area;
}

std::optional<std::string> WorkArea::damage() const {
  if (auto contradiction = layoutContradiction(file_, layout_)) return contradiction;
  if (memo_) {
    if (auto contradiction = memo_->headerContradiction()) {
      return baseNamePart(memo_->path()) + extensionPart(memo_->path()) + ": " + *contradiction;
    }
  }
  return std::nullopt;
}

WorkArea::~WorkArea() {
  // Best effort when nobody closed the area: write what can be written, give up the rest.
  // Nothing leaves a destructor, and no handler is asked from one (it may run while another
  // error is on its way out).
  ErrorGuard quiet;
  try {
    close();
  } catch (...) {
    try {
      discardChange();
      close();
    } catch (...) {
    }
  }
}

std::uint64_t WorkArea::uncountedRecords() const {
  const RecordsBeyond beyond = recordsBeyond(file_, layout_, recCount_);
  if (beyond.whole < 0) return 0;
  return static_cast<std::uint64_t>(beyond.whole) + (beyond.torn ? 1 : 0);
}

int WorkArea::fieldIndex(std::string_view name) const {
  const std::string wanted = upperAZ(trimBlanks(name));
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].name == wanted) return static_cast<int>(i);
  }
  return -1;
}

void WorkArea::goTo(std::uint32_t recNo) {
  flushRecord();
  if (recNo < 1 || recNo > recCount_) {
    goEof();
    return;
  }
  recNo_ = recNo;
  readRecord();
  positioned_ = true;
}

void WorkArea::goEof() {
  flushRecord();
  recNo_ = recCount_ + 1;
  positioned_ = false;
  record_ = blank_;
}

void WorkArea::readRecord() {
  record_.resize(layout_.recordLength);
  const long long got = file_.readAt(recordOffset(recNo_), record_.data(), record_.size());
  if (got != static_cast<long long>(record_.size())) {
    record_ = blank_;
    positioned_ = false;
    throw TableError(tableError(gen::kRead, sub::kRead, "Read error", path_));
  }
}

void WorkArea::append() {
  if (readOnly_ || layout_.encrypted) {
    throw TableError(tableError(gen::kReadOnly, sub::kReadOnly, "Table is read-only", path_));
  }
  flushRecord(true);
  if (shared_) {
    Error refused = tableError(gen::kAppendLock, sub::kAppendLock, "Append lock failed", path_);
    refused.canRetry = true;
    refused.canDefault = true;
    if (!file_.lockRange(kLockBase, 1, true)) throw TableError(refused);
    // Another program may have appended meanwhile.
    std::uint8_t h[8];
    if (file_.readAt(0, h, sizeof h) == sizeof h) {
      const long long size = file_.size();
      const std::uint64_t onDisk =
          size > layout_.headerLength
              ? (static_cast<std::uint64_t>(size) - layout_.headerLength) / layout_.recordLength
              : 0;
      recCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(readU32le(h + 4), onDisk));
    }
    unlockAll();
  }
  if (recCount_ == 0xFFFFFFFFu) {
    if (shared_) file_.lockRange(kLockBase, 1, false);
    throw TableError(writeError(path_, EFBIG));
  }
  ++recCount_;
  recNo_ = recCount_;
  positioned_ = true;
  record_ = blank_;
  original_.clear();
  for (FieldInfo& f : layout_.fields) {
    if (!f.autoIncrement || f.length != 4) continue;
    writeU32le(reinterpret_cast<std::uint8_t*>(record_.data() + f.offset), f.autoNext);
    f.autoNext += f.autoStep;
    autoCountersDirty_ = true;
  }
  changed_ = true;
  appended_ = true;
  headerDirtyBeforeAppend_ = headerDirty_;
  headerDirty_ = true;
  if (shared_) {
    locks_.insert(recNo_);
    file_.lockRange(kLockBase + recNo_, 1, true);
    // Others see the record at once: write it and the header, then let go of the lock.
    try {
      flushRecord();
    } catch (...) {
      file_.lockRange(kLockBase, 1, false);
      throw;
    }
    file_.lockRange(kLockBase, 1, false);
  }
}

void WorkArea::markChanged() {
  if (!changed_) {
    if (!appended_) original_ = record_;
    changed_ = true;
  }
}

const FieldInfo& WorkArea::fieldToPut(int index) const {
  if (index < 0 || index >= static_cast<int>(fields_.size())) {
    throw TableError(tableError(gen::kArgument, sub::kDataType, "Argument error", path_));
  }
  if (readOnly_ || layout_.encrypted) {
    throw TableError(tableError(gen::kReadOnly, sub::kReadOnly, "Table is read-only", path_));
  }
  if (shared_ && !locks_.contains(recNo_)) {
    throw TableError(tableError(gen::kUnlocked, sub::kUnlocked, "Record not locked", path_));
  }
  if (fields_[static_cast<std::size_t>(index)].autoIncrement) {
    // Its value comes from the table's counter, as in the application.
    throw TableError(tableError(gen::kDataType, sub::kDataType, "Data type error", path_));
  }
  const FieldInfo& field = fields_[static_cast<std::size_t>(index)];
  if (recordHasNull()) {
    throw TableError(tableError(gen::kDataType, sub::kDataType, "Data type error", path_));
  }
  return field;
}

void WorkArea::putField(int index, const Value& value) {
  if (!positioned_) return;
  const FieldInfo& field = fieldToPut(index);
  std::optional<Value> translated;
  if (value.isText() && translatesText(field)) {
    std::optional<std::string> bytes = codePage_.fromAnsi(value.asText());
    // Another byte would read back as another character: the value is refused instead.
    if (!bytes) {
      throw TableError(tableError(gen::kDataType, sub::kDataType, "Data type error", path_));
    }
    translated = Value::text(std::move(*bytes));
  }
  markChanged();
  try {
    encodeField(field, record_, translated ? *translated : value, memo_.get());
  } catch (TableError& e) {
    if (e.error().fileName.empty()) e.error().fileName = path_;
    throw;
  }
}

void WorkArea::putFieldsBytes(std::string_view image, const std::vector<int>& indexes) {
  if (!positioned_) return;
  if (image.size() != record_.size()) {
    throw TableError(tableError(gen::kArgument, sub::kDataType, "Argument error", path_));
  }
  for (int index : indexes) fieldToPut(index);
  markChanged();
  for (int index : indexes) {
    const FieldInfo& field = fields_[static_cast<std::size_t>(index)];
    std::memcpy(record_.data() + field.offset, image.data() + field.offset,
                static_cast<std::size_t>(field.length));
  }
}

Value WorkArea::fieldValue(int index) const {
  if (index < 0 || index >= static_cast<int>(fields_.size())) return Value();
  const FieldInfo& field = fields_[static_cast<std::size_t>(index)];
  Value v = decodeField(field, record_, memo_.get());
  if (v.isText() && translatesText(field)) return Value::text(codePage_.toAnsi(v.asText()));
  return v;
}

bool WorkArea::recordHasNull() const {
  if (!nullFlags_) return false;
  const std::size_t end = nullFlags_->offset + static_cast<std::size_t>(nullFlags_->length);
  for (std::size_t i = nullFlags_->offset; i < end && i < record_.size(); ++i) {
    if (record_[i] != '\0') return true;
  }
  return false;
}

bool WorkArea::translatesText(const FieldInfo& field) const {
  if (!codePage_.translates() || (field.flags & 0x04) != 0) return false;
  return field.type == 'C' || field.type == 'V' || field.type == 'M';
}

bool WorkArea::lockRecord() {
  if (!shared_) return true;
  if (!positioned_) return false;
  unlockAll();
  if (!file_.lockRange(kLockBase + recNo_, 1, true)) return false;
  locks_.insert(recNo_);
  return true;
}

void WorkArea::unlockAll() {
  if (!shared_) return;
  for (std::uint32_t r : locks_) file_.lockRange(kLockBase + r, 1, false);
  locks_.clear();
}

void WorkArea::flushRecord(bool mayDefer) {
  if (changed_) {
    if (hook_) {
      try {
        hook_->checkRecord(*this);
      } catch (const TableError&) {
        discardChange();
        throw;
      }
    }
    const std::uint64_t offset = recordOffset(recNo_);
    if (appended_) {
      if (!pending_.empty() && offset != pendingStart_ + pending_.size()) writePending();
      if (pending_.empty()) pendingStart_ = offset;
      pending_ += record_;
      // With a hook the index follows the file, so the record goes out before the hook.
      if (hook_ || shared_ || !mayDefer || pending_.size() >= kPendingLimit) writePending();
    } else {
      writePending();
      const int err = file_.writeAt(offset, record_.data(), record_.size());
      if (err != 0) {
        file_.writeAt(offset, original_.data(), original_.size());
        throw TableError(writeError(path_, err));
      }
    }
    // From here the record is in the file, whatever becomes of its keys.
    changeOnFile_ = true;
    if (hook_) hook_->recordWritten(*this);
    markWritten();
    if (shared_ && headerDirty_) writeHeader();
  }
  if (!mayDefer) writePending();
}

void WorkArea::markWritten() {
  changed_ = false;
  appended_ = false;
  changeOnFile_ = false;
  original_.clear();
}

void WorkArea::writePending() {
  if (pending_.empty()) return;
  const std::uint64_t end = pendingStart_ + pending_.size();
  pending_ += '\x1a';
  int err = file_.writeAt(pendingStart_, pending_.data(), pending_.size());
  // The count follows at once, before any index hears of the records: a program killed
  // now leaves a header that counts every record an index key can point to.
  if (err == 0) {
    std::uint8_t count[4];
    writeU32le(count,
               static_cast<std::uint32_t>((end - layout_.headerLength) / layout_.recordLength));
    err = file_.writeAt(4, count, sizeof count);
  }
  // The autoincrement counters follow the records that took their values.
  for (std::size_t i = 0; err == 0 && autoCountersDirty_ && i < layout_.fields.size(); ++i) {
    const FieldInfo& f = layout_.fields[i];
    if (!f.autoIncrement || f.length != 4) continue;
    std::uint8_t next[4];
    writeU32le(next, f.autoNext);
    err = file_.writeAt(32 + 32 * i + 19, next, sizeof next);
  }
  if (err == 0) autoCountersDirty_ = false;
  if (err != 0) {
    dropRecordsFrom(pendingStart_);
    throw TableError(writeError(path_, err));
  }
  pending_.clear();
}

// After a failed append write: the file is cut back to the records it really holds, and
// the records that did not reach it are gone.
void WorkArea::dropRecordsFrom(std::uint64_t offset) {
  file_.truncate(offset);
  pending_.clear();
  recCount_ = static_cast<std::uint32_t>((offset - layout_.headerLength) / layout_.recordLength);
  changed_ = false;
  appended_ = false;
  original_.clear();
  if (recNo_ > recCount_) {
    recNo_ = recCount_ + 1;
    positioned_ = false;
    record_ = blank_;
  }
}

void WorkArea::writeHeader() {
  const LocalClock today = localClock();
  const auto header =
      rewrittenHeader(layout_, recCount_, structuralIndex_, today.year, today.month, today.day);
  int err = file_.writeAt(0, header.data(), header.size());
  if (err == 0 && !shared_) {
    const std::uint64_t end = recordOffset(recCount_ + 1);
    const long long size = file_.size();
    if (size > static_cast<long long>(end)) {
      const char mark = '\x1a';
      err = file_.writeAt(end, &mark, 1);
      if (err == 0) err = file_.truncate(end + 1);
    }
  }
  if (err != 0) throw TableError(writeError(path_, err));
  layout_.header = header;
  headerDirty_ = false;
}

void WorkArea::close() {
  if (!file_.isOpen()) return;
  flushRecord();
  unlockAll();
  if (headerDirty_) writeHeader();
  // What this area wrote is on stable storage before anyone is told the work is done: a
  // handful of syncs per run, not one per record. Every file is synced and closed whatever
  // befalls the others, and the first failure is thrown once they all are. It cannot be
  // retried: the files are closed, and a sync that failed may have dropped what it was to
  // write, so a second one would say nothing about it.
  int err = 0;
  std::string failed;
  const auto note = [&](int e, const std::string& path) {
    if (e == 0 || err != 0 || readOnly_) return;
    err = e;
    failed = path;
  };
  if (memo_) {
    if (!readOnly_) note(memo_->sync(), memo_->path());
    note(memo_->close(), memo_->path());
    memo_.reset();
  }
  if (!readOnly_) note(file_.sync(), path_);
  note(file_.close(), path_);
  if (err != 0) {
    Error e = writeError(failed, err);
    e.canRetry = false;
    throw TableError(e);
  }
}

void WorkArea::discardChange() {
  if (changeOnFile_) {
    // The record reached the file and only its keys failed: it stays as written (taking it
    // back would leave the keys that were written pointing at nothing).
    markWritten();
  } else if (changed_ && appended_) {
    // The record never reached the file; the records before it stay pending.
    changed_ = false;
    appended_ = false;
    headerDirty_ = headerDirtyBeforeAppend_;
    for (FieldInfo& f : layout_.fields) {
      if (f.autoIncrement && f.length == 4) f.autoNext -= f.autoStep;
    }
    --recCount_;
    recNo_ = recCount_ + 1;
    positioned_ = false;
    record_ = blank_;
  } else if (changed_) {
    record_ = original_;
    changed_ = false;
    original_.clear();
  }
}

}  // namespace zandor
