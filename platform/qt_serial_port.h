#pragma once

#include "platform/serial_port.h"

#include <QSerialPort>
#include <QStringList>
#include <QThread>

#include <functional>

namespace platform {

// Line settings in the form "9600,n,8,1": baud, parity (n, e, o, m, s), data bits, stop bits.
struct CommSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Bits on the line for one character: start, data, parity and stop bits.
    double bitsPerCharacter() const;
};

// Parses a settings text; throws AutomationError "Invalid property value" when it is not one.
CommSettings parseCommSettings(const QString &text);

// Milliseconds of silence that end a transmission: 3.5 character times, as serial field
// protocols use, at least 2 ms so that timer granularity cannot cut a text in two.
int quietGapMs(const CommSettings &settings);

// The serial remote's port on QSerialPort, read only, so nothing can ever be sent.
//
// A reader thread of its own waits on the line and notes when each piece arrives, so texts
// are cut where the line fell quiet for quietGapMs() whatever the window's thread is busy
// with: what one transmission carried is one text, texts sent further apart stay apart. Each
// complete text is queued for the window's thread, in order, with one onComm per text;
// input() hands over the oldest.
class QtSerialPort : public SerialPort
{
    Q_OBJECT

public:
    // Maps a port number (1..16) to the device name that QSerialPort opens.
    using PortNames = std::function<QString(int port)>;

    // The device a port number stands for on this machine (see configuredPortDevice).
    static QString systemPortName(int port);

    explicit QtSerialPort(PortNames portNames = systemPortName, QObject *parent = nullptr);
    ~QtSerialPort() override;

    void setCommPort(int port) override;
    void setHandshaking(int mode) override;
    void setRThreshold(int count) override;
    void setRTSEnable(bool enable) override;
    void setSettings(const QString &settings) override;
    void setSThreshold(int count) override;
    void setPortOpen(bool open) override;
    bool portOpen() const override;
    int commPort() const override;
    QString input() override;

    QString settings() const { return m_settingsText; }
    int handshaking() const { return m_handshaking; }
    bool rtsEnable() const { return m_rtsEnable; }
    int rThreshold() const { return m_rThreshold; }
    int sThreshold() const { return m_sThreshold; }
    // The device name of the open port (empty when closed).
    QString deviceName() const;
    // The device a port number stands for.
    QString deviceFor(int port) const override { return m_portNames(port); }
    int quietGap() const { return quietGapMs(m_settings); }
    // The kernel's console list; a console is never opened. Tests point it elsewhere.
    void setConsoleListPath(const QString &path) { m_consoleListPath = path; }

signals:
    // Characters reached the reader, at this moment of the monotonic clock (nanoseconds of
    // std::chrono::steady_clock); emitted from the reader thread.
    void arrived(qint64 steadyNs);

private:
    class Reader;

    // Runs work on the reader thread and waits for it; what it throws is thrown here.
    void inReader(const std::function<void()> &work);
    void receiveText(quint64 opening, const QByteArray &text);
    void lineGone(quint64 opening);

    PortNames m_portNames;
    QThread m_thread;
    Reader *m_reader = nullptr;
    QString m_consoleListPath;
    int m_commPort = 1;
    int m_handshaking = 0;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    bool m_rtsEnable = false;
    bool m_open = false;
    quint64 m_openings = 0; // tells late texts and errors which opening they belong to
    QStringList m_texts;
    QString m_deviceName;
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    CommSettings m_settings;
};

} // namespace platform
