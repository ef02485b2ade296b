#include "presentation_automation/host/shows/frame_picture.h"

// Without libswscale every frame goes through QVideoFrame::toImage.

namespace pa::host {

bool FramePicture::reads(QVideoFrameFormat::PixelFormat)
{
    return false;
}

FramePicture::~FramePicture() = default;

QImage FramePicture::make(const QVideoFrame &, const QSize &)
{
    return {};
}

} // namespace pa::host
