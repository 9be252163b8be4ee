#pragma once

// Control ids of the template DATEIWAHL.
namespace zandor::file_choice_ids {
constexpr int kXlsList = 111;
constexpr int kDbfList = 112;
constexpr int kBrowseXls = 121;
constexpr int kBrowseDbf = 122;
constexpr int kHeader = 105;
constexpr int kNextStep = 103;
constexpr int kSaveAndClose = 101;
constexpr int kCancel = 102;
}  // namespace zandor::file_choice_ids
