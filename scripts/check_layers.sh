#!/usr/bin/env bash
# Fails on an include that points up the layers. From the bottom up:
#   tag/                      the engine, standard C++ only
#   text/                     UTF and file-name text in standard C++, under all but the engine
#   legacy/, readindex/       the iconv decoder and the index of reads, each on the engine alone
#   platform/formats          the audio formats beside MP3, standard C++ only
#   platform/                 interfaces and QtCore models
#   platform/{qt,xlsx,taglib} the implementations, each on the interfaces alone (the workbook
#                             also on the engine's safe replacement of a file)
#   core/                     what every layer above the platform shares
#   batch/, export/           siblings, neither includes the other
#   app/                      the window's logic
#   app/art                   the program's pictures, QtGui only
#   app/ui                    the widgets of the window and its main
#   tools/cli                 the command line's engine commands, on the engine alone
#   tools/cli/extract         its commands that read rows, on everything but the window
# Tests, benchmarks and fuzz targets may include anything.
set -euo pipefail
cd "$(dirname "$0")/.."

formats='platform/formats/'
platform_api="platform/[A-Za-z0-9_]+\\.h|$formats"
text='text/'
allowed_for() {
  case "$1" in
    tag/*) echo 'tag/' ;;
    platform/qt/*) echo "$platform_api|platform/qt/|$text" ;;
    platform/xlsx/*) echo "$platform_api|platform/xlsx/|tag/(FileReplacement|TagFileSystem)\.h|$text" ;;
    platform/taglib/*) echo "$platform_api|platform/taglib/|$text" ;;
    text/*) echo "$text" ;;
    legacy/*) echo 'legacy/|tag/' ;;
    readindex/*) echo 'readindex/|tag/' ;;
    platform/formats/*) echo "$formats" ;;
    platform/*) echo "$platform_api|$text" ;;
    core/*) echo "core/|$platform_api|$text" ;;
    batch/*) echo "batch/|legacy/|readindex/|core/|tag/|$platform_api|$text" ;;
    export/*) echo "export/|core/|tag/|$platform_api|$text" ;;
    app/art/*) echo 'app/art/' ;;
    app/ui/*) echo "app/|batch/|legacy/|readindex/|export/|core/|tag/|platform/|$text" ;;
    app/*) echo "app/[A-Za-z0-9_]+\.h|batch/|legacy/|readindex/|export/|core/|tag/|$platform_api|$text" ;;
    tools/cli/extract/*) echo "tools/cli/|batch/|legacy/|readindex/|export/|core/|tag/|$platform_api|platform/(xlsx|taglib)/|$text" ;;
    tools/cli/*) echo "tools/cli/[A-Za-z0-9_]+\\.h|tag/|$formats|$text" ;;
    tools/samples/*) echo "tools/samples/|$text" ;;
    *) echo '' ;;
  esac
}

status=0
checked=0
while IFS= read -r file; do
  allowed=$(allowed_for "$file")
  [ -n "$allowed" ] || continue
  checked=$((checked + 1))
  # Project includes are quoted and name a folder; system and Qt headers use angle brackets.
  while IFS=: read -r line include; do
    if ! grep -Eq "^($allowed)" <<<"$include"; then
      echo "$file:$line: includes \"$include\", which lies above or beside its layer" >&2
      status=1
    fi
  done < <(grep -noE '^#include "[^"]+/[^"]+"' "$file" | sed -E 's/^([0-9]+):#include "(.*)"$/\1:\2/')
done < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' '*.inc')

if [ "$status" -eq 0 ]; then
  echo "Layers: $checked files, every include points down"
fi
exit "$status"
