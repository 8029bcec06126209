#!/usr/bin/env bash
# Installs what the tests need, builds build-test/ with AddressSanitizer and UBSan, and runs every test.
# Extra CMake arguments can be passed in SNELLITORE_CMAKE_ARGS (for instance "-DSNELLITORE_GUI=OFF").
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/install_missing.sh

install_missing cmake g++ make libgtest-dev qt6-base-dev fonts-dejavu-core python3 desktop-file-utils xvfb man-db \
    bash-completion

read -r -a extra <<< "${SNELLITORE_CMAKE_ARGS:-}"
# The options are spelt out so that a cache left by an earlier run with other arguments does not linger.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNELLITORE_SANITIZE=ON -DSNELLITORE_GUI=ON \
      -DSNELLITORE_TESTS=ON "${extra[@]}"
cmake --build build-test -j"$(nproc)"
exec ctest --test-dir build-test --output-on-failure
