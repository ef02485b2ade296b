// The network remote's pure rules: OSC packets and stream framing, line splitting, command
// reading for each program, repeats by sequence number, state rendering, peer ownership.

#include "platform/settings_format.h"
#include "remote_control/commands.h"
#include "remote_control/osc.h"
#include "remote_control/remote_server.h"
#include "remote_control/remote_settings.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace remote;

namespace {

// What a message turns into: the queue text, "STATE", "" for silently ignored, or
// "refused" for a refusal; then the sequence number and token when given.
QString outcome(const Parsed &parsed)
{
    if (!parsed.command) {
        return parsed.refusal.isEmpty() ? QString() : QStringLiteral("refused");
    }
    QString text = parsed.command->action == Action::State ? QStringLiteral("STATE")
                                                           : queueText(*parsed.command);
    if (parsed.command->sequence) {
        text += QStringLiteral(" #%1").arg(*parsed.command->sequence);
    }
    if (parsed.command->token) {
        text += QStringLiteral(" @") + *parsed.command->token;
    }
    return text;
}

QByteArray lengthPrefixed(const QByteArray &packet)
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(packet.size()), out.data());
    return out + packet;
}

} // namespace

class TestRemoteRules : public QObject
{
    Q_OBJECT

private slots:
    void textCommands_data()
    {
        QTest::addColumn<int>("program");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        const int corvane = int(Program::Corvane), kestro = int(Program::Kestro);
        QTest::newRow("N") << corvane << "N"
                           << "N";
        QTest::newRow("lower case") << corvane << "n"
                                    << "N";
        QTest::newRow("screen 2 back") << corvane << "2p"
                                       << "2P";
        QTest::newRow("screen 4") << corvane << "4N"
                                  << "refused";
        QTest::newRow("line") << corvane << "line 7"
                              << "LINE 7";
        QTest::newRow("line 0") << corvane << "LINE 0"
                                << "refused";
        QTest::newRow("line without number") << corvane << "LINE"
                                             << "refused";
        QTest::newRow("line past 16 bits") << corvane << "LINE 40000"
                                           << "refused";
        QTest::newRow("state") << corvane << "state"
                               << "STATE";
        QTest::newRow("seq and token") << corvane << "N seq=12 token=Ab1"
                                       << "N #12 @Ab1";
        QTest::newRow("bad seq") << corvane << "N seq=x"
                                 << "refused";
        QTest::newRow("stray word") << corvane << "N now"
                                    << "refused";
        QTest::newRow("slide is Kestro's") << corvane << "SLIDE 3"
                                           << "refused";
        QTest::newRow("kestro slide") << kestro << "slide 3 seq=4"
                                      << "SLIDE 3 #4";
        QTest::newRow("kestro screen") << kestro << "1N"
                                       << "refused";
        QTest::newRow("kestro line") << kestro << "LINE 2"
                                     << "refused";
        QTest::newRow("junk") << kestro << "\x01\x02zz"
                              << "refused";
        // Blanks are set-states for one screen or, without a number, for all.
        QTest::newRow("black all") << corvane << "black"
                                   << "BLACK";
        QTest::newRow("white 2") << corvane << "WHITE 2 seq=5"
                                 << "WHITE 2 #5";
        QTest::newRow("show 3") << corvane << "Show 3"
                                << "SHOW 3";
        QTest::newRow("black 4") << corvane << "BLACK 4"
                                 << "refused";
        QTest::newRow("black 0") << corvane << "BLACK 0"
                                 << "refused";
        QTest::newRow("black word") << corvane << "BLACK two"
                                    << "refused";
        QTest::newRow("toggle is no command") << corvane << "TOGGLE BLACK"
                                              << "refused";
        QTest::newRow("kestro black") << kestro << "BLACK token=t"
                                      << "BLACK @t";
        QTest::newRow("kestro has one screen") << kestro << "WHITE 1"
                                               << "refused";
    }
    void textCommands()
    {
        QFETCH(int, program);
        QFETCH(QString, line);
        QFETCH(QString, expected);
        QCOMPARE(outcome(parseTextCommand(Program(program), line)), expected);
    }

