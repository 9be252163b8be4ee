#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "table/index_maintenance.h"
#include "table/index_open.h"
#include "table/work_area.h"

namespace zandor {

// The index files open in one work area, in the order they were added, and the
// controlling order. As the area's record write hook it keeps the keys of every order
// in step with each written record and commits the files right after, so the files on
// disk always agree with the records written so far.
class AreaIndexes : public RecordWriteHook {
 public:
  explicit AreaIndexes(IndexDriver driver) : driver_(driver) {}
  AreaIndexes(const AreaIndexes&) = delete;
  AreaIndexes& operator=(const AreaIndexes&) = delete;

  IndexDriver driver() const { return driver_; }
  // The open file with this path (compared as the same file on disk), or nullptr.
  OpenIndex* find(const std::string& path);
  OpenIndex& add(std::unique_ptr<OpenIndex> file);
  const std::vector<std::unique_ptr<OpenIndex>>& files() const { return files_; }

  BoundOrder* controlling() const { return controlling_; }
  void setControlling(BoundOrder* order) { controlling_ = order; }

  // Puts every file on stable storage and closes it, each whatever befalls the others.
  // Answers the index write error of the first failure (one that cannot be retried: the
  // files are closed), or nothing. Raises nothing itself.
  std::optional<Error> syncAndClose();
  // Starts writing every file out without waiting (see IndexFile::startWriteback).
  void startWriteback();

  // Maintains every order (custom ones excepted) and commits every file. An order whose
  // expressions cannot be evaluated is reported as damaged after the others are done.
  void recordWritten(WorkArea& area) override;
  // A record whose key a candidate order holds for another record is refused.
  void checkRecord(WorkArea& area) override;
  bool hasCandidateOrder() const;

 private:
  IndexDriver driver_;
  std::vector<std::unique_ptr<OpenIndex>> files_;
  BoundOrder* controlling_ = nullptr;
};

// The index driver that goes with a table driver: DBFCDX uses CDX files, the others NTX.
IndexDriver indexDriverFor(const std::string& tableDriver);
// ".cdx" or ".ntx".
const char* indexExtension(IndexDriver driver);

}  // namespace zandor
