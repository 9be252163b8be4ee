#include "fuzz/index_fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "table/fake_record.h"

namespace zandor::fuzz {
namespace {

std::string scratchFile(IndexDriver driver) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/zandor-fuzz-" + std::to_string(::getpid()) +
         (driver == IndexDriver::Cdx ? ".cdx" : ".ntx");
}

const test::FakeRecord& record() {
  static const test::FakeRecord r = [] {
    test::FakeRecord f;
    f.add({"NAME", 'C', 10, 0}, Value::text("N1        "));
    f.add({"AMOUNT", 'N', 8, 0}, Value::integer(7, 8));
    return f;
  }();
  return r;
}

}  // namespace

void exerciseIndexBytes(const std::uint8_t* data, std::size_t size, IndexDriver driver) {
  const std::string path = scratchFile(driver);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ErrorGuard guard;
  try {
    auto index = openIndexFile(path, driver, true, record());
    for (auto& bound : index->orders) {
      IndexOrder& order = *bound.order;
      std::size_t n = 0;
      for (auto e = order.first(); e && n < 20000; e = order.next()) ++n;
      order.seek("N1");
      order.seek(size > 0 ? std::string(1, static_cast<char>(data[size / 2])) : std::string());
      for (std::uint32_t r = 0; r < 40; ++r) {
        const std::uint32_t pick = size > 0 ? data[(r * 131) % size] : r;
        const std::string key = order.keyFor(Value::text("N" + std::to_string(pick % 50)));
        if (r % 3 == 0) {
          order.remove(key, 1 + pick % 300);
        } else {
          order.insert(key, 1 + (pick * 7 + r) % 300);
        }
      }
      order.commit();
      order.check();
    }
  } catch (const ErrorException& e) {
    const Error& error = e.error();
    const bool damage = error.genCode == 32 && error.subCode == 1012;
    // Option bits or a sort sequence we cannot maintain: refused before writing.
    const bool unsupported = error.genCode == 30 && error.subCode == 1013;
    if (!damage && !unsupported && error.genCode != 24) {
      std::fprintf(stderr, "unexpected error %d/%d %s\n", error.genCode, error.subCode.value_or(0),
                   error.operation.c_str());
      std::abort();
    }
  }
  std::filesystem::remove(path);
}

}  // namespace zandor::fuzz
