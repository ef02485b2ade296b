#include "platform/drive_c.h"
#include "platform/error.h"
#include "platform/file_dialog.h"
#include "platform/presenter_keys.h"
#include "platform/resume_next.h"
#include "platform/screen_blank.h"
#include "platform/testing/test_main.h"
#include "platform/text_file.h"
#include "platform/vb_convert.h"
#include "platform/window_beside.h"
#include "presentation_automation/session/qt_platform_choice.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

using namespace platform;

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void integerConversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << "769" << 769;
        QTest::newRow("negative") << "-768" << -768;
        QTest::newRow("blanks around") << "  42 " << 42;
        QTest::newRow("tab around") << "\t7\t" << 7;
        QTest::newRow("half to even down") << "2.5" << 2;
        QTest::newRow("half to even up") << "3.5" << 4;
        QTest::newRow("negative half") << "-0.5" << 0;
        QTest::newRow("fraction") << "1023.6" << 1024;
        QTest::newRow("leading zeros") << "007" << 7;
        QTest::newRow("plus sign") << "+12" << 12;
        QTest::newRow("exponent") << "1e3" << 1000;
        QTest::newRow("int16 max") << "32767" << 32767;
        QTest::newRow("int16 min") << "-32768" << -32768;
        QTest::newRow("rounds into range") << "32767.4" << 32767;
    }
    void integerConversions()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(int(toInt16(text)), expected);
        QCOMPARE(toInt32(text), expected);
    }

    void conversionFailures_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("description");
        QTest::newRow("empty") << ""
                               << "Type mismatch";
        QTest::newRow("blank") << " "
                               << "Type mismatch";
        QTest::newRow("letters") << "abc"
                                 << "Type mismatch";
        QTest::newRow("trailing letter") << "12x"
                                         << "Type mismatch";
        QTest::newRow("inner blank") << "1 2"
                                     << "Type mismatch";
        QTest::newRow("hex-like") << "0x10"
                                  << "Type mismatch";
        QTest::newRow("inf") << "inf"
                             << "Type mismatch";
        QTest::newRow("two signs") << "+-1"
                                   << "Type mismatch";
        QTest::newRow("above int16") << "40000"
                                     << "Overflow";
        QTest::newRow("below int16") << "-32769"
                                     << "Overflow";
        QTest::newRow("rounds out of range") << "32767.5"
                                             << "Overflow";
    }
    void conversionFailures()
    {
        QFETCH(QString, text);
        QFETCH(QString, description);
        try {
            toInt16(text);
            QFAIL("no error");
        } catch (const AutomationError &e) {
            QCOMPARE(errorDescription(e), description);
        }
    }

    void int32Range()
    {
        QCOMPARE(toInt32(" 40000 "), 40000);
        QCOMPARE(toInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
        QVERIFY_THROWS_EXCEPTION(AutomationError, toInt32("2147483648"));
    }

    void singles()
    {
        QCOMPARE(toSingle("0.2"), 0.2f);
        QCOMPARE(toSingle(" 5 "), 5.0f);
        QVERIFY_THROWS_EXCEPTION(AutomationError, toSingle(""));
        QVERIFY_THROWS_EXCEPTION(AutomationError, toSingle("1e300"));
    }

    void resumeNextSkipsOnlyTheFailingStatement()
    {
        QStringList done;
        QVERIFY(resumeNext([&] { done << "a"; }));
        QVERIFY(!resumeNext([&] {
            toInt16("x");
            done << "never";
        }));
        QVERIFY(!resumeNext([&] { throw AutomationError("src", "desc"); }));
        QVERIFY(resumeNext([&] { done << "b"; }));
        QCOMPARE(done, QStringList({"a", "b"}));
    }

    void platformChoiceOnWayland_data()
    {
        using V = std::optional<std::string>;
        QTest::addColumn<V>("session");
        QTest::addColumn<V>("wayland");
        QTest::addColumn<V>("display");
        QTest::addColumn<V>("chosen");
        QTest::addColumn<QString>("expected");
        const V unset;
        QTest::newRow("wayland with XWayland")
            << V("wayland") << V("wayland-0") << V(":0") << unset << "xcb";
        QTest::newRow("session type in capitals")
            << V("Wayland") << unset << V(":1") << unset << "xcb";
        QTest::newRow("only WAYLAND_DISPLAY says so")
            << unset << V("wayland-0") << V(":0") << unset << "xcb";
        QTest::newRow("empty choice is no choice")
            << V("wayland") << unset << V(":0") << V("") << "xcb";
        QTest::newRow("the user chose wayland")
            << V("wayland") << V("wayland-0") << V(":0") << V("wayland") << "";
        QTest::newRow("the user chose offscreen")
            << V("wayland") << unset << V(":0") << V("offscreen") << "";
        QTest::newRow("no X server") << V("wayland") << V("wayland-0") << unset << unset << "";
        QTest::newRow("empty DISPLAY") << V("wayland") << V("wayland-0") << V("") << unset << "";
        QTest::newRow("an X11 session") << V("x11") << unset << V(":0") << unset << "";
        QTest::newRow("a console") << V("tty") << unset << unset << unset << "";
        QTest::newRow("empty WAYLAND_DISPLAY on X11")
            << V("x11") << V("") << V(":0") << unset << "";
    }

    void platformChoiceOnWayland()
    {
        using V = std::optional<std::string>;
        QFETCH(V, session);
        QFETCH(V, wayland);
        QFETCH(V, display);
        QFETCH(V, chosen);
        QFETCH(QString, expected);
        const pa::SessionEnvironment env{session, wayland, display, chosen};
        QCOMPARE(QString::fromStdString(pa::chooseQtPlatform(env)), expected);
    }

    void driveCMapping()
    {
        setDriveCRoot("/tmp/root");
        QCOMPARE(mapDriveC("C:\\Slide Shows\\Screen 1 JPG\\ExportSlide"),
                 QString("/tmp/root/Slide Shows/Screen 1 JPG/ExportSlide"));
        QCOMPARE(mapDriveC("c:\\Kestro"), QString("/tmp/root/Kestro"));
        QCOMPARE(mapDriveC("C:\\Orvanta Screen Numbers.txt"),
                 QString("/tmp/root/Orvanta Screen Numbers.txt"));
        QCOMPARE(mapDriveC("/home/x/show.pdf"), QString("/home/x/show.pdf"));
        QCOMPARE(mapDriveC("D:\\x"), QString("D:\\x"));
        setDriveCRoot("/tmp/root/");
        QCOMPARE(mapDriveC("C:\\Kestro"), QString("/tmp/root/Kestro"));
        setDriveCRoot(QString());
        QVERIFY(!driveCRoot().isEmpty());
    }

    void textFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("numbers.txt");
        writeAnsiTextFile(path, "769,0,768\r\n");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("769,0,768\r\n"));
        f.close();
        QCOMPARE(readAnsiTextFile(path), QString("769,0,768\r\n"));

        // A write that cannot complete leaves the old file as it was.
        QVERIFY_THROWS_EXCEPTION(AutomationError,
                                 writeAnsiTextFile(dir.filePath("no/such/dir/x"), "y"));
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (!QFileInfo(dir.path()).isWritable()) { // root may write anyway
            QVERIFY_THROWS_EXCEPTION(AutomationError, writeAnsiTextFile(path, "new"));
            QCOMPARE(readAnsiTextFile(path), QString("769,0,768\r\n"));
        }
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);

        QVERIFY_THROWS_EXCEPTION(AutomationError, readAnsiTextFile(dir.filePath("missing")));
        QVERIFY_THROWS_EXCEPTION(AutomationError, readAnsiTextFile(dir.path()));
    }

    void besideTheMainWindow_data()
    {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("expected"); // (-1, -1): no room, the desktop places it
        const QRect desktop(0, 0, 1920, 1040);
        QTest::newRow("room on the right")
            << QRect(100, 50, 860, 640) << desktop << QPoint(968, 50);
        QTest::newRow("only the left has room")
            << QRect(1000, 50, 860, 640) << desktop << QPoint(612, 50);
        QTest::newRow("neither side")
            << QRect(100, 50, 860, 640) << QRect(0, 0, 1280, 1024) << QPoint(-1, -1);
        QTest::newRow("kept inside at the bottom")
            << QRect(100, 900, 860, 640) << desktop << QPoint(968, 660);
        QTest::newRow("kept inside at the top")
            << QRect(100, -30, 860, 640) << desktop << QPoint(968, 0);
        QTest::newRow("a screen right of the primary")
            << QRect(1920, 0, 860, 640) << QRect(1920, 0, 1920, 1080) << QPoint(2788, 0);
        QTest::newRow("lower than the window")
            << QRect(100, 0, 860, 300) << QRect(0, 0, 1920, 300) << QPoint(-1, -1);
    }

    void besideTheMainWindow()
    {
        QFETCH(QRect, main);
        QFETCH(QRect, available);
        QFETCH(QPoint, expected);
        const auto corner = besidePlacement(main, QSize(380, 380), available);
        QCOMPARE(corner.value_or(QPoint(-1, -1)), expected);
        if (corner) {
            QVERIFY(available.contains(QRect(*corner, QSize(380, 380))));
            QVERIFY(!main.intersects(QRect(*corner, QSize(380, 380))));
        }
    }

    void dialogStartsInAnExistingFolder()
    {
        QTemporaryDir dir;
        QCOMPARE(startingFolder(dir.path()), dir.path());
        const QString elsewhere = startingFolder(dir.filePath(QStringLiteral("missing")));
        QVERIFY(QDir(elsewhere).exists());
        QVERIFY(elsewhere != dir.filePath(QStringLiteral("missing")));
        QVERIFY(QDir(startingFolder(QString())).exists());
    }

    // Queue texts to blanks, and where each screen goes: a toggle over several screens
    // moves them together, so one press never leaves them in different colours.
    void blankRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QString>("after"); // "none" when the text is no blank command
        const QList<int> shown{1, 1, 1}, mixed{3, 1, 4}, black{3, 3, 3};
        QTest::newRow("black all") << "BLACK" << shown << "3 3 3";
        QTest::newRow("white one") << "white 2" << shown << "1 4 1";
        QTest::newRow("show one") << "SHOW 3" << mixed << "3 1 1";
        QTest::newRow("black twice stays") << "BLACK 1" << mixed << "3 1 4";
        QTest::newRow("toggle on from mixed") << "TOGGLE BLACK" << mixed << "3 3 3";
        QTest::newRow("toggle off") << "TOGGLE BLACK" << black << "1 1 1";
        QTest::newRow("toggle white over black") << "TOGGLE WHITE" << black << "4 4 4";
        QTest::newRow("screen 4") << "BLACK 4" << shown << "none";
        QTest::newRow("screen 0") << "BLACK 0" << shown << "none";
        QTest::newRow("toggle one screen") << "TOGGLE BLACK 2" << shown << "none";
        QTest::newRow("other word") << "BLANK" << shown << "none";
        QTest::newRow("a step") << "N" << shown << "none";
    }
    void blankRules()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, before);
        QFETCH(QString, after);
        const auto command = blankCommand(text, 3);
        if (!command) {
            QCOMPARE(QStringLiteral("none"), after);
            return;
        }
        std::vector<int> screens;
        std::vector<std::int32_t> current;
        for (int s = 1; s <= 3; ++s) {
            if (command->screen == 0 || command->screen == s) {
                screens.push_back(s);
                current.push_back(before.at(s - 1));
            }
        }
        const std::vector<std::int32_t> targets = blankTargets(command->kind, current);
        QList<int> result = before;
        for (std::size_t i = 0; i < screens.size(); ++i) {
            result[screens[i] - 1] = targets[i];
        }
        QStringList words;
        for (const int state : result) {
            words << QString::number(state);
        }
        QCOMPARE(words.join(' '), after);
        QCOMPARE(blankName(result.at(0)), result.at(0) == 3   ? QStringLiteral("black")
                                          : result.at(0) == 4 ? QStringLiteral("white")
                                                              : QStringLiteral("none"));
    }

    // B and "." black, W and "," white, as in a slide show, unless a control takes the typing.
    void blankKeys()
    {
        QLineEdit line;
        QLineEdit readOnly;
        readOnly.setReadOnly(true);
        QPlainTextEdit shown;
        shown.setReadOnly(true);
        const auto step = [](int key, const QWidget *focus,
                             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            return presenterStep(key, modifiers, false, focus);
        };
        QCOMPARE(step(Qt::Key_B, nullptr), PresenterStep::ToggleBlack);
        QCOMPARE(step(Qt::Key_Period, &readOnly), PresenterStep::ToggleBlack);
        QCOMPARE(step(Qt::Key_Period, nullptr, Qt::KeypadModifier), PresenterStep::ToggleBlack);
        QCOMPARE(step(Qt::Key_W, &shown), PresenterStep::ToggleWhite);
        QCOMPARE(step(Qt::Key_Comma, nullptr), PresenterStep::ToggleWhite);
        QCOMPARE(step(Qt::Key_B, &line), std::nullopt);
        QCOMPARE(step(Qt::Key_W, nullptr, Qt::ControlModifier), std::nullopt);
        QCOMPARE(presenterStep(Qt::Key_B, Qt::NoModifier, true, nullptr), std::nullopt);
        QCOMPARE(presenterQueueText(PresenterStep::ToggleWhite), QStringLiteral("TOGGLE WHITE"));
    }
};

CORVANE_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
