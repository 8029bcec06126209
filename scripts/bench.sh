#!/usr/bin/env bash
# Builds a Release tree in build-bench/ (no tests) and runs both benchmarks: the engine's (snellitore-bench) and
# the window's (snellitore-bench-windows, on the offscreen platform). --items N and --files N go to the window
# benchmark, every other argument to the engine's; --skip-windows leaves the window benchmark out.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"

source "$root/scripts/install_missing.sh"
install_missing cmake g++ make qt6-base-dev fonts-dejavu-core

engine_args=()
window_args=()
windows=1
while [ $# -gt 0 ]; do
    case "$1" in
        --items|--files) window_args+=("$1" "${2:?$1 needs a number}"); shift 2 ;;
        --skip-windows) windows=0; shift ;;
        *) engine_args+=("$1"); shift ;;
    esac
done

# -O2 rather than CMake's default -O3 for Release: the figures are meant for the usual distribution flags.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DSNELLITORE_GUI=ON -DSNELLITORE_TESTS=OFF -DSNELLITORE_BENCH=ON -DSNELLITORE_SANITIZE=OFF >/dev/null
cmake --build "$build" --target snellitore-bench snellitore-bench-windows -j "$(nproc)" >&2

status=0
"$build/bench/snellitore-bench" "${engine_args[@]}" || status=$?
if [ "$windows" -eq 1 ]; then
    QT_QPA_PLATFORM=offscreen "$build/bench/snellitore-bench-windows" "${window_args[@]}" || {
        code=$?
        [ "$status" -eq 0 ] && status=$code
    }
fi
exit "$status"
