// Corvane's network remote over the loopback, driven by independent clients (oscsend,
// socat, Python's websockets): every transport steps the show through the remote queue, state
// reaches subscribers on change and on connect, repeats and strangers are refused.

#include "control_fixture.h"

#include "show_controller/corvane_remote.h"

#include "platform/testing/slow_calls.h"
#include "platform/testing/test_main.h"
#include "remote_control/osc.h"
#include "remote_control/tests/remote_test_support.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRegularExpression>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace remote::testing;

namespace {

QByteArray scriptOfSteps(int steps)
{
    QByteArray script = "0,1,1,1\r\n";
    for (int i = 1; i <= steps; ++i) {
        script += "1," + QByteArray::number(i + 1) + ",1,1\r\n";
    }
    return script;
}

// The go-to-slide calls made so far: what moved the screens, in order.
Calls gotoCalls(const ControlFixture &f)
{
    Calls gotos;
    for (const std::string &call : f.app.calls()) {
        if (call.rfind("GotoSlide(", 0) == 0) {
            gotos.push_back(call);
        }
    }
    return gotos;
}

std::string nextTo(int slide)
{
    return "GotoSlide(pres 1, " + std::to_string(slide) + ", -1)";
}

int fieldOf(const QString &stateLine, const QString &key)
{
    const QRegularExpression pattern(
        QStringLiteral("(?:^| )%1=(-?\\d+)").arg(QRegularExpression::escape(key)));
    const QRegularExpressionMatch match = pattern.match(stateLine);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

struct Show
{
    explicit Show(const remote::RemoteSettings &settings, bool guardCalls = false)
        : f(true, {}, guardCalls), remoteControl(*f.window, settings, logFile())
    {
        f.loadThree();
        f.loadScript(scriptOfSteps(20));
        f.app.setExportWritesFiles(false);
        f.window->LineNumber = 3; // one step taken: line 2 is on the screens
        f.app.clearCalls();
    }
    QString logFile() const { return f.path(QStringLiteral("remote.log")); }

    ControlFixture f;
    CorvaneRemote remoteControl;
};

} // namespace

class TestNetworkRemote : public QObject
{
    Q_OBJECT

    remote::RemoteSettings m_settings;

private slots:
    void initTestCase()
    {
        for (const char *tool : {"oscsend", "socat"}) {
            if (!haveTool(QLatin1String(tool))) {
                QSKIP("oscsend and socat are needed (tools/setup.sh --with-test-tools)");
            }
        }
    }

    void init()
    {
        m_settings = loopbackSettings();
        // oscsend closes its socket at once, so its owner cannot be looked up: it shows this.
        m_settings.controlToken = QStringLiteral("local-tool");
    }

    void eachTransportStepsTheShow_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::newRow("OSC over UDP") << "osc-udp";
        QTest::newRow("OSC over TCP, 4-byte length") << "osc-tcp";
        QTest::newRow("text over TCP") << "text-tcp";
        QTest::newRow("text over UDP") << "text-udp";
        QTest::newRow("WebSocket") << "websocket";
    }
    void eachTransportStepsTheShow()
    {
        QFETCH(QString, transport);
        Show show(m_settings);
        const QString osc = QString::number(m_settings.oscPort);
        const QString text = QString::number(m_settings.textPort);
        std::unique_ptr<LineClient> client;
        if (transport == QLatin1String("osc-udp")) {
            QVERIFY(oscsend({"127.0.0.1", osc, "/corvane/next", "s", "token=local-tool"}));
        } else if (transport == QLatin1String("osc-tcp")) {
            QVERIFY(
                oscsend({"osc.tcp://127.0.0.1:" + osc, "/corvane/next", "s", "token=local-tool"}));
        } else if (transport == QLatin1String("text-tcp")) {
            client =
                std::make_unique<LineClient>("socat", QStringList{"-", "TCP:127.0.0.1:" + text});
            QVERIFY(client->started());
            client->send("n\r\n");
        } else if (transport == QLatin1String("text-udp")) {
            client =
                std::make_unique<LineClient>("socat", QStringList{"-", "UDP:127.0.0.1:" + text});
            QVERIFY(client->started());
            client->send("N"); // one datagram is one command, no line end needed
        } else {
            client = webSocketClient(m_settings.webSocketPort);
            QVERIFY(client->started());
            QVERIFY(!client->waitFor(isState).isEmpty()); // connected
            client->send("{\"command\":\"next\"}\n");
        }
        QTRY_COMPARE_WITH_TIMEOUT(gotoCalls(show.f), Calls{nextTo(3)}, 15000);
        QCOMPARE(show.f.window->LineNumber, 4);
        if (client) {
            // The sender hears the step it caused.
            QVERIFY(!client
                         ->waitFor([](const QString &line) {
                             return fieldOf(line, "line") == 3 || line.contains("\"line\":3");
                         })
                         .isEmpty());
        }
    }

