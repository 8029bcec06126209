#!/usr/bin/env bash
# The browser check of compacted pages: its self-test, then tests/data/render compacted with --safe, where every
# page must stay identical in Chromium, then the same site compacted with the four old rules and the pages the
# safe rules do not keep yet (tests/data/render-open), both shown in report-only mode.
# SNELLITORE_CLI names a built snellitore-cli; without it a Release CLI is built in build-render-cli/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/install_missing.sh
install_missing chromium

cli=${SNELLITORE_CLI:-}
if [ -z "$cli" ]; then
    install_missing cmake g++ make
    cmake -S . -B build-render-cli -DCMAKE_BUILD_TYPE=Release -DSNELLITORE_GUI=OFF -DSNELLITORE_TESTS=OFF \
          -DSNELLITORE_BENCH=OFF > /dev/null
    cmake --build build-render-cli --target snellitore-cli -j"$(nproc)" > /dev/null
    cli=build-render-cli/cli/snellitore-cli
fi

# render-check.sh installs the pinned modules on its first run; --help runs nothing else.
bash scripts/render-check.sh --help > /dev/null
node --test tests/scripts/tst_render_check.mjs

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== tests/data/render, --safe: every page must be identical"
help=$("$cli" --help)
if grep -q -- '--safe' <<< "$help"; then
    "$cli" --safe -r --match='*.*' --copy-others tests/data/render -o "$work/safe"
    # A copy that changed nothing would pass the check without proving anything.
    if diff -rq tests/data/render "$work/safe" > /dev/null; then
        echo "test-render.sh: the --safe copy of tests/data/render is the same bytes as the original" >&2
        exit 1
    fi
    bash scripts/render-check.sh tests/data/render "$work/safe"
    echo "== tests/data/render-open, --safe (report only)"
    "$cli" --safe -r --match='*.*' --copy-others tests/data/render-open -o "$work/open"
    bash scripts/render-check.sh tests/data/render-open "$work/open" --report-only --quiet
else
    echo "test-render.sh: $cli has no --safe yet: the check of the safe copy is skipped"
fi

# The old rules know nothing of pictures, so only the text files are compacted.
echo "== tests/data/render, --options=default,apici,tags,div (report only)"
"$cli" --options=default,apici,tags,div -r --match='*.htm;*.html;*.xhtml;*.css;*.js' --copy-others \
    tests/data/render -o "$work/old"
bash scripts/render-check.sh tests/data/render "$work/old" --report-only --quiet
