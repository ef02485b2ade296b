#include "presentation_automation/host/shows/transitions.h"

#include "presentation_automation/host/decks/render.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>

namespace pa::host {

namespace {

// Dissolve reveals the new slide in this many cells, in one fixed scattered order.
constexpr int dissolveColumns = 40;
constexpr int dissolveRows = 24;

const std::array<int, dissolveColumns * dissolveRows> &dissolveOrder()
{
    static const auto order = [] {
        std::array<int, dissolveColumns * dissolveRows> ranks{};
        for (size_t i = 0; i < ranks.size(); ++i) {
            ranks[i] = static_cast<int>(i);
        }
        // A fixed shuffle: the same pattern on every show and every run.
        std::uint32_t seed = 0x9e3779b9u;
        for (size_t i = ranks.size() - 1; i > 0; --i) {
            seed = seed * 1664525u + 1013904223u;
            std::swap(ranks[i], ranks[(seed >> 8) % (i + 1)]);
        }
        return ranks;
    }();
    return order;
}

// Where the motion of a moving transition starts; unset ones come in from the right.
TransitionDirection edgeOf(TransitionDirection d)
{
    switch (d) {
    case TransitionDirection::Left:
    case TransitionDirection::Right:
    case TransitionDirection::Up:
    case TransitionDirection::Down:
        return d;
    default:
        return TransitionDirection::Right;
    }
}

// Offset of a picture that has travelled `fraction` of the window from the given edge.
QPointF travelled(TransitionDirection edge, const QSizeF &window, double fraction)
{
    switch (edge) {
    case TransitionDirection::Left:
        return {window.width() * fraction, 0};
    case TransitionDirection::Up:
        return {0, window.height() * fraction};
    case TransitionDirection::Down:
        return {0, -window.height() * fraction};
    default:
        return {-window.width() * fraction, 0};
    }
}

void drawPart(QPainter &painter, const QImage &image, const QRectF &part)
{
    const qreal dpr = image.devicePixelRatio();
    const QRectF source(part.topLeft() * dpr, part.size() * dpr);
    painter.drawImage(part, image, source);
}

} // namespace

QImage windowPicture(const QImage &frame, const QSize &window, qreal devicePixelRatio,
                     QImage &canvas)
{
    const QSize pixels = (QSizeF(window) * devicePixelRatio).toSize();
    if (frame.size() == pixels) {
        QImage same = frame;
        same.setDevicePixelRatio(devicePixelRatio);
        return same;
    }
    if (canvas.size() != pixels || canvas.format() != QImage::Format_RGB32) {
        canvas = QImage(pixels, QImage::Format_RGB32);
    }
    canvas.setDevicePixelRatio(1);
    canvas.fill(Qt::black);
    if (!frame.isNull()) {
        QPainter p(&canvas);
        const QSize logical = (QSizeF(frame.size()) / frame.devicePixelRatio()).toSize();
        const QRect at = letterboxRect(logical, window);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(
            QRectF(QPointF(at.topLeft()) * devicePixelRatio, QSizeF(at.size()) * devicePixelRatio),
            frame);
    }
    canvas.setDevicePixelRatio(devicePixelRatio);
    return canvas;
}

void paintTransition(QPainter &painter, const QSize &window, const QImage &from, const QImage &to,
                     const Transition &transition, double progress)
{
    const double p = std::clamp(progress, 0.0, 1.0);
    const QSizeF size(window);
    const QRectF whole(QPointF(0, 0), size);
    const TransitionDirection edge = edgeOf(transition.direction);
    painter.fillRect(whole, Qt::black);
    switch (transition.kind) {
    case TransitionKind::Fade:
        painter.drawImage(QPointF(0, 0), from);
        painter.setOpacity(p);
        painter.drawImage(QPointF(0, 0), to);
        painter.setOpacity(1);
        return;
    case TransitionKind::FadeThroughBlack:
        painter.setOpacity(p < 0.5 ? 1 - 2 * p : 2 * p - 1);
        painter.drawImage(QPointF(0, 0), p < 0.5 ? from : to);
        painter.setOpacity(1);
        return;
    case TransitionKind::Dissolve: {
        painter.drawImage(QPointF(0, 0), from);
        const auto &order = dissolveOrder();
        const int shown = static_cast<int>(std::lround(p * static_cast<double>(order.size())));
        const double cw = size.width() / dissolveColumns;
        const double ch = size.height() / dissolveRows;
        for (size_t cell = 0; cell < order.size(); ++cell) {
            if (order[cell] >= shown) {
                continue;
            }
            const int column = static_cast<int>(cell) % dissolveColumns;
            const int row = static_cast<int>(cell) / dissolveColumns;
            // Whole pixels, so neighbouring cells leave no seams.
            const QRectF part(QPointF(std::floor(column * cw), std::floor(row * ch)),
                              QPointF(std::floor((column + 1) * cw), std::floor((row + 1) * ch)));
            drawPart(painter, to, part);
        }
        return;
    }
    case TransitionKind::Push:
        painter.drawImage(travelled(edge, size, p), from);
        painter.drawImage(travelled(edge, size, p - 1), to);
        return;
    case TransitionKind::Cover:
        painter.drawImage(QPointF(0, 0), from);
        painter.drawImage(travelled(edge, size, p - 1), to);
        return;
    case TransitionKind::Uncover:
        painter.drawImage(QPointF(0, 0), to);
        painter.drawImage(travelled(edge, size, p), from);
        return;
    case TransitionKind::Wipe: {
        painter.drawImage(QPointF(0, 0), from);
        const QPointF shift = travelled(edge, size, p - 1);
        drawPart(painter, to, whole.translated(shift).intersected(whole));
        return;
    }
    case TransitionKind::Split: {
        painter.drawImage(QPointF(0, 0), from);
        const bool vertical = transition.direction == TransitionDirection::VerticalIn ||
                              transition.direction == TransitionDirection::VerticalOut ||
                              transition.direction == TransitionDirection::None;
        const bool inward = transition.direction == TransitionDirection::HorizontalIn ||
                            transition.direction == TransitionDirection::VerticalIn;
        const double extent = vertical ? size.width() : size.height();
        const double half = extent * p / 2;
        const auto band = [&](double a, double b) {
            return vertical ? QRectF(a, 0, b - a, size.height())
                            : QRectF(0, a, size.width(), b - a);
        };
        if (inward) {
            drawPart(painter, to, band(0, half));
            drawPart(painter, to, band(extent - half, extent));
        } else {
            drawPart(painter, to, band(extent / 2 - half, extent / 2 + half));
        }
        return;
    }
    case TransitionKind::Cut:
        painter.drawImage(QPointF(0, 0), to);
        return;
    }
}

TransitionPlayer::TransitionPlayer(QWidget *window)
    : QObject(window), m_window(window), m_pacer(new FramePacer(window))
{
    connect(m_pacer, &FramePacer::tick, this, &TransitionPlayer::tick);
}

TransitionPacing TransitionPlayer::lastPacing() const
{
    TransitionPacing pacing;
    static_cast<FramePacing &>(pacing) = m_pacer->pacing();
    pacing.transition = m_transition;
    return pacing;
}

void TransitionPlayer::start(const Transition &transition, const QImage &from, const QImage &to)
{
    m_transition = transition;
    const qreal dpr = m_window->devicePixelRatioF();
    // The canvases are drawn into only while nothing else holds them.
    m_from = QImage();
    m_to = QImage();
    m_from = windowPicture(from, m_window->size(), dpr, m_fromCanvas);
    m_to = windowPicture(to, m_window->size(), dpr, m_toCanvas);
    m_running = true;
    m_pacer->start();
    m_window->repaint();
}

void TransitionPlayer::setTarget(const QImage &to)
{
    m_to = QImage();
    m_to = windowPicture(to, m_window->size(), m_window->devicePixelRatioF(), m_toCanvas);
}

void TransitionPlayer::finish(bool paint)
{
    if (!m_running) {
        return;
    }
    m_running = false;
    m_pacer->stop();
    m_from = QImage();
    m_to = QImage();
    if (paint) {
        m_window->repaint();
    }
    emit finished();
}

void TransitionPlayer::tick()
{
    if (m_pacer->elapsedSeconds() >= m_transition.seconds) {
        finish();
    } else {
        m_window->repaint();
    }
}

void TransitionPlayer::paint(QPainter &painter)
{
    const double elapsed = m_pacer->elapsedSeconds();
    m_pacer->frameDrawn();
    const double progress = m_transition.seconds > 0 ? elapsed / m_transition.seconds : 1;
    paintTransition(painter, m_window->size(), m_from, m_to, m_transition, progress);
}

} // namespace pa::host
