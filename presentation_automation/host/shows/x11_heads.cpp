#include "presentation_automation/host/shows/x11_heads.h"

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xinerama.h>

#include <cstdlib>

namespace pa::host {

std::vector<QRect> xineramaHeads()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    auto *x11 =
        app != nullptr ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return {};
    }
    xcb_connection_t *connection = x11->connection();
    std::vector<QRect> heads;
    auto *active =
        xcb_xinerama_is_active_reply(connection, xcb_xinerama_is_active(connection), nullptr);
    const bool on = active != nullptr && active->state != 0;
    std::free(active);
    if (!on) {
        return heads;
    }
    auto *reply = xcb_xinerama_query_screens_reply(connection,
                                                   xcb_xinerama_query_screens(connection), nullptr);
    if (reply == nullptr) {
        return heads;
    }
    const xcb_xinerama_screen_info_t *info = xcb_xinerama_query_screens_screen_info(reply);
    const int count = xcb_xinerama_query_screens_screen_info_length(reply);
    for (int i = 0; i < count; ++i) {
        heads.emplace_back(info[i].x_org, info[i].y_org, info[i].width, info[i].height);
    }
    std::free(reply);
    return heads;
}

} // namespace pa::host
