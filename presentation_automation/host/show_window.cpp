#include "show_window.h"

#include "render.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace pa::host {

ShowWindow::ShowWindow(std::int64_t presId, int slideCount, const QString &title)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_presId(presId), m_count(slideCount)
{
    setWindowTitle(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
}

QSize ShowWindow::frameBox() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void ShowWindow::next()
{
    if (m_current < m_count) {
        gotoSlide(m_current + 1);
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
