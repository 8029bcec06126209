#!/usr/bin/env bash
# Installs what the tests need, builds build-test/ with AddressSanitizer and UBSan, and runs every test.
# Extra CMake arguments can be passed in SNELLITORE_CMAKE_ARGS (for instance "-DSNELLITORE_GUI=OFF").
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Installs the Debian packages that are not installed yet; apt is asked only when one is missing.
install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

install_missing cmake g++ make libgtest-dev qt6-base-dev fonts-dejavu-core python3 desktop-file-utils

read -r -a extra <<< "${SNELLITORE_CMAKE_ARGS:-}"
# The options are spelt out so that a cache left by an earlier run with other arguments does not linger.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNELLITORE_SANITIZE=ON -DSNELLITORE_GUI=ON \
      -DSNELLITORE_TESTS=ON "${extra[@]}"
cmake --build build-test -j"$(nproc)"
exec ctest --test-dir build-test --output-on-failure
