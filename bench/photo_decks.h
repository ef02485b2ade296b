#pragma once

// What the benchmark needs to time slides of large photographs until they are on the show
// windows: decks of full-page photos it makes itself, a virtual X display the host shows
// them on, and a probe that reads the pixels of the windows from the display.

#include <QByteArray>
#include <QColor>
#include <QPoint>
#include <QProcess>
#include <QSize>
#include <QString>

#include <memory>
#include <vector>

struct xcb_connection_t;

namespace bench {

// Every page is one JPEG photograph of `pixels`, filling a 16:9 page. Its top-left corner
// carries two marker blocks whose colours tell the page (see pageMarkers).
bool makePhotoDeck(const QString &path, int pages, int deck, QSize pixels = QSize(4000, 2250));

// The two marker colours of a page; pages up to 36 are told apart.
std::pair<QColor, QColor> pageMarkers(int page);
// Where the markers are read, from a show window's top-left corner, for a 1920 px window.
std::pair<QPoint, QPoint> markerPoints();

// An Xvfb server of its own, on a display number the server picks.
class VirtualDisplay
{
public:
    explicit VirtualDisplay(QSize size);
    ~VirtualDisplay();
    bool running() const { return !m_name.isEmpty(); }
    QByteArray name() const { return m_name; } // ":N"

private:
    QProcess m_server;
    QByteArray m_name;
};

// Reads pixels of the root window of an X display.
class ScreenProbe
{
public:
    explicit ScreenProbe(const QByteArray &display);
    ~ScreenProbe();
    bool connected() const { return m_connection != nullptr; }
    // The colours at these points, read in one request (all points on one row).
    std::vector<QColor> colours(const std::vector<QPoint> &points);

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
};

} // namespace bench
