#pragma once
// Desktop and system services on Linux: pointer shapes, cursor visibility,
// the desktop's own screen saver, wallpaper, the stand-in for registry reads.
#include <cstdint>
#include <string>

class QWidget;

namespace lv {

void hourglass_on();
void hourglass_off();
void center_form(QWidget* w);
// Cursor visibility over our windows; one call is enough whatever came before.
void cursor_show();
void cursor_hide();
bool cursor_hidden();

// The desktop's screen saver: whether it may start (true = active), and the
// "a screen saver is running" state of our own.
bool screensaver_active();
void set_screensaver_active(bool active);
void set_screensaver_running(bool running);

// Sets the desktop wallpaper from a complete picture file; false on failure.
bool set_desktop_wallpaper(const std::string& bmp_path);

// The per-user registry stand-in. Returns "" for a missing value.
std::string read_registry_value(const std::string& key, const std::string& value_name);

// Colours the display shows at once (2^depth).
std::int64_t get_color_count();

}  // namespace lv
