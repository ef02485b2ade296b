#!/usr/bin/env bash
# Installs, builds (with address and undefined sanitizers) and runs the whole test suite,
# then the Windows backend's tests cross-built with mingw-w64 and run under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh ci --with-test-tools
ctest --preset ci
if [ -f presentation_automation/powerpoint/CMakeLists.txt ] && grep -q add_library presentation_automation/powerpoint/CMakeLists.txt; then
    cmake --preset windows-mingw
    cmake --build --preset windows-mingw
    ctest --preset windows-mingw
fi
