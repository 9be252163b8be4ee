#pragma once

// Control ids of the template VOREINST.
namespace zandor::preferences_ids {
constexpr int kXlsDirectory = 111;
constexpr int kDbfDirectory = 112;
constexpr int kAdrPrefix = 113;
constexpr int kAdrNumber = 114;
constexpr int kArtPrefix = 115;
constexpr int kArtNumber = 116;
constexpr int kChooseXlsDirectory = 121;
constexpr int kChooseDbfDirectory = 122;
constexpr int kAdrPreview = 131;
constexpr int kArtPreview = 132;
constexpr int kUpdate = 141;
constexpr int kByArticleNumber = 1001;
constexpr int kBySupplierNumber = 1002;
constexpr int kOk = 101;
constexpr int kCancel = 102;
}  // namespace zandor::preferences_ids
