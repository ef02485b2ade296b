#!/usr/bin/env bash
# Installs, builds (with address and undefined sanitizers) and runs the whole test suite;
# builds, installs and starts the Debian package; then the Windows backend's tests
# cross-built with mingw-w64 and run under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh ci --with-test-tools
ctest --preset ci
# The Debian package: built, checked, installed here, and its programs started.
tools/check_package.sh
if [ -f presentation_automation/powerpoint/CMakeLists.txt ] && grep -q add_library presentation_automation/powerpoint/CMakeLists.txt; then
    cmake --preset windows-mingw
    cmake --build --preset windows-mingw
    # A private wine prefix in the build folder, set up before the first test runs in it.
    export WINEPREFIX="$PWD/build/windows-mingw/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot --init
    wineserver -w
    ctest --preset windows-mingw
fi
