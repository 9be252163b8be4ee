#pragma once

// Control ids of the template WAIT_MSG.
namespace zandor::wait_ids {
constexpr int kText = 101;
constexpr int kProgress = 102;
}  // namespace zandor::wait_ids
