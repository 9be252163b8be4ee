// Appends 1,000,000 records of 10 mixed fields to an exclusive table, closes it, and
// compares the time with a plain write of the same number of bytes.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/date.h"
#include "base/error.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Writes `bytes` bytes in 1 MiB blocks, as dd bs=1M would.
double rawWriteSeconds(const std::string& path, std::uintmax_t bytes) {
  std::vector<char> block(1 << 20, 'x');
  const auto start = Clock::now();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 0;
  for (std::uintmax_t done = 0; done < bytes;) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uintmax_t>(block.size(), bytes - done));
    if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) break;
    done += n;
  }
  ::close(fd);
  return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zandor;
  const std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  const long records = argc > 2 ? std::stol(argv[2]) : 1000000;
  const std::string table = dir + "/bench_append.dbf";
  const std::string raw = dir + "/bench_raw.bin";
  setErrorHandler(consoleErrorHandler);
  createTable(table, {{"KUNDE", 'C', 10, 0},
                      {"NAME", 'C', 30, 0},
                      {"ORT", 'C', 20, 0},
                      {"PREIS", 'N', 12, 2},
                      {"MENGE", 'N', 8, 0},
                      {"RABATT", 'N', 5, 2},
                      {"DATUM", 'D', 8, 0},
                      {"GEBDAT", 'D', 8, 0},
                      {"AKTIV", 'L', 1, 0},
                      {"GESPERRT", 'L', 1, 0}});
  const char* names[] = {"M\xfcller GmbH", "Schmidt & Co. KG", "Meyer Bau", "Wagner Elektro"};
  const char* places[] = {"Hamburg", "M\xfcnchen", "K\xf6ln", "Berlin", "Leipzig"};
  const std::int32_t day0 = dayNumber(2013, 1, 22);

  const auto start = Clock::now();
  {
    WorkAreas areas;
    if (!areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false)) return 1;
    for (long i = 0; i < records; ++i) {
      areas.DBAPPEND();
      areas.FIELDPUT(1, Value::text(std::to_string(100000 + i)));
      areas.FIELDPUT(2, Value::text(names[i % 4]));
      areas.FIELDPUT(3, Value::text(places[i % 5]));
      areas.FIELDPUT(4, Value::real(static_cast<double>(i % 100000) * 0.37 + 0.005));
      areas.FIELDPUT(5, Value::integer(i % 9999));
      areas.FIELDPUT(6, Value::real(static_cast<double>(i % 30) / 3.0));
      areas.FIELDPUT(7, Value::date(day0 + static_cast<std::int32_t>(i % 3650)));
      areas.FIELDPUT(8, Value::date(i % 7 == 0 ? 0 : day0 - static_cast<std::int32_t>(i % 20000)));
      areas.FIELDPUT(9, Value::logical(i % 2 == 0));
      areas.FIELDPUT(10, Value::logical(i % 3 == 0));
    }
    areas.DBCLOSEAREA();
  }
  const double tableSeconds = secondsSince(start);
  const std::uintmax_t size = std::filesystem::file_size(table);
  const double rawSeconds = rawWriteSeconds(raw, size);
  std::printf("records:            %ld\n", records);
  std::printf("table size:         %ju bytes\n", size);
  std::printf("append + close:     %.3f s (%.0f records/s)\n", tableSeconds,
              records / tableSeconds);
  std::printf("raw write, 1 MiB:   %.3f s\n", rawSeconds);
  std::printf("ratio to raw write: %.2f\n", rawSeconds > 0 ? tableSeconds / rawSeconds : 0.0);
  std::filesystem::remove(table);
  std::filesystem::remove(raw);
  return 0;
}
