#!/usr/bin/env bash
# Installs what is missing, builds (a normal build, an ASan+UBSan build and a ThreadSanitizer
# build of the tests that start threads) and runs every test.
# TAGLOOM_WERROR=ON (CI sets it) makes every warning an error. A fast subset:
#   ctest --test-dir build -L unit      (labels: unit, gui, tools, corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/check_layers.sh
scripts/check_function_size.py
scripts/deps.sh
jobs=$(nproc)
werror=${TAGLOOM_WERROR:-OFF}
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAGLOOM_SANITIZE=ON \
  -DTAGLOOM_WERROR="$werror" >/dev/null
cmake --build build-asan -j "$jobs"
# A ThreadSanitizer tree of what starts threads alone: the tests of the read-ahead and the runs,
# and the command line reading with many threads.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGLOOM_TSAN=ON \
  -DTAGLOOM_WERROR="$werror" >/dev/null
cmake --build build-tsan -j "$jobs" --target test_platform test_batch test_shell_property_run \
  tagloom-cli tagloom_samples
# The sanitizer trees' tests join this tree's, so one CTest run gives one summary.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAGLOOM_EXTRA_TEST_TREE="$PWD/build-asan;$PWD/build-tsan" -DTAGLOOM_WERROR="$werror" >/dev/null
cmake --build build -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# A test starts a program from a process that has run threads before.
export TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$PWD/tests/tsan-suppressions.txt"
exec ctest --test-dir build --output-on-failure -j "$jobs"
