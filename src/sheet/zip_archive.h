#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "sheet/cell_store.h"

struct zip;

namespace zandor::sheet {

class PartReader;

// A zip file opened for reading; closed when the object goes.
class ZipArchive {
 public:
  // Throws SheetReadError when the file is no readable zip. The limits go to every reader
  // of the archive's parts.
  ZipArchive(const std::string& path, const ReadLimits& limits);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  const std::string& path() const { return path_; }
  const ReadLimits& limits() const { return limits_; }
  // Part names are compared without regard to ASCII letter case, as in the package format.
  bool has(std::string_view name) const;
  // Inflated size of a part as the archive states it, 0 when unknown.
  std::uint64_t partSize(std::string_view name) const;
  // Feeds the inflated part to sink chunk by chunk; throws SheetReadError when the part is
  // missing, corrupt, or inflates beyond limits().maxPartBytes (a zip bomb).
  void stream(std::string_view name, const std::function<void(const char*, std::size_t)>& sink);
  // The part for reading chunk by chunk; throws as stream does.
  std::unique_ptr<PartReader> openPart(std::string_view name);
  // The whole part (for the small ones), at most limit bytes.
  std::string read(std::string_view name, std::uint64_t limit = 64u << 20);

 private:
  // The name as stored in the archive of the part called name in any letter case.
  std::string storedName(std::string_view name) const;

  std::string path_;
  ReadLimits limits_;
  zip* zip_ = nullptr;
};

}  // namespace zandor::sheet
