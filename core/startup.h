#pragma once
// One-time initialisation of the process and the screen saver's choice of
// slideshow. What only the desktop can tell (the program's folder, the
// per-user data directory) is injected, so tests run on a temporary folder.
#include <filesystem>
#include <functional>
#include <string>

namespace lv {

// "Lumivane - v.6.0.11".
std::string make_version_caption(int major, int minor, int revision);
inline constexpr int version_major = 6;
inline constexpr int version_minor = 0;
inline constexpr int version_revision = 11;

// The window title of the player; a second screen saver looks for it.
inline constexpr const char* player_caption = "Lumivane Multimedia Tool";

struct startup_hooks {
    // Folder of the running executable.
    std::function<std::string()> executable_folder;
    // The per-user directory that holds the data folder and the log, as the
    // platform reports it (a trailing "/" is added when missing).
    std::function<std::string()> windows_dir;
    // Removes what the settings writers left behind a minute or more before
    // now (they write outside the data folder, in files of their own kind).
    std::function<void(std::filesystem::file_time_type now)> remove_stale_config_files;
};

startup_hooks& startup();

// The windows directory, always ending in "/". The current directory ("./")
// when no hook is installed.
std::string get_windows_dir();

// Fills program(), run(), the effect table, the caption schemes and both
// empty documents, creates the data folder when missing and loads the
// settings (which may register the file type once).
void init_program();

// 0: run().screensaver_slideshow_path names the slideshow to play;
// 1: no slideshow file, or the folder could not be listed (path "").
int choose_screensaver_slideshow();

// Slideshows the screen saver chooses among; a folder holding more is not
// listed at all.
inline constexpr int max_screensaver_files = 1000;

}  // namespace lv
