#include "core/document.h"

#include "core/hooks.h"

namespace lv {

slideshow_document& doc() {
    static slideshow_document d;
    return d;
}

namespace {

// Calls f on every column of the sequence arrays, so that sizing code can
// never forget one of the 28.
template <typename F>
void for_each_column(sequence_columns& s, F&& f) {
    f(s.image_file); f(s.display_position); f(s.display_effect); f(s.effect_speed);
    f(s.effect_grain); f(s.display_time); f(s.notes); f(s.caption_text);
    f(s.caption_position); f(s.caption_effect); f(s.caption_speed); f(s.caption_grain);
    f(s.caption_font_name); f(s.caption_font_size); f(s.caption_bold); f(s.caption_italic);
    f(s.caption_style); f(s.caption_shadow_size); f(s.caption_color); f(s.caption_color_scheme);
    f(s.audio_file); f(s.audio_mode); f(s.background_file); f(s.background_placement);
    f(s.background_effect); f(s.background_speed); f(s.background_grain); f(s.transparent_color);
}

void reset_border(slideshow_document& d) {
    d.border = border_record{};   // the ten values, then border_off := 1
    d.border.border_off = 1;
    d.border_use_defaults = 1;
}

}  // namespace

sequence_record sequence_columns::get(int i) const {
    sequence_record r;
    r.image_file = image_file[i];
    r.display_position = display_position[i];
    r.display_effect = display_effect[i];
    r.effect_speed = effect_speed[i];
    r.effect_grain = effect_grain[i];
    r.display_time = display_time[i];
    r.notes = notes[i];
    r.caption_text = caption_text[i];
    r.caption_position = caption_position[i];
    r.caption_effect = caption_effect[i];
    r.caption_speed = caption_speed[i];
    r.caption_grain = caption_grain[i];
    r.caption_font_name = caption_font_name[i];
    r.caption_font_size = caption_font_size[i];
    r.caption_bold = caption_bold[i];
    r.caption_italic = caption_italic[i];
    r.caption_style = caption_style[i];
    r.caption_shadow_size = caption_shadow_size[i];
    r.caption_color = caption_color[i];
    r.caption_color_scheme = caption_color_scheme[i];
    r.audio_file = audio_file[i];
    r.audio_mode = audio_mode[i];
    r.background_file = background_file[i];
    r.background_placement = background_placement[i];
    r.background_effect = background_effect[i];
    r.background_speed = background_speed[i];
    r.background_grain = background_grain[i];
    r.transparent_color = transparent_color[i];
    return r;
}

void sequence_columns::set(int i, const sequence_record& r) {
    image_file[i] = r.image_file;
    display_position[i] = r.display_position;
    display_effect[i] = r.display_effect;
    effect_speed[i] = r.effect_speed;
    effect_grain[i] = r.effect_grain;
    display_time[i] = r.display_time;
    notes[i] = r.notes;
    caption_text[i] = r.caption_text;
    caption_position[i] = r.caption_position;
    caption_effect[i] = r.caption_effect;
    caption_speed[i] = r.caption_speed;
    caption_grain[i] = r.caption_grain;
    caption_font_name[i] = r.caption_font_name;
    caption_font_size[i] = r.caption_font_size;
    caption_bold[i] = r.caption_bold;
    caption_italic[i] = r.caption_italic;
    caption_style[i] = r.caption_style;
    caption_shadow_size[i] = r.caption_shadow_size;
    caption_color[i] = r.caption_color;
    caption_color_scheme[i] = r.caption_color_scheme;
    audio_file[i] = r.audio_file;
    audio_mode[i] = r.audio_mode;
    background_file[i] = r.background_file;
    background_placement[i] = r.background_placement;
    background_effect[i] = r.background_effect;
    background_speed[i] = r.background_speed;
    background_grain[i] = r.background_grain;
    transparent_color[i] = r.transparent_color;
}

void redim_slides(int n) {
    if (n < 0) n = 0;
    // std::vector::resize grows geometrically, so adding one sequence at a
    // time stays amortised O(1); the new entries are value-initialised.
    for_each_column(doc().sequences, [n](auto& column) {
        column.resize(static_cast<std::size_t>(n) + 1);
    });
    yield_events();
}

void redim_music(int n) {
    if (n < 0) n = 0;
    doc().music_files.resize(static_cast<std::size_t>(n) + 1);
    yield_events();
}

void new_custom_defaults() {
    auto& d = doc();
    reset_border(d);
    d.random_effect_speed = 1;
    d.cd_track = 0;
    d.music_count = 0;
    redim_music(0);
    d.image_count = 0;
    redim_slides(0);
    d.custom_name.clear();
}

void new_random_defaults() {
    auto& d = doc();
    reset_border(d);
    d.cd_track = 0;
    d.caption_sample_text = "Sample Text";
    d.caption_settings = caption_settings_record{};
    d.random_folder_counts = {0, 0, 0};
    d.random_effect_speed = 1;
    d.random_show_file_names = 1;
    d.random_image_delay = 10;
    d.random_display_position = 1;
    d.random_name.clear();
}

void apply_caption_settings(sequence_columns& s, std::size_t i, const caption_settings_record& cs) {
    s.caption_font_name[i] = cs.caption_settings_font_name;
    s.caption_font_size[i] = cs.caption_settings_font_size;
    s.caption_bold[i] = cs.caption_settings_bold;
    s.caption_italic[i] = cs.caption_settings_italic;
    s.caption_style[i] = cs.caption_settings_style;
    s.caption_shadow_size[i] = cs.caption_settings_shadow_size;
    s.caption_color[i] = cs.caption_settings_color;
    s.caption_color_scheme[i] = cs.caption_settings_color_scheme;
}

sequence_record default_sequence(const std::string& image_file) {
    sequence_record r;
    r.image_file = image_file;
    r.display_position = 1;
    r.display_time = 10;
    r.caption_position = 7;
    r.caption_font_name = "Arial";
    r.caption_font_size = 16;
    r.caption_bold = 1;
    r.caption_style = 7;
    r.caption_shadow_size = 3;
    r.caption_color = 0xFFFFFF;
    return r;
}

}  // namespace lv
