#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/value.h"
#include "table/code_page.h"
#include "table/dbf_layout.h"
#include "table/memo_file.h"
#include "table/os_file.h"

namespace zandor {

class WorkArea;

// Told about every changed record when it is written to the table file, so that the keys
// of open index orders can follow. While it runs, the area still reports the record's
// state: recNo(), record(), originalRecord() (the bytes before the first change; empty
// for an appended record) and isAppended().
class RecordWriteHook {
 public:
  virtual ~RecordWriteHook() = default;
  virtual void recordWritten(WorkArea& area) = 0;
  // Before a changed record is written: may refuse it by throwing TableError, and the
  // change is then given up (an appended record is dropped) without a byte written.
  virtual void checkRecord(WorkArea& /*area*/) {}
};

// One open table: the file, its layout, the record buffer and the record's state.
// Methods throw TableError; WorkAreas turns that into raised errors.
class WorkArea {
 public:
  // Opens a table file (".dbf" already added) and its memo file. Nothing is written.
  static std::unique_ptr<WorkArea> open(const std::string& path, const std::string& driver,
                                        bool shared, bool readOnly);
  ~WorkArea();
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;

  const std::string& path() const { return path_; }
  const std::string& driver() const { return driver_; }
  const std::string& alias() const { return alias_; }
  void setAlias(std::string alias) { alias_ = std::move(alias); }
  bool isShared() const { return shared_; }
  bool isReadOnly() const { return readOnly_; }
  const DbfLayout& layout() const { return layout_; }
  // The page the header marks; fieldValue() and putField() translate text fields between
  // it and 1252, while the record bytes (and so the index keys) stay in it.
  const TableCodePage& codePage() const { return codePage_; }
  // Whether the field's text is translated: C, V and M fields not marked binary.
  bool translatesText(const FieldInfo& field) const;
  // Whether the current record holds a NULL value (a bit of its _NullFlags is set).
  bool recordHasNull() const;
  bool hasNullFlags() const { return nullFlags_ != nullptr; }

  // The listed fields in descriptor order (hidden fields left out); field numbers count
  // from 1 in this list.
  const std::vector<FieldInfo>& fields() const { return fields_; }
  // 0-based index of a field by name (case-insensitive), -1 when there is none.
  int fieldIndex(std::string_view name) const;
  const MemoFile* memo() const { return memo_.get(); }
  // What in the table's header (or its memo file's) contradicts the rest, in German (1252
  // text), or nothing. A writable open refuses such a table before anything is written.
  std::optional<std::string> damage() const;

  std::uint32_t recCount() const { return recCount_; }
  // Records the file holds beyond the ones its header counts, a torn one included: left by
  // a program that ended while it appended, and not to be written over before a repair.
  std::uint64_t uncountedRecords() const;
  std::uint32_t recNo() const { return recNo_; }
  // At end of file the area stands on the phantom record: blank, never written.
  bool eof() const { return !positioned_; }
  bool deleted() const { return record_[0] == '*'; }
  bool isChanged() const { return changed_; }
  bool isAppended() const { return appended_; }
  const std::string& record() const { return record_; }
  const std::string& originalRecord() const { return original_; }

  // The found flag of the last seek, kept for the index layer.
  bool found() const { return found_; }
  void setFound(bool found) { found_ = found; }
  // Set once the structural index is open; the header rewrite keeps its flag bit.
  void setStructuralIndexOpen() { structuralIndex_ = true; }
  // The hook must outlive the area or be reset to nullptr before it goes away.
  void setRecordWriteHook(RecordWriteHook* hook) { hook_ = hook; }

  // Moves to a record (writing a pending change first); outside 1..recCount the area goes
  // to the phantom record at end of file.
  void goTo(std::uint32_t recNo);
  void goEof();

  void append();
  // 0-based field index; nothing happens at end of file. Text with a character the table's
  // code page lacks is refused as a data-type error, the field keeping its bytes; so is any
  // value for a record that holds NULL values (which bit of its _NullFlags belongs to which
  // field is not known, so a value could not clear the right one).
  void putField(int index, const Value& value);
  // As putField for each field of indexes, with their bytes already made (FieldEncoder) at
  // their places in a record-sized image; throws, before anything changes, what the first
  // refusal would.
  void putFieldsBytes(std::string_view image, const std::vector<int>& indexes);
  Value fieldValue(int index) const;

  bool lockRecord();
  void unlockAll();

  // The one place where a changed record reaches the file (and the hook runs). Appended
  // records of an exclusive table without a hook may be collected and written together;
  // flushRecord() without deferring writes everything out.
  void flushRecord(bool mayDefer = false);

  // Writes what is pending and the header when needed, then syncs and closes the files and
  // releases the locks. Throws on a failed write; calling it again continues where it
  // failed. A failed sync or close is thrown after every file was synced and closed, as an
  // error that cannot be retried (canRetry false).
  void close();
  // Gives up the change of the current record (after its write failed and was reported);
  // a record already in the file stays as written.
  void discardChange();

 private:
  WorkArea() = default;
  void readRecord();
  // The field a value may be put into now; throws what putField throws before encoding.
  const FieldInfo& fieldToPut(int index) const;
  void writePending();
  void markWritten();
  void dropRecordsFrom(std::uint64_t offset);
  void writeHeader();
  void markChanged();
  std::uint64_t recordOffset(std::uint32_t recNo) const {
    return layout_.headerLength + static_cast<std::uint64_t>(recNo - 1) * layout_.recordLength;
  }

  OsFile file_;
  std::string path_;
  std::string driver_;
  std::string alias_;
  bool shared_ = false;
  bool readOnly_ = false;
  DbfLayout layout_;
  TableCodePage codePage_;
  const FieldInfo* nullFlags_ = nullptr;  // the hidden _NullFlags field, if any
  std::vector<FieldInfo> fields_;
  std::unique_ptr<MemoFile> memo_;

  std::uint32_t recCount_ = 0;
  std::uint32_t recNo_ = 0;
  bool positioned_ = false;
  bool changed_ = false;
  bool appended_ = false;
  bool changeOnFile_ = false;  // the change is written, its keys may not be
  std::string record_;
  std::string original_;
  std::string blank_;  // a freshly appended record
  bool headerDirty_ = false;
  bool headerDirtyBeforeAppend_ = false;  // restored when an appended record is given up
  bool autoCountersDirty_ = false;
  bool structuralIndex_ = false;
  bool found_ = false;
  std::set<std::uint32_t> locks_;
  RecordWriteHook* hook_ = nullptr;

  // Appended records not yet written, starting at pendingStart_.
  std::string pending_;
  std::uint64_t pendingStart_ = 0;
};

}  // namespace zandor
