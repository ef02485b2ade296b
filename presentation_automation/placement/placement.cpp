#include "presentation_automation/placement/placement.h"

#include <algorithm>
#include <cmath>

namespace pa {

QPoint DisplayLayout::origin() const
{
    return primary < displays.size() ? displays[primary].topLeft() : QPoint(0, 0);
}

int pointsToPixels(double points)
{
    return static_cast<int>(std::lround(points * 4.0 / 3.0));
}

double pixelsToPoints(int pixels)
{
    return pixels * 0.75;
}

RequestedPlacement fullPrimary(const DisplayLayout &layout)
{
    const int width =
        layout.primary < layout.displays.size() ? layout.displays[layout.primary].width() : 1024;
    return {0, 0, pixelsToPoints(width)};
}

std::optional<size_t> displayHolding(const DisplayLayout &layout, const QRect &rect)
{
    for (size_t i = 0; i < layout.displays.size(); ++i) {
        if (layout.displays[i].contains(rect.topLeft())) {
            return i;
        }
    }
    std::optional<size_t> best;
    qint64 bestArea = 0;
    for (size_t i = 0; i < layout.displays.size(); ++i) {
        const QRect common = layout.displays[i].intersected(rect);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    return best;
}

QRect requestedRect(const DisplayLayout &layout, const RequestedPlacement &placement,
                    const QSizeF &slideSize)
{
    const QPoint origin = layout.origin();
    const int width = std::max(1, pointsToPixels(placement.width));
    // A slide of no size (a broken page) is drawn as 4:3, the usual shape of a slide.
    const double shape = slideSize.width() > 0 && slideSize.height() > 0
                             ? slideSize.height() / slideSize.width()
                             : 0.75;
    const int height = std::max(1, static_cast<int>(std::lround(width * shape)));
    return {origin.x() + pointsToPixels(placement.left), origin.y() + pointsToPixels(placement.top),
            width, height};
}

WindowLanding windowLanding(const DisplayLayout &layout, const RequestedPlacement &placement,
                            const QSizeF &slideSize)
{
    WindowLanding landing{requestedRect(layout, placement, slideSize), std::nullopt};
    landing.display = displayHolding(layout, landing.rect);
    QRect &rect = landing.rect;
    for (const QRect &display : layout.displays) {
        if (display.contains(rect.topLeft())) {
            rect.setHeight(std::min(rect.height(), display.bottom() - rect.top() + 1));
            break;
        }
    }
    return landing;
}

QRect windowRect(const DisplayLayout &layout, const RequestedPlacement &placement,
                 const QSizeF &slideSize)
{
    return windowLanding(layout, placement, slideSize).rect;
}

} // namespace pa
