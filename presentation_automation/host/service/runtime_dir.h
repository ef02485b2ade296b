#pragma once

// Where the host's socket and start lock live: one folder per user that nobody else
// may enter, since whoever reaches the socket drives the slide shows.

#include <QString>

namespace pa::host {

QString defaultRuntimeDir();

// Creates the folder (mode 0700) when it is missing, then checks that it is a real folder,
// not a link, owned by this user and closed to everyone else. Returns an empty string when
// it may be used, else the reason it may not.
QString preparePrivateFolder(const QString &dir);

QString socketPath(const QString &dir);
QString startLockPath(const QString &dir);
// Held by a host while it decides whether the socket path is free and takes it.
QString listenLockPath(const QString &dir);
// Held (shared) by every running host for its whole life: while anyone holds it, a host is
// alive even if its socket file is gone for a moment.
QString aliveLockPath(const QString &dir);
// The host's record of its presentations, for a host started after it died.
QString journalPath(const QString &dir);

} // namespace pa::host
