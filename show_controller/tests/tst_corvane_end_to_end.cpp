// Corvane's main window driving the real presentation host with real PDF decks: three loads,
// a script walked forward and back, a hand step; the host's shows and the preview files are
// checked, not the calls.

#include "show_controller/frmControl.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"

#include <QImageReader>
#include <QLabel>

using namespace pa::host::testing;

class TestCorvaneEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_host;
    std::shared_ptr<platform::testing::FakeMessageBox> m_messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> m_dialog;
    std::unique_ptr<frmControl> m_window;

    QString picturePath(int screen) const
    {
        return m_host->path(QStringLiteral("Slide Shows/Screen %1 JPG/ExportSlide").arg(screen));
    }

    // Deck d is shown on Screen d; each of its pages has its own colour.
    bool previewShows(int screen, int slide) const
    {
        const QImage file = QImageReader(picturePath(screen)).read();
        static const char *const boxes[] = {"ibxSouth", "ibxCenter", "ibxNorth"};
        const QImage shown =
            m_window->findChild<QLabel *>(QLatin1String(boxes[screen - 1]))->pixmap().toImage();
        return file.size() == QSize(175, 125) &&
               sameColour(cornerColour(file), pageColour(screen, slide)) &&
               sameColour(cornerColour(shown), pageColour(screen, slide));
    }

    int showSlide(const std::shared_ptr<pa::Presentation> &pres) const
    {
        return pres->slideShowWindow()->view()->slide()->slideIndex();
    }

    std::array<int, 3> showSlides() const
    {
        return {showSlide(m_window->ppPres1), showSlide(m_window->ppPres2),
                showSlide(m_window->ppPres3)};
    }

    std::array<int, 3> counters() const
    {
        return {m_window->Screen1Slide, m_window->Screen2Slide, m_window->Screen3Slide};
    }

private slots:
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
    }

    void cleanup()
    {
        m_window.reset();
        m_host.reset();
        platform::setDriveCRoot(QString());
    }

    void aShowWalkedForwardAndBack()
    {
        for (int d = 1; d <= 3; ++d) {
            const QString deck = m_host->path(QStringLiteral("deck%1.pdf").arg(d));
            QVERIFY(makeDeck(deck, 6, d));
            m_dialog->answers.append(deck);
            m_window->cmdLoadShow_Click();
            QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->shown.value(0).text));
            QVERIFY(previewShows(d, 1));
        }
        QCOMPARE(m_window->LoadNumber, std::int16_t(3));
        const QString status = pa::host::statusListing(m_host->options);
        QVERIFY2(status.contains(QStringLiteral("window left -768 pt, top 0 pt, width 768 pt")),
                 qPrintable(status));
        // 769 pt is pixel 1025 + 1/3: Screen 3 starts one pixel right of 1024 px wide Screen 2.
        QVERIFY2(status.contains(QStringLiteral("px at 1025,0)")), qPrintable(status));

        const QString script = m_host->path(QStringLiteral("show.txt"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("0,1,1,1\r\n10,3,2,4\r\n6,5,6,4\r\n");
        file.close();
        m_dialog->answers.append(script);
        m_window->cmdLoadScriptEd_Click();

        m_window->cmdNextSlide_Click();
        QCOMPARE(showSlides(), (std::array<int, 3>{3, 2, 4}));
        m_window->cmdNextSlide_Click();
        QCOMPARE(showSlides(), (std::array<int, 3>{5, 6, 4}));
        QCOMPARE(counters(), (std::array<int, 3>{5, 6, 4}));
        QVERIFY(previewShows(1, 5));
        QVERIFY(previewShows(2, 6));
        QVERIFY(previewShows(3, 4));

        // A hand step moves the show only; the script's record and the preview stay.
        m_window->cmdPrevCenter_Click();
        QCOMPARE(showSlides(), (std::array<int, 3>{5, 5, 4}));
        QCOMPARE(counters(), (std::array<int, 3>{5, 6, 4}));
        QVERIFY(previewShows(2, 6));

        m_window->cmdPreviousSlide_Click();
        QCOMPARE(showSlides(), (std::array<int, 3>{3, 2, 4}));
        for (int screen = 1; screen <= 3; ++screen) {
            QVERIFY(previewShows(screen, std::array<int, 3>{3, 2, 4}[screen - 1]));
        }
        m_window->cmdPreviousSlide_Click();
        QCOMPARE(showSlides(), (std::array<int, 3>{1, 1, 1}));
        QVERIFY(m_messages->shown.isEmpty());
    }

    void aHostThatCannotBeStartedIsReportedNotFatal()
    {
        m_window.reset();
        pa::host::ClientOptions options = m_host->options;
        options.hostProgram = m_host->path(QStringLiteral("no such host"));
        m_window = std::make_unique<frmControl>(
            ControlServices{pa::host::applicationFactory(options), m_messages, m_dialog, {}});
        m_dialog->answers.append(m_host->path(QStringLiteral("deck.pdf")));
        m_window->cmdLoadShow_Click();
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->shown[0].caption, QStringLiteral("Corvane"));
        QCOMPARE(m_window->LoadNumber, std::int16_t(0));
        // Stepping without a reachable application does nothing and says nothing.
        m_window->cmdNextSouth_Click();
        m_window->cmdNextSlide_Click();
        QCOMPARE(m_messages->shown.size(), 1);
    }
};

CORVANE_TEST_MAIN(TestCorvaneEndToEnd)
#include "tst_corvane_end_to_end.moc"
