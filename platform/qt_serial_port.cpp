#include "qt_serial_port.h"

#include "error.h"

#include <cmath>

namespace platform {

namespace {

constexpr int firstPort = 1;
constexpr int lastPort = 16;
constexpr qint64 maxWaiting = 4096;

[[noreturn]] void invalidValue()
{
    throw runtimeError(QStringLiteral("Invalid property value"));
}

QSerialPort::FlowControl flowControlFor(int mode)
{
    switch (mode) {
    case 0:
        return QSerialPort::NoFlowControl;
    case 1:
        return QSerialPort::SoftwareControl;
    default: // 2 (RTS/CTS) and 3 (both): the hardware lines win
        return QSerialPort::HardwareControl;
    }
}

} // namespace

double CommSettings::bitsPerCharacter() const
{
    double stop = 1.0;
    if (stopBits == QSerialPort::OneAndHalfStop) {
        stop = 1.5;
    } else if (stopBits == QSerialPort::TwoStop) {
        stop = 2.0;
    }
    const double parityBit = parity == QSerialPort::NoParity ? 0.0 : 1.0;
    return 1.0 + static_cast<double>(dataBits) + parityBit + stop;
}

CommSettings parseCommSettings(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) {
        invalidValue();
    }
    CommSettings settings;

    bool ok = false;
    const int baud = fields[0].toInt(&ok);
    if (!ok || baud < 50 || baud > 4000000) {
        invalidValue();
    }
    settings.baudRate = baud;

    const QString parity = fields[1].toLower();
    if (parity == QLatin1String("n")) {
        settings.parity = QSerialPort::NoParity;
    } else if (parity == QLatin1String("e")) {
        settings.parity = QSerialPort::EvenParity;
    } else if (parity == QLatin1String("o")) {
        settings.parity = QSerialPort::OddParity;
    } else if (parity == QLatin1String("m")) {
        settings.parity = QSerialPort::MarkParity;
    } else if (parity == QLatin1String("s")) {
        settings.parity = QSerialPort::SpaceParity;
    } else {
        invalidValue();
    }

    const int data = fields[2].toInt(&ok);
    if (!ok || data < 5 || data > 8) {
        invalidValue();
    }
    settings.dataBits = static_cast<QSerialPort::DataBits>(data);

    if (fields[3] == QLatin1String("1")) {
        settings.stopBits = QSerialPort::OneStop;
    } else if (fields[3] == QLatin1String("1.5")) {
        settings.stopBits = QSerialPort::OneAndHalfStop;
    } else if (fields[3] == QLatin1String("2")) {
        settings.stopBits = QSerialPort::TwoStop;
    } else {
        invalidValue();
    }
    return settings;
}

int quietGapMs(const CommSettings &settings)
{
    const double ms = 3.5 * settings.bitsPerCharacter() * 1000.0 / settings.baudRate;
    return std::max(2, static_cast<int>(std::ceil(ms)));
}

