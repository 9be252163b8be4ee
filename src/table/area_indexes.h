#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/work_lane.h"
#include "table/index_maintenance.h"
#include "table/index_open.h"
#include "table/work_area.h"

namespace zandor {

// The index files open in one work area, in the order they were added, and the
// controlling order. As the area's record write hook it keeps the keys of every order
// in step with each written record and commits the files right after, so the files on
// disk always agree with the records written so far.
//
// Given a work lane, the files that do not hold the controlling order are brought up to date
// by the lane's helper while the caller goes on (their keys are taken here, from the record
// as written); before the next record is written, and before anything else touches the
// files, that work is waited for. What failed there is done here once more, where errors
// reach the handler as they would have at once: so an error of one record's keys comes up
// as the next record is written.
class AreaIndexes : public RecordWriteHook {
 public:
  explicit AreaIndexes(IndexDriver driver) : driver_(driver) {}
  ~AreaIndexes() override;
  AreaIndexes(const AreaIndexes&) = delete;
  AreaIndexes& operator=(const AreaIndexes&) = delete;

  IndexDriver driver() const { return driver_; }
  // The open file with this path (compared as the same file on disk), or nullptr.
  OpenIndex* find(const std::string& path);
  OpenIndex& add(std::unique_ptr<OpenIndex> file);
  const std::vector<std::unique_ptr<OpenIndex>>& files();

  BoundOrder* controlling() const { return controlling_; }
  void setControlling(BoundOrder* order);

  // nullptr: every file is maintained in place.
  void setWorkLane(WorkLane* lane);
  // Waits for the files' maintenance handed to the lane (see above).
  void settle();
  // Puts every file written through this area on stable storage; a failure raises the
  // index write error (Retry syncs again).
  void sync();

  // Maintains every order (custom ones excepted) and commits every file. An order whose
  // expressions cannot be evaluated is reported as damaged after the others are done.
  void recordWritten(WorkArea& area) override;
  void beforeRecordWrite() override { settle(); }
  // A record whose key a candidate order holds for another record is refused.
  void checkRecord(WorkArea& area) override;
  bool hasCandidateOrder() const;

 private:
  struct KeyChange {
    BoundOrder* order;
    std::optional<KeySnapshot> before;
    KeySnapshot after;
  };
  struct FileChanges {
    OpenIndex* file = nullptr;
    std::vector<KeyChange> changes;
    bool failed = false;
  };
  static void maintainFile(FileChanges& file, std::uint32_t recno);
  static void runHandedOver(void* self);

  IndexDriver driver_;
  std::vector<std::unique_ptr<OpenIndex>> files_;
  BoundOrder* controlling_ = nullptr;

  WorkLane* lane_ = nullptr;
  bool handedOver_ = false;
  std::vector<FileChanges> handed_;  // the first handedCount_ are this record's
  std::size_t handedCount_ = 0;
  std::uint32_t handedRecno_ = 0;
  std::exception_ptr handedFailure_;  // anything but an index error, raised here
};

// The index driver that goes with a table driver: DBFCDX uses CDX files, the others NTX.
IndexDriver indexDriverFor(const std::string& tableDriver);
// ".cdx" or ".ntx".
const char* indexExtension(IndexDriver driver);

}  // namespace zandor
