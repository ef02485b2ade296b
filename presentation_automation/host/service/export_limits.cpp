#include "presentation_automation/host/service/export_limits.h"

namespace pa::host {

QString exportSizeProblem(int width, int height)
{
    if (width < 1 || height < 1) {
        return QStringLiteral("The picture size %1 by %2 is out of range.").arg(width).arg(height);
    }
    if (width > maxExportSide || height > maxExportSide ||
        static_cast<qint64>(width) * height > maxExportPixels) {
        return QStringLiteral("The picture size %1 by %2 is too large: at most %3 pixels a side "
                              "and %4 million pixels (7680 by 4320) are exported.")
            .arg(width)
            .arg(height)
            .arg(maxExportSide)
            .arg(maxExportPixels / 1000000.0, 0, 'f', 1);
    }
    return {};
}

bool exportIsQuick(QSize size)
{
    // A preview is 175 px wide; a picture up to about a third of a megapixel is scaled and
    // encoded in a few milliseconds.
    return static_cast<qint64>(size.width()) * size.height() <= 640ll * 480ll;
}

} // namespace pa::host
