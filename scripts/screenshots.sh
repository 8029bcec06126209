#!/usr/bin/env bash
# Takes the screenshots docs/main-window.png, docs/message-box.png, docs/about-box.png, docs/statistics.png and
# docs/name-prompt.png of the desktop program under Xvfb.
#
#   scripts/screenshots.sh [build-folder]     (default: build-screenshots)
#
# Builds the program if needed, starts it in a folder of sample pages three levels below the scratch folder on a
# virtual screen without a window manager, grabs the main window, presses ">>" with nothing marked and grabs the
# warning box, opens the about box from the menu bar and grabs it too. Then it runs a batch
# of two files into a sub-folder and grabs the statistics window, and runs the same two files again, which
# brings up the name prompt instead of overwriting: that is grabbed too.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

# On the virtual screen: start the program, grab both windows, end the program.
session() {
    local program=$1 mainShot=$2 boxShot=$3 aboutShot=$4 statShot=$5 promptShot=$6
    "$program" &
    local pid=$!
    local main
    main=$(xdotool search --sync --onlyvisible --name '^Snellitore Pagine Web 2002$' | head -n 1)
    sleep 1
    import -window "$main" "$mainShot"
    messageBoxShot "$main" "$boxShot" || { kill "$pid"; return 1; }

    # "About" is a command on the menu bar right after "Gestione"; without a window manager the window's
    # client area starts at its geometry, so the bar is its top row. Try along the bar until the box opens.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    local about="" x
    for x in $(seq 40 6 240); do
        xdotool mousemove $((X + x)) $((Y + 10)) click 1
        sleep 0.3
        about=$(xdotool search --onlyvisible --name '^About$' | head -n 1 || true)
        [ -n "$about" ] && break
        xdotool key Escape Escape
    done
    if [ -z "$about" ]; then
        echo "screenshots.sh: the about box did not open" >&2
        kill "$pid"
        return 1
    fi
    sleep 1
    import -window "$about" "$aboutShot"
    xdotool windowfocus --sync "$about" key Return
    sleep 0.5

    batchShots "$main" "$statShot" "$promptShot" || { kill "$pid"; return 1; }
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
}

# Keys go to the window under the pointer, as there is no window manager to give the focus.
keys() {
    xdotool key --delay 60 "$@"
    sleep 0.3
}

# Gives the keyboard focus to the source file list by a click on its empty lower part (design point 240, 300
# of the 767-pixel-wide design, scaled to the window), which marks nothing.
focusSourceFiles() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove $((X + 240 * WIDTH / 767)) $((Y + 300 * WIDTH / 767)) click 1
    sleep 0.3
}

# ">>" with nothing marked brings up the warning box at the centre of the screen; the whole screen is grabbed,
# with the main window under the box, and cut to the box's surroundings.
messageBoxShot() {
    local main=$1 shot=$2
    focusSourceFiles "$main"
    keys $(printf 'Tab %.0s' $(seq 12)) space
    local box
    box=$(xdotool search --sync --onlyvisible --name '^Warning$' | head -n 1)
    sleep 1
    import -window root "$shot"
    xdotool windowfocus --sync "$box" key Return
    sleep 0.5
}

# Marks the first two source files and presses ">>", all from the keyboard along the tab order, on which
# ">>" comes twelfth after the source files.
markTwoAndRun() {
    focusSourceFiles "$1"
    # The current item is the first one: Down selects and marks the second, Up the first.
    keys Down Up
    keys $(printf 'Tab %.0s' $(seq 12)) space
    sleep 1
}

batchShots() {
    local main=$1 statShot=$2 promptShot=$3
    # The destination folder list is fourth after the source files: open its last sub-folder, "script".
    focusSourceFiles "$main"
    keys Tab Tab Tab Tab End Return
    markTwoAndRun "$main"
    # "Gestione" opens at the left of the menu bar; "Statistiche" is its second item.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove $((X + 25)) $((Y + 10)) click 1
    sleep 0.3
    keys Down Down Return
    local stats
    stats=$(xdotool search --sync --onlyvisible --name '^snellitore Web 2002$' | head -n 1)
    sleep 1
    import -window "$stats" "$statShot"
    xdotool windowfocus --sync "$stats" key Return
    sleep 0.5
    # The same two files again: their names are taken now, so the prompt asks for new ones.
    markTwoAndRun "$main"
    local prompt
    prompt=$(xdotool search --sync --onlyvisible --name '^Snellitore Web 2002$' | head -n 1)
    sleep 1
    import -window "$prompt" "$promptShot"
    # Escape skips each file while the prompt keeps coming.
    local tries
    for tries in 1 2 3; do
        xdotool windowfocus --sync "$prompt" key Escape 2> /dev/null || true
        sleep 0.5
        prompt=$(xdotool search --onlyvisible --name '^Snellitore Web 2002$' | head -n 1 || true)
        [ -z "$prompt" ] && break
    done
}

if [ "${1:-}" = --session ]; then
    shift
    session "$@"
    exit
fi

build=${1:-$root/build-screenshots}
program=$build/app/snellitore

need() { command -v "$1" > /dev/null; }
if ! need import || ! need xdotool || ! need xvfb-run; then
    apt-get install -y imagemagick xdotool xvfb > /dev/null
fi

if [ ! -x "$program" ]; then
    cmake -S "$root" -B "$build" -DSNELLITORE_TESTS=OFF -DSNELLITORE_BENCH=OFF > /dev/null
    cmake --build "$build" --target snellitore -j2 > /dev/null
fi

samples=$(mktemp -d)
trap 'rm -rf "$samples"' EXIT
site="$samples/lavori/clienti/sito"
mkdir -p "$site/immagini" "$site/script"
printf '<html>\n<body>\n\t<p>  Benvenuti  </p>\n</body>\n</html>\n' > "$site/index.htm"
printf '<html>\n\t<div align="center">  Chi siamo  </div>\n</html>\n' > "$site/chi-siamo.htm"
printf '<html>\n\t<p>Contatti</p>\n</html>\n' > "$site/contatti.html"
printf 'function saluta() {\n\talert("ciao");\n}\n' > "$site/menu.js"
printf 'MsgBox "ciao"\n' > "$site/vecchio.vbs"
printf 'body { margin: 0 }\n' > "$site/stile.css"

mkdir -p "$root/docs" "$samples/runtime"
chmod 700 "$samples/runtime"
export XDG_RUNTIME_DIR=$samples/runtime
cd "$site"
xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/screenshots.sh" --session \
    "$program" "$root/docs/main-window.png" "$root/docs/message-box.png" "$root/docs/about-box.png" \
    "$root/docs/statistics.png" "$root/docs/name-prompt.png"
echo "wrote main-window.png, message-box.png, about-box.png, statistics.png and name-prompt.png in $root/docs"
