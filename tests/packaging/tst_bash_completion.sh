#!/usr/bin/env bash
# The bash completion of snellitore-cli, run the way bash runs it on a typed line, and checked against what the
# built CLI accepts, so an option or a compaction name added to the CLI but not to the completion is caught.
# usage: tst_bash_completion.sh COMPLETION_FILE SNELLITORE_CLI
set -uo pipefail

completion_file=$(realpath "$1")
cli=$(realpath "$2")
bash_completion=${BASH_COMPLETION_MAIN:-/usr/share/bash-completion/bash_completion}
if [ ! -r "$bash_completion" ]; then
    echo "SKIP: $bash_completion is missing (Debian package bash-completion), and the completion needs its helpers"
    exit 77
fi

# bash-completion expects an interactive shell's settings.
set +u
shopt -s extglob progcomp
# shellcheck source=/dev/null
source "$bash_completion"
# shellcheck source=/dev/null
source "$completion_file"

failures=0
rows=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# compopt only works inside a real completion; here it records what was asked.
nospace=false
compopt() {
    [ "$1 $2" = "-o nospace" ] && nospace=true
    return 0
}

# Completes LINE as if TAB was pressed at its end: words split at blanks and around "=", as readline does with
# bash's COMP_WORDBREAKS; prints the candidates sorted, one per line, and "~nospace" when asked for.
complete_line() {
    local line=$1 token words=()
    read -r -a tokens <<< "$line"
    for token in "${tokens[@]}"; do
        while [[ $token == *=* ]]; do
            [ -n "${token%%=*}" ] && words+=("${token%%=*}")
            words+=("=")
            token=${token#*=}
        done
        [ -n "$token" ] && words+=("$token")
    done
    [[ $line == *" " ]] && words+=("")
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    nospace=false
    _snellitore_cli snellitore-cli "${words[-1]}" "${words[-2]}"
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
    $nospace && echo "~nospace" # sorts after every candidate
}

# expect NAME LINE EXPECTED...: the candidates for LINE are exactly EXPECTED.
expect() {
    local name=$1 line=$2 expected actual
    shift 2
    rows=$((rows + 1))
    expected=$(printf '%s\n' "$@" | LC_ALL=C sort | sed '/^$/d')
    actual=$(complete_line "$line" | sed '/^$/d')
    if [ "$actual" != "$expected" ]; then
        fail "$name: '$line'"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /'
    fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir "pages dir"
touch page.htm other.js -- -dash.htm

# What the CLI accepts: its options as its --help lists them, its compaction names as its refusal lists them.
mapfile -t cli_options < <("$cli" --help | sed -n -E 's/^  (-[a-z]), (--[a-z-]+=?)[A-Z]*( .*)?$/\1\n\2/p; s/^  (--[a-z-]+=?)[A-Z]*( .*)?$/\1/p')
names_text=$("$cli" --options=no-such-name - < /dev/null 2>&1 | sed -n 's/.*(choose from \(.*\))$/\1/p')
IFS=', ' read -r -a cli_names <<< "$names_text"
if [ "${#cli_options[@]}" -lt 8 ] || [ "${#cli_names[@]}" -lt 4 ]; then
    fail "could not read the options (${cli_options[*]}) or the names ($names_text) from $cli"
fi

expect "every option of the CLI after a dash" "snellitore-cli -" "${cli_options[@]}" --
expect "the completion's names are the CLI's" "snellitore-cli --options=" "${cli_names[@]}"
expect "an option completes with its equals sign" "snellitore-cli --op" "--options=" "~nospace"
expect "an option without a value gets its space" "snellitore-cli --for" "--force"
expect "an option given is not offered again" "snellitore-cli --force --f" ""
expect "-o counts as --output" "snellitore-cli -o x.big --out" ""
expect "--output counts as -o" "snellitore-cli --output=x.big -" --options= --safe --force --progress --stats -r \
    --recursive --match= --copy-others --jobs= --help --version --
expect "-r counts as --recursive" "snellitore-cli -r --rec" ""
expect "--recursive counts as -r" "snellitore-cli --recursive --match=*.htm --jobs 2 -" --options= --safe -o --output= \
    --force --progress --stats --copy-others --help --version --
expect "--safe excludes --options" "snellitore-cli --safe --o" --output= "~nospace"
expect "--options excludes --safe" "snellitore-cli --options=tags --s" --stats
expect "nothing for the masks" "snellitore-cli --match=" ""
expect "nothing for the number of jobs" "snellitore-cli --jobs " ""
expect "only folders after -r" "snellitore-cli -r pa" "pages dir"
expect "a name after --options= by its prefix" "snellitore-cli --options=t" tags
expect "names not listed yet after a comma" "snellitore-cli --options=default,div," default,div,apici \
    default,div,tags
expect "the list's last name by its prefix" "snellitore-cli --options=apici,d" apici,default apici,div
expect "names after --options as its own word" "snellitore-cli --stats --options d" default div
expect "files after -o" "snellitore-cli -o pa" page.htm "pages dir"
expect "files after --output=" "snellitore-cli --output=pa" page.htm "pages dir"
expect "files after -o as its own word, from an empty word" "snellitore-cli -o " -dash.htm other.js page.htm \
    "pages dir"
expect "files after -o written attached" "snellitore-cli -opa" -opage.htm "-opages dir"
expect "SOURCE is a file" "snellitore-cli --stats o" other.js
expect "a dash after -- starts a file name" "snellitore-cli -- -" -dash.htm
expect "nothing after --help" "snellitore-cli --help -" ""
expect "the value of -o is not taken for an option given" "snellitore-cli -o --force --f" --force

echo "$rows rows, $failures failed"
[ "$failures" -eq 0 ]
