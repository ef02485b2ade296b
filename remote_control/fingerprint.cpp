#include "fingerprint.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace remote {

namespace {

constexpr int digits = 16;

struct Remembered
{
    qint64 size = -1;
    QDateTime modified;
    QString fingerprint;
};

} // namespace

QString fileFingerprint(const QString &path)
{
    if (path.isEmpty()) {
        return {};
    }
    static QHash<QString, Remembered> remembered;
    const QFileInfo info(path);
    if (!info.isFile()) {
        return {};
    }
    Remembered &entry = remembered[info.absoluteFilePath()];
    if (entry.size == info.size() && entry.modified == info.lastModified() &&
        !entry.fingerprint.isEmpty()) {
        return entry.fingerprint;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        return {};
    }
    entry.size = info.size();
    entry.modified = info.lastModified();
    entry.fingerprint = QString::fromLatin1(hash.result().toHex().left(digits));
    return entry.fingerprint;
}

QString scriptFingerprint(const QStringList &lines)
{
    if (lines.isEmpty()) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &line : lines) {
        hash.addData(line.toUtf8());
        hash.addData(QByteArrayView("\n"));
    }
    return QString::fromLatin1(hash.result().toHex().left(digits));
}

} // namespace remote
