#pragma once

// A serial port that records what is assigned to it and hands out queued input.

#include "platform/error.h"
#include "platform/serial_port.h"

#include <QSet>
#include <QStringList>

class FakeSerialPort : public platform::SerialPort
{
public:
    QStringList assigned;     // "CommPort=1", "Settings=9600,n,8,1", ...
    QSet<QString> failing;    // property names whose assignment throws
    QStringList pendingInput; // each entry is what one read returns
    bool open = false;
    int port = 1;

    void setCommPort(int value) override
    {
        assign("CommPort", QString::number(value), [&] { port = value; });
    }
    void setHandshaking(int value) override { assign("Handshaking", QString::number(value)); }
    void setRThreshold(int value) override { assign("RThreshold", QString::number(value)); }
    void setRTSEnable(bool value) override { assign("RTSEnable", value ? "true" : "false"); }
    void setSettings(const QString &value) override { assign("Settings", value); }
    void setSThreshold(int value) override { assign("SThreshold", QString::number(value)); }
    void setPortOpen(bool value) override
    {
        assign("PortOpen", value ? "true" : "false", [&] { open = value; });
    }
    bool portOpen() const override { return open; }
    int commPort() const override { return port; }
    QString input() override
    {
        return pendingInput.isEmpty() ? QString() : pendingInput.takeFirst();
    }

    // Delivers text as one receive event.
    void receive(const QString &text)
    {
        pendingInput.append(text);
        emit onComm();
    }

private:
    template<typename Apply = void (*)()>
    void assign(
        const QString &name, const QString &value, Apply apply = [] {})
    {
        assigned.append(name + QLatin1Char('=') + value);
        if (failing.contains(name)) {
            throw platform::runtimeError(name + QStringLiteral(" refused"));
        }
        apply();
    }
};
