// The stepped import of decks LibreOffice saved as .pptx and .odp: the host's converter with
// the real import script and a real LibreOffice, checked through the PDF it wrote (Poppler's
// text and pixels of each page) and the description beside it; and the plain conversion it
// falls back to.

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

        QString why;
        auto doc = loadPdf(c.pdf, &why);
        QVERIFY2(doc, qPrintable(why));
        QCOMPARE(doc->numPages(), 11);
        QFile json(descriptionPathFor(c.pdf));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const auto d = readDeckDescription(json.readAll(), doc->numPages(), &why);
        QVERIFY2(d, qPrintable(why));
        QCOMPARE(d->importer, SteppedImport::version());
        QCOMPARE(d->slideCount(), 5);
        QVERIFY(!d->loop);
        // The spin is a click that changes no page, and is reported.
        QCOMPARE(d->report.size(), 1);
        QVERIFY2(d->report[0].startsWith(QLatin1String("slide 5: emphasis")),
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
            QString why;
            auto doc = loadPdf(c.pdf, &why);
            QVERIFY2(doc, qPrintable(why));
            // LibreOffice's own PDF export leaves the hidden slide out.
            QCOMPARE(doc->numPages(), 4);
            // Beside it, a plain description whose report says why it has no builds, so the
            // programs that load it can tell the operator, on this open and the next.
            QFile note(descriptionPathFor(c.pdf));
            QVERIFY(note.open(QIODevice::ReadOnly));
            why.clear();
            const auto described = readDeckDescription(note.readAll(), doc->numPages(), &why);
            QVERIFY2(described, qPrintable(why));
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
};

CORVANE_TEST_MAIN(TestDeckImport)
#include "tst_deck_import.moc"
