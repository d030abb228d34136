#!/usr/bin/env bash
# The library report against reading the same files once: `tagloom-cli audit` plain, with
# --audio-hash, with --deep and with both, each against `cat` of the same files, warm and cold.
#   bench/audit_bench.sh [CORPUS_DIR]       (default /var/tmp/tagloom-bench)
# Builds tagloom-cli in a Release tree (TAGLOOM_BENCH_BUILD, default build-audit), makes the
# corpus if it is missing (bench/make_corpus.sh) and takes its first TAGLOOM_BENCH_FILES files
# (default 300); TAGLOOM_BENCH_CLI names a tagloom-cli to measure instead of building one. Warm rounds take turns (TAGLOOM_BENCH_WARM_ROUNDS, default 5); cold rounds evict
# the files from the page cache first with posix_fadvise(DONTNEED) (TAGLOOM_BENCH_COLD_ROUNDS,
# default 2); the median round counts. Targets: --audio-hash and --deep at most 1.5x `cat` warm
# and 1.2x cold (the files read once); the plain report reads tags only.
# Then the report from the index against a re-run `extract` from the index, over
# TAGLOOM_BENCH_INDEX_PATHS paths (default 100000; 0 leaves it out), hard links of the corpus, a
# folder per copy, beside it; both indexes are filled once first. Target: at most 1.5x,
# wall and CPU (user + system) alike.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/var/tmp/tagloom-bench}
build=${TAGLOOM_BENCH_BUILD:-$root/build-audit}
files=${TAGLOOM_BENCH_FILES:-300}
warm_rounds=${TAGLOOM_BENCH_WARM_ROUNDS:-5}
cold_rounds=${TAGLOOM_BENCH_COLD_ROUNDS:-2}

cli=${TAGLOOM_BENCH_CLI:-}
if [ -z "$cli" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF >/dev/null
  cmake --build "$build" --target tagloom-cli -j2 >/dev/null
  cli=$build/bin/tagloom-cli
fi

[ -f "$corpus/.complete" ] || "$root/bench/make_corpus.sh" "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Not `| head`: a sort cut short would end the script through pipefail.
find "$corpus/files" -name '*.mp3' | sort >"$work/all"
head -n "$files" "$work/all" >"$work/list"
count=$(wc -l <"$work/list")
bytes=$(tr '\n' '\0' <"$work/list" | du -cb --files0-from=- | tail -1 | cut -f1)

evict() {
  /usr/bin/python3 - "$work/list" <<'PY'
import os, sys
for path in open(sys.argv[1]).read().split("\n"):
    if path:
        fd = os.open(path, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
PY
}

names=(cat audit audit-hash audit-deep audit-both)
run() {  # run NAME: one pass, its wall time in seconds on standard output
  local start end status=0
  start=$(date +%s.%N)
  case "$1" in
    cat) tr '\n' '\0' <"$work/list" | xargs -0 cat >/dev/null ;;
    audit) "$cli" audit --format json --files-from "$work/list" >/dev/null || status=$? ;;
    audit-hash) "$cli" audit --format json --audio-hash --files-from "$work/list" >/dev/null || status=$? ;;
    audit-deep) "$cli" audit --format json --deep --files-from "$work/list" >/dev/null || status=$? ;;
    audit-both) "$cli" audit --format json --deep --audio-hash --files-from "$work/list" >/dev/null || status=$? ;;
  esac
  end=$(date +%s.%N)
  # 4: findings were written, which a real corpus has.
  [ "$status" -eq 0 ] || [ "$status" -eq 4 ] || { echo "$1 failed with $status" >&2; exit 1; }
  echo "$end - $start" | bc
}

median() { sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

echo "Corpus: $count files, $((bytes / 1048576)) MiB, from $corpus/files"
echo "Load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in "${names[@]}"; do run "$n" >/dev/null; done  # into the page cache
for ((r = 1; r <= warm_rounds; r++)); do
  for n in "${names[@]}"; do echo "$(run "$n")" >>"$work/warm-$n"; done
done
for ((r = 1; r <= cold_rounds; r++)); do
  for n in "${names[@]}"; do
    evict
    echo "$(run "$n")" >>"$work/cold-$n"
  done
done
echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg)"

printf '%-12s %10s %8s %10s %8s\n' what warm_s x_cat cold_s x_cat
warm_cat=$(median <"$work/warm-cat")
cold_cat=$(median <"$work/cold-cat")
for n in "${names[@]}"; do
  w=$(median <"$work/warm-$n")
  c=$(median <"$work/cold-$n")
  printf '%-12s %10.3f %8.2f %10.3f %8.2f\n' "$n" "$w" "$(echo "$w / $warm_cat" | bc -l)" \
    "$c" "$(echo "$c / $cold_cat" | bc -l)"
done
echo "Targets: audit-hash, audit-deep and audit-both at most 1.5x cat warm and 1.2x cat cold."

index_paths=${TAGLOOM_BENCH_INDEX_PATHS:-100000}
[ "$index_paths" -gt 0 ] || exit 0
# Hard links must stay on the corpus's file system.
links=$(mktemp -d -p "$(dirname "$corpus")" tagloom-audit-links.XXXXXX)
trap 'rm -rf "$work" "$links"' EXIT
mapfile -t sources <"$work/all"
made=0
for ((d = 0; made < index_paths; d++)); do
  mkdir "$links/$d"
  take=$((index_paths - made < ${#sources[@]} ? index_paths - made : ${#sources[@]}))
  ln "${sources[@]:0:take}" "$links/$d/"
  made=$((made + take))
done
timed() {  # timed NAME: one pass from the index; "wall cpu" on standard output
  local status=0
  case "$1" in
    extract) /usr/bin/time -f '%e %U %S' -o "$work/time" "$cli" extract --format json \
      --index "$links/extract.db" "$links" >/dev/null || status=$? ;;
    audit) /usr/bin/time -f '%e %U %S' -o "$work/time" "$cli" audit --format json \
      --index "$links/audit.db" "$links" >/dev/null || status=$? ;;
  esac
  [ "$status" -eq 0 ] || [ "$status" -eq 4 ] || { echo "$1 failed with $status" >&2; exit 1; }
  # time puts "Command exited with non-zero status 4" first.
  tail -n 1 "$work/time" | awk '{ printf "%s %.2f\n", $1, $2 + $3 }'
}
echo "Index: $made paths ($(( ${#sources[@]} )) files, hard-linked); load $(cut -d' ' -f1-3 /proc/loadavg)"
timed extract >/dev/null  # fills the indexes and the page cache
timed audit >/dev/null
for ((r = 1; r <= warm_rounds; r++)); do
  for n in extract audit; do timed "$n" >>"$work/index-$n"; done
done
ew=$(cut -d' ' -f1 "$work/index-extract" | median)
ec=$(cut -d' ' -f2 "$work/index-extract" | median)
aw=$(cut -d' ' -f1 "$work/index-audit" | median)
ac=$(cut -d' ' -f2 "$work/index-audit" | median)
printf '%-12s %10s %10s\n' from-index wall_s cpu_s
printf '%-12s %10.2f %10.2f\n' extract "$ew" "$ec" audit "$aw" "$ac"
printf 'audit / extract: %.2fx wall, %.2fx CPU (target at most 1.5x)\n' \
  "$(echo "$aw / $ew" | bc -l)" "$(echo "$ac / $ec" | bc -l)"
