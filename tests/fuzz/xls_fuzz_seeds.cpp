// Writes the seeds of the .xls fuzz target: each given .xls file as it is and its workbook
// stream alone.
//   xls_fuzz_seeds DIR FILE.xls...
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sheet/cfb_file.h"
#include "sheet/sheet_error.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xls_fuzz_seeds DIR FILE.xls...\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  for (int i = 2; i < argc; ++i) {
    const std::filesystem::path file = argv[i];
    std::filesystem::copy_file(file, dir / file.filename(),
                               std::filesystem::copy_options::overwrite_existing);
    try {
      const std::string stream = zandor::sheet::CompoundFile(file.string()).readStream(u"Workbook");
      std::ofstream(dir / (file.stem().string() + ".stream"), std::ios::binary) << stream;
    } catch (const zandor::sheet::SheetReadError& e) {
      std::fprintf(stderr, "%s: %s\n", argv[i], e.what());
    }
  }
  return 0;
}
