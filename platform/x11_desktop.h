#pragma once
// Xlib helpers behind the desktop services. They open their own connection to
// the X server named by $DISPLAY, so they work whatever Qt platform runs, and
// they fail quietly (false) when there is no X server.
#include <cstdint>

namespace lv::x11 {

bool available();

// The size of the default screen in pixels.
bool screen_size(int* width, int* height);

// Whether `window` exists; its size when it does.
bool window_size(std::uint64_t window, int* width, int* height);

// Maps `window` again, on top, when it exists but is unmapped (any client
// can unmap any window); true when it had to.
bool map_raised_if_unmapped(std::uint64_t window);

// Makes `pixels` (width x height, 0xAARRGGBB, rows top to bottom) the root
// window's background. The pixmap outlives our connection and is published
// through _XROOTPMAP_ID and ESETROOT_PMAP_ID, where compositors and
// transparent terminals look for it; the pixmap an earlier setter left behind
// in the same way is freed.
bool set_root_background(const std::uint32_t* pixels, int width, int height);

// The X server's own screen saver: hold it off (timer to 0, suspended) and
// give back exactly the settings it had.
bool hold_screensaver_off();
void release_screensaver();

}  // namespace lv::x11
