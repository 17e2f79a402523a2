#pragma once
// Desktop and system services on Linux: pointer shapes, cursor visibility,
// the desktop's own screen saver, wallpaper, the stand-in for registry reads.
#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace lv {

// The busy pointer over our windows, then one yield.
void hourglass_on();
void hourglass_off();
// Centres the window on the screen (size unchanged), then one yield.
void center_form(QWidget* w);
// Cursor visibility over our windows; one call is enough whatever came before.
void cursor_show();
void cursor_hide();
bool cursor_hidden();

// The desktop's screen saver: whether it may start (true = active), and the
// "a screen saver is running" state of our own.
// Switching it off holds the desktop's screen saver (the freedesktop
// ScreenSaver service on the session bus, else the X server's own) until it
// is switched on again, which gives back exactly what was there before.
bool screensaver_active();
void set_screensaver_active(bool active);
void set_screensaver_running(bool running);
bool screensaver_running();

// Sets the desktop wallpaper from a complete picture file; false on failure.
// GNOME, KDE Plasma, Xfce and MATE (by $XDG_CURRENT_DESKTOP) through their
// own settings; any other X desktop gets the root window's background.
bool set_desktop_wallpaper(const std::string& bmp_path);

// The per-user registry stand-in. Returns "" for a missing value.
// The registry is an INI file, $XDG_CONFIG_HOME/lumivane/registry.ini: one
// section per key of the current user (e.g. [Control Panel\Desktop]), values
// as name=dword:0000000a (a number, hexadecimal) or name="text" (or bare text).
// A number reads back as at least three digits cut to three ("000", "001",
// 1234 gives "123"); text reads back whole; anything missing reads as "".
std::string read_registry_value(const std::string& key, const std::string& value_name);
std::string registry_file_path();
// Stores a number as name=dword:xxxxxxxx under [key]: an existing value of
// that name (however its section and name are spelt) is replaced where it
// stands, every other line is kept, and the file is replaced as a whole so a
// crash never leaves half of it. False when the file could not be written.
bool write_registry_dword(const std::string& key, const std::string& value_name, std::uint32_t value);

// Where the desktop's "ask for the password after the screen saver" switch
// lives; the player reads it, saving a password sets it.
inline constexpr const char* screensaver_password_key = "Control Panel\\Desktop";
inline constexpr const char* screensaver_password_value = "ScreenSaveUsePassword";

// SIGTERM, SIGINT and SIGHUP (those not ignored when we started) end the
// program promptly, after giving back the desktop's screen saver and the
// cursor exactly as a finished show does. The signal handler only writes to
// a pipe; the work runs in the message loop. Call once, after the
// application object exists.
void end_cleanly_on_termination_signals();

// Colours the display shows at once (2^depth).
std::int64_t get_color_count();

// Runs on_destroyed once, from the message loop, when the X server reports
// that the native window of w was destroyed by someone else (a window
// manager, xdotool, a crashed compositor). Does nothing off X11.
void on_native_window_destroyed(QWidget* w, std::function<void()> on_destroyed);

// --- the screen-saver preview inside a host's X11 window ---

// Whether `window` is an existing X11 window; its size when it is.
bool native_window_exists(std::uint64_t window, int* width = nullptr, int* height = nullptr);
// Puts the top-level widget `w` inside `parent` at 0, 0 and shows it there;
// false when the parent does not exist or Qt does not run on X11.
bool embed_in_native_window(QWidget* w, std::uint64_t parent);
// Takes `w` back out of its host window, hidden.
void take_back_from_native_window(QWidget* w);
// While hooked, a close request that the host sends to `picture` does not
// close it: it is taken back out of the host and `on_close` runs; every other
// event passes on. One preview at a time.
void hook_preview_window(QWidget* picture, std::function<void()> on_close);
void unhook_preview_window(QWidget* picture);

}  // namespace lv
