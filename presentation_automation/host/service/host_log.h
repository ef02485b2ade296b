#pragma once

// The host's log: ~/.local/state/presentation-host/host.log, which outlives a logout (the
// runtime folder does not). It is kept to a bounded size by moving a full log aside to
// host.log.1, so a host that runs for weeks cannot fill the disk.

#include <QString>

#include <cstdint>

namespace pa::host {

inline constexpr std::int64_t hostLogMaxBytes = 1024 * 1024;

// $XDG_STATE_HOME/presentation-host/host.log, or ~/.local/state/... without it.
QString hostLogPath();

// Creates the log's folder and returns the path; used by a client before it starts a host.
QString prepareHostLog();

// Sends this process's standard output, standard error and Qt messages (with the time) to
// the log at path, moving it aside whenever it passes maxBytes.
void installHostLog(const QString &path, std::int64_t maxBytes = hostLogMaxBytes);

} // namespace pa::host
