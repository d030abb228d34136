#!/usr/bin/env bash
# Library-scale benchmark: the paths users run, as whole processes, against their peers measured
# in the same run, and one table of ratios and targets.
#   bench/scale_bench.sh [CORPUS_DIR]       (default /var/tmp/tagloom-bench)
#
# Builds a Release tree (TAGLOOM_BENCH_BUILD, default build-scale), makes the corpus when
# CORPUS_DIR/.complete is missing (bench/make_corpus.sh), and lists its 1 000 files ten times
# (10 000 paths) and a thousand times (1 000 000 paths). Then, taking turns:
#
# - warm: the floor (bench_floor_read), TagLib (bench_taglib_read), `tagloom-cli extract
#   --format json` with the default jobs and with --jobs 1, and the window's run (bench_window_run:
#   the real window on the offscreen platform, click to "Done."), TAGLOOM_BENCH_WARM_ROUNDS rounds
#   (default 5), the median counting;
# - cold: the page cache dropped before each run (echo 3 > /proc/sys/vm/drop_caches, so root is
#   needed; without it the cold rows are left out), TAGLOOM_BENCH_COLD_ROUNDS rounds (default 2);
# - a million rows: the window's run over the 1 000 000 paths (peak RSS, longest gap between two
#   yields, longest turn of the event loop, a sort by Title) and `extract --format json` over
#   them (peak RSS against the 10 000-path run);
# - the folder scan against `find -iname '*.mp3'` (bench_folder_scan, its tree kept in
#   TAGLOOM_BENCH_TREE, default /var/tmp/tagloom-scan-tree).
#
# Wall times count; CPU times (user + system of the process) are printed beside them, as they
# are steadier when other work shares the machine. The load average and the busiest other
# processes are printed before and after, since a busy machine moves the wall-time ratios.
# TAGLOOM_BENCH_SKIP_MILLION=1 leaves out the million-row runs (about a minute each).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/var/tmp/tagloom-bench}
build=${TAGLOOM_BENCH_BUILD:-$root/build-scale}
tree=${TAGLOOM_BENCH_TREE:-/var/tmp/tagloom-scan-tree}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF \
  -DTAGLOOM_BENCH=ON >/dev/null
targets=(tagloom-cli bench_floor_read bench_window_run bench_folder_scan tagloom_beside)
if grep -q '^bench_taglib_read' <<<"$(cmake --build "$build" --target help)"; then
  targets+=(bench_taglib_read)
fi
cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null

[ -f "$corpus/.complete" ] || "$root/bench/make_corpus.sh" "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$tree"

QT_QPA_PLATFORM=offscreen /usr/bin/python3 - "$build/bin" "$corpus" "$work" "$tree" <<'PY'
import os, statistics, subprocess, sys, time

bin_dir, corpus, work, tree = sys.argv[1:5]
warm_rounds = int(os.environ.get("TAGLOOM_BENCH_WARM_ROUNDS", "5"))
cold_rounds = int(os.environ.get("TAGLOOM_BENCH_COLD_ROUNDS", "2"))
skip_million = os.environ.get("TAGLOOM_BENCH_SKIP_MILLION", "0") == "1"
can_drop = os.geteuid() == 0 and os.path.exists("/proc/sys/vm/drop_caches")

files = sorted(os.path.join(corpus, "files", n) for n in os.listdir(os.path.join(corpus, "files"))
               if n.endswith(".mp3"))
lists = {}
for name, times in (("10k", 10), ("1m", 1000)):
    lists[name] = os.path.join(work, f"list{name}")
    with open(lists[name], "w") as out:
        for _ in range(times):
            out.write("\n".join(files) + "\n")
paths_10k = 10 * len(files)

def machine_state():
    load = open("/proc/loadavg").read().split()[:3]
    busy = subprocess.run(["ps", "-eo", "pcpu,comm", "--sort=-pcpu", "--no-headers"],
                          capture_output=True, text=True).stdout.splitlines()
    busy = [b.strip() for b in busy if b.strip() and not b.strip().startswith("0.0")][:4]
    return f"load average {' '.join(load)}; busiest: {', '.join(busy) or 'none'}"

