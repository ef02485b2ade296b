#pragma once

#include <QString>

namespace platform {

// The device a port choice ("Com1".."Com4" are 1..4) stands for: COMn on Windows; elsewhere
// what Corvane's settings file names for it (~/.config/Corvane/Corvane.conf, group
// [SerialPorts], keys Com1..Com4), /dev/ttyS(n-1) when unset. Read at every use, so an edit
// takes effect at the next "Set Comm Port" without a restart.
QString configuredPortDevice(int port);

// The device a port stands for when the settings name none.
QString defaultPortDevice(int port);

// Where the kernel lists its active console devices ("ttyS0 tty0").
QString defaultConsoleListPath();

// Whether device (any path, symbolic links followed) is one of the consoles listed in the
// file at consoleListPath. A missing or unreadable list names no console.
bool isSystemConsole(const QString &device, const QString &consoleListPath);

} // namespace platform
