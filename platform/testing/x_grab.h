#pragma once

// What an X server shows in a rectangle of its root window, read back with GetImage: the
// pixels the audience would see, whichever program drew them. Needs xcb; 24-bit depth only
// (as the test desktops are).

#include <QImage>
#include <QRect>
#include <QString>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace platform::testing {

// A null image when the server cannot be reached or does not hand the pixels over.
inline QImage grabX(const QString &display, const QRect &rect)
{
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
    QImage image;
    if (xcb_connection_has_error(connection) == 0) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
            xcb_screen_next(&screens);
        }
        const auto cookie = xcb_get_image(
            connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screens.data->root,
            static_cast<int16_t>(rect.x()), static_cast<int16_t>(rect.y()),
            static_cast<uint16_t>(rect.width()), static_cast<uint16_t>(rect.height()), ~0u);
        xcb_get_image_reply_t *reply = xcb_get_image_reply(connection, cookie, nullptr);
        const qsizetype bytes = qsizetype(rect.width()) * rect.height() * 4;
        if (reply != nullptr && reply->depth == 24 && xcb_get_image_data_length(reply) >= bytes) {
            image = QImage(rect.size(), QImage::Format_RGB32);
            std::memcpy(image.bits(), xcb_get_image_data(reply), static_cast<size_t>(bytes));
        }
        std::free(reply);
    }
    xcb_disconnect(connection);
    return image;
}

} // namespace platform::testing
