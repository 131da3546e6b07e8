#!/usr/bin/env bash
# Builds the test build (clang, AddressSanitizer and UndefinedBehaviorSanitizer) into
# build-test/ and runs every test with CTest, the fuzz targets among them.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
BUILD_DIR="${ZYR_TEST_BUILD_DIR:-build-test}"
cmake -S . -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DZYR_SANITIZE=ON -DZYR_FUZZ=ON -DZYR_TESTS=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
cd "$BUILD_DIR"
# Tests that compute take one of the "cpus" slots, one per processor; tests that mostly wait (a
# cabinet's timeouts, a screenshot's delay) take a "waits" slot and overlap them; a fuzzer takes
# one "fuzzers" slot and a test that races a clock takes both, so the two never meet
# (tests/TestSchedule.cmake says which is which).
CPUS="$(nproc)"
WAITS=$((2 * CPUS))
cat >ctest-resources.json <<EOF
{"version": {"major": 1, "minor": 0},
 "local": [{"cpus": [{"id": "0", "slots": $CPUS}], "waits": [{"id": "0", "slots": $WAITS}],
            "fuzzers": [{"id": "0", "slots": 2}]}]}
EOF
ctest --output-on-failure --resource-spec-file ctest-resources.json -j$((CPUS + WAITS)) "$@"
