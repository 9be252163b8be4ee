// Inserts random C(10) keys one by one into a CDX tag and an NTX order, then seeks random
// keys, and prints the rates.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "table/cdx_file.h"
#include "table/ntx_file.h"

using namespace zandor;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void bench(const char* format, IndexFile& file, const std::vector<std::string>& keys,
           int commitEvery, std::mt19937& rng) {
  IndexOrder& order = file.order(0);
  auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!order.insert(keys[i], static_cast<std::uint32_t>(i + 1))) std::abort();
    if ((i + 1) % static_cast<std::size_t>(commitEvery) == 0) file.commit();
  }
  file.commit();
  double insertTime = seconds(start);
  // The keys to seek are picked beforehand and lie one after the other, so that the timing
  // holds the seeks and not a cache miss of the benchmark's own key list.
  std::string wanted;
  wanted.reserve(keys.size() * 10);
  for (std::size_t i = 0; i < keys.size(); ++i) wanted += keys[rng() % keys.size()];
  start = std::chrono::steady_clock::now();
  std::size_t found = 0;
  for (std::size_t at = 0; at < wanted.size(); at += 10) {
    if (order.seek(std::string_view(wanted).substr(at, 10))) ++found;
  }
  double seekTime = seconds(start);
  std::printf(
      "%s (commit every %d): %zu inserts in %.2f s = %.0f inserts/s; %zu seeks in %.2f s = "
      "%.0f seeks/s (%zu found)\n",
      format, commitEvery, keys.size(), insertTime, keys.size() / insertTime, keys.size(), seekTime,
      keys.size() / seekTime, found);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  int commitEvery = argc > 2 ? std::atoi(argv[2]) : 1;
  std::filesystem::path dir = argc > 3 ? argv[3] : std::filesystem::temp_directory_path();
  std::mt19937 rng(2024);
  std::vector<std::string> keys(count);
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (auto& k : keys) {
    k.resize(10);
    for (char& c : k) c = kChars[rng() % 36];
  }
  std::string cdxPath = (dir / "bench_index.cdx").string();
  std::string ntxPath = (dir / "bench_index.ntx").string();
  {
    auto cdx = CdxFile::create(cdxPath);
    cdx->addTag({"KEY", "KEY", "", 'C', 10, false, false, false}, {});
    cdx->commit();
    bench("CDX", *cdx, keys, commitEvery, rng);
  }
  {
    NtxFile::NewOrder def;
    def.keyExpression = "KEY";
    auto ntx = NtxFile::create(ntxPath, def, {});
    bench("NTX", *ntx, keys, commitEvery, rng);
  }
  std::filesystem::remove(cdxPath);
  std::filesystem::remove(ntxPath);
  return 0;
}
