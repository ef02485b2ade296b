#include "qt_serial_port.h"

#include "error.h"
#include "serial_devices.h"
#include "serial_framing.h"

#include <QTimer>

#include <chrono>
#include <cmath>
#include <exception>

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
    return configuredPortDevice(port);
}

// The port itself, living on the reader thread: every QSerialPort call happens there.
class QtSerialPort::Reader : public QObject
{
public:
    using Clock = QuietGapFramer::Clock;

    explicit Reader(QtSerialPort *owner) : m_owner(owner), m_port(this), m_quiet(this)
    {
        m_quiet.setSingleShot(true);
        m_quiet.setTimerType(Qt::PreciseTimer);
        connect(&m_port, &QSerialPort::readyRead, this, [this] { onReadyRead(); });
        connect(&m_port, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) { onError(error); });
        connect(&m_quiet, &QTimer::timeout, this, [this] { onQuiet(); });
    }

    void open(quint64 opening, const QString &label, const QString &device,
              const CommSettings &settings, const QString &settingsText, int handshaking, bool rts)
    {
        m_label = label;
        m_port.setPortName(device);
        // A busy port can fail with error() still NoError, so the result is what counts.
        if (!m_port.open(QIODevice::ReadOnly)) {
            throw portError(QStringLiteral("cannot be opened"));
        }
        try {
            applyLineSettings(settings, settingsText);
            applyHandshaking(handshaking);
        } catch (...) {
            m_port.close();
            throw;
        }
        // Some lines have no RTS (a pty refuses it as an inappropriate ioctl); the port still
        // receives, so that is no reason to fail the open.
        if (rts && m_port.flowControl() != QSerialPort::HardwareControl) {
            if (!m_port.setRequestToSend(true)) {
                m_port.clearError();
            }
        }
        m_port.clear(QSerialPort::Input); // only what arrives from now on is a command
        m_framer.clear();
        m_opening = opening;
    }

    void close()
    {
        m_quiet.stop();
        m_framer.clear();
        if (m_port.isOpen()) {
            m_port.close();
        }
    }

    void applyLineSettings(const CommSettings &settings, const QString &settingsText)
    {
        m_framer.setGap(std::chrono::milliseconds(quietGapMs(settings)));
        if (!m_port.isOpen()) {
            return;
        }
        if (!m_port.setBaudRate(settings.baudRate) || !m_port.setParity(settings.parity) ||
            !m_port.setDataBits(settings.dataBits) || !m_port.setStopBits(settings.stopBits)) {
            throw portError(QStringLiteral("refused the settings ") + settingsText);
        }
    }

    void applyHandshaking(int mode)
    {
        if (m_port.isOpen() && !m_port.setFlowControl(flowControlFor(mode))) {
            throw portError(QStringLiteral("refused the handshaking"));
        }
    }

    void setRts(bool enable)
    {
        if (m_port.isOpen() && m_port.flowControl() != QSerialPort::HardwareControl &&
            !m_port.setRequestToSend(enable)) {
            const QString why = m_port.errorString();
            m_port.clearError();
            throw runtimeError(QStringLiteral("Cannot set RTS on %1: %2").arg(m_label, why));
        }
    }

private:
    void onReadyRead()
    {
        const Clock::time_point now = Clock::now();
        const QByteArray bytes = m_port.readAll();
        if (bytes.isEmpty()) {
            return;
        }
        emit m_owner->arrived(
            std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count());
        if (std::optional<QByteArray> text = m_framer.arrive(now, bytes)) {
            deliver(*text);
        }
        // A line that never falls quiet (a device streaming on the wrong port) is still
        // handed over now and then, so what is gathered cannot grow without end.
        if (m_framer.pendingSize() >= maxWaiting) {
            m_quiet.stop();
            deliver(m_framer.takePending());
            return;
        }
        armQuiet(now);
    }

    void onQuiet()
    {
        const Clock::time_point now = Clock::now();
        if (std::optional<QByteArray> text = m_framer.quietUntil(now)) {
            deliver(*text);
            return;
        }
        armQuiet(now);
    }

    void armQuiet(Clock::time_point now)
    {
        const std::optional<Clock::time_point> deadline = m_framer.deadline();
        if (!deadline) {
            m_quiet.stop();
            return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
        m_quiet.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(1, left.count())));
    }

    void deliver(const QByteArray &text)
    {
        QMetaObject::invokeMethod(
            m_owner,
            [owner = m_owner, opening = m_opening, text] { owner->receiveText(opening, text); },
            Qt::QueuedConnection);
    }

    void onError(QSerialPort::SerialPortError error)
    {
        // The device went away (unplugged adapter, closed far end): its reads fail at once,
        // over and over, so the port would spin. Close it once the port has finished
        // reporting, as it is still inside its own read.
        if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, opening = m_opening] {
                if (opening != m_opening || !m_port.isOpen()) {
                    return;
                }
                close();
                QMetaObject::invokeMethod(
                    m_owner, [owner = m_owner, opening] { owner->lineGone(opening); },
                    Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    }

    AutomationError portError(const QString &what) const
    {
        QString why = m_port.errorString();
        if (m_port.error() == QSerialPort::NoError) {
            why = QStringLiteral("the port is in use or not available");
        } else if (m_port.error() == QSerialPort::PermissionError) {
            why += QStringLiteral(" (the user needs access to the device, on Debian by being in "
                                  "the dialout group)");
        }
        return runtimeError(QStringLiteral("%1 %2: %3").arg(m_label, what, why));
    }

    QtSerialPort *m_owner;
    QSerialPort m_port;
    QTimer m_quiet;
    QuietGapFramer m_framer;
    quint64 m_opening = 0;
    QString m_label;
};

