#pragma once

// Control ids of the template EINLESEOPTION.
namespace zandor::import_options_ids {
constexpr int kStopColumn = 111;
constexpr int kAutoNumber = 105;
constexpr int kSave = 101;
constexpr int kCancel = 102;
}  // namespace zandor::import_options_ids
