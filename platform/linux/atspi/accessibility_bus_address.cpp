#include "platform/linux/atspi/accessibility_bus_address.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

#include "platform/linux/x11/x_connection.h"

namespace kelvane::platform::atspi {

namespace {

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

}  // namespace

BusAddressLookup prepareAccessibilityBusAddress() {
    // The same conditions under which libatspi would go to the X server.
    if (isSet("AT_SPI_BUS_ADDRESS") || !isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")) return BusAddressLookup::done;
    try {
        const x11::XConnection x;
        const xcb_atom_t property = x.internAtoms({"AT_SPI_BUS"}).front();
        if (property == XCB_ATOM_NONE) return BusAddressLookup::done;
        const auto reply = x.reply<xcb_get_property_reply_t>(
            xcb_get_property(x.get(), 0, x.root(), property, XCB_ATOM_STRING, 0, 1024));
        if (reply && reply->format == 8 && xcb_get_property_value_length(reply.get()) > 0) {
            const std::string address(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                      static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
            ::setenv("AT_SPI_BUS_ADDRESS", address.c_str(), 1);
        }
        return BusAddressLookup::done;
    } catch (const x11::XServerSilentError&) {
        return BusAddressLookup::displaySilent;
    } catch (const x11::XConnectionError&) {
        // No server there: libatspi's own attempt fails at once as well.
        return BusAddressLookup::done;
    }
}

}  // namespace kelvane::platform::atspi
