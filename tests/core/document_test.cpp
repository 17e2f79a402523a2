#include "core/document.h"

#include <gtest/gtest.h>

#include "core/hooks.h"

namespace {

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::hooks().yield_events = [this] { ++yields; };
        lv::new_custom_defaults();
        lv::new_random_defaults();
        yields = 0;
    }
    void TearDown() override {
        lv::hooks().yield_events = nullptr;
        lv::new_custom_defaults();
    }

    static void expect_all_columns_sized(std::size_t n) {
        const auto& s = lv::doc().sequences;
        EXPECT_EQ(s.image_file.size(), n);
        EXPECT_EQ(s.display_position.size(), n);
        EXPECT_EQ(s.display_effect.size(), n);
        EXPECT_EQ(s.effect_speed.size(), n);
        EXPECT_EQ(s.effect_grain.size(), n);
        EXPECT_EQ(s.display_time.size(), n);
        EXPECT_EQ(s.notes.size(), n);
        EXPECT_EQ(s.caption_text.size(), n);
        EXPECT_EQ(s.caption_position.size(), n);
        EXPECT_EQ(s.caption_effect.size(), n);
        EXPECT_EQ(s.caption_speed.size(), n);
        EXPECT_EQ(s.caption_grain.size(), n);
        EXPECT_EQ(s.caption_font_name.size(), n);
        EXPECT_EQ(s.caption_font_size.size(), n);
        EXPECT_EQ(s.caption_bold.size(), n);
        EXPECT_EQ(s.caption_italic.size(), n);
        EXPECT_EQ(s.caption_style.size(), n);
        EXPECT_EQ(s.caption_shadow_size.size(), n);
        EXPECT_EQ(s.caption_color.size(), n);
        EXPECT_EQ(s.caption_color_scheme.size(), n);
        EXPECT_EQ(s.audio_file.size(), n);
        EXPECT_EQ(s.audio_mode.size(), n);
        EXPECT_EQ(s.background_file.size(), n);
        EXPECT_EQ(s.background_placement.size(), n);
        EXPECT_EQ(s.background_effect.size(), n);
        EXPECT_EQ(s.background_speed.size(), n);
        EXPECT_EQ(s.background_grain.size(), n);
        EXPECT_EQ(s.transparent_color.size(), n);
    }

    // A sequence whose every field differs from the empty one and from its
    // neighbours, so a mixed-up column shows.
    static lv::sequence_record distinct(int i) {
        lv::sequence_record r;
        r.image_file = "/pics/" + std::to_string(i) + ".jpg";
        r.display_position = i % 13;
        r.display_effect = i + 1;
        r.effect_speed = i + 2;
        r.effect_grain = i + 3;
        r.display_time = i + 4;
        r.notes = "note " + std::to_string(i);
        r.caption_text = "caption " + std::to_string(i);
        r.caption_position = i % 9;
        r.caption_effect = i + 5;
        r.caption_speed = i + 6;
        r.caption_grain = i + 7;
        r.caption_font_name = "Font" + std::to_string(i);
        r.caption_font_size = i + 8;
        r.caption_bold = 1;
        r.caption_italic = 1;
        r.caption_style = 6;
        r.caption_shadow_size = i % 10 + 1;
        r.caption_color = 0x10000 + i;
        r.caption_color_scheme = i % 9;
        r.audio_file = "/snd/" + std::to_string(i) + ".wav";
        r.audio_mode = i % 4;
        r.background_file = lv::gradient_background;
        r.background_placement = 1;
        r.background_effect = i + 9;
        r.background_speed = i + 10;
        r.background_grain = i + 11;
        r.transparent_color = i + 12;
        return r;
    }

    static void expect_equal(const lv::sequence_record& a, const lv::sequence_record& b) {
        EXPECT_EQ(a.image_file, b.image_file);
        EXPECT_EQ(a.display_position, b.display_position);
        EXPECT_EQ(a.display_effect, b.display_effect);
        EXPECT_EQ(a.effect_speed, b.effect_speed);
        EXPECT_EQ(a.effect_grain, b.effect_grain);
        EXPECT_EQ(a.display_time, b.display_time);
        EXPECT_EQ(a.notes, b.notes);
        EXPECT_EQ(a.caption_text, b.caption_text);
        EXPECT_EQ(a.caption_position, b.caption_position);
        EXPECT_EQ(a.caption_effect, b.caption_effect);
        EXPECT_EQ(a.caption_speed, b.caption_speed);
        EXPECT_EQ(a.caption_grain, b.caption_grain);
        EXPECT_EQ(a.caption_font_name, b.caption_font_name);
        EXPECT_EQ(a.caption_font_size, b.caption_font_size);
        EXPECT_EQ(a.caption_bold, b.caption_bold);
        EXPECT_EQ(a.caption_italic, b.caption_italic);
        EXPECT_EQ(a.caption_style, b.caption_style);
        EXPECT_EQ(a.caption_shadow_size, b.caption_shadow_size);
        EXPECT_EQ(a.caption_color, b.caption_color);
        EXPECT_EQ(a.caption_color_scheme, b.caption_color_scheme);
        EXPECT_EQ(a.audio_file, b.audio_file);
        EXPECT_EQ(a.audio_mode, b.audio_mode);
        EXPECT_EQ(a.background_file, b.background_file);
        EXPECT_EQ(a.background_placement, b.background_placement);
        EXPECT_EQ(a.background_effect, b.background_effect);
        EXPECT_EQ(a.background_speed, b.background_speed);
        EXPECT_EQ(a.background_grain, b.background_grain);
        EXPECT_EQ(a.transparent_color, b.transparent_color);
    }

    int yields = 0;
};

