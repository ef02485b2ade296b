// Kestro's web remote with the real host and a real PDF deck: its page in headless Chromium
// steps the show, follows it and goes to a slide; curl reads the state and the pictures.

#include "presentation_controller/kestro_remote.h"
#include "presentation_controller/tests/kestro_window_support.h"

#include "platform/drive_c.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "remote_control/tests/web_test_support.h"

#include <QPushButton>

using namespace pa::host::testing;
using namespace remote::testing;

class TestKestroWebRemote : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_host;
    std::shared_ptr<platform::testing::FakeMessageBox> m_messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> m_dialog;
    std::unique_ptr<frmKestro> m_window;
    std::unique_ptr<KestroRemote> m_remote;
    remote::RemoteSettings m_settings;

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_settings.httpPort); }
    int showSlide() { return m_window->ppPres1->slideShowWindow()->view()->slide()->slideIndex(); }

    bool pictureShows(const QString &which, int slide) const
    {
        const QImage picture =
            pictureOf(curl(base() + QStringLiteral("/api/slide/%1.jpg").arg(which)));
        return !picture.isNull() && sameColour(cornerColour(picture), pageColour(0, slide));
    }

private slots:
    void init()
    {
        m_host = std::make_unique<HostFixture>();
        platform::setDriveCRoot(m_host->path(QStringLiteral("c")));
        const QString deck = m_host->path(QStringLiteral("five.pdf"));
        QVERIFY(makeDeck(deck, 5));
        m_messages = std::make_shared<platform::testing::FakeMessageBox>();
        m_dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        m_dialog->answers << deck;
        m_window = kestro::testing::makeKestroWindow(kestro::Variant::Kestro,
                                                     pa::host::applicationFactory(m_host->options),
                                                     m_messages, m_dialog);
        m_settings = loopbackSettings();
        m_settings.httpPort =
            freePort({m_settings.oscPort, m_settings.textPort, m_settings.webSocketPort});
        m_remote = std::make_unique<KestroRemote>(*m_window, m_settings,
                                                  m_host->path(QStringLiteral("remote.log")));
        kestro::testing::control<QPushButton>(m_window.get(), "cmdLoadShow")->click();
        QCOMPARE(kestro::testing::messageTexts(*m_messages), QStringList());
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
        auto page = webPage(QStringLiteral("kestro"), base() + QLatin1Char('/'));
        QVERIFY(page->started());
        qsizetype from = 0;
        // The slide count is asked of the host once a second.
        QVERIFY(seen(*page, QStringLiteral("live"), &from).startsWith("seen live"));
        QVERIFY(!seen(*page, QStringLiteral("pictures"), &from).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("current"), 1), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("next"), 2), 15000);
        page->send("go\n");
        QCOMPARE(seen(*page, QStringLiteral("moved"), &from),
                 QStringLiteral("seen moved slide 2 of 5"));
        QCOMPARE(showSlide(), 2);
        QVERIFY(!seen(*page, QStringLiteral("pictures moved"), &from).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("next"), 3), 15000);
        page->send("go\n");
        QCOMPARE(seen(*page, QStringLiteral("slide"), &from),
                 QStringLiteral("seen slide slide 4 of 5"));
        QCOMPARE(showSlide(), 4);
        // The remote ends (the program restarts): the page says the link is lost, and comes
        // back by itself once the program listens again.
        m_remote.reset();
        page->send("go\n");
        QVERIFY(!seen(*page, QStringLiteral("lost"), &from).isEmpty());
        m_remote = std::make_unique<KestroRemote>(*m_window, m_settings,
                                                  m_host->path(QStringLiteral("remote.log")));
        QVERIFY(seen(*page, QStringLiteral("back"), &from).startsWith("seen back"));
        page->send("go\n");
        QVERIFY(!seen(*page, QStringLiteral("done"), &from).isEmpty());
        QCOMPARE(kestro::testing::messageTexts(*m_messages), QStringList());
    }

    void curlReadsAndSteps()
    {
        QTRY_COMPARE_WITH_TIMEOUT(jsonOf(curl(base() + QStringLiteral("/api/state")))
                                      .value(QStringLiteral("slides"))
                                      .toInt(),
                                  5, 15000);
        const QStringList go{QStringLiteral("--data-binary"),
                             QStringLiteral(R"({"command":"slide","value":5})")};
        QCOMPARE(curl(base() + QStringLiteral("/api/command"), go).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(showSlide(), 5, 15000);
        curl(base() + QStringLiteral("/api/versions"));
        QTRY_VERIFY_WITH_TIMEOUT(pictureShows(QStringLiteral("current"), 5), 15000);
        // Past the last slide nothing comes next.
        QTRY_COMPARE_WITH_TIMEOUT(curl(base() + QStringLiteral("/api/slide/next.jpg")).status, 503,
                                  15000);
        QCOMPARE(curl(base() + QStringLiteral("/api/screen/1/current.jpg")).status, 404);
    }
};

CORVANE_TEST_MAIN(TestKestroWebRemote)
#include "tst_kestro_web_remote.moc"
