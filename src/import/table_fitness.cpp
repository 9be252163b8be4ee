#include "import/table_fitness.h"

#include "base/encoding.h"
#include "base/paths.h"
#include "table/area_indexes.h"
#include "table/expression.h"
#include "table/order_check.h"
#include "table/work_areas.h"

namespace zandor {

namespace {

std::string fileNameOf(const std::string& path) {
  return baseNamePart(path) + extensionPart(path);
}

}  // namespace

std::optional<std::string> unfitForImport(WorkAreas& areas) {
  const WorkArea* table = areas.current();
  if (!table) return std::nullopt;
  if (const std::uint64_t uncounted = table->uncountedRecords()) {
    return fileNameOf(table->path()) +
           utf8ToCp1252(" enthält " + std::to_string(uncounted) +
                        " Datensätze mehr, als im Dateikopf gezählt sind (ein früherer "
                        "Einlesevorgang wurde nicht beendet). Bitte führen Sie zuerst eine "
                        "Reorganisation durch (zandor-cli dbf repair)!");
  }
  AreaIndexes* indexes = areas.indexes(areas.currentArea());
  if (!indexes) return std::nullopt;
  WorkArea& records = *areas.current();
  for (const auto& file : indexes->files()) {
    for (BoundOrder& bound : file->orders) {
      IndexOrder& order = *bound.order;
      const OrderInfo& info = order.info();
      if (info.custom) continue;
      const CheckReport report = order.check();
      std::string fault;
      if (!report.ok()) {
        fault = utf8ToCp1252("ist beschädigt (") + report.problems.front() + ")";
      } else {
        // Keys that point at the wrong records, or hold other values than their records,
        // would have rows update the wrong record or append a second one.
        std::vector<std::string> problems;
        try {
          problems = keysAgainstRecords(records, bound);
        } catch (const ExpressionError& e) {
          problems.push_back(e.what());
        }
        if (!problems.empty()) {
          fault = utf8ToCp1252("passt nicht zur Datenbank (") + problems.front() +
                  (problems.size() > 1 ? " ..." : "") + ")";
        }
      }
      if (!fault.empty()) {
        return "Der Index " + fileNameOf(file->file->path()) + " (" + info.name + ") " + fault +
               utf8ToCp1252(
                   ". Bitte reorganisieren Sie den Index (zandor-cli dbf reindex oder "
                   "dbf repair)!");
      }
    }
  }
  return std::nullopt;
}

}  // namespace zandor