QtSerialPort::QtSerialPort(PortNames portNames, QObject *parent)
    : SerialPort(parent), m_portNames(std::move(portNames)),
      m_consoleListPath(defaultConsoleListPath())
{
    if (!m_portNames) {
        m_portNames = systemPortName;
    }
    m_settings = parseCommSettings(m_settingsText);
    m_thread.setObjectName(QStringLiteral("serial reader"));
    m_reader = new Reader(this);
    m_reader->moveToThread(&m_thread);
    m_thread.start();
}

QtSerialPort::~QtSerialPort()
{
    m_open = false;
    Reader *reader = m_reader;
    QMetaObject::invokeMethod(
        reader,
        [reader] {
            reader->close();
            delete reader;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void QtSerialPort::inReader(const std::function<void()> &work)
{
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        m_reader,
        [&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void QtSerialPort::setCommPort(int port)
{
    if (port < firstPort || port > lastPort) {
        throw runtimeError(QStringLiteral("Invalid port number"));
    }
    if (m_open) {
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
    if (m_open) {
        inReader([this, mode] { m_reader->applyHandshaking(mode); });
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
    if (m_open) {
        inReader([this, enable] { m_reader->setRts(enable); });
    }
}

void QtSerialPort::setSettings(const QString &settings)
{
    const CommSettings parsed = parseCommSettings(settings);
    m_settingsText = settings;
    m_settings = parsed;
    inReader([this, parsed, settings] { m_reader->applyLineSettings(parsed, settings); });
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
        m_open = false;
        m_texts.clear();
        inReader([this] { m_reader->close(); });
        return;
    }
    if (m_open) {
        throw runtimeError(QStringLiteral("Port already open"));
    }
    m_deviceName = m_portNames(m_commPort);
    const QString label = QStringLiteral("Com%1 (%2)").arg(m_commPort).arg(m_deviceName);
    // Opening it would take the kernel's console input and change its line settings.
    if (isSystemConsole(m_deviceName, m_consoleListPath)) {
        throw runtimeError(
            QStringLiteral("%1 is the system console; it is not opened for the remote.")
                .arg(label));
    }
    const quint64 opening = ++m_openings;
    m_texts.clear();
    inReader([&] {
        m_reader->open(opening, label, m_deviceName, m_settings, m_settingsText, m_handshaking,
                       m_rtsEnable);
    });
    m_open = true;
}

bool QtSerialPort::portOpen() const
{
    return m_open;
}

int QtSerialPort::commPort() const
{
    return m_commPort;
}

QString QtSerialPort::input()
{
    if (!m_open) {
        throw runtimeError(QStringLiteral("Operation valid only when the port is open"));
    }
    return m_texts.isEmpty() ? QString() : m_texts.takeFirst();
}

QString QtSerialPort::deviceName() const
{
    return m_open ? m_deviceName : QString();
}

void QtSerialPort::receiveText(quint64 opening, const QByteArray &text)
{
    if (!m_open || opening != m_openings) {
        return; // read before the port was closed or switched
    }
    m_texts.append(QString::fromLatin1(text));
    if (m_rThreshold > 0) {
        emit onComm();
    }
}

void QtSerialPort::lineGone(quint64 opening)
{
    if (opening == m_openings) {
        m_open = false;
        m_texts.clear();
    }
}

} // namespace platform
