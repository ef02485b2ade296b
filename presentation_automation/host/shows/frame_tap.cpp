#include "presentation_automation/host/shows/frame_tap.h"

#include <QMutexLocker>
#include <QThreadPool>

#include <algorithm>
#include <utility>

namespace pa::host {

namespace {

bool deepSamples(QVideoFrameFormat::PixelFormat format)
{
    switch (format) {
    case QVideoFrameFormat::Format_P010:
    case QVideoFrameFormat::Format_P016:
    case QVideoFrameFormat::Format_YUV420P10:
    case QVideoFrameFormat::Format_Y16:
        return true;
    default:
        return false;
    }
}

} // namespace

FrameTap::FrameTap(QObject *receiver, Ready ready) : m_receiver(receiver), m_ready(std::move(ready))
{}

QSize FrameTap::madeSize(const QSize &frame, const QSize &target)
{
    if (target.isEmpty() ||
        (target.width() >= frame.width() && target.height() >= frame.height())) {
        // Drawn larger, the painter scales it as well as we could.
        return frame;
    }
    return target;
}

QImage FrameTap::scaledFor(const QImage &picture, const QSize &target)
{
    const QSize size = madeSize(picture.size(), target);
    if (picture.isNull() || size == picture.size()) {
        return picture;
    }
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

namespace {

// Pictures are made here: the backend hands frames over in the show's thread.
QThreadPool &conversions()
{
    static QThreadPool pool;
    // Its threads stay: Qt Multimedia says in the log once in each thread that it converts
    // without OpenGL, so no more than once per core.
    static const bool kept = (pool.setExpiryTimeout(-1), true);
    (void)kept;
    return pool;
}

} // namespace

void FrameTap::deliver(const QVideoFrame &frame)
{
    if (!frame.isValid()) {
        return;
    }
    QMutexLocker lock(&m_mutex);
    if (m_closed) {
        return;
    }
    if (m_counting) {
        if (m_frames > 0) {
            m_longestGapMs = std::max(m_longestGapMs, double(m_sinceFrame.nsecsElapsed()) / 1e6);
        }
        ++m_frames;
        m_sinceFrame.start();
    }
    m_frameSize = frame.size();
    m_deepSamples = deepSamples(frame.pixelFormat());
    // A frame not yet made a picture gives way to this one.
    m_pending = frame;
    startConverting();
}

void FrameTap::startConverting()
{
    if (!m_converting && !m_waiting && !m_closed && m_pending.isValid()) {
        m_converting = true;
        conversions().start([tap = shared_from_this()] { tap->convert(); });
    }
}

void FrameTap::convert()
{
    for (;;) {
        QVideoFrame frame;
        QSize target;
        {
            QMutexLocker lock(&m_mutex);
            if (m_closed || m_waiting || !m_pending.isValid()) {
                // A frame left waiting is made when the picture before it is taken.
                m_converting = false;
                return;
            }
            frame = std::exchange(m_pending, QVideoFrame());
            target = m_target;
        }
        // The costly part, outside the lock: made at the drawn size straight from the frame's
        // planes where it can be, else converted whole by Qt and then scaled.
        QImage picture = m_maker.make(frame, madeSize(frame.size(), target));
        if (picture.isNull() && FramePicture::leavesToQt(frame)) {
            picture = scaledFor(frame.toImage(), target);
        }
        frame = QVideoFrame();
        if (picture.isNull()) {
            continue;
        }
        QMutexLocker lock(&m_mutex);
        if (m_closed) {
            continue;
        }
        m_newest = std::move(picture);
        m_waiting = true;
        // Posted under the lock, so that close() waits for it and the receiver outlives it.
        QMetaObject::invokeMethod(
            m_receiver,
            [ready = m_ready, weak = weak_from_this()] {
                if (const std::shared_ptr<FrameTap> tap = weak.lock()) {
                    ready(tap);
                }
            },
            Qt::QueuedConnection);
    }
}

void FrameTap::setTarget(const QSize &devicePixels)
{
    QMutexLocker lock(&m_mutex);
    m_target = devicePixels;
}

QImage FrameTap::take()
{
    QMutexLocker lock(&m_mutex);
    m_waiting = false;
    QImage picture = std::exchange(m_newest, QImage());
    if (m_counting && !picture.isNull()) {
        ++m_pictures;
    }
    startConverting();
    return picture;
}

void FrameTap::setCounting(bool counting)
{
    QMutexLocker lock(&m_mutex);
    m_counting = counting;
}

int FrameTap::frames() const
{
    QMutexLocker lock(&m_mutex);
    return m_frames;
}

int FrameTap::pictures() const
{
    QMutexLocker lock(&m_mutex);
    return m_pictures;
}

double FrameTap::longestGapMs() const
{
    QMutexLocker lock(&m_mutex);
    return m_longestGapMs;
}

QSize FrameTap::frameSize() const
{
    QMutexLocker lock(&m_mutex);
    return m_frameSize;
}

bool FrameTap::frameDeep() const
{
    QMutexLocker lock(&m_mutex);
    return m_deepSamples;
}

void FrameTap::close()
{
    QMutexLocker lock(&m_mutex);
    m_closed = true;
    m_newest = QImage();
    m_pending = QVideoFrame();
}

} // namespace pa::host
