// How effects move, fade and reveal their object: the easing profile, repeats and reverse,
// where each preset puts its sprite at a given progress, exits as entrances backwards,
// emphasis, and motion paths read from SVG data.

#include "presentation_automation/host/shows/effect_motion.h"

#include "platform/testing/test_main.h"

#include <cmath>
#include <limits>

using namespace pa::host;

namespace {

const QSizeF page(1000, 500);
// The object's box: 400..600 across, 200..250 down, its centre at (500, 225).
const QRectF box(0.4, 0.4, 0.2, 0.1);
const QRectF boxPx(400, 200, 200, 50);

SlideEffect effect(EffectFamily family, const QString &preset, const QString &subtype = {})
{
    SlideEffect e;
    e.family = family;
    e.preset = preset;
    e.subtype = subtype;
    e.durationSeconds = 1;
    e.rect = box;
    return e;
}

// With no easing and a one-second run from 0, the time is the progress.
SpritePose at(const SlideEffect &e, double p)
{
    return effectPose(e, p, page);
}

QPointF centreOf(const SpritePose &pose)
{
    return pose.transform.map(boxPx.center());
}

double degreesOf(const QTransform &t)
{
    return std::atan2(t.m12(), t.m11()) * 180 / M_PI;
}

bool near(double a, double b, double tolerance = 1e-6)
{
    return std::abs(a - b) <= tolerance;
}

} // namespace

class TestEffectMotion : public QObject
{
    Q_OBJECT

private slots:
    void easing_data()
    {
        QTest::addColumn<double>("accelerate");
        QTest::addColumn<double>("decelerate");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        QTest::newRow("none is linear") << 0.0 << 0.0 << 0.3 << 0.3;
        QTest::newRow("all speeding up") << 1.0 << 0.0 << 0.5 << 0.25;
        QTest::newRow("all slowing down") << 0.0 << 1.0 << 0.5 << 0.75;
        QTest::newRow("half and half, middle") << 0.5 << 0.5 << 0.5 << 0.5;
        QTest::newRow("half and half, quarter") << 0.5 << 0.5 << 0.25 << 0.125;
        QTest::newRow("fifths, middle") << 0.2 << 0.2 << 0.5 << 0.5;
        QTest::newRow("fifths, in the cruise") << 0.2 << 0.2 << 0.3 << 0.25;
        QTest::newRow("more than the whole is ignored") << 0.7 << 0.6 << 0.3 << 0.3;
    }

    void easing()
    {
        QFETCH(double, accelerate);
        QFETCH(double, decelerate);
        QFETCH(double, x);
        QFETCH(double, expected);
        QVERIFY2(near(easeTrapezoid(x, accelerate, decelerate), expected),
                 qPrintable(QString::number(easeTrapezoid(x, accelerate, decelerate))));
        QCOMPARE(easeTrapezoid(0, accelerate, decelerate), 0.0);
        QVERIFY(near(easeTrapezoid(1, accelerate, decelerate), 1.0));
        double before = 0;
        for (int i = 1; i <= 200; ++i) {
            const double now = easeTrapezoid(i / 200.0, accelerate, decelerate);
            QVERIFY2(now >= before, qPrintable(QStringLiteral("falls at %1").arg(i / 200.0)));
            before = now;
        }
        // Starting from rest: the slope at 0 is 0 when it speeds up.
        const double slope = easeTrapezoid(1e-3, accelerate, decelerate) / 1e-3;
        QVERIFY(accelerate > 0 && accelerate + decelerate <= 1 ? slope < 0.01 : slope > 0.5);
    }

