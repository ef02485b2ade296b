// Export pictures made ahead: which pages get them, the cache that holds them, and the real
// host making them from held frames, so an export after a step only writes a file and an
// export "if drawn" never waits for a slide to be drawn.

#include "deck_maker.h"
#include "host_test_support.h"
#include "presentation_automation/host/decks/export_pictures.h"

#include "platform/testing/test_main.h"

#include <QImageReader>
#include <QRegularExpression>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;

namespace {

int picturesHeld(const ClientOptions &options)
{
    static const QRegularExpression line(QStringLiteral("^Export pictures held: (\\d+) "),
                                         QRegularExpression::MultilineOption);
    return line.match(statusListing(options)).captured(1).toInt();
}

QColor colourOf(const QString &path)
{
    return cornerColour(QImageReader(path).read());
}

} // namespace

class TestHostPictures : public QObject
{
    Q_OBJECT

private slots:
    void pagesAreTheFullyBuiltSlidesAhead()
    {
        // Slide 2 builds over pages 1..3 (0-based), slide 3 is page 4.
        DeckDescription deck = plainDeck(5);
        deck.slides.erase(deck.slides.begin() + 1, deck.slides.begin() + 4);
        SlideDescription built;
        built.states.resize(3);
        for (int i = 0; i < 3; ++i) {
            built.states[static_cast<size_t>(i)].page = i + 1;
        }
        deck.slides.insert(deck.slides.begin() + 1, built);
        QCOMPARE(deck.slideCount(), 3);
        // On screen, then the hint (each once, none past the end), then the slide after.
        QCOMPARE(picturePages(deck, 1, {3, 1, 9}), (std::vector<int>{1, 5, 4}));
        QCOMPARE(picturePages(deck, 3, {}), (std::vector<int>{5}));
    }

    void cacheKeepsTheRecentWithinItsCaps()
    {
        const auto key = [](const QString &pdf, int page) {
            return PictureKey{pdf, page, ExportShape{QSize(175, 125), "jpg"}};
        };
        PictureCache cache(3, 100);
        cache.insert(key("a", 1), QByteArray(30, 'x'));
        cache.insert(key("a", 2), QByteArray(30, 'x'));
        cache.insert(key("b", 1), QByteArray(30, 'x'));
        QVERIFY(cache.find(key("a", 1))); // used: kept over a 2
        cache.insert(key("b", 2), QByteArray(30, 'x'));
        QCOMPARE(cache.size(), 3);
        QVERIFY(!cache.find(key("a", 2)));
        cache.insert(key("b", 3), QByteArray(60, 'x')); // bytes: two must go
        QVERIFY(cache.bytes() <= 100);
        QVERIFY(cache.find(key("b", 3)));
        cache.insert(key("c", 1), QByteArray(101, 'x')); // larger than all: not kept
        QVERIFY(!cache.find(key("c", 1)));
        cache.keepOnly({QStringLiteral("a")});
        QVERIFY(!cache.find(key("b", 3)));
        QCOMPARE(cache.bytes(), std::int64_t(cache.size()) * 30);

        std::vector<ExportShape> shapes;
        for (int w : {175, 420, 175, 64, 32}) {
            noteExportShape(shapes, ExportShape{QSize(w, 10), "jpg"});
        }
        QCOMPARE(shapes.size(), maxExportShapes);
        QCOMPARE(shapes.front().size.width(), 32);
        QCOMPARE(shapes.back().size.width(), 175);
    }

    void theHostMakesThePicturesOfWhatComesNext()
    {
        HostFixture fx;
        const QString file = fx.path(QStringLiteral("thirty.pdf"));
        QVERIFY(makeDeck(file, 30));
        auto app = applicationFactory(fx.options)();
        auto pres = app->presentations()->open(str(file));
        pres->slideShowSettings()->run();
        const QString picture = fx.path(QStringLiteral("picture"));
        auto slides = pres->slides();

        // Not drawn: nothing is written and nothing waited for.
        QVERIFY(!slides->item(25)->exportIfDrawn(str(picture), "JPG", 175, 125));
        QVERIFY(!QFile::exists(picture));
        // The slide on screen is.
        QTRY_VERIFY_WITH_TIMEOUT(slides->item(1)->exportIfDrawn(str(picture), "JPG", 175, 125),
                                 20000);
        QVERIFY(sameColour(colourOf(picture), pageColour(0, 1)));

        // Hinted, slide 25 is drawn and its picture made without anyone asking for it.
        const int before = picturesHeld(fx.options);
        pres->prepareSlides({25});
        QTRY_VERIFY_WITH_TIMEOUT(picturesHeld(fx.options) >= before + 2, 20000);
        const int ahead = picturesHeld(fx.options);
        QVERIFY(slides->item(25)->exportIfDrawn(str(picture), "JPG", 175, 125));
        QVERIFY(sameColour(colourOf(picture), pageColour(0, 25)));
        slides->item(25)->exportTo(str(picture), "JPG", 175, 125);
        QCOMPARE(picturesHeld(fx.options), ahead); // both from the picture made ahead

        // A shape exported once is made ahead too: the web page's beside the preview's.
        slides->item(1)->exportTo(str(picture), "JPG", 420, 300);
        QTRY_VERIFY_WITH_TIMEOUT(picturesHeld(fx.options) >= ahead + 2, 20000);
        QVERIFY(slides->item(25)->exportIfDrawn(str(picture), "JPG", 420, 300));
        QCOMPARE(QImageReader(picture).size(), QSize(420, 300));
        QVERIFY(sameColour(colourOf(picture), pageColour(0, 25)));
    }
};

CORVANE_TEST_MAIN(TestHostPictures)
#include "tst_host_pictures.moc"
