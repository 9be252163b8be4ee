#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/value.h"
#include "table/work_area.h"

namespace zandor {

// The work areas of the program with their aliases, the current area and the exclusive
// setting. The operations raise their errors through raiseError() and give their default
// result when the handler answers Default. Closing the object closes every open table.
class WorkAreas {
 public:
  WorkAreas() = default;
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
  Value FIELDGET(int fieldNo);
  // A field of the area with the alias, read for one operation; the current area stays.
  Value aliasField(const std::string& alias, const std::string& fieldName);
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

 private:
  WorkArea* requireCurrent(const char* operation);
  void closeArea(int number);

  std::map<int, std::unique_ptr<WorkArea>> areas_;
  int current_ = 1;
  bool exclusive_ = true;
};

// Alias names: a letter or underscore, then letters, digits and underscores.
bool isValidAlias(const std::string& alias);

}  // namespace zandor
