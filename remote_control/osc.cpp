#include "osc.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace remote {

namespace {

constexpr char slipEnd = char(0xC0);
constexpr char slipEsc = char(0xDB);
constexpr char slipEscEnd = char(0xDC);
constexpr char slipEscEsc = char(0xDD);
constexpr int maxBundleDepth = 4;

qsizetype padded(qsizetype length)
{
    return (length + 3) & ~qsizetype(3);
}

// A zero-terminated, 4-byte padded string at pos; its padded length, 0 when more bytes
// are needed, -1 when malformed.
qsizetype stringLength(const QByteArray &data, qsizetype pos)
{
    const qsizetype end = data.indexOf('\0', pos);
    if (end < 0) {
        return data.size() - pos >= maxOscPacket ? -1 : 0;
    }
    const qsizetype length = padded(end - pos + 1);
    if (pos + length > data.size()) {
        return 0;
    }
    for (qsizetype i = end; i < pos + length; ++i) {
        if (data.at(i) != '\0') {
            return -1;
        }
    }
    return length;
}

// The text of a padded string at pos: its bytes up to the first NUL.
QByteArrayView textAt(const QByteArray &data, qsizetype pos, qsizetype paddedLength)
{
    const char *begin = data.constData() + pos;
    return QByteArrayView(begin, std::find(begin, begin + paddedLength, '\0'));
}

quint32 readU32(const QByteArray &data, qsizetype pos)
{
    return qFromBigEndian<quint32>(data.constData() + pos);
}

// Walks one message; fills message when given. Returns its length, 0 for more, -1 invalid.
qsizetype walkMessage(const QByteArray &data, OscMessage *message)
{
    if (data.isEmpty()) {
        return 0;
    }
    if (data.at(0) != '/') {
        return -1;
    }
    const qsizetype addressLength = stringLength(data, 0);
    if (addressLength <= 0) {
        return addressLength;
    }
    qsizetype pos = addressLength;
    if (message) {
        message->address = QString::fromUtf8(textAt(data, 0, addressLength));
    }
    if (pos == data.size()) {
        // No type tags at all: an old-style message without arguments. On a stream this
        // cannot be told from a message still arriving, so only whole packets take it.
        return message ? pos : 0;
    }
    if (data.at(pos) != ',') {
        return -1;
    }
    const qsizetype tagsLength = stringLength(data, pos);
    if (tagsLength <= 0) {
        return tagsLength;
    }
    const QByteArray tags = textAt(data, pos + 1, tagsLength - 1).toByteArray();
    pos += tagsLength;
    for (const char tag : tags) {
        qsizetype size = 0;
        switch (tag) {
        case 'i':
        case 'f':
        case 'c':
        case 'r':
        case 'm':
            size = 4;
            break;
        case 'h':
        case 'd':
        case 't':
            size = 8;
            break;
        case 's':
        case 'S': {
            size = stringLength(data, pos);
            if (size <= 0) {
                return size;
            }
            break;
        }
        case 'b': {
            if (pos + 4 > data.size()) {
                return 0;
            }
            const quint32 blob = readU32(data, pos);
            if (blob > quint32(maxOscPacket)) {
                return -1;
            }
            size = 4 + padded(qsizetype(blob));
            break;
        }
        case 'T':
        case 'F':
        case 'N':
        case 'I':
            size = 0;
            break;
        default:
            return -1;
        }
        if (pos + size > data.size()) {
            return 0;
        }
        if (message) {
            QVariant value;
            switch (tag) {
            case 'i':
                value = qint64(qint32(readU32(data, pos)));
                break;
            case 'h':
                value = qFromBigEndian<qint64>(data.constData() + pos);
                break;
            case 'f': {
                const quint32 bits = readU32(data, pos);
                float number = 0;
                std::memcpy(&number, &bits, sizeof number);
                value = double(number);
                break;
            }
            case 'd': {
                const quint64 bits = qFromBigEndian<quint64>(data.constData() + pos);
                double number = 0;
                std::memcpy(&number, &bits, sizeof number);
                value = number;
                break;
            }
            case 's':
            case 'S':
                value = QString::fromUtf8(textAt(data, pos, size));
                break;
            case 'T':
                value = true;
                break;
            case 'F':
                value = false;
                break;
            default:
                break;
            }
            message->arguments.append(value);
        }
        pos += size;
    }
    return pos;
}

bool decodeInto(const QByteArray &packet, int depth, QList<OscMessage> *messages, QString *error)
{
    if (packet.startsWith(QByteArrayLiteral("#bundle\0"))) {
        if (depth >= maxBundleDepth) {
            *error = QStringLiteral("bundles nested too deep");
            return false;
        }
        qsizetype pos = 16; // "#bundle\0" and the time tag
        if (packet.size() < pos) {
            *error = QStringLiteral("truncated bundle");
            return false;
        }
        while (pos < packet.size()) {
            if (pos + 4 > packet.size()) {
                *error = QStringLiteral("truncated bundle element");
                return false;
            }
            const quint32 size = readU32(packet, pos);
            pos += 4;
            if (size > quint32(packet.size() - pos) || size % 4 != 0) {
                *error = QStringLiteral("bundle element of a wrong size");
                return false;
            }
            if (!decodeInto(packet.mid(pos, size), depth + 1, messages, error)) {
                return false;
            }
            pos += size;
        }
        return true;
    }
    OscMessage message;
    const qsizetype length = walkMessage(packet, &message);
    if (length <= 0 || length != packet.size()) {
        *error = packet.isEmpty() || packet.at(0) != '/' ? QStringLiteral("not an OSC packet")
                                                         : QStringLiteral("malformed OSC message");
        return false;
    }
    messages->append(message);
    return true;
}

void appendPaddedString(QByteArray *out, const QByteArray &text)
{
    out->append(text);
    out->append(padded(text.size() + 1) - text.size(), '\0');
}

void appendU32(QByteArray *out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out->append(bytes, 4);
}

} // namespace

