// Stepping through builds and slides over a described deck, the transitions a PDF carries on
// its pages, and a show window playing transitions without a blank frame or a lost press.

#include "presentation_automation/host/decks/pdf_transitions.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/decks/slide_stepping.h"
#include "presentation_automation/host/shows/show_window.h"
#include "presentation_automation/host/tests/trans_pdf.h"

#include "platform/testing/test_main.h"

#include <QTemporaryDir>

#include <poppler-qt6.h>

using namespace pa::host;

namespace {

// Nine pages: slide 1 builds twice, slide 2 is hidden, slide 3 has an automatic build then a
// click and leaves on its own after 2 s, slide 5 is hidden.
const char *describedDeck = R"({"format":1,"importer":"test","show":{"loop":false},"slides":[
  {"states":[{"page":0},{"page":1,"trigger":"click"},{"page":2,"trigger":"click"}]},
  {"states":[{"page":3}],"hidden":true},
  {"states":[{"page":4},{"page":5,"trigger":"auto","delay":0.5},{"page":6,"trigger":"click"}],
   "transition":{"kind":"fade","duration":1},"advanceAfter":2},
  {"states":[{"page":7}],"transition":{"kind":"push","direction":"left","duration":0.5}},
  {"states":[{"page":8}],"hidden":true}]})";

DeckDescription deck()
{
    QString why;
    auto d = readDeckDescription(describedDeck, 9, &why);
    if (!d) {
        qFatal("%s", qPrintable(why));
    }
    return *d;
}

QString positionText(StepKind kind, StepPosition at)
{
    const char letter[] = {'S', 'B', 'F', 'K'};
    return QStringLiteral("%1%2.%3")
        .arg(QLatin1Char(letter[static_cast<int>(kind)]))
        .arg(at.slide)
        .arg(at.state);
}

