#include "presentation_automation/host/decks/converter.h"

#include "presentation_automation/host/decks/converted_cache.h"
#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/decks/import/stepped_import.h"
#include "presentation_automation/host/decks/office_process.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/off_thread.h"
#include "presentation_automation/host/service/host_process.h"
#include "presentation_automation/import_note.h"

#include <poppler-qt6.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace pa::host {

Converter::Converter(const QString &cacheDir, QObject *parent)
    : QObject(parent), m_cacheDir(cacheDir)
{}

bool Converter::needsConversion(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("ppt") || suffix == QLatin1String("pps") ||
           suffix == QLatin1String("pptx") || suffix == QLatin1String("ppsx") ||
           suffix == QLatin1String("odp");
}

QString Converter::defaultCacheDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/presentation-host/converted");
}

struct Converter::Prepared
{
    QString error;
    QString cached;      // the stepped import's entry
    QString plainCached; // a plain conversion's, kept while the import is unavailable
    QString source;
    bool alreadyCached = false;
    std::shared_ptr<QTemporaryDir> work;
    QString input;
    QString outDir;
};

Converter::~Converter()
{
    m_pool.waitForDone();
}

Converter::Prepared Converter::prepare(const QString &source, const QString &cacheDir,
                                       bool importable)
{
    Prepared out;
    out.source = source;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = outOfFileDescriptors() ? QStringLiteral("cannot be opened: too many open files")
                                           : QStringLiteral("cannot be read");
        return out;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        out.error = QStringLiteral("cannot be read");
        return out;
    }
    file.close();
    const QString suffix = QFileInfo(source).suffix().toLower();
    // The kind is part of the key: the same bytes named .ppt and .odp convert differently.
    const QString stem = cacheDir + QLatin1Char('/') + QString::fromLatin1(hash.result().toHex()) +
                         QLatin1Char('-') + suffix;
    out.plainCached = stem + QStringLiteral(".pdf");
    out.cached =
        stem + QStringLiteral("-steps") + SteppedImport::version() + QStringLiteral(".pdf");
    if (QFileInfo::exists(out.cached)) {
        out.alreadyCached = true;
        return out;
    }
    if (!importable && QFileInfo::exists(out.plainCached)) {
        out.cached = out.plainCached;
        out.alreadyCached = true;
        return out;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) {
        out.error = QStringLiteral(
            "cannot be opened: LibreOffice (soffice), which converts it, is not installed");
        return out;
    }
    out.work = std::make_shared<QTemporaryDir>(QDir::tempPath() +
                                               QStringLiteral("/presentation-host-convert-XXXXXX"));
    out.input = out.work->filePath(QStringLiteral("deck.") + suffix);
    out.outDir = out.work->filePath(QStringLiteral("out"));
    if (!out.work->isValid() || !QFile::copy(source, out.input) || !QDir().mkpath(out.outDir)) {
        out.error = QStringLiteral("cannot be converted: no room for a temporary copy");
    }
    return out;
}

void Converter::convert(const QString &source, Done done)
{
    // What failed goes to the log too: the client's message box may be gone by the time anyone
    // asks why a deck never opened.
    done = [source, done = std::move(done)](const QString &pdf, const QString &error) {
        if (!error.isEmpty()) {
            qWarning("The file %s %s.", qPrintable(source), qPrintable(error));
        }
        done(pdf, error);
    };
    done = withBoundedCache(m_cacheDir, std::move(done));
    offThread(
        m_pool, this,
        [source, cacheDir = m_cacheDir, importable = !m_importScript.isEmpty()] {
            return prepare(source, cacheDir, importable);
        },
        [this, done](const Prepared &prepared) {
            if (!prepared.error.isEmpty()) {
                done({}, prepared.error);
            } else if (prepared.alreadyCached) {
                done(prepared.cached, {});
            } else {
                startImport(prepared, done);
            }
        });
}

