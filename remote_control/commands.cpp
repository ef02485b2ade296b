#include "commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QtEndian>

namespace remote {

namespace {

// The largest script line or slide number a remote may name.
constexpr qint64 maxNumber = 32767;

Parsed refused(const QString &why)
{
    return Parsed{std::nullopt, why};
}

bool takesAction(Program program, Action action)
{
    switch (action) {
    case Action::Next:
    case Action::Previous:
    case Action::State:
    case Action::Follow:
    case Action::Report:
    case Action::Black:
    case Action::White:
    case Action::Show:
        return true;
    case Action::ScreenNext:
    case Action::ScreenPrevious:
    case Action::Line:
        return program == Program::Corvane;
    case Action::Slide:
        return program == Program::Kestro;
    }
    return false;
}

bool needsNumber(Action action)
{
    return action == Action::Line || action == Action::Slide;
}

bool isBlank(Action action)
{
    return action == Action::Black || action == Action::White || action == Action::Show;
}

std::optional<Action> blankAction(const QString &word)
{
    const QString lower = word.toLower();
    if (lower == QLatin1String("black")) {
        return Action::Black;
    }
    if (lower == QLatin1String("white")) {
        return Action::White;
    }
    if (lower == QLatin1String("show")) {
        return Action::Show;
    }
    return std::nullopt;
}

// A whole number from text, an int or a whole float.
std::optional<qint64> wholeNumber(const QVariant &value)
{
    bool ok = false;
    if (value.typeId() == QMetaType::QString) {
        const qint64 number = value.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional(number) : std::nullopt;
    }
    if (value.typeId() == QMetaType::Double) {
        const double number = value.toDouble();
        if (number != qint64(number)) {
            return std::nullopt;
        }
        return qint64(number);
    }
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
        return value.toLongLong();
    }
    return std::nullopt;
}

// "seq=N" or "token=T"; false when the word is neither.
bool takeOption(const QString &word, Command *command, QString *refusal)
{
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        return false;
    }
    const QString key = word.left(equals).toLower();
    const QString value = word.mid(equals + 1);
    if (key == QLatin1String("token")) {
        command->token = value;
        return true;
    }
    if (key == QLatin1String("seq")) {
        bool ok = false;
        const qint64 sequence = value.toLongLong(&ok);
        if (!ok) {
            *refusal = QStringLiteral("seq is not a whole number");
        }
        command->sequence = sequence;
        return true;
    }
    return false;
}

// Action names shared by OSC addresses and JSON: "next", "screen/2/previous", ...
std::optional<Command> namedAction(const QString &name)
{
    static const QRegularExpression screen(
        QStringLiteral("^screen/([123])/(next|previous|black|white|show)$"));
    Command command;
    if (const std::optional<Action> blank = blankAction(name)) {
        command.action = *blank;
    } else if (name == QLatin1String("next")) {
        command.action = Action::Next;
    } else if (name == QLatin1String("previous")) {
        command.action = Action::Previous;
    } else if (name == QLatin1String("line")) {
        command.action = Action::Line;
    } else if (name == QLatin1String("slide")) {
        command.action = Action::Slide;
    } else if (name == QLatin1String("state")) {
        command.action = Action::State;
    } else if (name == QLatin1String("follow")) {
        command.action = Action::Follow;
    } else if (const QRegularExpressionMatch match = screen.match(name); match.hasMatch()) {
        const QString verb = match.captured(2);
        if (const std::optional<Action> blank = blankAction(verb)) {
            command.action = *blank;
        } else {
            command.action =
                verb == QLatin1String("next") ? Action::ScreenNext : Action::ScreenPrevious;
        }
        command.number = match.captured(1).toInt();
    } else {
        return std::nullopt;
    }
    return command;
}

