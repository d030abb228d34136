#!/usr/bin/env bash
# Installs what is missing, makes a release build and packs it as a Debian package:
# build-release/tagloom_VERSION_ARCH.deb, which `apt install ./build-release/tagloom_*.deb` installs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF >/dev/null
cmake --build build-release
cd build-release
cpack -G DEB
