#pragma once
// The last screen of a show as the desktop wallpaper.
#include <string>

class QImage;

namespace lv {

// windows_dir + "Lumivane.bmp".
std::string wallpaper_path();

// Writes image as a Windows bitmap to path without ever leaving a partial
// file there: the bytes go to a temporary file in the same folder, which
// replaces path only once it is complete. False on any failure (the old
// file, if any, is then untouched).
bool write_bitmap_file(const QImage& image, const std::string& path);

// Captures the whole screen, saves it as wallpaper_path() and, only when
// that file is complete, makes it the desktop wallpaper. True when both
// worked. Our windows are redrawn right before the capture, so that a
// dialog that has just closed over the show (the password prompt) is not
// part of the picture.
bool save_wallpaper();

}  // namespace lv