// The serial remote's words and LINE, SLIDE, STATE.
std::optional<Command> textAction(const QString &word)
{
    static const QRegularExpression screen(QStringLiteral("^([123])([NP])$"));
    Command command;
    if (const std::optional<Action> blank = blankAction(word)) {
        command.action = *blank;
    } else if (word == QLatin1String("N")) {
        command.action = Action::Next;
    } else if (word == QLatin1String("P")) {
        command.action = Action::Previous;
    } else if (word == QLatin1String("LINE")) {
        command.action = Action::Line;
    } else if (word == QLatin1String("SLIDE")) {
        command.action = Action::Slide;
    } else if (word == QLatin1String("STATE")) {
        command.action = Action::State;
    } else if (word == QLatin1String("FOLLOW")) {
        command.action = Action::Follow;
    } else if (const QRegularExpressionMatch match = screen.match(word); match.hasMatch()) {
        command.action =
            match.captured(2) == QLatin1String("N") ? Action::ScreenNext : Action::ScreenPrevious;
        command.number = match.captured(1).toInt();
    } else {
        return std::nullopt;
    }
    return command;
}

Parsed checked(Program program, Command command, const QString &name)
{
    if (!takesAction(program, command.action)) {
        return refused(QStringLiteral("unknown command %1").arg(name));
    }
    if (needsNumber(command.action) && (command.number < 1 || command.number > maxNumber)) {
        return refused(QStringLiteral("%1 needs a number from 1 to %2").arg(name).arg(maxNumber));
    }
    if (isBlank(command.action)) {
        const int screens = program == Program::Corvane ? 3 : 0;
        if (command.number < 0 || command.number > screens) {
            return refused(
                screens == 0
                    ? QStringLiteral("%1 takes no screen").arg(name)
                    : QStringLiteral("%1 takes a screen from 1 to %2").arg(name).arg(screens));
        }
    }
    return Parsed{command, {}};
}

QString quotedText(const QString &text)
{
    QString flat = text.trimmed();
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
    flat.replace(QLatin1Char('\r'), QStringLiteral(" | "));
    flat.replace(QLatin1Char('\n'), QStringLiteral(" | "));
    flat.replace(QLatin1Char('"'), QLatin1Char('\''));
    flat.remove(QChar(0));
    return QLatin1Char('"') + flat.trimmed() + QLatin1Char('"');
}

QString renderedValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    }
    if (value.typeId() == QMetaType::QString) {
        return quotedText(value.toString());
    }
    return value.toString();
}

} // namespace

Parsed parseTextCommand(Program program, const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return refused(QStringLiteral("empty command"));
    }
    const QString name = words.first().toUpper();
    std::optional<Command> command = textAction(name);
    if (!command) {
        return refused(QStringLiteral("unknown command %1").arg(words.first().left(40)));
    }
    QString refusal;
    qsizetype next = 1;
    if (needsNumber(command->action)) {
        bool ok = false;
        command->number = next < words.size() ? words.at(next).toInt(&ok) : 0;
        if (!ok) {
            command->number = 0;
        }
        ++next;
    } else if (isBlank(command->action) && next < words.size() && !words.at(next).contains('=')) {
        // The screen is optional: none means all of them.
        bool ok = false;
        command->number = words.at(next).toInt(&ok);
        if (command->number == 0) {
            command->number = -1; // "BLACK 0" names no screen; all is said by no number
        }
        if (!ok) {
            return refused(QStringLiteral("%1 takes a screen number, not %2")
                               .arg(name, words.at(next).left(40)));
        }
        ++next;
    }
    for (; next < words.size(); ++next) {
        if (!takeOption(words.at(next), &*command, &refusal)) {
            return refused(QStringLiteral("%1 takes no %2").arg(name, words.at(next).left(40)));
        }
    }
    if (!refusal.isEmpty()) {
        return refused(refusal);
    }
    return checked(program, *command, name);
}

Parsed parseOscCommand(Program program, const OscMessage &message)
{
    const QString address = message.address.toLower();
    const QString prefix = oscPrefix(program) + QLatin1Char('/');
    std::optional<Command> command;
    if (address.startsWith(prefix)) {
        command = namedAction(address.mid(prefix.size()));
    }
    if (!command) {
        return refused(QStringLiteral("unknown address %1").arg(message.address.left(60)));
    }
    QList<QVariant> arguments = message.arguments;
    if (needsNumber(command->action)) {
        const std::optional<qint64> number =
            arguments.isEmpty() ? std::nullopt : wholeNumber(arguments.takeFirst());
        command->number = number && *number >= 1 && *number <= maxNumber ? int(*number) : 0;
    } else if (!arguments.isEmpty() && arguments.first().typeId() != QMetaType::QString) {
        // A button that sends 1 on press and 0 on release presses once.
        const QVariant state = arguments.takeFirst();
        if (state.isValid() && !state.toBool()) {
            return Parsed{};
        }
    }
    QString refusal;
    for (const QVariant &argument : arguments) {
        if (argument.typeId() != QMetaType::QString ||
            !takeOption(argument.toString(), &*command, &refusal)) {
            return refused(QStringLiteral("%1 takes no argument %2")
                               .arg(message.address.left(60), argument.toString().left(40)));
        }
    }
    if (!refusal.isEmpty()) {
        return refused(refusal);
    }
    return checked(program, *command, message.address.left(60));
}

