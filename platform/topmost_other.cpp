#include <QWidget>

namespace platform {

void raiseAboveOthers(QWidget *window)
{
    if (window->isVisible()) {
        window->raise();
    }
}

} // namespace platform
