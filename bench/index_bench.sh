#!/usr/bin/env bash
# Index benchmark: `tagloom-cli extract --index` over 10 000 unchanged paths against the floor of
# stat-ing them and against a full read, as whole processes measured in the same run.
#   bench/index_bench.sh [CORPUS_DIR]       (default /var/tmp/tagloom-bench)
#
# Builds a Release tree (TAGLOOM_BENCH_BUILD, default build-scale), makes the corpus when
# CORPUS_DIR/.complete is missing (bench/make_corpus.sh), and links its 1 000 files ten times
# into a tree of 10 000 paths (TAGLOOM_BENCH_INDEX_TREE, default /var/tmp/tagloom-index-tree).
# Every extract writes JSON Lines with every column. Taking turns, TAGLOOM_BENCH_WARM_ROUNDS
# rounds (default 5, the median counting):
#
# - warm: bench_stat_paths (a stat of each listed path, the floor), a full read without the
#   index, and a re-run with a filled index, which takes each row as the last run made it;
# - another shape: CSV with other columns over a copy of the filled index (its rows made anew
#   from the reads kept beside them) against a full read of that CSV;
# - cold (root only: the page cache dropped before each run, TAGLOOM_BENCH_COLD_ROUNDS rounds,
#   default 2): the full read and the re-run;
# - first run: with a new index against without one;
# - size: the index file against the JSON output;
# - memory: with TAGLOOM_BENCH_MILLION=1, a re-run over 1 000 000 listed paths (the 10 000 a
#   hundred times) against the one over 10 000, peak RSS.
# Wall times count; CPU times are printed beside them, steadier on a shared machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/var/tmp/tagloom-bench}
build=${TAGLOOM_BENCH_BUILD:-$root/build-scale}
tree=${TAGLOOM_BENCH_INDEX_TREE:-/var/tmp/tagloom-index-tree}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF \
  -DTAGLOOM_BENCH=ON >/dev/null
cmake --build "$build" --target tagloom-cli bench_stat_paths -j2 >/dev/null

[ -f "$corpus/.complete" ] || "$root/bench/make_corpus.sh" "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$build/bin" "$corpus" "$work" "$tree" <<'PY'
import os, shutil, statistics, subprocess, sys, time

bin_dir, corpus, work, tree = sys.argv[1:5]
warm_rounds = int(os.environ.get("TAGLOOM_BENCH_WARM_ROUNDS", "5"))
cold_rounds = int(os.environ.get("TAGLOOM_BENCH_COLD_ROUNDS", "2"))
million = os.environ.get("TAGLOOM_BENCH_MILLION", "0") == "1"
can_drop = os.geteuid() == 0 and os.path.exists("/proc/sys/vm/drop_caches")

files = sorted(os.path.join(corpus, "files", n) for n in os.listdir(os.path.join(corpus, "files"))
               if n.endswith(".mp3"))
paths = []
for copy in range(10):
    folder = os.path.join(tree, f"copy{copy}")
    os.makedirs(folder, exist_ok=True)
    for f in files:
        path = os.path.join(folder, os.path.basename(f))
        if not os.path.exists(path):
            os.link(f, path)
        paths.append(path)
list_10k = os.path.join(work, "list10k")
with open(list_10k, "w") as out:
    out.write("\n".join(paths) + "\n")
list_1m = os.path.join(work, "list1m")
if million:
    with open(list_1m, "w") as out:
        for _ in range(100):
            out.write("\n".join(paths) + "\n")

cli = os.path.join(bin_dir, "tagloom-cli")
every = ",".join(line[2:] for line in subprocess.run(
    [cli, "extract", "--list-columns"], capture_output=True, text=True).stdout.splitlines()
    if line.startswith("  "))
index = os.path.join(work, "index.db")
json_out = os.path.join(work, "out.json")

def extract(listed, with_index):
    return [cli, "extract", "--format", "json", "--columns", every, "-o", json_out] + \
           (["--index", index] if with_index else []) + ["--files-from", listed]

