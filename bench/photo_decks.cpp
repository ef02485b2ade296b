#include "photo_decks.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace bench {

namespace {

// Marker blocks in the photo's pixels (of a 4000 px wide photo); they scale with the page.
constexpr int markerSize = 400;

const QColor palette[6] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::cyan};

// A photograph's texture: soft blotches of colour under a fine grain, so that it costs what
// a photo costs to decode (a plain fill would be decoded in no time).
QImage photo(QSize size, std::uint32_t seed)
{
    std::uint32_t state = seed * 2654435761u + 1;
    const auto random = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    QImage coarse(size / 16, QImage::Format_RGB32);
    for (int y = 0; y < coarse.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(coarse.scanLine(y));
        for (int x = 0; x < coarse.width(); ++x) {
            line[x] = 0xff000000u | (random() & 0xffffffu);
        }
    }
    QImage image = coarse.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const std::uint32_t grain = random();
            const auto channel = [&](int value, int shift) {
                return std::clamp(value + static_cast<int>((grain >> shift) & 31u) - 16, 0, 255);
            };
            line[x] = qRgb(channel(qRed(line[x]), 0), channel(qGreen(line[x]), 8),
                           channel(qBlue(line[x]), 16));
        }
    }
    return image;
}

} // namespace

std::pair<QColor, QColor> pageMarkers(int page)
{
    return {palette[page % 6], palette[(page / 6) % 6]};
}

std::pair<QPoint, QPoint> markerPoints()
{
    // Block centres at 1920 px: the photo is drawn at 1920 / 4000 of its size.
    const int block = markerSize * 1920 / 4000;
    return {QPoint(block / 2, block / 2), QPoint(block + block / 2, block / 2)};
}

bool makePhotoDeck(const QString &path, int pages, int deck, QSize pixels)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    const QSizeF pageSize(960, 540);
    writer.setPageSize(QPageSize(pageSize, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    const int block = markerSize * pixels.width() / 4000;
    for (int page = 1; page <= pages; ++page) {
        if (page > 1) {
            writer.newPage();
        }
        QImage image = photo(pixels, static_cast<std::uint32_t>(deck * 1000 + page));
        {
            QPainter marks(&image);
            const auto [first, second] = pageMarkers(page);
            marks.fillRect(0, 0, block, block, first);
            marks.fillRect(block, 0, block, block, second);
        }
        painter.drawImage(QRectF(QPointF(0, 0), pageSize), image);
    }
    return painter.end();
}

VirtualDisplay::VirtualDisplay(QSize size)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty()) {
        return;
    }
    // The server writes the display number it found free to its standard output.
    m_server.start(program, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
                             QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QByteArray out;
    while (m_server.waitForReadyRead(20000)) {
        out += m_server.readAllStandardOutput();
        if (out.contains('\n')) {
            m_name = ':' + out.trimmed();
            return;
        }
    }
}

VirtualDisplay::~VirtualDisplay()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
}

ScreenProbe::ScreenProbe(const QByteArray &display)
{
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(display.constData(), &screenNumber);
    if (xcb_connection_has_error(c) != 0) {
        xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) {
        xcb_screen_next(&it);
    }
    m_connection = c;
    m_root = it.data->root;
}

ScreenProbe::~ScreenProbe()
{
    if (m_connection != nullptr) {
        xcb_disconnect(m_connection);
    }
}

std::vector<QColor> ScreenProbe::colours(const std::vector<QPoint> &points)
{
    std::vector<QColor> out;
    if (m_connection == nullptr || points.empty()) {
        return out;
    }
    int left = points.front().x(), right = left;
    for (const QPoint &p : points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
    }
    const auto width = static_cast<std::uint16_t>(right - left + 1);
    xcb_get_image_reply_t *reply = xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root,
                      static_cast<std::int16_t>(left),
                      static_cast<std::int16_t>(points.front().y()), width, 1, ~0u),
        nullptr);
    if (reply == nullptr) {
        return out;
    }
    // Depth 24 at 32 bits a pixel: blue, green, red, unused.
    const std::uint8_t *data = xcb_get_image_data(reply);
    const int length = xcb_get_image_data_length(reply);
    for (const QPoint &p : points) {
        const int at = (p.x() - left) * 4;
        out.push_back(at + 2 < length ? QColor(data[at + 2], data[at + 1], data[at]) : QColor());
    }
    std::free(reply);
    return out;
}

} // namespace bench
