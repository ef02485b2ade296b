#include "presentation_controller/frmKestro.h"
#include "presentation_controller/frmScreen.h"
#include "presentation_controller/long_timer.h"
#include "presentation_controller/tests/kestro_window_support.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/testing/recording_automation.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using platform::testing::FakeFileOpenDialog;
using platform::testing::FakeMessageBox;
using Calls = std::vector<std::string>;

namespace {

const QString deck = QStringLiteral("/shows/opening.ppt");

const Calls loadWithDefaults = {"CreateApplication()",      "Visible(-1)",
                                "Open(/shows/opening.ppt)", "Run(pres 1)",
                                "Left(pres 1, 769)",        "Top(pres 1, 0)",
                                "Width(pres 1, 768)",       "SlidesItem(pres 1, 1)",
                                "SlideIndex(pres 1, 1)",    "ImportReport(pres 1)"};

} // namespace

Q_DECLARE_METATYPE(kestro::Variant)

class TestFrmKestro : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_driveC;
    std::unique_ptr<pa::testing::RecordingAutomation> m_app;
    std::shared_ptr<FakeMessageBox> m_messages;
    std::shared_ptr<FakeFileOpenDialog> m_dialog;
    QList<QUrl> m_openedUrls;
    bool m_urlOpens = true;
    int m_endCount = 0;
    std::unique_ptr<frmKestro> m_window;

    void makeWindow(kestro::Variant variant)
    {
        m_window = kestro::testing::makeKestroWindow(
            variant, m_app->factory(), m_messages, m_dialog,
            [this](const QUrl &url) {
                m_openedUrls << url;
                return m_urlOpens;
            },
            [this] { ++m_endCount; });
    }

    template<typename T = QLineEdit> T *control(const char *name)
    {
        return kestro::testing::control<T>(m_window.get(), name);
    }
    QPushButton *button(const char *name) { return control<QPushButton>(name); }
    QLineEdit *screenBox(const char *name)
    {
        return m_window->screen()->findChild<QLineEdit *>(QLatin1String(name));
    }

    void loadShow(const QString &fileName = deck)
    {
        m_dialog->answers << fileName;
        button("cmdLoadShow")->click();
    }

    QStringList messageTexts() const { return kestro::testing::messageTexts(*m_messages); }