namespace {

// Empty when the PDF (and its description, when it has one) is in the cache as cached.
QString store(const QString &produced, const QString &cached, const QString &cacheDir,
              bool withDescription)
{
    QDir().mkpath(cacheDir);
    const auto copyInto = [](const QString &from, const QString &to) {
        const QString partial = to + QStringLiteral(".part");
        QFile::remove(partial);
        QFile::remove(to);
        if (QFile::copy(from, partial) && QFile::rename(partial, to)) {
            return true;
        }
        QFile::remove(partial);
        return false;
    };
    // The description and the media first: a PDF in the cache is taken as complete.
    if (withDescription && !copyInto(descriptionPathFor(produced), descriptionPathFor(cached))) {
        return QStringLiteral("was converted but the result cannot be stored in %1").arg(cacheDir);
    }
    QDir(mediaFolderFor(cached)).removeRecursively();
    if (withDescription && QFileInfo(mediaFolderFor(produced)).isDir()) {
        const QDir from(mediaFolderFor(produced));
        const QString to = mediaFolderFor(cached);
        QDir().mkpath(to);
        for (const QString &name : from.entryList(QDir::Files)) {
            if (!copyInto(from.filePath(name), QDir(to).filePath(name))) {
                QDir(to).removeRecursively();
                return QStringLiteral("was converted but its media cannot be stored in %1")
                    .arg(cacheDir);
            }
        }
    }
    if (copyInto(produced, cached) || QFileInfo::exists(cached)) {
        return {};
    }
    return QStringLiteral("was converted but the result cannot be stored in %1").arg(cacheDir);
}

// Puts beside a PDF shown without its builds a description that says so, so that its import
// report tells the programs that load it, and keeps telling them while it comes from the
// cache. False when it cannot be written: the note is then only in the log.
bool writeNote(const QString &pdf, int pageCount, const QString &note)
{
    const QString path = descriptionPathFor(pdf);
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(plainDescriptionJson(pageCount, {note})) < 0 || !file.flush()) {
        file.remove();
        return false;
    }
    file.close();
    QFile::remove(path);
    return QFile::rename(file.fileName(), path);
}

// Empty when the import's PDF opens and its description fits it, else why not.
QString checkImported(const QString &pdf)
{
    QString why;
    const auto doc = loadPdf(pdf, &why);
    if (!doc) {
        return QStringLiteral("wrote no usable PDF (%1)").arg(why);
    }
    QFile file(descriptionPathFor(pdf));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("wrote no description of the deck");
    }
    if (!readDeckDescription(file.read(16ll * 1024 * 1024), doc->numPages(), &why)) {
        return QStringLiteral("wrote a description that does not fit its PDF (%1)").arg(why);
    }
    return {};
}

} // namespace

