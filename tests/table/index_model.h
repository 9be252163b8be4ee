#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "table/index_order.h"

namespace zandor::test {

// Random keys of one type with many equal keys, long shared prefixes and blank keys.
class KeyMaker {
 public:
  KeyMaker(char type, int keyLength, unsigned seed);
  Value value();
  std::mt19937& rng() { return rng_; }

 private:
  char type_;
  int keyLength_;
  std::mt19937 rng_;
};

struct ModelRun {
  char type = 'C';
  int keyLength = 10;
  int operations = 20000;
  int batch = 500;
  int reopenEvery = 8;  // batches
  bool unique = false;
  bool descending = false;
  std::uint32_t firstRecno = 1;
  unsigned seed = 1;
};

// Format-specific hooks of a model run.
struct ModelHooks {
  // A new file with one empty order as the run describes.
  std::function<std::unique_ptr<IndexFile>()> create;
  std::function<std::unique_ptr<IndexFile>()> reopen;
  // Structural check of the file as committed.
  std::function<CheckReport(IndexFile&)> check;
};

// Runs random inserts, removes and key changes against the order and a std::set model;
// after every batch compares full scan, seeks and check (and again after reopening).
void runIndexModel(const ModelRun& run, const ModelHooks& hooks);

// Everything the order lists, in its sequence.
std::vector<IndexEntry> scanAll(IndexOrder& order);

}  // namespace zandor::test
