// A build's effects as the audience sees them: the real host program on a real X server
// playing a deck's fade, fly-in and motion path, its show window read back from the screen
// while they play, and presses, a blank and an automatic build that end them.

#include "effect_deck.h"
#include "host_test_support.h"

#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"
#include "platform/testing/x_grab.h"

#include <QElapsedTimer>
#include <QRegularExpression>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;
using namespace platform::testing;

namespace {

constexpr double effectSeconds = 3;

// One look at the screen while a build plays.
struct Sample
{
    QColor centre;    // of the square's place when built
    int redLeft = -1; // the square's row: its red pixels' extent, -1 when none
    int redRight = -1;
    bool band = false; // the under page's band shows
};

bool red(const QColor &c)
{
    return c.red() > 200 && c.green() < 90 && c.blue() < 90;
}

} // namespace

class TestHostEffects : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_fx;
    std::unique_ptr<DummyXServer> m_x;
    QString m_deck;

    // The deck (16:9) fills the primary display.
    QPoint onScreen(double x, double y) const
    {
        return threeDisplayPrimary.topLeft() +
               QPoint(static_cast<int>(x * 1920), static_cast<int>(y * 1080));
    }

    Sample look() const
    {
        Sample s;
        const QPointF middle = effectSquare.center();
        const QImage row = grabX(m_x->display, QRect(onScreen(0, middle.y()), QSize(1920, 1)));
        const QImage patch = grabX(
            m_x->display, QRect(onScreen(middle.x(), middle.y()) - QPoint(2, 2), QSize(5, 5)));
        const QImage band = grabX(m_x->display, QRect(onScreen(0.05, 0.95), QSize(5, 5)));
        if (row.isNull() || patch.isNull() || band.isNull()) {
            return s;
        }
        s.centre = patch.pixelColor(2, 2);
        s.band = sameColour(band.pixelColor(2, 2), effectBand, 30);
        for (int x = 0; x < row.width(); ++x) {
            if (red(row.pixelColor(x, 0))) {
                s.redLeft = s.redLeft < 0 ? x : s.redLeft;
                s.redRight = x;
            }
        }
        return s;
    }

    bool onStep(int slide, int step) const
    {
        const QRegularExpression line(
            QStringLiteral("show running on slide %1, .*step %2 of \\d+, page (\\d+).*page on "
                           "screen: (\\d+)")
                .arg(slide)
                .arg(step));
        const auto m = line.match(m_fx->listing());
        return m.hasMatch() && m.captured(1) == m.captured(2);
    }

    bool pageHeld(int page) const
    {
        return heldPagesIn(m_fx->listing()).contains(QString::number(page));
    }

    std::shared_ptr<SlideShowView> startOn(int slide)
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(m_deck));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        if (slide > 1) {
            view->gotoSlide(slide);
        }
        return view;
    }

    // Next from the slide's first state once the effects' pictures are held; what the screen
    // shows until `until` says stop (or a while after the effects would have ended).
    std::vector<Sample> playBuild(SlideShowView &view, int slide,
                                  const std::function<bool(const Sample &)> &until = {})
    {
        if (!QTest::qWaitFor([&] { return onStep(slide, 1); }, 30000) ||
            !QTest::qWaitFor(
                [&] {
                    return m_fx->listing().contains(QLatin1String("next build's effects: held"));
                },
                30000)) {
            return {};
        }
        view.next();
        std::vector<Sample> samples;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < (effectSeconds + 3) * 1000) {
            samples.push_back(look());
            if (until && until(samples.back())) {
                break;
            }
            QTest::qWait(10);
        }
        return samples;
    }

