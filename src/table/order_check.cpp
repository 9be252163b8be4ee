#include "table/order_check.h"

#include <algorithm>
#include <iterator>

#include "table/area_record.h"
#include "table/index_maintenance.h"
#include "table/index_open.h"
#include "table/work_area.h"

namespace zandor {

namespace {

constexpr std::size_t kListed = 10;

std::string describe(const IndexEntry& e) {
  std::string key;
  for (unsigned char c : e.key) {
    if (c >= 0x20 && c < 0x7f) {
      key += static_cast<char>(c);
    } else {
      static const char* hex = "0123456789ABCDEF";
      key += "\\x";
      key += hex[c >> 4];
      key += hex[c & 15];
    }
  }
  return "\"" + key + "\" -> Satz " + std::to_string(e.recno);
}

void compare(const std::string& name, const OrderInfo& info, std::vector<IndexEntry> expected,
             std::vector<IndexEntry> actual, std::vector<std::string>& problems) {
  // The sequence as the order hands it out.
  for (std::size_t i = 1; i < actual.size(); ++i) {
    const int c = actual[i - 1].key.compare(actual[i].key);
    if (info.descending ? c < 0 : c > 0) {
      problems.push_back(name + ": Schl\xfcssel nicht in Sortierfolge bei " + describe(actual[i]));
      break;
    }
  }
  auto less = [](const IndexEntry& a, const IndexEntry& b) {
    return a.key != b.key ? a.key < b.key : a.recno < b.recno;
  };
  std::sort(expected.begin(), expected.end(), less);
  std::sort(actual.begin(), actual.end(), less);
  std::vector<IndexEntry> missing;
  std::vector<IndexEntry> extra;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                      std::back_inserter(missing), less);
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra), less);
  for (std::size_t i = 1; i < actual.size(); ++i) {
    if (actual[i] == actual[i - 1]) extra.push_back(actual[i]);
  }
  if (info.unique || info.candidate) {
    // A unique order holds one record per key, not necessarily the first one any more.
    for (std::size_t i = 1; i < actual.size(); ++i) {
      if (actual[i].key == actual[i - 1].key) {
        problems.push_back(name + ": eindeutiger Schl\xfcssel doppelt: " + describe(actual[i]));
      }
    }
    // A candidate order has a key for every record, each key once.
    if (!info.candidate) missing.clear();
  }
  auto list = [&](const std::vector<IndexEntry>& entries, const std::string& one,
                  const std::string& many) {
    if (entries.empty()) return;
    std::string line = name + ": " + std::to_string(entries.size()) + " " +
                       (entries.size() == 1 ? one : many) + ":";
    for (std::size_t i = 0; i < entries.size() && i < kListed; ++i) {
      line += " " + describe(entries[i]);
    }
    if (entries.size() > kListed) line += " ...";
    problems.push_back(line);
  };
  list(missing, "Schl\xfcssel fehlt", "Schl\xfcssel fehlen");
  list(extra, "Schl\xfcssel ohne passenden Datensatz", "Schl\xfcssel ohne passenden Datensatz");
}

// Gives the area its position back however the comparison ends.
class PositionKept {
 public:
  explicit PositionKept(WorkArea& area) : area_(area), recNo_(area.eof() ? 0 : area.recNo()) {}
  ~PositionKept() {
    try {
      if (recNo_ != 0) {
        area_.goTo(recNo_);
      } else {
        area_.goEof();
      }
    } catch (...) {
    }
  }
  PositionKept(const PositionKept&) = delete;
  PositionKept& operator=(const PositionKept&) = delete;

 private:
  WorkArea& area_;
  std::uint32_t recNo_;
};

}  // namespace

std::vector<std::string> keysAgainstRecords(WorkArea& area, BoundOrder& order) {
  const OrderInfo& info = order.order->info();
  const std::string name = info.name.empty() ? std::string("(Index)") : info.name;
  std::vector<IndexEntry> actual;
  for (auto e = order.order->first(); e; e = order.order->next()) actual.push_back(*e);
  std::vector<IndexEntry> expected;
  expected.reserve(area.recCount());
  {
    const PositionKept kept(area);
    const AreaRecord record(area);
    for (std::uint32_t r = 1; r <= area.recCount(); ++r) {
      area.goTo(r);
      const KeySnapshot s = snapshotKey(order, record);
      if (s.qualifies) expected.push_back({s.key, r});
    }
  }
  std::vector<std::string> problems;
  compare(name, info, std::move(expected), std::move(actual), problems);
  return problems;
}

}  // namespace zandor
