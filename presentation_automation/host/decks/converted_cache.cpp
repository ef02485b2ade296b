#include "presentation_automation/host/decks/converted_cache.h"

#include "presentation_automation/host/decks/deck_description.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace pa::host {

qint64 convertedCacheLimit()
{
    bool ok = false;
    const qint64 mib = qEnvironmentVariable("PRESENTATION_HOST_CONVERTED_MIB").toLongLong(&ok);
    return ok && mib >= 1 ? mib * 1024 * 1024 : defaultConvertedCacheBytes;
}

void trimConvertedCache(const QString &dir, const QString &used, qint64 limit,
                        const QSet<QString> &keep)
{
    // The modification time is the last use: it orders the decks for removal.
    ::utimensat(AT_FDCWD, QFile::encodeName(used).constData(), nullptr, 0);

    QFileInfoList decks = QDir(dir).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files);
    // A deck's media count with it.
    const auto sizeOf = [](const QFileInfo &deck) {
        qint64 bytes = deck.size();
        for (const QFileInfo &medium :
             QDir(mediaFolderFor(deck.absoluteFilePath())).entryInfoList(QDir::Files)) {
            bytes += medium.size();
        }
        return bytes;
    };
    qint64 total = 0;
    for (const QFileInfo &deck : decks) {
        total += sizeOf(deck);
    }
    std::sort(decks.begin(), decks.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() < b.lastModified();
    });
    const QString usedPath = QFileInfo(used).absoluteFilePath();
    for (const QFileInfo &deck : decks) {
        if (total <= limit) {
            break;
        }
        const QString path = deck.absoluteFilePath();
        if (path == usedPath || keep.contains(path)) {
            continue;
        }
        const qint64 bytes = sizeOf(deck);
        if (QFile::remove(path)) {
            total -= bytes;
            QFile::remove(descriptionPathFor(path));
            QDir(mediaFolderFor(path)).removeRecursively();
        }
    }
}

Converter::Done withBoundedCache(const QString &dir, Converter::Done done)
{
    return [dir, done = std::move(done)](const QString &pdfPath, const QString &error) {
        if (!pdfPath.isEmpty() &&
            QFileInfo(pdfPath).absolutePath() == QFileInfo(dir).absoluteFilePath()) {
            // Converters live on the host's main thread, so one list serves them all.
            static QSet<QString> handedOut;
            handedOut.insert(QFileInfo(pdfPath).absoluteFilePath());
            trimConvertedCache(dir, pdfPath, convertedCacheLimit(), handedOut);
        }
        done(pdfPath, error);
    };
}

} // namespace pa::host
