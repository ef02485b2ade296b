// Blank screens through every remote transport, the real presentation host on a real X server
// with three displays, and independent clients (socat, oscsend, Python's websockets): each
// command blanks exactly its screens, on the display itself; a step behind a blank keeps it;
// SHOW reveals the new slide; a host killed with SIGKILL comes back blanked.

#include "show_controller/corvane_remote.h"
#include "show_controller/frmControl.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "remote_control/tests/remote_test_support.h"

#include <csignal>

using namespace pa::host::testing;
using namespace remote::testing;
using platform::testing::DummyXServer;

namespace {

using States = QList<int>;

// The colour of a few pixels of the X server's root window, read by ffmpeg, an independent
// reader of what the displays show.
std::optional<QColor> rootColour(const QString &display, QPoint at)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                  QStringLiteral("x11grab"), QStringLiteral("-video_size"), QStringLiteral("4x4"),
                  QStringLiteral("-i"),
                  QStringLiteral("%1+%2,%3").arg(display).arg(at.x()).arg(at.y()),
                  QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                  QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"),
                  QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(20000) || ffmpeg.exitCode() != 0) {
        return std::nullopt;
    }
    const QByteArray pixels = ffmpeg.readAllStandardOutput();
    if (pixels.size() != 4 * 4 * 3) {
        return std::nullopt;
    }
    int r = 0, g = 0, b = 0;
    for (int i = 0; i < 16; ++i) {
        r += quint8(pixels.at(i * 3));
        g += quint8(pixels.at(i * 3 + 1));
        b += quint8(pixels.at(i * 3 + 2));
    }
    return QColor(r / 16, g / 16, b / 16);
}

} // namespace

class TestBlankEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_host;
    std::unique_ptr<DummyXServer> m_x;
    remote::RemoteSettings m_settings;
    std::shared_ptr<platform::testing::FakeMessageBox> m_messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> m_dialog;
    std::unique_ptr<frmControl> m_window;
    std::unique_ptr<CorvaneRemote> m_remote;

    std::shared_ptr<pa::SlideShowView> view(int screen) const
    {
        const auto &pres = screen == 1   ? m_window->ppPres1
                           : screen == 2 ? m_window->ppPres2
                                         : m_window->ppPres3;
        return pres->slideShowWindow()->view();
    }

    States hostStates() const { return {view(1)->state(), view(2)->state(), view(3)->state()}; }

    int hostSlide(int screen) const { return view(screen)->slide()->slideIndex(); }

    // A little inside each screen's show window, where the page colour is plain.
    QPoint windowCorner(int screen) const
    {
        const auto corner =
            showWindowCorner(m_host->options, QStringLiteral("deck%1.pdf").arg(screen));
        return corner ? *corner + QPoint(12, 12) : QPoint(-1, -1);
    }

    // What the display of a screen shows near its show's corner: "black", "white", or the
    // slide whose page colour it is (0 when none).
    QString shown(int screen) const
    {
        const std::optional<QColor> colour = rootColour(m_x->display, windowCorner(screen));
        if (!colour) {
            return QStringLiteral("unreadable");
        }
        if (sameColour(*colour, Qt::black, 8)) {
            return QStringLiteral("black");
        }
        if (sameColour(*colour, Qt::white, 8)) {
            return QStringLiteral("white");
        }
        for (int slide = 1; slide <= 6; ++slide) {
            if (sameColour(*colour, pageColour(screen, slide))) {
                return QStringLiteral("slide %1").arg(slide);
            }
        }
        return colour->name();
    }

    QStringList shownOnAll() const { return {shown(1), shown(2), shown(3)}; }

    // Waits until every display shows what is expected (the host draws after it answers).
    bool displaysShow(const QStringList &expected)
    {
        QStringList seen;
        for (int i = 0; i < 100; ++i) {
            seen = shownOnAll();
            if (seen == expected) {
                return true;
            }
            QTest::qWait(50);
        }
        qWarning("the displays show %s, not %s", qPrintable(seen.join(", ")),
                 qPrintable(expected.join(", ")));
        return false;
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"oscsend", "socat", "ffmpeg", "python3"}) {
            if (!haveTool(QLatin1String(tool))) {
                QSKIP("oscsend, socat, ffmpeg and python3 are needed (tools/setup.sh "
                      "--with-test-tools)");
            }
        }
    }

    void init()
    {
        m_host = std::make_unique<HostFixture>();
        m_x = std::make_unique<DummyXServer>(m_host->path(QStringLiteral("x")));
        if (!m_x->whyNot().isEmpty()) {
            QSKIP(qPrintable(m_x->whyNot()));
        }
        m_host->showOn(m_x->display);
        platform::setDriveCRoot(m_host->dir.path());
        for (int n = 1; n <= 3; ++n) {
            QDir(m_host->dir.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
        }
        m_messages = std::make_shared<platform::testing::FakeMessageBox>();
        m_dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        m_window = std::make_unique<frmControl>(ControlServices{
            pa::host::applicationFactory(m_host->options), m_messages, m_dialog, {}});
        m_settings = loopbackSettings();
        m_settings.controlToken = QStringLiteral("local-tool");
        m_remote = std::make_unique<CorvaneRemote>(*m_window, m_settings,
                                                   m_host->path(QStringLiteral("remote.log")));
        for (int d = 1; d <= 3; ++d) {
            const QString deck = m_host->path(QStringLiteral("deck%1.pdf").arg(d));
            QVERIFY(makeDeck(deck, 6, d));
            m_dialog->answers.append(deck);
            m_window->cmdLoadShow_Click();
        }
        QFile script(m_host->path(QStringLiteral("show.txt")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("0,1,1,1\r\n10,2,2,2\r\n10,3,3,3\r\n");
        script.close();
        m_dialog->answers.append(script.fileName());
        m_window->cmdLoadScriptEd_Click();
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->shown.value(0).text));
        QVERIFY(displaysShow({"slide 1", "slide 1", "slide 1"}));
    }

    void cleanup()
    {
        m_remote.reset();
        m_window.reset();
        m_host.reset();
        m_x.reset();
        platform::setDriveCRoot(QString());
    }

    void eachTransportBlanksExactlyItsScreens_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QString>("blank");
        QTest::addColumn<QString>("show");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("text over TCP, one screen")
            << "text-tcp"
            << "BLACK 2"
            << "SHOW 2" << QStringList{"slide 1", "black", "slide 1"};
        QTest::newRow("text over UDP, all white")
            << "text-udp"
            << "WHITE"
            << "SHOW" << QStringList{"white", "white", "white"};
        QTest::newRow("OSC over UDP, one screen")
            << "osc-udp"
            << "/corvane/screen/3/white"
            << "/corvane/screen/3/show" << QStringList{"slide 1", "slide 1", "white"};
        QTest::newRow("OSC over TCP, all black")
            << "osc-tcp"
            << "/corvane/black"
            << "/corvane/show" << QStringList{"black", "black", "black"};
        QTest::newRow("WebSocket, one screen")
            << "websocket"
            << R"({"command":"black","screen":1})"
            << R"({"command":"show","screen":1})" << QStringList{"black", "slide 1", "slide 1"};
    }
    void eachTransportBlanksExactlyItsScreens()
    {
        QFETCH(QString, transport);
        QFETCH(QString, blank);
        QFETCH(QString, show);
        QFETCH(QStringList, expected);
        const QString osc = QString::number(m_settings.oscPort);
        const QString text = QString::number(m_settings.textPort);
        std::unique_ptr<LineClient> client;
        if (transport == QLatin1String("text-tcp")) {
            client =
                std::make_unique<LineClient>("socat", QStringList{"-", "TCP:127.0.0.1:" + text});
        } else if (transport == QLatin1String("text-udp")) {
            client =
                std::make_unique<LineClient>("socat", QStringList{"-", "UDP:127.0.0.1:" + text});
        } else if (transport == QLatin1String("websocket")) {
            client = webSocketClient(m_settings.webSocketPort);
            QVERIFY(client->started());
            QVERIFY(!client->waitFor(isState).isEmpty());
        }
        const auto send = [&](const QString &command) {
            if (transport == QLatin1String("osc-udp")) {
                return oscsend({"127.0.0.1", osc, command, "s", "token=local-tool"});
            }
            if (transport == QLatin1String("osc-tcp")) {
                return oscsend({"osc.tcp://127.0.0.1:" + osc, command, "s", "token=local-tool"});
            }
            client->send((command + QLatin1Char('\n')).toUtf8());
            return client->started();
        };
        States states;
        for (const QString &word : expected) {
            states << (word == QLatin1String("black") ? 3 : word == QLatin1String("white") ? 4 : 1);
        }
        QVERIFY(send(blank));
        QTRY_COMPARE_WITH_TIMEOUT(hostStates(), states, 15000);
        QVERIFY(displaysShow(expected));
        // Twice is the same: a set-state, not a toggle.
        QVERIFY(send(blank));
        QTest::qWait(300);
        QCOMPARE(hostStates(), states);
        if (client && transport != QLatin1String("text-udp")) {
            // The sender hears the blank in the state.
            const QString name = expected.contains("black") ? "black" : "white";
            QVERIFY(!client
                         ->waitFor([&](const QString &line) {
                             return line.contains("/blank=\"" + name + "\"") ||
                                    line.contains("\"blank\":\"" + name + "\"");
                         })
                         .isEmpty());
            // Each screen's media beside its blank: the host tells that nothing plays.
            QVERIFY(!client
                         ->waitFor([](const QString &line) {
                             return line.contains("screen3/media=\"none\" screen3/remaining=0") ||
                                    (line.contains(R"("screen3":{"blank")") &&
                                     line.contains(R"("media":"none")"));
                         })
                         .isEmpty());
        }
        QVERIFY(send(show));
        QTRY_COMPARE_WITH_TIMEOUT(hostStates(), (States{1, 1, 1}), 15000);
        QVERIFY(displaysShow({"slide 1", "slide 1", "slide 1"}));
        QVERIFY(m_messages->shown.isEmpty());
    }

    // Every kind of step behind a blank moves the slide and keeps the blank; SHOW reveals
    // the slide the screen is on now.
    void stepsBehindABlankKeepIt()
    {
        LineClient client("socat", {"-", "TCP:127.0.0.1:" + QString::number(m_settings.textPort)});
        QVERIFY(client.started());
        client.send("BLACK 1\nWHITE 3\n");
        QTRY_COMPARE_WITH_TIMEOUT(hostStates(), (States{3, 1, 4}), 15000);
        client.send("N\n"); // the script: all three to slide 2
        QTRY_COMPARE_WITH_TIMEOUT(hostSlide(2), 2, 15000);
        QCOMPARE(hostSlide(1), 2);
        QCOMPARE(hostSlide(3), 2);
        QVERIFY(displaysShow({"black", "slide 2", "white"}));
        client.send("1N\n3N\n"); // each screen on by hand
        QTRY_COMPARE_WITH_TIMEOUT(hostSlide(3), 3, 15000);
        QCOMPARE(hostSlide(1), 3);
        client.send("LINE 1\n"); // back to the opening line
        QTRY_COMPARE_WITH_TIMEOUT(hostSlide(1), 1, 15000);
        QCOMPARE(hostStates(), (States{3, 1, 4}));
        QVERIFY(displaysShow({"black", "slide 1", "white"}));
        client.send("N\nSHOW\n");
        QTRY_COMPARE_WITH_TIMEOUT(hostStates(), (States{1, 1, 1}), 15000);
        QVERIFY(displaysShow({"slide 2", "slide 2", "slide 2"}));
        QVERIFY(m_messages->shown.isEmpty());
    }

    // The host is killed outright: the one started in its place puts the blanks back before
    // it shows anything, and the controller carries on with them.
    void aKilledHostComesBackBlanked()
    {
        m_window->queueRemoteCommand(QStringLiteral("BLACK 2"));
        m_window->queueRemoteCommand(QStringLiteral("WHITE 3"));
        QTRY_COMPARE_WITH_TIMEOUT(hostStates(), (States{1, 3, 4}), 15000);
        const std::vector<qint64> hosts = hostProcesses(m_host->runtimeDir);
        QCOMPARE(hosts.size(), std::size_t(1));
        QVERIFY(::kill(pid_t(hosts.front()), SIGKILL) == 0);
        QVERIFY(processGone(hosts.front(), 10000));
        // The first call after the crash starts the new host, which reads the journal.
        QTRY_COMPARE_WITH_TIMEOUT(hostStates(), (States{1, 3, 4}), 30000);
        QVERIFY(displaysShow({"slide 1", "black", "white"}));
        m_window->cmdNextSlide_Click();
        QCOMPARE(hostSlide(2), 2);
        QVERIFY(displaysShow({"slide 2", "black", "white"}));
        QCOMPARE(m_window->blankOf(2), pa::ppSlideShowBlackScreen);
    }
};

CORVANE_TEST_MAIN(TestBlankEndToEnd)
#include "tst_blank_end_to_end.moc"
