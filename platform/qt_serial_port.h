#pragma once

#include "platform/serial_port.h"

#include <QSerialPort>
#include <QTimer>

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

// The serial remote's port on QSerialPort. The port is read only, so nothing can ever be sent.
//
// A driver may hand over the characters of one command in several pieces; onComm is raised
// only when the line has been quiet for quietGapMs() after the last character, so that what
// one transmission carried is read as one text while texts sent further apart stay apart.
class QtSerialPort : public SerialPort
{
    Q_OBJECT

public:
    // Maps a port number (1..16) to the device name that QSerialPort opens.
    using PortNames = std::function<QString(int port)>;

    // COMn on Windows, /dev/ttyS(n-1) elsewhere.
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
    int quietGap() const { return m_quiet.interval(); }

private:
    void onReadyRead();
    void onQuiet();
    void raiseIfWaiting();
    void onError(QSerialPort::SerialPortError error);
    void applyLineSettings();
    void applyHandshaking();
    void throwPortError(const QString &what) const;

    PortNames m_portNames;
    QSerialPort m_port;
    QTimer m_quiet;
    int m_commPort = 1;
    int m_handshaking = 0;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    bool m_rtsEnable = false;
    quint64 m_openings = 0; // tells a late close which opening it belonged to
    QString m_deviceName;
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    CommSettings m_settings;
};

} // namespace platform
