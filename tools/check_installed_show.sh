#!/usr/bin/env bash
# Opens a PDF deck with the installed Kestro, pressing its buttons on a virtual display as an
# operator would, and checks that the installed host runs its show.
# Usage: tools/check_installed_show.sh DECK.pdf
set -euo pipefail
deck=$1
work=$(mktemp -d)
chmod 700 "$work"
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb=$!
host=
kestro=
cleanup() {
    for pid in $host $kestro $xvfb; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
# A private runtime folder and home: a host of this user elsewhere is left alone.
export DISPLAY=":$(head -1 "$work/display")" XDG_RUNTIME_DIR="$work" HOME="$work"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

Kestro > "$work/kestro.log" 2>&1 &
kestro=$!
window=$(timeout 30 xdotool search --sync --name '^Kestro $' | head -1)
# Load Show, then the file name typed into the file dialog.
xdotool mousemove --window "$window" 240 88 click 1
timeout 30 xdotool search --sync --name '^Load PowerPoint Presentation$' > /dev/null
sleep 1
xdotool type --delay 10 "$deck"
xdotool key Return

listing=
for _ in $(seq 120); do
    listing=$(/usr/libexec/presentation_host --status 2>/dev/null || true)
    grep -q "show running" <<< "$listing" && break
    sleep 0.5
done
echo "$listing"
host=$(grep -o 'process [0-9]*' <<< "$listing" | head -1 | cut -d' ' -f2 || true)
if ! grep -qF "$deck, " <<< "$listing" || ! grep -q "show running" <<< "$listing"; then
    echo "The installed Kestro did not open $deck in the installed host."
    cat "$work/kestro.log"
    exit 1
fi
echo "The installed Kestro opened $deck in the installed host."