    void progress_data()
    {
        QTest::addColumn<double>("delay");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("repeat");
        QTest::addColumn<bool>("reverse");
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("end");
        QTest::newRow("before the delay") << 1.0 << 2.0 << 1.0 << false << 0.5 << 0.0 << 3.0;
        QTest::newRow("half way") << 1.0 << 2.0 << 1.0 << false << 2.0 << 0.5 << 3.0;
        QTest::newRow("held at the end") << 1.0 << 2.0 << 1.0 << false << 9.0 << 1.0 << 3.0;
        QTest::newRow("second repeat") << 0.0 << 1.0 << 2.0 << false << 1.25 << 0.25 << 2.0;
        QTest::newRow("first repeat complete") << 0.0 << 1.0 << 2.0 << false << 1.0 << 1.0 << 2.0;
        QTest::newRow("after repeats") << 0.0 << 1.0 << 2.0 << false << 5.0 << 1.0 << 2.0;
        QTest::newRow("fractional repeat stops part way")
            << 0.0 << 1.0 << 1.5 << false << 5.0 << 0.5 << 1.5;
        QTest::newRow("reverse, going") << 0.0 << 1.0 << 1.0 << true << 0.5 << 0.5 << 2.0;
        QTest::newRow("reverse, coming back") << 0.0 << 1.0 << 1.0 << true << 1.75 << 0.25 << 2.0;
        QTest::newRow("reverse ends at the start")
            << 0.0 << 1.0 << 1.0 << true << 5.0 << 0.0 << 2.0;
        QTest::newRow("reverse, second repeat going")
            << 0.0 << 1.0 << 2.0 << true << 2.25 << 0.25 << 4.0;
        QTest::newRow("reverse, one and a half repeats end out")
            << 0.0 << 1.0 << 1.5 << true << 9.0 << 1.0 << 3.0;
        QTest::newRow("no duration jumps to the end")
            << 0.5 << 0.0 << 1.0 << false << 0.6 << 1.0 << 0.5;
        QTest::newRow("no repeat count plays once")
            << 0.0 << 1.0 << 0.0 << false << 0.5 << 0.5 << 1.0;
    }

    void progress()
    {
        QFETCH(double, delay);
        QFETCH(double, duration);
        QFETCH(double, repeat);
        QFETCH(bool, reverse);
        QFETCH(double, t);
        QFETCH(double, expected);
        QFETCH(double, end);
        SlideEffect e = effect(EffectFamily::Entrance, QStringLiteral("ooo-entrance-fade-in"));
        e.delaySeconds = delay;
        e.durationSeconds = duration;
        e.repeat = repeat;
        e.autoReverse = reverse;
        QVERIFY2(near(effectProgress(e, t), expected),
                 qPrintable(QString::number(effectProgress(e, t))));
        QVERIFY(near(effectEndSeconds(e), end));
        // The easing applies to each run: a slow start shows in the middle of a later one.
        e.accelerate = 1;
        if (expected > 0 && expected < 1) {
            QVERIFY(near(effectProgress(e, t), expected * expected));
        }
    }

    void entrances_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QString>("subtype");
        QTest::addColumn<double>("p");
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<QSizeF>("size"); // of the drawn box, bounding
        QTest::addColumn<double>("opacity");
        QTest::addColumn<QPointF>("shown");  // a page point the clip shows (-1, -1: unclipped)
        QTest::addColumn<QPointF>("hidden"); // one it hides

