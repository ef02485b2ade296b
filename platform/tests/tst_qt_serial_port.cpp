#include "platform/error.h"
#include "platform/qt_serial_port.h"
#include "platform/testing/pty_pair.h"
#include "platform/testing/test_main.h"

#include <memory>

using namespace platform;
using platform::testing::ArrivalLog;
using platform::testing::PtyPair;

namespace {

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

    void defaultDeviceNames()
    {
#ifdef Q_OS_WIN
        QCOMPARE(QtSerialPort::systemPortName(1), QStringLiteral("COM1"));
        QCOMPARE(QtSerialPort::systemPortName(4), QStringLiteral("COM4"));
#else
        QCOMPARE(QtSerialPort::systemPortName(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(QtSerialPort::systemPortName(4), QStringLiteral("/dev/ttyS3"));
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
