// The pure parts of a build's effects: a sprite cut from its page on a transparent paper, the
// frames a build with effects needs and how they are held ahead within the budget, and the
// picture of a build at a moment of its effects.

#include "effect_deck.h"
#include "presentation_automation/host/decks/frame_plan.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/shows/effect_motion.h"
#include "presentation_automation/host/shows/effect_player.h"

#include "platform/testing/test_main.h"

#include <poppler-qt6.h>

#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace pa::host;
using namespace pa::host::testing;

Q_DECLARE_METATYPE(std::vector<pa::host::FrameKey>)

namespace {

const QString pdf = QStringLiteral("deck.pdf");
const QSize box(1920, 1080);

SlideEffect effect(EffectFamily family, const QString &preset, const QString &subtype = {},
                   int sprite = 3)
{
    SlideEffect e;
    e.family = family;
    e.preset = preset;
    e.subtype = subtype;
    e.durationSeconds = 1;
    e.spritePage = sprite;
    e.rect = effectSquare;
    return e;
}

// One slide: page 0, then a build to page 1 with these effects over `under`.
DeckDescription oneBuild(std::vector<SlideEffect> effects, int under = -1)
{
    DeckDescription deck = plainDeck(6);
    deck.slides.resize(1);
    BuildState built;
    built.page = 1;
    built.underPage = under;
    built.effects = std::move(effects);
    deck.slides[0].states.push_back(built);
    return deck;
}

// The red pixels of an image's row: first and last, -1 when none.
std::pair<int, int> redSpan(const QImage &image, int y)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c.red() > 200 && c.green() < 90 && c.blue() < 90) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    return {first, last};
}

} // namespace

class TestEffectFrames : public QObject
{
    Q_OBJECT

private slots:
    void aSpriteIsItsBoxGrownByAPixelWithinThePage_data()
    {
        QTest::addColumn<QRectF>("fraction");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("inside") << QRectF(0.25, 0.25, 0.5, 0.5) << QSize(100, 100)
                                << QRect(24, 24, 52, 52);
        QTest::newRow("at the corner")
            << QRectF(0, 0, 0.5, 0.5) << QSize(100, 100) << QRect(0, 0, 51, 51);
        QTest::newRow("part pixels")
            << QRectF(0.333, 0.1, 0.2, 0.1) << QSize(1920, 1080) << QRect(638, 107, 387, 110);
        QTest::newRow("off the page") << QRectF(-0.5, 0, 0.4, 0.2) << QSize(100, 100) << QRect();
    }

    void aSpriteIsItsBoxGrownByAPixelWithinThePage()
    {
        QFETCH(QRectF, fraction);
        QFETCH(QSize, frame);
        QFETCH(QRect, pixels);
        const QRect got = spritePixels(fraction, frame);
        QCOMPARE(got.isEmpty(), pixels.isEmpty());
        if (!pixels.isEmpty()) {
            QCOMPARE(got, pixels);
        }
    }

