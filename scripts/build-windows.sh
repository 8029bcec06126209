#!/usr/bin/env bash
# Cross-builds a Release snellitore-cli.exe for 64-bit Windows in build-windows-release/: one file, the compiler's
# runtime linked in, so that it runs on a bare Windows 10 or 11 with no DLL beside it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/install_missing.sh

install_missing cmake make g++-mingw-w64-x86-64-posix

build=build-windows-release
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DSNELLITORE_GUI=OFF -DSNELLITORE_BENCH=OFF -DSNELLITORE_TESTS=OFF
cmake --build "$build" -j"$(nproc)" --target snellitore-cli
exe="$PWD/$build/cli/snellitore-cli.exe"
x86_64-w64-mingw32-strip "$exe"

# Only DLLs that every Windows has may be imported.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
for dll in $imports; do
    case "${dll,,}" in
        kernel32.dll | msvcrt.dll | shell32.dll | user32.dll | advapi32.dll | ucrtbase.dll | api-ms-win-crt-*) ;;
        *) echo "snellitore-cli.exe needs $dll, which a bare Windows lacks" >&2; exit 1 ;;
    esac
done
echo "Imports only system DLLs:" $imports
echo "$exe"
