#!/usr/bin/env bash
# Builds the release build with the benchmarks into build-bench/ and runs every benchmark
# program there. Arguments go to each program (for example --benchmark_filter=Record).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
BUILD_DIR=build-bench
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYR_BENCH=ON -DZYR_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
found=0
for exe in "$BUILD_DIR"/bench/bench_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    found=1
    echo "== $(basename "$exe")"
    "$exe" "$@"
done
if [ "$found" -eq 0 ]; then
    echo "no benchmark programs in $BUILD_DIR/bench" >&2
    exit 1
fi
