#!/usr/bin/env bash
# The manual pages render without a warning, hold the sections a reader looks for, and snellitore-cli(1)
# documents every option, compaction name and exit code the built CLI itself names.
# usage: tst_manual_pages.sh MAN_FOLDER SNELLITORE_CLI
set -uo pipefail

man_folder=$1
cli=$2
if ! command -v man > /dev/null; then
    echo "SKIP: man is missing (Debian package man-db)"
    exit 77
fi

failures=0
rows=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The page as man shows it, at a fixed width.
render() {
    MANWIDTH=200 LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$1" 2> "$warnings_file" | col -b
}

# The names that head the items (.TP) of one section of a page's source, one per line: the tag's fonts, quotes
# and escapes dropped, each of its comma-separated forms cut at "=" or a blank ("-o DEST, --output=DEST" gives
# -o and --output).
item_names() {
    awk -v name="$2" '
        /^\.SH / { sub(/^\.SH +/, ""); gsub(/"/, ""); inside = ($0 == name); next }
        inside && tag { print; tag = 0; next }
        inside && /^\.TP/ { tag = 1 }' "$1" |
        sed -E 's/^\.[A-Z]+ //; s/\\f[BIRP]//g; s/\\-/-/g; s/"//g' | tr ',' '\n' | sed -E 's/^ +//; s/[= ].*//'
}

# expect_items NAME PAGE SECTION WORD...: each WORD heads an item of SECTION.
expect_items() {
    local name=$1 names word
    names=$(item_names "$2" "$3")
    shift 3
    for word in "$@"; do
        rows=$((rows + 1))
        grep -q -F -x -e "$word" <<< "$names" || fail "$name: no item for '$word'"
    done
}

warnings_file=$(mktemp)
trap 'rm -f "$warnings_file"' EXIT
for page in "$man_folder"/snellitore.1 "$man_folder"/snellitore-cli.1; do
    text=$(render "$page")
    rows=$((rows + 1))
    [ -s "$warnings_file" ] && fail "$(basename "$page") renders with warnings: $(cat "$warnings_file")"
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
        rows=$((rows + 1))
        grep -q -x "$heading" <<< "$text" || fail "$(basename "$page") has no section $heading"
    done
done

cli_page=$man_folder/snellitore-cli.1
# Every option the help lists, under OPTIONS; every compaction the CLI names, under COMPACTIONS.
mapfile -t options < <("$cli" --help | sed -n -E 's/^  (-o), (--[a-z-]+)=.*/\1\n\2/p; s/^  (--[a-z-]+)[= ].*$/\1/p; s/^  (--[a-z-]+)$/\1/p')
names=$("$cli" --options=no-such-name - < /dev/null 2>&1 | sed -n 's/.*(choose from \(.*\))$/\1/p')
IFS=', ' read -r -a names <<< "$names"
codes=$("$cli" --help | sed -n 's/^Exit status: //p' | grep -o -E '[0-9]+ on' | cut -d' ' -f1)
mapfile -t codes <<< "$codes"
if [ "${#options[@]}" -lt 8 ] || [ "${#names[@]}" -lt 4 ] || [ "${#codes[@]}" -lt 3 ]; then
    fail "could not read the options (${options[*]}), names (${names[*]}) or exit codes (${codes[*]}) from $cli"
fi
expect_items "snellitore-cli(1) OPTIONS" "$cli_page" OPTIONS "${options[@]}"
expect_items "snellitore-cli(1) COMPACTIONS" "$cli_page" COMPACTIONS "${names[@]}"
expect_items "snellitore-cli(1) EXIT STATUS" "$cli_page" "EXIT STATUS" "${codes[@]}"

echo "$rows rows, $failures failed"
[ "$failures" -eq 0 ]
