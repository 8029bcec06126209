#!/usr/bin/env bash
# Builds a Release tree in build-bench/ (no GUI, no tests) and runs the benchmark; arguments go to the benchmark.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"

# -O2 rather than CMake's default -O3 for Release: the figures are meant for the usual distribution flags.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DSNELLITORE_GUI=OFF -DSNELLITORE_TESTS=OFF -DSNELLITORE_BENCH=ON -DSNELLITORE_SANITIZE=OFF >/dev/null
cmake --build "$build" --target snellitore-bench -j "$(nproc)" >&2
exec "$build/bench/snellitore-bench" "$@"
