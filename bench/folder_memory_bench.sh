#!/usr/bin/env bash
# Peak memory of `tagloom-cli extract` over one folder of 100 000 files, and over a tree of 100
# folders of 1 000, against one folder of 1 000, and the same of `find` over them, so the growth
# per file is seen beside a peer's.
#   bench/folder_memory_bench.sh [CLI]     (default: a Release build in TAGLOOM_BENCH_BUILD,
#                                           default build-scale)
# The files are hard links to one small MP3 (the first bundled sample), in TAGLOOM_BENCH_FOLDERS
# (default /var/tmp/tagloom-folder-memory), made once. Target: the 100 000-file folder costs at
# most 5 MB more peak memory than the 1 000-file one, for JSON Lines and CSV with the default
# jobs and with --jobs 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAGLOOM_BENCH_BUILD:-$root/build-scale}
folders=${TAGLOOM_BENCH_FOLDERS:-/var/tmp/tagloom-folder-memory}
cli=${1:-}
if [ -z "$cli" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF >/dev/null
  cmake --build "$build" --target tagloom-cli tagloom_samples -j2 >/dev/null
  cli=$build/bin/tagloom-cli
fi
sample=$( (find "$(dirname "$cli")/Samples" "$build/bin/Samples" "$root/build/bin/Samples" \
  -name '*.mp3' 2>/dev/null || true) | sort | head -1)
[ -n "$sample" ] || { echo "folder_memory_bench: no sample MP3 beside $cli" >&2; exit 1; }
/usr/bin/python3 - "$sample" "$folders" <<'PY'
import os, sys

sample, folders = sys.argv[1:3]
for count in (1000, 100000):
    folder = os.path.join(folders, f"f{count}")
    if os.path.exists(os.path.join(folder, ".complete")):
        continue
    os.makedirs(folder, exist_ok=True)
    data = open(sample, "rb").read()
    for n in range(1, count + 1):
        # A file takes at most so many links: each 50 000 names share a copy of their own.
        seed = os.path.join(folders, f"seed{n // 50000}.mp3")
        if not os.path.exists(seed):
            open(seed, "wb").write(data)
        name = os.path.join(folder, f"song{n:06d}.mp3")
        if not os.path.exists(name):
            os.link(seed, name)
    open(os.path.join(folder, ".complete"), "w").close()
tree = os.path.join(folders, "tree100x1000")
if not os.path.exists(os.path.join(tree, ".complete")):
    data = open(sample, "rb").read()
    for d in range(100):
        album = os.path.join(tree, f"album{d:03d}")
        os.makedirs(album, exist_ok=True)
        seed = os.path.join(folders, f"treeseed{d}.mp3")
        if not os.path.exists(seed):
            open(seed, "wb").write(data)
        for n in range(1, 1001):
            name = os.path.join(album, f"song{n:06d}.mp3")
            if not os.path.exists(name):
                os.link(seed, name)
    open(os.path.join(tree, ".complete"), "w").close()
PY

/usr/bin/python3 - "$cli" "$folders" <<'PY'
import os, subprocess, sys

cli, folders = sys.argv[1:3]

def peak_kib(argv):
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) not in (0, 3):
        sys.exit(f"folder_memory_bench: {' '.join(argv)} failed")
    return usage.ru_maxrss

def best(argv, rounds=3):
    return min(peak_kib(argv) for _ in range(rounds))

small, large = os.path.join(folders, "f1000"), os.path.join(folders, "f100000")
tree = os.path.join(folders, "tree100x1000")
print(f"{'run':44} {'1 000 files':>12} {'100 000':>12} {'growth':>8} {'100 x 1 000':>12} {'growth':>8}")
rows = [("find -name '*.mp3'", lambda d: ["find", d, "-name", "*.mp3"])]
for fmt in ("json", "csv"):
    for jobs in ([], ["--jobs", "1"]):
        label = f"extract --format {fmt} {' '.join(jobs) or '(default jobs)'}"
        rows.append((label, lambda d, fmt=fmt, jobs=jobs: [cli, "extract", "--format", fmt, *jobs, d]))
worst = worst_tree = 0
for label, argv in rows:
    a, b, t = best(argv(small)), best(argv(large)), best(argv(tree))
    growth, growth_tree = (b - a) / 1024, (t - a) / 1024
    if label.startswith("extract"):
        worst, worst_tree = max(worst, growth), max(worst_tree, growth_tree)
    print(f"{label:44} {a / 1024:10.1f}MB {b / 1024:10.1f}MB {growth:6.1f}MB "
          f"{t / 1024:10.1f}MB {growth_tree:6.1f}MB")
for what, value in (("one folder of 100 000 files", worst), ("100 folders of 1 000", worst_tree)):
    print(f"Target: at most 5 MB more for {what} than for 1 000 files; worst extract growth "
          f"{value:.1f} MB: {'met' if value <= 5 else 'NOT met'}")
PY