    // A client gets the whole state when it connects, every change after, and again when it
    // comes back.
    void stateOnConnectOnChangeAndOnReconnect()
    {
        Show show(m_settings);
        const QStringList address{"-", "TCP:127.0.0.1:" + QString::number(m_settings.textPort)};
        QString first;
        {
            LineClient client("socat", address);
            QVERIFY(client.started());
            // The test moved the position by hand; the remote sees it at its next look.
            first = client.waitFor([](const QString &l) { return fieldOf(l, "line") == 2; });
            QVERIFY2(!first.isEmpty(), qPrintable(client.lines().join('\n')));
            QCOMPARE(fieldOf(first, "lines"), 21);
            const qsizetype seen = client.count();
            show.f.click("cmdNextSlide"); // the operator's own press is reported too
            const QString changed =
                client.waitFor([](const QString &l) { return fieldOf(l, "line") == 3; }, seen);
            QVERIFY2(!changed.isEmpty(), qPrintable(client.lines().join('\n')));
            QVERIFY(fieldOf(changed, "revision") > fieldOf(first, "revision"));
            QCOMPARE(fieldOf(changed, "screen1/slide"), 3);
            QVERIFY(changed.contains(R"(current="Advance Screen 1 to Slide 3")"));
        }
        LineClient again("socat", address);
        QVERIFY(again.started());
        QCOMPARE(fieldOf(again.waitFor(isState), "line"), 3);
        // What the window does not record is asked of the presentation application.
        const QString probed = again.waitFor([](const QString &l) {
            return fieldOf(l, "screen3/slides") > 0 && fieldOf(l, "screen3/running") == 1 &&
                   fieldOf(l, "host") == 1;
        });
        QVERIFY2(!probed.isEmpty(), qPrintable(again.lines().join('\n')));
    }

    // Over UDP the sender is answered at its own port and stays subscribed: no setup needed
    // for feedback. Each state field is its own OSC message with one argument.
    void oscSenderIsAnsweredAndSubscribed()
    {
        Show show(m_settings);
        QUdpSocket companion;
        QVERIFY(companion.bind(QHostAddress::LocalHost, 0));
        QHash<QString, QVariant> fields;
        const auto collect = [&] {
            while (companion.hasPendingDatagrams()) {
                QString error;
                for (const remote::OscMessage &m :
                     remote::decodeOscPacket(companion.receiveDatagram().data(), &error)) {
                    QCOMPARE(m.arguments.size(), 1);
                    fields.insert(m.address, m.arguments.first());
                }
            }
        };
        companion.writeDatagram(remote::encodeOscMessage("/corvane/state", {}),
                                QHostAddress::LocalHost, m_settings.oscPort);
        QTRY_VERIFY_WITH_TIMEOUT((collect(), fields.value("/corvane/state/line").toInt() == 2),
                                 15000);
        QCOMPARE(fields.value("/corvane/state/screen2/slide").toInt(), 1);
        show.f.click("cmdNextSlide");
        QTRY_VERIFY_WITH_TIMEOUT((collect(), fields.value("/corvane/state/line").toInt() == 3),
                                 15000);
        QCOMPARE(fields.value("/corvane/state/screen1/slide").toInt(), 3);
    }

