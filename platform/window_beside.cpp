#include "window_beside.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace platform {

namespace {
constexpr int gap = 8;
}

std::optional<QPoint> besidePlacement(const QRect &mainFrame, const QSize &frameSize,
                                      const QRect &available)
{
    if (frameSize.height() > available.height()) {
        return std::nullopt;
    }
    const int top = std::clamp(mainFrame.top(), available.top(),
                               available.top() + available.height() - frameSize.height());
    const int right = mainFrame.left() + mainFrame.width() + gap;
    if (right + frameSize.width() <= available.left() + available.width()) {
        return QPoint(right, top);
    }
    const int left = mainFrame.left() - gap - frameSize.width();
    if (left >= available.left()) {
        return QPoint(left, top);
    }
    return std::nullopt;
}

void placeBeside(QWidget *window, const QWidget *main)
{
    if (!main || !main->isVisible() || !main->screen()) {
        return;
    }
    const QRect mainFrame = main->frameGeometry();
    // Not shown yet, so its frame is not known: assume the main window's.
    const QSize frame = mainFrame.size() - main->geometry().size();
    const auto corner =
        besidePlacement(mainFrame, window->size() + frame, main->screen()->availableGeometry());
    if (corner) {
        window->move(*corner);
    }
}

} // namespace platform
