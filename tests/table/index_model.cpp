#include "index_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>

namespace zandor::test {

KeyMaker::KeyMaker(char type, int keyLength, unsigned seed)
    : type_(type), keyLength_(keyLength), rng_(seed) {}

Value KeyMaker::value() {
  auto pick = [&](int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); };
  if (type_ == 'N') {
    switch (pick(4)) {
      case 0:
        return Value::integer(pick(5));
      case 1:
        return Value::real((pick(2000000) - 1000000) / 100.0, 2);
      case 2:
        return Value::integer(-pick(50));
      default:
        return Value::real(static_cast<double>(pick(100)) + 0.5, 1);
    }
  }
  if (type_ == 'I') {
    switch (pick(5)) {
      case 0:  // around zero, where the sign changes
        return Value::integer(pick(7) - 3);
      case 1:
        return Value::integer(-pick(100000));
      case 2:
        return Value::integer(pick(100000));
      case 3:
        return Value::integer(pick(2) ? std::numeric_limits<std::int32_t>::min()
                                      : std::numeric_limits<std::int32_t>::max());
      default:
        return Value::integer(static_cast<std::int32_t>(rng_()));
    }
  }
  if (type_ == 'D') {
    if (pick(6) == 0) return Value::date(0);
    return Value::date(2415019 + pick(pick(3) == 0 ? 30 : 60000));
  }
  std::string s;
  std::size_t len = static_cast<std::size_t>(keyLength_);
  switch (pick(7)) {
    case 0:  // empty or blank
      s = pick(2) ? "" : std::string(static_cast<std::size_t>(pick(keyLength_ + 1)), ' ');
      break;
    case 1:  // a handful of frequent keys
      s = std::string("K") + std::to_string(pick(6));
      break;
    case 2: {  // long shared prefix, differing near the end
      s = std::string(len > 3 ? len - 3 : 0, 'P');
      s += static_cast<char>('a' + pick(3));
      break;
    }
    case 3:  // full length random
      for (std::size_t i = 0; i < len; ++i) s += static_cast<char>('0' + pick(75));
      break;
    case 4:  // bytes above 127 and embedded blanks
      for (std::size_t i = 0; i < std::min<std::size_t>(len, 6); ++i) {
        s += pick(3) ? static_cast<char>(0xC0 + pick(60)) : ' ';
      }
      break;
    default:
      for (int i = 0, n = 1 + pick(std::min(keyLength_, 12)); i < n; ++i) {
        s += static_cast<char>('A' + pick(5));
      }
  }
  if (s.size() > len) s.resize(len);
  return Value::text(s);
}

std::vector<IndexEntry> scanAll(IndexOrder& order) {
  std::vector<IndexEntry> out;
  for (auto e = order.first(); e; e = order.next()) {
    out.push_back(*e);
    if (out.size() > 10000000) break;
  }
  return out;
}

namespace {

using Model = std::set<std::pair<std::string, std::uint32_t>>;

std::vector<IndexEntry> expectedScan(const Model& model, bool descending) {
  std::vector<IndexEntry> out;
  for (const auto& [k, r] : model) out.push_back({k, r});
  if (descending) std::reverse(out.begin(), out.end());
  return out;
}

void compare(IndexFile& file, const Model& model, const ModelRun& run, const ModelHooks& hooks,
             std::mt19937& rng, const std::string& when) {
  IndexOrder& order = file.order(0);
  auto got = scanAll(order);
  auto want = expectedScan(model, run.descending);
  ASSERT_EQ(got.size(), want.size()) << when;
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], want[i]) << when << " at " << i;
  }
  CheckReport report = hooks.check(file);
  ASSERT_TRUE(report.ok()) << when << ": " << report.problems.front();
  ASSERT_EQ(report.keyCount, model.size()) << when;
  // Seeks: prefixes of existing keys and of keys that are not there.
  std::vector<std::string> keys;
  for (const auto& [k, r] : model) keys.push_back(k);
  for (int n = 0; n < 40; ++n) {
    std::string probe;
    if (!keys.empty() && n % 3 != 2) {
      probe = keys[rng() % keys.size()];
      if (run.type == 'C') probe.resize(rng() % (probe.size() + 1));
    } else {
      for (int i = 0, len = 1 + static_cast<int>(rng() % 4); i < len; ++i) {
        probe += static_cast<char>('A' + rng() % 30);
      }
      if (run.type != 'C') probe = std::string(8, static_cast<char>(rng() % 256));
    }
    if (probe.size() > static_cast<std::size_t>(run.keyLength)) {
      probe.resize(static_cast<std::size_t>(run.keyLength));  // seeks cut to the key length
    }
    const std::pair<std::string, std::uint32_t>* hit = nullptr;
    if (!run.descending) {
      auto it = model.lower_bound({probe, 0});
      if (it != model.end() && it->first.compare(0, probe.size(), probe) == 0) hit = &*it;
    } else {
      for (auto it = model.rbegin(); it != model.rend(); ++it) {
        int c = it->first.compare(0, probe.size(), probe);
        if (c == 0) {
          hit = &*it;
          break;
        }
        if (c < 0) break;
      }
    }
    auto found = order.seek(probe);
    ASSERT_EQ(found.has_value(), hit != nullptr) << when << " seek '" << probe << "'";
    if (hit) {
      ASSERT_EQ(found->key, hit->first) << when;
      ASSERT_EQ(found->recno, hit->second) << when;
      // The cursor continues from the found entry.
      auto after = order.next();
      auto it = model.find(*hit);
      if (!run.descending) {
        ++it;
        ASSERT_EQ(after.has_value(), it != model.end()) << when;
        if (after) {
          ASSERT_EQ(after->recno, it->second) << when;
        }
      } else if (it != model.begin()) {
        --it;
        ASSERT_TRUE(after.has_value()) << when;
        ASSERT_EQ(after->recno, it->second) << when;
      }
    }
  }
}

