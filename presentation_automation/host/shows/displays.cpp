#include "presentation_automation/host/shows/displays.h"

#include "presentation_automation/host/shows/app_window.h"
#include "presentation_automation/host/shows/show_window.h"
#include "presentation_automation/host/shows/x11_heads.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include <algorithm>

namespace pa::host {

DisplayLayout currentDisplayLayout()
{
    DisplayLayout layout;
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() <= 1) {
        std::vector<QRect> heads = xineramaHeads();
        if (heads.size() > 1) {
            layout.displays = std::move(heads);
            return layout;
        }
    }
    const QScreen *primary = QGuiApplication::primaryScreen();
    for (const QScreen *screen : screens) {
        if (screen == primary) {
            layout.primary = layout.displays.size();
        }
        layout.displays.push_back(screen->geometry());
    }
    return layout;
}

QString describe(const DisplayLayout &layout)
{
    QStringList parts;
    for (size_t i = 0; i < layout.displays.size(); ++i) {
        const QRect &d = layout.displays[i];
        parts << QStringLiteral("%1x%2 at %3,%4%5")
                     .arg(d.width())
                     .arg(d.height())
                     .arg(d.x())
                     .arg(d.y())
                     .arg(i == layout.primary ? QStringLiteral(" (primary)") : QString());
    }
    return parts.join(QStringLiteral(", "));
}

bool exactPlacementAvailable()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QScreen *screenOf(size_t display)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return display < static_cast<size_t>(screens.size()) ? screens[static_cast<int>(display)]
                                                         : nullptr;
}

ShowPlacer::ShowPlacer(AppWindow *appWindow, QObject *parent)
    : QObject(parent), m_appWindow(appWindow), m_settle(new QTimer(this))
{
    // A re-plugged display arrives as several changes in a row; the shows move once, after
    // the last of them.
    m_settle->setSingleShot(true);
    m_settle->setInterval(300);
    connect(m_settle, &QTimer::timeout, this, &ShowPlacer::placeAgain);
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (app != nullptr) {
        connect(app, &QGuiApplication::screenAdded, this, [this](QScreen *screen) {
            watchScreen(screen);
            displaysChanged();
        });
        connect(app, &QGuiApplication::screenRemoved, this, &ShowPlacer::displaysChanged);
        connect(app, &QGuiApplication::primaryScreenChanged, this, &ShowPlacer::displaysChanged);
        for (QScreen *screen : QGuiApplication::screens()) {
            watchScreen(screen);
        }
    }
    qInfo("Displays: %s.", qPrintable(describe(currentDisplayLayout())));
    if (appWindow != nullptr) {
        connect(appWindow, &AppWindow::cameForward, this, [this] { raiseShows(); });
    }
}

void ShowPlacer::watchScreen(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, this, &ShowPlacer::displaysChanged);
}

void ShowPlacer::displaysChanged()
{
    m_settle->start();
}

void ShowPlacer::add(ShowWindow *show)
{
    std::erase_if(m_shows, [](const QPointer<ShowWindow> &w) { return w.isNull(); });
    m_shows.emplace_back(show);
    raiseShows(show);
}

void ShowPlacer::raiseShows(ShowWindow *top)
{
    for (const auto &show : m_shows) {
        if (show && show != top && show->isVisible()) {
            show->raise();
        }
    }
    if (top != nullptr && top->isVisible()) {
        top->raise();
    }
}

void ShowPlacer::placeAgain()
{
    const DisplayLayout layout = currentDisplayLayout();
    qInfo("Displays now: %s.", qPrintable(describe(layout)));
    for (const auto &show : m_shows) {
        if (show && show->isVisible()) {
            show->placeOn(layout, false);
        }
    }
}

} // namespace pa::host
