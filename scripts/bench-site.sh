#!/usr/bin/env bash
# Builds a Release tree in build-bench/ (no tests, no windows) and runs the whole-site benchmark: snellitore-cli -r
# against `minify -r` and a shell loop over the single-file CLI, on tmpfs and, with --disk, on the disk too.
# Arguments go to snellitore-bench-site (--tiny N, --loop-tiny N, --corpus-mb N, --runs N); --disk adds a folder
# in bench-data/ (or $SNELLITORE_BENCH_DIR) to the tmpfs folder in /dev/shm.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"

source "$root/scripts/install_missing.sh"
install_missing cmake g++ make minify

args=(--folder /dev/shm/snellitore-bench-site)
while [ $# -gt 0 ]; do
    case "$1" in
        --disk) args+=(--folder "${SNELLITORE_BENCH_DIR:-$root/bench-data}/site"); shift ;;
        *) args+=("$1"); shift ;;
    esac
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DSNELLITORE_GUI=OFF -DSNELLITORE_TESTS=OFF -DSNELLITORE_BENCH=ON -DSNELLITORE_SANITIZE=OFF >/dev/null
cmake --build "$build" --target snellitore-bench-site snellitore-cli -j 2 >&2
exec "$build/bench/snellitore-bench-site" "${args[@]}"
