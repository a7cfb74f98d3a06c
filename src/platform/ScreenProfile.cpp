#include "ScreenProfile.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace quorix {

std::vector<uint8_t> ScreenColourProfile() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return {};
    xcb_connection_t* connection = x11->connection();
    const char name[] = "_ICC_PROFILE";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr), &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) return {};
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen) return {};
    // At most 16 MB: a profile is some kilobytes.
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, screen->root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 22),
                               nullptr),
        &std::free);
    if (!property || property->format != 8) return {};
    const auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(property.get()));
    return std::vector<uint8_t>(bytes, bytes + xcb_get_property_value_length(property.get()));
}

}  // namespace quorix
