#include "core/startup.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/caption_schemes.h"
#include "core/document.h"
#include "core/effects.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "core/text_file.h"

namespace lv {

namespace fs = std::filesystem;

namespace {

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    return folder;
}

bool ends_with_lmv(const std::string& name) {
    if (name.size() < 3) return false;
    auto up = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    std::size_t n = name.size();
    return up(name[n - 3]) == 'L' && up(name[n - 2]) == 'M' && up(name[n - 1]) == 'V';
}

// The data folder is created when missing; when it cannot be (no write
// access, a file of that name), the start goes on and the loaders report the
// missing files later.
void ensure_data_folder(const std::string& data_folder) {
    std::error_code ec;
    fs::path path(data_folder);
    if (fs::is_directory(path, ec)) return;
    fs::create_directories(path, ec);
}

}  // namespace

std::string make_version_caption(int major, int minor, int revision) {
    return "Lumivane - v." + std::to_string(major) + "." + std::to_string(minor) + "." +
           std::to_string(revision);
}

startup_hooks& startup() {
    static startup_hooks h;
    return h;
}

std::string get_windows_dir() {
    std::string dir = startup().windows_dir ? startup().windows_dir() : std::string("./");
    return with_slash(dir);
}

void init_program() {
    auto& p = program();
    auto& r = run();

    std::string folder = startup().executable_folder ? startup().executable_folder() : std::string();
    p.program_folder = with_slash(folder);
    p.last_music_folder = p.program_folder;
    p.last_folder = p.program_folder;
    p.last_sound_folder = p.program_folder;
    p.last_random_folders[0] = p.last_folder;
    p.last_random_folders[1] = p.last_folder;
    p.last_random_folders[2] = p.last_sound_folder;

    r.start_image = 0;
    r.screensaver_slideshow_path.clear();
    r.show_origin = 0;

    reset_effect_table();
    init_caption_schemes();
    new_random_defaults();
    new_custom_defaults();

    p.windows_dir = get_windows_dir();
    p.data_folder = p.windows_dir + "Lumivane Data/";
    ensure_data_folder(p.data_folder);
    // Saves and the log write through temporary files; a process killed
    // mid-write leaves one behind, hidden, as large as the show it saved.
    const auto file_clock_now = fs::file_time_type::clock::now();
    remove_stale_temp_files(p.data_folder, file_clock_now);
    // A show linked into the data folder is saved beside its own file.
    for (const std::string& folder : folders_linked_from(p.data_folder)) remove_stale_temp_files(folder, file_clock_now);
    remove_stale_temp_files(p.windows_dir, file_clock_now);
    if (startup().remove_stale_config_files) startup().remove_stale_config_files(file_clock_now);

    r.running_as_screensaver = 0;

    screen_facts sf = screen();
    p.twips_per_pixel_x = sf.twips_per_pixel_x > 0 ? sf.twips_per_pixel_x : 15;
    p.twips_per_pixel_y = sf.twips_per_pixel_y > 0 ? sf.twips_per_pixel_y : 15;

    p.print_image_settings = 1;
    p.print_background_settings = 1;
    p.print_caption_settings = 1;
    p.print_audio_settings = 1;
    p.print_cancelled = 0;

    load_settings();
}

int choose_screensaver_slideshow() {
    auto& r = run();
    r.screensaver_slideshow_path.clear();
    const std::string& folder = program().data_folder;

    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return 1;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return 1;
        std::string name = it->path().filename().string();
        std::error_code type_ec;
        // Ordinary files only: no folders, no hidden files.
        bool ordinary = it->is_regular_file(type_ec) && !type_ec && !name.empty() && name[0] != '.';
        if (ordinary && ends_with_lmv(name)) {
            if (static_cast<int>(names.size()) == max_screensaver_files) return 1;
            names.push_back(name);
        }
        yield_events();
    }
    if (ec) return 1;
    if (names.empty()) return 1;

    const std::string& active = settings().active_slideshow;
    int k = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == active) k = static_cast<int>(i) + 1;
    }
    if (k > 0 && settings().screen_saver_type == 0) {
        r.screensaver_slideshow_path = folder + names[static_cast<std::size_t>(k - 1)];
        return 0;
    }
    auto count = static_cast<int>(names.size());
    int i = static_cast<int>(std::floor(count * rnd()));
    if (i >= count) i = count - 1;
    r.screensaver_slideshow_path = folder + names[static_cast<std::size_t>(i)];
    return 0;
}

}  // namespace lv
