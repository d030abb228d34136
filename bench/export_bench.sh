#!/usr/bin/env bash
# The export benchmark in one command: builds bench_export and runs it.
# Usage: bench/export_bench.sh [ROWS] [FOLDER]   (defaults: 100000 rows, the temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TAGLOOM_BENCH_BUILD:-build-perf}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF \
  -DTAGLOOM_BENCH=ON >/dev/null
cmake --build "$build" --target bench_export -j2 >/dev/null
exec "$build/bin/bench_export" "$@"
