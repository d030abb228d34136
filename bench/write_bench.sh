#!/usr/bin/env bash
# Rewriting the tags of a 5 MB MP3 file with `tagloom-cli set`, against copying that file with cp.
# Usage: bench/write_bench.sh [BUILD_DIR] [RUNS]   (default build-release, 21 runs)
# Prints the median wall time of each and the ratios; the target is at most 1.5x cp.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
runs=${2:-21}
cli=$build/bin/tagloom-cli
if [ ! -x "$cli" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target tagloom-cli -j2 >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tagloom-write-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# 5 MB: an ID3v2.3 tag with padding, then MPEG-1 Layer III frames, then an ID3v1 block.
python3 - "$work/source.mp3" <<'EOF'
import sys
frame = bytes([0xFF, 0xFB, 0x90, 0x00]) + bytes(413)
audio = frame * (5 * 1024 * 1024 // len(frame))
body = b"\x00Old title"
frames = b"TIT2" + len(body).to_bytes(4, "big") + b"\x00\x00" + body
data = frames + bytes(2048)
size = bytes([(len(data) >> s) & 0x7F for s in (21, 14, 7, 0)])
v1 = b"TAG" + b"Old title".ljust(30, b"\0") + bytes(94) + bytes([255])
open(sys.argv[1], "wb").write(b"ID3\x03\x00\x00" + size + data + audio + v1)
EOF
cp "$work/source.mp3" "$work/tagged.mp3"

now() { date +%s%N; }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# Each side runs as one process per file, as a user would run it; the file is in the page cache.
time_cp() {
  for _ in $(seq "$runs"); do
    local start end
    start=$(now); cp "$work/source.mp3" "$work/copy.mp3"; end=$(now)
    echo $(((end - start) / 1000))
  done | median
}
time_cp_sync() {
  for _ in $(seq "$runs"); do
    local start end
    start=$(now); cp "$work/source.mp3" "$work/copy.mp3"; sync "$work/copy.mp3"; end=$(now)
    echo $(((end - start) / 1000))
  done | median
}
time_set() {
  for i in $(seq "$runs"); do
    local start end
    start=$(now); "$cli" set "$work/tagged.mp3" --title "Run $i" --year 2024; end=$(now)
    echo $(((end - start) / 1000))
  done | median
}

cp_us=$(time_cp)
set_us=$(time_set)
sync_us=$(time_cp_sync)
size=$(stat -c %s "$work/tagged.mp3")
echo "file: $size bytes, median of $runs runs"
echo "cp:                 ${cp_us} us"
echo "cp + sync FILE:     ${sync_us} us"
echo "tagloom-cli set:    ${set_us} us (complete new file, flushed to disk, renamed over the old)"
awk -v s="$set_us" -v c="$cp_us" -v y="$sync_us" 'BEGIN {
  r = s / c
  printf "ratio set / cp:          %.2f (target <= 1.50: %s)\n", r, (r <= 1.5 ? "met" : "NOT met")
  printf "ratio set / (cp + sync): %.2f\n", s / y
}'
