#!/usr/bin/env bash
# Every audio format: a whole `tagloom-cli extract --formats all` process against TagLib's own
# reading loop (bench_taglib_formats_read) over the same files, an equal mix of FLAC, Ogg
# Vorbis, Opus, MP4 AAC and ALAC, WMA, WAV, AIFF, WavPack and MP3, with one job and with the
# default jobs; and MP3 alone with --formats mp3 and --formats all.
#   bench/formats_bench.sh [COPIES]        (default 150 copies of each of 19 files)
# TAGLOOM_BENCH_BUILD (default build-perf) is the build tree; TAGLOOM_BENCH_ROUNDS (default 5)
# the rounds whose median counts. Targets: at most 1.1x TagLib with one job, 0.6x with the
# default jobs; MP3 with --formats all within 1.1x of --formats mp3.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
copies=${1:-150}
build=${TAGLOOM_BENCH_BUILD:-$root/build-perf}
rounds=${TAGLOOM_BENCH_ROUNDS:-5}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF \
    -DTAGLOOM_BENCH=ON >/dev/null
else
  cmake -S "$root" -B "$build" -DTAGLOOM_BENCH=ON >/dev/null
fi
cmake --build "$build" --target tagloom-cli bench_taglib_formats_read -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$root/tests/tools/formats/make_corpus.py" "$work/one" >/dev/null
rm -f "$work/one/notes.wav" "$work/one/cut.wav"
mkdir -p "$work/files"
for ((c = 0; c < copies; c++)); do
  for f in "$work/one"/*; do
    name=$(basename "$f")
    cp "$f" "$work/files/$c-$name"
  done
done
find "$work/files" -type f | sort >"$work/list"
# MP3 alone: the peers' files (most without APEv2) ten times over where they are, else the
# corpus's MP3 copies, each with an APEv2 tag that TagLib then reads.
peers=${TAGLOOM_PEERS:-$root/../shared/corpus/peers}
if [ -d "$peers" ]; then
  for ((c = 0; c < 10; c++)); do find "$peers" -iname '*.mp3' -type f; done >"$work/mp3-list"
else
  grep '\.mp3$' "$work/list" >"$work/mp3-list"
fi
count=$(wc -l <"$work/list")
cli=$build/bin/tagloom-cli
columns="Filename,Title,Artist,Album,Year,TrackNumber,Genre,Duration (exact),Bit rate,Sampling rate,Channels,Format,Status"

extract() {  # extract LABEL LIST ARGS...
  local label=$1 list=$2
  shift 2
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$work/cpu" "$cli" extract --format csv --columns "$columns" \
    --files-from "$list" -o /dev/null "$@" 2>"$work/err" || {
    cat "$work/err" >&2
    exit 1
  }
  end=$(date +%s.%N)
  echo "$label $(echo "$end - $start" | bc) $(cat "$work/cpu")" >>"$work/stats"
}

taglib() {
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$work/cpu" "$build/bin/bench_taglib_formats_read" "$work/list" \
    >/dev/null
  end=$(date +%s.%N)
  echo "taglib $(echo "$end - $start" | bc) $(cat "$work/cpu")" >>"$work/stats"
}

echo "Corpus: $count files, $copies copies of each format's files ($(du -sh "$work/files" | cut -f1));" \
  "MP3 alone: $(wc -l <"$work/mp3-list") paths"
xargs -d "\n" cat <"$work/list" >/dev/null  # into the page cache
for ((r = 1; r <= rounds; r++)); do
  taglib
  extract all_1 "$work/list" --formats all --jobs 1
  extract all_default "$work/list" --formats all
  extract mp3_only "$work/mp3-list" --formats mp3 --jobs 1
  extract mp3_all "$work/mp3-list" --formats all --jobs 1
done

/usr/bin/python3 - "$work/stats" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, wall, user, system = line.split()
    runs.setdefault(name, []).append((float(wall), float(user) + float(system)))
med = {k: (statistics.median(w for w, _ in v), statistics.median(c for _, c in v))
       for k, v in runs.items()}
for name, (wall, cpu) in med.items():
    print(f"{name:12} wall {wall:7.3f} s   cpu {cpu:7.3f} s")
t = med["taglib"][0]
one = med["all_1"][0] / t
default = med["all_default"][0] / t
mp3 = med["mp3_all"][0] / med["mp3_only"][0]
print(f"extract --formats all --jobs 1 / TagLib loop: {one:.2f}x (target <= 1.1x) "
      f"{'ok' if one <= 1.1 else 'MISSED'}")
print(f"extract --formats all (default jobs) / TagLib loop: {default:.2f}x (target <= 0.6x) "
      f"{'ok' if default <= 0.6 else 'MISSED'}")
print(f"MP3 alone, --formats all / --formats mp3: {mp3:.2f}x (target <= 1.1x) "
      f"{'ok' if mp3 <= 1.1 else 'MISSED'}")
# On a machine other work shares, the CPU each process took tells what the wall times blur.
c = med["taglib"][1]
print(f"CPU: --jobs 1 {med['all_1'][1] / c:.2f}x, default jobs {med['all_default'][1] / c:.2f}x "
      f"of the TagLib loop; MP3 alone {med['mp3_all'][1] / med['mp3_only'][1]:.2f}x")
PY
