#pragma once
// Where libatspi finds the accessibility bus. Left to itself it reads the address off
// the X root window through Xlib, which waits for the X server without any limit; the
// address is read here over the bounded X connection instead and handed to it in
// AT_SPI_BUS_ADDRESS, which it looks at first.
namespace kelvane::platform::atspi {

enum class BusAddressLookup {
    done,          // the address is set, or X has none and libatspi will ask the session bus
    displaySilent  // the X server does not answer; libatspi must not be started now
};

BusAddressLookup prepareAccessibilityBusAddress();

}  // namespace kelvane::platform::atspi
