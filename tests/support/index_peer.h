#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "table/record_context.h"

namespace zandor::test {

// The field descriptors of a DBF file (enough to know a key's type).
std::vector<FieldInfo> dbfFields(const std::string& path);

// A minimal table for the independent reader: C and N fields, rows of field texts.
void writeDbf(const std::string& path, const std::vector<FieldInfo>& fields,
              const std::vector<std::vector<std::string>>& rows);

// What ../shared/tools/idxcheck.pl lists for one order: (key text, record) in index order.
// ok is false when the tool could not read the order.
struct PeerListing {
  bool ok = false;
  std::vector<std::pair<std::string, std::uint32_t>> entries;
  std::string raw;
};
PeerListing peerListing(const std::string& table, const std::string& index, const std::string& tag);

// The type of a key expression that is a single field name (else 'C').
char fieldKeyType(const std::vector<FieldInfo>& fields, std::string expression);

}  // namespace zandor::test
