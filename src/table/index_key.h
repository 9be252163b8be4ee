#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/value.h"
#include "table/index_order.h"

namespace zandor {

// The key type of an expression value: C, N, D or L ('?' for any other kind).
char keyTypeOf(const Value& value);

// CDX numeric and date keys: the IEEE double big-endian, sign bit set for positive values,
// all bytes inverted for negative ones, so memcmp orders them numerically.
std::string sortableDouble(double value);
// The 4-byte CDX key of an integer field: big-endian with the sign bit flipped.
std::string sortableInteger(std::int32_t value);

// A CDX key of the given type from an expression value. C keys are blank padded or cut
// to the length; D keys are the day number; an empty date or a non-matching value kind
// gives the key of 0.0.
std::string cdxKey(const Value& value, char type, int length, bool upperCase);

// NTX numeric key text: leading zeros, fixed decimals; negative values map each digit d
// to the byte 0x5C - d so they sort below the positive ones.
std::string ntxNumberKey(double value, int length, int decimals);
// The other writers' numeric key: the field text in length - 1 bytes (blanks on the left,
// plain minus, asterisks when it does not fit) and a NUL.
std::string ntxFieldTextKey(const Number& value, int length, int decimals);
std::string ntxKey(const Value& value, char type, int length, int decimals, bool upperCase,
                   NtxNumberForm form = NtxNumberForm::ZeroFilled);

// The search bytes for a seek value: text cut to the key length (upper-cased on request),
// other kinds as a full key.
std::string cdxSearchKey(const Value& value, char type, int length, bool upperCase);
std::string ntxSearchKey(const Value& value, char type, int length, int decimals, bool upperCase,
                         NtxNumberForm form = NtxNumberForm::ZeroFilled);

}  // namespace zandor
