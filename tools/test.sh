#!/usr/bin/env bash
# Installs, builds (with address and undefined sanitizers) and runs the whole test suite;
# builds, installs and starts the Debian package; then the Windows programs (or, without a Qt
# for Windows, the Windows backend alone) cross-built with mingw-w64 and tested under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh ci --with-test-tools
ctest --preset ci
# The Debian package: built, checked, installed here, and its programs started.
tools/check_package.sh
# The Windows programs, cross-built with mingw-w64 against the Qt for Windows the build machine
# provides, their tests (and Corvane.exe and Kestro.exe against a fake PowerPoint) under wine,
# the zip and the installer, which is installed under wine and its Corvane started. Without that
# Qt, only the Qt-free PowerPoint backend is built and tested.
qt_windows=../shared/toolchains/qt6.4.2-mingw-w64.tar.xz
if [ -f "$qt_windows" ]; then
    windows_start=$(date +%s)
    cmake --preset windows
    cmake --build --preset windows
    ctest --preset windows
    cpack --preset windows
    tools/check_windows_package.sh
    echo "The Windows programs took $(($(date +%s) - windows_start)) s: built, tested under wine, packaged, installed."
else
    echo "Skipped the Windows programs: no Qt for Windows at $qt_windows."
    echo "Building and testing the Windows PowerPoint backend alone."
    cmake --preset windows-mingw
    cmake --build --preset windows-mingw
    ctest --preset windows-mingw
fi
