#!/usr/bin/env bash
# Packs the build tree given as a Debian package and checks what the package holds and declares:
# the programs side by side with what they look for, links on the PATH, the menu entry and its
# icon, the man page, and the libraries the programs need.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/tagloom_*.deb)
listing=$(dpkg-deb -c "$deb")
contents=$(dpkg-deb --fsys-tarfile "$deb" | tar -t)
status=0
for path in ./usr/bin/tagloom ./usr/bin/tagloom-cli ./usr/lib/tagloom/tagloom \
  ./usr/lib/tagloom/tagloom-cli ./usr/lib/tagloom/x/o.cjs ./usr/lib/tagloom/HAND-M.CUR \
  ./usr/lib/tagloom/drag.ico ./usr/share/applications/tagloom.desktop \
  ./usr/share/icons/hicolor/256x256/apps/tagloom.png ./usr/share/man/man1/tagloom-cli.1.gz; do
  grep -qxF "$path" <<<"$contents" || { echo "missing from the package: $path"; status=1; }
done
grep -q '^\./usr/lib/tagloom/Samples/.*\.mp3$' <<<"$contents" ||
  { echo "missing from the package: the sample MP3 files"; status=1; }
# Links point at the programs beside their files.
grep -q 'usr/bin/tagloom-cli -> \.\./lib/tagloom/tagloom-cli' <<<"$listing" ||
  { echo "usr/bin/tagloom-cli is not a link to lib/tagloom/tagloom-cli"; status=1; }
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libtag1v5 libxlsxwriter qt6-qpa-plugins libc6; do
  grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends"; status=1; }
done
[ "$(dpkg-deb -f "$deb" Package)" = tagloom ] || { echo "wrong package name"; status=1; }
# The manual page names every command and every option the programs' own help names.
man_page=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/tagloom-cli.1.gz | gzip -dc |
  sed 's/\\-/-/g')
cli="$build/bin/tagloom-cli"
for command in dump extract set strip; do
  grep -q "$command" <<<"$man_page" || { echo "the manual page lacks the command $command"; status=1; }
  for option in $("$cli" "$command" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$option" <<<"$man_page" ||
      { echo "the manual page lacks $command's option $option"; status=1; }
  done
done
[ "$status" -eq 0 ] && echo "$(basename "$deb"): $(wc -l <<<"$contents") entries; Depends: $depends"
exit "$status"