    // A retry with the same sequence number steps once; a new number steps again.
    void repeatedSequenceNumberStepsOnce()
    {
        Show show(m_settings);
        auto client = webSocketClient(m_settings.webSocketPort);
        QVERIFY(client->started());
        QVERIFY(!client->waitFor(isState).isEmpty());
        client->send("{\"command\":\"next\",\"seq\":41}\n{\"command\":\"next\",\"seq\":41}\n");
        const QString osc = QString::number(m_settings.oscPort);
        QVERIFY(oscsend({"127.0.0.1", osc, "/corvane/next", "ss", "seq=41",
                         "token=local-tool"})); // another client
        client->send("{\"command\":\"next\",\"seq\":42}\n");
        QTRY_COMPARE_WITH_TIMEOUT(gotoCalls(show.f).size(), std::size_t(3), 15000);
        QTest::qWait(300);
        QCOMPARE(gotoCalls(show.f), (Calls{nextTo(3), nextTo(4), nextTo(5)}));
    }

    // "Go to line k" shows what a Previous back to line k shows.
    void goToLineIsPreviousBackToIt()
    {
        Show show(m_settings);
        show.f.window->LineNumber = 7;
        show.f.click("cmdPreviousSlide"); // back to line 5
        const Calls byPrevious = show.f.app.calls();
        const QString box1 = show.f.box1(), box2 = show.f.box2();

        show.f.window->LineNumber = 12;
        show.f.app.clearCalls();
        LineClient client("socat", {"-", "UDP:127.0.0.1:" + QString::number(m_settings.textPort)});
        QVERIFY(client.started());
        client.send("line 5\n");
        QTRY_COMPARE_WITH_TIMEOUT(show.f.window->LineNumber, 6, 15000);
        Calls byRemote;
        for (const std::string &call : show.f.app.calls()) {
            if (call.rfind("SlidesCount", 0) != 0) { // the remote's own look at the decks
                byRemote.push_back(call);
            }
        }
        QCOMPARE(byRemote, byPrevious);
        QCOMPARE(show.f.box1(), box1);
        QCOMPARE(show.f.box2(), box2);
        // Past the end of the show: refused, nothing moves.
        show.f.app.clearCalls();
        client.send("LINE 22\n");
        QVERIFY(!client
                     .waitFor([](const QString &l) {
                         return l.startsWith("ERROR") || fieldOf(l, "line") == 5;
                     })
                     .isEmpty());
        QTest::qWait(300);
        QCOMPARE(gotoCalls(show.f), Calls{});
    }

