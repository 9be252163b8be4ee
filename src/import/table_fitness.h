#pragma once

#include <optional>
#include <string>

namespace zandor {

class WorkAreas;

// Before an import writes into the table open in the current work area: whether the table
// and the index files open with it can take its records. A header that counts fewer
// records than the file holds (a program ended while it appended) would have them written
// over while their keys stay; an order whose tree is damaged, or whose keys are not exactly
// those of the records (a key pointing at another record, holding another value, missing or
// left over), would not find keys the table holds and the import would append them twice,
// or update the wrong record. Goes through every record for that, once per order.
// Answers the message (Windows-1252) that refuses the run, or nothing when all is fit.
std::optional<std::string> unfitForImport(WorkAreas& areas);

}  // namespace zandor
