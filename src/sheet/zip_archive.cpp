#include "sheet/zip_archive.h"

#include <zip.h>

#include <memory>
#include <vector>

#include "sheet/cell_store.h"
#include "sheet/sheet_error.h"

namespace zandor::sheet {

namespace {

struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// Part names inside the zip have no leading "/" (relationship targets sometimes do).
std::string entryName(std::string_view name) {
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  return std::string(name);
}

}  // namespace

ZipArchive::ZipArchive(const std::string& path) {
  int error = 0;
  zip_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!zip_) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, error);
    const std::string why = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    throw SheetReadError(
        "Die Datei ist besch\xc3\xa4"
        "digt (ZIP: " +
        why + ").");
  }
}

ZipArchive::~ZipArchive() {
  if (zip_) zip_discard(zip_);
}

bool ZipArchive::has(std::string_view name) const {
  return zip_name_locate(zip_, entryName(name).c_str(), 0) >= 0;
}

void ZipArchive::stream(std::string_view name,
                        const std::function<void(const char*, std::size_t)>& sink) {
  const std::string entry = entryName(name);
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen(zip_, entry.c_str(), 0));
  if (!file) {
    const int code = zip_error_code_zip(zip_get_error(zip_));
    if (code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD)
      throw SheetReadError("Die Datei ist kennwortgesch\xc3\xbctzt.");
    throw SheetReadError("Teil \"" + entry +
                         "\" fehlt oder ist besch\xc3\xa4"
                         "digt.");
  }
  std::vector<char> buffer(1 << 18);
  std::uint64_t total = 0;
  for (;;) {
    const zip_int64_t got = zip_fread(file.get(), buffer.data(), buffer.size());
    if (got < 0)
      throw SheetReadError("Teil \"" + entry +
                           "\" ist besch\xc3\xa4"
                           "digt.");
    if (got == 0) break;
    total += static_cast<std::uint64_t>(got);
    if (total > readLimits().maxPartBytes)
      throw SheetReadError("Teil \"" + entry +
                           "\" ist entpackt gr\xc3\xb6\xc3\x9f"
                           "er als " +
                           std::to_string(readLimits().maxPartBytes) + " Bytes.");
    sink(buffer.data(), static_cast<std::size_t>(got));
  }
}

std::string ZipArchive::read(std::string_view name, std::uint64_t limit) {
  std::string out;
  stream(name, [&](const char* data, std::size_t size) {
    if (out.size() + size > limit)
      throw SheetReadError("Teil \"" + entryName(name) + "\" ist zu gro\xc3\x9f.");
    out.append(data, size);
  });
  return out;
}

}  // namespace zandor::sheet
