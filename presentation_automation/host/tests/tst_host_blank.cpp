// Black and white screens as the audience sees them: the real host program on a real X
// server, its show window read back from the screen, through a blank, steps behind it, the
// reveal, and a host killed while its show is blank.

#include "deck_maker.h"
#include "host_test_support.h"
#include "presentation_automation/host/service/journal.h"

#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"
#include "platform/testing/x_grab.h"

#include <csignal>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;
using namespace platform::testing;

class TestHostBlank : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_fx;
    std::unique_ptr<DummyXServer> m_x;
    QString m_deck;

    // The show fills the primary display (a 16:9 deck on a 16:9 display): points of it clear
    // of the slide number at the top.
    bool screenShows(const QColor &colour) const
    {
        const QImage shot = grabX(m_x->display, threeDisplayPrimary);
        if (shot.isNull()) {
            return false;
        }
        for (const double y : {0.5, 0.75, 0.97}) {
            for (const double x : {0.03, 0.5, 0.97}) {
                const QPoint at(static_cast<int>(x * shot.width()),
                                static_cast<int>(y * shot.height()));
                if (!sameColour(shot.pixelColor(at), colour, 6)) {
                    return false;
                }
            }
        }
        return true;
    }

    QColor centre() const
    {
        const QPoint middle = threeDisplayPrimary.center();
        const QImage patch = grabX(m_x->display, QRect(middle, QSize(21, 21)));
        return patch.isNull() ? QColor() : cornerColour(patch);
    }

    std::shared_ptr<SlideShowView> startShow()
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(m_deck));
        pres->slideShowSettings()->run();
        return pres->slideShowWindow()->view();
    }

private slots:
    void init()
    {
        if (const QString why = startHostOnX(m_fx, m_x); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        m_deck = m_fx->path(QStringLiteral("talk.pdf"));
        QVERIFY(makeDeck(m_deck, 4, 0, QSizeF(960, 540)));
    }

    void cleanup()
    {
        m_fx.reset();
        m_x.reset();
    }

    void blankCoversTheScreenAndTheRevealShowsTheNewSlide()
    {
        auto view = startShow();
        QTRY_VERIFY_WITH_TIMEOUT(screenShows(pageColour(0, 1)), 30000);
        const std::pair<std::int32_t, QColor> blanks[] = {{ppSlideShowBlackScreen, Qt::black},
                                                          {ppSlideShowWhiteScreen, Qt::white}};
        for (const auto &[state, colour] : blanks) {
            view->setState(state);
            QCOMPARE(view->state(), state);
            QTRY_VERIFY_WITH_TIMEOUT(screenShows(colour), 10000);
        }
        view->next();
        QCOMPARE(view->slide()->slideIndex(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(QLatin1String("slide on screen: 2")),
                                 30000);
        QVERIFY(screenShows(Qt::white));
        view->setState(ppSlideShowRunning);
        QTRY_VERIFY_WITH_TIMEOUT(screenShows(pageColour(0, 2)), 10000);
    }

    void aKilledHostPutsTheShowBackBlank()
    {
        auto view = startShow();
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(screenShows(pageColour(0, 2)), 30000);
        view->setState(ppSlideShowBlackScreen);
        QTRY_VERIFY_WITH_TIMEOUT(screenShows(Qt::black), 10000);
        const Journal journal(journalPath(m_fx->runtimeDir));
        const auto journaledBlank = [&] {
            QStringList problems;
            const auto state = journal.load(&problems);
            return state && state->presentations.size() == 1 &&
                   state->presentations[0].viewState == ppSlideShowBlackScreen;
        };
        QTRY_VERIFY_WITH_TIMEOUT(journaledBlank(), 10000);

        const auto pids = hostProcesses(m_fx->runtimeDir);
        QCOMPARE(pids.size(), size_t(1));
        ::kill(static_cast<pid_t>(pids.front()), SIGKILL);
        QVERIFY(processGone(pids.front(), 5000));
        // Watched while the client starts a host again and it puts the show back: the slide
        // never shows, not even while the window comes up.
        QDeadlineTimer deadline(60000);
        int samplesAfterBack = -1;
        while (!deadline.hasExpired() && samplesAfterBack < 20) {
            const QColor seen = centre();
            QVERIFY2(!sameColour(seen, pageColour(0, 2), 40),
                     qPrintable(QStringLiteral("the slide showed: %1").arg(seen.name())));
            if (samplesAfterBack >= 0) {
                ++samplesAfterBack;
            } else if (m_fx->listing().contains(QLatin1String("slide on screen: 2"))) {
                samplesAfterBack = 0;
            }
            QTest::qWait(5);
        }
        QVERIFY2(samplesAfterBack >= 0, "the show did not come back");
        QCOMPARE(hostProcesses(m_fx->runtimeDir).size(), size_t(1));
        QVERIFY(pids.front() != hostProcesses(m_fx->runtimeDir).front());
        QVERIFY(screenShows(Qt::black));
        QCOMPARE(view->state(), ppSlideShowBlackScreen);
        QCOMPARE(view->slide()->slideIndex(), 2);
        view->setState(ppSlideShowRunning);
        QTRY_VERIFY_WITH_TIMEOUT(screenShows(pageColour(0, 2)), 10000);
    }
};

CORVANE_TEST_MAIN(TestHostBlank)
#include "tst_host_blank.moc"
