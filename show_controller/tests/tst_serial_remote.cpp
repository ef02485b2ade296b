// The serial remote on a real line: a pty pair, the program's port opened on the slave and
// the remote played by writing on the master.

#include "control_fixture.h"

#include "platform/busy_calls.h"
#include "platform/qt_serial_port.h"
#include "platform/testing/pty_pair.h"
#include "platform/testing/slow_calls.h"
#include "platform/testing/test_main.h"

#include <QLabel>
#include <QSettings>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using platform::testing::PtyPair;
using namespace std::chrono_literals;

namespace {

// Two real lines; "Com1" and "Com2" are the two slaves unless a test says a port is
// missing, "Com3" and "Com4" are missing.
struct Lines
{
    PtyPair line1, line2;
    bool com1Missing = false;

    std::function<std::unique_ptr<platform::SerialPort>()> factory()
    {
        const QString one = com1Missing ? QStringLiteral("/nonexistent/ttyS0") : line1.slavePath();
        const QString two = line2.slavePath();
        return [one, two] {
            return std::make_unique<platform::QtSerialPort>([one, two](int port) {
                return port == 1   ? one
                       : port == 2 ? two
                                   : QStringLiteral("/nonexistent/ttyS%1").arg(port - 1);
            });
        };
    }
};

// The Next Slide steps of a run of presses from the script of scriptOfSteps, the first
// sending Screen 1 to slide `first`.
Calls nextSteps(int first, int count)
{
    Calls steps;
    for (int slide = first; slide < first + count; ++slide) {
        steps.push_back("GotoSlide(pres 1, " + std::to_string(slide) + ", -1)");
    }
    return steps;
}

// The remote pressing `command` `count` times, `apart` from one another, from a thread.
std::thread pressing(const PtyPair &line, const QByteArray &command, int count,
                     std::chrono::milliseconds apart, std::chrono::milliseconds after = {})
{
    return std::thread([&line, command, count, apart, after] {
        std::this_thread::sleep_for(after);
        for (int i = 0; i < count; ++i) {
            line.write(command);
            std::this_thread::sleep_for(apart);
        }
    });
}

QByteArray scriptOfSteps(int steps)
{
    // The opening line, then one step per line sending Screen 1 to slide 2, 3, ...
    QByteArray script = "0,1,1,1\r\n";
    for (int i = 1; i <= steps; ++i) {
        script += "1," + QByteArray::number(i + 1) + ",1,1\r\n";
    }
    return script;
}

// A show loaded on three screens with a script; the recording starts empty.
void prepareShow(ControlFixture &f, int steps = 10)
{
    f.loadThree();
    f.loadScript(scriptOfSteps(steps));
    QVERIFY(f.messages->shown.isEmpty());
    // Keeps each step short: the previews are not looked at here, the pictures of the loads
    // stay in place.
    f.app.setExportWritesFiles(false);
    f.window->LineNumber = 3; // one step taken, so Previous Slide has one to undo
    f.app.clearCalls();
}

// Lets the program read and act on whatever the line carries, and some time more.
void settle()
{
    QTest::qWait(150);
}

} // namespace

class TestSerialRemote : public QObject
{
    Q_OBJECT

