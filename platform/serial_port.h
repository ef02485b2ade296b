#pragma once

#include <QObject>
#include <QString>

namespace platform {

// A serial port with the property set of the original serial control. Each assignment may
// throw AutomationError (port missing, busy, change refused while open); the caller decides
// whether to skip it. onComm is raised on the user-interface thread once for each text that
// has come.
class SerialPort : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~SerialPort() override = default;

    virtual void setCommPort(int port) = 0;     // 1..4
    virtual void setHandshaking(int mode) = 0;  // 0: none
    virtual void setRThreshold(int count) = 0;  // receive event after this many characters
    virtual void setRTSEnable(bool enable) = 0;
    virtual void setSettings(const QString &settings) = 0; // "9600,n,8,1"
    virtual void setSThreshold(int count) = 0;
    virtual void setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;
    virtual int commPort() const = 0;
    // The next text received, each as it came (one per onComm); empty when none waits.
    virtual QString input() = 0;
    // The device a port number stands for on this machine; empty when the port cannot say.
    virtual QString deviceFor(int port) const
    {
        Q_UNUSED(port);
        return QString();
    }

signals:
    void onComm();
};

} // namespace platform