        const QPointF c(500, 225);
        const QSizeF full(200, 50);
        const QPointF none(-1, -1);
        auto row = [&](const char *name, const char *preset, const char *subtype, double p,
                       QPointF centre, QSizeF size, double opacity, QPointF shown = {-1, -1},
                       QPointF hidden = {-1, -1}) {
            QTest::newRow(name) << QString::fromLatin1(preset) << QString::fromLatin1(subtype) << p
                                << centre << size << opacity << shown << hidden;
        };
        row("appear", "ooo-entrance-appear", "", 0, c, full, 1);
        row("fade", "ooo-entrance-fade-in", "", 0.3, c, full, 0.3);
        row("dissolve fades", "ooo-entrance-dissolve-in", "", 0.5, c, full, 0.5);
        row("unknown fades", "ooo-entrance-no-such-thing", "", 0.4, c, full, 0.4);
        row("none fades", "", "", 0.6, c, full, 0.6);
        // Off the page: the right edge on the page's left edge.
        row("fly from left, start", "ooo-entrance-fly-in", "from-left", 0, {-100, 225}, full, 1);
        row("fly from left, half", "ooo-entrance-fly-in", "from-left", 0.5, {200, 225}, full, 1);
        row("fly from left, end", "ooo-entrance-fly-in", "from-left", 1, c, full, 1);
        row("fly from top right", "ooo-entrance-fly-in", "from-top-right", 0, {1100, -25}, full, 1);
        row("fly from bottom, half", "ooo-entrance-fly-in", "from-bottom", 0.5, {500, 375}, full,
            1);
        row("fly in slowly", "ooo-entrance-fly-in-slow", "from-right", 0, {1100, 225}, full, 1);
        row("ascend", "ooo-entrance-ascend", "", 0, {500, 275}, full, 0);
        row("descend, half", "ooo-entrance-descend", "", 0.5, {500, 200}, full, 0.5);
        row("zoom in", "ooo-entrance-zoom", "in", 0.5, c, {100, 25}, 1);
        row("zoom out", "ooo-entrance-zoom", "out", 0, c, {800, 200}, 1);
        row("zoom from the page centre", "ooo-entrance-zoom", "in-from-screen-center", 0,
            {500, 250}, {0, 0}, 1);
        row("stretch across", "ooo-entrance-stretchy", "across", 0.5, c, {100, 50}, 1);
        row("stretch from the left edge", "ooo-entrance-stretchy", "from-left", 0.5, {450, 225},
            {100, 50}, 1);
        row("stretch downward", "ooo-entrance-stretchy", "downward", 0.5, c, {200, 25}, 1);
        row("expand", "ooo-entrance-expand", "", 0, c, {140, 50}, 0);
        row("compress", "ooo-entrance-compress", "", 0, c, {500, 50}, 0);
        row("swivel face on", "ooo-entrance-swivel", "vertical", 0.2, c, full, 1);
        row("swivel edge on", "ooo-entrance-swivel", "vertical", 0.4, c, {0, 50}, 1);
        // Half a turn at half size: the same bounding size.
        row("spin in", "ooo-entrance-spin-in", "", 0.5, c, {100, 25}, 0.5);
        // Turned a quarter back and thrown up and right: translate, turn and scale compose
        // about the box's centre.
        row("float in, start", "ooo-entrance-float", "", 0, {900, 25}, {50, 200}, 0);
        row("boomerang, start", "ooo-entrance-boomerang", "", 0, {900, 125}, {50, 200}, 0);
        row("peek from bottom", "ooo-entrance-peek-in", "from-bottom", 0.5, {500, 250}, full, 1,
            {500, 210}, {500, 260});
        row("wipe from left", "ooo-entrance-wipe", "from-left", 0.5, c, full, 1, {450, 225},
            {550, 225});
        row("wipe from bottom", "ooo-entrance-wipe", "from-bottom", 0.25, c, full, 1, {500, 245},
            {500, 230});
        row("wipe done", "ooo-entrance-wipe", "from-left", 1, c, full, 1);
        row("box out", "ooo-entrance-box", "out", 0.5, c, full, 1, c, {405, 205});
        row("box in", "ooo-entrance-box", "in", 0.5, c, full, 1, {405, 205}, c);
        row("circle out", "ooo-entrance-circle", "out", 0.1, c, full, 1, c, {405, 205});
        row("circle in", "ooo-entrance-circle", "in", 0.5, c, full, 1, {405, 205}, c);
        row("oval out", "ooo-entrance-oval", "out", 0.5, c, full, 1, {560, 225}, {405, 205});
        row("diamond in", "ooo-entrance-diamond", "in", 0.5, c, full, 1, {405, 205}, c);
        row("diamond out", "ooo-entrance-diamond", "out", 0.5, c, full, 1, {560, 225}, {420, 205});
        row("plus out", "ooo-entrance-plus", "out", 0.2, c, full, 1, {500, 202}, {405, 205});
        row("plus in", "ooo-entrance-plus", "in", 0.2, c, full, 1, {405, 202}, c);
        row("split vertical out", "ooo-entrance-split", "vertical-out", 0.5, c, full, 1, c,
            {410, 225});
        row("split horizontal in", "ooo-entrance-split", "horizontal-in", 0.5, c, full, 1,
            {500, 202}, c);
        // Six slats 8.33 px tall, each half open.
        row("blinds horizontal", "ooo-entrance-venetian-blinds", "horizontal", 0.5, c, full, 1,
            {500, 201}, {500, 206.5});
        row("blinds vertical", "ooo-entrance-venetian-blinds", "vertical", 0.5, c, full, 1,
            {401, 225}, {430, 225});
        // Cells 25 px wide; the second row starts half a period later.
        row("checkerboard, first row", "ooo-entrance-checkerboard", "across", 0.25, c, full, 1,
            {405, 201}, {420, 201});
        row("checkerboard, second row", "ooo-entrance-checkerboard", "across", 0.25, c, full, 1,
            {430, 209}, {405, 209});
        row("wedge opens from twelve", "ooo-entrance-wedge", "", 0.25, c, full, 1, {500, 205},
            {500, 245});
        row("wheel of four", "ooo-entrance-wheel", "4", 0.5, c, full, 1, {508, 206}, {519, 217});
        row("clock wipe", "ooo-entrance-clock-wipe", "clockwise", 0.25, c, full, 1, {510, 215},
            {490, 215});
        row("random bars start hidden", "ooo-entrance-random-bars", "horizontal", 0, c, full, 1,
            none, c);
        row("snake starts top left", "ooo-entrance-snake-wipe", "from-top-left-horizontal", 0.2, c,
            full, 1, {405, 202}, {595, 248});
        row("spiral from the centre", "ooo-entrance-spiral-wipe", "from-center-clockwise", 0.2, c,
            full, 1, {495, 222}, {405, 202});
    }

    void entrances()
    {
        QFETCH(QString, preset);
        QFETCH(QString, subtype);
        QFETCH(double, p);
        QFETCH(QPointF, centre);
        QFETCH(QSizeF, size);
        QFETCH(double, opacity);
        QFETCH(QPointF, shown);
        QFETCH(QPointF, hidden);
        const SpritePose pose = at(effect(EffectFamily::Entrance, preset, subtype), p);
        QVERIFY(pose.visible);
        const QPointF drawn = centreOf(pose);
        QVERIFY2(near(drawn.x(), centre.x(), 0.01) && near(drawn.y(), centre.y(), 0.01),
                 qPrintable(QStringLiteral("centre %1, %2").arg(drawn.x()).arg(drawn.y())));
        const QSizeF drawnSize = pose.transform.mapRect(boxPx).size();
        QVERIFY2(
            near(drawnSize.width(), size.width(), 0.01) &&
                near(drawnSize.height(), size.height(), 0.01),
            qPrintable(
                QStringLiteral("size %1 x %2").arg(drawnSize.width()).arg(drawnSize.height())));
        QVERIFY(near(pose.opacity, opacity));
        const bool expectClip = shown != QPointF(-1, -1) || hidden != QPointF(-1, -1);
        QCOMPARE(pose.clipped, expectClip);
        if (shown != QPointF(-1, -1)) {
            QVERIFY(pose.clip.contains(shown));
        }
        if (hidden != QPointF(-1, -1)) {
            QVERIFY(!pose.clip.contains(hidden));
        }
    }

    void exitsMirrorEntrances_data()
    {
        QTest::addColumn<QString>("exit");
        QTest::addColumn<QString>("exitSubtype");
        QTest::addColumn<QString>("entrance");
        QTest::addColumn<QString>("entranceSubtype");
        auto row = [](const char *exit, const char *exitSub, const char *entrance,
                      const char *entranceSub) {
            QTest::newRow(exit) << QString::fromLatin1(exit) << QString::fromLatin1(exitSub)
                                << QString::fromLatin1(entrance)
                                << QString::fromLatin1(entranceSub);
        };
        row("ooo-exit-fly-out", "from-top-left", "ooo-entrance-fly-in", "from-top-left");
        row("ooo-exit-fade-out", "", "ooo-entrance-fade-in", "");
        row("ooo-exit-wipe", "from-right", "ooo-entrance-wipe", "from-right");
        row("ooo-exit-box", "in", "ooo-entrance-box", "in");
        row("ooo-exit-peek-out", "from-left", "ooo-entrance-peek-in", "from-left");
        row("ooo-exit-zoom", "out", "ooo-entrance-zoom", "in");
        row("ooo-exit-ascend", "", "ooo-entrance-descend", "");
        row("ooo-exit-spin-out", "", "ooo-entrance-spin-in", "");
        row("ooo-exit-unknown", "", "ooo-entrance-unknown", "");
    }

    void exitsMirrorEntrances()
    {
        QFETCH(QString, exit);
        QFETCH(QString, exitSubtype);
        QFETCH(QString, entrance);
        QFETCH(QString, entranceSubtype);
        const SlideEffect out = effect(EffectFamily::Exit, exit, exitSubtype);
        const SlideEffect in = effect(EffectFamily::Entrance, entrance, entranceSubtype);
        for (double p : {0.0, 0.2, 0.5, 0.75, 0.99}) {
            const SpritePose going = at(out, p);
            const SpritePose coming = at(in, 1 - p);
            QVERIFY(going.visible);
            QCOMPARE(going.transform, coming.transform);
            QVERIFY(near(going.opacity, coming.opacity));
            QCOMPARE(going.clipped, coming.clipped);
            QCOMPARE(going.clip, coming.clip);
        }
        // Whole and in place until it starts; gone once it has ended.
        SlideEffect later = out;
        later.delaySeconds = 1;
        const SpritePose waiting = effectPose(later, 0.5, page);
        QVERIFY(waiting.visible);
        QCOMPARE(centreOf(waiting), boxPx.center());
        QVERIFY(!waiting.clipped);
        QVERIFY(!effectPose(later, effectEndSeconds(later), page).visible);
        QVERIFY(!effectPose(later, 60, page).visible);
    }

    void visibility_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("preset");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("t");
        QTest::addColumn<bool>("visible");
        const int entrance = static_cast<int>(EffectFamily::Entrance);
        const int exit = static_cast<int>(EffectFamily::Exit);
        const int emphasis = static_cast<int>(EffectFamily::Emphasis);
        QTest::newRow("entrance before its delay")
            << entrance << "ooo-entrance-fly-in" << 1.0 << 0.9 << false;
        QTest::newRow("entrance at its delay")
            << entrance << "ooo-entrance-fly-in" << 1.0 << 1.0 << true;
        QTest::newRow("appear before its delay")
            << entrance << "ooo-entrance-appear" << 0.0 << 0.9 << false;
        QTest::newRow("appear cuts in") << entrance << "ooo-entrance-appear" << 0.0 << 1.0 << true;
        QTest::newRow("disappear before its delay")
            << exit << "ooo-exit-disappear" << 0.0 << 0.9 << true;
        QTest::newRow("disappear cuts out") << exit << "ooo-exit-disappear" << 0.5 << 1.1 << false;
        QTest::newRow("exit while running") << exit << "ooo-exit-fade-out" << 1.0 << 1.5 << true;
        QTest::newRow("exit after its end") << exit << "ooo-exit-fade-out" << 1.0 << 2.5 << false;
        QTest::newRow("blink first half")
            << emphasis << "ooo-emphasis-blink" << 1.0 << 1.25 << false;
        QTest::newRow("blink second half")
            << emphasis << "ooo-emphasis-blink" << 1.0 << 1.75 << true;
        QTest::newRow("blink before it starts")
            << emphasis << "ooo-emphasis-blink" << 1.0 << 0.5 << true;
    }

    void visibility()
    {
        QFETCH(int, family);
        QFETCH(QString, preset);
        QFETCH(double, duration);
        QFETCH(double, t);
        QFETCH(bool, visible);
        SlideEffect e = effect(static_cast<EffectFamily>(family), preset);
        e.delaySeconds = 1;
        e.durationSeconds = duration;
        QCOMPARE(effectPose(e, t, page).visible, visible);
    }

    void emphasis_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<double>("amount");
        QTest::addColumn<bool>("reverse");
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("degrees");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<double>("afterMix");
        QTest::newRow("spin by its amount")
            << "ooo-emphasis-spin" << 90.0 << false << 0.5 << 45.0 << -1.0 << 1.0 << 0.0;
        QTest::newRow("spin a full turn by default")
            << "ooo-emphasis-spin" << 0.0 << false << 0.25 << 90.0 << -1.0 << 1.0 << 0.0;
        QTest::newRow("grow half way to 1.5")
            << "ooo-emphasis-grow-and-shrink" << 0.0 << false << 0.5 << 0.0 << 250.0 << 1.0 << 0.0;
        QTest::newRow("grow to its amount")
            << "ooo-emphasis-grow-and-shrink" << 2.0 << false << 1.0 << 0.0 << 400.0 << 1.0 << 0.0;
        QTest::newRow("grow and come back")
            << "ooo-emphasis-grow-and-shrink" << 2.0 << true << 1.5 << 0.0 << 300.0 << 1.0 << 0.0;
        QTest::newRow("back after reverse")
            << "ooo-emphasis-grow-and-shrink" << 2.0 << true << 3.0 << 0.0 << 200.0 << 1.0 << 0.0;
        QTest::newRow("transparency by default")
            << "ooo-emphasis-transparency" << 0.0 << false << 1.0 << 0.0 << 200.0 << 0.25 << 0.0;
        QTest::newRow("transparency to its amount")
            << "ooo-emphasis-transparency" << 0.5 << false << 0.5 << 0.0 << 200.0 << 0.75 << 0.0;
        QTest::newRow("fill colour crossfades")
            << "ooo-emphasis-fill-color" << 0.0 << false << 0.3 << 0.0 << 200.0 << 1.0 << 0.3;
        QTest::newRow("font colour crossfades")
            << "ooo-emphasis-font-color" << 0.0 << false << 1.0 << 0.0 << 200.0 << 1.0 << 1.0;
        QTest::newRow("unknown stays still")
            << "ooo-emphasis-no-such" << 0.0 << false << 0.5 << 0.0 << 200.0 << 1.0 << 0.0;
    }

    void emphasis()
    {
        QFETCH(QString, preset);
        QFETCH(double, amount);
        QFETCH(bool, reverse);
        QFETCH(double, t);
        QFETCH(double, degrees);
        QFETCH(double, width);
        QFETCH(double, opacity);
        QFETCH(double, afterMix);
        SlideEffect e = effect(EffectFamily::Emphasis, preset);
        e.amount = amount;
        e.autoReverse = reverse;
        const SpritePose pose = effectPose(e, t, page);
        QVERIFY(pose.visible);
        QCOMPARE(centreOf(pose), boxPx.center());
        QVERIFY2(near(degreesOf(pose.transform), degrees, 1e-6),
                 qPrintable(QString::number(degreesOf(pose.transform))));
        if (width >= 0) {
            QVERIFY2(near(pose.transform.mapRect(boxPx).width(), width, 1e-6),
                     qPrintable(QString::number(pose.transform.mapRect(boxPx).width())));
        }
        QVERIFY(near(pose.opacity, opacity));
        QVERIFY(near(pose.afterMix, afterMix));
        QVERIFY(!pose.clipped);
    }

    void paths_data()
    {
        QTest::addColumn<QString>("svg");
        QTest::addColumn<double>("p");
        QTest::addColumn<QPointF>("shift"); // of the object at p
        QTest::addColumn<QPointF>("end");
        QTest::newRow("quarter page across, middle")
            << "M 0 0 L 0.25 0" << 0.5 << QPointF(125, 0) << QPointF(250, 0);
        QTest::newRow("quarter page across, end")
            << "M 0 0 L 0.25 0" << 1.0 << QPointF(250, 0) << QPointF(250, 0);
        QTest::newRow("relative lines")
            << "m 0 0 l 0.25 0 l 0 0.5" << 1.0 << QPointF(250, 250) << QPointF(250, 250);
        // Equal lengths: the corner is passed at half time.
        QTest::newRow("relative lines, corner")
            << "m 0 0 l 0.2 0 0 0.4" << 0.5 << QPointF(200, 0) << QPointF(200, 200);
        QTest::newRow("closed comes home")
            << "M 0 0 L 0.25 0 L 0.25 0.5 Z" << 1.0 << QPointF(0, 0) << QPointF(0, 0);
        // x = t^3 along the curve's parameter: constant speed puts the middle at half length.
        QTest::newRow("cubic at constant speed, middle")
            << "M 0 0 C 0 0 0 0 1 0" << 0.5 << QPointF(500, 0) << QPointF(1000, 0);
        QTest::newRow("cubic at constant speed, quarter")
            << "M 0 0 C 0 0 0 0 1 0" << 0.25 << QPointF(250, 0) << QPointF(1000, 0);
        QTest::newRow("relative cubic")
            << "M 0 0 c 0 0 0 0 0.5 0" << 0.5 << QPointF(250, 0) << QPointF(500, 0);
        QTest::newRow("quadratic")
            << "M 0 0 Q 0.5 0 0.5 0.5" << 1.0 << QPointF(500, 250) << QPointF(500, 250);
        QTest::newRow("commas and exponents")
            << "M0,0L2.5e-1,0" << 1.0 << QPointF(250, 0) << QPointF(250, 0);
    }

    void paths()
    {
        QFETCH(QString, svg);
        QFETCH(double, p);
        QFETCH(QPointF, shift);
        QFETCH(QPointF, end);
        QVERIFY(!motionPath(svg, page).isEmpty());
        SlideEffect e = effect(EffectFamily::MotionPath, QStringLiteral("ooo-motionpath-custom"));
        e.path = svg;
        const SpritePose pose = at(e, p);
        const QPointF moved = centreOf(pose) - boxPx.center();
        QVERIFY2(near(moved.x(), shift.x(), 1.0) && near(moved.y(), shift.y(), 1.0),
                 qPrintable(QStringLiteral("moved %1, %2").arg(moved.x()).arg(moved.y())));
        // Translate only.
        QCOMPARE(pose.transform.mapRect(boxPx).size(), boxPx.size());
        const QPointF last = motionEnd(e, page);
        QVERIFY2(near(last.x(), end.x(), 1e-6) && near(last.y(), end.y(), 1e-6),
                 qPrintable(QStringLiteral("end %1, %2").arg(last.x()).arg(last.y())));
        // There and back ends where it started.
        e.autoReverse = true;
        QCOMPARE(motionEnd(e, page), QPointF(0, 0));
    }

    void badPaths_data()
    {
        QTest::addColumn<QString>("svg");
        QTest::newRow("empty") << "";
        QTest::newRow("spaces") << "   ";
        QTest::newRow("no move first") << "L 0.1 0.1";
        QTest::newRow("numbers first") << "0 0 L 1 1";
        QTest::newRow("half a point") << "M 0";
        QTest::newRow("letters for numbers") << "M 0 0 L x y";
        QTest::newRow("arcs") << "M 0 0 A 1 1 0 0 0 1 1";
        QTest::newRow("too large") << "M 0 0 L 1e999 0";
        QTest::newRow("numbers after close") << "M 0 0 L 1 0 Z 3";
        QTest::newRow("a lone move") << "M 0.5 0.5";
        QTest::newRow("truncated curve") << "M 0 0 C 0.1 0.1 0.2";
        QTest::newRow("unknown command") << "M 0 0 X 1 1";
        QTest::newRow("stray sign") << "M 0 0 L - 1";
    }

    void badPaths()
    {
        QFETCH(QString, svg);
        QVERIFY(motionPath(svg, page).isEmpty());
        SlideEffect e = effect(EffectFamily::MotionPath, QStringLiteral("ooo-motionpath-custom"));
        e.path = svg;
        QCOMPARE(motionEnd(e, page), QPointF(0, 0));
        for (double t : {0.0, 0.5, 1.0, 2.0}) {
            const SpritePose pose = effectPose(e, t, page);
            QVERIFY(pose.visible);
            QCOMPARE(centreOf(pose), boxPx.center());
        }
    }

    // Whatever a deck holds, a pose is something a painter can draw.
    void oddInputsGiveDrawablePoses()
    {
        SlideEffect e = effect(EffectFamily::Entrance, QStringLiteral("ooo-entrance-fly-in"),
                               QStringLiteral("from-left"));
        e.durationSeconds = std::nan("");
        e.repeat = std::numeric_limits<double>::infinity();
        e.accelerate = -3;
        e.decelerate = 7;
        for (double t : {-1.0, 0.0, 0.5, 1e300, std::nan("")}) {
            const SpritePose pose = effectPose(e, t, page);
            QVERIFY(std::isfinite(pose.opacity));
            QVERIFY(std::isfinite(pose.transform.dx()) && std::isfinite(pose.transform.dy()));
            QVERIFY(std::isfinite(effectProgress(e, t)));
        }
        QVERIFY(std::isfinite(effectEndSeconds(e)));
        const SpritePose empty = effectPose(e, 0.5, QSizeF());
        QVERIFY(std::isfinite(empty.transform.dx()));
    }
};

CORVANE_TEST_MAIN(TestEffectMotion)
#include "tst_effect_motion.moc"
