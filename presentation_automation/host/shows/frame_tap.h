#pragma once

// Takes a video's frames as the media backend delivers them, makes each a picture of the size
// it is drawn at in a thread of its own (GStreamer's backend hands frames over in the show's
// thread, where a 1080p conversion costs a frame's time), and hands the newest to the show's
// thread. A frame that comes while the one before is still being made, or while a picture
// still waits for the show, replaces it, and is made once that picture is taken: the show
// never falls behind the decoder, and beside the picture the show draws there is never more
// than one frame and one picture of the clip (a 1080p picture is 8 MB).

#include "presentation_automation/host/shows/frame_picture.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QVideoFrame>

#include <functional>
#include <memory>

namespace pa::host {

class FrameTap : public std::enable_shared_from_this<FrameTap>
{
public:
    // ready runs in receiver's thread, once per picture that waits, to take it with take();
    // not once the tap is gone.
    using Ready = std::function<void(const std::shared_ptr<FrameTap> &)>;
    FrameTap(QObject *receiver, Ready ready);

    // Any thread: the picture of frame, scaled to the size the clip is drawn at.
    void deliver(const QVideoFrame &frame);
    // The size in device pixels pictures are made at; empty: the frame's own.
    void setTarget(const QSize &devicePixels);
    // The newest picture, or a null one when none came since the last take.
    QImage take();
    // Frames count for the listing from now on (while the clip is shown).
    void setCounting(bool counting);
    int frames() const;
    // The pictures taken while counting.
    int pictures() const;
    double longestGapMs() const;
    // The size of the frames the backend delivers; empty until the first.
    QSize frameSize() const;
    // Whether they hold more than 8 bits a sample (10-bit footage), in twice the bytes.
    bool frameDeep() const;
    // Nothing delivered after this reaches the receiver; on its return no thread is about to.
    void close();

    // A picture for a drawn size: the frame's own when target is empty or no smaller.
    static QImage scaledFor(const QImage &picture, const QSize &target);
    // The size of that picture for a frame of size frame.
    static QSize madeSize(const QSize &frame, const QSize &target);

private:
    // Under the lock: a frame waits to be made and nothing stops it.
    void startConverting();
    // In a thread of the pool, until no frame waits or a picture does.
    void convert();

    // Used by the one conversion running, outside the lock.
    FramePicture m_maker;
    QObject *const m_receiver;
    const Ready m_ready;
    mutable QMutex m_mutex;
    QSize m_target;
    QVideoFrame m_pending;
    QSize m_frameSize;
    bool m_deepSamples = false;
    bool m_converting = false;
    QImage m_newest;
    bool m_waiting = false;
    bool m_closed = false;
    bool m_counting = false;
    int m_frames = 0;
    int m_pictures = 0;
    QElapsedTimer m_sinceFrame;
    double m_longestGapMs = 0;
};

} // namespace pa::host
