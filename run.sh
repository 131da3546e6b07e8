#!/usr/bin/env bash
# Builds the release build into build/ and starts the tool. Arguments go to the tool;
# with none it runs against the built-in simulated cabinet.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYR_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
if [ -x build/zyrtool ]; then
    if [ $# -eq 0 ]; then set -- --demo; fi
    exec build/zyrtool "$@"
fi
