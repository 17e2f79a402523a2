#pragma once
// Process-wide state other than the open document: the settings loaded from
// the store, the values start-up fixes for the whole run, and the player's
// run flags. Each lives in one named struct with one instance.
#include <array>
#include <cstdint>
#include <string>

namespace lv {

// One field per settings key, named as the key.
struct config_settings {
    std::string publisher_path;
    std::string wav_devicename = "WaveAudio";
    std::string mid_devicename = "Sequencer";
    std::string mp3_devicename = "MPEGVideo";
    std::string mpg_devicename = "MPEGVIDEO";
    std::string avi_devicename = "AVIVideo";
    std::string cda_devicename = "CDAudio";
    int cd_seektime = 1;
    int random_music = 0;
    int logging = 0;
    std::string install_path;
    // Held as text (the stored form); the options screen may put a number in.
    std::string extended_time = "18";
    std::string extended_flag = "1";
    int screen_saver_type = 0;
    std::string active_slideshow;
    int cancel_mode = 9;
    int mouse_moves_exit = 12;
    int presentation_mode = 0;
    int audio_on = 1;
    int slideshow_method = 0;
    int slideshow_random_start = 0;
    int music_launch = 1;
    int save_as_wallpaper = 0;
    int display_mode = 0;
    std::string button_position = "1";
    int ignore_background = 0;
    int auto_stop = 0;
    std::array<std::string, 13> hot_keys{};   // F1..F12 = 0..11; 12 never used
    std::string misc;                         // scrambled password as stored
    std::string screensaver_password;         // plain password, "" = none
};

config_settings& settings();

// Values fixed by start-up for the whole process.
struct program_state {
    std::string version_caption;
    std::string program_folder;               // ends in "/"
    std::string last_folder, last_music_folder, last_sound_folder;
    std::array<std::string, 3> last_random_folders{};
    std::string windows_dir;                  // ends in "/"
    std::string data_folder;                  // windows_dir + "Lumivane Data/"
    int twips_per_pixel_x = 15, twips_per_pixel_y = 15;
    int print_image_settings = 1, print_background_settings = 1;
    int print_caption_settings = 1, print_audio_settings = 1;
    int print_cancelled = 0;
    std::int32_t parent_window = 0;           // "/P" and "/A" only
};

program_state& program();

// The player's run flags and the values that start a show.
struct run_flags {
    int time_to_end = 0;
    int exit_allowed = 0;
    int password_prompt_open = 0;
    int show_finished = 0;
    int running_as_screensaver = 0;
    int power_saver_active = 0;
    int show_origin = 0;                      // 0 screen saver, 1 user, 2 editor preview
    int start_image = 0;
    std::string screensaver_slideshow_path;
};

run_flags& run();

}  // namespace lv
