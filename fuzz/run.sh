#!/usr/bin/env bash
# Builds the libFuzzer target with clang (address and undefined-behaviour sanitizers) and runs
# it for a bounded time. The target makes whole rows, so the tree is configured with Qt.
#   fuzz/run.sh SECONDS [BUILD_DIR]
# TAGLOOM_FUZZ_TARGET names another target than fuzz_read (fuzz_mapping: the tag mapping).
# Seeds: the bundled samples and the peer corpus, when present. The growing corpus is kept in
# BUILD_DIR/fuzz-corpus, crashes as BUILD_DIR/fuzz-findings/crash-*; the log ends with the
# number of executions that ran clean.
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR]}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
target=${TAGLOOM_FUZZ_TARGET:-fuzz_read}

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAGLOOM_FUZZ=ON -DTAGLOOM_GUI=ON -DTAGLOOM_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target "$target" -j2 >/dev/null
# The bundled samples come from the sample generator when the project has one.
known=$(cmake --build "$build" --target help 2>/dev/null || true)
if grep -q '^tagloom_samples' <<<"$known"; then
  cmake --build "$build" --target tagloom_samples -j2 >/dev/null || true
fi

corpus=$build/fuzz-corpus
[ "$target" = fuzz_read ] || corpus=$build/fuzz-corpus-$target
findings=$build/fuzz-findings
mkdir -p "$corpus" "$findings"
seeds=()
for dir in "$build/bin/Samples" "$root/../shared/corpus/peers" "${TAGLOOM_PEERS:-}"; do
  [ -n "$dir" ] && [ -d "$dir" ] && seeds+=("$dir")
done

# Inputs up to 64 KiB reach the tag, the first 20480-byte audio chunk and the trailing tags;
# a single allocation above 32 MiB means the reader trusted a size the input cannot back.
status=0
"$build/bin/$target" "$corpus" "${seeds[@]}" \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=32 \
  -artifact_prefix="$findings/" -print_final_stats=1 >"$build/fuzz-last.log" 2>&1 || status=$?
grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' \
  "$build/fuzz-last.log" || true
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz-last.log" | tail -1)
echo "$target: ${runs:-0} executions in ${seconds}s, exit status $status"
exit "$status"
