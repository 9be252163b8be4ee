#!/usr/bin/env bash
# bench/index_bench.sh [KEYS] [COMMIT_EVERY]: builds and runs the index benchmark
# (default: 1,000,000 random C(10) keys, pages written after every key).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/default -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/default --target index_bench >/dev/null
build/default/bench/index_bench "${1:-1000000}" "${2:-1}"
