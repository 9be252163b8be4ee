#pragma once

#include <optional>
#include <string>

namespace zandor {

struct AppState;
class WorkAreas;

// Generates the next free customer or article number from prefix and counter, looking each
// candidate up in the controlling order of the import's work area. Nothing when no number
// could be generated; the message has been shown then. The counter slot keeps the number
// it reached.
std::optional<std::string> AUTOGEN(AppState& state, WorkAreas& areas, const std::string& kind,
                                   const std::string& tableName);

constexpr int kAutogenAttempts = 10000;

}  // namespace zandor