Parsed parseJsonCommand(Program program, const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isObject()) {
        return refused(QStringLiteral("not a JSON object"));
    }
    const QJsonObject object = document.object();
    const QString name = object.value(QStringLiteral("command")).toString();
    std::optional<Command> command = namedAction(name.toLower());
    if (!command && name.toLower() == QLatin1String("follower")) {
        command = Command{};
        command->action = Action::Report;
        command->text = object.value(QStringLiteral("value")).toString().left(80);
    }
    if (!command) {
        command = textAction(name.toUpper());
    }
    if (!command) {
        return refused(QStringLiteral("unknown command %1").arg(name.left(40)));
    }
    if (needsNumber(command->action)) {
        const std::optional<qint64> number =
            wholeNumber(object.value(QStringLiteral("value")).toVariant());
        command->number = number && *number >= 1 && *number <= maxNumber ? int(*number) : 0;
    }
    if (isBlank(command->action) && object.contains(QStringLiteral("screen"))) {
        const std::optional<qint64> screen =
            wholeNumber(object.value(QStringLiteral("screen")).toVariant());
        if (!screen || (command->number != 0 && *screen != command->number)) {
            return refused(
                QStringLiteral("%1: the screen is not a number from 1 to 3").arg(name.left(40)));
        }
        command->number = *screen >= 0 && *screen <= 3 ? int(*screen) : -1;
    }
    if (object.contains(QStringLiteral("seq"))) {
        const std::optional<qint64> sequence =
            wholeNumber(object.value(QStringLiteral("seq")).toVariant());
        if (!sequence) {
            return refused(QStringLiteral("seq is not a whole number"));
        }
        command->sequence = sequence;
    }
    if (object.contains(QStringLiteral("token"))) {
        command->token = object.value(QStringLiteral("token")).toString();
    }
    return checked(program, *command, name.left(40));
}

QString queueText(const Command &command)
{
    switch (command.action) {
    case Action::Next:
        return QStringLiteral("N");
    case Action::Previous:
        return QStringLiteral("P");
    case Action::ScreenNext:
        return QStringLiteral("%1N").arg(command.number);
    case Action::ScreenPrevious:
        return QStringLiteral("%1P").arg(command.number);
    case Action::Line:
        return QStringLiteral("LINE %1").arg(command.number);
    case Action::Slide:
        return QStringLiteral("SLIDE %1").arg(command.number);
    case Action::Follow:
        return QStringLiteral("FOLLOW");
    case Action::Black:
    case Action::White:
    case Action::Show: {
        const QString word = command.action == Action::Black   ? QStringLiteral("BLACK")
                             : command.action == Action::White ? QStringLiteral("WHITE")
                                                               : QStringLiteral("SHOW");
        return command.number > 0 ? QStringLiteral("%1 %2").arg(word).arg(command.number) : word;
    }
    case Action::State:
    case Action::Report:
        break;
    }
    return {};
}

QList<QByteArray> LineSplitter::feed(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    for (const char byte : bytes) {
        if (byte == '\n' || byte == '\r' || byte == '\0') {
            if (!m_skipping && !m_line.isEmpty()) {
                lines.append(m_line);
            }
            m_line.clear();
            m_skipping = false;
            continue;
        }
        if (m_skipping) {
            continue;
        }
        if (m_line.size() >= maxLine) {
            m_line.clear();
            m_skipping = true;
            ++m_overlong;
            continue;
        }
        m_line += byte;
    }
    return lines;
}

