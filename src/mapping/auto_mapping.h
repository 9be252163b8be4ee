#pragma once

namespace zandor {

struct AppState;

// Maps every column whose heading equals a field name (letters a to z compared without
// regard to case, nothing trimmed) to that field, and reports the number of matching
// columns. False when the spreadsheet has no headings.
bool AUTOMATISCHZUORDNEN(AppState& state);

}  // namespace zandor
