// The stepped import of decks LibreOffice saved as .pptx and .odp: the host's converter with
// the real import script and a real LibreOffice, checked through the PDF it wrote (Poppler's
// text and pixels of each page) and the description beside it; and the plain conversion it
// falls back to.

#include "media_deck.h"
#include "stepped_deck.h"

#include "presentation_automation/host/decks/converter.h"
#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/decks/import/stepped_import.h"
#include "presentation_automation/host/decks/render.h"

#include "platform/testing/test_main.h"

#include <poppler-qt6.h>

#include <QDirIterator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace pa::host;
using namespace pa::host::testing;

namespace {

QStringList warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg) {
        warnings << message;
    }
}

struct Converted
{
    QString pdf;
    QString error;
};

Converted convertWith(const QString &script, const QString &cacheDir, const QString &deck)
{
    Converter converter(cacheDir);
    converter.setImportScript(script);
    std::optional<Converted> result;
    converter.convert(deck, [&](const QString &pdf, const QString &error) {
        result = Converted{pdf, error};
    });
    // Two LibreOffice runs on a loaded machine in the worst case.
    QDeadlineTimer deadline(400000);
    while (!result && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return result.value_or(Converted{{}, QStringLiteral("no answer")});
}

// A converted deck as the host reads it: its PDF and the description beside it; why says
// what failed.
struct ReadBack
{
    std::unique_ptr<Poppler::Document> doc;
    std::optional<DeckDescription> deck;
    QString why;
};

ReadBack readBack(const QString &pdf)
{
    ReadBack r;
    r.doc = loadPdf(pdf, &r.why);
    if (!r.doc) {
        return r;
    }
    QFile json(descriptionPathFor(pdf));
    if (!json.open(QIODevice::ReadOnly)) {
        r.why = QStringLiteral("no description beside ") + pdf;
        return r;
    }
    r.deck = readDeckDescription(json.readAll(), r.doc->numPages(), &r.why);
    return r;
}

QString pageText(Poppler::Document &doc, int page)
{
    std::unique_ptr<Poppler::Page> p(doc.page(page));
    return p ? p->text(QRectF()).simplified() : QString();
}

// The colour where the picture of slide 2 sits once built.
QColor picturePixel(Poppler::Document &doc, int page)
{
    std::unique_ptr<Poppler::Page> p(doc.page(page));
    const QImage image = p->renderToImage(36, 36);
    return image.pixelColor(image.width() * 4 / 28, image.height() * 16 / 21);
}

// Renders a page at 36 dpi; clear: on no paper, as a sprite is drawn.
QImage renderPage(Poppler::Document &doc, int page, bool clear)
{
    doc.setRenderHint(Poppler::Document::IgnorePaperColor, clear);
    std::unique_ptr<Poppler::Page> p(doc.page(page));
    QImage image = p ? p->renderToImage(36, 36) : QImage();
    doc.setRenderHint(Poppler::Document::IgnorePaperColor, false);
    return image.convertToFormat(QImage::Format_ARGB32);
}

QRectF boxRect(const EffectBox &b)
{
    return QRectF(b.x / 28, b.y / 21, b.w / 28, b.h / 21);
}

QColor pixelAt(const QImage &image, QPointF fraction)
{
    return image.pixelColor(
        std::clamp(static_cast<int>(fraction.x() * image.width()), 0, image.width() - 1),
        std::clamp(static_cast<int>(fraction.y() * image.height()), 0, image.height() - 1));
}

bool isWhite(const QColor &c)
{
    return c.red() > 230 && c.green() > 230 && c.blue() > 230;
}

bool hasColour(const QColor &c, unsigned rgb)
{
    const QColor want(static_cast<QRgb>(rgb));
    return c.alpha() > 200 && std::abs(c.red() - want.red()) < 60 &&
           std::abs(c.green() - want.green()) < 60 && std::abs(c.blue() - want.blue()) < 60;
}

// Pixels drawn (not fully clear) outside rect (page fractions, widened by two pixels) and
// inside it.
std::pair<int, int> drawnOutsideInside(const QImage &image, const QRectF &rect)
{
    const QRectF px(rect.x() * image.width() - 2, rect.y() * image.height() - 2,
                    rect.width() * image.width() + 4, rect.height() * image.height() + 4);
    int outside = 0, inside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                continue;
            }
            (px.contains(QPointF(x + 0.5, y + 0.5)) ? inside : outside) += 1;
        }
    }
    return {outside, inside};
}

} // namespace

