#pragma once

// Open Sound Control packets: messages and bundles, and the three ways OSC is framed on a
// TCP stream (SLIP, a 4-byte big-endian length, or bare messages back to back).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace remote {

struct OscMessage
{
    QString address;
    // int32 and int64 as qint64, float32 and float64 as double, strings as QString, T/F as
    // bool; nil, impulse and blobs as an invalid QVariant.
    QList<QVariant> arguments;
};

// The messages of one packet, a bundle's contents included. Empty with *error set when the
// packet is malformed (truncated, unknown type tag, bad padding).
QList<OscMessage> decodeOscPacket(const QByteArray &packet, QString *error);

// A message with int (qint64 fitting 32 bits), double (sent as float32), bool and string
// arguments.
QByteArray encodeOscMessage(const QString &address, const QList<QVariant> &arguments);

// The length of the whole message at the start of data: 0 when more bytes are needed, -1
// when data cannot start a message. For bare OSC on a stream.
qsizetype oscMessageLength(const QByteArray &data);

// The largest packet taken from a client; anything larger is refused.
inline constexpr qsizetype maxOscPacket = 64 * 1024;

// Splits a TCP stream into OSC packets, the framing recognised from the first byte.
class OscStreamReader
{
public:
    enum class Framing
    {
        Unknown,
        Slip,
        LengthPrefixed,
        Bare,
    };

    // Appends the complete packets of the bytes fed so far; false when the stream is
    // unusable (no OSC framing, a packet over the limit), after which it stays unusable.
    bool feed(const QByteArray &bytes, QList<QByteArray> *packets);
    Framing framing() const { return m_framing; }
    // A packet in the stream's own framing, for replies (SLIP until one is recognised).
    QByteArray frame(const QByteArray &packet) const;

private:
    Framing m_framing = Framing::Unknown;
    QByteArray m_buffer;
    bool m_escaped = false;
    bool m_broken = false;
};

QByteArray slipEncode(const QByteArray &packet);

} // namespace remote
