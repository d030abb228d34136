#!/usr/bin/env bash
# Makes the benchmark corpus: real MPEG audio encoded by lame, tags written by mutagen.
#   bench/make_corpus.sh [DIR] [COUNT]      (defaults: /var/tmp/tagloom-bench, 1000)
# A handful of source sounds (tones and noise, 3 to 8 minutes) are encoded once; each corpus
# file is one of them with its own ID3v2.3 or v2.4 tag, some with a 30-100 KB picture and
# lyrics, some with a Lyrics3 v2 block and an ID3v1 block. DIR/.complete marks a finished run.
set -euo pipefail
dir=${1:-/var/tmp/tagloom-bench}
count=${2:-1000}
for tool in lame /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "make_corpus: $tool is missing (scripts/deps.sh)" >&2; exit 1; }
done
/usr/bin/python3 -c 'import mutagen' 2>/dev/null ||
  { echo "make_corpus: python3-mutagen is missing (scripts/deps.sh)" >&2; exit 1; }

mkdir -p "$dir/sources"
rm -f "$dir/.complete"
/usr/bin/python3 "$(dirname "$0")/make_sources.py" "$dir/sources"
shopt -s nullglob
for wav in "$dir"/sources/*.wav; do
  mp3=${wav%.wav}.mp3
  [ -s "$mp3" ] && continue
  name=$(basename "$wav" .wav)
  # Constant bit rates (with lame's Info frame) and one variable-bit-rate source (Xing frame).
  case "$name" in
    *vbr*) lame --quiet -V 2 "$wav" "$mp3.part" ;;
    *160*) lame --quiet -b 160 "$wav" "$mp3.part" ;;
    *) lame --quiet -b 128 "$wav" "$mp3.part" ;;
  esac
  mv "$mp3.part" "$mp3"
  rm -f "$wav"
done
/usr/bin/python3 "$(dirname "$0")/tag_corpus.py" "$dir" "$count"
touch "$dir/.complete"
