#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh), installs it on this machine with apt-get, runs both installed
# programs, checks the manual pages and the bash completion where Debian puts them, and removes the package again.
# Runs as root on Debian 12; it changes the machine's installed packages, so it is meant for CI and for machines
# where that is fine. A snellitore package installed before is removed first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
tree=$PWD

if [ "$(id -u)" -ne 0 ]; then
    echo "test-package.sh: run as root: it installs and removes the package snellitore" >&2
    exit 2
fi
export DEBIAN_FRONTEND=noninteractive

source scripts/install_missing.sh
# man-db renders the pages, bash-completion loads the completion, desktop-file-utils checks the menu entry.
install_missing man-db bash-completion desktop-file-utils

# The build's output is shown as it comes; its last line is the package's path. The copy goes through a file of
# its own: tee to /dev/fd/1 would open standard output afresh and truncate it when it is a log file.
build_log=$(mktemp)
bash scripts/package.sh | tee "$build_log"
package=$(tail -n 1 "$build_log")
rm -f "$build_log"
version=$(build-pkg/cli/snellitore-cli --version | sed -n 's/^snellitore-cli //p')

checks=0
failures=0
ok() {
    checks=$((checks + 1))
    echo "ok - $1"
}
fail() {
    checks=$((checks + 1))
    failures=$((failures + 1))
    echo "FAIL - $1"
}
# check NAME COMMAND...: the command succeeds.
check() {
    local name=$1
    shift
    if "$@"; then ok "$name"; else fail "$name"; fi
}
installed() {
    dpkg-query -W -f='${Status}' snellitore 2> /dev/null | grep -q 'install ok installed'
}
apt_get() {
    apt-get -o DPkg::Lock::Timeout=300 -y "$@"
}

