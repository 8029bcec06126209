#!/usr/bin/env bash
# Tests the Node package as a user gets it: builds it (scripts/build-npm.sh), installs the packed file into a
# scratch project without the network, and runs the tests there with node --test, against the native
# snellitore-cli of the test build (build-test/, built here if missing; SNELLITORE_CLI names another).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

cli="${SNELLITORE_CLI:-$root/build-test/cli/snellitore-cli}"
if [ ! -x "$cli" ]; then
    source "$root/scripts/install_missing.sh"
    install_missing cmake g++ make
    cmake -S "$root" -B "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNELLITORE_SANITIZE=ON \
          -DSNELLITORE_GUI=OFF -DSNELLITORE_TESTS=OFF >/dev/null
    cmake --build "$root/build-test" --target snellitore-cli -j"$(nproc)"
fi

package="$(bash "$root/scripts/build-npm.sh" | tail -n 1)"
scratch="$root/build-npm/scratch"
rm -rf "$scratch"
mkdir -p "$scratch"
cp -r "$root/bindings/node/test" "$scratch/test"
cd "$scratch"
echo '{ "name": "scratch", "private": true }' > package.json
npm install --offline --no-audit --no-fund --silent "$package"
echo "Installed $(node -p 'require("snellitore/package.json").version') from $package"
SNELLITORE_CLI="$cli" SNELLITORE_ROOT="$root" exec node --test test/*.test.js
