#pragma once

// Makes a video frame the picture it is drawn as in one pass over the frame's planes, scaling
// while converting: Qt's conversion of a 3840x2160 frame alone takes longer than a frame's time
// at 30 fps on a two-core host, before the picture is scaled down to the show's size.

#include <QImage>
#include <QSize>
#include <QVideoFrame>

struct SwsContext;

namespace pa::host {

class FramePicture
{
public:
    FramePicture() = default;
    ~FramePicture();
    FramePicture(const FramePicture &) = delete;
    FramePicture &operator=(const FramePicture &) = delete;

    // The picture of frame at size (RGB32), or a null one for a frame it cannot read (not in
    // memory, or in a layout it does not know), which is then left to QVideoFrame::toImage.
    // One thread at a time.
    QImage make(const QVideoFrame &frame, const QSize &size);

private:
    // Kept from frame to frame of a clip: made again only when the sizes or the layout change.
    SwsContext *m_context = nullptr;
};

} // namespace pa::host
