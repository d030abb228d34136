#!/usr/bin/env bash
# Installs what is missing, makes a release build and runs the main job on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_TESTS=OFF >/dev/null
cmake --build build-release
exec build-release/bin/tagloom-cli extract build-release/bin/Samples
