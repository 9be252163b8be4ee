#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"

namespace zandor {

// The tagged, length-prefixed encoding of nested lists used by mapping profiles. Every item
// is a type letter, a 16-bit little-endian payload length and the payload; a list's payload
// is a 16-bit element count followed by the encoded elements.

// The largest length the 16-bit fields can hold.
constexpr std::size_t kMaxItemLength = 32767;
// At most this many levels of lists, the outer one included (profiles need three).
constexpr int kMaxListDepth = 200;

// Encodes a list; nothing when a length or count would not fit into 16 bits.
std::optional<std::string> ASAVE(const std::vector<Value>& list);

// Decodes exactly one encoded list item that fills the whole input; nothing when the bytes
// are not such an item (wrong type, lengths beyond the data or not adding up, a count that
// does not match, a number or logical that is no valid text of its kind, trailing bytes).
std::optional<std::vector<Value>> AREAD(std::string_view bytes);

}  // namespace zandor