private slots:
    void init()
    {
        if (const QString why = startHostOnX(m_fx, m_x, {QStringLiteral("--pdf-steps")});
            !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        m_deck = m_fx->path(QStringLiteral("effects.pdf"));
        QVERIFY(makeEffectDeck(m_deck, effectSeconds));
    }

    void cleanup()
    {
        m_fx.reset();
        m_x.reset();
    }

    void effectsPlayOverTheUnderPage_data()
    {
        QTest::addColumn<int>("slide");
        QTest::addColumn<QString>("effect");
        QTest::newRow("fade") << 1 << QStringLiteral("fade");
        QTest::newRow("fly-in from the left") << 2 << QStringLiteral("fly");
        QTest::newRow("motion path") << 3 << QStringLiteral("path");
    }

    void effectsPlayOverTheUnderPage()
    {
        QFETCH(int, slide);
        QFETCH(QString, effect);
        auto view = startOn(slide);
        const std::vector<Sample> samples = playBuild(*view, slide);
        QVERIFY(!samples.empty());
        QVERIFY(QTest::qWaitFor([&] { return onStep(slide, 2); }, 10000));
        const int builtLeft = static_cast<int>(effectSquare.left() * 1920);
        const int builtRight = static_cast<int>(effectSquare.right() * 1920);
        const int shift = static_cast<int>(effectPathShift * 1920);
        bool between = false;
        for (const Sample &s : samples) {
            // Whatever moves, it moves over the under page, never over the state before.
            QVERIFY2(s.band || s.redLeft < 0 || red(s.centre), "a square over the state before");
            if (effect == QLatin1String("fade")) {
                // Half-way a blend of the white under page and the red square, at its place.
                between = between || (s.band && s.centre.red() > 200 && s.centre.green() > 70 &&
                                      s.centre.green() < 185);
            } else if (effect == QLatin1String("fly") && s.redLeft >= 0) {
                // Standing between the left edge and where it is built, whole.
                QVERIFY(s.redRight <= builtRight + 3);
                between = between || (s.redRight < builtRight - 100 && s.redRight > 100);
            } else if (effect == QLatin1String("path") && s.redLeft >= 0 && s.band) {
                QVERIFY(s.redLeft >= builtLeft - 3 && s.redRight <= builtRight + shift + 3);
                between =
                    between || (s.redLeft > builtLeft + 60 && s.redLeft < builtLeft + shift - 60);
            }
        }
        QVERIFY2(between, "no frame of the effect under way was seen");
        // Ends where the effect leaves it: the path's end, else the square's place.
        const Sample end = look();
        const int left = effect == QLatin1String("path") ? builtLeft + shift : builtLeft;
        QVERIFY2(std::abs(end.redLeft - left) <= 3 && end.band,
                 qPrintable(QStringLiteral("square at %1").arg(end.redLeft)));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return m_fx->listing().contains(
                    QRegularExpression(QStringLiteral("last effects 1 in [1-9]")));
            },
            10000));
    }

    void somethingElseDuringEffectsEndsThemAtOnce_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("slide");
        QTest::addColumn<int>("step");
        QTest::newRow("next") << QStringLiteral("next") << 2 << 1;
        QTest::newRow("previous") << QStringLiteral("previous") << 1 << 1;
        QTest::newRow("go-to") << QStringLiteral("goto") << 3 << 1;
        QTest::newRow("blank") << QStringLiteral("blank") << 1 << 2;
        QTest::newRow("automatic build") << QStringLiteral("auto") << 4 << 3;
    }

    void somethingElseDuringEffectsEndsThemAtOnce()
    {
        QFETCH(QString, what);
        QFETCH(int, slide);
        QFETCH(int, step);
        const int from = what == QLatin1String("auto") ? 4 : 1;
        auto view = startOn(from);
        if (what == QLatin1String("auto")) {
            // The state the automatic build brings is held before the click: one drawn only
            // when needed shows the fade's end while it is drawn, as any late frame would.
            QVERIFY(QTest::qWaitFor([&] { return pageHeld(6); }, 30000));
        }
        // Until the fade is under way: the square's place a blend of white and red.
        const auto underWay = [](const Sample &s) {
            return s.band && s.centre.red() > 200 && s.centre.green() < 235 &&
                   s.centre.green() > 60 && std::abs(s.centre.green() - s.centre.blue()) < 30;
        };
        const std::vector<Sample> seen = playBuild(*view, from, underWay);
        QVERIFY(!seen.empty());
        QVERIFY2(underWay(seen.back()), "the fade was not seen under way");
        if (what == QLatin1String("next")) {
            view->next();
        } else if (what == QLatin1String("previous")) {
            view->previous();
        } else if (what == QLatin1String("goto")) {
            view->gotoSlide(3);
        } else if (what == QLatin1String("blank")) {
            view->setState(ppSlideShowBlackScreen);
        }
        if (what == QLatin1String("auto")) {
            // Counted from the click, it comes while the fade has two of its three seconds to
            // go: the square is never seen fully faded in before the next state.
            QElapsedTimer clock;
            clock.start();
            Sample s = look();
            while (!sameColour(s.centre, Qt::green, 60) && clock.elapsed() < 10000) {
                QVERIFY2(!red(s.centre), "the fade played to its end");
                s = look();
            }
        }
        QVERIFY(QTest::qWaitFor([&] { return onStep(slide, step); }, 10000));
        if (what == QLatin1String("blank")) {
            QVERIFY(QTest::qWaitFor([&] { return look().centre == QColor(Qt::black); }, 10000));
            view->setState(ppSlideShowRunning);
            // The reveal shows the build done, not the fade going on.
            QVERIFY(QTest::qWaitFor([&] { return look().centre != QColor(Qt::black); }, 10000));
            QVERIFY(red(look().centre));
            return;
        }
        const QColor shown = what == QLatin1String("auto") ? QColor(Qt::green) : QColor(Qt::white);
        QVERIFY(QTest::qWaitFor([&] { return sameColour(look().centre, shown, 40); }, 10000));
        if (what == QLatin1String("auto")) {
            return;
        }
        // The state stepped to, as it is: no square, no band, and no fade going on over it.
        for (int i = 0; i < 20; ++i) {
            const Sample s = look();
            QVERIFY(sameColour(s.centre, Qt::white, 10) && !s.band);
            QTest::qWait(20);
        }
    }
};

CORVANE_TEST_MAIN(TestHostEffects)
#include "tst_host_effects.moc"
