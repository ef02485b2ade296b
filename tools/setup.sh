#!/usr/bin/env bash
# Installs what the build needs (Debian 12) and builds the given preset (default: "default").
# Usage: tools/setup.sh [preset] [--with-test-tools] [--with-libreoffice]
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
test_tools=no
libreoffice=no
for arg in "$@"; do
    case "$arg" in
        --with-test-tools) test_tools=yes ;;
        --with-libreoffice) libreoffice=yes ;;
        *) preset="$arg" ;;
    esac
done

# The host plays the videos and sounds of slides with Qt Multimedia; the GStreamer plugins
# bring its codecs (libav: H.264, AAC and most others), and GStreamer's own headers let the
# host limit the frames Qt's pipelines hold; FFmpeg's libswscale makes each frame the picture
# of the size it is drawn at in one pass (a 4K clip on a 1080p show).
packages=(cmake ninja-build g++ pkg-config
          qt6-base-dev qt6-base-dev-tools libqt6serialport6-dev libgl-dev
          libpoppler-qt6-dev poppler-utils zlib1g-dev libxcb-xinerama0-dev fonts-liberation2
          libqt6svg6 qt6-websockets-dev qt6-httpserver-dev
          qt6-multimedia-dev libgstreamer1.0-dev gstreamer1.0-plugins-good gstreamer1.0-libav
          libswscale-dev)
if [ "$libreoffice" = yes ]; then
    # The host converts .ppt, .pptx and .odp decks with it; python3-uno lets the host's
    # import read their builds, transitions and timings, and LibreOffice's own Python
    # (its script provider) runs the import's work on the slides several times faster.
    packages+=(libreoffice-impress-nogui python3-uno libreoffice-script-provider-python)
fi
if [ "$test_tools" = yes ]; then
    # LibreOffice converts decks in the host's tests; mingw-w64 and wine build and run the
    # Windows backend's tests; socat makes pty pairs.
    # The network remote's tests drive it with independent clients: liblo's oscsend,
    # socat, Python's websockets.
    packages+=(liblo-tools python3-websockets)
    # The web remote's tests open its page in a real browser, driven by Selenium.
    packages+=(chromium chromium-driver python3-selenium curl)
    # Xorg's dummy driver gives the host's display tests three displays; xwininfo reads them.
    packages+=(libreoffice-impress-nogui python3-uno libreoffice-script-provider-python
               g++-mingw-w64-x86-64-posix wine64 wine socat
               xserver-xorg-core xserver-xorg-video-dummy x11-utils)
    # The package's checks (a virtual display to press the installed program's buttons).
    packages+=(lintian desktop-file-utils appstream dpkg-dev xvfb xdotool)
    # A window manager for the test that the controllers stay above the shows.
    packages+=(openbox)
    # The Windows installer is made with NSIS.
    packages+=(nsis)
    # The media and blank-screen tests make their clips and read the screens with ffmpeg.
    packages+=(ffmpeg)
    # A clip on a share that hangs is served by a FUSE file system written with fusepy.
    packages+=(python3-fusepy fuse3)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

cmake --preset "$preset"
cmake --build --preset "$preset"
