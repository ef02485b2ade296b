#pragma once

// Makes a video frame the picture it is drawn as in one pass over the frame's planes, scaling
// while converting: Qt's conversion of a 3840x2160 frame alone takes longer than a frame's time
// at 30 fps on a two-core host, before the picture is scaled down to the show's size.

#include <QImage>
#include <QSize>
#include <QVideoFrame>
#include <QVideoFrameFormat>

struct SwsContext;

namespace pa::host {

class FramePicture
{
public:
    // Whether make() reads this layout.
    static bool reads(QVideoFrameFormat::PixelFormat format);

    // Whether a frame make() gave no picture of goes to QVideoFrame::toImage: one of a layout
    // make() does not read, or not in memory; not one it reads and found short of its layout's
    // bytes, nor a 4:2:2 planar one: Qt 6.4 takes its chroma lines for a quarter of its width,
    // and its conversion of such a frame it allocated itself writes past the frame.
    static bool leavesToQt(const QVideoFrame &frame)
    {
        const QVideoFrameFormat::PixelFormat layout = frame.pixelFormat();
        return layout != QVideoFrameFormat::Format_YUV422P &&
               (!reads(layout) || frame.handleType() != QVideoFrame::NoHandle);
    }

    FramePicture() = default;
    ~FramePicture();
    FramePicture(const FramePicture &) = delete;
    FramePicture &operator=(const FramePicture &) = delete;

    // The picture of frame at size (RGB32), or a null one for a frame it cannot read (not in
    // memory, in a layout it does not know, or short of its layout's bytes).
    // One thread at a time.
    QImage make(const QVideoFrame &frame, const QSize &size);

private:
    // Kept from frame to frame of a clip: made again only when the sizes or the layout change.
    SwsContext *m_context = nullptr;
};

} // namespace pa::host
