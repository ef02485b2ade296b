#!/usr/bin/env bash
# Builds the Debian package from the run preset, checks it with lintian, installs it on this
# machine and starts what it installed: the programs' --version, and the installed host
# opening PDF decks for Kestro's window (the host end-to-end test run against it).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset run
cmake --build --preset run
(cd build/run && cpack -G DEB)
deb=$(ls build/run/corvane_*.deb)
lintian --fail-on error "$deb"

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "./$deb"

for program in Corvane Kestro Kestrokiosk; do
    env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version
done
/usr/libexec/presentation_host --version
desktop-file-validate /usr/share/applications/org.corvane.*.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.corvane.Corvane.metainfo.xml

# The installed Corvane starts and keeps running until it is ended.
status=0
timeout 5 Corvane -platform offscreen || status=$?
[ "$status" -eq 124 ] || { echo "the installed Corvane ended by itself ($status)"; exit 1; }

# Kestro's window code against the installed host: the test program finds the host beside it.
if [ -x build/ci/bin/tst_kestro_host ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp build/ci/bin/tst_kestro_host "$work/"
    ln -s /usr/libexec/presentation_host "$work/presentation_host"
    QT_QPA_PLATFORM=offscreen "$work/tst_kestro_host"
fi
echo "The package installs and its programs start."
