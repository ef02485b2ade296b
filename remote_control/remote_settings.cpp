#include "remote_settings.h"

#include "platform/settings_format.h"
#include <QNetworkInterface>

#include <QSettings>

namespace remote {

namespace {

quint16 portValue(const QSettings &settings, const QString &key, quint16 fallback)
{
    bool ok = false;
    const int port = settings.value(key).toString().trimmed().toInt(&ok);
    return ok && port >= 0 && port <= 65535 ? quint16(port) : fallback;
}

} // namespace

RemoteSettings defaultSettings(const QString &program)
{
    RemoteSettings settings;
    const quint16 base = program == QLatin1String("Kestro")        ? 52520
                         : program == QLatin1String("Kestrokiosk") ? 52530
                                                                   : 52510;
    settings.oscPort = base;
    settings.textPort = base + 1;
    settings.webSocketPort = base + 2;
    settings.httpPort = base + 3;
    return settings;
}

RemoteSettings readSettings(const QString &program)
{
    RemoteSettings result = defaultSettings(program);
    QSettings settings(platform::settingsFormat(), QSettings::UserScope, program, program);
    settings.beginGroup(QStringLiteral("Remote"));
    const QString enabled =
        settings.value(QStringLiteral("Enabled")).toString().trimmed().toLower();
    if (enabled == QLatin1String("false") || enabled == QLatin1String("0") ||
        enabled == QLatin1String("no") || enabled == QLatin1String("off")) {
        result.enabled = false;
    }
    result.oscPort = portValue(settings, QStringLiteral("OscPort"), result.oscPort);
    result.textPort = portValue(settings, QStringLiteral("TextPort"), result.textPort);
    result.webSocketPort =
        portValue(settings, QStringLiteral("WebSocketPort"), result.webSocketPort);
    result.httpPort = portValue(settings, QStringLiteral("HttpPort"), result.httpPort);
    result.oscFeedbackPort =
        portValue(settings, QStringLiteral("OscFeedbackPort"), result.oscFeedbackPort);
    // A list is read back as one text when written by hand with commas and no quotes.
    const QVariant interfaces = settings.value(QStringLiteral("Interfaces"));
    const QStringList names = interfaces.typeId() == QMetaType::QStringList
                                  ? interfaces.toStringList()
                                  : interfaces.toString().split(QLatin1Char(','));
    for (const QString &name : names) {
        if (!name.trimmed().isEmpty()) {
            result.interfaces.append(name.trimmed());
        }
    }
    result.viewToken = settings.value(QStringLiteral("ViewToken")).toString();
    result.controlToken = settings.value(QStringLiteral("ControlToken")).toString();
    return result;
}

QList<QHostAddress> listenAddresses(const QStringList &interfaces, QStringList *unknown)
{
    QList<QHostAddress> addresses{QHostAddress(QHostAddress::LocalHost)};
    const auto add = [&addresses](const QHostAddress &address) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !addresses.contains(address)) {
            addresses.append(address);
        }
    };
    for (const QString &name : interfaces) {
        const QHostAddress address(name);
        if (!address.isNull()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                add(address);
            } else {
                unknown->append(name);
            }
            continue;
        }
        const QNetworkInterface interface = QNetworkInterface::interfaceFromName(name);
        bool found = false;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                add(entry.ip());
                found = true;
            }
        }
        if (!found) {
            unknown->append(name);
        }
    }
    return addresses;
}

} // namespace remote
