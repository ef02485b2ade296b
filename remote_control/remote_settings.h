#pragma once

// Where a controller's network remote listens and who may use it, from the [Remote] group of
// the program's settings file (~/.config/<Program>/<Program>.conf).

#include "remote_control/commands.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

namespace remote {

struct RemoteSettings
{
    bool enabled = true;
    // 0 turns a transport off. OSC and text lines each take UDP and TCP on their port.
    quint16 oscPort = 0;
    quint16 textPort = 0;
    quint16 webSocketPort = 0;
    // The web remote's page and the HTTP API.
    quint16 httpPort = 0;
    // Where OSC state goes on the sender's machine: 0 answers at the port it sent from.
    quint16 oscFeedbackPort = 0;
    // Addresses or interface names to listen on besides the loopback.
    QStringList interfaces;
    QString viewToken;
    QString controlToken;
};

// The ports a program uses when its settings name none: each program its own, so that
// Corvane, Kestro and Kestrokiosk can run side by side.
RemoteSettings defaultSettings(const QString &program);

// The [Remote] group of the program's settings file (platform::settingsFormat()), over the
// defaults. Malformed values keep the default.
RemoteSettings readSettings(const QString &program);

// The IPv4 addresses to listen on: the loopback, then those the settings name (an address,
// or every IPv4 address of a named interface). Names that match nothing go to unknown.
QList<QHostAddress> listenAddresses(const QStringList &interfaces, QStringList *unknown);

} // namespace remote
