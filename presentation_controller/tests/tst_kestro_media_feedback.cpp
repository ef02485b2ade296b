// A clip's countdown in Kestro's remote state, as a Stream Deck button would show it: the
// real host plays a clip made by ffmpeg in a PDF deck on a real X server, and independent
// clients (socat over text TCP, Python's websockets, oscdump subscribed over UDP, the web
// remote's page in Chromium) hear media=playing with the seconds left falling, then
// media=none once it ends.

#include "presentation_controller/frmKestro.h"
#include "presentation_controller/kestro_remote.h"
#include "presentation_controller/tests/kestro_window_support.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"
#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "presentation_automation/host/tests/media_deck.h"
#include "presentation_automation/host/tests/movie_pdf.h"
#include "remote_control/tests/remote_test_support.h"
#include "remote_control/tests/web_test_support.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>

using namespace remote::testing;
using namespace pa::host::testing;
using platform::testing::DummyXServer;

namespace {

// The seconds left that one state line or message tells, or nothing.
std::optional<double> remainingIn(const QString &line)
{
    static const QRegularExpression text(QStringLiteral("(?:^| )remaining=([0-9.]+)"));
    static const QRegularExpression json(QStringLiteral("\"remaining\":([0-9.]+)"));
    static const QRegularExpression osc(QStringLiteral("/kestro/state/remaining f ([0-9.]+)"));
    for (const QRegularExpression *pattern : {&text, &json, &osc}) {
        const QRegularExpressionMatch match = pattern->match(line);
        if (match.hasMatch()) {
            return match.captured(1).toDouble();
        }
    }
    return std::nullopt;
}

bool tellsMedia(const QString &line, const QString &media)
{
    return line.contains(QStringLiteral("media=\"%1\"").arg(media)) ||
           line.contains(QStringLiteral("\"media\":\"%1\"").arg(media)) ||
           (line.contains(QLatin1String("/kestro/state/media ")) && line.contains(media));
}

// Subscribes over UDP from a port with the token, then hands the port to oscdump, which
// prints what comes: the subscription outlives the socket that made it.
std::unique_ptr<LineClient> oscSubscriber(quint16 serverPort, quint16 ownPort)
{
    QProcess subscribe;
    subscribe.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import socket, sys\n"
                                    "pad = lambda b: b + b'\\0' * (4 - len(b) % 4)\n"
                                    "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                    "s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                                    "s.bind(('127.0.0.1', int(sys.argv[2])))\n"
                                    "s.sendto(pad(b'/kestro/state') + pad(b',s') + "
                                    "pad(b'token=local-tool'), ('127.0.0.1', int(sys.argv[1])))\n"
                                    "s.close()\n"),
                     QString::number(serverPort), QString::number(ownPort)});
    if (!subscribe.waitForFinished(20000) || subscribe.exitCode() != 0) {
        return nullptr;
    }
    return std::make_unique<LineClient>(
        QStringLiteral("oscdump"), QStringList{QStringLiteral("-L"), QString::number(ownPort)});
}

} // namespace

class TestKestroMediaFeedback : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_host;
    std::unique_ptr<DummyXServer> m_x;

