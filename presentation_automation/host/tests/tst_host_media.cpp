// Videos in slides as the audience sees them: decks that LibreOffice wrote with a clip made by
// ffmpeg, imported and shown by the real host program on a real X server, the video's
// rectangle read back from the screen: it moves while its slide is shown (an on-click clip
// only after Next), stands still once the slide is left, and a damaged clip leaves the
// slide's picture and one line in the log.

#include "host_test_support.h"
#include "media_deck.h"
#include "video_watch.h"

#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"
#include "platform/testing/x_grab.h"

#include <QRegularExpression>
#include <QStandardPaths>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;
using namespace platform::testing;

class TestHostMedia : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_decks;
    QString m_soffice;
    std::unique_ptr<HostFixture> m_fx;
    std::unique_ptr<DummyXServer> m_x;
    QString m_optionsDeck;

    // The middle of the video's rectangle on the primary display, which the 16:9 show fills.
    VideoWatch video() const { return {m_x->display, middleOf(mediaRect, threeDisplayPrimary)}; }
    QImage grabVideo() const { return video().grab(); }
    bool videoMoves() const { return video().moves(); }
    bool videoStill() const { return video().still(); }

    // What the host said and shows, for a failure's message.
    QString hostState() const
    {
        return m_fx->listing() + QLatin1Char('\n') + m_fx->log().right(3000);
    }

    std::shared_ptr<SlideShowView> startShow(const QString &deck)
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck));
        pres->slideShowSettings()->run();
        return pres->slideShowWindow()->view();
    }

    // The video's rectangle shows the page alone: neither a poster nor a frame.
    bool pageAlone() const
    {
        const QImage image = grabVideo();
        for (int y = 0; y < image.height(); y += 8) {
            for (int x = 0; x < image.width(); x += 8) {
                if (!sameColour(image.pixelColor(x, y), Qt::white, 12)) {
                    return false;
                }
            }
        }
        return !image.isNull();
    }

    static double remaining(const std::shared_ptr<SlideShowView> &view)
    {
        const std::optional<MediaState> m = view->media();
        return m && m->playing ? m->remainingSeconds.value_or(-1) : -1;
    }

    QString deckPath(const QString &format) const
    {
        return m_decks.filePath(QStringLiteral("made-%1/talk.%1").arg(format));
    }

