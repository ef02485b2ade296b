#pragma once

// Files the host replaces while others may read them: an exported slide picture, the journal.
// A file appears under its name whole or not at all (written beside it and renamed over it).
// It is not forced to disk first: a preview picture is rewritten on the next step anyway, the
// journal guards against the process ending rather than the power, and waiting for the disk
// was the largest part of an export.

#include <QByteArray>
#include <QFileDevice>
#include <QImage>
#include <QString>

#include <functional>

namespace pa::host {

// write fills the new file and returns an empty string, or why it could not. Returns an empty
// string, or why the file cannot be written; the old file then stays as it was.
QString replaceFile(const QString &path, const std::function<QString(QFileDevice &)> &write);

// format: "jpg", "png" or "bmp". Returns an empty string, or why the file cannot be written.
QString writePicture(const QImage &image, const QString &path, const QByteArray &format);
// The picture as writePicture writes it; empty (and why) when it cannot be encoded.
QByteArray encodePicture(const QImage &image, const QByteArray &format, QString *why);
// A picture encoded before: only the file is written.
QString writePictureBytes(const QByteArray &bytes, const QString &path);

} // namespace pa::host
