#pragma once

namespace zandor::test {

// Processor seconds this process has used so far, user and system time together.
double processCpuSeconds();

}  // namespace zandor::test
