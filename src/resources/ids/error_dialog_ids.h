#pragma once

// Control ids of the error dialog, which has no template of the business application.
namespace zandor::errdlg {
constexpr int kPicture = 100;
constexpr int kDescription = 101;
constexpr int kStackList = 102;
constexpr int kRetry = 111;
constexpr int kQuit = 112;
constexpr int kDefault = 113;
constexpr int kSeeReport = 114;
}  // namespace zandor::errdlg