    // Presses that come while a step is slow all run afterwards, in order, each once.
    void pressesDuringASlowStepRunInOrder()
    {
        Show show(m_settings, true);
        platform::testing::SlowCalls slow;
        slow.duration = std::chrono::milliseconds(400);
        slow.isSlow = [](const std::string &call) { return call.rfind("GotoSlide", 0) == 0; };
        show.f.app.setOnCall(slow.hook());
        LineClient client("socat", {"-", "TCP:127.0.0.1:" + QString::number(m_settings.textPort)});
        QVERIFY(client.started());
        QVERIFY(!client.waitFor(isState).isEmpty());
        client.send("N\r\nN\r\n2N\r\nN\r\nN\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(slow.slowCalls, 4, 30000);
        QTest::qWait(500);
        QCOMPARE(gotoCalls(show.f), (Calls{nextTo(3), nextTo(4), nextTo(5), nextTo(6)}));
        QCOMPARE(slow.deepest, 1); // never one handler inside another
        QCOMPARE(show.f.window->LineNumber, 7);
    }

    // A flood of junk neither starves the window nor keeps a real press out.
    void floodDoesNotFreezeTheWindow()
    {
        Show show(m_settings);
        std::atomic<bool> flooding = true;
        const quint16 oscPort = m_settings.oscPort, textPort = m_settings.textPort;
        std::thread flood([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const char junk[] = "/corvane/nxt\0\0\0\0,i\0\0\xff\xff";
            for (int i = 0; i < 50000; ++i) {
                to.sin_port = htons(i % 2 ? oscPort : textPort);
                ::sendto(fd, junk, sizeof junk - (i % 7), 0, reinterpret_cast<sockaddr *>(&to),
                         sizeof to);
            }
            ::close(fd);
            flooding = false;
        });
        int ticks = 0;
        while (flooding) {
            bool ran = false;
            QTimer::singleShot(0, [&ran] { ran = true; });
            QVERIFY(QTest::qWaitFor([&] { return ran; }, 5000)); // the window's loop still turns
            ++ticks;
        }
        flood.join();
        QVERIFY(ticks > 0);
        // Datagrams the kernel could not queue while the junk drained are lost, as on any
        // network: the remote retries with one sequence number, and the press steps once.
        for (int attempt = 0; attempt < 20 && gotoCalls(show.f).empty(); ++attempt) {
            QVERIFY(oscsend({"127.0.0.1", QString::number(oscPort), "/corvane/next", "ss", "seq=1",
                             "token=local-tool"}));
            if (QTest::qWaitFor([&] { return !gotoCalls(show.f).empty(); }, 1000)) {
                break;
            }
        }
        QTest::qWait(300);
        QCOMPARE(gotoCalls(show.f), Calls{nextTo(3)});
    }

    // Off the loopback a token is needed: none or a wrong one is refused (and the sender not
    // heard for a while), a view token reads only, the control token steps. No token is logged.
    void tokensOffTheLoopback()
    {
        QHostAddress outside;
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
                outside = address;
                break;
            }
        }
        if (outside.isNull()) {
            QSKIP("this machine has no address beyond the loopback");
        }
        m_settings.interfaces = {outside.toString()};
        m_settings.viewToken = QStringLiteral("look-only");
        m_settings.controlToken = QStringLiteral("Secret-77");
        Show show(m_settings);
        LineClient client("socat", {"-", "TCP:" + outside.toString() + ":" +
                                             QString::number(m_settings.textPort)});
        QVERIFY(client.started());
        client.send("N\n");
        QVERIFY(!client.waitFor([](const QString &l) { return l == "ERROR token required"; })
                     .isEmpty());
        QTest::qWait(250);
        client.send("N token=Secret-78\n");
        QVERIFY(
            !client.waitFor([](const QString &l) { return l == "ERROR wrong token"; }).isEmpty());
        client.send("N token=Secret-77\n"); // too soon after a wrong one: not heard
        QTest::qWait(500);
        QCOMPARE(gotoCalls(show.f), Calls{});
        QTest::qWait(800);
        client.send("STATE token=look-only\n");
        QVERIFY(!client.waitFor(isState).isEmpty());
        QTest::qWait(250);
        client.send("N\n");
        QVERIFY(
            !client.waitFor([](const QString &l) { return l.contains("only read"); }).isEmpty());
        client.send("N token=Secret-77\n");
        QTRY_COMPARE_WITH_TIMEOUT(gotoCalls(show.f), Calls{nextTo(3)}, 15000);

        QFile log(show.logFile());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray written = log.readAll();
        QVERIFY(written.contains("wrong token from " + outside.toString().toUtf8()));
        QVERIFY(!written.contains("Secret-78"));
        QVERIFY(!written.contains("Secret-77"));
    }

    // The geometry window shows where the remote listens and who is connected.
    void geometryWindowShowsTheRemote()
    {
        Show show(m_settings);
        AdjustWindow adjust(show.f);
        auto *label = adjust.control<QLabel>("lblRemote");
        QTRY_VERIFY_WITH_TIMEOUT(
            label->text().contains("text TCP 127.0.0.1:" + QString::number(m_settings.textPort)),
            15000);
        LineClient client("socat", {"-", "TCP:127.0.0.1:" + QString::number(m_settings.textPort)});
        QVERIFY(client.started());
        QTRY_VERIFY_WITH_TIMEOUT(label->text().contains("Clients: text TCP 127.0.0.1:"), 15000);
    }
};

CORVANE_TEST_MAIN(TestNetworkRemote)
#include "tst_network_remote.moc"
