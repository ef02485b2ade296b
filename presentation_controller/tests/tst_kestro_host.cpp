// Kestro and Kestrokiosk driving the real host program with a real PDF deck.

#include "presentation_controller/frmKestro.h"
#include "presentation_controller/frmScreen.h"
#include "presentation_controller/long_timer.h"
#include "presentation_controller/tests/kestro_window_support.h"

#include "platform/busy_calls.h"
#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using platform::testing::FakeFileOpenDialog;
using platform::testing::FakeMessageBox;

class TestKestroHost : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<pa::host::testing::HostFixture> m_host;
    std::shared_ptr<FakeMessageBox> m_messages;
    std::shared_ptr<FakeFileOpenDialog> m_dialog;
    std::unique_ptr<frmKestro> m_window;
    QString m_deck;

    void makeWindow(kestro::Variant variant)
    {
        m_window = kestro::testing::makeKestroWindow(
            variant, pa::host::applicationFactory(m_host->options), m_messages, m_dialog);
    }

    QLineEdit *box(const char *name) { return kestro::testing::control(m_window.get(), name); }
    void click(const char *name)
    {
        kestro::testing::control<QPushButton>(m_window.get(), name)->click();
    }

    // What the show itself is on, asked of the host.
    int showSlide() { return m_window->ppPres1->slideShowWindow()->view()->slide()->slideIndex(); }

    QStringList messageTexts() const { return kestro::testing::messageTexts(*m_messages); }

private slots:
    void init()
    {
        m_host = std::make_unique<pa::host::testing::HostFixture>();
        platform::setDriveCRoot(m_host->path(QStringLiteral("c")));
        m_deck = m_host->path(QStringLiteral("twelve.pdf"));
        QVERIFY(pa::host::testing::makeDeck(m_deck, 12));
        m_messages = std::make_shared<FakeMessageBox>();
        m_dialog = std::make_shared<FakeFileOpenDialog>();
        m_dialog->answers << m_deck;
    }

    void cleanup()
    {
        m_window.reset();
        m_host.reset();
        platform::setDriveCRoot(QString());
    }

    void kioskAdvancesTheShowOnItsTimer()
    {
        makeWindow(kestro::Variant::Kiosk);
        box("Text1")->setText(QStringLiteral("0.2"));
        click("cmdLoadShow");
        QCOMPARE(messageTexts(), QStringList());
        QCOMPARE(box("txtTotalslides")->text(), QStringLiteral("12"));

        // The show moves without any button press, and the slide number follows it.
        QTRY_VERIFY_WITH_TIMEOUT(box("txtSlideNum")->text().toInt() >= 4, 20000);
        m_window->LongTimer1()->setEnabled(false);
        QTest::qWait(300);
        QCOMPARE(box("txtSlideNum")->text(), QString::number(showSlide()));
        QVERIFY(showSlide() >= 4);
        QCOMPARE(messageTexts(), QStringList());
    }

    void kioskWithoutIntervalStillOpensAndPlacesTheShow()
    {
        makeWindow(kestro::Variant::Kiosk);
        click("cmdLoadShow");
        QCOMPARE(messageTexts(),
                 QStringList{"Please enter timer interval before loading PPT file."});
        QCOMPARE(box("txtSlideNum")->text(), QStringLiteral("1"));
        QCOMPARE(box("txtTotalslides")->text(), QStringLiteral("12"));
        QTest::qWait(500);
        QCOMPARE(showSlide(), 1);
    }

    void kestroStepsAndJumps()
    {
        makeWindow(kestro::Variant::Kestro);
        click("cmdLoadShow");
        QCOMPARE(messageTexts(), QStringList());
        QCOMPARE(box("txtSlideNum")->text(), QStringLiteral("1"));
        click("cmdNextSlide");
        QCOMPARE(box("txtSlideNum")->text(), QStringLiteral("2"));
        box("txtGotoSlide")->setText(QStringLiteral("9"));
        click("cmdGoto");
        QCOMPARE(box("txtSlideNum")->text(), QStringLiteral("9"));
        QCOMPARE(showSlide(), 9);
        click("cmdPreviousSlide");
        QCOMPARE(box("txtSlideNum")->text(), QStringLiteral("8"));

        // A slide the deck does not have is the host's error, shown as such.
        box("txtGotoSlide")->setText(QStringLiteral("13"));
        click("cmdGoto");
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestro "));
        QCOMPARE(box("txtSlideNum")->text(), QStringLiteral("8"));
        QCOMPARE(showSlide(), 8);

        // Closing the program leaves the show where it is, for the next controller.
        QVERIFY(m_window->close());
        m_window.reset();
        const auto app = pa::host::applicationFactory(m_host->options)();
        const auto shown =
            app->activePresentation()->slideShowWindow()->view()->slide()->slideIndex();
        QCOMPARE(shown, 8);
    }

    // Starting the host takes a while: meanwhile the window shows the wait cursor, and a
    // click made then is handled once Load Show is done, not inside it.
    void windowStaysAliveWhileTheHostStarts()
    {
        m_window = kestro::testing::makeKestroWindow(
            kestro::Variant::Kestro,
            platform::guardedApplications(pa::host::applicationFactory(m_host->options)),
            m_messages, m_dialog);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        bool clickedDuringCall = false;
        bool waitCursor = false;
        bool shownInside = true;
        QTimer::singleShot(150, m_window.get(), [&] {
            clickedDuringCall = platform::BusyCalls::inCall();
            const QCursor *cursor = QGuiApplication::overrideCursor();
            waitCursor = cursor && cursor->shape() == Qt::WaitCursor;
            QTest::mouseClick(
                kestro::testing::control<QPushButton>(m_window.get(), "cmdLoadScreenNum"),
                Qt::LeftButton);
            shownInside = m_window->screen()->isVisible();
        });
        click("cmdLoadShow");
        if (!clickedDuringCall) {
            QSKIP("the host was up before the click came");
        }
        QVERIFY(waitCursor);
        QVERIFY(!shownInside);
        QCOMPARE(box("txtSlideNum")->text(), QStringLiteral("1"));
        QTRY_VERIFY(m_window->screen()->isVisible());
        QTRY_VERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(messageTexts(), QStringList());
    }
};

CORVANE_TEST_MAIN(TestKestroHost)
#include "tst_kestro_host.moc"
