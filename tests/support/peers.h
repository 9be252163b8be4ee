#pragma once

#include <gtest/gtest.h>

// Skips a test that reads our files with the independent readers (Perl XBase, Python
// dbfread): they do not run under Windows; there scripts/windows-crosscheck reads the files
// the Windows program wrote on the Linux side.
#ifdef _WIN32
constexpr bool kPeerReadersRunHere = false;
#define ZANDOR_REQUIRE_PEERS() \
  GTEST_SKIP() << "the independent readers run on the Linux side (scripts/windows-crosscheck)"
#else
constexpr bool kPeerReadersRunHere = true;
#define ZANDOR_REQUIRE_PEERS() \
  do {                         \
  } while (0)
#endif
