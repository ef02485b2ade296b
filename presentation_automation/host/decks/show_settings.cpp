#include "presentation_automation/host/decks/show_settings.h"

#include "presentation_automation/host/service/regular_file.h"

#include <QFile>

#include <QFileInfo>
#include <QXmlStreamReader>
#include <QtEndian>
#include <unistd.h>

#include <algorithm>

#include <zlib.h>

namespace pa::host {

namespace {

constexpr qint64 maxXmlBytes = 64ll * 1024 * 1024;

quint32 u32(const QByteArray &data, qint64 at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

quint16 u16(const QByteArray &data, qint64 at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

bool fits(const QByteArray &data, qint64 at, qint64 length)
{
    return at >= 0 && length >= 0 && at <= data.size() && length <= data.size() - at;
}

std::optional<QByteArray> inflateRaw(const char *input, qint64 inputSize, qint64 outputSize)
{
    QByteArray out(outputSize, Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input));
    stream.avail_in = static_cast<uInt>(inputSize);
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(outputSize);
    const int result = inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.total_out == static_cast<uLong>(outputSize);
    inflateEnd(&stream);
    if (!whole) {
        return std::nullopt;
    }
    return out;
}

// An attribute of the first element of this namespace and local name, as the XML gives it.
std::optional<QString> attributeOf(const QByteArray &xml, QLatin1StringView ns,
                                   QLatin1StringView element, QLatin1StringView attribute)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == element &&
            reader.namespaceUri() == ns) {
            for (const auto &a : reader.attributes()) {
                if (a.name() == attribute) {
                    return a.value().toString();
                }
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool isTrue(const std::optional<QString> &value)
{
    return value && (*value == QLatin1String("1") || *value == QLatin1String("true"));
}

} // namespace

std::optional<QByteArray> readZipMember(QIODevice &archive, const QString &name, qint64 maxBytes)
{
    const qint64 size = archive.size();
    const auto readAt = [&archive](qint64 at, qint64 length) -> std::optional<QByteArray> {
        if (at < 0 || length < 0 || !archive.seek(at)) {
            return std::nullopt;
        }
        QByteArray bytes = archive.read(length);
        if (bytes.size() != length) {
            return std::nullopt;
        }
        return bytes;
    };

    // The end record is in the last 64 KiB + 22 bytes (its comment is at most 64 KiB).
    constexpr qint64 endSize = 22;
    const qint64 tailStart = std::max<qint64>(0, size - endSize - 65535);
    const auto tail = readAt(tailStart, size - tailStart);
    if (!tail || tail->size() < endSize) {
        return std::nullopt;
    }
    qint64 end = -1;
    for (qint64 at = tail->size() - endSize; at >= 0; --at) {
        if (u32(*tail, at) == 0x06054b50u) {
            end = at;
            break;
        }
    }
    if (end < 0) {
        return std::nullopt;
    }
    const quint16 entries = u16(*tail, end + 10);
    const quint32 directorySize = u32(*tail, end + 12);
    // A directory of a few hundred bytes per member; anything near this is no deck.
    if (directorySize > 64u * 1024 * 1024) {
        return std::nullopt;
    }
    const auto directory = readAt(u32(*tail, end + 16), directorySize);
    if (!directory) {
        return std::nullopt;
    }
    const QByteArray wanted = name.toUtf8();
    qint64 at = 0;
    for (quint16 i = 0; i < entries; ++i) {
        if (!fits(*directory, at, 46) || u32(*directory, at) != 0x02014b50u) {
            return std::nullopt;
        }
        const quint16 method = u16(*directory, at + 10);
        const quint32 compressed = u32(*directory, at + 20);
        const quint32 length = u32(*directory, at + 24);
        const quint16 nameLength = u16(*directory, at + 28);
        const quint16 extraLength = u16(*directory, at + 30);
        const quint16 commentLength = u16(*directory, at + 32);
        const quint32 local = u32(*directory, at + 42);
        if (!fits(*directory, at + 46, nameLength)) {
            return std::nullopt;
        }
        if (directory->mid(at + 46, nameLength) == wanted) {
            if (length > maxBytes || compressed > maxBytes) {
                return std::nullopt;
            }
            const auto header = readAt(local, 30);
            if (!header || u32(*header, 0) != 0x04034b50u) {
                return std::nullopt;
            }
            const auto data = readAt(local + 30 + u16(*header, 26) + u16(*header, 28), compressed);
            if (!data) {
                return std::nullopt;
            }
            if (method == 0 && compressed == length) {
                return data;
            }
            if (method == 8) {
                return inflateRaw(data->constData(), compressed, length);
            }
            return std::nullopt;
        }
        at += 46 + nameLength + extraLength + commentLength;
    }
    return std::nullopt;
}

bool deckLoops(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool pptx = suffix == QLatin1String("pptx") || suffix == QLatin1String("ppsx");
    const bool odp = suffix == QLatin1String("odp");
    if (!pptx && !odp) {
        return false;
    }
    QString why;
    const int fd = openRegularFile(path, &why);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    return archiveLoops(file, pptx ? DeckFormat::Pptx : DeckFormat::Odp);
}

bool archiveLoops(QIODevice &archive, DeckFormat format)
{
    const auto xml = readZipMember(archive,
                                   format == DeckFormat::Pptx ? QStringLiteral("ppt/presProps.xml")
                                                              : QStringLiteral("content.xml"),
                                   maxXmlBytes);
    return xml && settingsXmlLoops(*xml, format);
}

bool settingsXmlLoops(const QByteArray &xml, DeckFormat format)
{
    if (format == DeckFormat::Pptx) {
        return isTrue(attributeOf(
            xml, QLatin1StringView("http://schemas.openxmlformats.org/presentationml/2006/main"),
            QLatin1StringView("showPr"), QLatin1StringView("loop")));
    }
    return isTrue(attributeOf(
        xml, QLatin1StringView("urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"),
        QLatin1StringView("settings"), QLatin1StringView("endless")));
}

} // namespace pa::host
