#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "base/paths.h"

namespace zandor {

// An empty file only its owner may read or write. Rebuilds start their temporary files this
// way, so that an index others may not read is not readable while it is rebuilt; the file takes
// over the old one's mode when it replaces it. Writers that later open it with truncation keep
// these permissions.
inline void createOwnerOnlyFile(const std::string& path) {
  std::ofstream(nativePath(path), std::ios::binary | std::ios::trunc);
  std::error_code ec;
  std::filesystem::permissions(
      nativePath(path), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
      ec);
}

}  // namespace zandor
