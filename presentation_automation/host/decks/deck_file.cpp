#include "presentation_automation/host/decks/deck_file.h"

#include "presentation_automation/host/service/regular_file.h"

#include <QFileInfo>

namespace pa::host {

QString deckFileProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return QStringLiteral("The file %1 was not found.").arg(path);
    }
    if (info.isDir()) {
        return QStringLiteral("%1 is a folder, not a presentation.").arg(path);
    }
    // Before its size: a named pipe or a device has none, and is no kind of deck.
    if (const QString kind = notARegularFile(path); !kind.isEmpty()) {
        return QStringLiteral("The file %1 %2.").arg(path, kind);
    }
    if (!info.isReadable()) {
        return QStringLiteral("The file %1 cannot be read.").arg(path);
    }
    if (info.size() == 0) {
        return QStringLiteral("The file %1 is empty.").arg(path);
    }
    return {};
}

} // namespace pa::host
