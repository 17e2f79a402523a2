#include "platform/desktop/x11_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>

#include <algorithm>
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

namespace {

struct area {
    long x = 0, y = 0, w = 0, h = 0;
    bool contains(const area& o) const {
        return x <= o.x && y <= o.y && x + w >= o.x + o.w && y + h >= o.y + o.h;
    }
    bool meets(const area& o) const {
        return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
    }
    area clipped(const area& o) const {
        const long l = std::max(x, o.x), t = std::max(y, o.y);
        const long r = std::min(x + w, o.x + o.w), b = std::min(y + h, o.y + o.h);
        return {l, t, std::max(0L, r - l), std::max(0L, b - t)};
    }
};

// The windows from `w` up to its ancestor that is a child of the root.
bool chain_to_root(Display* d, Window w, Window root, std::vector<Window>* chain) {
    for (int depth = 0; depth < 64; ++depth) {
        Window r = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, w, &r, &parent, &kids, &n)) return false;
        if (kids) XFree(kids);
        chain->push_back(w);
        if (parent == root) return true;
        if (parent == 0) return false;
        w = parent;
    }
    return false;
}

// The window on every virtual desktop, so that switching desktops (a
// pager's click) never shows one without it. The property is what a window
// manager reads when it takes a window on (and drops when the window is
// withdrawn); the message is how a client asks about a window it manages.
void ask_every_desktop(Display* d, Window win) {
    const Atom desktop = XInternAtom(d, "_NET_WM_DESKTOP", False);
    const long all = 0xFFFFFFFFL;
    XChangeProperty(d, win, desktop, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&all),
                    1);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = win;
    ev.xclient.message_type = desktop;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = all;
    ev.xclient.data.l[1] = 1;   // from an application
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

// One CARDINAL of a window's property; fallback when it has none.
unsigned long cardinal_of(Display* d, Window win, const char* property, unsigned long fallback) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    unsigned long value = fallback;
    if (XGetWindowProperty(d, win, XInternAtom(d, property, False), 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        type == XA_CARDINAL && format == 32 && count == 1 && data)
        value = *reinterpret_cast<unsigned long*>(data) & 0xFFFFFFFFUL;
    if (data) XFree(data);
    return value;
}

// Whether a window manager shows the window on the desktop now shown: it is
// on every desktop, or on that one. True when the manager keeps no desktops.
// A manager that will not put it on every desktop is not asked again and
// again while the window is on the one in view.
bool on_shown_desktop(Display* d, Window win) {
    const unsigned long all = 0xFFFFFFFFUL, on = cardinal_of(d, win, "_NET_WM_DESKTOP", all);
    return on == all || on == cardinal_of(d, DefaultRootWindow(d), "_NET_CURRENT_DESKTOP", on);
}

}  // namespace

screen_cover::screen_cover(std::uint64_t window) : window_(window) {
    display_ = XOpenDisplay(nullptr);
    if (!display_ || window == 0) return;
    error_trap trap(display_);
    // Its own changes of place, size, parent, mapping and stacking, and
    // every window put on, moved or raised over the screen by anyone.
    // The keyboard leaving it is reported as well.
    XSelectInput(display_, static_cast<Window>(window),
                 StructureNotifyMask | VisibilityChangeMask | FocusChangeMask);
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    ask_every_desktop(display_, static_cast<Window>(window));
    // Whatever the server shows again before the toolkit repaints (after a
    // map, a move back or a resize) is black, never what lay underneath.
    XSetWindowBackground(display_, static_cast<Window>(window), BlackPixel(display_, DefaultScreen(display_)));
}

screen_cover::~screen_cover() {
    if (display_) XCloseDisplay(display_);
}

int screen_cover::fd() const { return display_ ? ConnectionNumber(display_) : -1; }