bool SequenceFilter::isRepeat(const QString &client, qint64 sequence, qint64 nowMs)
{
    while (!m_order.empty() &&
           (nowMs - m_order.front().at > windowMs || m_order.size() >= maxRemembered)) {
        const auto found = m_seen.constFind(m_order.front().key);
        if (found != m_seen.cend() && found.value() == m_order.front().at) {
            m_seen.erase(found);
        }
        m_order.pop_front();
    }
    const QString key = client + QLatin1Char('#') + QString::number(sequence);
    const auto found = m_seen.constFind(key);
    if (found != m_seen.cend() && nowMs - found.value() <= windowMs) {
        return true;
    }
    m_seen.insert(key, nowMs);
    m_order.push_back({key, nowMs});
    return false;
}

QString oscPrefix(Program program)
{
    return program == Program::Corvane ? QStringLiteral("/corvane") : QStringLiteral("/kestro");
}

QByteArray stateText(const State &state, qint64 revision)
{
    QString line = QStringLiteral("STATE revision=%1").arg(revision);
    for (const StateField &field : state) {
        line += QLatin1Char(' ') + field.key + QLatin1Char('=') + renderedValue(field.value);
    }
    return line.toUtf8();
}

QList<QByteArray> stateOsc(Program program, const State &state, qint64 revision)
{
    const QString prefix = oscPrefix(program) + QStringLiteral("/state/");
    QList<QByteArray> messages{
        encodeOscMessage(prefix + QStringLiteral("revision"), {QVariant(revision)})};
    for (const StateField &field : state) {
        // Feedback wants numbers: a flag goes as 0 or 1.
        const QVariant value = field.value.typeId() == QMetaType::Bool
                                   ? QVariant(field.value.toBool() ? 1 : 0)
                                   : field.value;
        messages.append(encodeOscMessage(prefix + field.key, {value}));
    }
    return messages;
}

QJsonObject stateJson(const State &state, qint64 revision)
{
    QJsonObject object{{QStringLiteral("type"), QStringLiteral("state")},
                       {QStringLiteral("revision"), revision}};
    for (const StateField &field : state) {
        const qsizetype slash = field.key.indexOf(QLatin1Char('/'));
        const QJsonValue value = QJsonValue::fromVariant(field.value);
        if (slash < 0) {
            object.insert(field.key, value);
            continue;
        }
        const QString outer = field.key.left(slash);
        QJsonObject inner = object.value(outer).toObject();
        inner.insert(field.key.mid(slash + 1), value);
        object.insert(outer, inner);
    }
    return object;
}

bool sameToken(const QString &given, const QString &expected)
{
    const QByteArray a = given.toUtf8();
    const QByteArray b = expected.toUtf8();
    unsigned difference = unsigned(a.size() ^ b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        difference |= unsigned(quint8(a.at(i)) ^ quint8(b.isEmpty() ? 0 : b.at(i % b.size())));
    }
    return difference == 0 && !expected.isEmpty();
}

std::optional<unsigned> uidInProcNetTable(const QByteArray &table, quint32 peerIpv4,
                                          quint16 peerPort, std::optional<quint32> ourIpv4,
                                          std::optional<quint16> ourPort)
{
    // The kernel prints the address as the bytes in network order read as one native word.
    const auto endpoint = [](quint32 ip, quint16 port) {
        return QStringLiteral("%1:%2")
            .arg(qToBigEndian(ip), 8, 16, QLatin1Char('0'))
            .arg(port, 4, 16, QLatin1Char('0'))
            .toUpper()
            .toLatin1();
    };
    const QByteArray peer = endpoint(peerIpv4, peerPort);
    const QByteArray anyPeer = endpoint(0, peerPort);
    const QByteArray us = ourIpv4 && ourPort ? endpoint(*ourIpv4, *ourPort) : QByteArray();
    const QList<QByteArray> rows = table.split('\n');
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> columns = rows.at(i).simplified().split(' ');
        if (columns.size() < 8) {
            continue;
        }
        const QByteArray local = columns.at(1).toUpper();
        if (local != peer && (!us.isEmpty() || local != anyPeer)) {
            continue;
        }
        if (!us.isEmpty() && columns.at(2).toUpper() != us) {
            continue;
        }
        // A closed connection waiting out its time belongs to nobody any more.
        if (columns.at(3) == "06") {
            continue;
        }
        bool ok = false;
        const unsigned uid = columns.at(7).toUInt(&ok);
        if (ok) {
            return uid;
        }
    }
    return std::nullopt;
}

} // namespace remote