QString QtSerialPort::systemPortName(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QtSerialPort::QtSerialPort(PortNames portNames, QObject *parent)
    : SerialPort(parent), m_portNames(std::move(portNames)), m_port(this)
{
    if (!m_portNames) {
        m_portNames = systemPortName;
    }
    m_settings = parseCommSettings(m_settingsText);
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(quietGapMs(m_settings));
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    connect(&m_quiet, &QTimer::timeout, this, &QtSerialPort::onQuiet);
}

QtSerialPort::~QtSerialPort()
{
    m_quiet.stop();
    if (m_port.isOpen()) {
        m_port.close();
    }
}

void QtSerialPort::setCommPort(int port)
{
    if (port < firstPort || port > lastPort) {
        throw runtimeError(QStringLiteral("Invalid port number"));
    }
    if (m_port.isOpen()) {
        throw runtimeError(QStringLiteral("Port already open"));
    }
    m_commPort = port;
}

void QtSerialPort::setHandshaking(int mode)
{
    if (mode < 0 || mode > 3) {
        invalidValue();
    }
    m_handshaking = mode;
    if (m_port.isOpen()) {
        applyHandshaking();
    }
}

void QtSerialPort::setRThreshold(int count)
{
    if (count < 0) {
        invalidValue();
    }
    m_rThreshold = count;
}

void QtSerialPort::setRTSEnable(bool enable)
{
    m_rtsEnable = enable;
    if (m_port.isOpen() && m_port.flowControl() != QSerialPort::HardwareControl) {
        if (!m_port.setRequestToSend(enable)) {
            const QString why = m_port.errorString();
            m_port.clearError();
            throw runtimeError(QStringLiteral("Cannot set RTS on Com%1: %2").arg(m_commPort).arg(why));
        }
    }
}

void QtSerialPort::setSettings(const QString &settings)
{
    const CommSettings parsed = parseCommSettings(settings);
    m_settingsText = settings;
    m_settings = parsed;
    m_quiet.setInterval(quietGapMs(m_settings));
    if (m_port.isOpen()) {
        applyLineSettings();
    }
}

void QtSerialPort::setSThreshold(int count)
{
    if (count < 0) {
        invalidValue();
    }
    m_sThreshold = count; // kept for completeness: nothing is ever sent
}

void QtSerialPort::setPortOpen(bool open)
{
    if (!open) {
        m_quiet.stop();
        if (m_port.isOpen()) {
            m_port.close();
        }
        return;
    }
    if (m_port.isOpen()) {
        throw runtimeError(QStringLiteral("Port already open"));
    }
    m_deviceName = m_portNames(m_commPort);
    m_port.setPortName(m_deviceName);
    ++m_openings;
    // A busy port can fail with error() still NoError, so the result is what counts.
    if (!m_port.open(QIODevice::ReadOnly)) {
        throwPortError(QStringLiteral("cannot be opened"));
    }
    try {
        applyLineSettings();
        applyHandshaking();
    } catch (...) {
        m_port.close();
        throw;
    }
    // Some lines have no RTS (a pty refuses it as an inappropriate ioctl); the port still
    // receives, so that is no reason to fail the open.
    if (m_rtsEnable && m_port.flowControl() != QSerialPort::HardwareControl) {
        if (!m_port.setRequestToSend(true)) {
            m_port.clearError();
        }
    }
    m_port.clear(QSerialPort::Input); // only what arrives from now on is a command
}

bool QtSerialPort::portOpen() const
{
    return m_port.isOpen();
}

int QtSerialPort::commPort() const
{
    return m_commPort;
}

QString QtSerialPort::input()
{
    if (!m_port.isOpen()) {
        throw runtimeError(QStringLiteral("Operation valid only when the port is open"));
    }
    return QString::fromLatin1(m_port.readAll());
}

QString QtSerialPort::deviceName() const
{
    return m_port.isOpen() ? m_deviceName : QString();
}

void QtSerialPort::onReadyRead()
{
    // A line that never falls quiet (a device streaming on the wrong port) is still read
    // now and then, so the buffer cannot grow without end.
    if (m_port.bytesAvailable() >= maxWaiting) {
        m_quiet.stop();
        raiseIfWaiting();
        return;
    }
    m_quiet.start(); // restarts: the transmission is still going on
}

void QtSerialPort::raiseIfWaiting()
{
    if (m_rThreshold > 0 && m_port.isOpen() && m_port.bytesAvailable() >= m_rThreshold) {
        emit onComm();
    }
}

void QtSerialPort::onQuiet()
{
    // Characters may wait in the driver while the timer fires first (a busy loop delivers
    // both at once): then the line was not quiet after all, and reading them restarts it.
    if (m_port.isOpen() && m_port.waitForReadyRead(0)) {
        return;
    }
    m_port.clearError(); // the look-ahead reports a time-out when nothing came
    raiseIfWaiting();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    // The device went away (unplugged adapter, closed far end): its reads fail at once, over
    // and over, so the port would spin. Close it once the port has finished reporting, as it
    // is still inside its own read.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
        QMetaObject::invokeMethod(
            this,
            [this, opening = m_openings] {
                if (opening == m_openings && m_port.isOpen()) {
                    m_quiet.stop();
                    m_port.close();
                }
            },
            Qt::QueuedConnection);
    }
}

void QtSerialPort::applyLineSettings()
{
    if (!m_port.setBaudRate(m_settings.baudRate) || !m_port.setParity(m_settings.parity) ||
        !m_port.setDataBits(m_settings.dataBits) || !m_port.setStopBits(m_settings.stopBits)) {
        throwPortError(QStringLiteral("refused the settings ") + m_settingsText);
    }
}

void QtSerialPort::applyHandshaking()
{
    if (!m_port.setFlowControl(flowControlFor(m_handshaking))) {
        throwPortError(QStringLiteral("refused the handshaking"));
    }
}

void QtSerialPort::throwPortError(const QString &what) const
{
    QString why = m_port.errorString();
    if (m_port.error() == QSerialPort::NoError) {
        why = QStringLiteral("the port is in use or not available");
    }
    throw runtimeError(
        QStringLiteral("Com%1 (%2) %3: %4").arg(m_commPort).arg(m_deviceName, what, why));
}

} // namespace platform
