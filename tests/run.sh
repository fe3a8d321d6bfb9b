#!/usr/bin/env bash
# Runs the whole test suite: the C++ unit tests of the clique routines (ctest)
# and the Python tests of the installed module (pytest).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VEXA_TEST_BUILD_DIR:-$root/build/cpp-tests}"
cmake -S "$root" -B "$build" -DVEXA_BUILD_TESTS=ON -DVEXA_BUILD_MODULE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2
ctest --test-dir "$build" --output-on-failure -j 2
cd "$root" && python3 -m pytest -q tests "$@"
