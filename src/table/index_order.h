#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"

namespace zandor {

// How an NTX order spells numeric keys. ZeroFilled is the published form: the number's text
// in the full key length with leading zeros, negative values digit-mapped. FieldText is what
// some other writers store: the text as in a numeric field (leading blanks, plain minus),
// one byte shorter than the key, followed by a NUL.
enum class NtxNumberForm { ZeroFilled, FieldText };

// What an order (CDX tag or NTX order) declares about itself.
struct OrderInfo {
  std::string name;
  std::string keyExpression;
  std::string forExpression;  // empty: every record has a key
  char keyType = 'C';         // C, N, D, L or I (4-byte integer); from the key expression's value
  int keyLength = 0;
  int decimals = 0;  // NTX numeric keys
  NtxNumberForm numberForm = NtxNumberForm::ZeroFilled;
  bool unique = false;
  bool descending = false;
  bool custom = false;      // keys are not maintained by record writes
  bool candidate = false;   // every record has a key, each key once (Visual FoxPro)
  bool nullMarked = false;  // keys start with a byte that marks NULL values
  std::string collation;    // sort sequence other than the machine's, by name
  bool caseInsensitive = false;
};

struct IndexEntry {
  std::string key;
  std::uint32_t recno = 0;
  bool operator==(const IndexEntry&) const = default;
};

// Findings of a structural check; empty problems means the order is sound.
struct CheckReport {
  std::vector<std::string> problems;
  std::size_t keyCount = 0;
  bool ok() const { return problems.empty(); }
};

// One order of an open index file. Keys are the encoded bytes of the format (see
// index_key.h); each order keeps one cursor that first/next/seek move. Damage found
// while reading pages is raised as the damage error (32/1012); after it (or a failed
// write) the order answers with nothing.
class IndexOrder {
 public:
  virtual ~IndexOrder() = default;
  virtual const OrderInfo& info() const = 0;
  // The type of the key expression's value, once evaluated against the table.
  virtual void setKeyType(char type) = 0;
  // The key expression's value on the table's current record, after setKeyType: lets an
  // order settle how it spells keys of that type (an NTX file of another writer). May read
  // pages and throw IndexDamage.
  virtual void adoptKeySample(const Value& /*sample*/) {}

  // The full key for a value of the key expression (padded, upper-cased as the order says).
  virtual std::string keyFor(const Value& value) const = 0;
  // The search key for a DBSEEK value: text cut to the key length, not padded.
  virtual std::string searchKeyFor(const Value& value) const = 0;

  // First key in the order's sequence whose first searchKey.size() bytes equal searchKey.
  virtual std::optional<IndexEntry> seek(std::string_view searchKey) = 0;
  virtual std::optional<IndexEntry> first() = 0;
  virtual std::optional<IndexEntry> next() = 0;

  // Maintenance; the key must have the full key length. insert answers false when the
  // entry is already there or a unique order already holds the key; remove answers
  // false when the entry was not there.
  virtual bool insert(std::string_view key, std::uint32_t recno) = 0;
  virtual bool remove(std::string_view key, std::uint32_t recno) = 0;
  // Writes every page changed since the last commit of the whole file.
  virtual void commit() = 0;
  // Validates the committed tree as it is on disk.
  virtual CheckReport check() = 0;
};

// An open index file with its orders in file order.
class IndexFile {
 public:
  virtual ~IndexFile() = default;
  virtual const std::string& path() const = 0;
  virtual std::size_t orderCount() const = 0;
  virtual IndexOrder& order(std::size_t index) = 0;
  virtual void commit() = 0;
  // Waits until the committed pages are on stable storage; throws std::system_error.
  virtual void sync() = 0;
  // Asks the system to start writing the file's changed pages, without waiting, so that a
  // sync of several files soon after overlaps their writes.
  virtual void startWriteback() = 0;
  // Closes the file; throws std::system_error when the system reports a failure there (a
  // write it could not finish). The file is closed either way.
  virtual void close() = 0;
};

}  // namespace zandor