void Converter::startImport(const Prepared &prepared, Done done)
{
    const QString produced = prepared.outDir + QStringLiteral("/deck.pdf");
    const int importMs = m_timeoutMs * 2 / 3;
    // A deck that could not be imported is converted plainly, and the log says so once.
    const auto fallBack = [this, prepared, done, importMs](const ImportOutcome &failed) {
        const QString note =
            QString::fromUtf8(pa::withoutBuildsPrefix.data(),
                              static_cast<qsizetype>(pa::withoutBuildsPrefix.size())) +
            QStringLiteral(", one page per slide: the stepped import %1").arg(failed.why);
        qWarning("The file %s is %s.", qPrintable(prepared.source), qPrintable(note));
        if (failed.result != ImportOutcome::Result::DeckRefused &&
            QFileInfo::exists(prepared.plainCached)) {
            const QString pdf = prepared.plainCached;
            offThread(
                m_pool, this,
                [pdf, note] {
                    QString why;
                    const auto doc = loadPdf(pdf, &why);
                    return doc && writeNote(pdf, doc->numPages(), note);
                },
                [done, pdf](bool) { done(pdf, {}); });
            return;
        }
        // A deck the import refused is kept as converted plainly, so that it is not tried
        // again on every open; one that could not be tried now may be later.
        const QString storeAs = failed.result == ImportOutcome::Result::DeckRefused
                                    ? prepared.cached
                                    : prepared.plainCached;
        startPlain(prepared, storeAs, m_timeoutMs - importMs, done, note);
    };
    SteppedImport::run(
        m_importScript, prepared.input, produced, prepared.work->path(), importMs, this,
        [this, prepared, produced, done, fallBack](const ImportOutcome &outcome) {
            if (outcome.result != ImportOutcome::Result::Imported) {
                fallBack(outcome);
                return;
            }
            struct Stored
            {
                QString unusable; // what was wrong with the import's result
                QString storeError;
            };
            offThread(
                m_pool, this,
                [produced, cached = prepared.cached, cacheDir = m_cacheDir]() -> Stored {
                    const QString why = checkImported(produced);
                    if (!why.isEmpty()) {
                        return {why, {}};
                    }
                    return {{}, store(produced, cached, cacheDir, true)};
                },
                [prepared, done, fallBack](const Stored &stored) {
                    if (!stored.unusable.isEmpty()) {
                        fallBack({ImportOutcome::Result::DeckRefused, stored.unusable});
                    } else if (!stored.storeError.isEmpty()) {
                        done({}, stored.storeError);
                    } else {
                        done(prepared.cached, {});
                    }
                });
        });
}

void Converter::startPlain(const Prepared &prepared, const QString &storeAs, int timeoutMs,
                           Done done, const QString &note)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    const auto work = prepared.work;
    const QString outDir = prepared.outDir;
    const QString plainDir = outDir + QStringLiteral("/plain");
    QDir().mkpath(plainDir);

    // Each conversion gets its own LibreOffice profile: with a shared one a second converter
    // hands its job to the first and returns at once.
    const QStringList arguments{QStringLiteral("-env:UserInstallation=") +
                                    QUrl::fromLocalFile(work->filePath(QStringLiteral("profile")))
                                        .toString(QUrl::FullyEncoded),
                                QStringLiteral("--headless"),
                                QStringLiteral("--norestore"),
                                QStringLiteral("--convert-to"),
                                QStringLiteral("pdf"),
                                QStringLiteral("--outdir"),
                                plainDir,
                                prepared.input};
    const QString cacheDir = m_cacheDir;
    OfficeProcess::run(
        soffice, arguments, timeoutMs, this,
        [this, work, done, storeAs, cacheDir, plainDir, note](const OfficeOutcome &outcome) {
            if (outcome.result == OfficeOutcome::Result::FailedToStart) {
                done({},
                     QStringLiteral("cannot be converted: LibreOffice could not be started (%1)")
                         .arg(outcome.lastLine));
                return;
            }
            if (outcome.result == OfficeOutcome::Result::TimedOut) {
                done(
                    {},
                    QStringLiteral("could not be converted: LibreOffice %1").arg(outcome.lastLine));
                return;
            }
            const QString produced = plainDir + QStringLiteral("/deck.pdf");
            offThread(
                m_pool, this,
                [produced, storeAs, cacheDir, note]() -> QString {
                    QString why;
                    const auto doc =
                        QFileInfo::exists(produced) ? loadPdf(produced, &why) : nullptr;
                    if (!doc) {
                        return QStringLiteral("could not be converted by LibreOffice (damaged, "
                                              "protected or not a presentation)");
                    }
                    // A description left from an earlier import must not describe this PDF.
                    QFile::remove(descriptionPathFor(storeAs));
                    const QString stored = store(produced, storeAs, cacheDir, false);
                    if (stored.isEmpty() && !note.isEmpty()) {
                        writeNote(storeAs, doc->numPages(), note);
                    }
                    return stored;
                },
                // The temporary folder goes only once the result is stored.
                [done, storeAs, work](const QString &storeError) {
                    if (storeError.isEmpty()) {
                        done(storeAs, {});
                    } else {
                        done({}, storeError);
                    }
                });
        });
}

} // namespace pa::host