bool screen_cover::take_events(bool map_again) {
    if (!display_) return false;
    const Window win = static_cast<Window>(window_);
    bool any = false, unmapped = false;
    auto drain = [&] {
        while (XPending(display_) > 0) {
            XEvent ev;
            XNextEvent(display_, &ev);
            if (ev.xany.send_event) continue;
            // Only the keyboard going elsewhere matters, not a grab's
            // passing hold on it nor its move into one of our own windows.
            if (ev.type == FocusIn) continue;
            if (ev.type == FocusOut && (ev.xfocus.mode == NotifyGrab || ev.xfocus.mode == NotifyUngrab ||
                                        ev.xfocus.detail == NotifyInferior))
                continue;
            any = true;
            if (ev.type == UnmapNotify && ev.xunmap.window == win) unmapped = true;
            // Mapped again, or taken into another window: a map would show
            // it there, and restore() has to take it out first.
            if ((ev.type == MapNotify && ev.xmap.window == win) ||
                (ev.type == ReparentNotify && ev.xreparent.window == win))
                unmapped = false;
        }
    };
    drain();
    if (map_again && unmapped) {
        // An unmap may be the first half of a reparenting whose report has
        // not been read yet: mapping then (inside a window manager's frame
        // on its way out) can lose the window altogether.
        XSync(display_, False);
        drain();
    }
    if (map_again && unmapped) {
        // Before anything else is looked at: a window manager that sees the
        // unmap lets the window go (a slow round of its own), and the
        // request to manage it again is then already waiting for it.
        ask_every_desktop(display_, win);
        XMapWindow(display_, win);
        XFlush(display_);
    }
    return any;
}

bool screen_cover::events_waiting() const { return display_ && XEventsQueued(display_, QueuedAlready) > 0; }

void screen_cover::take_keyboard(std::uint64_t focus) {
    if (!display_ || focus == 0) return;
    error_trap trap(display_);
    XSetInputFocus(display_, static_cast<Window>(focus), RevertToParent, CurrentTime);
}

