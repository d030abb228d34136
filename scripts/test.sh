#!/usr/bin/env bash
# Installs what is missing, builds (a normal build and an ASan+UBSan build) and runs every test.
# TAGLOOM_WERROR=ON (CI sets it) makes every warning an error. A fast subset:
#   ctest --test-dir build -L unit      (labels: unit, gui, tools, corpus, package)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/check_layers.sh
scripts/deps.sh
jobs=$(nproc)
werror=${TAGLOOM_WERROR:-OFF}
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAGLOOM_SANITIZE=ON \
  -DTAGLOOM_WERROR="$werror" >/dev/null
cmake --build build-asan -j "$jobs"
# The sanitizer tree's tests join this tree's, so one CTest run gives one summary.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAGLOOM_EXTRA_TEST_TREE="$PWD/build-asan" -DTAGLOOM_WERROR="$werror" >/dev/null
cmake --build build -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec ctest --test-dir build --output-on-failure -j "$jobs"
