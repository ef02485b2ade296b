#pragma once

// What a remote may ask of a controller, read from text lines, OSC messages and JSON, and
// the state a controller reports back, rendered for each of them. Pure rules, no sockets.

#include "remote_control/osc.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

#include <deque>
#include <optional>

namespace remote {

enum class Program
{
    Corvane, // three screens: N, P, 1N..3P, go to script line k
    Kestro,  // one show (Kestro and Kestrokiosk): N, P, go to slide n
};

enum class Action
{
    Next,
    Previous,
    ScreenNext,
    ScreenPrevious,
    Line,
    Slide,
    State,
    // Set-states, never toggles: blanking twice stays blank.
    Black,
    White,
    Show,
    Follow, // a backup takes its main's state again
    Report, // a backup tells its main how it follows (WebSocket only)
};

struct Command
{
    Action action = Action::State;
    int number = 0; // the screen (0: all of a blank's screens), the script line or the slide
    std::optional<qint64> sequence;
    std::optional<QString> token;
    QString text; // a report's health word
};

// A message read: a command, or why it was refused (empty when it is silently ignored, as
// an OSC button's release).
struct Parsed
{
    std::optional<Command> command;
    QString refusal;
};

// "N", "P", "1N".."3P", "LINE k", "STATE", "BLACK [n]", "WHITE [n]", "SHOW [n]" (Corvane);
// "N", "P", "SLIDE n", "STATE", "BLACK", "WHITE", "SHOW" (Kestro); any case, then optional
// "seq=N" and "token=T" words.
Parsed parseTextCommand(Program program, const QString &line);
// /corvane/next, /corvane/previous, /corvane/screen/N/next|previous, /corvane/line i,
// /corvane/state, /corvane/black|white|show, /corvane/screen/N/black|white|show;
// /kestro/next, /kestro/previous, /kestro/slide i, /kestro/state, /kestro/black|white|show.
// String arguments "seq=N" and "token=T" may follow.
Parsed parseOscCommand(Program program, const OscMessage &message);
// {"command": "next" | "previous" | "screen/N/next" | "line" | "slide" | "state" | "black" |
// "white" | "show" | "follow" | a text command, "value": n, "screen": n, "seq": n,
// "token": "..."}; a backup's report is {"command": "follower", "value": "in-step"}.
Parsed parseJsonCommand(Program program, const QByteArray &json);

// The text the controller's remote queue runs: the serial remote's own commands, "LINE k",
// "SLIDE n", "BLACK", "WHITE 2", "SHOW". Empty for a state request.
QString queueText(const Command &command);

// Splits a byte stream into lines ended by LF, CR LF, CR, LF CR or NUL; empty lines are
// dropped. A line longer than maxLine is dropped whole and counted.
class LineSplitter
{
public:
    static constexpr qsizetype maxLine = 1024;
    QList<QByteArray> feed(const QByteArray &bytes);
    int overlong() const { return m_overlong; }

private:
    QByteArray m_line;
    bool m_skipping = false;
    int m_overlong = 0;
};

// Makes a retried command run once: a sequence number a client used within the window
// before is a repeat. Bounded memory whatever the clients send.
class SequenceFilter
{
public:
    static constexpr qint64 windowMs = 2000;
    static constexpr std::size_t maxRemembered = 4096;
    bool isRepeat(const QString &client, qint64 sequence, qint64 nowMs);

private:
    struct Seen
    {
        QString key;
        qint64 at;
    };
    std::deque<Seen> m_order;
    QHash<QString, qint64> m_seen;
};

// One field of a controller's state, named as the remotes see it ("line", "screen1/slide").
struct StateField
{
    QString key;
    QVariant value; // int, bool or string
};
using State = QList<StateField>;

QString oscPrefix(Program program);
// "STATE revision=R key=value ..." on one line; texts quoted, line ends shown as " | ".
QByteArray stateText(const State &state, qint64 revision);
// One message per field, "/corvane/state/<key> value", the revision first.
QList<QByteArray> stateOsc(Program program, const State &state, qint64 revision);
// {"type":"state","revision":R, ...}, "screen1/slide" nested as screen1.slide.
QJsonObject stateJson(const State &state, qint64 revision);

// Compares without leaking where two tokens differ through timing.
bool sameToken(const QString &given, const QString &expected);

// The user owning a loopback socket in a /proc/net/tcp or /proc/net/udp table. For TCP the
// row whose local end is the peer and remote end is us; for UDP the row bound to the peer's
// port. ipv4 in host order as QHostAddress gives it. Nothing when the socket is gone.
std::optional<unsigned> uidInProcNetTable(const QByteArray &table, quint32 peerIpv4,
                                          quint16 peerPort, std::optional<quint32> ourIpv4,
                                          std::optional<quint16> ourPort);

} // namespace remote
