#pragma once

// Writing an exported slide picture. The picture appears under its name whole or not at all
// (written beside it and renamed over it), so a controller loading it never sees half of
// one. It is not forced to disk first: a preview picture is rewritten on the next step
// anyway, and waiting for the disk was the largest part of an export.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace pa::host {

// format: "jpg", "png" or "bmp". Returns an empty string, or why the file cannot be written.
QString writePicture(const QImage &image, const QString &path, const QByteArray &format);

} // namespace pa::host
