#!/usr/bin/env bash
# Cross-builds the engine, the platform layer, the CLI and their tests for 64-bit Windows with MinGW-w64 in
# build-windows/, and runs every test under Wine in a fresh Wine prefix of its own. Needs no display.
# Extra CMake arguments can be passed in SNELLITORE_CMAKE_ARGS.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/install_missing.sh

install_missing cmake make g++-mingw-w64-x86-64-posix googletest wine wine64

build=build-windows
read -r -a extra <<< "${SNELLITORE_CMAKE_ARGS:-}"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DSNELLITORE_GUI=OFF -DSNELLITORE_BENCH=OFF -DSNELLITORE_TESTS=ON \
      -DSNELLITORE_GTEST_SOURCE=/usr/src/googletest "${extra[@]}"
cmake --build "$build" -j"$(nproc)"

# A prefix made afresh for each run, so nothing of an earlier run or of the user's own Wine leaks in. Mono and
# Gecko are not wanted (nothing here uses .NET or HTML), which also spares their download prompts.
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX"
wineboot --init
wineserver --wait

status=0
ctest --test-dir "$build" --output-on-failure || status=$?
wineserver --kill || true
exit "$status"
