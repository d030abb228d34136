#!/usr/bin/env bash
# extract with eight threads over files and folders mixed, in several formats, under the
# ThreadSanitizer: a race found ends the program with the sanitizer's status and fails the test.
# Usage: extract_threads.sh TAGLOOM_CLI SAMPLES_FOLDER [PEERS_FOLDER]
set -uo pipefail
cli=$1
samples=$2
peers=${3:-}
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}"
folders=("$samples")
[ -n "$peers" ] && folders+=("$peers")
files=("$samples"/*.mp3)
failed=0
run() {
  "$cli" extract "$@" >/dev/null 2>"$errors"
  local status=$?
  # 0: all read; 3: some file could not be read, which the peers' corpus may hold.
  if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then
    echo "extract $* ended with $status" >&2
    cat "$errors" >&2
    failed=1
  fi
}
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
run --format csv --jobs 8 "${files[@]}" "${folders[@]}" "${files[0]}"
run --format json --jobs 8 --legacy-text detect "${folders[@]}" "${files[@]}"
run --format text --jobs 8 --summary "${files[@]}" "${folders[@]}"
run --format csv --jobs 8 --columns "Full path,Status,Pictures,Decoded as" --legacy-text koi8-r \
  "${folders[@]}" "${files[@]}"
exit $failed
