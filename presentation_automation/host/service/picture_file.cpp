#include "presentation_automation/host/service/picture_file.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryFile>

#include <cstdio>

namespace pa::host {

QString replaceFile(const QString &path, const std::function<QString(QFileDevice &)> &write)
{
    const QFileInfo target(path);
    QTemporaryFile file(target.absolutePath() + QLatin1Char('/') + QLatin1Char('.') +
                        target.fileName() + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        return file.errorString();
    }
    if (const QString why = write(file); !why.isEmpty()) {
        return why;
    }
    if (!file.flush()) {
        return file.errorString();
    }
    // A temporary file is private to its owner; the new file gets the permissions of the one
    // it replaces, or those of an ordinary file.
    file.setPermissions(target.exists() ? target.permissions()
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        return QStringLiteral("it cannot be renamed into place");
    }
    file.setAutoRemove(false);
    return {};
}

QString writePicture(const QImage &image, const QString &path, const QByteArray &format)
{
    QString why;
    const QByteArray bytes = encodePicture(image, format, &why);
    return bytes.isEmpty() ? why : writePictureBytes(bytes, path);
}

QByteArray encodePicture(const QImage &image, const QByteArray &format, QString *why)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (format == "jpg") {
        writer.setQuality(90);
    }
    if (!writer.write(image.convertToFormat(QImage::Format_RGB32))) {
        *why = writer.errorString();
        return {};
    }
    return bytes;
}

QString writePictureBytes(const QByteArray &bytes, const QString &path)
{
    return replaceFile(path, [&](QFileDevice &file) -> QString {
        return file.write(bytes) == bytes.size() ? QString() : file.errorString();
    });
}

} // namespace pa::host
