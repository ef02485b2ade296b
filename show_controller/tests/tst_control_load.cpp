// frmControl: its window, start-up and closing, the show script, loading the show and the
// serial remote's seam.

#include "control_fixture.h"
#include "fake_serial_port.h"

#include "platform/testing/test_main.h"

#include <QFont>

class TestControlLoad : public QObject
{
    Q_OBJECT

private slots:
    void windowMatchesTheLayout()
    {
        ControlFixture f;
        frmControl &w = *f.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Corvane  Main Control"));
        QCOMPARE(w.size(), QSize(851, 615));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(w.font().family(), QStringLiteral("Courier New"));

        const LayoutRow rows[] = {
            {"Label1", "Script Current Slide", 120, 120, 3735, 375},
            {"Label2", "Script Next Slide", 8760, 120, 3735, 375},
            {"txtScriptBox1", "Script For This Slide\r\n", 120, 480, 3810, 810},
            {"txtScriptBox2", "Script For Next Slide\r\n", 8781, 480, 3810, 810},
            {"Label3", "Corvane", 4005, 720, 4695, 510},
            {"lblNorth", "Screen 3", 1238, 1305, 2205, 360},
            {"lblCenter", "Screen 2", 5243, 1305, 2205, 360},
            {"lblSouth", "Screen 1", 9248, 1305, 2205, 360},
            {"ibxNorth", "", 810, 1935, 2970, 1905},
            {"ibxCenter", "", 4852, 1935, 2970, 1905},
            {"ibxSouth", "", 8895, 1935, 2970, 1905},
            {"txtLoadShow", "", 2400, 4200, 7905, 735},
            {"cmdNextSlide", "&Next Slide", 1418, 5115, 1860, 765},
            {"cmdLoadShow", "&Load SlideShow", 5415, 5115, 1860, 765},
            {"cmdPreviousSlide", "&Previous Slide", 9413, 5115, 1860, 765},
            {"cmdNextNorth", "Next Slide Screen 3", 1388, 6090, 1860, 765},
            {"cmdNextCenter", "Next Slide Screen 2", 5415, 6120, 1860, 765},
            {"cmdNextSouth", "Next Slide Screen 1", 9443, 6120, 1860, 765},
            {"cmdPrevNorth", "Prev Slide Screen 3", 1388, 7065, 1860, 765},
            {"cmdPrevCenter", "Prev Slide Screen 2", 5415, 7065, 1860, 765},
            {"cmdPrevSouth", "Prev Slide Screen 1", 9443, 7065, 1860, 765},
            {"cmdShowAdjust", "Load Show Adjust", 1392, 7995, 1860, 765},
            {"cmdResetShow", "Reset Slide Load", 5452, 8040, 1860, 765},
            {"cmdLoadScriptEd", "Load Script", 9439, 7980, 1860, 765},
        };
        verifyLayout(&w, rows);
        if (QTest::currentTestFailed()) {
            return;
        }

        for (const char *box : {"txtScriptBox1", "txtScriptBox2"}) {
            const QFont font = f.control(box)->font();
            QCOMPARE(font.family(), QStringLiteral("Times New Roman"));
            QVERIFY(font.bold());
        }
        QVERIFY(f.control("Label3")->font().bold());
        QVERIFY(f.control("Label3")->font().pointSize() > w.font().pointSize());
        QVERIFY(f.loadBox()->font().bold());
        QVERIFY(!f.loadBox()->isEnabled());
        for (const char *image : {"ibxNorth", "ibxCenter", "ibxSouth"}) {
            auto *label = f.control<QLabel>(image);
            QVERIFY(label->hasScaledContents());
            QVERIFY(!label->pixmap().isNull());
        }
    }

    void startsWithTheDefaultsAndTheDialogSetUp()
    {
        ControlFixture f;
        const frmControl &w = *f.window;
        QCOMPARE((std::array<int, 9>{w.Screen1Left, w.Screen1Top, w.Screen1Width, w.Screen2Left,
                                     w.Screen2Top, w.Screen2Width, w.Screen3Left, w.Screen3Top,
                                     w.Screen3Width}),
                 (std::array<int, 9>{-768, 0, 768, 0, 0, 768, 769, 0, 768}));
        QCOMPARE(w.LoadNumber, std::int16_t(0));
        QCOMPARE(w.LineNumber, std::int16_t(0));
        QVERIFY(w.strScriptLines.isEmpty());
        QVERIFY(f.app.calls().empty());
        QCOMPARE(f.dialog->title(), QStringLiteral("Load PowerPoint Presentation"));
        QCOMPARE(f.dialog->filters().first(), QStringLiteral("*.ppt"));
        QCOMPARE(f.dialog->filters().last(), QStringLiteral("All files (*)"));
        const QString offered = f.dialog->filters().join(' ');
        for (const char *deck : {"*.pdf", "*.pptx", "*.pps", "*.ppsx", "*.odp"}) {
            QVERIFY2(offered.contains(QLatin1String(deck)), deck);
        }
    }

