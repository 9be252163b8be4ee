#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/value.h"
#include "table/area_indexes.h"
#include "table/page_mapping.h"
#include "table/work_area.h"

namespace zandor {

// The work areas of the program with their aliases, the current area and the exclusive
// setting. The operations raise their errors through raiseError() and give their default
// result when the handler answers Default. Closing the object closes every open table.
class WorkAreas {
 public:
  // Index files added for writing are mapped into memory as indexMapping says.
  explicit WorkAreas(PageMapping indexMapping = PageMapping::WhenPossible)
      : indexMapping_(indexMapping) {}
  ~WorkAreas();
  WorkAreas(const WorkAreas&) = delete;
  WorkAreas& operator=(const WorkAreas&) = delete;

  // Tables opened without a shared argument are exclusive while this is on (the default).
  bool exclusive() const { return exclusive_; }
  void setExclusive(bool on) { exclusive_ = on; }

  // Opens a table. An empty driver means the default driver, an empty alias the file's
  // base name, no shared value the exclusive setting. True on success.
  bool DBUSEAREA(bool newArea, const std::string& driver, const std::string& file,
                 const std::string& alias, std::optional<bool> shared, bool readOnly);
  // Rows of name, type, length, decimals and field flags.
  Value DBSTRUCT();
  bool DBAPPEND();
  // Field numbers count from 1; 0 and the empty value (no value at all) do nothing.
  // Result: the value when it was stored, else the empty value.
  Value FIELDPUT(int fieldNo, const Value& value);
  // FIELDPUT for callers that only need to know whether the value was stored (no copy).
  bool putField(int fieldNo, const Value& value);
  // As putField for several fields (numbers from 1), their bytes made ahead by a
  // FieldEncoder of the current area at their places in a record-sized image; false
  // (nothing put) at end of file or for a number out of range.
  bool putFieldsBytes(std::string_view image, const std::vector<int>& fieldNos);
  Value FIELDGET(int fieldNo);
  // A field of the area with the alias, read for one operation; the current area stays.
  Value aliasField(const std::string& alias, const std::string& fieldName);
  // Adds an index file to the current area; the first order of the first file added
  // becomes the controlling order. An empty name answers false without an error.
  bool ORDLISTADD(const std::string& file);
  // Searches the controlling order (first match of the value as a key prefix). Found: the
  // area stands on the record; otherwise at end of file. Result: the found flag.
  bool DBSEEK(const Value& value);
  // The found flag of the current area's last seek.
  bool found() const;
  // Writes the current area's changed record with its keys now, so that their errors, and a
  // refusal of the record (a key a candidate order holds already), come up here and belong to
  // the row that made them. True when nothing failed.
  bool commitRecord();
  // Whether an open index file of the current area has a candidate order.
  bool hasCandidateOrder() const;
  bool DBRLOCK();
  bool DBRUNLOCK();
  void DBCLOSEAREA();
  void closeAll();

  int currentArea() const { return current_; }
  void selectArea(int area) { current_ = area; }
  // Area number of an alias (case-insensitive), 0 when none has it.
  int areaOf(const std::string& alias) const;
  WorkArea* current() const { return area(current_); }
  WorkArea* area(int number) const;
  // The index files of an area (nullptr when none was ever added).
  AreaIndexes* indexes(int number) const;

 private:
  WorkArea* requireCurrent(const char* operation);
  void closeArea(int number);
  // Opens an index file for the area, or finds it open already. Answers the file, or
  // nullptr after the open error was raised and answered with Default.
  OpenIndex* addIndexFile(std::unique_ptr<AreaIndexes>& indexes, WorkArea& area,
                          const std::string& file);

  // Declared first so they go after the areas, whose record write hook they are.
  std::map<int, std::unique_ptr<AreaIndexes>> indexes_;
  std::map<int, std::unique_ptr<WorkArea>> areas_;
  int current_ = 1;
  bool exclusive_ = true;
  PageMapping indexMapping_;
  std::vector<int> putIndexes_;  // kept, so that putting a row's fields allocates nothing
};

// Alias names: a letter or underscore, then letters, digits and underscores.
bool isValidAlias(const std::string& alias);

}  // namespace zandor
