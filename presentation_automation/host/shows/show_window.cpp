#include "presentation_automation/host/shows/show_window.h"

#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/shows/displays.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace pa::host {

ShowWindow::ShowWindow(std::int64_t presId, int slideCount, const QString &title)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_presId(presId), m_count(slideCount)
{
    setWindowTitle(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // A focused show is lifted over the controllers' topmost windows by some window managers,
    // and the presenter's keys belong to the controllers; so a show never takes the focus,
    // not even when it appears.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

QSize ShowWindow::frameBox() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void ShowWindow::setRequestedLeft(double points)
{
    m_requested.left = points;
    placeOn(currentDisplayLayout());
}

void ShowWindow::setRequestedTop(double points)
{
    m_requested.top = points;
    placeOn(currentDisplayLayout());
}

void ShowWindow::setRequestedWidth(double points)
{
    m_requested.width = points;
    placeOn(currentDisplayLayout());
}

void ShowWindow::setRequested(const RequestedPlacement &placement)
{
    m_requested = placement;
    placeOn(currentDisplayLayout());
}

void ShowWindow::placeFullPrimary()
{
    const DisplayLayout layout = currentDisplayLayout();
    m_requested = fullPrimary(layout);
    placeOn(layout);
}

void ShowWindow::placeOn(const DisplayLayout &layout, bool always)
{
    const QRect wanted = requestedRect(layout, m_requested, m_slideSize);
    const auto display = displayHolding(layout, wanted);
    if (!display && !always) {
        return;
    }
    if (!exactPlacementAvailable()) {
        // Where windows cannot be placed, the nearest thing: all of the display asked for.
        static bool told = false;
        if (!told) {
            told = true;
            qWarning("Exact placement of show windows is not available on this window system "
                     "(Wayland without XWayland); each show fills the display that holds its "
                     "requested rectangle.");
        }
        if (QScreen *screen = screenOf(display.value_or(layout.primary))) {
            setScreen(screen);
            setGeometry(screen->geometry());
        }
        setWindowState(windowState() | Qt::WindowFullScreen);
        return;
    }
    setGeometry(windowRect(layout, m_requested, m_slideSize));
}

void ShowWindow::next()
{
    if (m_current < m_count) {
        gotoSlide(m_current + 1);
    } else if (m_loop && m_count > 1) {
        gotoSlide(1);
    }
}

void ShowWindow::previous()
{
    if (m_current > 1) {
        gotoSlide(m_current - 1);
    }
}

void ShowWindow::gotoSlide(int slide)
{
    if (slide < 1 || slide > m_count) {
        return;
    }
    m_current = slide;
    emit slideChanged();
}

void ShowWindow::showFrame(const QImage &frame, int slide)
{
    if (frame.isNull()) {
        return;
    }
    m_frame = frame;
    m_shownSlide = slide;
    // Painted now rather than at the next idle moment, so a held slide appears at once.
    repaint();
}

void ShowWindow::endShow()
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    hide();
    emit ended();
}

void ShowWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_frame.isNull()) {
        const QSize logical = (QSizeF(m_frame.size()) / m_frame.devicePixelRatio()).toSize();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(letterboxRect(logical, size()), m_frame);
    }
}

void ShowWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Space:
    case Qt::Key_PageDown:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        next();
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
    case Qt::Key_Backspace:
        previous();
        break;
    case Qt::Key_Home:
        gotoSlide(1);
        break;
    case Qt::Key_End:
        gotoSlide(m_count);
        break;
    case Qt::Key_Escape:
        endShow();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ShowWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        next();
    } else {
        QWidget::mousePressEvent(event);
    }
}

void ShowWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    emit frameBoxChanged();
}

void ShowWindow::closeEvent(QCloseEvent *event)
{
    // Closed from outside (the window manager): the show ends as with Esc.
    QWidget::closeEvent(event);
    endShow();
}

} // namespace pa::host
