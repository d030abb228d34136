#!/usr/bin/env bash
# The cost of every column: whole `tagloom-cli extract` processes over one file list, the default
# columns against every column of --list-columns with --legacy-text detect, taking turns, each
# with one reading thread (--jobs 1) and with the default threads.
#   bench/columns_bench.sh [CORPUS_DIR]    (default /var/tmp/tagloom-bench, made if missing)
# TAGLOOM_CLI names a built tagloom-cli to use as it is; otherwise one is built in
# TAGLOOM_BENCH_BUILD (default build-perf, Release). TAGLOOM_BENCH_ROUNDS (default 15): rounds of
# one run of each, after one warming round; the medians count.
# Target: at most 1.2x the default columns, judged on the CPU time (user and system, from
# getrusage) with one reading thread, which is the work the read does, and on the wall time with
# the default threads, which is what a user waits for. The CPU time with the default threads is
# printed too: it also counts the reading threads slowing each other down on the cores they share.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/var/tmp/tagloom-bench}
rounds=${TAGLOOM_BENCH_ROUNDS:-15}
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

/usr/bin/python3 - "$cli" "$work/list" "$rounds" "$all" <<'PY'
import os, resource, statistics, subprocess, sys, time

cli, files, rounds, every = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
count = sum(1 for line in open(files) if line.strip())
default = every.split(",")[:12]
trust = ["Sources", "Conflicts", "Decoded as", "Duration (exact)", "Duration source"]
kinds = {
    "default columns": [],
    "every column, detect": ["--columns", every, "--legacy-text", "detect"],
    # The default ones and the trust columns: what the read itself adds, without the cost of
    # carrying fifty more cells a row through the table and the export.
    "default+trust, detect": ["--columns", ",".join(default + trust), "--legacy-text", "detect"],
}
settings = {"--jobs 1": ["--jobs", "1"], f"default jobs ({os.cpu_count()} cores)": []}
runs = {(setting, kind): jobs + extra for setting, jobs in settings.items()
        for kind, extra in kinds.items()}

def run(extra):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run([cli, "extract", "--format", "csv", "-o", "/dev/null",
                           "--files-from", files] + extra,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode not in (0, 3):
        sys.exit(f"extract failed with status {done.returncode}: {extra[:3]}")
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

for extra in runs.values():  # warm the page cache and the program
    run(extra)
times = {name: [] for name in runs}
for _ in range(rounds):
    for name, extra in runs.items():
        times[name].append(run(extra))

print(f"Corpus: {count} files; {rounds} rounds, medians; {len(every.split(','))} columns in all")
verdict = True
for setting in settings:
    print(f"\n{setting}")
    print(f"  {'':24}{'wall ms':>10}{'us/file':>10}{'cpu ms':>10}")
    medians = {}
    for kind in kinds:
        samples = times[(setting, kind)]
        wall = statistics.median(s[0] for s in samples)
        cpu = statistics.median(s[1] for s in samples)
        medians[kind] = (wall, cpu)
        print(f"  {kind:24}{wall * 1e3:10.1f}{wall / count * 1e6:10.1f}{cpu * 1e3:10.1f}")
    base = medians["default columns"]
    for kind in ("every column, detect", "default+trust, detect"):
        wall, cpu = (m / b for m, b in zip(medians[kind], base))
        # One thread: the CPU time is the work. Default threads: the wall time is the wait.
        judged = cpu if setting == "--jobs 1" else wall
        verdict = verdict and judged <= 1.2
        print(f"  ratio {kind} / default: wall {wall:.3f}x, cpu {cpu:.3f}x; "
              f"{'cpu' if setting == '--jobs 1' else 'wall'} at most 1.2x: "
              f"{'PASS' if judged <= 1.2 else 'FAIL'}")
print(f"\nTarget (at most 1.2x: CPU time with one job, wall time with the default jobs): "
      f"{'PASS' if verdict else 'FAIL'}")
PY
