#pragma once

#include <string>
#include <vector>

namespace zandor {

// Checks that every memo reference of a table can be read whole: the field holds a block
// number, the block lies inside the memo file, its block header is sound and the text ends
// inside the file. One German line per reference that cannot, naming record and field
// ("Satz 3, Feld NOTIZ: ..."); empty when all are sound or the table has no memo fields.
// The table is opened shared and read-only with the given driver (which decides the memo
// kind of a plain table). Throws TableError when the table or memo file cannot be opened.
std::vector<std::string> checkMemoReferences(const std::string& tablePath,
                                             const std::string& driver);

}  // namespace zandor
