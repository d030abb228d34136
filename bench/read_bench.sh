#!/usr/bin/env bash
# Read benchmark: Tagloom against the floor (plain reads only) and TagLib, warm and cold.
#   bench/read_bench.sh [CORPUS_DIR]       (default /var/tmp/tagloom-bench)
# Builds the three reader programs if needed (TAGLOOM_BENCH_BUILD, default build-perf), makes the
# corpus if it is missing (bench/make_corpus.sh), then prints per-file times, the bytes each
# program made the kernel fetch cold, peak memory, the ratios and the targets, and checks that
# Tagloom and TagLib print the same fields. Cold runs evict the corpus from the page cache with
# posix_fadvise(DONTNEED); TAGLOOM_BENCH_DROP_CACHES=1 (as root) drops every cache instead.
# TAGLOOM_BENCH_WARM_ROUNDS (default 5) and TAGLOOM_BENCH_COLD_ROUNDS (default 2): the median
# round counts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/var/tmp/tagloom-bench}
build=${TAGLOOM_BENCH_BUILD:-$root/build-perf}
warm_rounds=${TAGLOOM_BENCH_WARM_ROUNDS:-5}
cold_rounds=${TAGLOOM_BENCH_COLD_ROUNDS:-2}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_GUI=OFF \
  -DTAGLOOM_TESTS=OFF -DTAGLOOM_BENCH=ON >/dev/null
programs=(floor tagloom)
targets=(bench_floor_read bench_tagloom_read)
known=$(cmake --build "$build" --target help)
if grep -q '^bench_taglib_read' <<<"$known"; then
  programs+=(taglib)
  targets+=(bench_taglib_read)
else
  echo "TagLib not found (libtag1-dev): the TagLib column is left out" >&2
fi
cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null

[ -f "$corpus/.complete" ] || "$root/bench/make_corpus.sh" "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find "$corpus/files" -name '*.mp3' | sort >"$work/list"
count=$(wc -l <"$work/list")

evict() {
  if [ "${TAGLOOM_BENCH_DROP_CACHES:-0}" = 1 ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  else
    /usr/bin/python3 - "$work/list" <<'PY'
import os, sys
for path in open(sys.argv[1]).read().split("\n"):
    if path:
        fd = os.open(path, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
PY
  fi
}

run() {  # run PROGRAM MODE ROUND: one pass over the corpus; its figures go to $work/stats
  "$build/bin/bench_${1}_read" "$work/list" >"$work/$1.out" 2>"$work/last"
  sed "s/^/$2 $3 /" "$work/last" >>"$work/stats"
}

echo "Corpus: $count files in $corpus/files ($(du -sh "$corpus/files" | cut -f1))"
# Warm: the corpus is read once into the page cache, then the programs take turns.
for p in "${programs[@]}"; do run "$p" prime 0; done
for ((r = 1; r <= warm_rounds; r++)); do
  for p in "${programs[@]}"; do run "$p" warm "$r"; done
done
# Cold: every run starts with the corpus out of the page cache.
for ((r = 1; r <= cold_rounds; r++)); do
  for p in "${programs[@]}"; do
    evict
    run "$p" cold "$r"
  done
done
for p in "${programs[@]}"; do run "$p" final 0; done  # warm outputs for the comparison

/usr/bin/python3 - "$work" "$count" "${programs[@]}" <<'PY'
import statistics, sys

work, count, programs = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
runs = {}
for line in open(f"{work}/stats"):
    mode, _, name, *pairs = line.split()
    fields = dict(pair.split("=") for pair in pairs)
    runs.setdefault((name, mode), []).append({k: float(v) for k, v in fields.items()})

def median(name, mode, key):
    return statistics.median(r[key] for r in runs[(name, mode)])

# The largest ID3v2 tag, header included, from the sizes the floor printed.
largest = max(int(line.split("\t")[1]) for line in open(f"{work}/floor.out")) + 10
table = {}
for p in programs:
    all_runs = [r for (n, _), rs in runs.items() if n == p for r in rs]
    peak = max(r["peak_rss_kb"] for r in all_runs)
    growth = max(r["peak_rss_kb"] - r["start_rss_kb"] for r in all_runs)
    table[p] = (median(p, "warm", "us_per_file"), median(p, "cold", "us_per_file"),
                median(p, "cold", "read_bytes") / count / 1024, peak, growth,
                median(p, "warm", "cpu_us_per_file"))

print(f"\n{'program':<9}{'warm us/file':>14}{'warm CPU us':>13}{'cold us/file':>14}"
      f"{'cold KiB fetched/file':>23}{'peak RSS KiB':>14}{'RSS growth KiB':>16}")
for p in programs:
    w, c, f, peak, growth, cpu = table[p]
    print(f"{p:<9}{w:>14.1f}{cpu:>13.1f}{c:>14.1f}{f:>23.1f}{peak:>14.0f}{growth:>16.0f}")

t = table["tagloom"]
print("\nratios (other / tagloom; above 1 means Tagloom is faster or fetches less)")
print(f"{'':<9}{'warm':>10}{'warm CPU':>10}{'cold':>10}{'fetched':>10}")
for p in programs:
    if p != "tagloom":
        o = table[p]
        print(f"{p:<9}{o[0] / t[0]:>10.2f}{o[5] / t[5]:>10.2f}{o[1] / t[1]:>10.2f}"
              f"{o[2] / max(t[2], 1e-9):>10.2f}")

checks = [("warm: Tagloom no slower than the floor", t[0] <= table["floor"][0]),
          ("cold: Tagloom faster than the floor", t[1] < table["floor"][1])]
if "taglib" in table:
    checks += [("warm: Tagloom at least 2.5x faster than TagLib", table["taglib"][0] >= 2.5 * t[0]),
               ("cold: Tagloom faster than TagLib", t[1] < table["taglib"][1])]
checks.append((f"memory: Tagloom's RSS growth {t[4]:.0f} KiB within the largest tag "
               f"({largest // 1024} KiB) + 1 MiB", t[4] * 1024 <= largest + 1024 * 1024))

if "taglib" in table:
    # Fields must match exactly; audio figures within rounding of each reader's formula.
    ours = open(f"{work}/tagloom.out", encoding="utf-8").read().splitlines()
    theirs = open(f"{work}/taglib.out", encoding="utf-8").read().splitlines()
    names = ["Title", "Artist", "Album", "TrackNumber", "Year", "Comments", "Lyrics", "Composer",
             "Band", "Conductor", "Copyright", "kbit/s", "Hz", "seconds", "channels"]
    differ = []
    for a, b in zip(ours, theirs):
        x, y = a.split("\t"), b.split("\t")
        bad = [names[i] for i in range(15)
               if (x[i + 1] != y[i + 1] if i not in (11, 13) else abs(float(x[i + 1]) - float(y[i + 1])) > 1)]
        if bad:
            differ.append(f"{x[0]}: {', '.join(bad)}")
    print(f"\nTagloom and TagLib agree on {len(ours) - len(differ)} of {len(ours)} files")
    for d in differ[:10]:
        print("  differs:", d)
    checks.append(("fields: Tagloom and TagLib agree on every file", not differ and len(ours) == len(theirs)))

print()
for text, ok in checks:
    print(f"{'PASS' if ok else 'FAIL'}  {text}")
PY