private slots:
    void initTestCase()
    {
        for (const char *tool : {"oscdump", "socat", "ffmpeg", "python3"}) {
            if (!haveTool(QLatin1String(tool))) {
                QSKIP("oscdump, socat, ffmpeg and python3 are needed (tools/setup.sh "
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
        platform::setDriveCRoot(m_host->path(QStringLiteral("c")));
    }

    void cleanup()
    {
        m_host.reset();
        m_x.reset();
        platform::setDriveCRoot(QString());
    }

    void clientsHearAClipCountDown_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::newRow("text over TCP") << "text";
        QTest::newRow("WebSocket") << "websocket";
        QTest::newRow("OSC over UDP") << "osc";
        QTest::newRow("the web page") << "web";
    }
    void clientsHearAClipCountDown()
    {
        QFETCH(QString, transport);
        if (transport == QLatin1String("web")) {
#ifndef CORVANE_TEST_WEB_PAGE
            QSKIP("built without the web remote (Qt HttpServer)");
#endif
            if (!haveBrowser()) {
                QSKIP("chromium and chromedriver are needed (tools/setup.sh --with-test-tools)");
            }
        }
        const QString clip = m_host->path(QStringLiteral("clip.mp4"));
        const QString why = makeTestClip(clip, 5);
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        const QString deck = m_host->path(QStringLiteral("movie.pdf"));
        QVERIFY(writeMoviePdf(deck,
                              {plainPage(Qt::darkBlue), moviePage(Qt::darkGreen, MovieKind::Movie,
                                                                  QStringLiteral("clip.mp4"),
                                                                  QRectF(0.25, 0.25, 0.5, 0.5))}));
        auto messages = std::make_shared<platform::testing::FakeMessageBox>();
        auto dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        dialog->answers << deck;
        auto window = kestro::testing::makeKestroWindow(
            kestro::Variant::Kestro, pa::host::applicationFactory(m_host->options), messages,
            dialog);
        remote::RemoteSettings settings = loopbackSettings();
        settings.controlToken = QStringLiteral("local-tool");
        if (transport == QLatin1String("web")) {
            settings.httpPort =
                freePort({settings.oscPort, settings.textPort, settings.webSocketPort});
        }
        KestroRemote networkRemote(*window, settings, m_host->path(QStringLiteral("remote.log")));
        kestro::testing::control<QPushButton>(window.get(), "cmdLoadShow")->click();
        QVERIFY2(messages->shown.isEmpty(), qPrintable(messages->shown.value(0).text));

        std::unique_ptr<LineClient> client;
        if (transport == QLatin1String("text")) {
            client = std::make_unique<LineClient>(
                "socat", QStringList{"-", "TCP:127.0.0.1:" + QString::number(settings.textPort)});
        } else if (transport == QLatin1String("web")) {
            // The page's countdown, read as a text client's lines.
            client = std::make_unique<LineClient>(
                QStringLiteral("/usr/bin/python3"),
                QStringList{QStringLiteral(WEB_PAGE_SCRIPT), QStringLiteral("kestro"),
                            QStringLiteral("http://127.0.0.1:%1/").arg(settings.httpPort),
                            QStringLiteral("--watch-media")});
        } else if (transport == QLatin1String("websocket")) {
            client = webSocketClient(settings.webSocketPort);
        } else {
            client = oscSubscriber(settings.oscPort, freePort({settings.oscPort, settings.textPort,
                                                               settings.webSocketPort}));
        }
        QVERIFY(client && client->started());
        // Killed, the page's browser would outlive it: asked to stop, however the test ends.
        const auto stopPage = qScopeGuard([&] {
            if (transport == QLatin1String("web")) {
                client->send("stop\n");
                client->ended(30000);
            }
        });
        // Before the clip: the host tells that nothing plays.
        QVERIFY2(!client->waitFor([](const QString &l) { return tellsMedia(l, "none"); }).isEmpty(),
                 qPrintable(client->lines().join('\n')));

        window->queueRemoteCommand(QStringLiteral("N"));
        const qsizetype from = client->count();
        QVERIFY2(
            !client->waitFor([](const QString &l) { return tellsMedia(l, "playing"); }, from, 20000)
                 .isEmpty(),
            qPrintable(client->lines().join('\n')));
        // The seconds left, heard over the clip: within its length, and falling.
        const auto countdown = [&] {
            QList<double> values;
            for (const QString &line : client->lines().mid(from)) {
                const std::optional<double> left = remainingIn(line);
                if (left && *left > 0 && !values.contains(*left)) {
                    values << *left;
                }
            }
            return values;
        };
        QTRY_VERIFY_WITH_TIMEOUT(countdown().size() >= 3, 20000);
        const QList<double> heard = countdown();
        QVERIFY2(heard.first() <= 5.0 && heard.last() < heard.first(),
                 qPrintable(QString::number(heard.first()) + " " + QString::number(heard.last())));
        // Its end: nothing plays, and the countdown reads 0.
        const qsizetype later = client->count();
        QVERIFY2(
            !client->waitFor([](const QString &l) { return tellsMedia(l, "none"); }, later, 20000)
                 .isEmpty(),
            qPrintable(client->lines().mid(later).join('\n')));
        QVERIFY(
            !client->waitFor([](const QString &l) { return remainingIn(l) == 0.0; }, later, 5000)
                 .isEmpty());
        QVERIFY(messages->shown.isEmpty());
    }
};

CORVANE_TEST_MAIN(TestKestroMediaFeedback)
#include "tst_kestro_media_feedback.moc"