TEST_F(DocumentTest, RedimZeroLeavesOnlyTheUnusedEntry) {
    lv::redim_slides(5);
    lv::redim_slides(0);
    expect_all_columns_sized(1);
    lv::redim_slides(-3);   // never below the unused entry
    expect_all_columns_sized(1);
}

TEST_F(DocumentTest, GrowingByOneKeepsEverySequence) {
    auto& d = lv::doc();
    for (int i = 1; i <= 3; ++i) {
        lv::redim_slides(i);
        d.sequences.set(i, distinct(i));
        d.image_count = i;
    }
    lv::redim_slides(4);
    expect_all_columns_sized(5);
    for (int i = 1; i <= 3; ++i) expect_equal(d.sequences.get(i), distinct(i));
    // The new one is empty until its defaults are written.
    expect_equal(d.sequences.get(4), lv::sequence_record{});
    EXPECT_EQ(d.image_count, 3);   // the caller's to set
}

TEST_F(DocumentTest, ShrinkingDropsTheTailAndGrowingAgainGivesEmptyEntries) {
    auto& d = lv::doc();
    lv::redim_slides(4);
    for (int i = 1; i <= 4; ++i) d.sequences.set(i, distinct(i));
    lv::redim_slides(2);
    expect_all_columns_sized(3);
    expect_equal(d.sequences.get(2), distinct(2));
    lv::redim_slides(4);
    expect_equal(d.sequences.get(1), distinct(1));
    expect_equal(d.sequences.get(3), lv::sequence_record{});
    expect_equal(d.sequences.get(4), lv::sequence_record{});
}

TEST_F(DocumentTest, EachResizeYieldsOnce) {
    lv::redim_slides(3);
    EXPECT_EQ(yields, 1);
    lv::redim_music(3);
    EXPECT_EQ(yields, 2);
}

TEST_F(DocumentTest, ThirtyTwoThousandSequencesOneByOne) {
    auto& d = lv::doc();
    for (int i = 1; i <= 32000; ++i) {
        lv::redim_slides(i);
        d.sequences.image_file[i] = std::to_string(i);
        d.sequences.display_time[i] = i % 240 + 1;
        d.image_count = i;
    }
    expect_all_columns_sized(32001);
    EXPECT_EQ(yields, 32000);
    for (int i : {1, 2, 1000, 31999, 32000}) {
        EXPECT_EQ(d.sequences.image_file[i], std::to_string(i));
        EXPECT_EQ(d.sequences.display_time[i], i % 240 + 1);
        EXPECT_EQ(d.sequences.caption_text[i], "");
    }
}

TEST_F(DocumentTest, MusicListGrowsAndKeepsItsFiles) {
    auto& d = lv::doc();
    lv::redim_music(2);
    d.music_files[1] = "/music/a.mp3";
    d.music_files[2] = "/music/b.mid";
    lv::redim_music(3);
    EXPECT_EQ(d.music_files.size(), 4u);
    EXPECT_EQ(d.music_files[2], "/music/b.mid");
    EXPECT_EQ(d.music_files[3], "");
    lv::redim_music(0);
    EXPECT_EQ(d.music_files.size(), 1u);
}

