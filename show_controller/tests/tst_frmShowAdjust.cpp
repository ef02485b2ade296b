// The geometry window: the nine placement numbers, the screen-numbers file and its window.

#include "control_fixture.h"

#include "show_controller/frmShowAdjust.h"

#include "platform/error.h"
#include "platform/testing/failing_save.h"
#include "platform/testing/test_main.h"

#include <QComboBox>
#include <QDir>
#include <QFile>

#include <array>

namespace {

const char *const boxNames[9] = {"txtScreen1Left", "txtScreen1Top", "txtScreen1Width",
                                 "txtScreen2Left", "txtScreen2Top", "txtScreen2Width",
                                 "txtScreen3Left", "txtScreen3Top", "txtScreen3Width"};

const QByteArray defaultsLine = "-768,0,768,0,0,768,769,0,768,1\r\n";

// The geometry window with its nine number boxes in the order of the file.
struct Adjust : AdjustWindow
{
    using AdjustWindow::AdjustWindow;

    QLineEdit *box(int i) const { return control<QLineEdit>(boxNames[i]); }
    QStringList boxes() const
    {
        QStringList texts;
        for (int i = 0; i < 9; ++i) {
            texts.append(box(i)->text());
        }
        return texts;
    }
    void setBoxes(const QStringList &texts) const
    {
        for (int i = 0; i < 9; ++i) {
            box(i)->setText(texts.at(i));
        }
    }
};

QList<std::int16_t> placement(const frmControl &w)
{
    return {w.Screen1Left,  w.Screen1Top,  w.Screen1Width, w.Screen2Left, w.Screen2Top,
            w.Screen2Width, w.Screen3Left, w.Screen3Top,   w.Screen3Width};
}

const QList<std::int16_t> defaults = {-768, 0, 768, 0, 0, 768, 769, 0, 768};
const QStringList defaultTexts = {"-768", "0", "768", "0", "0", "768", "769", "0", "768"};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestShowAdjust : public QObject
{
    Q_OBJECT

private slots:
    void fileFormat()
    {
        QCOMPARE(screennumbers::line(defaultTexts).toLatin1(), defaultsLine);
        QCOMPARE(screennumbers::fields(QString::fromLatin1(defaultsLine)), defaultTexts);
        // Texts are kept as they are, blanks and all; fields after the ninth are not used.
        const QStringList odd = {" 1", "abc", "", "2.5", "-0", "40000", "x", "y", "z"};
        QCOMPARE(screennumbers::fields(screennumbers::line(odd) + QStringLiteral(",7,8")), odd);
        // Exactly nine fields: the last keeps whatever ends the file.
        QCOMPARE(screennumbers::fields(QStringLiteral("1,2,3,4,5,6,7,8,9\r\n")).last(),
                 QStringLiteral("9\r\n"));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError,
                                 screennumbers::fields(QStringLiteral("1,2,3,4,5,6,7,8")));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, screennumbers::fields(QString()));
    }

    void portNames()
    {
        QCOMPARE(screennumbers::portNumber(QStringLiteral("Com1")), 1);
        QCOMPARE(screennumbers::portNumber(QStringLiteral("Com4")), 4);
        for (const char *text : {"COM2", "com2", "Com2 ", " Com2", "Com5", "Com0", "Com", ""}) {
            QVERIFY2(screennumbers::portNumber(QLatin1String(text)) == 0, text);
        }
    }

    void closingTheMainWindowClosesIt()
    {
        ControlFixture f;
        f.window->show();
        Adjust a(f);
        QVERIFY(a.window->isVisible());
        QVERIFY(f.window->close());
        QVERIFY(!a.window->isVisible());
    }

    void windowMatchesTheLayout()
    {
        ControlFixture f;
        Adjust a(f);
        frmShowAdjust &w = *a.window;
        QVERIFY(w.isWindow());
        QVERIFY(!w.parentWidget()); // may go behind the main window
        QVERIFY(w.isVisible());
        QVERIFY(!w.isModal());
        QVERIFY(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(w.windowTitle(), QStringLiteral(" Orvanta Adjust Display Screen Numbers"));
        QCOMPARE(w.size(), QSize(370, 373));
        QCOMPARE(w.minimumSize(), w.maximumSize());

        const LayoutRow rows[] = {
            {"Label1", " Left        Top      Width", 2280, 0, 2775, 375},
            {"cmdScreen1Adjust", "Screen 1 Adjust", 360, 360, 1455, 615},
            {"cmdScreen2Adjust", "Screen 2  Adjust", 360, 1620, 1455, 615},
            {"cmdScreen3Adjust", " Screen 3   Adjust", 360, 2880, 1455, 615},
            {"txtScreen1Left", "-768", 2280, 360, 735, 495},
            {"txtScreen2Top", "0", 3300, 1620, 735, 495},
            {"txtScreen3Width", "768", 4320, 2880, 735, 495},
            {"cmbPort", "Com1", 480, 4440, 855, 315},
            {"cmdSetComm", "Set Comm Port", 480, 4920, 1215, 495},
            {"cmdSave", "Save Screen Numbers", 1920, 4440, 1695, 735},
            {"cmdLoad", "Load Screen Numbers", 3720, 4440, 1695, 735},
        };
        verifyLayout(&w, rows);
        if (QTest::currentTestFailed()) {
            return;
        }
        for (const LayoutRow &row : rows) {
            QWidget *c = a.control(row.name);
            if (auto *button = qobject_cast<QPushButton *>(c)) {
                QVERIFY2(button->font().bold(), row.name);
            } else if (auto *line = qobject_cast<QLineEdit *>(c)) {
                QVERIFY2(line->font().bold() && line->font().pointSize() == 12, row.name);
            } else if (auto *combo = qobject_cast<QComboBox *>(c)) {
                QCOMPARE(combo->count(), 4);
                QCOMPARE(combo->itemText(3), QStringLiteral("Com4"));
            }
        }
    }

    // Opened right after start it shows the defaults; shown again while open it keeps what
    // the operator typed; opened again after closing it reads the numbers afresh.
    void openingAndShowingAgain()
    {
        ControlFixture f;
        Adjust a(f);
        QCOMPARE(a.boxes(), defaultTexts);

        a.box(0)->setText(QStringLiteral("typed"));
        a.control<QComboBox>("cmbPort")->setCurrentText(QStringLiteral("Com3"));
        f.window->Screen1Top = 55;
        f.click("cmdShowAdjust");
        QCOMPARE(f.window->geometryWindow(), a.window);
        QCOMPARE(a.box(0)->text(), QStringLiteral("typed"));
        QCOMPARE(a.box(1)->text(), QStringLiteral("0"));

        a.window->close();
        QVERIFY(!a.window->isVisible());
        f.click("cmdShowAdjust");
        QCOMPARE(f.window->geometryWindow(), a.window);
        QVERIFY(a.window->isVisible());
        QCOMPARE(a.box(0)->text(), QStringLiteral("-768"));
        QCOMPARE(a.box(1)->text(), QStringLiteral("55"));
        QCOMPARE(a.control<QComboBox>("cmbPort")->currentText(), QStringLiteral("Com1"));
    }

    // Each button applies its own row only; running shows stay where they are.
    void adjustAppliesItsRow()
    {
        ControlFixture f;
        f.loadThree();
        Adjust a(f);
        f.app.clearCalls();
        a.setBoxes({"1", "2", "3", "1024", "0", "768", "7", "8", "9"});
        // From the keyboard: Enter on the focused button.
        QTest::keyClick(a.control<QPushButton>("cmdScreen2Adjust"), Qt::Key_Return);
        QCOMPARE(placement(*f.window),
                 (QList<std::int16_t>{-768, 0, 768, 1024, 0, 768, 769, 0, 768}));
        a.click("cmdScreen1Adjust");
        a.click("cmdScreen3Adjust");
        QCOMPARE(placement(*f.window), (QList<std::int16_t>{1, 2, 3, 1024, 0, 768, 7, 8, 9}));
        QVERIFY(f.app.calls().empty());
        QVERIFY(f.messages->shown.isEmpty());
    }

    // A box that is no 16-bit number keeps that one number; the others of the row are set.
    void adjustSkipsBadNumbers_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<QList<std::int16_t>>("expected");
        QTest::newRow("letters") << QStringList{"abc", "10", "20"}
                                 << QList<std::int16_t>{-768, 10, 20};
        QTest::newRow("too large")
            << QStringList{"5", "40000", "6"} << QList<std::int16_t>{5, 0, 6};
        QTest::newRow("too small")
            << QStringList{"-32769", "-32768", "32767"} << QList<std::int16_t>{-768, -32768, 32767};
        QTest::newRow("blank box") << QStringList{" ", "", "1"} << QList<std::int16_t>{-768, 0, 1};
        QTest::newRow("blanks and fractions")
            << QStringList{" 12 ", "2.5", "1023.5"} << QList<std::int16_t>{12, 2, 1024};
    }
    void adjustSkipsBadNumbers()
    {
        QFETCH(QStringList, row);
        QFETCH(QList<std::int16_t>, expected);
        ControlFixture f;
        Adjust a(f);
        for (int i = 0; i < 3; ++i) {
            a.box(i)->setText(row.at(i));
        }
        a.click("cmdScreen1Adjust");
        QCOMPARE(placement(*f.window).mid(0, 3), expected);
        QCOMPARE(placement(*f.window).mid(3), defaults.mid(3));
    }

    void saveWritesTheLine()
    {
        ControlFixture f;
        Adjust a(f);
        const QString file = f.path(QStringLiteral("Orvanta Screen Numbers.txt"));
        a.click("cmdSave");
        QCOMPARE(readAll(file), defaultsLine);
        QCOMPARE(f.messages->shown.size(), 1);
        QCOMPARE(f.messages->shown[0].text, QStringLiteral("New Screen Numbers Saved"));
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));

        // The texts go in as typed, replacing the old file.
        a.setBoxes({"abc", " 1", "40000", "0", "0", "768", "769", "0", "-0"});
        a.click("cmdSave");
        QCOMPARE(readAll(file), QByteArray("abc, 1,40000,0,0,768,769,0,-0,1\r\n"));
        QCOMPARE(f.messages->shown.size(), 2);
        QCOMPARE(QDir(f.root.path()).entryList(QDir::Files),
                 QStringList{"Orvanta Screen Numbers.txt"});
    }

    // A save that cannot be completed leaves the old file as it was and confirms nothing.
    void failedSaveKeepsTheOldFile()
    {
        ControlFixture f;
        Adjust a(f);
        const QByteArray old = "1,2,3,4,5,6,7,8,9,1\r\n";
        const QString file = f.writeFile(QStringLiteral("Orvanta Screen Numbers.txt"), old);

        {
            platformtesting::FailingSave failing(file);
            QVERIFY(failing.armed());
            a.click("cmdSave");
        }

        QCOMPARE(readAll(file), old);
        QVERIFY(f.messages->shown.isEmpty());
        QCOMPARE(QDir(f.root.path()).entryList(QDir::Files),
                 QStringList{"Orvanta Screen Numbers.txt"});
    }

    // Load fills the boxes only; the Adjust buttons then apply them.
    void loadFillsTheBoxes()
    {
        ControlFixture f;
        f.writeFile(QStringLiteral("Orvanta Screen Numbers.txt"),
                    "10,20,30,40,50,60,70,80,90,1\r\n");
        Adjust a(f);
        a.click("cmdLoad");
        QCOMPARE(a.boxes(), (QStringList{"10", "20", "30", "40", "50", "60", "70", "80", "90"}));
        QCOMPARE(f.messages->shown.size(), 1);
        QCOMPARE(f.messages->shown[0].text, QStringLiteral("Sucessfully Loaded Screen Numbers"));
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));
        QCOMPARE(placement(*f.window), defaults);
        a.click("cmdScreen3Adjust");
        QCOMPARE(placement(*f.window), (QList<std::int16_t>{-768, 0, 768, 0, 0, 768, 70, 80, 90}));
    }

    void saveThenLoadRoundTrips()
    {
        ControlFixture f;
        Adjust a(f);
        const QStringList texts = {"abc", " 1", "40000", "0", "0", "768", "769", "0", "-0"};
        a.setBoxes(texts);
        a.click("cmdSave");
        a.setBoxes(defaultTexts);
        a.click("cmdLoad");
        QCOMPARE(a.boxes(), texts);
    }

    // A file that is missing, not readable as a file or short is reported; no box changes
    // and no success is claimed.
    void loadFailuresAreReported_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << "missing"
                                 << "File not found";
        QTest::newRow("a folder") << "folder"
                                  << "Not a file";
        QTest::newRow("short") << "short"
                               << "holds 8 of the 9 numbers";
        QTest::newRow("empty") << "empty"
                               << "holds 1 of the 9 numbers";
    }
    void loadFailuresAreReported()
    {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        ControlFixture f;
        const QString name = QStringLiteral("Orvanta Screen Numbers.txt");
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(f.root.path()).mkdir(name));
        } else if (kind == QLatin1String("short")) {
            f.writeFile(name, "1,2,3,4,5,6,7,8");
        } else if (kind == QLatin1String("empty")) {
            f.writeFile(name, "");
        }
        Adjust a(f);
        a.click("cmdLoad");
        QCOMPARE(a.boxes(), defaultTexts);
        QCOMPARE(f.messages->shown.size(), 1);
        QVERIFY2(f.messages->shown[0].text.startsWith(QStringLiteral("Corvane ")),
                 qPrintable(f.messages->shown[0].text));
        QVERIFY2(f.messages->shown[0].text.contains(says), qPrintable(f.messages->shown[0].text));
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));
    }

    // Closing the main window ends the program even while the geometry window is open.
    void mainWindowClosingEndsTheProgram()
    {
        ControlFixture f;
        f.window->show();
        Adjust a(f);
        QTimer::singleShot(0, f.window.get(), [&f] { f.window->close(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

CORVANE_TEST_MAIN(TestShowAdjust)
#include "tst_frmShowAdjust.moc"
