#include "platform/error.h"
#include "platform/qt_serial_port.h"
#include "platform/serial_devices.h"
#include "platform/serial_framing.h"
#include "platform/testing/pty_pair.h"
#include "platform/testing/test_main.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

using namespace platform;
using platform::testing::ArrivalLog;
using platform::testing::PtyPair;

namespace {

// One piece of a line: when it arrived (ms) and what it carried.
struct Piece
{
    int atMs;
    QByteArray bytes;
};
using Pieces = QList<Piece>;

// What the remote's handler does on each event: read everything waiting once.
struct Receiver
{
    explicit Receiver(QtSerialPort &port)
    {
        QObject::connect(&port, &SerialPort::onComm, [this, &port] { texts.append(port.input()); });
    }
    QStringList texts;
};

void setUp(SerialPort &port, int number)
{
    port.setCommPort(number);
    port.setHandshaking(0);
    port.setRThreshold(1);
    port.setRTSEnable(true);
    port.setSettings(QStringLiteral("9600,n,8,1"));
    port.setSThreshold(1);
    port.setPortOpen(true);
}

} // namespace

Q_DECLARE_METATYPE(Piece)

class TestQtSerialPort : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPair> m_line1, m_line2;

    QtSerialPort::PortNames ptyNames()
    {
        const QString one = m_line1->slavePath();
        const QString two = m_line2->slavePath();
        return [one, two](int port) {
            return port == 1 ? one : port == 2 ? two : QStringLiteral("/nonexistent/ttyS%1").arg(port);
        };
    }

private slots:
    void init()
    {
        m_line1 = std::make_unique<PtyPair>();
        m_line2 = std::make_unique<PtyPair>();
        QVERIFY(m_line1->isValid());
        QVERIFY(m_line2->isValid());
    }

    void settingsTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("gapMs");
        QTest::newRow("remote") << "9600,n,8,1" << true << 4;
        QTest::newRow("slow, parity, two stops") << "1200,E,7,2" << true << 33;
        QTest::newRow("fast lines keep a floor") << "115200,n,8,1" << true << 2;
        QTest::newRow("one and a half stops") << "9600,o,5,1.5" << true << 4;
        QTest::newRow("missing field") << "9600,n,8" << false << 0;
        QTest::newRow("bad parity") << "9600,x,8,1" << false << 0;
        QTest::newRow("bad data bits") << "9600,n,9,1" << false << 0;
        QTest::newRow("bad baud") << "fast,n,8,1" << false << 0;
        QTest::newRow("blank inside") << "9600, n,8,1" << false << 0;
    }
    void settingsTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, gapMs);
        if (!valid) {
            QVERIFY_THROWS_EXCEPTION(AutomationError, parseCommSettings(text));
            QtSerialPort port;
            QVERIFY_THROWS_EXCEPTION(AutomationError, port.setSettings(text));
            QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1")); // the old value stays
            return;
        }
        QCOMPARE(quietGapMs(parseCommSettings(text)), gapMs);
    }

    // Texts are cut by when their pieces arrived, whenever they are looked at.
    void framingByArrival_data()
    {
        QTest::addColumn<Pieces>("pieces");
        QTest::addColumn<QList<QByteArray>>("texts");
        QTest::newRow("one press") << Pieces{{0, "N"}} << QList<QByteArray>{"N"};
        QTest::newRow("two presses in one write") << Pieces{{0, "NN"}} << QList<QByteArray>{"NN"};
        QTest::newRow("one command split 1 ms apart")
            << Pieces{{0, "1"}, {1, "N"}} << QList<QByteArray>{"1N"};
        QTest::newRow("just inside the gap")
            << Pieces{{0, "1"}, {3, "N"}} << QList<QByteArray>{"1N"};
        QTest::newRow("the gap itself ends a text")
            << Pieces{{0, "1"}, {4, "N"}} << QList<QByteArray>{"1", "N"};
        QTest::newRow("five presses 50 ms apart")
            << Pieces{{0, "N"}, {50, "N"}, {100, "N"}, {150, "N"}, {200, "N"}}
            << QList<QByteArray>{"N", "N", "N", "N", "N"};
        QTest::newRow("a long text that keeps coming")
            << Pieces{{0, "ab"}, {3, "cd"}, {6, "ef"}, {20, "P"}}
            << QList<QByteArray>{"abcdef", "P"};
    }
    void framingByArrival()
    {
        QFETCH(Pieces, pieces);
        QFETCH(QList<QByteArray>, texts);
        using Clock = QuietGapFramer::Clock;
        const Clock::time_point start{};
        QuietGapFramer framer(std::chrono::milliseconds(4));
        QList<QByteArray> cut;
        for (const Piece &piece : pieces) {
            if (auto text =
                    framer.arrive(start + std::chrono::milliseconds(piece.atMs), piece.bytes)) {
                cut << *text;
            }
        }
        const Clock::time_point end = start + std::chrono::milliseconds(pieces.last().atMs);
        QVERIFY(!framer.quietUntil(end + std::chrono::milliseconds(3)));
        QCOMPARE(framer.deadline(), std::optional(end + std::chrono::milliseconds(4)));
        if (auto text = framer.quietUntil(end + std::chrono::milliseconds(4))) {
            cut << *text;
        }
        QCOMPARE(cut, texts);
        QVERIFY(!framer.deadline());
    }

    void systemConsole_data()
    {
        QTest::addColumn<QByteArray>("list"); // null: no list file
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("console");
        // "pty" stands for this test's first line in the list ("pts/N") and as the device
        // (/dev/pts/N), "other pty" for its second line, "link" for a link to the first.
        const QByteArray ptyName = "pty";
        const QString pty = QStringLiteral("pty");
        QTest::newRow("serial console") << QByteArray("tty0 ttyS0\n") << "/dev/ttyS0" << true;
        QTest::newRow("name without folder") << QByteArray("ttyS0\n") << "ttyS0" << true;
        QTest::newRow("another serial port") << QByteArray("tty0 ttyS0\n") << "/dev/ttyS1" << false;
        QTest::newRow("pty named in the list") << ptyName << pty << true;
        QTest::newRow("pty reached through a link") << ptyName << "link" << true;
        QTest::newRow("the other pty") << ptyName << "other pty" << false;
        QTest::newRow("empty list") << QByteArray("") << "/dev/ttyS0" << false;
        QTest::newRow("no list") << QByteArray() << "/dev/ttyS0" << false;
    }
    void systemConsole()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, device);
        QFETCH(bool, console);
        QTemporaryDir folder;
        const QString listPath = folder.filePath(QStringLiteral("active"));
        list.replace("pty", m_line1->slavePath().mid(5).toLocal8Bit());
        if (!list.isNull()) {
            QFile file(listPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(list);
        }
        if (device == QLatin1String("pty")) {
            device = m_line1->slavePath();
        } else if (device == QLatin1String("other pty")) {
            device = m_line2->slavePath();
        } else if (device == QLatin1String("link")) {
            device = folder.filePath(QStringLiteral("remote"));
            QVERIFY(QFile::link(m_line1->slavePath(), device));
        }
        QCOMPARE(isSystemConsole(device, listPath), console);
    }

    // What the settings file names is used as it stands; blanks or nothing mean the default.
    void devicesFromTheSettingsFile()
    {
#ifndef Q_OS_WIN
        QTemporaryDir config;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                               QStringLiteral("Corvane"), QStringLiteral("Corvane"));
            settings.setValue(QStringLiteral("SerialPorts/Com1"),
                              QStringLiteral("/dev/serial/by-id/usb-remote-if00-port0"));
            settings.setValue(QStringLiteral("SerialPorts/Com2"), QStringLiteral("  "));
            settings.setValue(QStringLiteral("SerialPorts/Com3"), QStringLiteral("ttyACM0"));
        }
        QCOMPARE(configuredPortDevice(1),
                 QStringLiteral("/dev/serial/by-id/usb-remote-if00-port0"));
        QCOMPARE(configuredPortDevice(2), QStringLiteral("/dev/ttyS1"));
        QCOMPARE(configuredPortDevice(3), QStringLiteral("ttyACM0"));
        QCOMPARE(configuredPortDevice(4), QStringLiteral("/dev/ttyS3"));
        QCOMPARE(QtSerialPort().deviceFor(1), configuredPortDevice(1));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString());
