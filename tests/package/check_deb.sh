#!/usr/bin/env bash
# Packs the build as a Debian package and checks it with dpkg-deb: what it installs and where,
# what it declares it needs, and that its manual page names every command and option.
# usage: check_deb.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
debs=("$work"/tagloom_*.deb)
[ -f "${debs[0]}" ] || fail "no tagloom_*.deb in $work"
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tagloom ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")" ] ||
  fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
depends_names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libxlsxwriter libtag1v5; do
  awk -v lib="$lib" 'index($0, lib) == 1 { found = 1 } END { exit !found }' <<<"$depends_names" ||
    fail "Depends lacks $lib: $depends"
done
grep -q "xdg-utils" <<<"$(field Recommends)" || fail "Recommends lacks xdg-utils"

# Every file in its place under /usr, nothing anywhere else.
dpkg-deb -c "$deb" | sed -E 's/^([^ ]+ +){5}//' >"$work/files"
expect() { grep -qxF -- "$1" "$work/files" || fail "the package lacks $1"; }
expect "./usr/bin/tagloom -> ../lib/tagloom/tagloom"
expect "./usr/bin/tagloom-cli -> ../lib/tagloom/tagloom-cli"
for f in tagloom tagloom-cli HAND-M.CUR drag.ico x/o.cjs; do expect "./usr/lib/tagloom/$f"; done
expect "./usr/share/applications/tagloom.desktop"
expect "./usr/share/icons/hicolor/256x256/apps/tagloom.png"
expect "./usr/share/man/man1/tagloom-cli.1.gz"
grep -q '^\./usr/lib/tagloom/Samples/.*\.mp3$' "$work/files" || fail "the package holds no samples"
if grep -v '^\./usr/\|^\./$' "$work/files" | grep -q .; then
  fail "files outside /usr: $(grep -v '^\./usr/\|^\./$' "$work/files" | head -3)"
fi

# The menu entry starts the program on the PATH and shows the icon installed with it.
dpkg-deb -x "$deb" "$work/root"
desktop="$work/root/usr/share/applications/tagloom.desktop"
grep -qx "Exec=tagloom" "$desktop" || fail "the menu entry does not start tagloom"
grep -qx "Icon=tagloom" "$desktop" || fail "the menu entry does not name the icon"

# The manual page names every command and every option the program's own help lists.
man_text=$(zcat "$work/root/usr/share/man/man1/tagloom-cli.1.gz" | sed 's/\\-/-/g')
cli="$work/root/usr/lib/tagloom/tagloom-cli"
help_text=$("$cli" --help; "$cli" extract --help)
for word in $(grep -oE -- '(^|[ [])--?[a-z][a-z-]*' <<<"$help_text" | tr -d ' [' | sort -u) dump extract set strip; do
  grep -qF -- "$word" <<<"$man_text" || fail "the manual page does not name $word"
done
for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES; do
  grep -q "^\.SH $section" <<<"$man_text" || fail "the manual page has no $section"
done
echo "ok: $(basename "$deb"): $(wc -l <"$work/files") entries; Depends: $depends"
