#pragma once

namespace zandor {

// Whether an index file opened for writing is mapped into memory where that can be done,
// or written with ordinary writes only (as where a file system cannot map it).
enum class PageMapping { WhenPossible, Never };

}  // namespace zandor