    void oscCommands_data()
    {
        QTest::addColumn<int>("program");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");
        const int corvane = int(Program::Corvane), kestro = int(Program::Kestro);
        QTest::newRow("next") << corvane << "/corvane/next" << QVariantList{} << "N";
        QTest::newRow("any case") << corvane << "/Corvane/Previous" << QVariantList{} << "P";
        QTest::newRow("press") << corvane << "/corvane/next" << QVariantList{1} << "N";
        QTest::newRow("release") << corvane << "/corvane/next" << QVariantList{0} << "";
        QTest::newRow("screen") << corvane << "/corvane/screen/3/previous" << QVariantList{}
                                << "3P";
        QTest::newRow("screen 0") << corvane << "/corvane/screen/0/next" << QVariantList{}
                                  << "refused";
        QTest::newRow("line int") << corvane << "/corvane/line" << QVariantList{5} << "LINE 5";
        QTest::newRow("line float") << corvane << "/corvane/line" << QVariantList{5.0} << "LINE 5";
        QTest::newRow("line text") << corvane << "/corvane/line" << QVariantList{"6"} << "LINE 6";
        QTest::newRow("line fraction")
            << corvane << "/corvane/line" << QVariantList{2.5} << "refused";
        QTest::newRow("line no argument")
            << corvane << "/corvane/line" << QVariantList{} << "refused";
        QTest::newRow("seq") << corvane << "/corvane/next" << QVariantList{"seq=9", "token=t"}
                             << "N #9 @t";
        QTest::newRow("stray int")
            << corvane << "/corvane/state" << QVariantList{1, 2} << "refused";
        QTest::newRow("other program") << corvane << "/kestro/next" << QVariantList{} << "refused";
        QTest::newRow("kestro slide")
            << kestro << "/kestro/slide" << QVariantList{12} << "SLIDE 12";
        QTest::newRow("kestro state") << kestro << "/kestro/state" << QVariantList{} << "STATE";
        QTest::newRow("black all") << corvane << "/corvane/black" << QVariantList{} << "BLACK";
        QTest::newRow("screen white")
            << corvane << "/corvane/screen/2/white" << QVariantList{1} << "WHITE 2";
        QTest::newRow("screen show")
            << corvane << "/corvane/screen/3/show" << QVariantList{} << "SHOW 3";
        QTest::newRow("blank release")
            << corvane << "/corvane/screen/1/black" << QVariantList{0} << "";
        QTest::newRow("screen 4 black")
            << corvane << "/corvane/screen/4/black" << QVariantList{} << "refused";
        QTest::newRow("kestro white") << kestro << "/kestro/white" << QVariantList{} << "WHITE";
        QTest::newRow("kestro screen black")
            << kestro << "/kestro/screen/1/black" << QVariantList{} << "refused";
    }
    void oscCommands()
    {
        QFETCH(int, program);
        QFETCH(QString, address);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        QString error;
        const QList<OscMessage> messages =
            decodeOscPacket(encodeOscMessage(address, arguments), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(outcome(parseOscCommand(Program(program), messages.first())), expected);
    }

    void jsonCommands_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected");
        QTest::newRow("next") << QByteArray(R"({"command":"next","seq":3})") << "N #3";
        QTest::newRow("text form") << QByteArray(R"({"command":"2n"})") << "2N";
        QTest::newRow("screen") << QByteArray(R"({"command":"screen/1/previous"})") << "1P";
        QTest::newRow("line") << QByteArray(R"({"command":"line","value":4,"token":"x"})")
                              << "LINE 4 @x";
        QTest::newRow("line as text")
            << QByteArray(R"({"command":"line","value":"4"})") << "LINE 4";
        QTest::newRow("no value") << QByteArray(R"({"command":"line"})") << "refused";
        QTest::newRow("array") << QByteArray(R"(["next"])") << "refused";
        QTest::newRow("broken") << QByteArray(R"({"command":)") << "refused";
    }
    void jsonCommands()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        QCOMPARE(outcome(parseJsonCommand(Program::Corvane, json)), expected);
    }

    void jsonBlanks_data()
    {
        QTest::addColumn<int>("program");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected");
        const int corvane = int(Program::Corvane), kestro = int(Program::Kestro);
        QTest::newRow("black 2") << corvane << QByteArray(R"({"command":"black","screen":2})")
                                 << "BLACK 2";
        QTest::newRow("white all") << corvane << QByteArray(R"({"command":"white"})") << "WHITE";
        QTest::newRow("show as path")
            << corvane << QByteArray(R"({"command":"screen/3/show"})") << "SHOW 3";
        QTest::newRow("path and same screen")
            << corvane << QByteArray(R"({"command":"screen/3/show","screen":3})") << "SHOW 3";
        QTest::newRow("path and other screen")
            << corvane << QByteArray(R"({"command":"screen/3/show","screen":1})") << "refused";
        QTest::newRow("screen 5") << corvane << QByteArray(R"({"command":"black","screen":5})")
                                  << "refused";
        QTest::newRow("screen text")
            << corvane << QByteArray(R"({"command":"black","screen":"x"})") << "refused";
        QTest::newRow("kestro black") << kestro << QByteArray(R"({"command":"black"})") << "BLACK";
        QTest::newRow("kestro screen")
            << kestro << QByteArray(R"({"command":"black","screen":1})") << "refused";
    }
    void jsonBlanks()
    {
        QFETCH(int, program);
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        QCOMPARE(outcome(parseJsonCommand(Program(program), json)), expected);
    }

    void malformedOscIsRefused_data()
    {
        QTest::addColumn<QByteArray>("packet");
        const QByteArray good = encodeOscMessage(QStringLiteral("/corvane/line"), {3});
        QTest::newRow("truncated argument") << good.left(good.size() - 2);
        QTest::newRow("truncated address") << QByteArray("/corv");
        QTest::newRow("unknown type") << QByteArray("/a\0\0,q\0\0", 8);
        QTest::newRow("not padded") << QByteArray("/a\0,i\0\0\0\0\0\0\1", 12);
        QTest::newRow("binary junk") << QByteArray("\xff\x00\x13\x37", 4);
        QTest::newRow("bundle element too long")
            << QByteArray("#bundle\0\0\0\0\0\0\0\0\1\0\0\0\x40/a\0\0", 24);
    }
    void malformedOscIsRefused()
    {
        QFETCH(QByteArray, packet);
        QString error;
        QVERIFY(decodeOscPacket(packet, &error).isEmpty());
        QVERIFY(!error.isEmpty());
    }

    void bundleCarriesEachMessage()
    {
        const QByteArray one = encodeOscMessage(QStringLiteral("/corvane/next"), {});
        const QByteArray two =
            encodeOscMessage(QStringLiteral("/corvane/line"), {QStringLiteral("2")});
        QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
        bundle += lengthPrefixed(one) + lengthPrefixed(two);
        QString error;
        const QList<OscMessage> messages = decodeOscPacket(bundle, &error);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(1).address, QStringLiteral("/corvane/line"));
        QCOMPARE(messages.at(1).arguments, QList<QVariant>{QStringLiteral("2")});
    }

    // Each framing is recognised from the first byte, whatever sizes the stream arrives in.
    void streamFraming_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("framing");
        const QByteArray a = encodeOscMessage(QStringLiteral("/corvane/next"), {});
        // A byte that SLIP must escape, inside a string.
        const QByteArray b =
            encodeOscMessage(QStringLiteral("/corvane/line"), {QString::fromLatin1("\xc0\xdb")});
        QTest::newRow("SLIP") << slipEncode(a) + slipEncode(b)
                              << int(OscStreamReader::Framing::Slip);
        QTest::newRow("length") << lengthPrefixed(a) + lengthPrefixed(b)
                                << int(OscStreamReader::Framing::LengthPrefixed);
        QTest::newRow("bare") << a + b << int(OscStreamReader::Framing::Bare);
    }
    void streamFraming()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, framing);
        for (const int chunk : {1, 3, 1000}) {
            OscStreamReader reader;
            QList<QByteArray> packets;
            for (qsizetype i = 0; i < stream.size(); i += chunk) {
                QVERIFY(reader.feed(stream.mid(i, chunk), &packets));
            }
            QCOMPARE(int(reader.framing()), framing);
            QCOMPARE(packets.size(), 2);
            QString error;
            const QList<OscMessage> second = decodeOscPacket(packets.at(1), &error);
            QCOMPARE(second.size(), 1);
            QCOMPARE(second.first().arguments.first().toString().toLatin1(),
                     QByteArray("\xc0\xdb"));
            // Replies go back in the client's own framing.
            QList<QByteArray> echoed;
            OscStreamReader again;
            QVERIFY(again.feed(reader.frame(packets.first()), &echoed));
            QCOMPARE(echoed, QList<QByteArray>{packets.first()});
        }
    }

    void unusableStreamsAreCutOff_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("text") << QByteArray("N\r\n");
        QTest::newRow("length over 64 KiB") << QByteArray("\x00\x10\x00\x00", 4);
        QTest::newRow("bare junk after a message")
            << encodeOscMessage(QStringLiteral("/a"), {}) + QByteArray("zzzz");
        QTest::newRow("SLIP packet over 64 KiB") << QByteArray(1, '\xc0') + QByteArray(70000, 'x');
    }
    void unusableStreamsAreCutOff()
    {
        QFETCH(QByteArray, stream);
        OscStreamReader reader;
        QList<QByteArray> packets;
        QVERIFY(!reader.feed(stream, &packets));
        QVERIFY(!reader.feed(QByteArray("/a\0\0", 4), &packets));
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("LF") << QByteArray("N\n2N\n");
        QTest::newRow("CRLF") << QByteArray("N\r\n2N\r\n");
        QTest::newRow("CR") << QByteArray("N\r2N\r");
        QTest::newRow("LFCR") << QByteArray("N\n\r2N\n\r");
        QTest::newRow("NUL") << QByteArray("N\0"
                                           "2N\0",
                                           6);
        QTest::newRow("mixed") << QByteArray("N\r\n\n\r2N\0", 8);
    }
    void lineEnds()
    {
        QFETCH(QByteArray, stream);
        for (const int chunk : {1, 100}) {
            LineSplitter splitter;
            QList<QByteArray> lines;
            for (qsizetype i = 0; i < stream.size(); i += chunk) {
                lines += splitter.feed(stream.mid(i, chunk));
            }
            QCOMPARE(lines, (QList<QByteArray>{"N", "2N"}));
        }
    }

    void overlongLineIsDroppedWhole()
    {
        LineSplitter splitter;
        QList<QByteArray> lines = splitter.feed(QByteArray(10 * 1024 * 1024, 'N'));
        lines += splitter.feed("N\nP\n");
        QCOMPARE(lines, QList<QByteArray>{"P"});
        QCOMPARE(splitter.overlong(), 1);
    }

    void repeatsWithinTwoSecondsRunOnce()
    {
        SequenceFilter filter;
        QVERIFY(!filter.isRepeat("a", 1, 0));
        QVERIFY(filter.isRepeat("a", 1, 1999));
        QVERIFY(!filter.isRepeat("b", 1, 1999)); // another client
        QVERIFY(!filter.isRepeat("a", 2, 2000));
        QVERIFY(!filter.isRepeat("a", 1, 4100)); // long after: a new press
        // A client cycling through many numbers keeps the memory bounded, and still works.
        for (qint64 i = 0; i < 100000; ++i) {
            filter.isRepeat("c", i, 5000);
        }
        QVERIFY(!filter.isRepeat("a", 7, 5000));
        QVERIFY(filter.isRepeat("a", 7, 5001));
    }

    void stateForEachTransport()
    {
        const State state{
            {QStringLiteral("line"), 3},
            {QStringLiteral("current"), QStringLiteral("Advance Screen 1 to Slide 2\r\n \"x\"")},
            {QStringLiteral("screen1/slide"), 2},
            {QStringLiteral("screen1/running"), true}};
        QCOMPARE(
            stateText(state, 7),
            QByteArray(
                R"(STATE revision=7 line=3 current="Advance Screen 1 to Slide 2 |  'x'" screen1/slide=2 screen1/running=1)"));
        const QJsonObject json = stateJson(state, 7);
        QCOMPARE(json.value("revision").toInt(), 7);
        QCOMPARE(json.value("screen1").toObject().value("slide").toInt(), 2);
        QCOMPARE(json.value("screen1").toObject().value("running").toBool(), true);
        const QList<QByteArray> osc = stateOsc(Program::Corvane, state, 7);
        QCOMPARE(osc.size(), 5);
        QString error;
        const OscMessage running = decodeOscPacket(osc.last(), &error).first();
        QCOMPARE(running.address, QStringLiteral("/corvane/state/screen1/running"));
        QCOMPARE(running.arguments, QList<QVariant>{qint64(1)}); // a number: OSC feedback wants one
    }

    void tokens()
    {
        QVERIFY(sameToken("s3cret", "s3cret"));
        QVERIFY(!sameToken("s3cre", "s3cret"));
        QVERIFY(!sameToken("s3creT", "s3cret"));
        QVERIFY(!sameToken("", "")); // an unset token lets nobody in
        QCOMPARE(RemoteServer::slowdownMs(1), 1000);
        QCOMPARE(RemoteServer::slowdownMs(3), 4000);
        QCOMPARE(RemoteServer::slowdownMs(50), 60000);
    }

    // The [Remote] group as an operator writes it by hand; what is malformed keeps the default.
    void settingsFile()
    {
        QTemporaryDir config;
        QSettings::setPath(platform::settingsFormat(), QSettings::UserScope, config.path());
        const QString fileName =
            QSettings(platform::settingsFormat(), QSettings::UserScope, "Kestro", "Kestro")
                .fileName();
        QVERIFY(fileName.startsWith(config.path()));
        QDir().mkpath(QFileInfo(fileName).path());
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Remote]\nOscPort=9000\nTextPort=none\nWebSocketPort=0\nOscFeedbackPort=52515\n"
                   "Interfaces=eth0, 192.168.1.20\nControlToken=ab=c d\n");
        file.close();
        const RemoteSettings settings = readSettings(QStringLiteral("Kestro"));
        QVERIFY(settings.enabled);
        QCOMPARE(settings.oscPort, 9000);
        QCOMPARE(settings.textPort, defaultSettings(QStringLiteral("Kestro")).textPort);
        QCOMPARE(settings.webSocketPort, 0); // off
        QCOMPARE(settings.oscFeedbackPort, 52515);
        QCOMPARE(settings.interfaces, (QStringList{"eth0", "192.168.1.20"}));
        QCOMPARE(settings.controlToken, QStringLiteral("ab=c d"));
        QVERIFY(settings.viewToken.isEmpty());
        // Each program has ports of its own, so all three can run on one machine.
        QCOMPARE(defaultSettings(QStringLiteral("Corvane")).oscPort, 52510);
        QCOMPARE(defaultSettings(QStringLiteral("Kestrokiosk")).oscPort, 52530);
    }

    void loopbackPeerOwner()
    {
        // 127.0.0.1:40000 -> 127.0.0.1:52511 belongs to uid 1000; its listener to uid 0.
        const QByteArray tcp = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                               "retrnsmt   uid  timeout inode\n"
                               "   0: 0100007F:CD5F 00000000:0000 0A 00000000:00000000 00:00000000 "
                               "00000000     0        0 1 1\n"
                               "   1: 0100007F:9C40 0100007F:CD5F 01 00000000:00000000 00:00000000 "
                               "00000000  1000        0 2 1\n";
        const quint32 loopback = 0x7F000001;
        QCOMPARE(uidInProcNetTable(tcp, loopback, 40000, loopback, 52575),
                 std::optional<unsigned>(1000));
        QCOMPARE(uidInProcNetTable(tcp, loopback, 40001, loopback, 52575), std::nullopt);
        // A UDP sender bound to any address is still found by its port.
        const QByteArray udp = "   sl  local_address rem_address   st tx_queue rx_queue tr "
                               "tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
                               "  5: 00000000:D431 00000000:0000 07 00000000:00000000 00:00000000 "
                               "00000000   105        0 3 2 0 0\n";
        QCOMPARE(uidInProcNetTable(udp, loopback, 54321, std::nullopt, std::nullopt),
                 std::optional<unsigned>(105));
    }
};

QTEST_GUILESS_MAIN(TestRemoteRules)
#include "tst_remote_rules.moc"