QList<OscMessage> decodeOscPacket(const QByteArray &packet, QString *error)
{
    QList<OscMessage> messages;
    QString why;
    if (packet.size() > maxOscPacket) {
        why = QStringLiteral("packet too large");
    } else if (!decodeInto(packet, 0, &messages, &why)) {
        messages.clear();
    }
    if (error) {
        *error = why;
    }
    return messages;
}

qsizetype oscMessageLength(const QByteArray &data)
{
    return walkMessage(data, nullptr);
}

QByteArray encodeOscMessage(const QString &address, const QList<QVariant> &arguments)
{
    QByteArray tags(",");
    QByteArray values;
    for (const QVariant &argument : arguments) {
        switch (argument.typeId()) {
        case QMetaType::Bool:
            tags += argument.toBool() ? 'T' : 'F';
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            tags += 'i';
            appendU32(&values, quint32(qint32(argument.toLongLong())));
            break;
        case QMetaType::Double:
        case QMetaType::Float: {
            tags += 'f';
            const float number = argument.toFloat();
            quint32 bits = 0;
            std::memcpy(&bits, &number, sizeof bits);
            appendU32(&values, bits);
            break;
        }
        default:
            tags += 's';
            appendPaddedString(&values, argument.toString().toUtf8());
            break;
        }
    }
    QByteArray out;
    appendPaddedString(&out, address.toUtf8());
    appendPaddedString(&out, tags);
    out += values;
    return out;
}

QByteArray slipEncode(const QByteArray &packet)
{
    QByteArray out;
    out.reserve(packet.size() + 8);
    out += slipEnd;
    for (const char byte : packet) {
        if (byte == slipEnd) {
            out += slipEsc;
            out += slipEscEnd;
        } else if (byte == slipEsc) {
            out += slipEsc;
            out += slipEscEsc;
        } else {
            out += byte;
        }
    }
    out += slipEnd;
    return out;
}

QByteArray OscStreamReader::frame(const QByteArray &packet) const
{
    switch (m_framing) {
    case Framing::LengthPrefixed: {
        QByteArray out;
        appendU32(&out, quint32(packet.size()));
        return out + packet;
    }
    case Framing::Bare:
        return packet;
    default:
        return slipEncode(packet);
    }
}

bool OscStreamReader::feed(const QByteArray &bytes, QList<QByteArray> *packets)
{
    if (m_broken) {
        return false;
    }
    if (m_framing == Framing::Unknown && !bytes.isEmpty()) {
        const char first = bytes.at(0);
        m_framing = first == slipEnd ? Framing::Slip
                    : first == '\0'  ? Framing::LengthPrefixed
                    : first == '/'   ? Framing::Bare
                                     : Framing::Unknown;
        if (m_framing == Framing::Unknown) {
            m_broken = true;
            return false;
        }
    }
    switch (m_framing) {
    case Framing::Slip:
        for (const char byte : bytes) {
            if (byte == slipEnd) {
                if (!m_buffer.isEmpty()) {
                    packets->append(m_buffer);
                    m_buffer.clear();
                }
                m_escaped = false;
            } else if (m_escaped) {
                m_buffer += byte == slipEscEnd ? slipEnd : byte == slipEscEsc ? slipEsc : byte;
                m_escaped = false;
            } else if (byte == slipEsc) {
                m_escaped = true;
            } else {
                m_buffer += byte;
            }
            if (m_buffer.size() > maxOscPacket) {
                m_broken = true;
                return false;
            }
        }
        return true;
    case Framing::LengthPrefixed:
        m_buffer += bytes;
        while (m_buffer.size() >= 4) {
            const quint32 length = readU32(m_buffer, 0);
            if (length > quint32(maxOscPacket)) {
                m_broken = true;
                return false;
            }
            if (m_buffer.size() < 4 + qsizetype(length)) {
                break;
            }
            packets->append(m_buffer.mid(4, length));
            m_buffer.remove(0, 4 + length);
        }
        return true;
    case Framing::Bare:
        m_buffer += bytes;
        while (!m_buffer.isEmpty()) {
            const qsizetype length = oscMessageLength(m_buffer);
            if (length < 0 || (length == 0 && m_buffer.size() > maxOscPacket)) {
                m_broken = true;
                return false;
            }
            if (length == 0) {
                break;
            }
            packets->append(m_buffer.left(length));
            m_buffer.remove(0, length);
        }
        return true;
    case Framing::Unknown:
        return true;
    }
    return true;
}

} // namespace remote
