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

# A full disk: Windows offers no way to make one, but a small tmpfs seen through Wine's Z: drive is one. Mounting
# needs root; without it the test that needs the disk is skipped and says why.
small_disk="$PWD/$build/small-disk"
mkdir -p "$small_disk"
mountpoint -q "$small_disk" && umount "$small_disk"
if mount -t tmpfs -o size=16k,mode=0777 tmpfs "$small_disk" 2>/dev/null; then
    trap 'umount "$small_disk" 2>/dev/null || true' EXIT
    SNELLITORE_SMALL_DISK="$(winepath -w "$small_disk")"
    export SNELLITORE_SMALL_DISK
fi
# The tests start a Wine server of their own, with the rights they run with (below).
wineserver --wait

# Root ignores the read-only attribute, which Wine keeps as the file's permission bits; the tests run without
# the two capabilities that let it, as an ordinary user's program would.
run=()
drop=(setpriv --inh-caps=-dac_override,-dac_read_search --bounding-set=-dac_override,-dac_read_search)
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null && "${drop[@]}" true 2>/dev/null; then
    run=("${drop[@]}")
fi

status=0
"${run[@]}" ctest --test-dir "$build" --output-on-failure || status=$?
wineserver --kill || true
exit "$status"