    // The settings file of these tests, never the user's own.
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    }

    void commandPressesItsButton_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("button");
        QTest::newRow("N") << QByteArray("N") << "cmdNextSlide";
        QTest::newRow("P") << QByteArray("P") << "cmdPreviousSlide";
        QTest::newRow("1N") << QByteArray("1N") << "cmdNextSouth";
        QTest::newRow("1P") << QByteArray("1P") << "cmdPrevSouth";
        QTest::newRow("2N") << QByteArray("2N") << "cmdNextCenter";
        QTest::newRow("2P") << QByteArray("2P") << "cmdPrevCenter";
        QTest::newRow("3N") << QByteArray("3N") << "cmdNextNorth";
        QTest::newRow("3P") << QByteArray("3P") << "cmdPrevNorth";
        QTest::newRow("BLACK 2") << QByteArray("BLACK 2") << "cmdBlackCenter";
        QTest::newRow("WHITE") << QByteArray("WHITE") << "cmdWhiteAll";
        QTest::newRow("SHOW 3") << QByteArray("SHOW 3") << "cmdShowNorth";
    }
    // A command has exactly the effect of one press of its button: the same calls to the
    // presentation application, the same script position and texts.
    void commandPressesItsButton()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, button);
        Lines lines;
        ControlFixture f(true, lines.factory());
        QVERIFY(f.window->MSComm1()->portOpen());
        prepareShow(f);

        QVERIFY(lines.line1.write(command));
        QTRY_VERIFY_WITH_TIMEOUT(!f.app.calls().empty(), 5000);
        settle();
        const Calls byRemote = f.app.calls();
        const auto lineByRemote = f.window->LineNumber;
        const QString box1ByRemote = f.box1(), box2ByRemote = f.box2();

        f.window->LineNumber = 3;
        f.app.clearCalls();
        f.click(button.toLatin1().constData());
        QCOMPARE(byRemote, f.app.calls());
        QCOMPARE(lineByRemote, f.window->LineNumber);
        QCOMPARE(box1ByRemote, f.box1());
        QCOMPARE(box2ByRemote, f.box2());
        QVERIFY(f.messages->shown.isEmpty());
    }

    // Only a whole text equal to a command counts; the line still works afterwards.
    void otherTextsDoNothing()
    {
        Lines lines;
        ControlFixture f(true, lines.factory());
        prepareShow(f);
        for (const QByteArray &text :
             {QByteArray("n"), QByteArray("N\r\n"), QByteArray(" N"), QByteArray("NN"),
              QByteArray("1N2N"), QByteArray("4N"), QByteArray("N\0", 2), QByteArray("\xd0"),
              QByteArray("black"), QByteArray("BLACK 0"), QByteArray("TOGGLE BLACK")}) {
            QVERIFY(lines.line1.write(text));
            settle();
            QVERIFY2(f.app.calls().empty(), text.toHex().constData());
            QCOMPARE(f.window->LineNumber, std::int16_t(3));
        }
        QVERIFY(lines.line1.write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(4), 5000);
    }

    // A driver may split a command into pieces a millisecond apart: still one command.
    void splitCommandIsOneCommand()
    {
        Lines lines;
        ControlFixture f(true, lines.factory());
        prepareShow(f);
        const Calls screen1On = handStep(1, true);
        // Pieces that reach the program further apart than the quiet gap (a preempted
        // writer, a late driver) are two texts by definition; such a try proves nothing and
        // is made again.
        platform::testing::ArrivalLog arrivals(f.window->MSComm1());
        bool conclusive = false;
        for (int attempt = 0; attempt < 20 && !conclusive; ++attempt) {
            f.window->LineNumber = 3;
            f.app.clearCalls();
            arrivals.clear();
            lines.line1.writeSplit("1", "N", 1ms);
            QVERIFY(!arrivals.isEmpty());
            conclusive = arrivals.longestGapMs() < 3.0;
            if (conclusive) {
                QTRY_COMPARE_WITH_TIMEOUT(f.app.calls(), screen1On, 5000);
                QCOMPARE(f.window->LineNumber, std::int16_t(3));
            }
        }
        QVERIFY(conclusive);
    }

    // Texts further apart stay apart: "1" does nothing, then "N" is Next Slide.
    void textsApartAreSeparate()
    {
        Lines lines;
        ControlFixture f(true, lines.factory());
        prepareShow(f);
        lines.line1.writeSplit("1", "N", 100ms);
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(4), 5000);
        QCOMPARE(f.app.callsStartingWith({"Next", "Previous", "GotoSlide"}),
                 Calls{"GotoSlide(pres 1, 3, -1)"});
    }

    // A remote pressing Next every 50 ms: each press is one step, none lost, none doubled.
    void burstOfCommands()
    {
        Lines lines;
        ControlFixture f(true, lines.factory());
        prepareShow(f, 110);
        f.window->LineNumber = 2;
        constexpr int presses = 100;
        std::atomic<bool> done = false;
        std::thread remote([&] {
            for (int i = 0; i < presses; ++i) {
                lines.line1.write("N");
                std::this_thread::sleep_for(50ms);
            }
            done = true;
        });
        // The event loop must run all the while: a blocked one reads presses together.
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
        remote.join();
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(2 + presses), 20000);
        settle();
        QCOMPARE(f.window->LineNumber, std::int16_t(2 + presses));
        Calls expected;
        for (int slide = 2; slide <= presses + 1; ++slide) {
            expected.push_back("GotoSlide(pres 1, " + std::to_string(slide) + ", -1)");
        }
        QCOMPARE(f.app.callsStartingWith({"GotoSlide", "Next", "Previous"}), expected);
    }

    // The window's thread is held (a step made slow on purpose) while presses come 50 ms
    // apart: each is one step afterwards, in order.
    void pressesWhileTheWindowIsHeld()
    {
        Lines lines;
        ControlFixture f(true, lines.factory());
        prepareShow(f);
        f.window->LineNumber = 2;
        std::thread remote = pressing(lines.line1, "N", 5, 50ms);
        std::this_thread::sleep_for(400ms);
        remote.join();
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(7), 5000);
        settle();
        QCOMPARE(f.window->LineNumber, std::int16_t(7));
        QCOMPARE(f.app.callsStartingWith({"GotoSlide", "Next", "Previous"}), nextSteps(2, 5));
    }

    // Presses that come while a step of the operator's waits on a slow presentation call
    // (the window kept alive meanwhile) run after that step, in order, never inside it.
    void pressesDuringASlowCallRunAfterIt()
    {
        Lines lines;
        ControlFixture f(true, lines.factory(), true);
        prepareShow(f);
        f.window->LineNumber = 2;
        platform::testing::SlowCalls slow;
        slow.duration = 600ms;
        slow.isSlow = [&slow](const std::string &call) {
            return slow.slowCalls == 0 && call.rfind("GotoSlide(", 0) == 0;
        };
        f.app.setOnCall(slow.hook());

        std::thread remote = pressing(lines.line1, "N", 2, 100ms, 150ms);
        f.click("cmdNextSlide");
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(5), 5000);
        remote.join();
        settle();
        f.app.setOnCall({});
        QCOMPARE(slow.slowCalls, 1);
        QCOMPARE(slow.deepest, 1);
        QCOMPARE(f.window->LineNumber, std::int16_t(5));
        QCOMPARE(f.app.callsStartingWith({"GotoSlide", "Next", "Previous"}), nextSteps(2, 3));
    }

    // The devices of the port choices come from the settings file; any path will do.
    void settingsFileNamesTheDevices()
    {
        Lines lines;
        QTemporaryDir folder;
        const QString remote = folder.filePath(QStringLiteral("remote"));
        QVERIFY(QFile::link(lines.line2.slavePath(), remote));
        const QString missing = folder.filePath(QStringLiteral("unplugged"));
        {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                               QStringLiteral("Corvane"), QStringLiteral("Corvane"));
            QCOMPARE(QFileInfo(settings.fileName()).fileName(), QStringLiteral("Corvane.conf"));
            settings.setValue(QStringLiteral("SerialPorts/Com1"),
                              QStringLiteral("/nonexistent/one"));
            settings.setValue(QStringLiteral("SerialPorts/Com2"), remote);
            settings.setValue(QStringLiteral("SerialPorts/Com3"), missing);
            settings.setValue(QStringLiteral("SerialPorts/Com4"),
                              QStringLiteral("/nonexistent/four"));
        }
        ControlFixture f(true, [] { return std::make_unique<platform::QtSerialPort>(); });
        prepareShow(f);
        QVERIFY(!f.window->MSComm1()->portOpen());
        QVERIFY(f.messages->shown.isEmpty());

        const AdjustWindow adjust(f);
        auto *ports = adjust.control<QComboBox>("cmbPort");
        QCOMPARE(ports->itemData(1, Qt::ToolTipRole).toString(), remote);
        ports->setCurrentText(QStringLiteral("Com2"));
        QCOMPARE(adjust.control<QLabel>("lblPortDevice")->text(),
                 QStringLiteral("Com2 = ") + remote);

        adjust.setCommPort(QStringLiteral("Com2"));
        QVERIFY(f.messages->shown.isEmpty());
        QVERIFY(f.window->MSComm1()->portOpen());
        QVERIFY(lines.line2.write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(4), 5000);

        adjust.setCommPort(QStringLiteral("Com3"));
        QCOMPARE(f.messages->shown.size(), 1);
        const QString message = f.messages->shown[0].text;
        QVERIFY2(message.contains(missing) && message.contains(QStringLiteral("No such file")),
                 qPrintable(message));
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"),
                  QStringLiteral("Corvane"))
            .remove(QStringLiteral("SerialPorts"));
    }

    // The kernel's console is never taken: passed over at start, refused by hand.
    void consoleIsNeverOpened()
    {
        Lines lines;
        QTemporaryDir folder;
        const QString consoles = folder.filePath(QStringLiteral("active"));
        {
            QFile list(consoles);
            QVERIFY(list.open(QIODevice::WriteOnly));
            list.write("tty0 " + lines.line1.slavePath().mid(5).toLocal8Bit() + "\n");
        }
        const auto names = lines.factory();
        ControlFixture f(true, [names, consoles] {
            std::unique_ptr<platform::SerialPort> port = names();
            static_cast<platform::QtSerialPort *>(port.get())->setConsoleListPath(consoles);
            return port;
        });
        prepareShow(f);
        QVERIFY(!f.window->MSComm1()->portOpen());
        QVERIFY(f.messages->shown.isEmpty());

        const AdjustWindow adjust(f);
        adjust.setCommPort(QStringLiteral("Com1"));
        QCOMPARE(f.messages->shown.size(), 1);
        QVERIFY2(f.messages->shown[0].text.contains(QStringLiteral("system console")),
                 qPrintable(f.messages->shown[0].text));
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));
        QVERIFY(!f.window->MSComm1()->portOpen());
        // Another program could take the line: this one does not hold it.
        platform::QtSerialPort other([&](int) { return lines.line1.slavePath(); });
        other.setPortOpen(true);

        adjust.setCommPort(QStringLiteral("Com2"));
        QCOMPARE(f.messages->shown.size(), 1);
        QVERIFY(f.window->MSComm1()->portOpen());
    }

    // Start-up stays silent without its port; the operator's choice is opened and, when it
    // cannot be, reported.
    void choosingThePort()
    {
        Lines lines;
        lines.com1Missing = true;
        ControlFixture f(true, lines.factory());
        prepareShow(f);
        QVERIFY(!f.window->MSComm1()->portOpen());
        QVERIFY(f.messages->shown.isEmpty());

        const AdjustWindow adjust(f);
        adjust.setCommPort(QStringLiteral("Com1"));
        QCOMPARE(f.messages->shown.size(), 1);
        QVERIFY2(f.messages->shown[0].text.startsWith(
                     QStringLiteral("Corvane Com1 (/nonexistent/ttyS0)")),
                 qPrintable(f.messages->shown[0].text));
        QCOMPARE(f.messages->shown[0].caption, QStringLiteral("Corvane"));
        QVERIFY(!f.window->MSComm1()->portOpen());

        adjust.setCommPort(QStringLiteral("Com2"));
        QCOMPARE(f.messages->shown.size(), 1);
        QVERIFY(f.window->MSComm1()->portOpen());
        QVERIFY(lines.line2.write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(4), 5000);

        // Not exactly a port's name: refused, the open port stays in use.
        for (const QString &text :
             {QStringLiteral("COM2"), QStringLiteral("Com2 "), QStringLiteral("Com5"), QString()}) {
            adjust.setCommPort(text);
            QCOMPARE(f.messages->shown.last().text, QStringLiteral("Com Port Error"));
            QCOMPARE(f.messages->shown.last().caption, QStringLiteral("Corvane"));
        }
        QCOMPARE(f.messages->shown.size(), 5);
        QVERIFY(lines.line2.write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(5), 5000);
    }

    // A port choice made while a port is open moves the remote to the chosen line.
    void switchingWhileOpen()
    {
        Lines lines;
        ControlFixture f(true, lines.factory());
        prepareShow(f);
        QVERIFY(f.window->MSComm1()->portOpen());

        const AdjustWindow adjust(f);
        adjust.setCommPort(QStringLiteral("Com2"));
        QVERIFY(f.messages->shown.isEmpty());
        QCOMPARE(f.window->MSComm1()->commPort(), 2);

        QVERIFY(lines.line1.write("N"));
        settle();
        QCOMPARE(f.window->LineNumber, std::int16_t(3));
        QVERIFY(lines.line2.write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(4), 5000);

        // And back to the first line, which is free again.
        adjust.setCommPort(QStringLiteral("Com1"));
        QVERIFY(f.messages->shown.isEmpty());
        QVERIFY(lines.line1.write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->LineNumber, std::int16_t(5), 5000);
    }

    // Closing the main window closes the port: the line is free for another program.
    void closingReleasesTheLine()
    {
        Lines lines;
        ControlFixture f(true, lines.factory());
        QVERIFY(f.window->MSComm1()->portOpen());
        f.window->show();
        f.window->close();
        QVERIFY(!f.window->MSComm1()->portOpen());
        platform::QtSerialPort other([&](int) { return lines.line1.slavePath(); });
        other.setPortOpen(true);
        QVERIFY(other.portOpen());
    }
};

CORVANE_TEST_MAIN(TestSerialRemote)
#include "tst_serial_remote.moc"
