#!/usr/bin/env bash
# Compares a site with its compacted copy in headless Chromium, page by page (see scripts/render-check/).
# Installs what is missing first: Debian's chromium, and the pinned puppeteer-core and pngjs in build-render/.
# Usage: scripts/render-check.sh ORIGINAL_DIR COMPACTED_DIR [OPTION...]; --help lists the options.
set -euo pipefail
tree=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
modules=${SNELLITORE_RENDER_MODULES:-$tree/build-render}

source "$tree/scripts/install_missing.sh"
if [ -z "${CHROMIUM:-}" ]; then
    install_missing chromium >&2
fi

# The modules are installed again whenever the committed lock file changes.
lock=$tree/scripts/render-check/package-lock.json
if ! cmp -s "$lock" "$modules/package-lock.json" || [ ! -d "$modules/node_modules/puppeteer-core" ]; then
    mkdir -p "$modules"
    cp "$tree/scripts/render-check/package.json" "$lock" "$modules/"
    echo "render-check: installing puppeteer-core and pngjs into $modules" >&2
    (cd "$modules" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >&2)
fi

exec node "$tree/scripts/render-check/render_check.mjs" --modules="$modules" "$@"
