#!/usr/bin/env bash
# The Node package's benchmark (bench/npm/bench.js): builds the CLI and the corpus tool (Release, -O2, in
# build-bench-npm/), the package (scripts/build-npm.sh), installs both it and the pinned html-minifier-terser
# (bench/npm/package-lock.json) from npm into build-bench-npm/node/, makes the 100 MB corpus and a 1 GB copy in
# bench-data/ (or $SNELLITORE_BENCH_DIR), and prints the tables. --runs N (default 5); --skip-1g.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench-npm"
data="${SNELLITORE_BENCH_DIR:-$root/bench-data}"

runs=5
big=1
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs="${2:?--runs needs a number}"; shift 2 ;;
        --skip-1g) big=0; shift ;;
        *) echo "usage: bench-npm.sh [--runs N] [--skip-1g]" >&2; exit 2 ;;
    esac
done

source "$root/scripts/install_missing.sh"
install_missing cmake g++ make
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DSNELLITORE_GUI=OFF -DSNELLITORE_TESTS=OFF -DSNELLITORE_BENCH=ON -DSNELLITORE_SANITIZE=OFF >/dev/null
cmake --build "$build" --target snellitore-cli snellitore-bench-corpus -j "$(nproc)" >&2

package="$(bash "$root/scripts/build-npm.sh" | tail -n 1)"
mkdir -p "$build/node"
cp "$root/bench/npm/package.json" "$root/bench/npm/package-lock.json" "$build/node/"
(
    cd "$build/node"
    npm ci --no-audit --no-fund --silent
    npm install --no-save --no-audit --no-fund --silent "$package"
) >&2

mapfile -t inputs < <("$build/bench/snellitore-bench-corpus" "$data" $([ "$big" -eq 1 ] && echo --1g))
scratch="$(mktemp -d "$data/npm-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
node "$root/bench/npm/bench.js" --cli "$build/cli/snellitore-cli" --corpus "${inputs[0]}" \
    ${inputs[1]:+--big "${inputs[1]}"} --package "$package" --modules "$build/node/node_modules" \
    --scratch "$scratch" --runs "$runs"
