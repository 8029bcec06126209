#!/usr/bin/env bash
# Builds the Node package in build-npm/: the engine compiled to WebAssembly with Debian's emscripten, the
# JavaScript module around it, and the package file made by npm pack (build-npm/snellitore-VERSION.tgz, whose
# path is the last line printed). Nothing is downloaded: emscripten's system libraries are Debian's own, built
# and shipped with the package (its cache is frozen), and the package has no dependencies.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-npm"
package="$build/package"

source "$root/scripts/install_missing.sh"
install_missing emscripten

# Debian's emscripten runs its JavaScript optimiser with the machine's node, which looks for Debian's own
# node modules (acorn) only where Debian's nodejs puts them.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
# Its temporary files stay in the build folder.
export EMCC_TEMP_DIR="$build/tmp"
mkdir -p "$package" "$EMCC_TEMP_DIR"

# The path-free part of the engine: every source that calls nothing of platform/ but the I/O texts. A source
# left out that the rest needs shows as an undefined symbol, which fails the link.
sources=()
for source in "$root"/engine/*.cpp; do
    grep -q 'platform::' "$source" || sources+=("$source")
done
sources+=("$root/platform/io_error.cpp" "$root/bindings/node/glue.cpp")

exports='_snellitore_compact,_snellitore_source_size,_snellitore_written,_snellitore_error_text'
exports+=',_snellitore_note_count,_snellitore_note,_snellitore_io_error_text,_snellitore_same_file_text'
exports+=',_snellitore_safe_language,_malloc,_free'

# -fexceptions: the engine reports every failure as a C++ exception. Debian's emscripten ships its C++ runtime
# built for this kind (exceptions through JavaScript) and not for native WebAssembly exceptions, and a throw
# costs something only when a run fails. -msse2 keeps the engine's sixteen-byte scans, on WebAssembly SIMD.
em++ -std=c++20 -O3 -Wall -Wextra -Werror -fexceptions -msimd128 -msse2 -I"$root" "${sources[@]}" \
    -o "$package/engine.js" \
    --no-entry -sMODULARIZE=1 -sEXPORT_NAME=createEngine -sENVIRONMENT=node -sWASM_ASYNC_COMPILATION=0 \
    -sALLOW_MEMORY_GROWTH=1 -sFILESYSTEM=0 -sNODEJS_CATCH_EXIT=0 -sNODEJS_CATCH_REJECTION=0 \
    -sEXPORTED_FUNCTIONS="$exports" -sEXPORTED_RUNTIME_METHODS=stackSave,stackRestore,stackAlloc,UTF8ToString \
    --js-library "$root/bindings/node/host_library.js"

cp "$root"/bindings/node/{index.js,engine_run.js,stream_worker.js,index.d.ts,README.md} "$package/"
# npm wants three numbers: the project's first three.
version="$(sed -n 's/^project(Snellitore VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "build-npm.sh: no version in CMakeLists.txt" >&2; exit 1; }
node -e '
    const fs = require("fs");
    const manifest = JSON.parse(fs.readFileSync(process.argv[1], "utf8"));
    manifest.version = process.argv[2];
    fs.writeFileSync(process.argv[3], JSON.stringify(manifest, null, 2) + "\n");
' "$root/bindings/node/package.json" "$version" "$package/package.json"

rm -f "$build"/snellitore-*.tgz
(cd "$build" && npm pack --silent "$package" >/dev/null)
echo "$build/snellitore-$version.tgz"