bool holdsKey(const Model& model, const std::string& key) {
  auto it = model.lower_bound({key, 0});
  return it != model.end() && it->first == key;
}

}  // namespace

void runIndexModel(const ModelRun& run, const ModelHooks& hooks) {
  // ZANDOR_MODEL_SEED varies the runs (for longer campaigns outside the regular suite).
  const char* extra = std::getenv("ZANDOR_MODEL_SEED");
  KeyMaker maker(run.type, run.keyLength,
                 run.seed + (extra ? static_cast<unsigned>(std::strtoul(extra, nullptr, 10)) : 0));
  std::mt19937& rng = maker.rng();
  std::unique_ptr<IndexFile> file = hooks.create();
  ASSERT_TRUE(file);
  Model model;
  std::map<std::uint32_t, std::string> byRecord;
  std::uint32_t nextRecno = run.firstRecno;
  int batches = 0;
  for (int op = 0; op < run.operations; ++op) {
    IndexOrder& order = file->order(0);
    unsigned what = rng() % 10;
    if (what < 5 || byRecord.empty()) {  // append a record
      std::string key = order.keyFor(maker.value());
      std::uint32_t recno = nextRecno++;
      bool taken = run.unique && holdsKey(model, key);
      // As the import does: a seek for the key before its record is appended, or now and
      // then one for another key (the insert must not take that seek's place blindly).
      if (what < 3) order.seek(key);
      if (what == 3) order.seek(order.keyFor(maker.value()));
      bool inserted = order.insert(key, recno);
      ASSERT_EQ(inserted, !taken) << "insert op " << op;
      if (inserted) {
        model.insert({key, recno});
        byRecord[recno] = key;
      }
    } else {
      auto it = byRecord.begin();
      std::advance(it, static_cast<long>(rng() % byRecord.size()));
      std::uint32_t recno = it->first;
      std::string old = it->second;
      ASSERT_TRUE(order.remove(old, recno)) << "remove op " << op;
      ASSERT_FALSE(order.remove(old, recno)) << "second remove op " << op;
      model.erase({old, recno});
      byRecord.erase(it);
      if (what < 8) {  // a key change: the record gets a new key
        std::string key = order.keyFor(maker.value());
        bool taken = run.unique && holdsKey(model, key);
        ASSERT_EQ(order.insert(key, recno), !taken);
        if (!taken) {
          model.insert({key, recno});
          byRecord[recno] = key;
        }
      }
    }
    if ((op + 1) % run.batch == 0 || op + 1 == run.operations) {
      file->commit();
      ++batches;
      compare(*file, model, run, hooks, rng, "batch " + std::to_string(batches));
      if (::testing::Test::HasFatalFailure()) return;
      if (batches % run.reopenEvery == 0 || op + 1 == run.operations) {
        file.reset();
        file = hooks.reopen();
        ASSERT_TRUE(file);
        compare(*file, model, run, hooks, rng, "reopened after batch " + std::to_string(batches));
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
  // Remove everything: an empty order must remain valid.
  IndexOrder& order = file->order(0);
  for (const auto& [k, r] : model) ASSERT_TRUE(order.remove(k, r));
  model.clear();
  file->commit();
  compare(*file, model, run, hooks, rng, "emptied");
  file.reset();
  file = hooks.reopen();
  compare(*file, model, run, hooks, rng, "emptied and reopened");
}

}  // namespace zandor::test
