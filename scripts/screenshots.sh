#!/usr/bin/env bash
# Takes the screenshots docs/main-window.png and docs/about-box.png of the desktop program under Xvfb.
#
#   scripts/screenshots.sh [build-folder]     (default: build-screenshots)
#
# Builds the program if needed, starts it in a folder of sample pages on a virtual screen without a window
# manager, grabs the main window, opens the about box from the menu bar and grabs it too.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

# On the virtual screen: start the program, grab both windows, end the program.
session() {
    local program=$1 mainShot=$2 aboutShot=$3
    "$program" &
    local pid=$!
    local main
    main=$(xdotool search --sync --onlyvisible --name '^Snellitore Pagine Web 2002$' | head -n 1)
    sleep 1
    import -window "$main" "$mainShot"

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
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
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
mkdir -p "$samples/sito/immagini" "$samples/sito/script"
printf '<html>\n<body>\n\t<p>  Benvenuti  </p>\n</body>\n</html>\n' > "$samples/sito/index.htm"
printf '<html>\n\t<div align="center">  Chi siamo  </div>\n</html>\n' > "$samples/sito/chi-siamo.htm"
printf '<html>\n\t<p>Contatti</p>\n</html>\n' > "$samples/sito/contatti.html"
printf 'function saluta() {\n\talert("ciao");\n}\n' > "$samples/sito/menu.js"
printf 'MsgBox "ciao"\n' > "$samples/sito/vecchio.vbs"
printf 'body { margin: 0 }\n' > "$samples/sito/stile.css"

mkdir -p "$root/docs" "$samples/runtime"
chmod 700 "$samples/runtime"
export XDG_RUNTIME_DIR=$samples/runtime
cd "$samples/sito"
xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/screenshots.sh" --session \
    "$program" "$root/docs/main-window.png" "$root/docs/about-box.png"
echo "wrote $root/docs/main-window.png and $root/docs/about-box.png"
