#!/usr/bin/env bash
# bench/table_append.sh [DIR] [RECORDS]: appends 1,000,000 records of 10 mixed fields to
# an exclusive table in DIR (default: the temp directory) and compares the time with a
# plain write of the same number of bytes. Builds the default build first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build default >/dev/null
out=build/default/bench_table_append
c++ -std=c++20 -O2 -Isrc bench/table_append_bench.cpp \
  build/default/libzandor_table.a build/default/libzandor_base.a -o "$out"
"$out" "${1:-${TMPDIR:-/tmp}}" "${2:-1000000}"
