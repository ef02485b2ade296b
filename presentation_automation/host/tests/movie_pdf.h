#pragma once

// PDF decks with movies in them, as LaTeX's multimedia packages and PDF presentation tools
// write them: raw PDF objects written by a small Python script, each page a plain colour,
// with a movie annotation naming a file beside the PDF, or a screen annotation (with the
// page it is on, which Poppler wants of one with a rendition) whose rendition names one or
// embeds it. Pages are 960 by 540 points.

#include <QColor>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

namespace pa::host::testing {

enum class MovieKind
{
    None,
    Movie,          // /Movie annotation, /F naming the file
    ScreenLinked,   // /Screen with a rendition naming the file
    ScreenEmbedded, // /Screen with a rendition embedding the file's bytes
};

struct MoviePage
{
    QColor colour;
    MovieKind kind = MovieKind::None;
    QString file; // as the PDF names it; for an embedded one, the file whose bytes go in
    QRectF rect;  // fractions of the page, from its top-left corner
    std::optional<double> duration; // the page's /Dur
    bool loop = false;
    int copies = 1; // movie annotations of the file, one over the other
};

inline MoviePage plainPage(const QColor &colour)
{
    MoviePage page;
    page.colour = colour;
    return page;
}

inline MoviePage moviePage(const QColor &colour, MovieKind kind, const QString &file,
                           const QRectF &rect)
{
    MoviePage page;
    page.colour = colour;
    page.kind = kind;
    page.file = file;
    page.rect = rect;
    return page;
}

inline bool writeMoviePdf(const QString &path, const std::vector<MoviePage> &pages)
{
    static const char *const script = R"(
import json, sys
out, described = sys.argv[1], json.loads(sys.argv[2])
W, H = 960, 540
objs = [None, None]
def add(body):
    objs.append(body)
    return len(objs)
def s(text):
    return b'(' + text.encode().replace(b'\\', b'\\\\').replace(b'(', b'\\(').replace(b')', b'\\)') + b')'
kids = []
for p in described:
    # Numbered first: a screen annotation names its page.
    page_id = add(None)
    r, g, b = p['colour']
    content = ('%.3f %.3f %.3f rg 0 0 %d %d re f' % (r, g, b, W, H)).encode()
    c = add(b'<< /Length %d >>\nstream\n' % len(content) + content + b'\nendstream')
    annots = []
    if p['kind'] != 'none':
        x, y, w, h = p['rect']
        rect = b'[%.2f %.2f %.2f %.2f]' % (x * W, H - (y + h) * H, (x + w) * W, H - y * H)
        if p['kind'] == 'movie':
            mode = b'/Repeat' if p['loop'] else b'/Once'
            for _ in range(p['copies']):
                annots.append(add(b'<< /Type /Annot /Subtype /Movie /Rect ' + rect +
                                  b' /Movie << /F ' + s(p['file']) + b' /Aspect [320 180] >>'
                                  b' /A << /Mode ' + mode + b' /ShowControls false >> >>'))
        else:
            if p['kind'] == 'embedded':
                data = open(p['file'], 'rb').read()
                ef = add(b'<< /Type /EmbeddedFile /Subtype /video#2Fmp4 /Length %d >>\nstream\n'
                         % len(data) + data + b'\nendstream')
                name = s(p['file'].rsplit('/', 1)[-1])
                filespec = add(b'<< /Type /Filespec /F ' + name + b' /UF ' + name +
                            b' /EF << /F %d 0 R >> >>' % ef)
            else:
                filespec = add(b'<< /Type /Filespec /F ' + s(p['file']) + b' >>')
            rc = 0 if p['loop'] else 1
            rendition = add(b'<< /Type /Rendition /S /MR /C << /Type /MediaClip /S /MCD '
                            b'/CT (video/mp4) /D %d 0 R >> /P << /Type /MediaPlayParams '
                            b'/BE << /RC %d >> >> >>' % (filespec, rc))
            screen = len(objs) + 2
            action = add(b'<< /Type /Action /S /Rendition /OP 0 /AN %d 0 R /R %d 0 R >>'
                         % (screen, rendition))
            annots.append(add(b'<< /Type /Annot /Subtype /Screen /Rect ' + rect +
                              b' /P %d 0 R /A %d 0 R /AA << /PO %d 0 R >> >>'
                              % (page_id, action, action)))
    page = b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents %d 0 R' % (W, H, c)
    if annots:
        page += b' /Annots [' + b' '.join(b'%d 0 R' % a for a in annots) + b']'
    if p.get('duration') is not None:
        page += b' /Dur %.3f' % p['duration']
    objs[page_id - 1] = page + b' >>'
    kids.append(page_id)
objs[0] = b'<< /Type /Catalog /Pages 2 0 R >>'
objs[1] = b'<< /Type /Pages /Kids [' + b' '.join(b'%d 0 R' % k for k in kids) + \
          b'] /Count %d >>' % len(kids)
data = b'%PDF-1.7\n%\xe2\xe3\xcf\xd3\n'
offsets = []
for i, body in enumerate(objs):
    offsets.append(len(data))
    data += b'%d 0 obj\n' % (i + 1) + body + b'\nendobj\n'
xref = len(data)
data += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objs) + 1)
for o in offsets:
    data += b'%010d 00000 n \n' % o
data += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objs) + 1, xref)
open(out, 'wb').write(data)
)";
    QJsonArray described;
    for (const MoviePage &page : pages) {
        static const char *const kinds[] = {"none", "movie", "linked", "embedded"};
        QJsonObject o{
            {QStringLiteral("colour"),
             QJsonArray{page.colour.redF(), page.colour.greenF(), page.colour.blueF()}},
            {QStringLiteral("kind"), QLatin1String(kinds[static_cast<int>(page.kind)])},
            {QStringLiteral("file"), page.file},
            {QStringLiteral("rect"),
             QJsonArray{page.rect.x(), page.rect.y(), page.rect.width(), page.rect.height()}},
            {QStringLiteral("loop"), page.loop},
            {QStringLiteral("copies"), page.copies},
        };
        if (page.duration) {
            o.insert(QStringLiteral("duration"), *page.duration);
        }
        described.append(o);
    }
    QProcess p;
    p.start(QStringLiteral("python3"),
            {QStringLiteral("-c"), QString::fromLatin1(script), path,
             QString::fromUtf8(QJsonDocument(described).toJson(QJsonDocument::Compact))});
    return p.waitForFinished(60000) && p.exitCode() == 0 && QFile::exists(path);
}

} // namespace pa::host::testing
