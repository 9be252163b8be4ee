// The batch of page writes is the same on every platform; only how PageFile writes it differs.
#include "table/page_file.h"

namespace zandor {

unsigned char* PageBatch::add(std::uint64_t offset, std::size_t length) {
  const std::size_t at = bytes_.size();
  bytes_.resize(at + length);
  writes_.push_back({offset, length, at, nullptr});
  return bytes_.data() + at;
}

void PageBatch::clear() {
  writes_.clear();
  bytes_.clear();
}

}  // namespace zandor
