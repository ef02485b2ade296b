#include "presentation_automation/host/decks/pdf_media.h"

#include <poppler-annotation.h>
#include <poppler-link.h>
#include <poppler-media.h>
#include <poppler-qt6.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <map>
#include <memory>

namespace pa::host {

namespace {

// Larger embedded media are not written out: a deck is no place for a feature film.
constexpr qint64 embeddedLimitBytes = 1024LL * 1024 * 1024;

bool soundName(const QString &name, const QString &contentType)
{
    if (contentType.startsWith(QLatin1String("audio/"))) {
        return true;
    }
    static const QStringList sounds{QStringLiteral("mp3"),  QStringLiteral("wav"),
                                    QStringLiteral("ogg"),  QStringLiteral("oga"),
                                    QStringLiteral("m4a"),  QStringLiteral("aac"),
                                    QStringLiteral("flac"), QStringLiteral("opus")};
    return sounds.contains(QFileInfo(name).suffix().toLower());
}

// A plain file name for an embedded medium: only its last part, only safe characters.
QString safeName(const QString &named, int number)
{
    QString base =
        QFileInfo(QString(named).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    while (base.startsWith(QLatin1Char('.'))) {
        base.remove(0, 1);
    }
    return QStringLiteral("embedded%1-%2")
        .arg(number)
        .arg(base.isEmpty() ? QStringLiteral("medium") : base);
}

struct Found
{
    QString file; // absolute
    QString problem;
    bool sound = false;
    bool loop = false;
    bool embedded = false; // written out into the cache
};

Found fromMovie(const Poppler::MovieAnnotation &movie, const QString &folder)
{
    Found out;
    const Poppler::MovieObject *object = movie.movie();
    if (object == nullptr || object->url().isEmpty()) {
        out.problem = QStringLiteral("the annotation names no movie");
        return out;
    }
    out.file = pdfMediumPath(folder, object->url(), &out.problem);
    out.sound = soundName(object->url(), {});
    out.loop = object->playMode() == Poppler::MovieObject::PlayRepeat ||
               object->playMode() == Poppler::MovieObject::PlayPalindrome;
    return out;
}

Found fromScreen(const Poppler::ScreenAnnotation &screen, const QString &folder,
                 const QString &embeddedFolder, int number)
{
    Found out;
    const Poppler::LinkRendition *action = screen.action();
    const Poppler::MediaRendition *rendition = action ? action->rendition() : nullptr;
    if (rendition == nullptr || !rendition->isValid()) {
        out.problem = QStringLiteral("the annotation has no rendition to play");
        return out;
    }
    out.sound = soundName(rendition->fileName(), rendition->contentType());
    // A repeat count of 0 plays for ever.
    out.loop = rendition->repeatCount() == 0.0F;
    if (!rendition->isEmbedded()) {
        out.file = pdfMediumPath(folder, rendition->fileName(), &out.problem);
        return out;
    }
    if (embeddedFolder.isEmpty() || !QDir().mkpath(embeddedFolder)) {
        out.problem = QStringLiteral("there is no folder to write its embedded file to");
        return out;
    }
    const QString path = QDir(embeddedFolder).filePath(safeName(rendition->fileName(), number));
    // The folder is this very version of the PDF's, and a file there was written whole: a
    // second open does not decode a large clip again.
    out.embedded = true;
    if (QFileInfo(path).isFile()) {
        out.file = path;
        return out;
    }
    const QByteArray data = rendition->data();
    if (data.isEmpty() || data.size() > embeddedLimitBytes) {
        out.problem = QStringLiteral("its embedded file is empty or larger than 1 GiB");
        return out;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        out.problem = QStringLiteral("its embedded file could not be written to %1").arg(path);
        return out;
    }
    out.file = path;
    return out;
}

} // namespace

QString pdfMediumPath(const QString &pdfFolder, const QString &named, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        *why = reason;
        return QString();
    };
    QString name = named.trimmed();
    if (name.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) &&
        !name.startsWith(QLatin1String("file:/"), Qt::CaseInsensitive)) {
        // "file:clip.mp4": a relative file name as a PDF may write it.
        name = name.mid(5);
    }
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (name.isEmpty()) {
        return refuse(QStringLiteral("it names no file"));
    }
    if (name.contains(QLatin1String(":")) || QDir::isAbsolutePath(name)) {
        return refuse(QStringLiteral("%1 is not a path beside the PDF").arg(named));
    }
    const QString root = QFileInfo(pdfFolder).canonicalFilePath();
    const QFileInfo info(QDir::cleanPath(root + QLatin1Char('/') + name));
    const QString real = info.canonicalFilePath();
    if (root.isEmpty() || real.isEmpty()) {
        return refuse(QStringLiteral("%1 is not there").arg(named));
    }
    if (!real.startsWith(root + QLatin1Char('/'))) {
        return refuse(QStringLiteral("%1 lies outside the PDF's folder").arg(named));
    }
    if (!QFileInfo(real).isFile()) {
        return refuse(QStringLiteral("%1 is not a regular file").arg(named));
    }
    return real;
}

