#include "presentation_automation/host/shows/frame_picture.h"

#include <QVideoFrameFormat>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace pa::host {

namespace {

struct Layout
{
    AVPixelFormat format;
    // YV12 is I420 with its chroma planes the other way round.
    bool chromaSwapped = false;
};

// The layouts decoders hand over that libswscale reads as they are; others go to Qt.
std::optional<Layout> layoutOf(QVideoFrameFormat::PixelFormat format)
{
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
        return Layout{AV_PIX_FMT_YUV420P};
    case QVideoFrameFormat::Format_YV12:
        return Layout{AV_PIX_FMT_YUV420P, true};
    case QVideoFrameFormat::Format_NV12:
        return Layout{AV_PIX_FMT_NV12};
    case QVideoFrameFormat::Format_NV21:
        return Layout{AV_PIX_FMT_NV21};
    case QVideoFrameFormat::Format_UYVY:
        return Layout{AV_PIX_FMT_UYVY422};
    case QVideoFrameFormat::Format_YUYV:
        return Layout{AV_PIX_FMT_YUYV422};
    // Camera and editing footage: 4:2:2 and 10-bit clips.
    case QVideoFrameFormat::Format_YUV422P:
        return Layout{AV_PIX_FMT_YUV422P};
    case QVideoFrameFormat::Format_YUV420P10:
        return Layout{AV_PIX_FMT_YUV420P10LE};
    case QVideoFrameFormat::Format_P010:
        return Layout{AV_PIX_FMT_P010LE};
    case QVideoFrameFormat::Format_P016:
        return Layout{AV_PIX_FMT_P016LE};
    default:
        return std::nullopt;
    }
}

// The colours the clip's format says it has: one that does not say is BT.709 when HD, BT.601
// otherwise; Adobe RGB stands for JPEG's full-range BT.601.
std::pair<int, bool> coloursOf(const QVideoFrameFormat &format)
{
    const bool full = format.colorRange() == QVideoFrameFormat::ColorRange_Full;
    switch (format.colorSpace()) {
    case QVideoFrameFormat::ColorSpace_BT601:
        return {SWS_CS_ITU601, full};
    case QVideoFrameFormat::ColorSpace_BT2020:
        return {SWS_CS_BT2020, full};
    case QVideoFrameFormat::ColorSpace_AdobeRgb:
        return {SWS_CS_ITU601, true};
    case QVideoFrameFormat::ColorSpace_Undefined:
        return {format.frameHeight() > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601, full};
    default:
        return {SWS_CS_ITU709, full};
    }
}

// Whether the mapped planes hold what the layout reads at this size: a buffer whose lines or
// planes are shorter (as Qt's own allocation of a 10-bit frame is) would be read past.
bool planesHold(const QVideoFrame &mapped, AVPixelFormat format, int width, int height)
{
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    std::array<int, 4> least = {};
    if (!descriptor || av_image_fill_linesizes(least.data(), format, width) < 0) {
        return false;
    }
    const int planes = av_pix_fmt_count_planes(format);
    if (mapped.planeCount() < planes) {
        return false;
    }
    for (int i = 0; i < planes; ++i) {
        const int lines = i == 0 ? height : AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h);
        const std::int64_t stride = mapped.bytesPerLine(i);
        if (mapped.bits(i) == nullptr || stride < least[i] ||
            stride * (lines - 1) + least[i] > mapped.mappedBytes(i)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool FramePicture::reads(QVideoFrameFormat::PixelFormat format)
{
    return layoutOf(format).has_value();
}

FramePicture::~FramePicture()
{
    sws_freeContext(m_context);
}

QImage FramePicture::make(const QVideoFrame &frame, const QSize &size)
{
    const std::optional<Layout> layout = layoutOf(frame.pixelFormat());
    if (!layout || size.isEmpty() || frame.size().isEmpty()) {
        return {};
    }
    QVideoFrame mapped = frame;
    if (!mapped.map(QVideoFrame::ReadOnly)) {
        return {};
    }
    const int width = frame.width();
    const int height = frame.height();
    if (!planesHold(mapped, layout->format, width, height)) {
        mapped.unmap();
        return {};
    }
    // Bilinear over the source's footprint: a 4K frame becomes 1080p from all its pixels.
    SwsContext *context =
        sws_getCachedContext(m_context, width, height, layout->format, size.width(), size.height(),
                             AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!context) {
        // The old one is gone with the call.
        m_context = nullptr;
        mapped.unmap();
        return {};
    }
    m_context = context;
    // Set on every frame: a context made again starts from BT.601 at video range.
    const auto [colourSpace, fullRange] = coloursOf(frame.surfaceFormat());
    sws_setColorspaceDetails(context, sws_getCoefficients(colourSpace), fullRange ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    std::array<const uint8_t *, 4> planes = {};
    std::array<int, 4> strides = {};
    for (int i = 0; i < mapped.planeCount() && i < int(planes.size()); ++i) {
        planes[i] = mapped.bits(i);
        strides[i] = mapped.bytesPerLine(i);
    }
    if (layout->chromaSwapped) {
        std::swap(planes[1], planes[2]);
        std::swap(strides[1], strides[2]);
    }
    QImage picture(size, QImage::Format_RGB32);
    if (picture.isNull()) {
        mapped.unmap();
        return {};
    }
    uint8_t *const out[4] = {picture.bits(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {int(picture.bytesPerLine()), 0, 0, 0};
    const int made = sws_scale(context, planes.data(), strides.data(), 0, height, out, outStrides);
    mapped.unmap();
    return made == size.height() ? picture : QImage();
}

} // namespace pa::host
