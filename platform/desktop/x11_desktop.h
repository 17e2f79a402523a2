#pragma once
// Xlib helpers behind the desktop services. They open their own connection to
// the X server named by $DISPLAY, so they work whatever Qt platform runs, and
// they fail quietly (false) when there is no X server.
#include <cstdint>
#include <vector>

struct _XDisplay;   // Xlib's Display

namespace lv::x11 {

bool available();

// The size of the default screen in pixels.
bool screen_size(int* width, int* height);

// Whether `window` exists; its size when it does.
bool window_size(std::uint64_t window, int* width, int* height);

// Keeps one window over the whole screen although any X client can move,
// resize, reparent, unmap, lower or cover it, or a window manager put it on
// one virtual desktop of several; and keeps the keyboard with it. It listens
// on a connection of its own, so what the toolkit selects on the window is
// neither changed nor relied on.
class screen_cover {
public:
    explicit screen_cover(std::uint64_t window);
    ~screen_cover();
    screen_cover(const screen_cover&) = delete;
    screen_cover& operator=(const screen_cover&) = delete;

    // Readable when the X server has reported something; -1 without one.
    int fd() const;
    // Takes in everything reported so far; true when any of it may have
    // uncovered the screen or taken the keyboard away. Events a window
    // manager sends on its own (answers to requests it refused) are not:
    // acting on them would ask the same again in an endless loop. With
    // `map_again` an unmapping of the window is answered with a map at once,
    // before restore() looks.
    bool take_events(bool map_again = false);
    // Whether reports were read from the connection (by restore()'s round
    // trips) but not yet taken in: fd() then no longer tells of them.
    bool events_waiting() const;
    // Puts the window back over the whole screen when it does not cover it
    // (mapped, at the screen's place and size as the root sees it, nothing
    // over it but the `over` windows, and on every desktop): out of a window
    // it was reparented into, back to 0, 0 at the screen's size, mapped and
    // raised, with the `over` windows raised over it again in their order. A
    // window manager's frame is left alone and the manager is asked instead,
    // as any client asks, unless `may_ask` is false (held_back). The keyboard
    // also comes back to `focus` when none of these windows has it; under a
    // window manager that counts as a request (asked, or held_back).
    enum class action { none, put_back, asked, held_back };
    // Gives the keyboard to `focus` (the window or one of ours) now, as any
    // client may for its own window; returns once the X server has done it.
    void take_keyboard(std::uint64_t focus);
    action restore(const std::vector<std::uint64_t>& over, std::uint64_t focus, bool may_ask = true);

private:
    ::_XDisplay* display_ = nullptr;
    std::uint64_t window_ = 0;
};

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