private slots:
    void initTestCase()
    {
        m_soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (m_soffice.isEmpty()) {
            QSKIP("LibreOffice (soffice) is not installed");
        }
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0) {
            QSKIP("python3-uno is not installed");
        }
        const QString clip = m_decks.filePath(QStringLiteral("clip.mp4"));
        const QString why = makeTestClip(clip, 20);
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        // Bytes that are no medium at all, under a name that says they are.
        QFile damaged(m_decks.filePath(QStringLiteral("damaged.mp4")));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        QByteArray noise(64 * 1024, '\0');
        for (qsizetype i = 0; i < noise.size(); ++i) {
            noise[i] = static_cast<char>((i * 7919 + 13) % 251);
        }
        damaged.write(noise);
        damaged.close();

        const std::vector<MediaSlide> slides{
            {QStringLiteral("Clip on click"), MediaStart::OnClick, QStringLiteral("clip.mp4")},
            {QStringLiteral("Nothing moves"), MediaStart::None, {}},
            {QStringLiteral("Damaged clip"), MediaStart::WithSlide, QStringLiteral("damaged.mp4")},
        };
        const QString source = m_decks.filePath(QStringLiteral("source/talk.odp"));
        QDir().mkpath(QFileInfo(source).absolutePath());
        QVERIFY(writeMediaPackage(source, slides, m_decks.path(),
                                  {QStringLiteral("clip.mp4"), QStringLiteral("damaged.mp4")}));
        for (const QString &format : {QStringLiteral("pptx"), QStringLiteral("odp")}) {
            QVERIFY2(!resaveDeck(m_soffice, source, m_decks.path(), format).isEmpty(),
                     qPrintable(format));
        }
        m_optionsDeck = writeOptionsDeck(m_soffice, m_decks.filePath(QStringLiteral("options")));
        QVERIFY(!m_optionsDeck.isEmpty());
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

    void videoPlaysOnItsClickAndStopsWithItsSlide_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("pptx") << QStringLiteral("pptx");
        QTest::newRow("odp") << QStringLiteral("odp");
    }

    void videoPlaysOnItsClickAndStopsWithItsSlide()
    {
        QFETCH(QString, format);
        auto view = startShow(deckPath(format));
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 120000);
        // The poster, until the click that plays it.
        QVERIFY(videoStill());
        QVERIFY(!m_fx->listing().contains(QLatin1String("playing")));

        view->next();
        QCOMPARE(view->slide()->slideIndex(), 1);
        QVERIFY2(waitFor([this] { return videoMoves(); }, 20000), qPrintable(hostState()));
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(QLatin1String("media1.mp4 playing")),
                                 10000);
        // The remote state's figures: playing, and counting down within the clip's 20 s.
        const auto remaining = [&view]() -> double {
            const std::optional<MediaState> m = view->media();
            return m && m->playing ? m->remainingSeconds.value_or(-1) : -1;
        };
        // The clip's length comes from the backend a little after it starts.
        QTRY_VERIFY_WITH_TIMEOUT(remaining() > 0, 10000);
        const double first = remaining();
        QVERIFY2(first <= 20, qPrintable(QString::number(first)));
        QTRY_VERIFY_WITH_TIMEOUT(remaining() < first && remaining() > 0, 10000);

        // A blank covers the video and holds it; the reveal plays it on.
        view->setState(ppSlideShowBlackScreen);
        QVERIFY2(waitFor(
                     [this] {
                         return sameColour(cornerColour(grabVideo()), Qt::black, 6) && videoStill();
                     },
                     10000),
                 qPrintable(hostState()));
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(QLatin1String("media1.mp4 held")), 10000);
        QVERIFY(!view->media()->playing);
        view->setState(ppSlideShowRunning);
        QVERIFY2(waitFor([this] { return videoMoves(); }, 20000), qPrintable(hostState()));

        view->next();
        QCOMPARE(view->slide()->slideIndex(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(2), 30000);
        QVERIFY2(waitFor([this] { return videoStill(); }, 10000), qPrintable(hostState()));
        QVERIFY(!m_fx->listing().contains(QLatin1String("playing")));
        QVERIFY(!view->media()->playing);

        // Back on the slide, fully built: its clip plays again.
        view->previous();
        QCOMPARE(view->slide()->slideIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 30000);
        QVERIFY2(waitFor([this] { return videoMoves(); }, 20000), qPrintable(hostState()));
    }

    void damagedClipLeavesThePictureAndOneLogLine_data()
    {
        videoPlaysOnItsClickAndStopsWithItsSlide_data();
    }

    void damagedClipLeavesThePictureAndOneLogLine()
    {
        QFETCH(QString, format);
        auto view = startShow(deckPath(format));
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 120000);
        view->gotoSlide(3);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(3), 30000);
        const QLatin1String told("of slide 3 cannot be played");
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->log().contains(told), 20000);
        QVERIFY(videoStill());
        QCOMPARE(m_fx->log().count(told), 1);
        QVERIFY(m_fx->listing().contains(QLatin1String("media2.mp4 not played")));
        // The show steps on.
        view->gotoSlide(2);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(2), 30000);
        QCOMPARE(m_fx->log().count(told), 1);
    }

    // A clip trimmed to its 12th to 16th second and hidden while not playing: no poster before
    // its click, its part alone played, and nothing of it left once that part ends.
    void trimmedHiddenClipPlaysItsPartAlone()
    {
        auto view = startShow(m_optionsDeck);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 120000);
        QVERIFY2(pageAlone(), qPrintable(hostState()));
        view->next();
        QVERIFY2(waitFor([this] { return videoMoves(); }, 20000), qPrintable(hostState()));
        QTRY_VERIFY_WITH_TIMEOUT(remaining(view) > 0, 10000);
        // What is left of the 4 s part, not of the file's 20 s.
        QVERIFY2(remaining(view) <= 4.5, qPrintable(QString::number(remaining(view))));
        QTRY_VERIFY_WITH_TIMEOUT(!view->media()->playing, 30000);
        const QRegularExpression stopped(QStringLiteral("media1.mp4 stopped, ([0-9.]+) s elapsed"));
        QTRY_VERIFY_WITH_TIMEOUT(stopped.match(m_fx->listing()).hasMatch(), 10000);
        const double elapsed = stopped.match(m_fx->listing()).captured(1).toDouble();
        QVERIFY2(elapsed >= 3.5 && elapsed <= 4.5, qPrintable(hostState()));
        QVERIFY2(waitFor([this] { return pageAlone(); }, 10000), qPrintable(hostState()));
    }

    // A sound that plays across its slide and the next goes on there and stops beyond.
    void soundPlaysAcrossItsSlides()
    {
        auto view = startShow(m_optionsDeck);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(1), 120000);
        view->gotoSlide(2);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->listing().contains(QLatin1String("media2.m4a playing")),
                                 20000);
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(3), 30000);
        QVERIFY2(m_fx->listing().contains(QLatin1String("media2.m4a playing")) &&
                     m_fx->listing().contains(QLatin1String("from slide 2")),
                 qPrintable(hostState()));
        QVERIFY(view->media()->playing);
        view->next();
        QTRY_VERIFY_WITH_TIMEOUT(m_fx->onScreen(4), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_fx->listing().contains(QLatin1String("media2.m4a")), 10000);
        QVERIFY(!view->media()->playing);
    }
};

CORVANE_TEST_MAIN(TestHostMedia)
#include "tst_host_media.moc"
