// Writes the starting files of the index fuzz targets: DIR/cdx/ with a compound file of
// three tags (character, numeric, descending unique with FOR) and DIR/ntx/ with an order
// over a tree of several levels.
#include <cstdio>
#include <filesystem>

#include "base/text.h"
#include "table/cdx_file.h"
#include "table/index_key.h"
#include "table/ntx_file.h"

using namespace zandor;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: index_fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir / "cdx");
  std::filesystem::create_directories(dir / "ntx");
  std::vector<IndexEntry> names, amounts;
  for (std::uint32_t r = 1; r <= 400; ++r) {
    names.push_back({padRight("N" + std::to_string(r % 97), 10), r});
    amounts.push_back({sortableDouble(r % 13), r});
  }
  {
    auto f = CdxFile::create((dir / "cdx" / "seed.cdx").string());
    f->addTag({"NAME", "NAME", "", 'C', 10, false, false, false}, names);
    f->addTag({"AMOUNT", "AMOUNT", "", 'N', 8, false, false, false}, amounts);
    f->addTag({"UNAME", "UPPER(NAME)", "AMOUNT > 3", 'C', 10, true, true, false}, names);
    f->commit();
  }
  NtxFile::NewOrder def;
  def.keyExpression = "NAME";
  NtxFile::create((dir / "ntx" / "seed.ntx").string(), def, names);
  return 0;
}