QImage filled(const QColor &colour)
{
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

class TestSlideStepping : public QObject
{
    Q_OBJECT

private slots:
    // A description's media entries: taken as written, or left out with a report line when
    // they name a file outside the media folder, a state the slide has not, or no rectangle.
    void mediaOfADescription_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("taken"); // file kind x,y,w,h start loop volume; empty: refused
        QTest::newRow("video on click")
            << R"({"file":"media1.mp4","kind":"video","rect":[0.25,0.25,0.5,0.5],"start":1,)"
               R"("loop":true,"volume":0.5})"
            << "media1.mp4 video 0.25,0.25,0.5,0.5 1 loop 0.5";
        QTest::newRow("sound without a rectangle") << R"({"file":"media2.wav","kind":"audio"})"
                                                   << "media2.wav audio 0,0,0,0 0 once 1";
        QTest::newRow("rectangle past the page")
            << R"({"file":"m.mp4","rect":[0.5,0.5,1,1],"volume":3})"
            << "m.mp4 video 0.5,0.5,0.5,0.5 0 once 1";
        QTest::newRow("parent folder") << R"({"file":"../m.mp4","rect":[0,0,1,1]})"
                                       << "";
        QTest::newRow("sub folder") << R"({"file":"a/m.mp4","rect":[0,0,1,1]})"
                                    << "";
        QTest::newRow("absolute") << R"({"file":"/etc/m.mp4","rect":[0,0,1,1]})"
                                  << "";
        QTest::newRow("no name") << R"({"rect":[0,0,1,1]})"
                                 << "";
        QTest::newRow("state past the slide's") << R"({"file":"m.mp4","rect":[0,0,1,1],"start":2})"
                                                << "";
        QTest::newRow("fraction of a state") << R"({"file":"m.mp4","rect":[0,0,1,1],"start":0.5})"
                                             << "";
        QTest::newRow("video off the page") << R"({"file":"m.mp4","rect":[2,2,1,1]})"
                                            << "";
        QTest::newRow("video without a rectangle") << R"({"file":"m.mp4"})"
                                                   << "";
    }

    void mediaOfADescription()
    {
        QFETCH(QString, entry);
        QFETCH(QString, taken);
        const QString json = QStringLiteral(R"({"format":1,"slides":[{"states":[{"page":0},)"
                                            R"({"page":1,"trigger":"click"}],"media":[%1]}]})")
                                 .arg(entry);
        QString why;
        const auto d = readDeckDescription(json.toUtf8(), 2, &why);
        QVERIFY2(d, qPrintable(why));
        const std::vector<MediaClip> &media = d->slides[0].media;
        if (taken.isEmpty()) {
            QVERIFY(media.empty());
            QCOMPARE(d->report.size(), 1);
            QVERIFY(d->report[0].startsWith(QLatin1String("slide 1: ")));
            return;
        }
        QCOMPARE(media.size(), size_t(1));
        const MediaClip &m = media[0];
        QCOMPARE(QStringLiteral("%1 %2 %3,%4,%5,%6 %7 %8 %9")
                     .arg(m.file, m.kind == MediaKind::Audio ? QStringLiteral("audio")
                                                             : QStringLiteral("video"))
                     .arg(m.rect.x())
                     .arg(m.rect.y())
                     .arg(m.rect.width())
                     .arg(m.rect.height())
                     .arg(m.startState)
                     .arg(m.loop ? QStringLiteral("loop") : QStringLiteral("once"))
                     .arg(m.volume),
                 taken);
        QVERIFY(d->report.isEmpty());
    }

    // Ops: N next, P previous, gK go to slide K, rK go to slide K as it was left. After each,
    // the kind of step (Stay, Build, Forward, bacK) and the slide.state reached.
    void stepsAsTheSlideShowViewDoes_data()
    {
        QTest::addColumn<bool>("loop");
        QTest::addColumn<QString>("ops");
        QTest::addColumn<QString>("expected");
        QTest::newRow("builds, then the next shown slide") << false << "N N N N N"
                                                           << "B1.1 B1.2 F3.0 B3.1 B3.2";
        QTest::newRow("previous undoes builds, then the slide before fully built")
            << false << "N N N P P P P"
            << "B1.1 B1.2 F3.0 K1.2 B1.1 B1.0 S1.0";
        QTest::newRow("a hidden slide is shown by go-to, passed by next and previous")
            << false << "g2 N g2 P"
            << "F2.0 F3.0 F2.0 K1.2";
        QTest::newRow("the last shown slide stays") << false << "g4 N P"
                                                    << "F4.0 S4.0 K3.2";
        QTest::newRow("a looping deck starts over") << true << "g4 N g5 N"
                                                    << "F4.0 F1.0 F5.0 F1.0";
        QTest::newRow("go-to starts a slide over unless told to resume it")
            << false << "N N g3 N g1 r3 g3 g3"
            << "B1.1 B1.2 F3.0 B3.1 F1.0 F3.1 B3.0 S3.0";
        QTest::newRow("resuming a slide never shown starts it") << false << "r4"
                                                                << "F4.0";
    }

    void stepsAsTheSlideShowViewDoes()
    {
        QFETCH(bool, loop);
        QFETCH(QString, ops);
        QFETCH(QString, expected);
        SlideStepper stepper(deck(), loop);
        QCOMPARE(stepper.position(), (StepPosition{1, 0}));
        QStringList got;
        for (const QString &op : ops.split(QLatin1Char(' '))) {
            StepKind kind = StepKind::Stay;
            if (op == QLatin1String("N")) {
                kind = stepper.next();
            } else if (op == QLatin1String("P")) {
                kind = stepper.previous();
            } else {
                kind = stepper.gotoSlide(op.mid(1).toInt(), op.startsWith(QLatin1Char('g')));
            }
            got << positionText(kind, stepper.position());
        }
        QCOMPARE(got.join(QLatin1Char(' ')), expected);
    }

    void showsStartOnTheFirstSlideNotHidden()
    {
        DeckDescription d = plainDeck(3);
        d.slides[0].hidden = true;
        QCOMPARE(firstPosition(d), (StepPosition{2, 0}));
        d.slides[1].hidden = d.slides[2].hidden = true;
        QCOMPARE(firstPosition(d), (StepPosition{1, 0}));
    }

    void automaticStepsAndTimings_data()
    {
        QTest::addColumn<int>("slide");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("useTimings");
        QTest::addColumn<double>("seconds"); // -1: waits for a press
        QTest::newRow("a slide without timings") << 1 << 0 << true << -1.0;
        QTest::newRow("an automatic build waits its delay") << 3 << 0 << true << 0.5;
        QTest::newRow("even when timings are off") << 3 << 0 << false << 0.5;
        QTest::newRow("before a click build") << 3 << 1 << true << -1.0;
        QTest::newRow("fully built, leaves after its timing") << 3 << 2 << true << 2.0;
        QTest::newRow("timings off") << 3 << 2 << false << -1.0;
    }

    void automaticStepsAndTimings()
    {
        QFETCH(int, slide);
        QFETCH(int, state);
        QFETCH(bool, useTimings);
        QFETCH(double, seconds);
        DeckDescription d = deck();
        d.useTimings = useTimings;
        QCOMPARE(automaticDelay(d, StepPosition{slide, state}).value_or(-1.0), seconds);
    }

    void pagesHeldAheadIncludeTheNextBuildAndTheNextSlide()
    {
        const DeckDescription d = deck();
        // Next build, the next slide's first state (hidden or not: a go-to shows it), then on.
        QCOMPARE(pagesAround(d, StepPosition{1, 2}, false), (std::vector<int>{2, 4, 3, 5, 1, 6}));
        QCOMPARE(pagesAround(d, StepPosition{3, 0}, false), (std::vector<int>{4, 5, 7, 6, 2, 8}));
        const DeckDescription plain = plainDeck(9);
        QCOMPARE(pagesAround(plain, StepPosition{5, 0}, false),
                 (std::vector<int>{4, 5, 6, 3, 7, 2}));
        QCOMPARE(pagesAround(plain, StepPosition{1, 0}, false), (std::vector<int>{0, 1, 2, 3}));
        QCOMPARE(pagesAround(plain, StepPosition{9, 0}, false), (std::vector<int>{8, 7, 6}));
        QCOMPARE(pagesAround(plainDeck(1), StepPosition{1, 0}, false), (std::vector<int>{0}));
    }

    void transitionsComeFromThePdfsPages()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("trans.pdf"));
        struct Row
        {
            QByteArray trans;
            TransitionKind kind;
            TransitionDirection direction;
            double seconds;
        };
        const std::vector<Row> rows{
            {"", TransitionKind::Cut, TransitionDirection::None, 0},
            {"/S /Push /Di 270 /D 0.5", TransitionKind::Push, TransitionDirection::Up, 0.5},
            {"/S /Split /Dm /V /M /O", TransitionKind::Split, TransitionDirection::VerticalOut, 1},
            {"/S /Split /Dm /H /M /I /D 2", TransitionKind::Split,
             TransitionDirection::HorizontalIn, 2},
            {"/S /Wipe /Di 90", TransitionKind::Wipe, TransitionDirection::Down, 1},
            {"/S /Cover /Di 180 /D 0.3", TransitionKind::Cover, TransitionDirection::Right, 0.3},
            {"/S /Uncover /Di 0", TransitionKind::Uncover, TransitionDirection::Left, 1},
            {"/S /Fade /D 0.7", TransitionKind::Fade, TransitionDirection::None, 0.7},
            {"/S /Dissolve", TransitionKind::Dissolve, TransitionDirection::None, 1},
            {"/S /Box /M /O", TransitionKind::Cut, TransitionDirection::None, 0},
            {"/S /Fade /D 0", TransitionKind::Cut, TransitionDirection::None, 0},
        };
        std::vector<testing::TransPage> pages;
        for (const Row &row : rows) {
            pages.push_back({Qt::red, row.trans});
        }
        QVERIFY(testing::makeTransPdf(pdf, pages));
        QString why;
        auto doc = loadPdf(pdf, &why);
        QVERIFY2(doc, qPrintable(why));
        DeckDescription d = plainDeck(doc->numPages());
        // A transition the description gives is kept.
        d.slides[1].transition = Transition{TransitionKind::Wipe, TransitionDirection::Left, 3};
        addPdfTransitions(*doc, d);
        QCOMPARE(d.slides[1].transition.kind, TransitionKind::Wipe);
        for (size_t i = 2; i < rows.size(); ++i) {
            const Transition &t = d.slides[i].transition;
            QCOMPARE(t.kind, rows[i].kind);
            QCOMPARE(t.direction, rows[i].direction);
            QCOMPARE(t.seconds, rows[i].seconds);
        }
        QCOMPARE(d.slides[0].transition.kind, TransitionKind::Cut);
    }

    void transitionWaitsForItsFrameAndAPressEndsIt()
    {
        DeckDescription d = plainDeck(4);
        d.slides[1].transition = Transition{TransitionKind::Fade, TransitionDirection::None, 30};
        d.slides[2].advanceAfterSeconds = 0.05;
        ShowWindow show(1, d, QStringLiteral("deck"));
        show.resize(400, 300);
        show.show();
        QVERIFY(QTest::qWaitForWindowExposed(&show));
        const auto centre = [&] { return show.grab().toImage().pixelColor(200, 150); };
        show.showFrame(filled(Qt::red), 1);
        QCOMPARE(centre(), QColor(Qt::red));

        show.next();
        QCOMPARE(show.currentPage(), 2);
        QCOMPARE(centre(), QColor(Qt::red)); // its frame is not there: the old slide stays
        QVERIFY(!show.transitionRunning());
        show.showFrame(filled(Qt::blue), 2);
        QVERIFY(show.transitionRunning());
        const QColor during = centre();
        QVERIFY(during.red() + during.blue() >= 250 && during.green() == 0);

        // A frame of another page than the current one is never shown.
        show.showFrame(filled(Qt::yellow), 1);
        QCOMPARE(show.shownPage(), 2);

        show.next(); // ends the fade at once and takes the press
        QVERIFY(!show.transitionRunning());
        QCOMPARE(show.currentPage(), 3);
        QCOMPARE(centre(), QColor(Qt::blue));
        show.showFrame(filled(Qt::green), 3);
        QCOMPARE(centre(), QColor(Qt::green)); // no transition of its own: a cut
        QTRY_COMPARE(show.currentSlide(), 4);  // left on its own once on screen
        QCOMPARE(centre(), QColor(Qt::green));
    }

    void stepsBehindABlankShowNothingUntilTheReveal_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("black") << int(pa::ppSlideShowBlackScreen) << QColor(Qt::black);
        QTest::newRow("white") << int(pa::ppSlideShowWhiteScreen) << QColor(Qt::white);
    }
    void stepsBehindABlankShowNothingUntilTheReveal()
    {
        QFETCH(int, state);
        QFETCH(QColor, colour);
        DeckDescription d = plainDeck(5);
        for (size_t slide : {1, 2, 4}) {
            d.slides[slide].transition =
                Transition{TransitionKind::Fade, TransitionDirection::None, 30};
        }
        d.slides[3].advanceAfterSeconds = 0.05;
        ShowWindow show(1, d, QStringLiteral("deck"));
        show.resize(400, 300);
        show.show();
        QVERIFY(QTest::qWaitForWindowExposed(&show));
        const auto covered = [&] {
            const QImage shot = show.grab().toImage();
            for (const QPoint &at : {QPoint(0, 0), QPoint(200, 150), QPoint(399, 299)}) {
                if (shot.pixelColor(at) != colour) {
                    return false;
                }
            }
            return true;
        };
        const auto centre = [&] { return show.grab().toImage().pixelColor(200, 150); };
        show.showFrame(filled(Qt::red), 1);
        show.next();
        show.showFrame(filled(Qt::blue), 2);
        QVERIFY(show.transitionRunning());

        // Over the transition coming in, at once.
        show.setViewState(state);
        QVERIFY(!show.transitionRunning());
        QVERIFY(covered());
        show.drawViewState();
        QVERIFY(covered());

        // Steps go on behind it, by a press and by the slide's own timing, and nothing comes
        // in through a transition.
        show.next();
        show.showFrame(filled(Qt::green), 3);
        QVERIFY(!show.transitionRunning());
        QCOMPARE(show.shownPage(), 3);
        QVERIFY(covered());
        show.next();
        show.showFrame(filled(Qt::yellow), 4);
        QTRY_COMPARE(show.currentSlide(), 5);
        QVERIFY(covered());
        QCOMPARE(show.viewState(), state);

        // The reveal shows the slide the show is on now, not the one last drawn, and without
        // the transition it would have come in with.
        show.setViewState(pa::ppSlideShowRunning);
        show.drawViewState();
        QVERIFY(covered());
        show.showFrame(filled(Qt::cyan), 5);
        QVERIFY(!show.transitionRunning());
        QCOMPARE(centre(), QColor(Qt::cyan));
        // Nor later, when the same slide is drawn again (at another size).
        show.showFrame(filled(Qt::magenta), 5);
        QVERIFY(!show.transitionRunning());
        QCOMPARE(centre(), QColor(Qt::magenta));
    }
};

CORVANE_TEST_MAIN(TestSlideStepping)
#include "tst_slide_stepping.moc"
