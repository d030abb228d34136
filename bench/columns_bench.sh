#!/usr/bin/env bash
# The cost of every column: whole `tagloom-cli extract` processes over one file list, the default
# columns against every column of --list-columns with --legacy-text detect, taking turns.
#   bench/columns_bench.sh [CORPUS_DIR]    (default /var/tmp/tagloom-bench, made if missing)
# TAGLOOM_CLI names a built tagloom-cli to use as it is; otherwise one is built in
# TAGLOOM_BENCH_BUILD (default build-perf, Release). TAGLOOM_BENCH_ROUNDS (default 7): rounds of
# one run each, after one warming round; the medians count. TAGLOOM_BENCH_JOBS, when set, is
# given to every run as --jobs (1: one reading thread, the CPU time without the threads' hand-offs).
# Target: at most 1.2x the default in CPU time (user and system, from getrusage), which other work
# on a shared machine disturbs far less than wall time; both are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/var/tmp/tagloom-bench}
rounds=${TAGLOOM_BENCH_ROUNDS:-7}
jobs=${TAGLOOM_BENCH_JOBS:-}
cli=${TAGLOOM_CLI:-}
if [ -z "$cli" ]; then
  build=${TAGLOOM_BENCH_BUILD:-$root/build-perf}
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF >/dev/null
  cmake --build "$build" --target tagloom-cli -j2 >/dev/null
  cli=$build/bin/tagloom-cli
fi
[ -f "$corpus/.complete" ] || "$root/bench/make_corpus.sh" "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find "$corpus/files" -name '*.mp3' | sort >"$work/list"
# Every column the catalogue has, by header.
all=$("$cli" extract --list-columns | sed -n 's/^  //p' | paste -sd, -)

/usr/bin/python3 - "$cli" "$work/list" "$rounds" "$all" "$jobs" <<'PY'
import os, resource, statistics, subprocess, sys, time

cli, files, rounds, every, jobs = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
count = sum(1 for line in open(files) if line.strip())
default = every.split(",")[:12]
trust = ["Sources", "Conflicts", "Decoded as", "Duration (exact)", "Duration source"]
runs = {
    "default columns": [],
    "every column, detect": ["--columns", every, "--legacy-text", "detect"],
    # The default ones and the trust columns: what the read itself adds, without the cost of
    # carrying fifty more cells a row through the table and the export.
    "default+trust, detect": ["--columns", ",".join(default + trust), "--legacy-text", "detect"],
}

def run(extra):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run([cli, "extract", "--format", "csv", "-o", "/dev/null",
                           "--files-from", files] + (["--jobs", jobs] if jobs else []) + extra,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode not in (0, 3):
        sys.exit(f"extract failed with status {done.returncode}: {extra[:1]}")
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

for extra in runs.values():  # warm the page cache and the program
    run(extra)
times = {name: [] for name in runs}
for _ in range(rounds):
    for name, extra in runs.items():
        times[name].append(run(extra))

print(f"Corpus: {count} files; {rounds} rounds, medians; {len(every.split(','))} columns in all; "
      f"jobs {jobs or 'default'}")
print(f"{'':24}{'wall ms':>10}{'us/file':>10}{'cpu ms':>10}")
medians = {}
for name, samples in times.items():
    wall = statistics.median(s[0] for s in samples)
    cpu = statistics.median(s[1] for s in samples)
    medians[name] = (wall, cpu)
    print(f"{name:24}{wall * 1e3:10.1f}{wall / count * 1e6:10.1f}{cpu * 1e3:10.1f}")
base = medians["default columns"]
for name in ("every column, detect", "default+trust, detect"):
    wall, cpu = (m / b for m, b in zip(medians[name], base))
    print(f"ratio {name} / default: wall {wall:.3f}x, cpu {cpu:.3f}x "
          f"(target at most 1.2x, on CPU time): {'PASS' if cpu <= 1.2 else 'FAIL'}")
PY
