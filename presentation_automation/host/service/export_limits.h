#pragma once

// How large a picture the host exports, and which exports are quick enough to run on its
// main thread. A 10000 x 10000 picture is 400 MB in memory and seconds of encoding.

#include <QSize>
#include <QString>

namespace pa::host {

// 8K UHD: the largest picture of a slide anyone shows.
inline constexpr int maxExportSide = 8192;
inline constexpr qint64 maxExportPixels = 7680ll * 4320ll;

// Empty when a picture of this size is exported, else why not.
QString exportSizeProblem(int width, int height);

// Small enough (a preview) to be scaled from a held frame and written at once.
bool exportIsQuick(QSize size);

} // namespace pa::host
