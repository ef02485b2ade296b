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

// Empty when ffmpeg made a clip of seconds of a moving picture (320 by 180, H.264 in the
// pixel format pixels) and a 440 Hz tone at path, else why not.
inline QString makeTestClip(const QString &path, double seconds,
                            const QString &pixels = QStringLiteral("yuv420p"))
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
             QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), pixels, QStringLiteral("-c:a"),
             QStringLiteral("aac"), QStringLiteral("-shortest"), path});
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

// What PowerPoint writes of a clip and LibreOffice leaves out: its trim (milliseconds off its
// start and off its end), whether it shows while not playing, the slides it plays across.
struct PowerPointMedia
{
    int trimStartMs = 0;
    int trimEndMs = 0;
    bool showWhenStopped = true;
    int slides = 1;
};

namespace detail {

// clang-format off
inline const char *const powerPointMediaScript = R"py(
import re, sys, zipfile
plans = [[int(v) for v in a.split(",")] for a in sys.argv[3:]]
with zipfile.ZipFile(sys.argv[1]) as zin, \
        zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as zout:
    for item in zin.infolist():
        data = zin.read(item.filename)
        m = re.fullmatch(r"ppt/slides/slide(\d+)\.xml", item.filename)
        if m and int(m.group(1)) <= len(plans):
            st, end, shown, slides = plans[int(m.group(1)) - 1]
            text = data.decode("utf-8")
            pic = re.search(r'<p:pic><p:nvPicPr><p:cNvPr id="(\d+)".*?<a:(audio|video)File', text)
            if not pic or "</p:seq></p:childTnLst>" not in text:
                sys.exit("slide %s has no clip or no timing" % m.group(1))
            if st or end:
                text, n = re.subn(r"<p14:media ([^>]*?)/>", r'<p14:media \1><p14:trim st="%d" '
                                  r'end="%d"/></p14:media>' % (st, end), text)
                if n != 1:
                    sys.exit("slide %s has no p14:media" % m.group(1))
            kind = pic.group(2)
            node = ('<p:%s><p:cMediaNode vol="80000" showWhenStopped="%d" numSld="%d">'
                    '<p:cTn id="900" fill="hold" display="0"><p:stCondLst>'
                    '<p:cond delay="indefinite"/></p:stCondLst></p:cTn><p:tgtEl>'
                    '<p:spTgt spid="%s"/></p:tgtEl></p:cMediaNode></p:%s>'
                    % (kind, shown, slides, pic.group(1), kind))
            text = text.replace("</p:seq></p:childTnLst>", "</p:seq>" + node + "</p:childTnLst>", 1)
            data = text.encode("utf-8")
        zout.writestr(item, data)
)py";
// clang-format on

} // namespace detail

// Copies the .pptx LibreOffice saved at pptx to out with the clip of slide n given options[n-1]
// as PowerPoint writes them: p14:trim in the picture, a media node in the slide's timing.
// False when it could not (a slide without the picture or the timing LibreOffice writes).
inline bool withPowerPointMedia(const QString &pptx, const QString &out,
                                const std::vector<PowerPointMedia> &options)
{
    QStringList args{QStringLiteral("-c"), QString::fromUtf8(detail::powerPointMediaScript), pptx,
                     out};
    for (const PowerPointMedia &o : options) {
        args << QStringLiteral("%1,%2,%3,%4")
                    .arg(o.trimStartMs)
                    .arg(o.trimEndMs)
                    .arg(o.showWhenStopped ? 1 : 0)
                    .arg(o.slides);
    }
    QProcess p;
    p.start(QStringLiteral("python3"), args);
    return p.waitForFinished(60000) && p.exitCode() == 0 && QFile::exists(out);
}

// A deck of the options PowerPoint gives clips, as a .pptx at dir/options.pptx (empty when it
// could not be made): 1 a 20 s clip on click trimmed to its 12th to 16th second and hidden while
// not playing; 2 a sound with the slide that plays across it and the next; 3 a slide without
// media; 4 the same sound, on click, with no options at all.
inline QString writeOptionsDeck(const QString &soffice, const QString &dir)
{
    QDir().mkpath(dir);
    const QString clip = QDir(dir).filePath(QStringLiteral("long.mp4"));
    const QString tone = QDir(dir).filePath(QStringLiteral("tone.m4a"));
    if (!makeTestClip(clip, 20).isEmpty() ||
        QProcess::execute(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                          {QStringLiteral("-loglevel"), QStringLiteral("error"),
                           QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                           QStringLiteral("-i"), QStringLiteral("sine=frequency=660:duration=30"),
                           QStringLiteral("-c:a"), QStringLiteral("aac"), tone}) != 0) {
        return {};
    }
    const QString source = QDir(dir).filePath(QStringLiteral("options-source/options.odp"));
    QDir().mkpath(QFileInfo(source).absolutePath());
    if (!writeMediaPackage(
            source,
            {{QStringLiteral("Trimmed"), MediaStart::OnClick, QStringLiteral("long.mp4")},
             {QStringLiteral("Sound across"), MediaStart::WithSlide, QStringLiteral("tone.m4a")},
             {QStringLiteral("Still sounding"), MediaStart::None, {}},
             {QStringLiteral("Plain sound"), MediaStart::OnClick, QStringLiteral("tone.m4a")}},
            dir, {QStringLiteral("long.mp4"), QStringLiteral("tone.m4a")})) {
        return {};
    }
    const QString saved = resaveDeck(soffice, source, dir, QStringLiteral("pptx"));
    const QString out = QDir(dir).filePath(QStringLiteral("options.pptx"));
    if (saved.isEmpty() ||
        !withPowerPointMedia(saved, out, {{12000, 4000, false, 1}, {0, 0, true, 2}})) {
        return {};
    }
    return out;
}

} // namespace pa::host::testing