    void aSpriteIsTheObjectAloneOnATransparentPaper_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("cropped");
        QTest::addColumn<int>("marginAlpha");
        QTest::addColumn<QColor>("middle");
        QTest::newRow("sprite page cropped") << 3 << true << 0 << QColor(Qt::red);
        QTest::newRow("slide page cropped: its paper shows") << 1 << true << 255 << QColor(Qt::red);
        QTest::newRow("sprite page whole: white paper") << 3 << false << 255 << QColor(Qt::red);
    }

    void aSpriteIsTheObjectAloneOnATransparentPaper()
    {
        QFETCH(int, page);
        QFETCH(bool, cropped);
        QFETCH(int, marginAlpha);
        QFETCH(QColor, middle);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("effects.pdf"));
        QVERIFY(makeEffectDeck(path, 1));
        QString why;
        auto doc = loadPdf(path, &why);
        QVERIFY2(doc, qPrintable(why));
        const QSize frame = fitSize(doc->page(0)->pageSizeF(), box);
        const QImage image = renderSprite(*doc, page, box, cropped ? effectSquare : QRectF());
        QVERIFY(!image.isNull());
        const QRect at = cropped ? spritePixels(effectSquare, frame) : QRect(QPoint(0, 0), frame);
        QCOMPARE(image.size(), at.size());
        if (cropped) {
            QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        }
        // The margin's corner is outside the object; the middle is the object.
        QCOMPARE(image.pixelColor(0, 0).alpha(), marginAlpha);
        const QPoint centre = (QRectF(at).center() - QPointF(at.topLeft())).toPoint();
        const QPoint inImage =
            cropped ? centre
                    : QPoint(static_cast<int>(effectSquare.center().x() * frame.width()),
                             static_cast<int>(effectSquare.center().y() * frame.height()));
        QCOMPARE(image.pixelColor(inImage), middle);
    }

    void aBuildWithEffectsNeedsItsUnderPageAndSprites_data()
    {
        QTest::addColumn<DeckDescription>("deck");
        QTest::addColumn<int>("state");
        QTest::addColumn<std::vector<FrameKey>>("keys");
        const SlideEffect fade =
            effect(EffectFamily::Entrance, QStringLiteral("ooo-entrance-fade-in"));
        SlideEffect recolour =
            effect(EffectFamily::Emphasis, QStringLiteral("ooo-emphasis-fill-color"));
        recolour.spriteAfterPage = 4;
        const FrameKey sprite{pdf, 4, box, effectSquare};
        QTest::newRow("under page given, one sprite for two effects")
            << oneBuild({fade, fade}, 2) << 1
            << std::vector<FrameKey>{FrameKey{pdf, 3, box, {}}, sprite};
        QTest::newRow("over the state before")
            << oneBuild({fade}) << 1 << std::vector<FrameKey>{FrameKey{pdf, 1, box, {}}, sprite};
        QTest::newRow("a sprite it turns into")
            << oneBuild({recolour}, 2) << 1
            << std::vector<FrameKey>{FrameKey{pdf, 3, box, {}}, sprite,
                                     FrameKey{pdf, 5, box, effectSquare}};
        QTest::newRow("a slide's first state plays none")
            << oneBuild({fade}, 2) << 0 << std::vector<FrameKey>{};
        QTest::newRow("a build without effects") << oneBuild({}, 2) << 1 << std::vector<FrameKey>{};
    }

    void aBuildWithEffectsNeedsItsUnderPageAndSprites()
    {
        QFETCH(DeckDescription, deck);
        QFETCH(int, state);
        QFETCH(std::vector<FrameKey>, keys);
        const std::vector<FrameKey> got = effectFrames(deck, StepPosition{1, state}, pdf, box);
        QCOMPARE(got.size(), keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            QVERIFY2(got[i] == keys[i], qPrintable(QString::number(i)));
        }
    }

    void effectFramesAreHeldWithTheNextBuildWithinTheBudget()
    {
        const QSizeF points(960, 540);
        const FrameKey sprite{pdf, 4, box, effectSquare};
        const std::int64_t page = frameBytes(box);
        const std::int64_t spriteBytes = frameBytes(sprite, points);
        // A sprite costs its crop, not a page.
        QCOMPARE(spriteBytes, frameBytes(spritePixels(effectSquare, box).size()));
        ShowFrames show{pdf,
                        box,
                        {1, 2, 3, 4},
                        {},
                        {FrameKey{pdf, 6, box, {}}},
                        {FrameKey{pdf, 5, box, {}}, sprite},
                        points};
        // Room for the pages on screen, the next page, the next build's under page and sprite,
        // and no more.
        const FramePlan plan = planFrames({show}, 3 * page + page + spriteBytes);
        const std::vector<FrameKey> wanted{FrameKey{pdf, 1, box, {}}, FrameKey{pdf, 6, box, {}},
                                           FrameKey{pdf, 2, box, {}}, FrameKey{pdf, 5, box, {}},
                                           sprite};
        QCOMPARE(plan.urgent, size_t(2));
        QCOMPARE(plan.wanted.size(), wanted.size());
        for (size_t i = 0; i < wanted.size(); ++i) {
            QVERIFY2(plan.wanted[i] == wanted[i], qPrintable(QString::number(i)));
        }

        // Held apart from the pages, and never taken for one.
        FrameCache cache(100ll * 1024 * 1024);
        QImage spriteImage(10, 10, QImage::Format_ARGB32_Premultiplied);
        spriteImage.fill(Qt::transparent);
        cache.insert(FrameKey{pdf, 4, box, effectSquare}, spriteImage);
        QVERIFY(!cache.contains(FrameKey{pdf, 4, box, {}}));
        QVERIFY(cache.findAnySize(pdf, 4) == nullptr);
        QVERIFY(cache.heldPages(pdf, box).empty());
        QCOMPARE(cache.heldSprites(pdf, box), 1);
    }

    void aBuildAtAMomentOfItsEffects_data()
    {
        QTest::addColumn<SlideEffect>("fx");
        QTest::addColumn<double>("t");
        QTest::addColumn<QString>("seen");
        const SlideEffect fade =
            effect(EffectFamily::Entrance, QStringLiteral("ooo-entrance-fade-in"));
        SlideEffect late = fade;
        late.delaySeconds = 1;
        const SlideEffect fly =
            effect(EffectFamily::Entrance, QStringLiteral("ooo-entrance-fly-in"),
                   QStringLiteral("from-left"));
        SlideEffect path = effect(EffectFamily::MotionPath, QStringLiteral("ooo-motionpath-line"));
        path.path = QStringLiteral("M 0 0 L %1 0").arg(effectPathShift);
        const SlideEffect out = effect(EffectFamily::Exit, QStringLiteral("ooo-exit-fade-out"));
        QTest::newRow("fade half-way: a blend") << fade << 0.5 << QStringLiteral("blend");
        QTest::newRow("fade before its delay: not there") << late << 0.5 << QStringLiteral("none");
        QTest::newRow("fade at its end: the square") << fade << 1.0 << QStringLiteral("built");
        QTest::newRow("fly-in half-way: on its way") << fly << 0.5 << QStringLiteral("between");
        QTest::newRow("path at its end: at the path's end")
            << path << 1.0 << QStringLiteral("moved");
        QTest::newRow("path half-way: on the path") << path << 0.5 << QStringLiteral("on path");
        QTest::newRow("fade-out at its end: gone") << out << 1.0 << QStringLiteral("none");
    }

    void aBuildAtAMomentOfItsEffects()
    {
        QFETCH(SlideEffect, fx);
        QFETCH(double, t);
        QFETCH(QString, seen);
        // A page of 400 by 200 pixels drawn at the window's 1:1 at (20, 10).
        const QSize frame(400, 200);
        EffectPictures pictures;
        pictures.under = QImage(frame, QImage::Format_RGB32);
        pictures.under.fill(Qt::white);
        QImage sprite(spritePixels(fx.rect, frame).size(), QImage::Format_ARGB32_Premultiplied);
        sprite.fill(Qt::transparent);
        QPainter(&sprite).fillRect(sprite.rect().adjusted(1, 1, -1, -1), Qt::red);
        pictures.sprites = {sprite};
        pictures.afterSprites = {QImage()};
        const QRectF page(20, 10, 400, 200);
        QImage window(440, 220, QImage::Format_RGB32);
        window.fill(Qt::black);
        {
            QPainter painter(&window);
            paintEffects(painter, page, pictures, {fx}, t);
        }
        const int row = 10 + static_cast<int>(effectSquare.center().y() * 200);
        const QColor centre =
            window.pixelColor(20 + static_cast<int>(effectSquare.center().x() * 400), row);
        const auto [left, right] = redSpan(window, row);
        const int builtLeft = 20 + static_cast<int>(effectSquare.left() * 400);
        const int shift = static_cast<int>(effectPathShift * 400);
        if (seen == QLatin1String("blend")) {
            QVERIFY2(centre.red() > 240 && centre.green() > 90 && centre.green() < 165,
                     qPrintable(centre.name()));
        } else if (seen == QLatin1String("none")) {
            QCOMPARE(centre, QColor(Qt::white));
            QCOMPARE(left, -1);
        } else if (seen == QLatin1String("built")) {
            QCOMPARE(centre, QColor(Qt::red));
            QVERIFY(std::abs(left - builtLeft) <= 1);
        } else if (seen == QLatin1String("between")) {
            QVERIFY2(left >= 20 - 1 && left < builtLeft - 10 && right > 20,
                     qPrintable(QString::number(left)));
        } else if (seen == QLatin1String("moved")) {
            QVERIFY2(std::abs(left - (builtLeft + shift)) <= 1, qPrintable(QString::number(left)));
            QCOMPARE(centre, QColor(Qt::white));
        } else if (seen == QLatin1String("on path")) {
            QVERIFY2(left > builtLeft + 5 && left < builtLeft + shift - 5,
                     qPrintable(QString::number(left)));
        }
        // Nothing is drawn beside the page, and what is drawn lies in the area drawn again.
        QCOMPARE(window.pixelColor(5, row), QColor(Qt::black));
        const QRegion area = effectsArea(page, pictures, {fx}, t);
        if (left >= 0) {
            QVERIFY(area.contains(QPoint(left, row)) && area.contains(QPoint(right, row)));
        }
        // From the step's start, drawing only the areas of both moments gives the same frame.
        QImage again(window.size(), QImage::Format_RGB32);
        again.fill(Qt::black);
        {
            QPainter painter(&again);
            paintEffects(painter, page, pictures, {fx}, 0);
        }
        {
            const QRegion changed = area.united(effectsArea(page, pictures, {fx}, 0));
            QPainter painter(&again);
            painter.setClipRegion(changed);
            paintEffects(painter, page, pictures, {fx}, t, &changed);
        }
        QCOMPARE(again, window);
    }

    void opaqueBoundsOfAPicture_data()
    {
        QTest::addColumn<QRect>("painted");
        QTest::addColumn<QRect>("bounds");
        QTest::newRow("nothing painted") << QRect() << QRect();
        QTest::newRow("one pixel") << QRect(7, 3, 1, 1) << QRect(7, 3, 1, 1);
        QTest::newRow("a band") << QRect(2, 10, 30, 4) << QRect(2, 10, 30, 4);
        QTest::newRow("all of it") << QRect(0, 0, 40, 20) << QRect(0, 0, 40, 20);
    }

    void opaqueBoundsOfAPicture()
    {
        QFETCH(QRect, painted);
        QFETCH(QRect, bounds);
        QImage image(40, 20, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(painted, QColor(255, 0, 0, 40));
        QCOMPARE(opaqueBounds(image), bounds);
        // As the renderer tells it, the same.
        QImage told = image;
        told.setText(QStringLiteral("ink"), QStringLiteral("%1 %2 %3 %4")
                                                .arg(bounds.x())
                                                .arg(bounds.y())
                                                .arg(bounds.width())
                                                .arg(bounds.height()));
        QCOMPARE(spriteInk(told), bounds);
    }

    // One paragraph's sprite is its shape's box with only that paragraph drawn: a wipe from the
    // top half-way shows the upper half of the paragraph, not the shape's empty upper half.
    void aParagraphsEffectPlaysOverTheParagraph_data()
    {
        QTest::addColumn<bool>("paragraph");
        QTest::newRow("a paragraph") << true;
        QTest::newRow("a whole shape") << false;
    }

    void aParagraphsEffectPlaysOverTheParagraph()
    {
        QFETCH(bool, paragraph);
        const QSize frame(400, 200);
        SlideEffect fx =
            effect(EffectFamily::Entrance, QStringLiteral("ooo-entrance-wipe"), "from-top");
        fx.paragraph = paragraph;
        fx.rect = QRectF(0.1, 0.1, 0.5, 0.6);
        const QRect at = spritePixels(fx.rect, frame);
        // The paragraph: rows 70% to 90% down the shape.
        const QRect lines(10, at.height() * 7 / 10, at.width() - 20, at.height() / 5);
        EffectPictures pictures;
        pictures.under = QImage(frame, QImage::Format_RGB32);
        pictures.under.fill(Qt::white);
        QImage sprite(at.size(), QImage::Format_ARGB32_Premultiplied);
        sprite.fill(Qt::transparent);
        QPainter(&sprite).fillRect(lines, Qt::red);
        pictures.sprites = {sprite};
        pictures.afterSprites = {QImage()};
        std::vector<SlideEffect> effects{fx};
        fitParagraphsToInk(effects, pictures);
        if (paragraph) {
            // Its box is the paragraph's, and its sprite the paragraph alone, where it was.
            QCOMPARE(spritePixels(effects[0].rect, frame), lines.translated(at.topLeft()));
            QCOMPARE(pictures.sprites[0].size(), lines.size());
        } else {
            QCOMPARE(effects[0].rect, fx.rect);
            QCOMPARE(pictures.sprites[0].size(), at.size());
        }
        QImage window(frame, QImage::Format_RGB32);
        {
            QPainter painter(&window);
            paintEffects(painter, QRectF(QPointF(0, 0), frame), pictures, effects, 0.5);
        }
        const int x = at.x() + at.width() / 2;
        // A row or two in: the box's edges are antialiased.
        const QColor top = window.pixelColor(x, at.y() + lines.top() + 3);
        const QColor bottom = window.pixelColor(x, at.y() + lines.bottom() - 3);
        if (paragraph) {
            QCOMPARE(top, QColor(Qt::red));
            QCOMPARE(bottom, QColor(Qt::white));
        } else {
            QCOMPARE(top, QColor(Qt::white));
        }
        // Either way, its end is the paragraph where it stands.
        QImage end(frame, QImage::Format_RGB32);
        {
            QPainter painter(&end);
            paintEffects(painter, QRectF(QPointF(0, 0), frame), pictures, effects, 1.0);
        }
        QCOMPARE(end.pixelColor(x, at.y() + lines.top() + 1), QColor(Qt::red));
        QCOMPARE(end.pixelColor(x, at.y() + lines.bottom() - 1), QColor(Qt::red));
        QCOMPARE(end.pixelColor(x, at.y() + lines.top() - 2), QColor(Qt::white));
    }

    void effectsEndWithTheLastOfThem()
    {
        SlideEffect a = effect(EffectFamily::Entrance, QStringLiteral("ooo-entrance-fade-in"));
        SlideEffect b = a;
        b.delaySeconds = 0.5;
        b.durationSeconds = 2;
        QCOMPARE(effectsEndSeconds({a, b}), 2.5);
        QCOMPARE(effectsEndSeconds({}), 0.0);
    }
};

CORVANE_TEST_MAIN(TestEffectFrames)
#include "tst_effect_frames.moc"
