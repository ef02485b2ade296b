#pragma once

// The folder of converted decks is kept under a size bound: the least recently used decks go
// first. A deck this host has handed out stays while the host runs, since its shows and
// render threads open it again by name.

#include "presentation_automation/host/decks/converter.h"

#include <QSet>
#include <QString>

namespace pa::host {

inline constexpr qint64 defaultConvertedCacheBytes = 1024LL * 1024 * 1024;

// PRESENTATION_HOST_CONVERTED_MIB when it is a whole number of at least 1, else 1 GiB.
qint64 convertedCacheLimit();

// Marks used as just used, then removes the least recently used decks of dir while the decks
// there take more than limit bytes; used and the decks in keep are never removed. The media
// written out of a PDF opened where it lies (named as embeddedMediaFolder names them) count
// and go the same way.
void trimConvertedCache(const QString &dir, const QString &used, qint64 limit,
                        const QSet<QString> &keep);

// path (a deck of dir or a folder of media written out into it) is in use: it stays while the
// host runs, and the rest of dir is kept under the bound. Any thread.
void useConverted(const QString &dir, const QString &path);

// done, preceded by the bookkeeping for each deck handed out of dir.
Converter::Done withBoundedCache(const QString &dir, Converter::Done done);

} // namespace pa::host