    // ---------------------------------------------------------------- show script

    void scriptDialogOffersScriptsFirst()
    {
        ControlFixture f;
        f.loadScript("0,1,1,1\r\n");
        f.load(f.deck(QStringLiteral("one.pdf")));
        QCOMPARE(f.dialog->shownFilters.size(), 2);
        QCOMPARE(f.dialog->shownFilters.at(0).first(), QStringLiteral("Show scripts (*.txt)"));
        QCOMPARE(f.dialog->shownFilters.at(1).first(), QStringLiteral("*.ppt"));
        QCOMPARE(f.dialog->title(), QStringLiteral("Load PowerPoint Presentation"));
    }

    void loadingAScriptSplitsAtCrLfOnly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("crlf ended")
            << QByteArray("0,1,1,1\r\n1,2,1,1\r\n") << QStringList{"0,1,1,1", "1,2,1,1", ""};
        QTest::newRow("no final crlf")
            << QByteArray("0,1,1,1\r\n1,2,1,1") << QStringList{"0,1,1,1", "1,2,1,1"};
        QTest::newRow("lf only is one line")
            << QByteArray("0,1,1,1\n1,2,1,1\n") << QStringList{"0,1,1,1\n1,2,1,1\n"};
        QTest::newRow("lone cr stays") << QByteArray("0,1\r1,1\r\n") << QStringList{"0,1\r1,1", ""};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }
    void loadingAScriptSplitsAtCrLfOnly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        ControlFixture f;
        f.loadScript(bytes);
        QCOMPARE(f.window->strScriptLines, lines);
        QCOMPARE(f.window->LineNumber, std::int16_t(2));
        QCOMPARE(f.box1(), QStringLiteral("Slide Show Script is Loaded"));
        QCOMPARE(f.box2(), QStringLiteral("Slide Show Script is Loaded"));
        QVERIFY(f.messages->shown.isEmpty());
    }

    void reloadingRestartsTheScriptAndMovesNothing()
    {
        ControlFixture f;
        f.loadThree();
        f.loadScript("0,1,1,1\r\n1,2,1,1\r\n2,2,3,1\r\n");
        f.click("cmdNextSlide");
        f.click("cmdNextSlide");
        const int counters[] = {f.window->Screen1Slide, f.window->Screen2Slide,
                                f.window->Screen3Slide};
        f.app.clearCalls();
        f.loadScript("0,1,1,1\r\n3,1,1,9\r\n");
        QVERIFY(f.app.calls().empty());
        QCOMPARE(f.window->LineNumber, std::int16_t(2));
        QCOMPARE(f.window->strScriptLines.size(), 3);
        QCOMPARE(f.window->Screen1Slide, counters[0]);
        QCOMPARE(f.window->Screen2Slide, counters[1]);
        QCOMPARE(f.window->Screen3Slide, counters[2]);
    }

    void aCancelledOrUnreadableScriptKeepsTheEarlierOne()
    {
        ControlFixture f;
        f.loadScript("0,1,1,1\r\n1,2,1,1\r\n");
        f.click("cmdNextSlide");
        const QStringList lines = f.window->strScriptLines;
        const QString box1 = f.box1();
        const QString box2 = f.box2();

        f.dialog->answers.append(std::nullopt);
        f.click("cmdLoadScriptEd");
        QCOMPARE(f.dialog->shownCount, 2);
        QVERIFY(f.messages->shown.isEmpty());

        QDir(f.root.path()).mkdir(QStringLiteral("a folder"));
        const QString unreadable[] = {f.path(QStringLiteral("missing.txt")),
                                      f.path(QStringLiteral("a folder"))};
        for (const QString &file : unreadable) {
            f.dialog->answers.append(file);
            f.click("cmdLoadScriptEd");
        }
        QCOMPARE(f.messages->shown.size(), 2);
        for (const auto &shown : f.messages->shown) {
            QCOMPARE(shown.caption, QStringLiteral("Corvane"));
            QVERIFY2(shown.text.startsWith(QStringLiteral("Corvane ")), qPrintable(shown.text));
        }
        QVERIFY(f.messages->shown[0].text.contains(unreadable[0]));
        QVERIFY(f.messages->shown[1].text.contains(unreadable[1]));

        QCOMPARE(f.window->strScriptLines, lines);
        QCOMPARE(f.window->LineNumber, std::int16_t(3));
        QCOMPARE(f.box1(), box1);
        QCOMPARE(f.box2(), box2);
    }

    // ---------------------------------------------------------------- loading the show

    void threeLoadsFillScreensOneTwoThree()
    {
        ControlFixture f;
        f.window->Screen2Left = 1000; // the numbers are read at the load
        const QString decks[] = {f.deck("one.pdf"), f.deck("two.pdf"), f.deck("one.pdf")};
        const std::string left[] = {"-768", "1000", "769"};
        for (int screen = 1; screen <= 3; ++screen) {
            f.app.clearCalls();
            f.load(decks[screen - 1]);
            const std::string pres = "pres " + std::to_string(screen);
            const Calls expected = {
                "CreateApplication()",
                "Visible(-1)",
                "Open(" + decks[screen - 1].toStdString() + ", 0, 0, -1)",
                "Run(" + pres + ")",
                "Left(" + pres + ", " + left[screen - 1] + ")",
                "Top(" + pres + ", 0)",
                "Width(" + pres + ", 768)",
                "SlidesItem(" + pres + ", 1)",
                f.exportCall(screen, 1, screen),
                "ImportReport(" + pres + ")",
            };
            QCOMPARE(f.app.calls(), expected);
            QCOMPARE(f.window->LoadNumber, std::int16_t(screen));
            QCOMPARE(f.loadBox()->text(), decks[screen - 1]);
            QVERIFY(!f.loadBox()->isEnabled());
            QCOMPARE(f.window->strSlidePath, f.picturePath(screen));
            QVERIFY(sameColour(f.previewColour(screen), slideColour(screen, 1)));
            const QImage picture(f.picturePath(screen), "JPG");
            QCOMPARE(picture.size(), QSize(175, 125));
        }
        QCOMPARE(f.window->ppPres1 != nullptr && f.window->ppPres2 != nullptr &&
                     f.window->ppPres3 != nullptr,
                 true);
        QCOMPARE(f.app.presentation(2).left, 1000.0f);
        QVERIFY(f.messages->shown.isEmpty());

        // A fourth press reaches the application and opens nothing.
        f.app.clearCalls();
        f.load(f.deck("four.pdf"));
        QCOMPARE(f.app.calls(), (Calls{"CreateApplication()", "Visible(-1)"}));
        QCOMPARE(f.window->LoadNumber, std::int16_t(4));
        QCOMPARE(f.loadBox()->text(), f.deck("four.pdf"));
        QVERIFY(f.loadBox()->isEnabled());
    }

    void aDeckShownWithoutItsBuildsIsSaidAsItLoads()
    {
        ControlFixture f;
        const QString built = f.deck(QStringLiteral("built.pptx"));
        const QString plain = f.deck(QStringLiteral("plain.pptx"));
        const std::string without = "shown without its builds, one page per slide: the stepped "
                                    "import stopped making progress: 3 of 28 slides done in 80 s";
        f.app.setImportReport(built.toStdString(), {"slide 2: a trigger is not played"});
        f.app.setImportReport(plain.toStdString(), {"slide 2: a trigger is not played", without});
        f.load(built);
        QVERIFY(f.messages->shown.isEmpty());
        f.load(plain);
        QCOMPARE(f.messages->shown.size(), 1);
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));
        QCOMPARE(f.messages->shown[0].text, plain + QStringLiteral(" is ") +
                                                QString::fromStdString(without) +
                                                QStringLiteral("."));
        // The load itself went through.
        QCOMPARE(f.window->LoadNumber, std::int16_t(2));
        QVERIFY(f.window->ppPres2 != nullptr);
    }

    void eachPreviewComesFromItsOwnPresentation()
    {
        ControlFixture f;
        f.loadThree();
        f.click("cmdNextSouth"); // makes Screen 1's show the active one
        f.loadScript("0,1,1,1\r\n0,1,1,1\r\n");
        f.app.clearCalls();
        f.click("cmdNextSlide");
        QCOMPARE(f.app.callsStartingWith({"Export", "ActivePresentation"}),
                 (Calls{f.exportCall(1, 1, 1), f.exportCall(2, 1, 2), f.exportCall(3, 1, 3)}));
        for (int screen = 1; screen <= 3; ++screen) {
            QVERIFY(sameColour(f.previewColour(screen), slideColour(screen, 1)));
        }
    }

    void anErrorEndsTheLoadPress_data()
    {
        QTest::addColumn<QString>("failingOp");
        QTest::addColumn<int>("callsMade");
        QTest::addColumn<bool>("presentationKept");
        QTest::newRow("create") << "CreateApplication" << 1 << false;
        QTest::newRow("visible") << "Visible" << 2 << false;
        QTest::newRow("presentations") << "Presentations" << 2 << false;
        QTest::newRow("open") << "Open" << 3 << false;
        QTest::newRow("settings") << "SlideShowSettings" << 3 << true;
        QTest::newRow("run") << "Run" << 4 << true;
        QTest::newRow("window") << "SlideShowWindow" << 4 << true;
        QTest::newRow("left") << "Left" << 5 << true;
        QTest::newRow("top") << "Top" << 6 << true;
        QTest::newRow("width") << "Width" << 7 << true;
        QTest::newRow("slides") << "Slides" << 7 << true;
        QTest::newRow("slide") << "SlidesItem" << 8 << true;
        QTest::newRow("export") << "Export" << 9 << true;
    }
    void anErrorEndsTheLoadPress()
    {
        QFETCH(QString, failingOp);
        QFETCH(int, callsMade);
        QFETCH(bool, presentationKept);
        ControlFixture f;
        f.app.failOn(failingOp.toStdString(), "Src", "went wrong", 0, 1);
        f.load(f.deck("one.pdf"));

        QCOMPARE(int(f.app.calls().size()), callsMade);
        QCOMPARE(f.messages->shown.size(), 1);
        QCOMPARE(f.messages->shown[0].text, QStringLiteral("Src went wrong"));
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));
        QCOMPARE(f.window->LoadNumber, std::int16_t(0));
        QVERIFY(f.loadBox()->isEnabled());
        QCOMPARE(f.loadBox()->text(), f.deck("one.pdf"));
        QCOMPARE(f.window->ppPres1 != nullptr, presentationKept);
        QVERIFY(!sameColour(f.previewColour(1), slideColour(1, 1)));

        // The next press loads the same screen again.
        f.load(f.deck("one.pdf"));
        QCOMPARE(f.window->LoadNumber, std::int16_t(1));
        QVERIFY(sameColour(f.previewColour(1), slideColour(f.app.presentationCount(), 1)));
    }

    void aMissingFolderOrPictureIsReported()
    {
        ControlFixture f(false);
        f.load(f.deck("one.pdf"));
        QCOMPARE(f.messages->shown.size(), 1);
        QVERIFY(f.messages->shown[0].text.contains(QStringLiteral("could not be written")));
        QCOMPARE(f.app.presentation(1).showRunning, true);
        QCOMPARE(f.app.presentation(1).left, -768.0f);
        QCOMPARE(f.window->LoadNumber, std::int16_t(0));

        // The export "succeeds" but leaves no picture: loading the picture fails.
        QDir(f.root.path()).mkpath(QStringLiteral("Slide Shows/Screen 1 JPG"));
        f.app.setExportWritesFiles(false);
        f.load(f.deck("one.pdf"));
        QCOMPARE(f.messages->shown.size(), 2);
        QCOMPARE(f.messages->shown[1].text,
                 QStringLiteral("Corvane File not found: ") + f.picturePath(1));
        QCOMPARE(f.window->LoadNumber, std::int16_t(0));
        QVERIFY(f.loadBox()->isEnabled());

        // Something that is not a picture under the picture's name.
        f.writeFile(QStringLiteral("Slide Shows/Screen 1 JPG/ExportSlide"), "not a picture");
        f.load(f.deck("one.pdf"));
        QCOMPARE(f.messages->shown.size(), 3);
        QVERIFY(f.messages->shown[2].text.startsWith(QStringLiteral("Corvane Invalid picture")));
    }

    void aCancelledLoadDoesNothing()
    {
        ControlFixture f;
        f.load(f.deck("one.pdf"));
        f.dialog->answers.append(std::nullopt);
        f.click("cmdLoadShow");
        QCOMPARE(f.dialog->shownCount, 2);
        QCOMPARE(f.app.presentationCount(), 1);
        QCOMPARE(f.window->LoadNumber, std::int16_t(1));
        QVERIFY(!f.loadBox()->isEnabled());
        QCOMPARE(f.loadBox()->text(), f.deck("one.pdf"));

        // After a failed press the box is enabled, and a cancel leaves it so.
        f.app.failOn("Open", "Src", "no such file", 0, 1);
        f.load(f.deck("bad.pdf"));
        f.dialog->answers.append(std::nullopt);
        f.click("cmdLoadShow");
        QVERIFY(f.loadBox()->isEnabled());
        QCOMPARE(f.loadBox()->text(), f.deck("bad.pdf"));
        QCOMPARE(f.window->LoadNumber, std::int16_t(1));
    }

    void theDialogRemembersTheLastFileForBothButtons()
    {
        ControlFixture f;
        const QString script = f.writeFile(QStringLiteral("show.txt"), "0,1,1,1\r\n");
        f.dialog->answers.append(script);
        f.click("cmdLoadScriptEd");
        QCOMPARE(f.dialog->fileName(), script);
        f.dialog->answers.append(std::nullopt);
        f.click("cmdLoadShow");
        QCOMPARE(f.dialog->fileName(), script);
        QCOMPARE(f.app.presentationCount(), 0);
    }

    // ---------------------------------------------------------------- serial seam

    void startUpOpensThePortAndClosingClosesIt()
    {
        FakeSerialPort *port = nullptr;
        ControlFixture f(true, [&port] {
            auto made = std::make_unique<FakeSerialPort>();
            port = made.get();
            return made;
        });
        QVERIFY(port);
        QCOMPARE(f.window->MSComm1(), port);
        QCOMPARE(port->assigned,
                 (QStringList{"CommPort=1", "Handshaking=0", "RThreshold=1", "RTSEnable=true",
                              "Settings=9600,n,8,1", "SThreshold=1", "PortOpen=true"}));
        QVERIFY(port->portOpen());

        port->assigned.clear();
        port->failing = {"CommPort", "RTSEnable"};
        f.window->setUpPort(3);
        QCOMPARE(port->assigned.size(), 7);
        QCOMPARE(port->assigned.last(), QStringLiteral("PortOpen=true"));

        port->assigned.clear();
        f.window->close();
        QCOMPARE(port->assigned, QStringList{"PortOpen=false"});
        QVERIFY(!port->portOpen());
    }

    void aFailingPortNeverStopsStartUp()
    {
        auto make = [] {
            auto port = std::make_unique<FakeSerialPort>();
            port->failing = {"PortOpen"};
            return port;
        };
        ControlFixture f(true, make);
        QVERIFY(!f.window->MSComm1()->portOpen());
        QCOMPARE(f.window->Screen3Left, std::int16_t(769));
        f.window->close(); // closing a port that never opened is skipped quietly
    }

    void remoteCommandsPressTheirButtons()
    {
        FakeSerialPort *port = nullptr;
        ControlFixture f(true, [&port] {
            auto made = std::make_unique<FakeSerialPort>();
            port = made.get();
            return made;
        });
        f.loadThree();
        const std::pair<const char *, Calls> handSteps[] = {
            {"1N", handStep(1, true)},  {"1P", handStep(1, false)}, {"2N", handStep(2, true)},
            {"2P", handStep(2, false)}, {"3N", handStep(3, true)},  {"3P", handStep(3, false)},
        };
        for (const auto &[command, calls] : handSteps) {
            f.app.clearCalls();
            port->receive(QLatin1String(command));
            QVERIFY2(f.app.calls() == calls, command);
        }

        // Not exactly one command: nothing at all.
        f.app.clearCalls();
        for (const char *noise : {"n", "N\r\n", " N", "NN", "1N2N", "1", "", "4N"}) {
            port->receive(QLatin1String(noise));
        }
        QVERIFY(f.app.calls().empty());
        QCOMPARE(f.box1(), QStringLiteral("Script For This Slide\r\n"));
        QCOMPARE(f.window->LineNumber, std::int16_t(0));

        port->receive(QStringLiteral("N"));
        QCOMPARE(f.box1(), QStringLiteral("End of Slide Show"));
        port->receive(QStringLiteral("P"));
        QCOMPARE(f.window->LineNumber, std::int16_t(2));
    }
};

CORVANE_TEST_MAIN(TestControlLoad)
#include "tst_control_load.moc"
