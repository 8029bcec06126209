#!/usr/bin/env bash
# Builds the Debian package: a Release build of both programs in build-pkg/ for the prefix /usr, then CPack's
# DEB generator, which reads the library dependencies off the programs with dpkg-shlibdeps.
# Prints the package's path on its last line. Extra CMake arguments can be passed in SNELLITORE_CMAKE_ARGS.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/install_missing.sh

# dpkg-dev brings dpkg-shlibdeps; CPack needs file(1) to find the programs among the installed files.
install_missing cmake g++ make qt6-base-dev dpkg-dev file

# A changelog dated by the last commit gives the same package for the same commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && command -v git > /dev/null && git rev-parse --git-dir > /dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi

# Debian's own compiler and linker flags, with every hardening feature (fortified calls, stack protector,
# read-only relocations bound at start-up); CMake's Release flags follow them, so -O3 still applies.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

read -r -a extra <<< "${SNELLITORE_CMAKE_ARGS:-}"
# The options are spelt out so that a cache left by an earlier run with other arguments does not linger.
# Installed in /usr/bin, the programs find their libraries in the system's folders; the RUNPATH Qt's project
# set-up gives them ($ORIGIN first) would let a library placed beside a program be loaded instead.
cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_RPATH=ON \
      -DSNELLITORE_GUI=ON -DSNELLITORE_TESTS=OFF -DSNELLITORE_BENCH=OFF -DSNELLITORE_SANITIZE=OFF \
      -DSNELLITORE_FUZZ=OFF -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "${extra[@]}"
cmake --build build-pkg -j"$(nproc)"

version=$(build-pkg/cli/snellitore-cli --version | sed -n 's/^snellitore-cli //p')
package="build-pkg/snellitore_${version}_$(dpkg --print-architecture).deb"
rm -f "$package"
(cd build-pkg && cpack -G DEB)
if [ ! -f "$package" ]; then
    echo "package.sh: CPack did not write $package" >&2
    exit 1
fi
dpkg-deb --field "$package" Package Version Architecture Section Depends
echo "$package"