class TestDeckImport : public QObject
{
    Q_OBJECT

private:
    QString m_soffice;
    QTemporaryDir m_dir;
    QString m_fallbackDeck;

    QString script(const QString &name, const QByteArray &body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size()) {
            return {};
        }
        return path;
    }

private slots:
    void initTestCase()
    {
        m_soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (m_soffice.isEmpty()) {
            QSKIP("LibreOffice (soffice) is not installed");
        }
        qInstallMessageHandler(collectWarnings);
    }

    void buildsBecomePages_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("pptx") << QStringLiteral("pptx");
        QTest::newRow("odp") << QStringLiteral("odp");
    }

    void buildsBecomePages()
    {
        QFETCH(QString, format);
        if (SteppedImport::defaultScript().isEmpty() ||
            QProcess::execute(SteppedImport::python(),
                              {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0) {
            QSKIP("python3-uno is not installed");
        }
        const QString deck = saveDeckAs(m_soffice, flatDeckText(steppedSlides()), m_dir.path(),
                                        QStringLiteral("stepped"), format);
        QVERIFY2(!deck.isEmpty(), "LibreOffice did not save the deck");
        warnings.clear();
        const Converted c = convertWith(SteppedImport::defaultScript(),
                                        m_dir.filePath(QStringLiteral("cache-") + format), deck);
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));

        const ReadBack read = readBack(c.pdf);
        QVERIFY2(read.deck, qPrintable(read.why));
        const auto &doc = read.doc;
        const auto &d = read.deck;
        // A page per state, and for the spin its sprite and the page under it.
        QCOMPARE(doc->numPages(), 13);
        QCOMPARE(d->importer, SteppedImport::version());
        QCOMPARE(d->slideCount(), 5);
        QVERIFY(!d->loop);
        // Every effect is played or a cut but the trigger, which is reported.
        QCOMPARE(d->report.size(), 1);
        QVERIFY2(d->report[0].startsWith(QLatin1String("slide 3: 1 effect(s) started by clicking")),
                 qPrintable(d->report[0]));

        // Per slide: its pages, what reaches each state after the first, the transition.
        struct Expected
        {
            std::vector<int> pages;
            std::vector<bool> automatic;
            TransitionKind transition;
            bool hidden;
            std::optional<double> advanceAfter;
        };
        const std::vector<Expected> expected{
            {{0, 1, 2, 3, 4}, {false, false, false, false}, TransitionKind::Fade, false, {}},
            {{5, 6, 7}, {false, true}, TransitionKind::Push, false, {}},
            {{8}, {}, TransitionKind::Cut, false, 1.0},
            {{9}, {}, TransitionKind::Cut, true, {}},
            {{10, 10}, {false}, TransitionKind::Fade, false, {}},
        };
        for (size_t s = 0; s < expected.size(); ++s) {
            const SlideDescription &slide = d->slides[s];
            const Expected &e = expected[s];
            QCOMPARE(slide.states.size(), e.pages.size());
            for (size_t i = 0; i < e.pages.size(); ++i) {
                QCOMPARE(slide.states[i].page, e.pages[i]);
                if (i > 0) {
                    QCOMPARE(slide.states[i].automatic, e.automatic[i - 1]);
                }
            }
            QCOMPARE(slide.transition.kind, e.transition);
            QCOMPARE(slide.hidden, e.hidden);
            QCOMPARE(slide.advanceAfterSeconds.has_value(), e.advanceAfter.has_value());
            if (e.advanceAfter) {
                QCOMPARE(*slide.advanceAfterSeconds, *e.advanceAfter);
            }
        }
        QCOMPARE(d->slides[0].clickBuilds(), 4);
        QCOMPARE(d->slides[1].clickBuilds(), 1);
        // The caption follows the picture by its delay (and the picture's moment of showing).
        QVERIFY2(std::abs(d->slides[1].states[2].delaySeconds - 0.5) < 0.05,
                 qPrintable(QString::number(d->slides[1].states[2].delaySeconds)));
        // Pushed in from the right, whichever way the format names it.
        QCOMPARE(d->slides[1].transition.direction, TransitionDirection::Right);

        // Each page shows what is built at its state and nothing of what comes later.
        const QStringList bullets = steppedSlides()[0].bullets;
        for (int page = 0; page <= 4; ++page) {
            const QString text = pageText(*doc, page);
            QVERIFY2(text.contains(QLatin1String("Agenda")), qPrintable(text));
            for (int b = 0; b < bullets.size(); ++b) {
                QVERIFY2(text.contains(bullets[b]) == (b < page),
                         qPrintable(QStringLiteral("page %1: %2").arg(page).arg(text)));
            }
        }
        QVERIFY(!pageText(*doc, 6).contains(QLatin1String("Caption")));
        QVERIFY(pageText(*doc, 7).contains(QLatin1String("Caption of Picture")));
        const QColor before = picturePixel(*doc, 5);
        const QColor built = picturePixel(*doc, 6);
        QVERIFY2(before.red() > 200 && before.green() > 200, qPrintable(before.name()));
        QVERIFY2(built.red() > 150 && built.green() < 90, qPrintable(built.name()));
        // Slide number fields, in the slide's text and the master's, count slides, not pages.
        for (size_t s = 0; s < expected.size(); ++s) {
            for (const int page : expected[s].pages) {
                const QString text = pageText(*doc, page);
                const QString number = QString::number(s + 1);
                QVERIFY2(text.contains(QStringLiteral("(slide %1 of 5)").arg(number)) &&
                             text.section(QLatin1Char(' '), -1) == number,
                         qPrintable(QStringLiteral("page %1: %2").arg(page).arg(text)));
            }
        }
        QVERIFY(pageText(*doc, 9).contains(QLatin1String("Hidden")));
        QVERIFY(pageText(*doc, 10).contains(QLatin1String("Closing")));
        // Bullets and pictures that appear at once are the cuts between their pages; the
        // spin plays its title alone over the slide without it, both after the slide's page.
        for (size_t s = 0; s + 1 < expected.size(); ++s) {
            for (const BuildState &state : d->slides[s].states) {
                QVERIFY(state.effects.empty());
            }
        }
        const BuildState &spin = d->slides[4].states[1];
        QCOMPARE(spin.effects.size(), size_t(1));
        QCOMPARE(spin.effects[0].family, EffectFamily::Emphasis);
        QCOMPARE(spin.effects[0].preset, QStringLiteral("ooo-emphasis-spin"));
        QCOMPARE(spin.underPage, 11);
        QCOMPARE(spin.effects[0].spritePage, 12);
        QVERIFY(!pageText(*doc, 11).contains(QLatin1String("Closing")));
        QVERIFY(pageText(*doc, 12).startsWith(QLatin1String("Closing (slide 5 of 5)")));
    }

    void effectsAreDescribed_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("pptx") << QStringLiteral("pptx");
        QTest::newRow("odp") << QStringLiteral("odp");
    }

    // Each effect of a deck LibreOffice wrote, as the description gives it to the player: what
    // it is, its timing, the page of its object alone, the page it plays over; and the pages
    // of the states after a motion path show its object where the path ends.
    void effectsAreDescribed()
    {
        QFETCH(QString, format);
        if (SteppedImport::defaultScript().isEmpty() ||
            QProcess::execute(SteppedImport::python(),
                              {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0) {
            QSKIP("python3-uno is not installed");
        }
        const QString deck = saveDeckAs(m_soffice, flatDeckText({effectSlide()}), m_dir.path(),
                                        QStringLiteral("effects"), format);
        QVERIFY2(!deck.isEmpty(), "LibreOffice did not save the deck");
        const Converted c =
            convertWith(SteppedImport::defaultScript(),
                        m_dir.filePath(QStringLiteral("cache-effects-") + format), deck);
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        const ReadBack read = readBack(c.pdf);
        QVERIFY2(read.deck, qPrintable(read.why));
        const auto &doc = read.doc;
        const auto &d = read.deck;
        QVERIFY2(d->report.isEmpty(), qPrintable(d->report.join(QLatin1Char('\n'))));
        QCOMPARE(d->slideCount(), 1);
        const SlideDescription &slide = d->slides[0];
        QCOMPARE(slide.states.size(), size_t(9));

        enum class Under
        {
            StateBefore, // no page of its own: the state before shows it
            Own,         // the state's own page (what an exit leaves)
            New,         // a page of its own
        };
        const std::vector<Under> unders{Under::StateBefore, Under::StateBefore, Under::StateBefore,
                                        Under::Own,         Under::New,         Under::New,
                                        Under::StateBefore, Under::New};
        struct Expected
        {
            size_t state;
            EffectFamily family;
            const char *preset;
            const char *subtype;
            EffectStart start;
            double duration;
            int box; // in effectBoxes; -1: the arriving paragraph
            double amount;
            double decelerate;
        };
        const std::vector<Expected> expected{
            {1, EffectFamily::Entrance, "ooo-entrance-fade-in", "", EffectStart::OnClick, 0.5, 0, 0,
             0},
            {2, EffectFamily::Entrance, "ooo-entrance-fly-in", "from-left", EffectStart::OnClick,
             0.5, 1, 0, 0},
            {3, EffectFamily::Entrance, "ooo-entrance-wipe", "from-bottom",
             EffectStart::AfterPrevious, 0.5, 2, 0, 0},
            {4, EffectFamily::Exit, "ooo-exit-fade-out", "", EffectStart::OnClick, 0.5, 3, 0, 0},
            {5, EffectFamily::Emphasis, "ooo-emphasis-spin", "", EffectStart::OnClick, 1, 0, 360,
             0},
            {5, EffectFamily::Emphasis, "ooo-emphasis-grow-and-shrink", "",
             EffectStart::WithPrevious, 0.5, 1, 1.5, 0},
            {6, EffectFamily::MotionPath, "ooo-motionpath-right", "", EffectStart::OnClick, 2, 4, 0,
             0.5},
            {7, EffectFamily::Entrance, "ooo-entrance-fade-in", "", EffectStart::OnClick, 0.5, -1,
             0, 0},
            {8, EffectFamily::Emphasis, "ooo-emphasis-fill-color", "", EffectStart::OnClick, 2, 2,
             0, 0},
        };
        // The after-previous wipe is its own step, reached on its own once B has flown in.
        QVERIFY(slide.states[3].automatic);
        QVERIFY(std::abs(slide.states[3].delaySeconds - 0.5) < 0.01);
        std::vector<int> statePages;
        for (const BuildState &state : slide.states) {
            statePages.push_back(state.page);
        }
        const QRectF text(1.0 / 28, 4.5 / 21, 26.0 / 28, 8.0 / 21);

        size_t next = 0;
        for (size_t i = 1; i < slide.states.size(); ++i) {
            const BuildState &state = slide.states[i];
            const QString where = QStringLiteral("state %1").arg(i);
            switch (unders[i - 1]) {
            case Under::StateBefore:
                QVERIFY2(state.underPage == -1, qPrintable(where));
                break;
            case Under::Own:
                QVERIFY2(state.underPage == state.page, qPrintable(where));
                break;
            case Under::New:
                QVERIFY2(state.underPage >= 0 && state.underPage != state.page &&
                             state.underPage != slide.states[i - 1].page,
                         qPrintable(where));
                break;
            }
            const int underPage = state.underPage >= 0 ? state.underPage : slide.states[i - 1].page;
            const QImage under = renderPage(*doc, underPage, false);
            for (const SlideEffect &effect : state.effects) {
                QVERIFY2(next < expected.size(), qPrintable(where));
                const Expected &e = expected[next++];
                const QString what = where + QLatin1String(": ") + QLatin1String(e.preset);
                QCOMPARE(i, e.state);
                QCOMPARE(effect.family, e.family);
                QCOMPARE(effect.preset, QLatin1String(e.preset));
                QCOMPARE(effect.subtype, QLatin1String(e.subtype));
                QCOMPARE(effect.start, e.start);
                QVERIFY2(effect.delaySeconds < 0.01, qPrintable(what));
                QVERIFY2(std::abs(effect.durationSeconds - e.duration) < 0.01, qPrintable(what));
                QVERIFY2(std::abs(effect.amount - e.amount) < 0.01, qPrintable(what));
                // LibreOffice writes no acceleration into a .pptx.
                const double decelerate = format == QLatin1String("pptx") ? 0 : e.decelerate;
                QVERIFY2(std::abs(effect.decelerate - decelerate) < 0.01, qPrintable(what));
                QCOMPARE(effect.repeat, 1.0);
                QCOMPARE(effect.paragraph, e.box < 0);
                const QRectF rect = e.box < 0 ? text : boxRect(effectBoxes[e.box]);
                QVERIFY2(std::abs(effect.rect.x() - rect.x()) < 0.01 &&
                             std::abs(effect.rect.y() - rect.y()) < 0.01 &&
                             std::abs(effect.rect.width() - rect.width()) < 0.01 &&
                             std::abs(effect.rect.height() - rect.height()) < 0.01,
                         qPrintable(what));
                if (e.family == EffectFamily::MotionPath) {
                    QCOMPARE(effect.path.split(QLatin1Char(' '), Qt::SkipEmptyParts),
                             QStringList({QStringLiteral("M"), QStringLiteral("0"),
                                          QStringLiteral("0"), QStringLiteral("L"),
                                          QString::number(effectPathX), QStringLiteral("0")}));
                }
                // The sprite: the object alone, clear everywhere else.
                QVERIFY2(std::find(statePages.begin(), statePages.end(), effect.spritePage) ==
                             statePages.end(),
                         qPrintable(what));
                const QImage sprite = renderPage(*doc, effect.spritePage, true);
                const auto [outside, inside] = drawnOutsideInside(sprite, rect);
                QVERIFY2(outside == 0,
                         qPrintable(what + QStringLiteral(": %1 pixels outside").arg(outside)));
                QVERIFY2(inside > 0, qPrintable(what));
                if (e.box >= 0) {
                    QVERIFY2(hasColour(pixelAt(sprite, rect.center()), effectBoxes[e.box].rgb),
                             qPrintable(what));
                    // The page it plays over lacks it.
                    QVERIFY2(isWhite(pixelAt(under, rect.center())), qPrintable(what));
                    // Only a change of colour has a second picture: the object as it ends.
                    const bool recoloured = QLatin1String(e.preset).endsWith(u"color");
                    QVERIFY2((effect.spriteAfterPage >= 0) == recoloured, qPrintable(what));
                    if (recoloured) {
                        const QImage after = renderPage(*doc, effect.spriteAfterPage, true);
                        QCOMPARE(drawnOutsideInside(after, rect).first, 0);
                        QVERIFY2(hasColour(pixelAt(after, rect.center()), effectRecolour),
                                 qPrintable(what));
                        QVERIFY2(
                            hasColour(pixelAt(renderPage(*doc, state.page, false), rect.center()),
                                      effectRecolour),
                            qPrintable(what));
                    }
                } else {
                    QCOMPARE(pageText(*doc, effect.spritePage),
                             QStringLiteral("Arriving paragraph"));
                    QVERIFY(!pageText(*doc, underPage).contains(QLatin1String("Arriving")));
                    QVERIFY(pageText(*doc, state.page).contains(QLatin1String("Arriving")));
                }
            }
        }
        QCOMPARE(next, expected.size());
        // C stands while A and B are animated: the page under them is the slide without them.
        QVERIFY(hasColour(pixelAt(renderPage(*doc, slide.states[5].underPage, false),
                                  boxRect(effectBoxes[2]).center()),
                          effectBoxes[2].rgb));
        // E ends where its path does, in every state from there on.
        const QRectF e = boxRect(effectBoxes[4]);
        for (const size_t i : {size_t(6), size_t(7)}) {
            const QImage page = renderPage(*doc, slide.states[i].page, false);
            QVERIFY2(isWhite(pixelAt(page, e.center())), qPrintable(QString::number(i)));
            QVERIFY2(
                hasColour(pixelAt(page, e.center() + QPointF(effectPathX, 0)), effectBoxes[4].rgb),
                qPrintable(QString::number(i)));
        }
        const QImage before = renderPage(*doc, slide.states[5].page, false);
        QVERIFY(hasColour(pixelAt(before, e.center()), effectBoxes[4].rgb));
    }

    void officeAndBridgeAgree_data()
    {
        QTest::addColumn<QString>("deckName");
        QTest::addColumn<QString>("format");
        QTest::newRow("builds, pptx") << QStringLiteral("stepped") << QStringLiteral("pptx");
        QTest::newRow("effects, odp") << QStringLiteral("effects") << QStringLiteral("odp");
    }

    // LibreOffice's own Python expands the slides where it has its script provider, and the
    // script does the same over the UNO bridge where it has not: both write the same pages
    // and the same description.
    void officeAndBridgeAgree()
    {
        QFETCH(QString, deckName);
        QFETCH(QString, format);
        if (SteppedImport::defaultScript().isEmpty() ||
            QProcess::execute(SteppedImport::python(),
                              {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0) {
            QSKIP("python3-uno is not installed");
        }
        const QString deck = saveDeckAs(m_soffice,
                                        flatDeckText(deckName == QLatin1String("stepped")
                                                         ? steppedSlides()
                                                         : std::vector{effectSlide()}),
                                        m_dir.path(), QStringLiteral("agree-") + deckName, format);
        QVERIFY2(!deck.isEmpty(), "LibreOffice did not save the deck");
        QFile real(SteppedImport::defaultScript());
        QVERIFY(real.open(QIODevice::ReadOnly));
        QByteArray text = real.readAll();
        // A name LibreOffice's script provider does not find: the script goes over the bridge.
        const QByteArray entry = "$expand_in_office?";
        QCOMPARE(text.count(entry), qsizetype(1));
        text.replace(entry, "$not_in_this_file?");
        const QString overBridge = script(QStringLiteral("over_bridge.py"), text);
        QVERIFY(!overBridge.isEmpty());

        const QString tag = QString::fromLatin1(QTest::currentDataTag()).remove(QLatin1Char(' '));
        const Converted office = convertWith(SteppedImport::defaultScript(),
                                             m_dir.filePath(QStringLiteral("office-") + tag), deck);
        const Converted bridge =
            convertWith(overBridge, m_dir.filePath(QStringLiteral("bridge-") + tag), deck);
        QVERIFY2(office.error.isEmpty(), qPrintable(office.error));
        QVERIFY2(bridge.error.isEmpty(), qPrintable(bridge.error));
        QFile officeJson(descriptionPathFor(office.pdf));
        QFile bridgeJson(descriptionPathFor(bridge.pdf));
        QVERIFY(officeJson.open(QIODevice::ReadOnly) && bridgeJson.open(QIODevice::ReadOnly));
        const QByteArray described = officeJson.readAll();
        QVERIFY(described.contains("\"effects\""));
        QCOMPARE(bridgeJson.readAll(), described);
        QString why;
        auto officeDoc = loadPdf(office.pdf, &why);
        QVERIFY2(officeDoc, qPrintable(why));
        auto bridgeDoc = loadPdf(bridge.pdf, &why);
        QVERIFY2(bridgeDoc, qPrintable(why));
        QCOMPARE(bridgeDoc->numPages(), officeDoc->numPages());
        for (int page = 0; page < officeDoc->numPages(); ++page) {
            QVERIFY2(renderPage(*bridgeDoc, page, true) == renderPage(*officeDoc, page, true),
                     qPrintable(QStringLiteral("page %1 differs").arg(page)));
        }
    }

    // The script says how far it has come as it opens the deck and after each slide, for the
    // host's time limit.
    void importSaysItsProgress()
    {
        if (SteppedImport::defaultScript().isEmpty() ||
            QProcess::execute(SteppedImport::python(),
                              {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0) {
            QSKIP("python3-uno is not installed");
        }
        if (m_fallbackDeck.isEmpty()) {
            m_fallbackDeck = saveDeckAs(m_soffice, flatDeckText(steppedSlides()), m_dir.path(),
                                        QStringLiteral("fallback"), QStringLiteral("pptx"));
        }
        QVERIFY(!m_fallbackDeck.isEmpty());
        QProcess script;
        script.start(SteppedImport::python(),
                     {SteppedImport::defaultScript(), QStringLiteral("--soffice"), m_soffice,
                      QStringLiteral("--profile"),
                      m_dir.filePath(QStringLiteral("profile-progress")), QStringLiteral("--pipe"),
                      QStringLiteral("progress-%1").arg(QCoreApplication::applicationPid()),
                      m_fallbackDeck, m_dir.filePath(QStringLiteral("progress.pdf"))});
        QVERIFY(script.waitForFinished(300000));
        QCOMPARE(script.exitCode(), 0);
        const QString out = QString::fromUtf8(script.readAllStandardOutput());
        QCOMPARE(out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 QStringList({QStringLiteral("progress 0 5"), QStringLiteral("progress 1 5"),
                              QStringLiteral("progress 2 5"), QStringLiteral("progress 3 5"),
                              QStringLiteral("progress 4 5"), QStringLiteral("progress 5 5")}));
    }

    // A deck the import cannot do is converted a page per slide, with one line in the log
    // that says so; whether it is tried again depends on why it failed.
    void fallsBackToPlainConversion_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<bool>("triedAgain");
        const QByteArray counting = "import sys\nopen(sys.argv[0] + '.runs', 'a').write('x')\n";
        QTest::newRow("no UNO bridge") << counting + "sys.stderr.write('no uno\\n')\nsys.exit(3)\n"
                                       << QStringLiteral("needs python3-uno") << true;
        QTest::newRow("deck refused")
            << counting + "sys.stderr.write('LibreOffice cannot open it\\n')\nsys.exit(4)\n"
            << QStringLiteral("failed: LibreOffice cannot open it") << false;
        QTest::newRow("crashed") << counting + "import os\nos.abort()\n"
                                 << QStringLiteral("ended unexpectedly") << true;
        QTest::newRow("no description") << counting + "sys.exit(0)\n"
                                        << QStringLiteral("wrote no usable PDF") << false;
    }

    void fallsBackToPlainConversion()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, logged);
        QFETCH(bool, triedAgain);
        if (m_fallbackDeck.isEmpty()) {
            m_fallbackDeck = saveDeckAs(m_soffice, flatDeckText(steppedSlides()), m_dir.path(),
                                        QStringLiteral("fallback"), QStringLiteral("pptx"));
        }
        const QString deck = m_fallbackDeck;
        QVERIFY(!deck.isEmpty());
        const QString fake = script(QStringLiteral("%1.py").arg(QTest::currentDataTag()), body);
        const QString cache =
            m_dir.filePath(QStringLiteral("cache-") + QString::fromLatin1(QTest::currentDataTag()));
        for (int open = 1; open <= 2; ++open) {
            warnings.clear();
            const Converted c = convertWith(fake, cache, deck);
            QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
            // Beside it, a plain description whose report says why it has no builds, so the
            // programs that load it can tell the operator, on this open and the next.
            const ReadBack read = readBack(c.pdf);
            QVERIFY2(read.deck, qPrintable(read.why));
            const auto &described = read.deck;
            // LibreOffice's own PDF export leaves the hidden slide out.
            QCOMPARE(read.doc->numPages(), 4);
            QCOMPARE(described->slideCount(), 4);
            QCOMPARE(described->report.size(), 1);
            QVERIFY2(described->report[0].startsWith(QLatin1String("shown without its builds")) &&
                         described->report[0].contains(logged),
                     qPrintable(described->report[0]));
            QFile runs(fake + QStringLiteral(".runs"));
            QVERIFY(runs.open(QIODevice::ReadOnly));
            QCOMPARE(runs.size(), qint64(open == 2 && triedAgain ? 2 : 1));
            if (open == 1 || triedAgain) {
                QCOMPARE(warnings.size(), 1);
                QVERIFY2(warnings[0].contains(deck) && warnings[0].contains(logged),
                         qPrintable(warnings[0]));
            } else {
                QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
            }
        }
    }

    // A .pptx carrying what PowerPoint writes of its clips (trims, hidden while not playing,
    // played across slides), which LibreOffice's import drops: read from the package itself.
    void powerPointMediaOptionsAreDescribed()
    {
        if (SteppedImport::defaultScript().isEmpty() ||
            QProcess::execute(SteppedImport::python(),
                              {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0) {
            QSKIP("python3-uno is not installed");
        }
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
            QSKIP("ffmpeg is not installed");
        }
        const QString deck = writeOptionsDeck(m_soffice, m_dir.filePath(QStringLiteral("options")));
        QVERIFY2(!deck.isEmpty(), "the deck could not be made");
        const Converted c = convertWith(SteppedImport::defaultScript(),
                                        m_dir.filePath(QStringLiteral("cache-options")), deck);
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        const ReadBack read = readBack(c.pdf);
        QVERIFY2(read.deck, qPrintable(read.why));
        const auto &doc = read.doc;
        const auto &d = read.deck;
        QCOMPARE(d->importer, QStringLiteral("5"));
        QCOMPARE(d->slideCount(), 4);
        struct Expected
        {
            int slide;
            double trimStart, trimEnd;
            bool hide;
            int span;
        };
        for (const Expected &e : {Expected{1, 12, 4, true, 1}, Expected{2, 0, 0, false, 2},
                                  Expected{4, 0, 0, false, 1}}) {
            const SlideDescription &slide = d->slides[static_cast<size_t>(e.slide - 1)];
            QCOMPARE(slide.media.size(), size_t(1));
            const MediaClip &m = slide.media[0];
            QCOMPARE(m.kind, e.slide == 1 ? MediaKind::Video : MediaKind::Audio);
            QCOMPARE(m.trimStartSeconds, e.trimStart);
            QCOMPARE(m.trimEndSeconds, e.trimEnd);
            QCOMPARE(m.hideWhenStopped, e.hide);
            QCOMPARE(m.slideSpan, e.span);
        }
        // No poster on any page of the hidden clip's slide; the plain sound keeps LibreOffice's.
        const auto marked = [&doc](int page) {
            const QImage image = renderPage(*doc, page, false);
            int n = 0;
            for (double x = 0.3; x < 0.7; x += 0.02) {
                for (double y = 0.3; y < 0.7; y += 0.02) {
                    n += isWhite(pixelAt(image, {x, y})) ? 0 : 1;
                }
            }
            return n;
        };
        for (const BuildState &state : d->slides[0].states) {
            QCOMPARE(marked(state.page), 0);
        }
        QVERIFY(marked(d->slides[3].states[0].page) > 0);
    }
};

CORVANE_TEST_MAIN(TestDeckImport)
#include "tst_deck_import.moc"
