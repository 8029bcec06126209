#!/usr/bin/env bash
# Installs what the build needs, builds the release tree in build/ and starts the program: its window where a
# display exists, otherwise its command-line mode on a copy of the sample page.
# Extra CMake arguments can be passed in SNELLITORE_CMAKE_ARGS (for instance "-DSNELLITORE_GUI=OFF").
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/install_missing.sh

install_missing cmake g++ make qt6-base-dev fonts-dejavu-core

read -r -a extra <<< "${SNELLITORE_CMAKE_ARGS:-}"
# The options are spelt out so that a cache left by an earlier run with other arguments does not linger.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSNELLITORE_GUI=ON -DSNELLITORE_TESTS=OFF -DSNELLITORE_BENCH=ON \
      -DSNELLITORE_SANITIZE=OFF \
      "${extra[@]}"
cmake --build build -j"$(nproc)"

# The program works on a copy of the sample page in a scratch folder, so the source tree is never written.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp examples/*.htm "$work/"
cd "$work"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting the program in $work (both panes show that folder)."
    "$OLDPWD/build/app/snellitore"
else
    # Without a display the program runs its command-line mode and prints the summary on standard error.
    "$OLDPWD/build/app/snellitore" sample.htm
    echo "Wrote $(ls -l sample.big | awk '{print $5}') bytes to sample.big; the CLI gives the same:"
    "$OLDPWD/build/cli/snellitore-cli" --stats -o sample-cli.big sample.htm
    cmp sample.big sample-cli.big && echo "sample.big and sample-cli.big are identical."
fi