TEST_F(DocumentTest, NewCustomDefaultsResetsTheCustomSlideshow) {
    auto& d = lv::doc();
    d.custom_name = "Trip";
    d.border.border_off = 0;
    d.border.border_inner_width = 30;
    d.border.border_middle_color = 9;
    d.border_use_defaults = 0;
    d.random_effect_speed = 2;
    d.cd_track = 4;
    lv::redim_music(2);
    d.music_count = 2;
    lv::redim_slides(3);
    d.image_count = 3;
    lv::new_custom_defaults();

    EXPECT_EQ(d.custom_name, "");
    EXPECT_EQ(d.image_count, 0);
    EXPECT_EQ(d.sequences.size(), 1u);
    EXPECT_EQ(d.music_count, 0);
    EXPECT_EQ(d.music_files.size(), 1u);
    EXPECT_EQ(d.cd_track, 0);
    EXPECT_EQ(d.random_effect_speed, 1);
    EXPECT_EQ(d.border_use_defaults, 1);
    const auto& b = d.border;
    EXPECT_EQ(b.border_off, 1);
    EXPECT_EQ(b.border_inner_color_1, 8);
    EXPECT_EQ(b.border_inner_color_2, 15);
    EXPECT_EQ(b.border_inner_style, 1);
    EXPECT_EQ(b.border_inner_width, 3);
    EXPECT_EQ(b.border_outer_color_1, 8);
    EXPECT_EQ(b.border_outer_color_2, 15);
    EXPECT_EQ(b.border_outer_style, 2);
    EXPECT_EQ(b.border_outer_width, 4);
    EXPECT_EQ(b.border_middle_color, 1);
    EXPECT_EQ(b.border_middle_width, 2);
}

TEST_F(DocumentTest, NewRandomDefaultsResetsTheSimpleSlideshowOnly) {
    auto& d = lv::doc();
    lv::redim_slides(2);
    d.image_count = 2;
    d.sequences.set(1, distinct(1));
    lv::redim_music(1);
    d.music_count = 1;
    d.random_name = "Folders";
    d.random_effect_speed = 0;
    d.random_show_file_names = 0;
    d.random_image_delay = 99;
    d.random_display_position = 5;
    d.caption_settings.caption_settings_font_name = "Courier";
    d.caption_settings.caption_settings_color_scheme = 4;
    d.caption_sample_text = "Hello";
    d.random_folders[0][1] = "/pics/";
    d.random_folder_counts = {1, 2, 3};
    d.border.border_outer_width = 17;
    d.cd_track = 2;

    lv::new_random_defaults();

    EXPECT_EQ(d.random_name, "");
    EXPECT_EQ(d.random_effect_speed, 1);
    EXPECT_EQ(d.random_show_file_names, 1);
    EXPECT_EQ(d.random_image_delay, 10);
    EXPECT_EQ(d.random_display_position, 1);
    EXPECT_EQ(d.random_folder_counts, (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(d.random_folders[0][1], "/pics/");   // hidden by the count, not cleared
    EXPECT_EQ(d.caption_sample_text, "Sample Text");
    EXPECT_EQ(d.border.border_outer_width, 4);
    EXPECT_EQ(d.cd_track, 0);
    const auto& c = d.caption_settings;
    EXPECT_EQ(c.caption_settings_bold, 1);
    EXPECT_EQ(c.caption_settings_italic, 0);
    EXPECT_EQ(c.caption_settings_font_size, 16);
    EXPECT_EQ(c.caption_settings_font_name, "Arial");
    EXPECT_EQ(c.caption_settings_style, 7);
    EXPECT_EQ(c.caption_settings_shadow_size, 3);
    EXPECT_EQ(c.caption_settings_color, 0xFFFFFF);
    EXPECT_EQ(c.caption_settings_color_scheme, 0);
    // The sequences and the music list are left alone.
    EXPECT_EQ(d.image_count, 2);
    expect_equal(d.sequences.get(1), distinct(1));
    EXPECT_EQ(d.music_count, 1);
}

TEST_F(DocumentTest, DefaultSequenceOfTheImagePicker) {
    auto r = lv::default_sequence("/pics/a.png");
    EXPECT_EQ(r.image_file, "/pics/a.png");
    EXPECT_EQ(r.display_position, 1);
    EXPECT_EQ(r.display_effect, 0);
    EXPECT_EQ(r.display_time, 10);
    EXPECT_EQ(r.caption_position, 7);
    EXPECT_EQ(r.caption_font_name, "Arial");
    EXPECT_EQ(r.caption_font_size, 16);
    EXPECT_EQ(r.caption_bold, 1);
    EXPECT_EQ(r.caption_style, 7);
    EXPECT_EQ(r.caption_shadow_size, 3);
    EXPECT_EQ(r.caption_color, 0xFFFFFF);
    EXPECT_EQ(r.caption_color_scheme, 0);
    EXPECT_EQ(r.audio_mode, 0);
    EXPECT_EQ(r.background_file, "");
    EXPECT_EQ(r.transparent_color, 0);
}

}  // namespace
