#pragma once

// The messages between the presentation host and its clients over the local socket.
// A frame is a 4-byte big-endian length followed by that many bytes of one JSON object.
// Everything read from the socket goes through FrameReader and decodeRequest/decodeReply,
// which reject anything malformed instead of trusting it.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QJsonValue;

namespace pa::host {

inline constexpr const char *protocolGreeting = "presentation-host 1";
inline constexpr std::uint32_t maxFrameBytes = 4u * 1024u * 1024u;
// The most slides one hint names (a controller names a handful).
inline constexpr int maxPreparedSlides = 16;

// Largest integer a JSON number carries exactly.
inline constexpr double maxExactJsonInteger = 9007199254740992.0;
// A JSON number that is a whole number within low..high; anything else is nullopt.
std::optional<std::int64_t> jsonInteger(const QJsonValue &v, double low, double high);

enum class Op
{
    Hello,
    SetVisible,
    Open,
    ActivePresentation,
    Run,
    CheckShow,
    SetLeft,
    SetTop,
    SetWidth,
    Activate,
    Next,
    Previous,
    GotoSlide,
    CurrentSlide,
    SlideCount,
    CheckSlide,
    Export,
    Status,
    Quit,
    SlideBuilds,
    ImportReport,
    // A controller's hint: the slides a show is likely to be sent to next.
    Prepare,
    // An export only from what the host has drawn already; value 0 when it has not.
    ExportHeld,
    // The show's blank (a ppSlideShowState value in flag), and reading it back.
    SetViewState,
    ViewState,
    // The on-click builds of the current slide shown so far.
    CurrentBuild,
    // Whether media play on the show's slide (flag 1) and the milliseconds left of the one to
    // end first (value, -1 when not known).
    MediaState,
};

const char *opName(Op op);

struct Request
{
    Op op = Op::Hello;
    std::int64_t pres = 0;
    std::int32_t slide = 0;
    std::int32_t flag = 0; // visible, reset
    double points = 0;     // left, top, width
    QString path;          // open, export
    QString filter;        // export
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::int32_t> slides; // prepare, at most maxPreparedSlides
};

struct Reply
{
    bool ok = true;
    std::int64_t value = 0;
    QString text;
    QString source;
    QString description;
    // Hello only: names the line of hosts that share one journal, so a client knows that a
    // host started after a crash still knows its presentations.
    QString session;

    static Reply success(std::int64_t value = 0, const QString &text = {});
    static Reply failure(const QString &source, const QString &description);
};

QByteArray encodeRequest(const Request &request);
QByteArray encodeReply(const Reply &reply);

// Payloads (without the length prefix). nullopt when the payload is not a well-formed message.
std::optional<Request> decodeRequest(const QByteArray &payload);
std::optional<Reply> decodeReply(const QByteArray &payload);

// Puts the length prefix in front of a payload.
QByteArray frame(const QByteArray &payload);

// Cuts a byte stream into frame payloads. Once a length above maxFrameBytes is seen the
// stream is unusable and failed() stays true.
class FrameReader
{
public:
    void append(const QByteArray &bytes);
    std::optional<QByteArray> next();
    bool failed() const { return m_failed; }
    // Bytes received and not yet handed out: the start of a frame still coming.
    qsizetype buffered() const { return m_buffer.size() - m_start; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0;
    bool m_failed = false;
};

} // namespace pa::host
