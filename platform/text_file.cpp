#include "text_file.h"

#include "error.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform {

QString readAnsiTextFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        throw runtimeError(QStringLiteral("File not found: %1").arg(path));
    }
    if (!info.isFile()) {
        throw runtimeError(QStringLiteral("Not a file: %1").arg(path));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw runtimeError(QStringLiteral("Permission denied: %1 (%2)").arg(path, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw runtimeError(QStringLiteral("Input past end of file: %1 (%2)").arg(path, file.errorString()));
    }
    return QString::fromLocal8Bit(bytes);
}

void writeAnsiTextFile(const QString &path, const QString &text)
{
    QSaveFile file(path);
    // Unbuffered: a buffered write fails only when flushed inside commit(), which then
    // still replaces the old file with the part written.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw runtimeError(QStringLiteral("Path/File access error: %1 (%2)").arg(path, file.errorString()));
    }
    const QByteArray bytes = text.toLocal8Bit();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        throw runtimeError(QStringLiteral("Path/File access error: %1 (%2)").arg(path, file.errorString()));
    }
}

} // namespace platform
