#pragma once
// Turns the simple slideshow of doc() (folder lists and options) into an
// ordinary sequence list and music list.
#include "core/file_names.h"

#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace lv {

constexpr int max_built_backgrounds = 10000;
constexpr int max_built_images = 31999;
constexpr int max_built_music = 9999;

bool is_background_type(const std::string& name);          // the 14 picture types
bool is_picture_or_video_type(const std::string& name);    // AVI, MPG and the picture types
bool is_music_type(const std::string& name);               // WAV, MID, RMI, MP3

// The names of the ordinary files in folder: no folders, no hidden files
// (".name"), subfolders not entered; sorted by name ignoring case so that a
// show comes out the same on every machine. A missing folder lists nothing;
// any other error is reported through ec.
std::vector<std::string> list_ordinary_files(const std::string& folder, std::error_code& ec);

// 0 built (at least one sequence), 1 an error while scanning or building,
// 2 built without any picture or video (image_count 0). Whatever was built
// before an error stays.
int build_random_slideshow();

// The player's variant: yields while it scans and gives up with 2 when
// time_to_end becomes 1; calls show_loading_label (may be empty) once, right
// after the 501st sequence. 0 built, 1 failed or no picture or video found.
int c_create_random_slideshow(const std::function<void()>& show_loading_label);

}  // namespace lv