#endif
    }

    // A console device in the list is refused before it is touched.
    void refusesTheConsole()
    {
        QTemporaryDir folder;
        const QString listPath = folder.filePath(QStringLiteral("active"));
        QFile list(listPath);
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(m_line1->slavePath().mid(5).toLocal8Bit());
        list.close();
        QtSerialPort port(ptyNames());
        port.setConsoleListPath(listPath);
        try {
            setUp(port, 1);
            QFAIL("opened the console");
        } catch (const AutomationError &e) {
            QVERIFY2(errorDescription(e).contains(QStringLiteral("system console")),
                     qPrintable(errorDescription(e)));
        }
        QVERIFY(!port.portOpen());
        setUp(port, 2);
        QVERIFY(port.portOpen());
    }

    void defaultDeviceNames()
    {
#ifdef Q_OS_WIN
        QCOMPARE(defaultPortDevice(1), QStringLiteral("COM1"));
        QCOMPARE(defaultPortDevice(4), QStringLiteral("COM4"));
#else
        QCOMPARE(defaultPortDevice(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(defaultPortDevice(4), QStringLiteral("/dev/ttyS3"));
#endif
    }

    // A pty has no RTS line; the open must succeed all the same and receive.
    void opensOnAPtyAndReceives()
    {
        QtSerialPort port(ptyNames());
        Receiver receiver(port);
        setUp(port, 1);
        QVERIFY(port.portOpen());
        QCOMPARE(port.deviceName(), m_line1->slavePath());
        QCOMPARE(port.quietGap(), 4);

        QVERIFY(m_line1->write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.texts, QStringList{"N"}, 5000);
        QCOMPARE(port.input(), QString()); // the read emptied the buffer

        QVERIFY(m_line1->write(QByteArray("1\xe9", 2))); // single-byte text, Latin-1
        QTRY_COMPARE_WITH_TIMEOUT(receiver.texts.size(), 2, 5000);
        QCOMPARE(receiver.texts.last(), QStringLiteral("1\u00e9"));
    }

    void refusesWhatTheSerialControlRefuses()
    {
        QtSerialPort port(ptyNames());
        QVERIFY_THROWS_EXCEPTION(AutomationError, port.setCommPort(0));
        QVERIFY_THROWS_EXCEPTION(AutomationError, port.setCommPort(17));
        QVERIFY_THROWS_EXCEPTION(AutomationError, port.setHandshaking(4));
        QVERIFY_THROWS_EXCEPTION(AutomationError, port.input()); // closed
        port.setPortOpen(false);                                   // closing a closed port is fine

        setUp(port, 1);
        try {
            port.setCommPort(2);
            QFAIL("port changed while open");
        } catch (const AutomationError &e) {
            QCOMPARE(errorDescription(e), QStringLiteral("Port already open"));
        }
        QCOMPARE(port.commPort(), 1);
        QVERIFY_THROWS_EXCEPTION(AutomationError, port.setPortOpen(true));
        QVERIFY(port.portOpen());

        // Another program (here a second port object) cannot take the busy line.
        QtSerialPort other(ptyNames());
        QVERIFY_THROWS_EXCEPTION(AutomationError, setUp(other, 1));
        QVERIFY(!other.portOpen());
    }

    void missingDeviceIsAFailedOpen()
    {
        QtSerialPort port(ptyNames());
        port.setCommPort(3);
        try {
            port.setPortOpen(true);
            QFAIL("opened a missing device");
        } catch (const AutomationError &e) {
            QVERIFY2(errorDescription(e).contains(QStringLiteral("/nonexistent/ttyS3")),
                     qPrintable(errorDescription(e)));
        }
        QVERIFY(!port.portOpen());
    }

    void switchesToAnotherLine()
    {
        QtSerialPort port(ptyNames());
        Receiver receiver(port);
        setUp(port, 1);
        port.setPortOpen(false);
        setUp(port, 2);
        QCOMPARE(port.deviceName(), m_line2->slavePath());

        QVERIFY(m_line1->write("P")); // the old line is no longer read
        QVERIFY(m_line2->write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.texts, QStringList{"N"}, 5000);
        QTest::qWait(200);
        QCOMPARE(receiver.texts, QStringList{"N"});
    }

    void onlyRaisesAtTheThreshold()
    {
        QtSerialPort port(ptyNames());
        Receiver receiver(port);
        setUp(port, 1);
        port.setRThreshold(0); // no receive events at all
        QVERIFY(m_line1->write("N"));
        QTest::qWait(200);
        QVERIFY(receiver.texts.isEmpty());
        QCOMPARE(port.input(), QStringLiteral("N"));
    }

    // The characters of one command split by the driver are still one text. A pty hands
    // over a piece about a millisecond after it was written, so 2 ms apart is also tried:
    // only then does the program surely see two pieces.
    void piecesOfOneCommandAreOneText_data()
    {
        QTest::addColumn<int>("gapMs");
        QTest::newRow("1 ms apart") << 1;
        QTest::newRow("2 ms apart") << 2;
    }
    void piecesOfOneCommandAreOneText()
    {
        QFETCH(int, gapMs);
        QtSerialPort port(ptyNames());
        Receiver receiver(port);
        setUp(port, 1);
        // Pieces that reach the program further apart than the quiet gap (a preempted
        // writer, a late driver) are two texts by definition; such a try proves nothing and
        // is made again.
        ArrivalLog arrivals(&port);
        bool conclusive = false;
        for (int attempt = 0; attempt < 20 && !conclusive; ++attempt) {
            receiver.texts.clear();
            arrivals.clear();
            m_line1->writeSplit("1", "N", std::chrono::milliseconds(gapMs));
            conclusive = arrivals.longestGapMs() < port.quietGap() - 1;
            if (conclusive) {
                QTRY_COMPARE_WITH_TIMEOUT(receiver.texts, QStringList{"1N"}, 5000);
            }
        }
        QVERIFY(conclusive);
    }

    void textsFurtherApartStaySeparate()
    {
        QtSerialPort port(ptyNames());
        Receiver receiver(port);
        setUp(port, 1);
        m_line1->writeSplit("1", "N", std::chrono::milliseconds(100));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.texts, (QStringList{"1", "N"}), 5000);
    }

    // An adapter pulled out (here: the far end closed) must not leave a port that spins.
    void lineGoneClosesThePort()
    {
        QtSerialPort port(ptyNames());
        Receiver receiver(port);
        setUp(port, 1);
        QVERIFY(m_line1->write("N"));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.texts.size(), 1, 5000);
        m_line1->close();
        QTRY_VERIFY_WITH_TIMEOUT(!port.portOpen(), 5000);
        // And it can be set up again once a line is there.
        setUp(port, 2);
        QVERIFY(m_line2->write("P"));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.texts, (QStringList{"N", "P"}), 5000);
    }
};

CORVANE_TEST_MAIN(TestQtSerialPort)
#include "tst_qt_serial_port.moc"
