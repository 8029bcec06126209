#!/usr/bin/env bash
# The browser check at scale: every page of one or more documentation folders compacted with --safe and with the
# old rules, each copy compared with the original in Chromium (scripts/render-check.sh), and one table of bytes
# saved against pages that changed. A benchmark, not a test: it asserts nothing and exits 0 once it has measured.
#
# Usage: scripts/bench-render.sh [--jobs=N] [--modes=LIST] [--keep=DIR] [FOLDER...]
#   FOLDER      a folder of pages; default: every package folder of /usr/share/doc that holds HTML pages
#   --jobs=N    pages rendered at once (default: the number of processors)
#   --modes=    ';'-separated compactions: 'safe' or a CLI --options list
#               (default: safe;default;default,apici,div;default,apici,tags,div)
#   --keep=DIR  keep the snapshot, the copies and the per-page TSV reports in DIR (default: a temporary folder)
# SNELLITORE_CLI names a built snellitore-cli; without it a Release CLI is built in build-render-cli/.
set -euo pipefail
tree=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$tree"

jobs=$(nproc)
modes='safe;default;default,apici,div;default,apici,tags,div'
keep=
folders=()
for arg in "$@"; do
    case $arg in
        --jobs=*) jobs=${arg#--jobs=} ;;
        --modes=*) modes=${arg#--modes=} ;;
        --keep=*) keep=${arg#--keep=} ;;
        --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "bench-render.sh: unknown option $arg" >&2; exit 2 ;;
        *) folders+=("$arg") ;;
    esac
done
if [ ${#folders[@]} -eq 0 ]; then
    while IFS= read -r -d '' folder; do
        folders+=("$folder")
    done < <(find /usr/share/doc -mindepth 1 -maxdepth 1 -type d -print0 | sort -z |
             while IFS= read -r -d '' d; do
                 # Folders whose pages are links into another package's folder would count those pages twice.
                 if find "$d" -type f \( -name '*.htm' -o -name '*.html' \) -print -quit | grep -q .; then
                     printf '%s\0' "$d"
                 fi
             done)
fi

cli=${SNELLITORE_CLI:-}
if [ -z "$cli" ]; then
    cmake -S . -B build-render-cli -DCMAKE_BUILD_TYPE=Release -DSNELLITORE_GUI=OFF -DSNELLITORE_TESTS=OFF \
          -DSNELLITORE_BENCH=OFF > /dev/null
    cmake --build build-render-cli --target snellitore-cli -j"$(nproc)" > /dev/null
    cli=$tree/build-render-cli/cli/snellitore-cli
fi

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    work=$(cd "$keep" && pwd)
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi

# Documentation folders link their scripts and stylesheets from elsewhere (/usr/share/javascript): the snapshot
# follows the links, so that the original and its copies carry the same files.
rm -rf "$work/original"
mkdir -p "$work/original"
for folder in "${folders[@]}"; do
    cp -rL "$folder" "$work/original/$(basename "$folder")" 2> /dev/null || true
done

text_bytes() {
    find "$1" -type f \( -iname '*.htm' -o -iname '*.html' -o -iname '*.xhtml' -o -iname '*.shtml' \
        -o -iname '*.css' -o -iname '*.js' \) -printf '%s\n' | awk '{s += $1} END {print s + 0}'
}
original_bytes=$(text_bytes "$work/original")

report=$work/summary.md
{
    echo "| compaction | pages | HTML, CSS and JS bytes saved | pages that differ | pixels | innerText | elements | new script errors | failed to load |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
} > "$report"

IFS=';' read -r -a mode_list <<< "$modes"
for mode in "${mode_list[@]}"; do
    name=${mode//,/-}
    copy=$work/copy-$name
    rm -rf "$copy"
    if [ "$mode" = safe ]; then
        "$cli" --safe -r --match='*.*' --copy-others --jobs="$(nproc)" "$work/original" -o "$copy"
    else
        "$cli" --options="$mode" -r --match='*.htm;*.html;*.xhtml;*.shtml;*.css;*.js' --copy-others \
            --jobs="$(nproc)" "$work/original" -o "$copy"
    fi
    echo "== $mode" >&2
    bash scripts/render-check.sh "$work/original" "$copy" --report-only --quiet --jobs="$jobs" \
        --tsv="$work/$name.tsv" >&2
    copy_bytes=$(text_bytes "$copy")
    awk -F'\t' -v mode="$mode" -v before="$original_bytes" -v after="$copy_bytes" '
        NR > 1 {
            pages++
            if ($2 == "different") different++
            if ($2 == "failed") failed++
            if ($3 > 0) pixels++
            if ($4 == "differs") text++
            if ($2 == "different" && $5 != $6) elements++
            if ($7 > 0) errors++
        }
        END {
            printf "| %s | %d | %d of %d (%.2f %%) | %d (%.1f %%) | %d | %d | %d | %d | %d |\n", mode, pages,
                before - after, before, 100 * (before - after) / before, different, 100 * different / pages,
                pixels, text, elements, errors, failed
        }' "$work/$name.tsv" >> "$report"
done
cat "$report"