work=$(mktemp -d)
cleanup() {
    installed && apt_get purge snellitore > /dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# --- The package file itself.
fields=$(dpkg-deb --field "$package")
field() { sed -n "s/^$1: //p" <<< "$fields"; }
check "package name and version" test "$(field Package) $(field Version)" = "snellitore $version"
check "architecture is this machine's" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "a maintainer with an address" grep -q -E '^.+ <[^ ]+@[^ ]+>$' <<< "$(field Maintainer)"
check "section and description" test -n "$(field Section)" -a -n "$(field Description)"
depends=$(field Depends)
# The names of the packages the package depends on, one per line, versions and alternatives split off.
depended=$(sed 's/ *([^)]*)//g; s/ *[,|] */\n/g' <<< "$depends")
depends_on() { grep -q -x -F -e "$1" <<< "$depended"; }
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    check "depends on $library" depends_on "$library"
done
contents=$(dpkg-deb --contents "$package" | awk '{ print $6 }' | sed 's|^\./|/|')
for path in /usr/bin/snellitore /usr/bin/snellitore-cli /usr/share/man/man1/snellitore.1.gz \
    /usr/share/man/man1/snellitore-cli.1.gz /usr/share/bash-completion/completions/snellitore-cli \
    /usr/share/applications/snellitore.desktop /usr/share/icons/hicolor/32x32/apps/snellitore.png \
    /usr/share/doc/snellitore/copyright /usr/share/doc/snellitore/changelog.gz; do
    check "the package holds $path" grep -q -x -F "$path" <<< "$contents"
done
check "nothing outside /usr" test -z "$(grep -v -E '^/usr(/|$)' <<< "$contents" | grep -v -x '/')"
# A RUNPATH would make the programs look for libraries beside themselves before the system's folders.
mkdir "$work/unpacked"
dpkg-deb --extract "$package" "$work/unpacked"
for program in snellitore snellitore-cli; do
    check "$program has no RPATH or RUNPATH" \
        test -z "$(readelf -d "$work/unpacked/usr/bin/$program" | grep -E '\((RPATH|RUNPATH)\)')"
done

# --- Installing. apt-get would keep an installed package of the same version, so an earlier one goes first.
if installed; then
    echo "Removing the snellitore package installed before this test."
    apt_get purge snellitore > /dev/null
fi
# apt-get takes a local package only as a path, hence the leading ./ for a relative one.
case $package in /*) ;; *) package=./$package ;; esac
check "apt-get installs the package" apt_get install "$package"
check "dpkg counts it installed" installed
mapfile -t installed_files < <(dpkg -L snellitore | while read -r path; do [ -d "$path" ] || echo "$path"; done)

# The package that holds a file, looked up under the name given and the one it resolves to (on a merged /usr,
# /lib/... is recorded for some packages and /usr/lib/... for others).
owner_of() {
    local name real
    real=$(realpath "$1")
    for name in "$1" "$real" "${real#/usr}"; do
        dpkg-query --search "$name" 2> /dev/null | head -n 1 | sed 's/[:,].*//' && return 0
    done
    dpkg-query --search "$1" >&2 # no owner: dpkg's own words say why
    return 1
}
# Every library the programs load by name belongs to a package the package depends on, and so does the Qt
# platform plugin that the program opens without a display; dpkg-shlibdeps does not see plugins.
for program in /usr/bin/snellitore /usr/bin/snellitore-cli; do
    while read -r library; do
        path=$(ldd "$program" | awk -v name="$library" '$1 == name { print $3 }')
        owner=$(owner_of "$path") || owner=
        check "$library of $program comes from a dependency (${owner:-no package holds $path})" \
            depends_on "${owner:-none}"
    done < <(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
done
plugin_owner=$(dpkg-query --search '*/qt6/plugins/platforms/libqoffscreen.so' | head -n 1 | sed 's/[:,].*//') \
    || plugin_owner=
check "the offscreen platform plugin comes from a dependency (${plugin_owner:-no package holds it})" \
    depends_on "${plugin_owner:-none}"

# --- The installed CLI.
cli=/usr/bin/snellitore-cli
check "snellitore-cli --version" test "$("$cli" --version)" = "snellitore-cli $version"
check "snellitore-cli is found on the PATH as /usr/bin/snellitore-cli" test "$(command -v snellitore-cli)" = "$cli"
printf '<html>\r\n<body>\r\n\t<div align="center">  <p   class="x" ;  id="y">Hello    world</p>  </div>\r\n</body>\r\n</html>\r\n' \
    > "$work/known.htm"
printf '<html>\n<body>\n<center> <p   class="x";  id="y">Hello world</p> </center>\n</body>\n</html>\n' \
    > "$work/known.big"
check "a known page through the installed CLI" cmp "$work/known.big" <("$cli" "$work/known.htm")
check "a known page through a pipe" cmp "$work/known.big" <("$cli" - < "$work/known.htm")
# The sample page with every choice of compactions, against the CLI of the tree the package was built from.
names=(default apici tags div)
for ((mask = 0; mask < 16; mask++)); do
    list=
    for bit in 0 1 2 3; do
        ((mask & (1 << bit))) && list+=${list:+,}${names[bit]}
    done
    "$tree/build-pkg/cli/snellitore-cli" --options="$list" -o "$work/tree-$mask.big" examples/sample.htm
    "$cli" --options="$list" -o "$work/installed-$mask.big" examples/sample.htm
    check "examples/sample.htm with --options=$list as the tree's CLI gives it" \
        cmp "$work/tree-$mask.big" "$work/installed-$mask.big"
done
set +e
"$cli" --options=nothing examples/sample.htm > /dev/null 2> "$work/usage.err"
check "a usage error exits with 2" test $? -eq 2
"$cli" "$work/missing.htm" 2> "$work/missing.err"
check "a missing file exits with 1" test $? -eq 1
set -e
check "a missing file is named in the message" \
    test "$(cat "$work/missing.err")" = "snellitore-cli: $work/missing.htm: File not found"

# --- The installed desktop program without a display: its command-line mode, messages on standard error.
gui=/usr/bin/snellitore
mkdir "$work/gui" "$work/cli"
cp examples/sample.htm "$work/gui/page.htm"
cp examples/sample.htm "$work/cli/page.htm"
set +e
(cd "$work/gui" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$gui" page.htm > out 2> err)
status=$?
set -e
check "snellitore page.htm without a display exits with 0" test "$status" -eq 0
(cd "$work/cli" && "$cli" --stats -o page.big page.htm 2> stats)
check "it writes page.big as the CLI does" cmp "$work/cli/page.big" "$work/gui/page.big"
check "it reports the sizes on standard error as 'Information: ...'" \
    test "$(cat "$work/gui/err")" = "Information: $(cat "$work/cli/stats")"
check "it writes nothing to standard output" test ! -s "$work/gui/out"
check "it leaves page.htm as it was" cmp examples/sample.htm "$work/gui/page.htm"
check "snellitore --version" test "$("$gui" --version)" = "snellitore $version"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$gui" > /dev/null 2>&1
check "snellitore without a file and without a display exits with 2" test $? -eq 2
set -e
if command -v desktop-file-validate > /dev/null; then
    check "the menu entry is valid" desktop-file-validate /usr/share/applications/snellitore.desktop
fi

# --- The manual pages. Minimal images tell dpkg not to unpack /usr/share/man (path-exclude in
# /etc/dpkg/dpkg.cfg.d/); there the pages are rendered from the package file instead, and the run says so.
excluded=$(grep -h -s -E '^[[:space:]]*path-exclude[[:space:]=]+/usr/share/man' /etc/dpkg/dpkg.cfg.d/* /etc/dpkg/dpkg.cfg \
    || true)
if [ -z "$excluded" ]; then
    for page in snellitore snellitore-cli; do
        check "man finds $page(1) where it was installed" test "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz"
        rendered=$(MANWIDTH=200 man -P cat "$page" 2> "$work/man.err" | col -b)
        check "man $page renders without a warning" test ! -s "$work/man.err"
        check "man $page shows its exit status" grep -q -E "^EXIT STATUS" <<< "$rendered"
        check "man $page shows the name line" grep -q -E "^ +$page +- " <<< "$rendered"
    done
else
    echo "NOTE: dpkg excludes /usr/share/man here ($excluded): the manual pages are not unpacked on this machine,"
    echo "      so they are rendered from the package file with man -l instead."
    check "dpkg left the manual pages out, as it was told" test ! -e /usr/share/man/man1/snellitore-cli.1.gz
    for page in snellitore snellitore-cli; do
        rendered=$(MANWIDTH=200 man -l -P cat "$work/unpacked/usr/share/man/man1/$page.1.gz" 2> "$work/man.err" | col -b)
        check "the packaged $page(1) renders without a warning" test ! -s "$work/man.err"
        check "the packaged $page(1) shows its exit status" grep -q -E "^EXIT STATUS" <<< "$rendered"
        check "the packaged $page(1) shows the name line" grep -q -E "^ +$page +- " <<< "$rendered"
    done
fi

# --- The bash completion, loaded on demand by bash-completion from where it was installed.
completion=$(bash -c 'source /usr/share/bash-completion/bash_completion && _completion_loader snellitore-cli
                      complete -p snellitore-cli' 2>&1) || true
check "bash-completion loads the completion of snellitore-cli" \
    test "$completion" = "complete -F _snellitore_cli snellitore-cli"

# --- Removing.
check "apt-get removes the package" apt_get purge snellitore
check "dpkg counts it removed" test "$(installed && echo yes || echo no)" = no
left=()
for path in "${installed_files[@]}"; do
    [ -e "$path" ] || [ -L "$path" ] && left+=("$path")
done
check "none of its ${#installed_files[@]} files is left (${left[*]:-})" test "${#left[@]}" -eq 0
check "no snellitore program on the PATH" test -z "$(command -v snellitore snellitore-cli || true)"

echo "$checks checks, $failures failed"
[ "$failures" -eq 0 ]
