// Corvane's web remote with the real host and real PDF decks: its page in a real browser
// (headless Chromium) steps the show and follows it, curl drives the API, and what a page of
// another site, a foreign name or a wrong token asks is refused.

#include "show_controller/corvane_remote.h"
#include "show_controller/frmControl.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "remote_control/tests/web_test_support.h"

#include <QJsonArray>
#include <QNetworkInterface>

using namespace pa::host::testing;
using namespace remote::testing;

class TestWebRemote : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_host;
    std::shared_ptr<platform::testing::FakeMessageBox> m_messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> m_dialog;
    std::unique_ptr<frmControl> m_window;
    std::unique_ptr<CorvaneRemote> m_remote;
    remote::RemoteSettings m_settings;

    QString base(const QString &address = QStringLiteral("127.0.0.1")) const
    {
        return QStringLiteral("http://%1:%2").arg(address).arg(m_settings.httpPort);
    }

    std::array<int, 3> showSlides() const
    {
        std::array<int, 3> slides{};
        const std::shared_ptr<pa::Presentation> screens[3] = {m_window->ppPres1, m_window->ppPres2,
                                                              m_window->ppPres3};
        for (int i = 0; i < 3; ++i) {
            slides[size_t(i)] = screens[i]->slideShowWindow()->view()->slide()->slideIndex();
        }
        return slides;
    }

    // Loads the three decks and the script, then starts the remote with the settings.
    void startShow()
    {
        for (int d = 1; d <= 3; ++d) {
            const QString deck = m_host->path(QStringLiteral("deck%1.pdf").arg(d));
            QVERIFY(makeDeck(deck, 6, d));
            m_dialog->answers.append(deck);
            m_window->cmdLoadShow_Click();
        }
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->shown.value(0).text));
        const QString script = m_host->path(QStringLiteral("show.txt"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("0,1,1,1\r\n10,2,3,4\r\n1,5,3,4\r\n");
        file.close();
        m_dialog->answers.append(script);
        m_window->cmdLoadScriptEd_Click();
        m_remote = std::make_unique<CorvaneRemote>(*m_window, m_settings,
                                                   m_host->path(QStringLiteral("remote.log")));
    }

    // A screen's picture as the API gives it shows that deck's slide.
    bool pictureShows(const QString &which, int screen, int slide) const
    {
        const QImage picture = pictureOf(
            curl(base() + QStringLiteral("/api/screen/%1/%2.jpg").arg(screen).arg(which)));
        return !picture.isNull() && sameColour(cornerColour(picture), pageColour(screen, slide));
    }

private slots:
    void initTestCase()
    {
        if (!haveTool(QStringLiteral("curl"))) {
            QFAIL("curl is needed (tools/setup.sh --with-test-tools)");
        }
    }

    void init()
    {
        m_host = std::make_unique<HostFixture>();
        platform::setDriveCRoot(m_host->dir.path());
        for (int n = 1; n <= 3; ++n) {
            QDir(m_host->dir.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
        }
        m_messages = std::make_shared<platform::testing::FakeMessageBox>();
        m_dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        m_window = std::make_unique<frmControl>(ControlServices{
            pa::host::applicationFactory(m_host->options), m_messages, m_dialog, {}});
        m_settings = loopbackSettings();
        m_settings.httpPort =
            freePort({m_settings.oscPort, m_settings.textPort, m_settings.webSocketPort});
    }

    void cleanup()
    {
        m_remote.reset();
        m_window.reset();
        m_host.reset();
        platform::setDriveCRoot(QString());
    }

    void aBrowserStepsTheShowAndFollowsIt()
    {
        if (!haveBrowser()) {
            QFAIL("chromium and chromium-driver are needed (tools/setup.sh --with-test-tools)");
        }
        startShow();
        auto page = webPage(QStringLiteral("corvane"), base() + QLatin1Char('/'));
        QVERIFY(page->started());
        qsizetype from = 0;
        QCOMPARE(seen(*page, QStringLiteral("live"), &from),
                 QStringLiteral("seen live Line 1 of 3"));
        // Now: slide 1 everywhere; next: what line 2 puts on Screen 1.
        QVERIFY(!seen(*page, QStringLiteral("pictures"), &from).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("current"), 1, 1), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("next"), 1, 2), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("next"), 3, 4), 15000);
        page->send("go\n");

        QCOMPARE(seen(*page, QStringLiteral("moved"), &from),
                 QStringLiteral("seen moved Line 2 of 3"));
        QCOMPARE(showSlides(), (std::array<int, 3>{2, 3, 4}));
        QCOMPARE(m_window->LineNumber, std::int16_t(3));
        QVERIFY(!seen(*page, QStringLiteral("pictures moved"), &from).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("current"), 2, 3), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("next"), 1, 5), 15000);
        // Line 3 leaves Screen 2 where it is.
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("next"), 2, 3), 15000);
        page->send("go\n");

        // The script's first line, picked from the page's list.
        QVERIFY(seen(*page, QStringLiteral("line"), &from).startsWith("seen line Line 1 of 3"));
        QCOMPARE(showSlides(), (std::array<int, 3>{1, 1, 1}));
        page->send("go\n");
        QVERIFY(!seen(*page, QStringLiteral("done"), &from).isEmpty());
        QVERIFY(m_messages->shown.isEmpty());
    }

    void curlDrivesTheApi()
    {
        startShow();
        HttpAnswer state = curl(base() + QStringLiteral("/api/state"));
        QCOMPARE(state.status, 200);
        QCOMPARE(jsonOf(state).value(QStringLiteral("line")).toInt(), 1);
        QVERIFY(state.headers.contains("Content-Security-Policy: default-src 'none';"));
        QVERIFY(!state.headers.toLower().contains("access-control-allow-origin"));

        const QStringList post{QStringLiteral("-X"), QStringLiteral("POST"),
                               QStringLiteral("--data-binary"),
                               QStringLiteral(R"({"command":"next"})")};
        const HttpAnswer accepted = curl(base() + QStringLiteral("/api/command"), post);
        QCOMPARE(accepted.status, 200);
        QCOMPARE(jsonOf(accepted).value(QStringLiteral("command")).toString(), QStringLiteral("N"));
        QTRY_COMPARE_WITH_TIMEOUT(showSlides(), (std::array<int, 3>{2, 3, 4}), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(jsonOf(curl(base() + QStringLiteral("/api/state")))
                                      .value(QStringLiteral("line"))
                                      .toInt(),
                                  2, 15000);
        const QJsonObject screen2 = jsonOf(curl(base() + QStringLiteral("/api/state")))
                                        .value(QStringLiteral("screen2"))
                                        .toObject();
        QCOMPARE(screen2.value(QStringLiteral("slide")).toInt(), 3);
        // The pictures are made once something asks for them, then kept up to date.
        curl(base() + QStringLiteral("/api/versions"));
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("current"), 3, 4), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("next"), 1, 5), 15000);
        // Unchanged pictures are not sent again.
        const HttpAnswer picture = curl(base() + QStringLiteral("/api/screen/3/current.jpg"));
        const QByteArray etag =
            picture.headers.mid(picture.headers.indexOf("ETag: ") + 6).split('\r').first();
        QCOMPARE(curl(base() + QStringLiteral("/api/screen/3/current.jpg"),
                      {QStringLiteral("-H"),
                       QStringLiteral("If-None-Match: ") + QString::fromLatin1(etag)})
                     .status,
                 304);
        const QJsonArray lines =
            QJsonDocument::fromJson(curl(base() + QStringLiteral("/api/script")).body).array();
        QCOMPARE(lines.size(), 3);
        QCOMPARE(
            lines.at(1).toObject().value(QStringLiteral("text")).toString(),
            QStringLiteral("Advance Screen 1 to Slide 2\n Advance Screen 2 to Slide 3\nAdvance "
                           "Screen 3 to Slide 4"));
        const QStringList jump{QStringLiteral("--data-binary"),
                               QStringLiteral(R"({"command":"line","value":1})")};
        QCOMPARE(curl(base() + QStringLiteral("/api/command"), jump).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(showSlides(), (std::array<int, 3>{1, 1, 1}), 15000);

        // What is refused, and that nothing of it moved the show.
        struct Refused
        {
            const char *what;
            QString path;
            QStringList extra;
            int status;
        };
        const QString big(20000, QLatin1Char('x'));
        const Refused refused[] = {
            {"another site's page", "/api/command",
             post + QStringList{"-H", "Origin: http://attacker.example"}, 403},
            {"a cross-site fetch", "/api/state", {"-H", "Sec-Fetch-Site: cross-site"}, 403},
            {"a foreign name (rebinding)", "/api/command",
             post + QStringList{"-H",
                                "Host: attacker.example:" + QString::number(m_settings.httpPort)},
             421},
            {"a command read", "/api/command", {}, 405},
            {"not a command", "/api/command", {"--data-binary", "{\"command\":\"dance\"}"}, 400},
            {"a path outside the page", "/../../etc/passwd", {"--path-as-is"}, 404},
            {"a file of the resources by name", "/web/corvane.html", {}, 404},
            {"a request too large", "/api/command", {"--data-binary", big}, 413},
        };
        for (const Refused &r : refused) {
            QCOMPARE(curl(base() + r.path, r.extra).status, r.status);
        }
        QTest::qWait(300);
        QCOMPARE(showSlides(), (std::array<int, 3>{1, 1, 1}));
        // The page itself: from the program, naming nothing outside it.
        const HttpAnswer pageAnswer = curl(base() + QStringLiteral("/"));
        QCOMPARE(pageAnswer.status, 200);
        QVERIFY(pageAnswer.body.contains("src=\"/remote.js\""));
        QVERIFY(!pageAnswer.body.contains("http"));
        QVERIFY(pageAnswer.body.contains("data-websocket-port=\"" +
                                         QByteArray::number(m_settings.webSocketPort) + "\""));
    }

    // A flood of requests is answered 429 beyond its share, a request that trickles in and
    // connections beyond the limit are cut off; the show goes on meanwhile.
    void floodsAndTricklesAreCutOff()
    {
        startShow();
        static const char *const script = R"(
import http.client, json, select, socket, sys, time
port = int(sys.argv[1])
import threading
codes = {}
lock = threading.Lock()
def flood():
    c = http.client.HTTPConnection("127.0.0.1", port)
    for i in range(100):
        c.request("GET", "/api/state")
        r = c.getresponse()
        r.read()
        with lock:
            codes[str(r.status)] = codes.get(str(r.status), 0) + 1
started = time.time()
threads = [threading.Thread(target=flood) for i in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
seconds = time.time() - started
many = [socket.create_connection(("127.0.0.1", port)) for i in range(70)]
closed = set()
end = time.time() + 3
while time.time() < end and len(closed) < len(many):
    ready, _, _ = select.select([s for s in many if s not in closed], [], [], 0.2)
    for s in ready:
        try:
            if s.recv(1) == b"":
                closed.add(s)
        except ConnectionResetError:
            closed.add(s)
closed = len(closed)
for s in many:
    s.close()
time.sleep(0.5)
trickle = socket.create_connection(("127.0.0.1", port))
trickle.sendall(b"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\n")
trickle.settimeout(30)
try:
    cut = trickle.recv(100) == b""
except ConnectionResetError:
    cut = True
except socket.timeout:
    cut = False
print(json.dumps({"codes": codes, "seconds": seconds, "closed": closed, "trickleCut": cut}))
)";
        const QJsonObject seenByClient =
            QJsonDocument::fromJson(
                pythonOutput(script, {QString::number(m_settings.httpPort)}, 90000))
                .object();
        const QJsonObject codes = seenByClient.value(QStringLiteral("codes")).toObject();
        // 120 at once, then 40 a second: however fast this machine let the client ask.
        const int answered = codes.value(QStringLiteral("200")).toInt();
        const double seconds = seenByClient.value(QStringLiteral("seconds")).toDouble();
        QVERIFY2(answered >= 120 && answered <= 120 + 40 * seconds + 10,
                 qPrintable(QJsonDocument(seenByClient).toJson()));
        QCOMPARE(answered + codes.value(QStringLiteral("429")).toInt(), 400);
        QVERIFY(seenByClient.value(QStringLiteral("closed")).toInt() >= 6);
        QVERIFY(seenByClient.value(QStringLiteral("trickleCut")).toBool());
        // The show is driven as before.
        QTest::qWait(1100);
        const QStringList next{QStringLiteral("--data-binary"),
                               QStringLiteral(R"({"command":"next"})")};
        QCOMPARE(curl(base() + QStringLiteral("/api/command"), next).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(showSlides(), (std::array<int, 3>{2, 3, 4}), 15000);
    }

    // Off the loopback: the page asks for the token once and keeps it; curl needs it, a
    // wrong one is answered and then not heard for a while, a view token only reads.
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
        startShow();
        const QString state = base(outside.toString()) + QStringLiteral("/api/state");
        const QString command = base(outside.toString()) + QStringLiteral("/api/command");
        const QStringList next{QStringLiteral("--data-binary"),
                               QStringLiteral(R"({"command":"next"})")};
        const auto bearer = [](const QString &token) {
            return QStringList{QStringLiteral("-H"),
                               QStringLiteral("Authorization: Bearer ") + token};
        };
        QCOMPARE(curl(state).status, 401);
        QCOMPARE(curl(state, bearer(QStringLiteral("Secret-78"))).status, 401);
        QCOMPARE(curl(state, bearer(QStringLiteral("Secret-77"))).status, 429); // slowed down
        QTest::qWait(1100);
        QCOMPARE(curl(state, bearer(QStringLiteral("look-only"))).status, 200);
        QCOMPARE(curl(command, next + bearer(QStringLiteral("look-only"))).status, 403);
        QTest::qWait(300);
        QCOMPARE(showSlides(), (std::array<int, 3>{1, 1, 1}));

        if (!haveBrowser()) {
            QFAIL("chromium and chromium-driver are needed (tools/setup.sh --with-test-tools)");
        }
        auto page = webPage(QStringLiteral("corvane"), base(outside.toString()) + QLatin1Char('/'),
                            QStringLiteral("Secret-77"));
        QVERIFY(page->started());
        qsizetype from = 0;
        QVERIFY(!seen(*page, QStringLiteral("token kept"), &from).isEmpty());
        QVERIFY(!seen(*page, QStringLiteral("pictures"), &from).isEmpty());
        page->send("go\n");
        QVERIFY(!seen(*page, QStringLiteral("moved"), &from).isEmpty());
        QCOMPARE(showSlides(), (std::array<int, 3>{2, 3, 4}));
        page->send("go\ngo\n");
        QVERIFY(!seen(*page, QStringLiteral("done"), &from).isEmpty());

        QFile log(m_host->path(QStringLiteral("remote.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray written = log.readAll();
        QVERIFY(written.contains("wrong token from " + outside.toString().toUtf8()));
        QVERIFY(!written.contains("Secret-7"));
    }
};

CORVANE_TEST_MAIN(TestWebRemote)
#include "tst_web_remote.moc"
