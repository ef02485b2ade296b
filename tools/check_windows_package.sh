#!/usr/bin/env bash
# Installs the Windows installer built by the windows preset (cpack) in a wine prefix of its
# own, checks its files and Start-menu entries, and starts the installed Corvane on a virtual
# display with nothing of the build on its paths: it must answer its text remote.
set -euo pipefail
cd "$(dirname "$0")/.."

installer=$(ls build/windows/corvane-*-win64.exe)
export WINEPREFIX="$PWD/build/windows/package-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM
wine=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
wineboot --init > /dev/null 2>&1
wineserver -w

xvfb_pid=
corvane_pid=
stop() {
    [ -z "$corvane_pid" ] || kill "$corvane_pid" 2> /dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2> /dev/null || true
}
trap stop EXIT

# Silent install to a folder of our choosing (/D must come last, unquoted).
"$wine" "$installer" /S '/D=C:\Program Files\Corvane' > /dev/null 2>&1
wineserver -w
drive_c="$WINEPREFIX/drive_c"
installed="$drive_c/Program Files/Corvane"
for file in bin/Corvane.exe bin/Kestro.exe bin/Kestrokiosk.exe bin/corvane-check.exe \
            bin/Qt6Core.dll bin/platforms/qwindows.dll bin/imageformats/qjpeg.dll \
            bin/libstdc++-6.dll share/doc/corvane/guide/index.html; do
    [ -f "$installed/$file" ] || { echo "not installed: $file"; exit 1; }
done
for entry in Corvane Kestro Kestrokiosk; do
    found=$(find "$drive_c" -path "*Start Menu*" -name "$entry.lnk" | head -1)
    [ -n "$found" ] || { echo "no Start-menu entry for $entry"; exit 1; }
done
echo "Installed in C:\\Program Files\\Corvane, with Start-menu entries."

# A port of its own, in the settings file the installed Corvane reads.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
settings="$drive_c/users/$(id -un)/AppData/Roaming/Corvane"
mkdir -p "$settings"
printf '[Remote]\r\nOscPort=0\r\nWebSocketPort=0\r\nTextPort=%s\r\n' "$port" > "$settings/Corvane.ini"

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2> /dev/null & echo "pid $!"; wait)
read -r _ xvfb_pid <&3
read -r display <&3
export DISPLAY=":$display"
"$wine" "$installed/bin/Corvane.exe" > /dev/null 2>&1 &
corvane_pid=$!

python3 - "$port" <<'PY'
import socket, sys, time
port = int(sys.argv[1])
deadline = time.monotonic() + 60
while True:
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(b"STATE\n")
            line = s.makefile("rb").readline().decode()
            if line.startswith("STATE "):
                print("The installed Corvane runs: " + line.strip()[:60] + " ...")
                break
    except OSError:
        pass
    if time.monotonic() > deadline:
        sys.exit("the installed Corvane did not answer on its text remote within 60 s")
    time.sleep(0.5)
PY
kill "$corvane_pid"
wait "$corvane_pid" 2> /dev/null || true
corvane_pid=
wineserver -w
