#include "presentation_automation/host/decks/converted_cache.h"

#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/decks/pdf_media.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

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

namespace {

// What the bound counts: a deck with its description and media, or the media written out of
// a PDF opened where it lies.
struct Entry
{
    QString path;
    QDateTime used;
    qint64 bytes = 0;
    bool mediaOnly = false; // a folder of media without a deck
};

qint64 filesIn(const QString &folder)
{
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files)) {
        bytes += file.size();
    }
    return bytes;
}

// Converters run on the host's main thread, PDF media are written out by its workers.
QMutex trimming;
QSet<QString> handedOut;

} // namespace

void trimConvertedCache(const QString &dir, const QString &used, qint64 limit,
                        const QSet<QString> &keep)
{
    // The modification time is the last use: it orders the entries for removal.
    ::utimensat(AT_FDCWD, QFile::encodeName(used).constData(), nullptr, 0);

    std::vector<Entry> entries;
    for (const QFileInfo &deck : QDir(dir).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files)) {
        const QString path = deck.absoluteFilePath();
        entries.push_back({path, deck.lastModified(), deck.size() + filesIn(mediaFolderFor(path))});
    }
    for (const QFileInfo &folder : QDir(dir).entryInfoList({QStringLiteral("*.pdf.media")},
                                                           QDir::Dirs | QDir::NoDotAndDotDot)) {
        // Only by its name, never by a missing deck: a converted deck's media are stored
        // before its PDF.
        const QString path = folder.absoluteFilePath();
        if (isEmbeddedMediaFolderName(folder.fileName())) {
            entries.push_back({path, folder.lastModified(), filesIn(path), true});
        }
    }
    qint64 total = 0;
    for (const Entry &entry : entries) {
        total += entry.bytes;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.used < b.used; });
    const QString usedPath = QFileInfo(used).absoluteFilePath();
    for (const Entry &entry : entries) {
        if (total <= limit) {
            break;
        }
        if (entry.path == usedPath || keep.contains(entry.path)) {
            continue;
        }
        if (entry.mediaOnly) {
            if (QDir(entry.path).removeRecursively()) {
                total -= entry.bytes;
            }
        } else if (QFile::remove(entry.path)) {
            total -= entry.bytes;
            QFile::remove(descriptionPathFor(entry.path));
            QDir(mediaFolderFor(entry.path)).removeRecursively();
        }
    }
}

void useConverted(const QString &dir, const QString &path)
{
    const QMutexLocker lock(&trimming);
    handedOut.insert(QFileInfo(path).absoluteFilePath());
    trimConvertedCache(dir, path, convertedCacheLimit(), handedOut);
}

Converter::Done withBoundedCache(const QString &dir, Converter::Done done)
{
    return [dir, done = std::move(done)](const QString &pdfPath, const QString &error) {
        if (!pdfPath.isEmpty() &&
            QFileInfo(pdfPath).absolutePath() == QFileInfo(dir).absoluteFilePath()) {
            useConverted(dir, pdfPath);
        }
        done(pdfPath, error);
    };
}

} // namespace pa::host
