// Movies in plain PDF decks, as LaTeX and PDF presentation tools write them, shown by the real
// host program on a real X server with a clip made by ffmpeg beside the PDF (or inside it):
// the movie's rectangle moves while its page is shown; a movie named outside the PDF's
// folder is refused with a line in the log; the next slide's clip is held ready, and no
// more; a page's own timing waits for a clip that plays once, not for one that loops.

#include "host_test_support.h"
#include "media_deck.h"
#include "movie_pdf.h"
#include "video_watch.h"

#include "presentation_automation/host/shows/media_admission.h"

#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"

#include <QDirIterator>
#include <QRegularExpression>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;
using namespace platform::testing;

Q_DECLARE_METATYPE(pa::host::testing::MovieKind)

namespace {

const QRectF movieRect(0.2, 0.3, 0.5, 0.4);

} // namespace

class TestHostPdfMedia : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_clips;
    std::unique_ptr<HostFixture> m_fx;
    std::unique_ptr<DummyXServer> m_x;

    VideoWatch video() const { return {m_x->display, middleOf(movieRect, threeDisplayPrimary)}; }

    // The listing's line on frames: the MiB they may take, and those open media take.
    struct FramesRoom
    {
        int capMib = -1;
        int mediaMib = 0;
    };
    FramesRoom framesRoom() const
    {
        static const QRegularExpression line(QStringLiteral(
            R"(Frames held: \d+ \(\d+ MiB of (\d+) MiB(?:; open media take about (\d+) MiB)?\))"));
        const QRegularExpressionMatch m = line.match(m_fx->listing());
        return m.hasMatch() ? FramesRoom{m.captured(1).toInt(), m.captured(2).toInt()}
                            : FramesRoom{};
    }
    std::shared_ptr<SlideShowView> startShow(const QString &deck)
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck));
        pres->slideShowSettings()->run();
        return pres->slideShowWindow()->view();
    }

    // A deck in the fixture's folder with clip.mp4 (6 s, the clip made as source) beside it.
    QString deck(const std::vector<MoviePage> &pages,
                 const QString &source = QStringLiteral("clip.mp4"))
    {
        const QString pdf = m_fx->path(QStringLiteral("decks/movies.pdf"));
        QDir().mkpath(QFileInfo(pdf).absolutePath());
        QFile::copy(m_clips.filePath(source), m_fx->path(QStringLiteral("decks/clip.mp4")));
        return writeMoviePdf(pdf, pages) ? pdf : QString();
    }