screen_cover::action screen_cover::restore(const std::vector<std::uint64_t>& over, std::uint64_t focus,
                                           bool may_ask) {
    Display* d = display_;
    if (!d || window_ == 0) return action::none;
    const Window win = static_cast<Window>(window_);
    const int scr = DefaultScreen(d);
    const Window root = RootWindow(d, scr);
    error_trap trap(d);
    // The root's own size: the display's may have changed since we connected.
    XWindowAttributes ra{};
    if (!XGetWindowAttributes(d, root, &ra)) return action::none;
    const area screen{0, 0, ra.width, ra.height};

    XWindowAttributes wa{};
    std::vector<Window> chain;
    if (!XGetWindowAttributes(d, win, &wa) || !chain_to_root(d, win, root, &chain)) return action::none;
    // What of it shows: each window up the chain clips what it holds.
    area seen{-1000000, -1000000, 3000000, 3000000};
    bool framed = true;   // every window it sits in redirects its children's requests
    for (std::size_t i = 0; i < chain.size(); ++i) {
        XWindowAttributes a{};
        int x = 0, y = 0;
        Window child = 0;
        if (!XGetWindowAttributes(d, chain[i], &a) ||
            !XTranslateCoordinates(d, chain[i], root, 0, 0, &x, &y, &child))
            return action::none;
        seen = seen.clipped({x, y, a.width, a.height});
        if (i > 0 && !(a.all_event_masks & SubstructureRedirectMask)) framed = false;
    }
    const Window top = chain.back();
    const bool managed = (ra.all_event_masks & SubstructureRedirectMask) != 0;

    // Our own windows that belong over it, by their windows on the root.
    std::vector<Window> over_tops;
    for (std::uint64_t o : over) {
        std::vector<Window> c;
        XWindowAttributes a{};
        // The keyboard leaving them is reported too.
        if (o != 0) XSelectInput(d, static_cast<Window>(o), FocusChangeMask);
        if (o != 0 && XGetWindowAttributes(d, static_cast<Window>(o), &a) && a.map_state == IsViewable &&
            chain_to_root(d, static_cast<Window>(o), root, &c) && c.back() != top)
            over_tops.push_back(c.back());
    }

    // A window manager may also have put it on another desktop than the one shown.
    bool covered = wa.map_state == IsViewable && seen.contains(screen) && (!managed || on_shown_desktop(d, win));
    if (covered) {
        Window r = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, root, &r, &parent, &kids, &n)) return action::none;
        std::size_t found = 0;   // our own windows seen over it
        bool above = false;
        for (unsigned i = 0; i < n && covered; ++i) {
            if (kids[i] == top) {
                above = true;
                continue;
            }
            const bool ours = std::find(over_tops.begin(), over_tops.end(), kids[i]) != over_tops.end();
            if (!above) {
                // Below it, our own windows would be hidden.
                if (ours) covered = false;
                continue;
            }
            if (ours) {
                ++found;
                continue;
            }
            XWindowAttributes a{};
            int x = 0, y = 0;
            Window child = 0;
            if (XGetWindowAttributes(d, kids[i], &a) && a.map_state == IsViewable && a.c_class == InputOutput &&
                XTranslateCoordinates(d, kids[i], root, 0, 0, &x, &y, &child) &&
                area{x, y, a.width + 2L * a.border_width, a.height + 2L * a.border_width}.meets(screen))
                covered = false;
        }
        if (kids) XFree(kids);
        if (found != over_tops.size()) covered = false;
    }

    action acted = action::none;
    if (!covered && managed && framed) {
        if (may_ask) {
            // The window manager holds it in its frame: ask for the whole
            // screen the way any client does, and let it decide.
            XEvent ev{};
            ev.xclient.type = ClientMessage;
            ev.xclient.window = win;
            ev.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
            ev.xclient.format = 32;
            ev.xclient.data.l[0] = 1;   // add
            ev.xclient.data.l[1] = static_cast<long>(XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False));
            ev.xclient.data.l[3] = 1;   // from an application
            XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
            ask_every_desktop(d, win);
            XMoveResizeWindow(d, win, 0, 0, static_cast<unsigned>(screen.w), static_cast<unsigned>(screen.h));
            XMapRaised(d, win);
            // Asked of the windows themselves: the manager's frames are its own.
            for (std::uint64_t o : over)
                if (o != 0) XRaiseWindow(d, static_cast<Window>(o));
            acted = action::asked;
        } else {
            acted = action::held_back;
        }
    } else if (!covered) {
        // Out of any window it was put into (with a window manager the map
        // this implies becomes a request to manage it again).
        if (chain.size() > 1) XReparentWindow(d, win, root, 0, 0);
        ask_every_desktop(d, win);
        XWindowChanges wc{};
        wc.x = 0;
        wc.y = 0;
        wc.width = static_cast<int>(screen.w);
        wc.height = static_cast<int>(screen.h);
        wc.border_width = 0;
        XConfigureWindow(d, win, CWX | CWY | CWWidth | CWHeight | CWBorderWidth, &wc);
        XMapRaised(d, win);
        for (Window o : over_tops) XRaiseWindow(d, o);
        acted = action::put_back;
    }
    if (focus != 0) {
        // A window that was unmapped or reparented lost the keyboard, and a
        // window manager gives it to windows as they come and go (and at
        // times to none, when the prompt closes): with none of ours holding
        // it, no key could ask for the password or type it.
        Window has = 0;
        int revert = 0;
        XGetInputFocus(d, &has, &revert);
        std::vector<Window> holders;
        bool ours = false;
        if (has > PointerRoot && chain_to_root(d, has, root, &holders))
            for (Window h : holders)
                ours = ours || h == win || h == static_cast<Window>(focus) ||
                       std::find(over.begin(), over.end(), static_cast<std::uint64_t>(h)) != over.end();
        if (!ours && managed && !may_ask) {
            if (acted == action::none) acted = action::held_back;
        } else if (!ours) {
            // Under a window manager taken as any client may take it for its
            // own window, and bounded as a request is: a manager that keeps
            // giving it elsewhere is not fought in an endless loop.
            XSetInputFocus(d, static_cast<Window>(focus), RevertToParent, CurrentTime);
            if (acted == action::none) acted = managed ? action::asked : action::put_back;
        }
    }
    XSync(d, False);
    return acted;
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