index_copy = os.path.join(work, "index-copy.db")
def reshaped(with_index):
    return [cli, "extract", "--format", "csv", "--columns", "Title,Artist,Album,Duration,Bit rate",
            "-o", os.path.join(work, "out.csv")] + \
           (["--index", index_copy] if with_index else []) + ["--files-from", list_10k]

def run(argv):
    """Wall seconds, CPU seconds (user + system) and peak RSS KiB of one process."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read().decode()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0, 3) or "index" in err:
        sys.exit(f"index_bench: {' '.join(argv[:3])} failed: {err}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss

def drop_caches():
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")

results = {}
def note(key, figures):
    results.setdefault(key, []).append(figures)
def med(key, i=0):
    return statistics.median(r[i] for r in results[key])

print(f"corpus: {len(files)} files in {corpus}, linked ten times ({len(paths)} paths) in {tree}")
print(f"machine: {os.cpu_count()} cores; load average {open('/proc/loadavg').read().split()[0]}")
stat_floor = [os.path.join(bin_dir, "bench_stat_paths"), list_10k]
full = extract(list_10k, False)
rerun = extract(list_10k, True)
run(full)
run(rerun)  # fills the index
for _ in range(warm_rounds):
    note("stat", run(stat_floor))
    note("full", run(full))
    note("rerun", run(rerun))
    shutil.copyfile(index, index_copy)
    note("shape", run(reshaped(True)))
    note("shape_full", run(reshaped(False)))
    os.remove(index)
    note("first", run(rerun))
    note("plain", run(full))
size_index = os.path.getsize(index)
size_json = os.path.getsize(json_out)
if can_drop:
    for _ in range(cold_rounds):
        drop_caches()
        note("cold_full", run(full))
        drop_caches()
        note("cold_rerun", run(rerun))
if million:
    note("rss_1m", run(extract(list_1m, True)))

print(f"\nper run, median of {warm_rounds} rounds (wall s / CPU s / peak RSS MiB):")
for key, what in (("stat", "stat of each path (the floor)"), ("full", "full read, no index"),
                  ("rerun", "re-run, index filled"),
                  ("shape_full", "CSV of 5 columns, no index"),
                  ("shape", "the same, index of the JSON run"),
                  ("plain", "first run without an index"),
                  ("first", "first run making the index"), ("cold_full", "cold full read"),
                  ("cold_rerun", "cold re-run")):
    if key in results:
        print(f"  {what:32} {med(key):8.3f} {med(key, 1):8.3f} {med(key, 2) / 1024:8.1f}")

rows = [
    ("warm re-run / stat floor", med("rerun") / med("stat"), 1.5),
    ("warm re-run / full read", med("rerun") / med("full"), 0.3),
    ("first run with / without index", med("first") / med("plain"), 1.3),
    ("index size / JSON, every column", size_index / size_json, 1.5),
]
if "cold_rerun" in results:
    rows.append(("cold re-run / cold full read", med("cold_rerun") / med("cold_full"), 0.15))
if million:
    rows.append(("peak RSS 1 000 000 - 10 000 paths (MiB)",
                 (med("rss_1m", 2) - med("rerun", 2)) / 1024, 50))
print(f"\nsizes: index {size_index / 2**20:.1f} MiB, JSON {size_json / 2**20:.1f} MiB")
print(f"\n{'ratio (wall)':42} {'measured':>9} {'target':>7}")
for name, value, target in rows:
    print(f"  {name:40} {value:9.3f} {target:7.2f}  {'met' if value <= target else 'MISSED'}")
cpu_rows = [("warm re-run / stat floor", med("rerun", 1) / med("stat", 1)),
            ("warm re-run / full read", med("rerun", 1) / med("full", 1))]
print(f"  {'another shape / its full read (no target)':40} "
      f"{med('shape') / med('shape_full'):9.3f}")
print("\nthe same by CPU time: " + "; ".join(f"{n} {v:.3f}" for n, v in cpu_rows))
PY
