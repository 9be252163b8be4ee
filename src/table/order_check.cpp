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

// Lists a kind of difference: the first few entries, in key order.
void list(std::vector<std::string>& problems, const std::string& name,
          std::vector<IndexEntry> entries, const std::string& one, const std::string& many) {
  if (entries.empty()) return;
  std::sort(entries.begin(), entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
    return a.key != b.key ? a.key < b.key : a.recno < b.recno;
  });
  std::string line =
      name + ": " + std::to_string(entries.size()) + " " + (entries.size() == 1 ? one : many) + ":";
  for (std::size_t i = 0; i < entries.size() && i < kListed; ++i)
    line += " " + describe(entries[i]);
  if (entries.size() > kListed) line += " ...";
  problems.push_back(line);
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
  std::vector<std::string> problems;
  std::vector<IndexEntry> actual;
  for (auto e = order.order->first(); e; e = order.order->next()) actual.push_back(*e);
  // The sequence as the order hands it out; a unique order holds each key once.
  bool sequenceReported = false;
  for (std::size_t i = 1; i < actual.size(); ++i) {
    const int c = actual[i - 1].key.compare(actual[i].key);
    if (!sequenceReported && (info.descending ? c < 0 : c > 0)) {
      problems.push_back(name + ": Schl\xfcssel nicht in Sortierfolge bei " + describe(actual[i]));
      sequenceReported = true;
    }
    if (c == 0 && (info.unique || info.candidate)) {
      problems.push_back(name + ": eindeutiger Schl\xfcssel doppelt: " + describe(actual[i]));
    }
  }
  // Each record has at most one key, and it is the record's own: compared record by record
  // instead of sorting both sides.
  std::vector<const IndexEntry*> keyOf(static_cast<std::size_t>(area.recCount()) + 1, nullptr);
  std::vector<IndexEntry> missing;
  std::vector<IndexEntry> extra;
  for (const IndexEntry& e : actual) {
    if (e.recno >= 1 && e.recno <= area.recCount() && keyOf[e.recno] == nullptr) {
      keyOf[e.recno] = &e;
    } else {
      extra.push_back(e);
    }
  }
  {
    const PositionKept kept(area);
    const AreaRecord record(area);
    for (std::uint32_t r = 1; r <= area.recCount(); ++r) {
      area.goTo(r);
      KeySnapshot s = snapshotKey(order, record);
      const IndexEntry* held = keyOf[r];
      if (held && (!s.qualifies || held->key != s.key)) extra.push_back(*held);
      if (s.qualifies && !(held && held->key == s.key)) missing.push_back({std::move(s.key), r});
    }
  }
  // A unique order holds one record per key, not necessarily the first one any more; a
  // candidate order has a key for every record, each key once.
  if (info.unique && !info.candidate) missing.clear();
  list(problems, name, std::move(missing), "Schl\xfcssel fehlt", "Schl\xfcssel fehlen");
  list(problems, name, std::move(extra), "Schl\xfcssel ohne passenden Datensatz",
       "Schl\xfcssel ohne passenden Datensatz");
  return problems;
}

}  // namespace zandor
