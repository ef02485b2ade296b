#include "platform/primary_display.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace platform {

namespace {
// A title bar and borders, not known before the window is shown.
const QSize frameAllowance(16, 48);
} // namespace

QPoint cornerOnPrimary(const QSize &frameSize, const QRect &available)
{
    const int x = available.left() + std::max(0, (available.width() - frameSize.width()) / 2);
    const int y = available.top() + std::max(0, (available.height() - frameSize.height()) / 2);
    return {x, y};
}

void openOnPrimary(QWidget *window)
{
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return;
    }
    window->setScreen(primary);
    window->move(cornerOnPrimary(window->size() + frameAllowance, primary->availableGeometry()));
}

} // namespace platform
