#!/usr/bin/env bash
# Builds the Debian package from the run preset, checks it with lintian, installs it on this
# machine and starts what it installed: the programs' --version, Corvane, and Kestro opening a
# PDF deck in the installed host. The package is removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset run
cmake --build --preset run
(cd build/run && cpack -G DEB)
deb=$(ls build/run/corvane_*.deb)
lintian --fail-on error "$deb"

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
remove_package() {
    "${sudo_cmd[@]}" dpkg -r corvane > /dev/null || true
}
trap remove_package EXIT
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

# The installed Kestro opens a PDF deck on a virtual display, and the installed host shows it.
tools/check_installed_show.sh "$PWD/build/run/examples/Screen 1.pdf"
echo "The package installs and its programs start."