def run(argv, stdout=subprocess.DEVNULL):
    """Wall seconds, CPU seconds (user + system), peak RSS KiB and stdout of one process."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE if stdout is None else stdout,
                            stderr=subprocess.DEVNULL)
    out = proc.stdout.read().decode() if stdout is None else ""
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0, 3):
        sys.exit(f"scale_bench: {' '.join(argv)} failed")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, out

def drop_caches():
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")

def figures(out):
    return {k: float(v) for k, v in (p.split("=") for p in out.split())}

cli = os.path.join(bin_dir, "tagloom-cli")
programs = {
    "floor": [os.path.join(bin_dir, "bench_floor_read"), lists["10k"]],
    "extract": [cli, "extract", "--format", "json", "--files-from", lists["10k"]],
    "extract1": [cli, "extract", "--format", "json", "--jobs", "1", "--files-from", lists["10k"]],
}
taglib = os.path.join(bin_dir, "bench_taglib_read")
if os.path.exists(taglib):
    programs["taglib"] = [taglib, lists["10k"]]
window = [os.path.join(bin_dir, "bench_window_run"), lists["10k"]]

print(f"corpus: {len(files)} files in {corpus}, listed ten times ({paths_10k} paths)")
print(f"machine: {os.cpu_count()} cores; before: {machine_state()}")

results = {}
def note(key, wall, cpu, rss=0, extra=None):
    results.setdefault(key, []).append((wall, cpu, rss, extra))

for argv in list(programs.values()) + [window]:  # the cache, and the programs, warm
    run(argv)
for _ in range(warm_rounds):
    for key, argv in programs.items():
        wall, cpu, rss, _ = run(argv)
        note(key, wall, cpu, rss)
    wall, cpu, rss, out = run(window, stdout=None)
    f = figures(out)
    note("window", f["run_s"], f["cpu_s"], rss, f)
    note("window_process", wall, cpu, rss)
if can_drop:
    for _ in range(cold_rounds):
        for key in ("floor", "extract", "extract1"):
            drop_caches()
            wall, cpu, rss, _ = run(programs[key])
            note("cold_" + key, wall, cpu, rss)
million = {}
if not skip_million:
    wall, cpu, rss, out = run([window[0], lists["1m"]], stdout=None)
    million["window"] = (wall, rss, figures(out))
    wall, cpu, rss, _ = run([cli, "extract", "--format", "json", "--files-from", lists["1m"]])
    million["extract"] = (wall, rss)
    million["extract_10k_rss"] = statistics.median(r[2] for r in results["extract"])
scan = subprocess.run([os.path.join(bin_dir, "bench_folder_scan"), tree], capture_output=True,
                      text=True).stdout
print(f"after: {machine_state()}")

def med(key, i=0):
    return statistics.median(r[i] for r in results[key])

print(f"\nper run, median of {warm_rounds} warm rounds"
      + (f" and {cold_rounds} cold rounds" if can_drop else "") + " (wall s / CPU s):")
for key in ["floor", "taglib", "extract", "extract1", "window", "window_process",
            "cold_floor", "cold_extract", "cold_extract1"]:
    if key in results:
        print(f"  {key:<16}{med(key):9.3f} s {med(key, 1):9.3f} s")

rows = []
def row(what, ours, peer, peer_name, target, unit="x"):
    ratio = ours / peer
    rows.append((what, f"{ours:.3f} s", f"{peer:.3f} s ({peer_name})", f"{ratio:.2f}x",
                 f"<= {target}{unit}", "PASS" if ratio <= target else "FAIL"))

floor = med("floor")
row("extract json, warm, default jobs", med("extract"), floor, "floor", 0.6)
row("extract json, warm, --jobs 1", med("extract1"), floor, "floor", 1.2)
if "taglib" in results:
    rows.append(("  (TagLib's reader, warm)", f"{med('taglib'):.3f} s", f"{floor:.3f} s (floor)",
                 f"{med('taglib') / floor:.2f}x", "", ""))
if can_drop:
    row("extract json, cold, default jobs", med("cold_extract"), med("cold_floor"), "floor", 0.4)
row("window run, click to Done.", med("window"), med("extract"), "extract", 1.1)
rows.append(("  (window process, start to exit)", f"{med('window_process'):.3f} s",
             f"{med('extract'):.3f} s (extract)", f"{med('window_process') / med('extract'):.2f}x",
             "", ""))
if million:
    wall, rss, f = million["window"]
    rows.append(("1M rows in the window: peak RSS", f"{rss / 1024:.0f} MB", "", "", "<= 400 MB",
                 "PASS" if rss / 1024 <= 400 else "FAIL"))
    rows.append(("1M rows: longest gap between yields", f"{f['max_gap_ms']:.1f} ms", "", "",
                 "<= 50 ms", "PASS" if f["max_gap_ms"] <= 50 else "FAIL"))
    rows.append(("1M rows: sort by Title", f"{f['sort_s']:.2f} s",
                 f"{f['sort_cpu_s']:.2f} s CPU", "", "<= 3 s",
                 "PASS" if f["sort_s"] <= 3 else "FAIL"))
    rows.append(("  (1M rows: longest turn of the event loop)", f"{f['max_turn_ms']:.1f} ms", "",
                 "", "", ""))
    rows.append(("  (1M rows: run, result table, file list)",
                 f"{f['run_s']:.1f} s", f"{f['result_blocks_kb'] / 1024:.0f} MB",
                 f"{f['file_list_blocks_kb'] / 1024:.0f} MB", "", ""))
    grow = (million["extract"][1] - million["extract_10k_rss"]) / 1024
    rows.append(("extract json, 1M paths: peak RSS", f"{million['extract'][1] / 1024:.0f} MB",
                 f"{million['extract_10k_rss'] / 1024:.0f} MB (10k paths)", f"+{grow:.0f} MB",
                 "<= +50 MB", "PASS" if grow <= 50 else "FAIL"))
for line in scan.splitlines():
    if line.startswith("folder scan:"):
        part = line.split(";")
        scan_s = float(part[0].split(" in ")[1].split()[0])
        find_s = float(part[1].split(" in ")[1].split()[0])
        row("folder scan, 100 000 files / 5 000 folders", scan_s, find_s, "find", 1.2)
    elif line.startswith("cpu time:"):
        rows.append(("  (folder scan, " + line + ")", "", "", "", "", ""))

widths = [max(len(r[i]) for r in rows) for i in range(6)]
print()
for r in rows:
    print("  ".join(c.ljust(widths[i]) for i, c in enumerate(r)).rstrip())
if not can_drop:
    print("\ncold rows left out: dropping the page cache needs root")
PY
