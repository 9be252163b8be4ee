#pragma once

#include <string>

namespace zandor {

struct AppState;

// Which of the two known tables a table file is, by the start of its name without folder
// and extension, in upper case.
enum class TableKind { Address, Article, Other };
TableKind tableKindOf(const std::string& tableFile);

// The import options dialog: the stop column, and for the address and article tables
// whether their numbers are generated. Both write to the state at once. Always true.
bool EINLESEOPTION(AppState& state);

}  // namespace zandor
