#pragma once

#include <cstddef>
#include <cstdint>

#include "table/index_open.h"

namespace zandor::fuzz {

// Writes the bytes to a file of the driver's kind, then opens, reads, changes and checks it
// as the work areas do. Any failure must be the index damage error (or the write error of a
// full disk); anything else, a crash or a sanitizer finding ends the run.
void exerciseIndexBytes(const std::uint8_t* data, std::size_t size, IndexDriver driver);

}  // namespace zandor::fuzz