private slots:
    void init()
    {
        m_driveC = std::make_unique<QTemporaryDir>();
        platform::setDriveCRoot(m_driveC->path());
        m_app = std::make_unique<pa::testing::RecordingAutomation>();
        m_messages = std::make_shared<FakeMessageBox>();
        m_dialog = std::make_shared<FakeFileOpenDialog>();
        m_openedUrls.clear();
        m_endCount = 0;
    }

    void cleanup()
    {
        m_window.reset();
        platform::setDriveCRoot(QString());
    }

    void windowAtStart_data()
    {
        QTest::addColumn<kestro::Variant>("variant");
        QTest::addColumn<QString>("title");
        QTest::newRow("Kestro") << kestro::Variant::Kestro << "Kestro ";
        QTest::newRow("Kestrokiosk") << kestro::Variant::Kiosk << "Kestrokiosk-Dual Monitor";
    }

    void windowAtStart()
    {
        QFETCH(kestro::Variant, variant);
        QFETCH(QString, title);
        makeWindow(variant);
        QCOMPARE(m_window->windowTitle(), title);
        QVERIFY(m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(button("cmdNextSlide")->text(), QStringLiteral("&Next  Slide"));
        QCOMPARE(button("cmdPreviousSlide")->text(), QStringLiteral("   &Previous    Slide"));
        QCOMPARE(button("cmdGoto")->text(), QStringLiteral(" &Goto Slide   Number"));
        QCOMPARE(button("cmdLoadScreenNum")->text(),
                 QStringLiteral("    Load &Display    Numbers"));
        QVERIFY(!control("txtLoadShow")->isEnabled());
        QVERIFY(!control("txtSlideNum")->isEnabled());
        const bool kiosk = variant == kestro::Variant::Kiosk;
        QCOMPARE(m_window->findChild<QLineEdit *>(QStringLiteral("Text1")) != nullptr, kiosk);
        QCOMPARE(m_window->LongTimer1() != nullptr, kiosk);
        if (kiosk) {
            QCOMPARE(control<QLabel>("Label3")->text(), QStringLiteral("Total Slides"));
            QVERIFY(!control("txtTotalslides")->isEnabled());
            QCOMPARE(m_window->LongTimer1()->Interval(), 0.0f);
        }
        // Nothing is started before Load Show.
        QVERIFY(m_app->calls().empty());

        QCOMPARE(m_dialog->title(), QStringLiteral("Load PowerPoint Presentation"));
        QCOMPARE(m_dialog->initialDirectory(), m_driveC->path() + QStringLiteral("/Orvanta/"));
        QVERIFY(m_dialog->filters().value(0).contains(QStringLiteral("(*.ppt)")));
    }

    void loadShowAtTheDefaultPlace()
    {
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        QCOMPARE(m_app->calls(), loadWithDefaults);
        QVERIFY(m_app->visible());
        QCOMPARE(control("txtLoadShow")->text(), deck);
        QVERIFY(!control("txtLoadShow")->isEnabled());
        QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("1"));
        QVERIFY(!control("txtSlideNum")->isEnabled());
        QVERIFY(m_messages->shown.isEmpty());
    }

    void aDeckShownWithoutItsBuildsIsSaidAsItLoads()
    {
        for (const auto variant : {kestro::Variant::Kestro, kestro::Variant::Kiosk}) {
            makeWindow(variant);
            m_messages->shown.clear();
            if (variant == kestro::Variant::Kiosk) {
                control("Text1")->setText(QStringLiteral("10"));
            }
            const std::string without =
                "shown without its builds, one page per slide: the stepped import needs "
                "python3-uno, which is not installed";
            m_app->setImportReport(deck.toStdString(), {without});
            // The message waits for the operator; the kiosk's timer is already running then.
            bool timerRunning = false;
            m_messages->onShow = [this, &timerRunning](const QString &, const QString &) {
                timerRunning = m_window->LongTimer1() && m_window->LongTimer1()->Enabled();
            };
            loadShow();
            m_messages->onShow = {};
            QCOMPARE(timerRunning, variant == kestro::Variant::Kiosk);
            QCOMPARE(messageTexts(),
                     QStringList{deck + QStringLiteral(" is ") + QString::fromStdString(without) +
                                 QStringLiteral(".")});
            QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("1"));
        }
    }

    void loadShowAtConfirmedNumbersAfterTheirWindowClosed()
    {
        makeWindow(kestro::Variant::Kestro);
        button("cmdLoadScreenNum")->click();
        QVERIFY(m_window->screen()->isVisible());
        screenBox("txtLeft")->setText(QStringLiteral("-1024"));
        screenBox("txtTop")->setText(QStringLiteral("16"));
        screenBox("txtWidth")->setText(QStringLiteral("1280"));
        m_window->screen()->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
        QVERIFY(!m_window->screen()->isVisible());

        // Reopened and cancelled after editing: the confirmed numbers stay.
        button("cmdLoadScreenNum")->click();
        screenBox("txtLeft")->setText(QStringLiteral("5"));
        m_window->screen()->findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();

        loadShow();
        QCOMPARE(m_app->callsStartingWith({"Left", "Top", "Width"}),
                 (Calls{"Left(pres 1, -1024)", "Top(pres 1, 16)", "Width(pres 1, 1280)"}));
        QCOMPARE(m_app->presentation(1).left, -1024.0f);
    }

    void cancelledDialogDoesNothing()
    {
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        m_app->clearCalls();
        m_dialog->answers << std::nullopt;
        button("cmdLoadShow")->click();
        QCOMPARE(m_dialog->shownCount, 2);
        QVERIFY(m_app->calls().empty());
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(control("txtLoadShow")->text(), deck);
        QVERIFY(!control("txtLoadShow")->isEnabled());
    }

    void secondLoadOpensAnotherShowAndStepsIt()
    {
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        loadShow(QStringLiteral("/shows/second.ppt"));
        QCOMPARE(m_app->presentationCount(), 2);
        QVERIFY(m_app->presentation(1).showRunning); // the earlier show is left running
        m_app->clearCalls();
        button("cmdNextSlide")->click();
        QCOMPARE(m_app->calls(), (Calls{"Activate(pres 2)", "Next(pres 2)", "CurrentSlide(pres 2)",
                                        "SlideIndex(pres 2, 2)"}));
    }

    void nextAndPreviousActivateThenStep()
    {
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        m_app->clearCalls();
        button("cmdNextSlide")->click();
        button("cmdNextSlide")->click();
        QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("3"));
        button("cmdPreviousSlide")->click();
        QCOMPARE(m_app->calls(),
                 (Calls{"Activate(pres 1)", "Next(pres 1)", "CurrentSlide(pres 1)",
                        "SlideIndex(pres 1, 2)", "Activate(pres 1)", "Next(pres 1)",
                        "CurrentSlide(pres 1)", "SlideIndex(pres 1, 3)", "Activate(pres 1)",
                        "Previous(pres 1)", "CurrentSlide(pres 1)", "SlideIndex(pres 1, 2)"}));
        QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("2"));
        QVERIFY(!control("txtSlideNum")->isEnabled());
    }

    // A presenter clicker on Kestro's window: the buttons' handlers; the number box keeps its
    // cursor keys; the display numbers window keeps its keys.
    void clickerKeysPressNextAndPrevious()
    {
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        const std::tuple<QWidget *, Qt::Key, const char *> presses[] = {
            {button("cmdLoadShow"), Qt::Key_PageDown, "2"},
            {button("cmdLoadShow"), Qt::Key_Right, "3"},
            {control("txtGotoSlide"), Qt::Key_Left, "3"},
            {control("txtGotoSlide"), Qt::Key_PageUp, "2"},
            {button("cmdGoto"), Qt::Key_Left, "1"},
            {m_window->screen()->findChild<QPushButton *>(QStringLiteral("OKButton")),
             Qt::Key_PageDown, "1"},
        };
        m_window->screen()->showWindow();
        for (const auto &[focus, key, slide] : presses) {
            focus->setFocus();
            QTest::keyClick(focus, key);
            QCOMPARE(control("txtSlideNum")->text(), QLatin1String(slide));
        }
        QVERIFY(messageTexts().isEmpty());
    }

    // Black, white and back from the buttons, the queue and the keys; a step behind the blank
    // moves the slide and keeps the blank, also where the application would show the slide.
    void blanksAreSetStatesThatStepsKeep()
    {
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        m_app->setStepsReveal(true);
        m_app->clearCalls();
        button("cmdBlack")->click();
        button("cmdBlack")->click();
        QCOMPARE(m_app->callsStartingWith({"SetState"}),
                 (Calls{"SetState(pres 1, 3)", "SetState(pres 1, 3)"}));
        button("cmdNextSlide")->click();
        QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("2"));
        QCOMPARE(m_app->presentation(1).viewState, 3);
        control("txtGotoSlide")->setText(QStringLiteral("4"));
        button("cmdGoto")->click();
        QCOMPARE(m_app->presentation(1).currentSlide, 4);
        QCOMPARE(m_app->presentation(1).viewState, 3);
        QCOMPARE(m_window->blank(), 3);

        m_window->queueRemoteCommand(QStringLiteral("WHITE"));
        QTRY_COMPARE(m_app->presentation(1).viewState, 4);
        m_window->queueRemoteCommand(QStringLiteral("SHOW"));
        QTRY_COMPARE(m_app->presentation(1).viewState, 1);
        QCOMPARE(m_app->presentation(1).currentSlide, 4);

        // Typing in the number box is typing; elsewhere B and W toggle.
        control("txtGotoSlide")->setFocus();
        QTest::keyClick(control("txtGotoSlide"), Qt::Key_B);
        QCoreApplication::processEvents();
        QCOMPARE(m_app->presentation(1).viewState, 1);
        button("cmdGoto")->setFocus();
        QTest::keyClick(button("cmdGoto"), Qt::Key_B);
        QTRY_COMPARE(m_app->presentation(1).viewState, 3);
        QTest::keyClick(button("cmdGoto"), Qt::Key_B);
        QTRY_COMPARE(m_app->presentation(1).viewState, 1);
        QTest::keyClick(button("cmdGoto"), Qt::Key_Comma);
        QTRY_COMPARE(m_app->presentation(1).viewState, 4);
        QVERIFY(messageTexts().isEmpty());
    }

    void blankBeforeAnyLoadIsReported()
    {
        makeWindow(kestro::Variant::Kiosk);
        button("cmdWhite")->click();
        QCOMPARE(messageTexts().size(), 1);
        QVERIFY(m_app->calls().empty());
    }

    void gotoShowsTheTypedNumberWithoutActivating()
    {
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        m_app->clearCalls();
        control("txtGotoSlide")->setText(QStringLiteral("3"));
        button("cmdGoto")->click();
        QCOMPARE(m_app->calls(), (Calls{"GotoSlide(pres 1, 3, -1)"}));
        QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("3"));
        QCOMPARE(m_window->gotoNumber, 3);
        QCOMPARE(m_app->presentation(1).currentSlide, 3);
        QVERIFY(m_messages->shown.isEmpty());
    }

    void failuresShowOneMessageAndStopTheHandler_data()
    {
        QTest::addColumn<QString>("gotoText");
        QTest::addColumn<QString>("message");
        QTest::newRow("a letter") << "x"
                                  << "Kestro Type mismatch";
        QTest::newRow("beyond 32 bits") << "3000000000"
                                        << "Kestro Overflow";
        QTest::newRow("no slide of the show")
            << "11"
            << "Presentation application SlideShowView.GotoSlide : Integer out of range. 11 is not "
               "in the valid range.";
    }

    void failuresShowOneMessageAndStopTheHandler()
    {
        QFETCH(QString, gotoText);
        QFETCH(QString, message);
        makeWindow(kestro::Variant::Kestro);
        loadShow();
        button("cmdNextSlide")->click();
        m_app->clearCalls();
        control("txtGotoSlide")->setText(gotoText);
        button("cmdGoto")->click();
        QCOMPARE(messageTexts(), QStringList{message});
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestro "));
        QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("2"));
        QCOMPARE(m_app->presentation(1).currentSlide, 2);
    }

    void stepsBeforeAnyLoadAreReported()
    {
        makeWindow(kestro::Variant::Kestro);
        button("cmdNextSlide")->click();
        button("cmdPreviousSlide")->click();
        control("txtGotoSlide")->setText(QStringLiteral("2"));
        button("cmdGoto")->click();
        const QString notSet =
            QStringLiteral("Kestro Object variable or With block variable not set");
        QCOMPARE(messageTexts(), (QStringList{notSet, notSet, notSet}));
        QVERIFY(m_app->calls().empty());
        QVERIFY(control("txtSlideNum")->text().isEmpty());
    }

    void loadFailureKeepsWhatWasDone()
    {
        makeWindow(kestro::Variant::Kestro);
        m_app->failOn("Top", "Microsoft PowerPoint 2000", "SlideShowWindow.Top : Invalid request.");
        loadShow();
        QCOMPARE(messageTexts(),
                 QStringList{"Microsoft PowerPoint 2000 SlideShowWindow.Top : Invalid request."});
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestro "));
        const Calls done(loadWithDefaults.begin(), loadWithDefaults.begin() + 6);
        QCOMPARE(m_app->calls(), done);
        QCOMPARE(control("txtLoadShow")->text(), deck);
        QVERIFY(control("txtLoadShow")->isEnabled()); // the step that disables it did not run
        QVERIFY(control("txtSlideNum")->text().isEmpty());
    }

    void unreachableApplicationIsReported()
    {
        makeWindow(kestro::Variant::Kestro);
        m_app->failOn("CreateApplication", "Kestro", "ActiveX component can't create object");
        loadShow();
        QCOMPARE(messageTexts(), QStringList{"Kestro ActiveX component can't create object"});
        QVERIFY(!m_window->ppPres1);
    }

    void linkLabel()
    {
        makeWindow(kestro::Variant::Kestro);
        m_window->show();
        auto *label = control<QLabel>("Label1");
        const auto colour = [label] { return label->palette().color(QPalette::WindowText); };
        QCOMPARE(colour(), QColor(0, 0, 255));
        QMouseEvent onLabel(QEvent::MouseMove, QPointF(5, 5), label->mapToGlobal(QPointF(5, 5)),
                            Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &onLabel);
        QCOMPARE(colour(), QColor(255, 0, 0));
        QMouseEvent onForm(QEvent::MouseMove, QPointF(400, 230),
                           m_window->mapToGlobal(QPointF(400, 230)), Qt::NoButton, Qt::NoButton,
                           Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &onForm);
        QCOMPARE(colour(), QColor(0, 0, 255));

        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(m_openedUrls.size(), 1);
        // The guide ships beside the programs (and these tests).
        const QString guide = m_openedUrls.at(0).toLocalFile();
        QVERIFY2(QFileInfo::exists(guide), qPrintable(guide));
        QFile file(guide);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray page = file.readAll();
        QVERIFY(page.contains("Load Display Numbers") && page.contains("in seconds"));
    }

    void linkThatCannotOpenSaysSo()
    {
        makeWindow(kestro::Variant::Kestro);
        m_window->show();
        m_urlOpens = false;
        QTest::mouseClick(control<QLabel>("Label1"), Qt::LeftButton);
        m_urlOpens = true;
        QCOMPARE(m_openedUrls.size(), 1);
        QCOMPARE(m_messages->shown.size(), 1);
        QVERIFY(m_messages->shown.at(0).text.contains(
            QDir::toNativeSeparators(m_openedUrls.at(0).toLocalFile())));
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestro "));
    }

    void closingClosesTheOtherWindowsAndLeavesTheShow()
    {
        makeWindow(kestro::Variant::Kestro);
        m_window->show();
        loadShow();
        button("cmdLoadScreenNum")->click();
        QVERIFY(m_window->screen()->isVisible());
        m_app->clearCalls();
        QVERIFY(m_window->close());
        QVERIFY(!m_window->screen()->isVisible());
        QCOMPARE(m_endCount, 1);
        QVERIFY(m_app->calls().empty());
        QVERIFY(m_app->presentation(1).showRunning);
    }

    void kioskShowsTheTotalAndAdvancesOnTheTimer()
    {
        makeWindow(kestro::Variant::Kiosk);
        m_app->setSlideCount(deck.toStdString(), 12);
        control("Text1")->setText(QStringLiteral("0.2"));
        loadShow();
        QVERIFY(m_messages->shown.isEmpty());
        Calls expected = loadWithDefaults;
        expected.insert(expected.end() - 1, "SlidesCount(pres 1)");
        QCOMPARE(m_app->calls(), expected);
        QCOMPARE(control("txtTotalslides")->text(), QStringLiteral("12"));
        QVERIFY(!control("txtTotalslides")->isEnabled());
        QVERIFY(control("txtLoadShow")->isEnabled()); // the kiosk leaves it enabled
        QCOMPARE(m_window->LongTimer1()->Interval(), 0.2f);

        QTRY_VERIFY_WITH_TIMEOUT(m_app->presentation(1).currentSlide >= 3, 5000);
        QTRY_COMPARE(control("txtSlideNum")->text(),
                     QString::number(m_app->presentation(1).currentSlide));
        QVERIFY(m_app->callsStartingWith({"Activate"}).size() >= 2);
    }

    void kioskWithoutIntervalAsksForIt_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "fast";
        QTest::newRow("zero") << "0";
        QTest::newRow("negative") << "-2";
    }

    void kioskWithoutIntervalAsksForIt()
    {
        QFETCH(QString, interval);
        makeWindow(kestro::Variant::Kiosk);
        control("Text1")->setText(interval);
        loadShow();
        // The show was opened, placed and counted before the message.
        QCOMPARE(m_app->callsStartingWith({"Width", "SlidesCount"}),
                 (Calls{"Width(pres 1, 768)", "SlidesCount(pres 1)"}));
        QCOMPARE(control("txtSlideNum")->text(), QStringLiteral("1"));
        QCOMPARE(control("txtTotalslides")->text(), QStringLiteral("10"));
        QCOMPARE(messageTexts(),
                 QStringList{"Please enter timer interval before loading PPT file."});
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestrokiosk-Dual Monitor"));
        QCOMPARE(m_window->LongTimer1()->Interval(), 0.0f);
        QVERIFY(!m_window->LongTimer1()->isTicking());
    }

    void kioskReportsOtherFailuresAsThemselves()
    {
        makeWindow(kestro::Variant::Kiosk);
        m_app->failOn("Open", "Microsoft PowerPoint 2000",
                      "Presentations.Open : PowerPoint could not open the file.");
        loadShow();
        QCOMPARE(messageTexts(), QStringList{"Microsoft PowerPoint 2000 Presentations.Open : "
                                             "PowerPoint could not open the file."});
    }

    void kioskKeepsItsIntervalWhenANewOneIsBad()
    {
        makeWindow(kestro::Variant::Kiosk);
        control("Text1")->setText(QStringLiteral("30"));
        loadShow();
        QVERIFY(m_window->LongTimer1()->isTicking());
        control("Text1")->setText(QStringLiteral("soon"));
        loadShow(QStringLiteral("/shows/second.ppt"));
        QCOMPARE(messageTexts(), QStringList{"Kestrokiosk Type mismatch"});
        QCOMPARE(m_window->LongTimer1()->Interval(), 30.0f);
        QVERIFY(m_window->LongTimer1()->isTicking());
    }

    void kioskTicksDoNotPileUpMessages()
    {
        makeWindow(kestro::Variant::Kiosk);
        control("Text1")->setText(QStringLiteral("0.05"));
        loadShow();
        m_app->failOn("Next", "Presentation application",
                      "SlideShowView.Next : The show has ended.");
        int depth = 0;
        int deepest = 0;
        m_messages->onShow = [&](const QString &, const QString &) {
            ++depth;
            deepest = std::max(deepest, depth);
            QTest::qWait(400); // the box stays open over several ticks
            --depth;
        };
        QTRY_VERIFY_WITH_TIMEOUT(m_messages->shown.size() >= 2, 5000);
        m_messages->onShow = nullptr;
        m_window->LongTimer1()->setEnabled(false);
        QCOMPARE(deepest, 1);
    }

    void timerIntervals()
    {
        QCOMPARE(kestro::intervalMilliseconds(0.2f), 200);
        QCOMPARE(kestro::intervalMilliseconds(2.5f), 2500);
        QCOMPARE(kestro::intervalMilliseconds(86400.0f), 86400000);
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, kestro::intervalMilliseconds(0.0f));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, kestro::intervalMilliseconds(-1.0f));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, kestro::intervalMilliseconds(0.0004f));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, kestro::intervalMilliseconds(3.0e6f));
    }
};

CORVANE_TEST_MAIN(TestFrmKestro)
#include "tst_frmkestro.moc"
