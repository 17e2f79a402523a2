#pragma once
// The open slideshow: one custom and one simple slideshow live in memory at a
// time, shared by the editors, the player, the loaders and the savers.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lv {

constexpr int max_folders = 100;          // entries per simple-slideshow folder list
constexpr const char* gradient_background = "Gradient Background";

// One sequence's settings, in file order. Used to hand a whole sequence
// around; the document itself keeps them column-wise (sequence_columns).
struct sequence_record {
    std::string image_file;
    int display_position = 0;
    int display_effect = 0;
    int effect_speed = 0;
    int effect_grain = 0;
    int display_time = 0;
    std::string notes;
    std::string caption_text;
    int caption_position = 0;
    int caption_effect = 0;
    int caption_speed = 0;
    int caption_grain = 0;
    std::string caption_font_name;
    int caption_font_size = 0;
    int caption_bold = 0;
    int caption_italic = 0;
    int caption_style = 0;
    int caption_shadow_size = 0;
    std::int32_t caption_color = 0;           // 0x00BBGGRR
    int caption_color_scheme = 0;
    std::string audio_file;
    int audio_mode = 0;
    std::string background_file;
    int background_placement = 0;
    int background_effect = 0;
    int background_speed = 0;
    int background_grain = 0;
    std::int32_t transparent_color = 0;       // 0 none, else colour + 1
};

// The 28 parallel columns; entry 0 is never used, sequence i is entry i.
struct sequence_columns {
    std::vector<std::string> image_file;
    std::vector<int> display_position;
    std::vector<int> display_effect;
    std::vector<int> effect_speed;
    std::vector<int> effect_grain;
    std::vector<int> display_time;
    std::vector<std::string> notes;
    std::vector<std::string> caption_text;
    std::vector<int> caption_position;
    std::vector<int> caption_effect;
    std::vector<int> caption_speed;
    std::vector<int> caption_grain;
    std::vector<std::string> caption_font_name;
    std::vector<int> caption_font_size;
    std::vector<int> caption_bold;
    std::vector<int> caption_italic;
    std::vector<int> caption_style;
    std::vector<int> caption_shadow_size;
    std::vector<std::int32_t> caption_color;
    std::vector<int> caption_color_scheme;
    std::vector<std::string> audio_file;
    std::vector<int> audio_mode;
    std::vector<std::string> background_file;
    std::vector<int> background_placement;
    std::vector<int> background_effect;
    std::vector<int> background_speed;
    std::vector<int> background_grain;
    std::vector<std::int32_t> transparent_color;

    // Sequence i as one record / written from one record (1 <= i < size()).
    sequence_record get(int i) const;
    void set(int i, const sequence_record& r);
    std::size_t size() const { return image_file.size(); }
};

struct border_record {
    int border_off = 1;
    int border_inner_color_1 = 8;
    int border_inner_color_2 = 15;
    int border_inner_style = 1;
    int border_inner_width = 3;
    int border_outer_color_1 = 8;
    int border_outer_color_2 = 15;
    int border_outer_style = 2;
    int border_outer_width = 4;
    int border_middle_color = 1;
    int border_middle_width = 2;
};

struct caption_settings_record {
    int caption_settings_bold = 1;
    int caption_settings_italic = 0;
    int caption_settings_font_size = 16;
    std::string caption_settings_font_name = "Arial";
    int caption_settings_style = 7;
    int caption_settings_shadow_size = 3;
    std::int32_t caption_settings_color = 0xFFFFFF;
    int caption_settings_color_scheme = 0;
};

struct slideshow_document {
    // custom slideshow
    std::string custom_name;
    sequence_columns sequences;
    int image_count = 0;
    std::vector<std::string> music_files{std::string()};   // 0 To music_count
    int music_count = 0;

    // shared by both kinds
    border_record border;
    int border_use_defaults = 1;
    int cd_track = 0;

    // simple slideshow
    std::string random_name;
    int random_effect_speed = 1;        // 0 slow, 1 normal, 2 fast
    int random_show_file_names = 1;
    int random_image_delay = 10;
    int random_display_position = 1;
    caption_settings_record caption_settings;
    std::string caption_sample_text = "Sample Text";
    // [list][entry]; list 0 pictures and videos, 1 backgrounds, 2 audio; entry 0 unused
    std::array<std::array<std::string, max_folders + 1>, 3> random_folders{};
    std::array<int, 3> random_folder_counts{0, 0, 0};
};

slideshow_document& doc();

// Resizes every column to 0..n keeping what remains in range; new entries are
// empty. image_count is the caller's. Yields once.
void redim_slides(int n);
// The same for music_files.
void redim_music(int n);
void new_custom_defaults();
void new_random_defaults();

// Gives sequence i the caption look of a caption settings record.
void apply_caption_settings(sequence_columns& s, std::size_t i, const caption_settings_record& cs);

// The defaults the image picker gives a newly added sequence.
sequence_record default_sequence(const std::string& image_file);

}  // namespace lv
