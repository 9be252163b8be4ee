#pragma once

#include <stdexcept>
#include <string>

namespace zandor::sheet {

// A file the spreadsheet server cannot read; what() says why (UTF-8 text).
class SheetReadError : public std::runtime_error {
 public:
  explicit SheetReadError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace zandor::sheet
