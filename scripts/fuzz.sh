#!/usr/bin/env bash
# Builds the three libFuzzer targets in build-fuzz/ (clang, AddressSanitizer, UBSan) and runs each, the engine
# for half of SECONDS (default 60), the safe compaction for a third and the CLI's argument parser for the rest,
# on a copy of the seed corpus in tests/fuzz/corpus/. New inputs and findings stay in build-fuzz/; exits 1 when anything was found.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 2 ]; then
    echo "usage: scripts/fuzz.sh [SECONDS]   (at least 2)" >&2
    exit 2
fi

source scripts/install_missing.sh
# libclang-rt-dev holds the fuzzer runtime; clang only recommends it.
install_missing cmake make clang libclang-rt-dev libgtest-dev

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNELLITORE_FUZZ=ON \
      -DSNELLITORE_SANITIZE=ON -DSNELLITORE_GUI=OFF -DSNELLITORE_TESTS=ON -DSNELLITORE_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_engine fuzz_safe fuzz_cli -j"$(nproc)"

engine_seconds=$(( seconds / 2 ))
safe_seconds=$(( seconds / 3 ))
run="$(date +%Y%m%d-%H%M%S)"
found=0
for target in engine safe cli; do
    share=$engine_seconds
    [ "$target" = safe ] && share=$safe_seconds
    [ "$target" = cli ] && share=$(( seconds - engine_seconds - safe_seconds ))
    corpus="$build/fuzz/corpus/$target"
    findings="$build/fuzz/findings/$run/$target" # each run its own, so an old finding is not reported again
    log="$build/fuzz/$run-$target.log"
    mkdir -p "$corpus" "$findings"
    # The seeds join what earlier runs found; the source tree is only read.
    cp -n tests/fuzz/corpus/"$target"/* "$corpus"/
    echo "== fuzz_$target for ${share}s"
    status=0
    "$build/tests/fuzz/fuzz_$target" "$corpus" -dict="tests/fuzz/$target.dict" -max_total_time="$share" \
        -timeout=10 -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1 || status=$?
    # The last status line gives coverage (cov), features (ft) and the corpus; then the executions.
    grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true
    grep -E '^(Done [0-9]+ runs|stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb))' "$log" || true
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
        found=1
        grep -E -B 4 'ERROR: |runtime error' "$log" | head -n 16 || true
        grep -E 'Test unit written to' "$log" || true
        echo "fuzz_$target: FINDING (exit $status), see $log"
    else
        rmdir "$findings"
        echo "fuzz_$target: no finding; $(ls "$corpus" | wc -l) files kept in $corpus"
    fi
done
rmdir "$build/fuzz/findings/$run" 2>/dev/null || true
exit "$found"
