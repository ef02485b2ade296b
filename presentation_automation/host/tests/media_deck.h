#pragma once

// Decks with videos in them, as a user brings them: a moving test picture with a tone made by
// ffmpeg, embedded in an OpenDocument package, which LibreOffice then saves as the .pptx or
// .odp it writes itself (LibreOffice keeps a flat document's media linked, a package's
// embedded). Pages are 16:9, 28 by 15.75 cm; every video sits in the middle half of its page.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRectF>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace pa::host::testing {

enum class MediaStart
{
    None,      // a slide without media
    OnClick,   // played by the first Next on its slide
    WithSlide, // played as the slide is shown
};

struct MediaSlide
{
    QString title;
    MediaStart start = MediaStart::None;
    QString file; // a file of the package's Media folder
};

// The middle half of the page, where every video of these decks is.
inline const QRectF mediaRect(0.25, 0.25, 0.5, 0.5);

// Empty when ffmpeg made a clip of seconds of a moving picture (320 by 180) and a 440 Hz tone
// at path, else why not.
inline QString makeTestClip(const QString &path, double seconds)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        return QStringLiteral("ffmpeg is not installed");
    }
    const QString length = QString::number(seconds);
    QProcess p;
    p.start(ffmpeg,
            {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc=size=320x180:rate=25:duration=") + length,
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("sine=frequency=440:duration=") + length, QStringLiteral("-c:v"),
             QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
             QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-shortest"), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0 || !QFile::exists(path)) {
        return QStringLiteral("ffmpeg made no clip: ") + QString::fromLocal8Bit(p.readAll());
    }
    return {};
}

