// A clip on a network share that goes away while it plays, shown by the real host program on
// a real X server: the clip (made by ffmpeg) lies on a FUSE file system whose reads then block
// for good, as a share's do once its server is gone. The show steps on at once, the host
// answers, the next slide shows, and one line in the log says why the clip was let go.

#include "hanging_share.h"
#include "host_test_support.h"
#include "media_deck.h"
#include "movie_pdf.h"
#include "video_watch.h"

#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;
using namespace platform::testing;

namespace {

const QRectF movieRect(0.2, 0.3, 0.5, 0.4);

} // namespace

class TestHostMediaShare : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_clips;
    std::unique_ptr<HostFixture> m_fx;
    std::unique_ptr<DummyXServer> m_x;
    std::unique_ptr<HangingShare> m_share;

    VideoWatch video() const { return {m_x->display, middleOf(movieRect, threeDisplayPrimary)}; }

    // A show of the deck of pages, on its second page; null if it did not get there.
    std::shared_ptr<SlideShowView> showPage2(const std::vector<MoviePage> &pages)
    {
        const QString pdf = m_fx->path(QStringLiteral("decks/movies.pdf"));
        if (!writeMoviePdf(pdf, pages)) {
            return {};
        }
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(pdf));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        if (!waitFor([this] { return m_fx->onScreen(1); }, 60000)) {
            return {};
        }
        view->next();
        return waitFor([this] { return m_fx->onScreen(2); }, 30000) ? view : nullptr;
    }
    // The host's threads that read a clip's file for its player (GStreamer's demuxer).
    int readerThreads() const
    {
        int n = 0;
        for (const qint64 pid : hostProcesses(m_fx->runtimeDir)) {
            const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
            for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile comm(tasks + QLatin1Char('/') + task + QStringLiteral("/comm"));
                if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("qtdemux")) {
                    ++n;
                }
            }
        }
        return n;
    }

private slots:
    void initTestCase()
    {
        // Long enough that the player still reads the file when the share goes away.
        const QString why = makeTestClip(m_clips.filePath(QStringLiteral("clip.mp4")), 30);
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        // The clip's sound alone.
        QVERIFY(QProcess::execute(
                    QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                    {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-i"),
                     m_clips.filePath(QStringLiteral("clip.mp4")), QStringLiteral("-vn"),
                     QStringLiteral("-c:a"), QStringLiteral("copy"),
                     m_clips.filePath(QStringLiteral("tone.m4a"))}) == 0);
    }

    void init()
    {
        m_fx = std::make_unique<HostFixture>();
        const bool sound = QTest::currentTestFunction() == QLatin1String("soundWhoseShareHangs");
        m_share = std::make_unique<HangingShare>(
            m_clips.filePath(sound ? QStringLiteral("tone.m4a") : QStringLiteral("clip.mp4")),
            m_fx->path(QStringLiteral("decks/share")));
        if (!m_share->whyNot().isEmpty()) {
            QSKIP(qPrintable(m_share->whyNot()));
        }
        m_x = std::make_unique<DummyXServer>(m_fx->path(QStringLiteral("x")));
        if (!m_x->whyNot().isEmpty()) {
            QSKIP(qPrintable(m_x->whyNot()));
        }
        m_fx->showOn(m_x->display);
    }

    void cleanup()
    {
        // The share answers again before the host is ended: a process blocked in a read that
        // its FUSE server took cannot be killed until the read returns.
        m_share.reset();
        m_fx.reset();
        m_x.reset();
    }

    void showStepsOffAClipWhoseShareHangs_data()
    {
        QTest::addColumn<QString>("step"); // how the show leaves the clip's slide
        QTest::newRow("Next") << "next";
        QTest::newRow("go to a slide") << "goto";
        // The page's timing waits for the clip's end, which does not come.
        QTest::newRow("automatic step") << "timing";
    }
    void showStepsOffAClipWhoseShareHangs()
    {
        QFETCH(QString, step);
        MoviePage withClip =
            moviePage(Qt::darkGreen, MovieKind::Movie, QStringLiteral("share/clip.mp4"), movieRect);
        if (step == QLatin1String("timing")) {
            withClip.duration = 0.5;
        }
        const auto view = showPage2(
            {plainPage(Qt::darkBlue), withClip, plainPage(Qt::darkRed), plainPage(Qt::darkCyan)});
        QVERIFY(view);
        QVERIFY2(waitFor([this] { return video().moves(); }, 20000),
                 qPrintable(m_fx->mediaState()));

        m_share->setReadsHang(true);
        // The player's reads now block: its frames stop coming.
        QVERIFY2(waitFor([this] { return video().still(); }, 20000),
                 qPrintable(m_fx->mediaState()));
        const auto stepped = errorOf([&] {
            if (step == QLatin1String("next")) {
                view->next();
            } else if (step == QLatin1String("goto")) {
                view->gotoSlide(3);
            }
        });
        QVERIFY2(!stepped, stepped ? stepped->what() : "");
        QVERIFY2(waitFor([this] { return m_fx->onScreen(3); }, 15000),
                 qPrintable(m_fx->mediaState()));
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->log().contains(QLatin1String("clip.mp4 of slide 2")), 10000);
        QVERIFY2(m_fx->log().contains(QLatin1String("does not answer")),
                 qPrintable(m_fx->mediaState()));
        QCOMPARE(m_fx->log().count(QLatin1String("clip.mp4 of slide 2")), 1);
        // The show goes on as before.
        view->next();
        QVERIFY2(waitFor([this] { return m_fx->onScreen(4); }, 15000),
                 qPrintable(m_fx->mediaState()));
        QVERIFY(!view->media()->playing);
        // The player left behind still holds its decoder: it counts as open media.
        const QString held = QStringLiteral("open media take about");
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(held), 10000);

        // The share comes back: the player left behind is freed, its threads end.
        QVERIFY(readerThreads() > 0);
        m_share->setReadsHang(false);
        QTRY_COMPARE_WITH_TIMEOUT(readerThreads(), 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_fx->listing().contains(held), 10000);
    }

    // A sound whose share goes away while it plays stands still, unheard: it is given up, and
    // the page's timing, which waited for its end, goes on.
    void soundWhoseShareHangs()
    {
        MoviePage withSound =
            moviePage(Qt::darkGreen, MovieKind::Movie, QStringLiteral("share/tone.m4a"), movieRect);
        withSound.duration = 0.5;
        const auto view = showPage2({plainPage(Qt::darkBlue), withSound, plainPage(Qt::darkRed)});
        QVERIFY(view);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(QLatin1String("tone.m4a playing")),
                                 20000);
        QTest::qWait(1000);
        m_share->setReadsHang(true);
        QVERIFY2(waitFor([this] { return m_fx->onScreen(3); }, 30000),
                 qPrintable(m_fx->mediaState()));
        QVERIFY2(m_fx->log().contains(QLatin1String("tone.m4a of slide 2 stopped")),
                 qPrintable(m_fx->mediaState()));
        QVERIFY(!view->media()->playing);
        m_share->setReadsHang(false);
        QTRY_COMPARE_WITH_TIMEOUT(readerThreads(), 0, 20000);
    }
};

CORVANE_TEST_MAIN(TestHostMediaShare)
#include "tst_host_media_share.moc"
