#include "topmost.h"

#include <QWidget>

namespace platform {

void raiseAboveOthers(QWidget *window); // per platform

void makeTopmost(QWidget *window)
{
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (wasVisible) {
        window->show(); // changing window flags hides a shown window
    }
    raiseAboveOthers(window);
}

} // namespace platform