private slots:
    void initTestCase()
    {
        const QString why = makeTestClip(m_clips.filePath(QStringLiteral("clip.mp4")), 6);
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        // Camera and editing footage: 4:2:2 and 10-bit H.264.
        for (const QString &pixels : {QStringLiteral("yuv422p"), QStringLiteral("yuv420p10le")}) {
            const QString made = makeTestClip(
                m_clips.filePath(QStringLiteral("clip-%1.mp4").arg(pixels)), 6, pixels);
            QVERIFY2(made.isEmpty(), qPrintable(made));
        }
    }

    void init()
    {
        if (const QString why = startHostOnX(m_fx, m_x); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
    }

    void cleanup()
    {
        m_fx.reset();
        m_x.reset();
    }

    void movieOfAPagePlaysWhileItIsShown_data()
    {
        QTest::addColumn<MovieKind>("kind");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("source");
        const QString clip = QStringLiteral("clip.mp4");
        QTest::newRow("movie annotation") << MovieKind::Movie << "clip.mp4 playing" << clip;
        QTest::newRow("screen, rendition of a file")
            << MovieKind::ScreenLinked << "clip.mp4 playing" << clip;
        QTest::newRow("screen, embedded rendition")
            << MovieKind::ScreenEmbedded << "embedded1-clip.mp4 playing" << clip;
        QTest::newRow("movie annotation, 4:2:2 clip")
            << MovieKind::Movie << "clip.mp4 playing" << QStringLiteral("clip-yuv422p.mp4");
        QTest::newRow("movie annotation, 10-bit clip")
            << MovieKind::Movie << "clip.mp4 playing" << QStringLiteral("clip-yuv420p10le.mp4");
    }
    void movieOfAPagePlaysWhileItIsShown()
    {
        QFETCH(MovieKind, kind);
        QFETCH(QString, listed);
        QFETCH(QString, source);
        const QString named = kind == MovieKind::ScreenEmbedded
                                  ? m_clips.filePath(QStringLiteral("clip.mp4"))
                                  : QStringLiteral("clip.mp4");
        const QString pdf = deck(
            {moviePage(Qt::darkBlue, kind, named, movieRect), plainPage(Qt::darkGreen)}, source);
        QVERIFY(!pdf.isEmpty());
        if (kind == MovieKind::ScreenEmbedded) {
            // Nothing beside the PDF to fall back on: the bytes come out of it.
            QVERIFY(QFile::remove(m_fx->path(QStringLiteral("decks/clip.mp4"))));
        }
        auto view = startShow(pdf);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 60000);
        const std::int64_t host = runningHostPid(m_fx->options);
        QVERIFY2(waitFor([this] { return video().moves(); }, 20000),
                 qPrintable(m_fx->mediaState()));
        QVERIFY2(m_fx->listing().contains(listed), qPrintable(m_fx->mediaState()));
        QTRY_VERIFY_WITH_TIMEOUT(view->media()->playing, 10000);
        // Played by the host that showed the first page, not by one started again after it
        // ended (a host put back shows the same slides).
        QTest::qWait(1000);
        QCOMPARE(runningHostPid(m_fx->options), host);
        if (kind == MovieKind::ScreenEmbedded) {
            QStringList written;
            QDirIterator it(m_fx->path(QStringLiteral("cache")), {QStringLiteral("embedded1-*")},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                written << it.next();
            }
            QCOMPARE(written.size(), 1);
            QVERIFY(written.first().contains(QLatin1String(".pdf.media/")));
            QCOMPARE(QFileInfo(written.first()).size(),
                     QFileInfo(m_clips.filePath(QStringLiteral("clip.mp4"))).size());
        }
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(2), 30000);
        QVERIFY2(waitFor([this] { return video().still(); }, 10000),
                 qPrintable(m_fx->mediaState()));
        QVERIFY(!view->media()->playing);
    }

    void movieNamedOutsideThePdfsFolderIsRefused_data()
    {
        QTest::addColumn<QString>("named");
        QTest::newRow("climbing out") << "../outside/clip.mp4";
        QTest::newRow("absolute path") << "OUTSIDE";
        QTest::newRow("URL") << "http://127.0.0.1:9/clip.mp4";
        QTest::newRow("link out of the folder") << "link.mp4";
        QTest::newRow("missing") << "nothing.mp4";
    }
    void movieNamedOutsideThePdfsFolderIsRefused()
    {
        QFETCH(QString, named);
        const QString outside = m_fx->path(QStringLiteral("outside/clip.mp4"));
        QDir().mkpath(QFileInfo(outside).absolutePath());
        QVERIFY(QFile::copy(m_clips.filePath(QStringLiteral("clip.mp4")), outside));
        if (named == QLatin1String("OUTSIDE")) {
            named = outside;
        }
        QDir().mkpath(m_fx->path(QStringLiteral("decks")));
        QVERIFY(QFile::link(outside, m_fx->path(QStringLiteral("decks/link.mp4"))));
        const QString pdf = deck({moviePage(Qt::darkBlue, MovieKind::Movie, named, movieRect)});
        QVERIFY(!pdf.isEmpty());
        auto view = startShow(pdf);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->log().contains(QLatin1String("on page 1 of")), 10000);
        QVERIFY2(m_fx->log().contains(QLatin1String("is not played")),
                 qPrintable(m_fx->mediaState()));
        QVERIFY(video().still());
        QVERIFY(!view->media()->playing);
        QVERIFY(!m_fx->listing().contains(QLatin1String("playing")));
    }

    // The clips the next step starts are held ready, those of no other slide.
    void nextSlidesClipIsHeldReady()
    {
        const QString pdf =
            deck({plainPage(Qt::darkBlue),
                  moviePage(Qt::darkGreen, MovieKind::Movie, QStringLiteral("clip.mp4"), movieRect),
                  moviePage(Qt::darkRed, MovieKind::Movie, QStringLiteral("clip.mp4"), movieRect),
                  plainPage(Qt::darkCyan)});
        QVERIFY(!pdf.isEmpty());
        const QLatin1String ready("media ready for the next step: 1");
        auto view = startShow(pdf);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(ready), 10000);
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(2), 30000);
        QVERIFY2(waitFor([this] { return video().moves(); }, 20000),
                 qPrintable(m_fx->mediaState()));
        // Slide 3's clip, held while slide 2's plays.
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(ready), 10000);
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(3), 30000);
        QVERIFY2(waitFor([this] { return video().moves(); }, 20000),
                 qPrintable(m_fx->mediaState()));
        // Slide 4 has none: nothing is held, slide 2's went with it.
        QTRY_VERIFY_WITH_TIMEOUT(!m_fx->listing().contains(QLatin1String("media ready")), 10000);
        view->gotoSlide(1);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(ready), 10000);
        QVERIFY(!view->media()->playing);
    }

    void pageTimingWaitsForAClipThatEnds_data()
    {
        QTest::addColumn<bool>("loop");
        QTest::newRow("played once: waits for its end") << false;
        QTest::newRow("looping: leaves on time") << true;
    }
    void pageTimingWaitsForAClipThatEnds()
    {
        QFETCH(bool, loop);
        MoviePage first =
            moviePage(Qt::darkBlue, MovieKind::Movie, QStringLiteral("clip.mp4"), movieRect);
        first.duration = 0.5;
        first.loop = loop;
        const QString pdf = deck({first, plainPage(Qt::darkGreen)});
        QVERIFY(!pdf.isEmpty());
        auto view = startShow(pdf);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1) || m_fx->onScreen(2), 60000);
        if (loop) {
            QTRY_COMPARE_WITH_TIMEOUT(view->slide()->slideIndex(), 2, 20000);
            return;
        }
        QVERIFY2(waitFor([this] { return video().moves(); }, 20000),
                 qPrintable(m_fx->mediaState()));
        // Well past the page's half second, the 6 s clip still holds the slide.
        QTest::qWait(1500);
        QCOMPARE(view->slide()->slideIndex(), 1);
        QVERIFY(view->media()->playing);
        QTRY_COMPARE_WITH_TIMEOUT(view->slide()->slideIndex(), 2, 20000);
        QVERIFY(!view->media()->playing);
    }

    // Videos beyond the host's bound leave their pictures and a line; the room comes back
    // when the show leaves them.
    void videosBeyondTheBoundAreNotPlayed()
    {
        MoviePage many =
            moviePage(Qt::darkGreen, MovieKind::Movie, QStringLiteral("clip.mp4"), movieRect);
        many.copies = 8;
        const QString pdf =
            deck({plainPage(Qt::darkBlue), many,
                  moviePage(Qt::darkRed, MovieKind::Movie, QStringLiteral("clip.mp4"), movieRect)});
        QVERIFY(!pdf.isEmpty());
        // Started, with no show yet.
        auto app = applicationFactory(m_fx->options)();
        const FramesRoom alone = framesRoom();
        QVERIFY2(alone.capMib > 0 && alone.mediaMib == 0, qPrintable(m_fx->listing()));
        // The media's memory is taken from the frames', MiB for MiB (each rounded down).
        const auto mediaTakeFramesPlace = [&] {
            const FramesRoom now = framesRoom();
            return now.mediaMib > 0 && std::abs(now.capMib + now.mediaMib - alone.capMib) <= 1;
        };
        auto view = startShow(pdf);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_fx->listing().contains(QLatin1String("media ready for the next step: 6")), 20000);
        // Once their first frames came, each is reckoned at its own picture, not at 1080p.
        const auto clipsMib = [](int clips) {
            return static_cast<int>(clips * mediumBytes(MediaKind::Video, QSize(320, 180)) /
                                    (1024 * 1024));
        };
        QTRY_COMPARE_WITH_TIMEOUT(framesRoom().mediaMib, clipsMib(6), 10000);
        QVERIFY2(mediaTakeFramesPlace(), qPrintable(m_fx->listing()));
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(2), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(m_fx->listing().count(QLatin1String("clip.mp4 playing")), 6,
                                  20000);
        QCOMPARE(m_fx->listing().count(QLatin1String("clip.mp4 not played")), 2);
        QCOMPARE(m_fx->log().count(QLatin1String("the most they play at once")), 2);
        // The two not played take no memory.
        QTRY_COMPARE_WITH_TIMEOUT(framesRoom().mediaMib, clipsMib(6), 5000);
        QVERIFY2(mediaTakeFramesPlace(), qPrintable(m_fx->listing()));
        // Slide 3's clip is not held while the six play; it plays once they are gone.
        QVERIFY2(!m_fx->listing().contains(QLatin1String("media ready")),
                 qPrintable(m_fx->mediaState()));
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(3), 30000);
        QVERIFY2(waitFor([this] { return video().moves(); }, 20000),
                 qPrintable(m_fx->mediaState()));
        QCOMPARE(m_fx->listing().count(QLatin1String("clip.mp4 playing")), 1);
        // The six gave their room back.
        QTRY_COMPARE_WITH_TIMEOUT(framesRoom().mediaMib, clipsMib(1), 5000);
        QVERIFY2(mediaTakeFramesPlace(), qPrintable(m_fx->listing()));
    }
};

CORVANE_TEST_MAIN(TestHostPdfMedia)
#include "tst_host_pdf_media.moc"