namespace detail {

inline QString mediaPage(int index, const MediaSlide &s)
{
    QString shapes = QStringLiteral("<draw:frame svg:x=\"1cm\" svg:y=\"0.5cm\" svg:width=\"26cm\" "
                                    "svg:height=\"2cm\"><draw:text-box><text:p>%1</text:p>"
                                    "</draw:text-box></draw:frame>")
                         .arg(s.title.toHtmlEscaped());
    QString timing;
    if (s.start != MediaStart::None) {
        const QString id = QStringLiteral("v%1").arg(index);
        shapes += QStringLiteral("<draw:frame draw:id=\"%1\" xml:id=\"%1\" svg:x=\"7cm\" "
                                 "svg:y=\"3.9375cm\" svg:width=\"14cm\" svg:height=\"7.875cm\">"
                                 "<draw:plugin xlink:href=\"Media/%2\" xlink:type=\"simple\" "
                                 "xlink:show=\"embed\" xlink:actuate=\"onLoad\" "
                                 "draw:mime-type=\"application/vnd.sun.star.media\"/>"
                                 "</draw:frame>")
                      .arg(id, s.file.toHtmlEscaped());
        const bool click = s.start == MediaStart::OnClick;
        timing = QStringLiteral(
                     "<anim:par presentation:node-type=\"timing-root\"><anim:seq "
                     "presentation:node-type=\"main-sequence\"><anim:par smil:begin=\"%1\">"
                     "<anim:par smil:begin=\"0s\"><anim:par smil:begin=\"0s\" smil:fill=\"hold\" "
                     "presentation:node-type=\"%2\" presentation:preset-class=\"media-call\" "
                     "presentation:preset-id=\"ooo-media-start\"><anim:command "
                     "smil:begin=\"0s\" anim:command=\"play\" smil:targetElement=\"%3\"/>"
                     "</anim:par></anim:par></anim:par></anim:seq></anim:par>")
                     .arg(click ? QStringLiteral("next") : QStringLiteral("0s"),
                          click ? QStringLiteral("on-click") : QStringLiteral("with-previous"), id);
    }
    return QStringLiteral("<draw:page draw:name=\"m%1\" draw:master-page-name=\"Default\">%2%3"
                          "</draw:page>\n")
        .arg(index)
        .arg(shapes, timing);
}

inline const char *const mediaNamespaces =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
    "xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\" "
    "xmlns:smil=\"urn:oasis:names:tc:opendocument:xmlns:smil-compatible:1.0\" "
    "xmlns:anim=\"urn:oasis:names:tc:opendocument:xmlns:animation:1.0\" office:version=\"1.2\"";

// A zip with Python's zipfile: the mimetype first and stored, as the format wants.
inline bool writePackage(const QString &path, const QString &dir, const QStringList &members)
{
    QProcess p;
    p.start(QStringLiteral("python3"),
            QStringList{QStringLiteral("-c"),
                        QStringLiteral("import sys, zipfile\n"
                                       "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
                                       "z.writestr(zipfile.ZipInfo('mimetype'), "
                                       "'application/vnd.oasis.opendocument.presentation')\n"
                                       "for m in sys.argv[3:]:\n"
                                       "    z.write(sys.argv[2] + '/' + m, m, "
                                       "zipfile.ZIP_DEFLATED)\n"
                                       "z.close()\n"),
                        path, dir} +
                members);
    return p.waitForFinished(60000) && p.exitCode() == 0 && QFile::exists(path);
}

inline bool writeText(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    const QByteArray bytes = text.toUtf8();
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace detail

// Writes an .odp package at path with these slides; media names the files (in mediaDir) to
// embed. False when it could not be written.
inline bool writeMediaPackage(const QString &path, const std::vector<MediaSlide> &slides,
                              const QString &mediaDir, const QStringList &media)
{
    const QString work = path + QStringLiteral(".parts");
    QDir(work).removeRecursively();
    QString pages;
    for (size_t i = 0; i < slides.size(); ++i) {
        pages += detail::mediaPage(static_cast<int>(i) + 1, slides[i]);
    }
    const QString ns = QLatin1String(detail::mediaNamespaces);
    const QString content =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
                       "%1><office:body><office:presentation>%2</office:presentation>"
                       "</office:body></office:document-content>\n")
            .arg(ns, pages);
    const QString styles =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-styles %1>"
                       "<office:automatic-styles><style:page-layout style:name=\"PM1\">"
                       "<style:page-layout-properties fo:margin-top=\"0cm\" "
                       "fo:margin-bottom=\"0cm\" fo:margin-left=\"0cm\" fo:margin-right=\"0cm\" "
                       "fo:page-width=\"28cm\" fo:page-height=\"15.75cm\"/></style:page-layout>"
                       "</office:automatic-styles><office:master-styles><style:master-page "
                       "style:name=\"Default\" style:page-layout-name=\"PM1\"/>"
                       "</office:master-styles></office:document-styles>\n")
            .arg(ns);
    QString manifest = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest "
        "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
        "manifest:version=\"1.2\"><manifest:file-entry manifest:full-path=\"/\" "
        "manifest:media-type=\"application/vnd.oasis.opendocument.presentation\"/>"
        "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
        "<manifest:file-entry manifest:full-path=\"styles.xml\" "
        "manifest:media-type=\"text/xml\"/>");
    QStringList members{QStringLiteral("META-INF/manifest.xml"), QStringLiteral("content.xml"),
                        QStringLiteral("styles.xml")};
    for (const QString &m : media) {
        manifest += QStringLiteral("<manifest:file-entry manifest:full-path=\"Media/%1\" "
                                   "manifest:media-type=\"application/vnd.sun.star.media\"/>")
                        .arg(m.toHtmlEscaped());
        QDir().mkpath(work + QStringLiteral("/Media"));
        if (!QFile::copy(QDir(mediaDir).filePath(m), work + QStringLiteral("/Media/") + m)) {
            return false;
        }
        members << QStringLiteral("Media/") + m;
    }
    manifest += QStringLiteral("</manifest:manifest>\n");
    return detail::writeText(work + QStringLiteral("/content.xml"), content) &&
           detail::writeText(work + QStringLiteral("/styles.xml"), styles) &&
           detail::writeText(work + QStringLiteral("/META-INF/manifest.xml"), manifest) &&
           detail::writePackage(path, work, members);
}

// Has LibreOffice save the deck at source as dir/<its name>.format ("pptx", "odp"); the path
// of the saved deck, or empty when LibreOffice did not make it.
inline QString resaveDeck(const QString &soffice, const QString &source, const QString &dir,
                          const QString &format)
{
    const QString made = QDir(dir).filePath(QStringLiteral("made-") + format);
    QProcess office;
    office.start(
        soffice,
        {QStringLiteral("-env:UserInstallation=") +
             QUrl::fromLocalFile(QDir(dir).filePath(QStringLiteral("profile-save"))).toString(),
         QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
         QStringLiteral("--outdir"), made, source});
    if (!office.waitForFinished(180000)) {
        office.kill();
        office.waitForFinished();
        return {};
    }
    const QString path =
        QDir(made).filePath(QFileInfo(source).completeBaseName() + QLatin1Char('.') + format);
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace pa::host::testing
