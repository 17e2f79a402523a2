#include "platform/x11_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>

#include <bit>
#include <cstdlib>

namespace lv::x11 {

namespace {

// Connection kept for the whole run: the screen-saver suspension lasts only
// as long as the connection that asked for it.
Display* shared_display() {
    static Display* d = XOpenDisplay(nullptr);
    return d;
}

int trapped_errors = 0;
int count_error(Display*, XErrorEvent*) {
    ++trapped_errors;
    return 0;
}

// Requests inside its lifetime may fail (a window that is gone, a pixmap
// already freed) without Xlib's default handler ending the process.
class error_trap {
public:
    explicit error_trap(Display* d) : d_(d) {
        XSync(d_, False);
        trapped_errors = 0;
        old_ = XSetErrorHandler(count_error);
    }
    ~error_trap() {
        XSync(d_, False);
        XSetErrorHandler(old_);
    }
    bool failed() {
        XSync(d_, False);
        return trapped_errors != 0;
    }

private:
    Display* d_;
    int (*old_)(Display*, XErrorEvent*) = nullptr;
};

bool read_pixmap_property(Display* d, Window root, Atom prop, Pixmap* out) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool ok = false;
    if (XGetWindowProperty(d, root, prop, 0, 1, False, XA_PIXMAP, &type, &format, &count, &after,
                           &data) == Success &&
        type == XA_PIXMAP && format == 32 && count == 1 && data) {
        *out = *reinterpret_cast<Pixmap*>(data);
        ok = true;
    }
    if (data) XFree(data);
    return ok;
}

// Scales an 8-bit channel into the bits of a visual's colour mask.
unsigned long to_mask(unsigned value, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const unsigned long max = mask >> shift;
    return ((value * max + 127) / 255) << shift;
}

struct saved_saver {
    bool held = false, suspended = false;
    int timeout = 0, interval = 0, prefer_blanking = 0, allow_exposures = 0;
};
saved_saver& saver() {
    static saved_saver s;
    return s;
}

}  // namespace

bool available() { return shared_display() != nullptr; }

bool screen_size(int* width, int* height) {
    Display* d = shared_display();
    if (!d) return false;
    const int scr = DefaultScreen(d);
    *width = DisplayWidth(d, scr);
    *height = DisplayHeight(d, scr);
    return true;
}

bool window_size(std::uint64_t window, int* width, int* height) {
    Display* d = shared_display();
    if (!d || window == 0) return false;
    XWindowAttributes attrs{};
    error_trap trap(d);
    const Status ok = XGetWindowAttributes(d, static_cast<Window>(window), &attrs);
    if (trap.failed() || !ok) return false;
    if (width) *width = attrs.width;
    if (height) *height = attrs.height;
    return true;
}

bool map_raised_if_unmapped(std::uint64_t window) {
    Display* d = shared_display();
    if (!d || window == 0) return false;
    XWindowAttributes attrs{};
    error_trap trap(d);
    const Status ok = XGetWindowAttributes(d, static_cast<Window>(window), &attrs);
    if (trap.failed() || !ok || attrs.map_state != IsUnmapped) return false;
    XMapRaised(d, static_cast<Window>(window));
    return !trap.failed();
}

bool set_root_background(const std::uint32_t* pixels, int width, int height) {
    if (!pixels || width <= 0 || height <= 0) return false;
    // A connection of its own: what it leaves behind is kept when it closes.
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const int scr = DefaultScreen(d);
    const Window root = RootWindow(d, scr);
    const int depth = DefaultDepth(d, scr);
    Visual* visual = DefaultVisual(d, scr);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
        XCloseDisplay(d);
        return false;
    }

    XImage* image = XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image) {
        XCloseDisplay(d);
        return false;
    }
    image->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) *
                                                 static_cast<std::size_t>(height)));
    if (!image->data) {
        XDestroyImage(image);
        XCloseDisplay(d);
        return false;
    }
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            XPutPixel(image, x, y,
                      to_mask((p >> 16) & 0xFF, visual->red_mask) |
                          to_mask((p >> 8) & 0xFF, visual->green_mask) |
                          to_mask(p & 0xFF, visual->blue_mask));
        }
    }
    const Pixmap pixmap = XCreatePixmap(d, root, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), static_cast<unsigned>(depth));
    GC gc = XCreateGC(d, pixmap, 0, nullptr);
    XPutImage(d, pixmap, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XFreeGC(d, gc);
    XDestroyImage(image);

    const Atom xroot = XInternAtom(d, "_XROOTPMAP_ID", False);
    const Atom esetroot = XInternAtom(d, "ESETROOT_PMAP_ID", False);
    {
        // The convention among root setters: when both properties name the
        // same pixmap, its owner kept it only for the desktop and it may go.
        Pixmap old_x = 0, old_e = 0;
        if (read_pixmap_property(d, root, xroot, &old_x) &&
            read_pixmap_property(d, root, esetroot, &old_e) && old_x == old_e && old_x != 0) {
            error_trap trap(d);
            XKillClient(d, old_x);
        }
    }
    XChangeProperty(d, root, xroot, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pixmap), 1);
    XChangeProperty(d, root, esetroot, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pixmap), 1);
    XSetWindowBackgroundPixmap(d, root, pixmap);
    XClearWindow(d, root);
    XSetCloseDownMode(d, RetainPermanent);
    XSync(d, False);
    XCloseDisplay(d);
    return true;
}

bool hold_screensaver_off() {
    saved_saver& s = saver();
    if (s.held) return true;
    Display* d = shared_display();
    if (!d) return false;
    XGetScreenSaver(d, &s.timeout, &s.interval, &s.prefer_blanking, &s.allow_exposures);
    XSetScreenSaver(d, 0, s.interval, s.prefer_blanking, s.allow_exposures);
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    s.suspended = false;
    if (XScreenSaverQueryExtension(d, &event_base, &error_base) &&
        XScreenSaverQueryVersion(d, &major, &minor) && (major > 1 || (major == 1 && minor >= 1))) {
        XScreenSaverSuspend(d, True);
        s.suspended = true;
    }
    // Wait until the server has applied it: other clients (the desktop, a
    // test) must see the new state as soon as we return.
    XSync(d, False);
    s.held = true;
    // The timer setting outlives our connection. Qt ends the process with
    // exit() when its own connection is killed (xkill, xdotool windowkill);
    // give the setting back then too.
    static const bool at_exit = std::atexit([] {
        // The server itself may be gone; Xlib would then call exit() again.
        XSetIOErrorHandler([](Display*) -> int { std::_Exit(1); });
        release_screensaver();
    }) == 0;
    (void)at_exit;
    return true;
}

void release_screensaver() {
    saved_saver& s = saver();
    if (!s.held) return;
    Display* d = shared_display();
    if (!d) return;
    if (s.suspended) XScreenSaverSuspend(d, False);
    XSetScreenSaver(d, s.timeout, s.interval, s.prefer_blanking, s.allow_exposures);
    XSync(d, False);
    s = saved_saver{};
}

}  // namespace lv::x11