QString embeddedMediaFolder(const QString &cacheDir, const QString &pdf)
{
    const QFileInfo info(pdf);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(info.absoluteFilePath().toUtf8());
    hash.addData(QByteArray::number(info.size()));
    hash.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    return QDir(cacheDir).filePath(QString::fromLatin1(hash.result().toHex().left(32)) +
                                   QStringLiteral(".pdf.media"));
}

bool isEmbeddedMediaFolderName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{32}\\.pdf\\.media$"));
    return form.match(name).hasMatch();
}

QString addPdfMedia(Poppler::Document &doc, const QString &pdf, const QString &cacheDir,
                    DeckDescription &deck)
{
    if (!deck.importer.isEmpty()) {
        return {};
    }
    const QString folder = QFileInfo(pdf).absolutePath();
    const QString embedded = cacheDir.isEmpty() ? QString() : embeddedMediaFolder(cacheDir, pdf);
    // The first slide and state that show each page.
    std::map<int, std::pair<int, int>> shownAt;
    for (int s = deck.slideCount() - 1; s >= 0; --s) {
        const auto &states = deck.slides[static_cast<size_t>(s)].states;
        for (int i = static_cast<int>(states.size()) - 1; i >= 0; --i) {
            shownAt[states[static_cast<size_t>(i)].page] = {s, i};
        }
    }
    int number = 0;
    bool any = false;
    bool anyEmbedded = false;
    for (const auto &[page, at] : shownAt) {
        std::unique_ptr<Poppler::Page> p(doc.page(page));
        if (!p) {
            continue;
        }
        const auto annotations =
            p->annotations({Poppler::Annotation::AMovie, Poppler::Annotation::AScreen});
        for (const auto &annotation : annotations) {
            ++number;
            Found found;
            if (annotation->subType() == Poppler::Annotation::AMovie) {
                found =
                    fromMovie(static_cast<const Poppler::MovieAnnotation &>(*annotation), folder);
            } else {
                found = fromScreen(static_cast<const Poppler::ScreenAnnotation &>(*annotation),
                                   folder, embedded, number);
            }
            if (found.file.isEmpty()) {
                qWarning("A medium on page %d of %s is not played: %s.", page + 1, qPrintable(pdf),
                         qPrintable(found.problem));
                continue;
            }
            MediaClip clip;
            clip.file = found.file;
            clip.kind = found.sound ? MediaKind::Audio : MediaKind::Video;
            clip.rect = annotation->boundary().intersected(QRectF(0, 0, 1, 1));
            // A show is stepped by Next, not by clicks on the page: its media play with it.
            clip.startState = at.second;
            clip.loop = found.loop;
            deck.slides[static_cast<size_t>(at.first)].media.push_back(clip);
            any = true;
            anyEmbedded = anyEmbedded || found.embedded;
        }
    }
    if (any && deck.mediaFolder.isEmpty()) {
        deck.mediaFolder = folder;
    }
    return anyEmbedded ? embedded : QString();
}

} // namespace pa::host
