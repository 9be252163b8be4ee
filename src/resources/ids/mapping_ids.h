#pragma once

// Control ids of the template ZUORDNUNG.
namespace zandor::mapping_ids {
constexpr int kFieldList = 201;
constexpr int kAutoMap = 101;
constexpr int kOptions = 102;
constexpr int kSave = 103;
constexpr int kStartImport = 104;
constexpr int kClose = 105;
}  // namespace zandor::mapping_ids
