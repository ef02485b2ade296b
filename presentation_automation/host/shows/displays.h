#pragma once

// The displays as they are now, and the upkeep of show windows as displays come and go and
// as the host's own window comes forward.

#include "presentation_automation/placement/placement.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

class QScreen;
class QTimer;

namespace pa::host {

class AppWindow;
class ShowWindow;

DisplayLayout currentDisplayLayout();
// "1920x1080 at 0,0 (primary), ...", for the log.
QString describe(const DisplayLayout &layout);

// False where the window system lets no program place its windows (Wayland).
bool exactPlacementAvailable();

// The screen of a display of currentDisplayLayout(), or nullptr.
QScreen *screenOf(size_t display);

class ShowPlacer : public QObject
{
    Q_OBJECT

public:
    explicit ShowPlacer(AppWindow *appWindow, QObject *parent = nullptr);

    // Tracks a running show until its window goes.
    void add(ShowWindow *show);
    // Puts every show over the host's window; top ends uppermost.
    void raiseShows(ShowWindow *top = nullptr);
    // Puts every show whose requested rectangle lies on a display back where it was asked.
    void placeAgain();

private:
    void watchScreen(QScreen *screen);
    void displaysChanged();

    QPointer<AppWindow> m_appWindow;
    std::vector<QPointer<ShowWindow>> m_shows;
    QTimer *m_settle;
};

} // namespace pa::host
