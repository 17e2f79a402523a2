#include "core/slideshow_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "core/document.h"
#include "core/hooks.h"
#include "core/state.h"
#include "core/text_file.h"

namespace fs = std::filesystem;

namespace {

const std::string header_custom =
    "\"Lumivane\",\"6.0.11\",\"Custom\",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \"\r\n";
const std::string header_simple =
    "\"Lumivane\",\"6.0.11\",\"Simple\",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \"\r\n";
const std::string default_border = "1,8,15,1,3,8,15,2,4,1,2\r\n";

class SlideshowFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lv_sf_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        lv::hooks().yield_events = nullptr;
        lv::run().time_to_end = 0;
        lv::new_random_defaults();
        lv::new_custom_defaults();
    }
    void TearDown() override {
        lv::hooks().yield_events = nullptr;
        lv::hooks().monotonic_ms = nullptr;
        lv::run().time_to_end = 0;
        fs::remove_all(dir_);
    }
    // A clock that moves on by step_ms each time it is read.
    static void stepping_clock(std::int64_t step_ms) {
        lv::hooks().monotonic_ms = [t = std::int64_t{0}, step_ms]() mutable { return t += step_ms; };
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return path(name);
    }
    static std::string read(const std::string& p) {
        std::string bytes;
        EXPECT_TRUE(lv::read_file_bytes(p, bytes));
        return bytes;
    }
    // Files in the folder other than the given one: left-over temporaries.
    std::size_t files_in_dir() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    // A custom slideshow whose fields all differ from the defaults.
    static void fill_custom(int images, int music) {
        auto& d = lv::doc();
        d.custom_name = "Trip, Summer \xC3\xA9t\xC3\xA9";
        d.border = {0, 1, 2, 0, 30, 3, 4, 1, 1, 5, 0};
        d.image_count = images;
        lv::redim_slides(images);
        for (int i = 1; i <= images; ++i) {
            lv::sequence_record r;
            r.image_file = "/pics/img, no. " + std::to_string(i) + ".jpg";
            r.display_position = i % 13;
            r.display_effect = 105;
            r.effect_speed = 255;
            r.effect_grain = 1;
            r.display_time = 240;
            r.notes = "note " + std::to_string(i);
            r.caption_text = i % 2 ? "" : "Caption " + std::to_string(i);
            r.caption_position = 8;
            r.caption_effect = -1;
            r.caption_speed = 7;
            r.caption_grain = 9;
            r.caption_font_name = "DejaVu Sans";
            r.caption_font_size = 72;
            r.caption_bold = 0;
            r.caption_italic = 1;
            r.caption_style = 6;
            r.caption_shadow_size = 10;
            r.caption_color = 0x00FF8040;
            r.caption_color_scheme = 8;
            r.audio_file = i == 1 ? "CD Track 03" : "/snd/a.wav";
            r.audio_mode = 3;
            r.background_file = "Gradient Background";
            r.background_placement = 1;
            r.background_effect = 2;
            r.background_speed = 3;
            r.background_grain = 4;
            r.transparent_color = 16777216;
            d.sequences.set(i, r);
        }
        d.cd_track = -5;
        d.music_count = music;
        lv::redim_music(music);
        for (int j = 1; j <= music; ++j) d.music_files[j] = "/music/song " + std::to_string(j) + ".mp3";
    }

    static void fill_simple() {
        auto& d = lv::doc();
        d.random_name = "Holidays";
        d.border = {0, 9, 10, 2, 5, 11, 12, 0, 6, 13, 7};
        d.random_effect_speed = 2;
        d.random_show_file_names = 0;
        d.random_image_delay = 120;
        d.random_display_position = 12;
        d.caption_settings = {0, 1, 48, "Liberation Serif", 3, 10, 0x123456, 5};
        d.random_folder_counts = {2, 0, 1};
        d.random_folders[0][1] = "/home/ann/Pictures/";
        d.random_folders[0][2] = "/home/ann/Pictures, old/";
        d.random_folders[2][1] = "/home/ann/Music/";
        d.cd_track = 2;
    }

    fs::path dir_;
};

// Re-lays a file with the same fields in the same order: commas become line
// ends and line ends commas, each followed by blanks.
std::string spread_fields(const std::string& text) {
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && c == ',') {
            out += "\r\n  ";
        } else if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += ",\t ";
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

TEST_F(SlideshowFile, EmptyDocumentsHaveTheExactLayouts) {
    auto& d = lv::doc();
    d.custom_name = "Empty";
    ASSERT_EQ(lv::write_custom_file(path("c.lmv")), 0);
    EXPECT_EQ(read(path("c.lmv")), header_custom + "\"Empty\"\r\n" + default_border + "0\r\n0\r\n0\r\n");

    d.random_name = "Plain";
    ASSERT_EQ(lv::save_random(path("s.lmv")), 0);
    EXPECT_EQ(read(path("s.lmv")),
              header_simple + "\"Plain\"\r\n" + default_border + "1,1,10,1\r\n1,0,16,\"Arial\",7,3,16777215,0\r\n" +
                  "0\r\n0\r\n0\r\n0\r\n\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \"\r\n");
    EXPECT_EQ(lv::read_slideshow_kind(path("c.lmv")), "Custom");
    EXPECT_EQ(lv::read_slideshow_kind(path("s.lmv")), "Simple");
}

TEST_F(SlideshowFile, CustomSequenceAndMusicLinesFollowTheLayout) {
    fill_custom(1, 1);
    ASSERT_EQ(lv::write_custom_file(path("c.lmv")), 0);
    const std::string expected =
        header_custom + "\"Trip, Summer \xC3\xA9t\xC3\xA9\"\r\n0,1,2,0,30,3,4,1,1,5,0\r\n1\r\n" +
        "\"/pics/img, no. 1.jpg\",1,105,255,1\r\n"
        "240,\"note 1\",\"\",8,-1\r\n"
        "7,9,\"DejaVu Sans\",72\r\n"
        "0,1,6,10\r\n"
        "16744512,8,\"CD Track 03\",3\r\n"
        "\"Gradient Background\",1,2\r\n"
        "3,4\r\n"
        "16777216\r\n"
        "\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \"\r\n"
        "-5\r\n1\r\n"
        "\"/music/song 1.mp3\",\" \",\" \",\" \",\" \",\" \"\r\n";
    EXPECT_EQ(read(path("c.lmv")), expected);
}

TEST_F(SlideshowFile, BothKindsSurviveWriteReadWrite) {
    fill_custom(3, 2);
    fill_simple();
    const auto custom = lv::custom_file_text();
    const auto simple = lv::random_file_text();
    ASSERT_TRUE(custom && simple);
    ASSERT_EQ(lv::write_custom_file(path("c.lmv")), 0);
    ASSERT_EQ(lv::save_random(path("s.lmv")), 0);

    // Loading a custom file leaves the simple slideshow alone, and back.
    lv::new_custom_defaults();
    lv::doc().random_effect_speed = 0;
    ASSERT_EQ(lv::load_custom_file(path("c.lmv")), 0);
    EXPECT_EQ(lv::doc().random_effect_speed, 0);
    EXPECT_EQ(lv::doc().random_name, "Holidays");
    EXPECT_EQ(lv::doc().image_count, 3);
    EXPECT_EQ(lv::doc().sequences.get(2).caption_text, "Caption 2");
    EXPECT_EQ(lv::doc().custom_name, "Trip, Summer \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(lv::custom_file_text(), custom);

    lv::doc().random_effect_speed = 2;
    lv::new_random_defaults();
    ASSERT_EQ(lv::load_random_file(path("s.lmv")), 0);
    EXPECT_EQ(lv::doc().image_count, 3);
    EXPECT_EQ(lv::doc().music_count, 2);
    EXPECT_EQ(lv::doc().random_folders[0][2], "/home/ann/Pictures, old/");
    EXPECT_EQ(lv::doc().caption_settings.caption_settings_font_name, "Liberation Serif");
    EXPECT_EQ(lv::random_file_text(), simple);
    EXPECT_EQ(lv::custom_file_text(), custom);
}

TEST_F(SlideshowFile, FieldsSpreadOverOtherLinesLoadTheSame) {
    fill_custom(2, 2);
    fill_simple();
    const std::string custom = *lv::custom_file_text();
    const std::string simple = *lv::random_file_text();
    const std::string spread_custom = spread_fields(custom);
    ASSERT_NE(spread_custom, custom);

    lv::new_custom_defaults();
    lv::new_random_defaults();
    ASSERT_EQ(lv::load_custom_file(write("c.lmv", spread_custom)), 0);
    ASSERT_EQ(lv::load_random_file(write("s.lmv", spread_fields(simple))), 0);
    EXPECT_EQ(*lv::custom_file_text(), custom);
    EXPECT_EQ(*lv::random_file_text(), simple);

    // Lone LF line ends are taken too.
    std::string lf = custom;
    for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
    lv::new_custom_defaults();
    ASSERT_EQ(lv::load_custom_file(write("lf.lmv", lf)), 0);
    EXPECT_EQ(*lv::custom_file_text(), custom);
}

TEST_F(SlideshowFile, ReadsLooseFieldsAsTheOldWriterLeftThem) {
    // Empty number fields read 0, a quoted number reads as its value, an
    // unquoted text is taken up to its comma, a comma inside quotes stays.
    const std::string file = header_custom +
                             "Loose name\r\n,,,,,,,,,,\r\n\"1\"\r\n"
                             "\"a,b.jpg\",,, 4 ,5\r\n"
                             "6,\"n, o, t, e\",,7,8\r\n"
                             "9,10,Arial,11\r\n"
                             "12,13,14,15\r\n"
                             "16,17,\"\",18\r\n"
                             "\"\",19,20\r\n21,22\r\n23\r\n"
                             ",,,,,,,,,\r\n"
                             "\r\n\"0\"\r\n";
    ASSERT_EQ(lv::load_custom_text(file), 0);
    const auto& d = lv::doc();
    EXPECT_EQ(d.custom_name, "Loose name");
    EXPECT_EQ(d.border.border_off, 0);
    EXPECT_EQ(d.border.border_middle_width, 0);
    const auto r = d.sequences.get(1);
    EXPECT_EQ(r.image_file, "a,b.jpg");
    EXPECT_EQ(r.display_position, 0);
    EXPECT_EQ(r.effect_speed, 4);
    EXPECT_EQ(r.notes, "n, o, t, e");
    EXPECT_EQ(r.caption_text, "");
    EXPECT_EQ(r.caption_font_name, "Arial");
    EXPECT_EQ(r.transparent_color, 23);
    EXPECT_EQ(d.cd_track, 0);
    EXPECT_EQ(d.music_count, 0);
}

TEST_F(SlideshowFile, MalformedFilesFailKeepingWhatWasRead) {
    fill_custom(3, 1);
    const std::string good = *lv::custom_file_text();
    lv::new_custom_defaults();

    // Cut short inside the sequences: image_count already holds line 4.
    const std::size_t cut = good.find("\"note 3\"");
    ASSERT_NE(cut, std::string::npos);
    EXPECT_EQ(lv::load_custom_text(good.substr(0, cut)), 1);
    EXPECT_EQ(lv::doc().image_count, 3);
    EXPECT_EQ(lv::doc().sequences.size(), 4u);
    EXPECT_EQ(lv::doc().sequences.get(2).notes, "note 2");
    EXPECT_EQ(lv::doc().sequences.get(3).image_file, "/pics/img, no. 3.jpg");
    EXPECT_EQ(lv::doc().custom_name, "Trip, Summer \xC3\xA9t\xC3\xA9");

    // Every prefix that lacks the last field fails cleanly (a trailing comma
    // would still open an empty last field).
    for (std::size_t n = 0; n <= good.rfind(','); ++n) {
        lv::new_custom_defaults();
        ASSERT_EQ(lv::load_custom_text(good.substr(0, n)), 1) << n;
    }

    // Counts that could size anything are checked first and never stored.
    const auto with_count = [&](const std::string& count) {
        return header_custom + "\"x\"\r\n" + default_border + count + "\r\n";
    };
    for (const char* bad : {"-1", "32001", "99999999999", "70000", "4e3", "abc", "1.5"}) {
        lv::new_custom_defaults();
        EXPECT_EQ(lv::load_custom_text(with_count(bad) + "0\r\n0\r\n"), 1) << bad;
        EXPECT_EQ(lv::doc().image_count, 0) << bad;
        EXPECT_EQ(lv::doc().sequences.size(), 1u) << bad;
    }
    for (const char* bad : {"-3", "10001", "x"}) {
        lv::new_custom_defaults();
        EXPECT_EQ(lv::load_custom_text(with_count("0") + "7\r\n" + bad + "\r\n"), 1) << bad;
        EXPECT_EQ(lv::doc().cd_track, 7);
        EXPECT_EQ(lv::doc().music_count, 0);
        EXPECT_EQ(lv::doc().music_files.size(), 1u);
    }
    // cd_track outside 16 bits; a closing quote that never comes.
    EXPECT_EQ(lv::load_custom_text(with_count("0") + "40000\r\n0\r\n"), 1);
    EXPECT_EQ(lv::load_custom_text(header_custom + "\"no end\r\n" + default_border + "0\r\n0\r\n0\r\n"), 1);
    EXPECT_EQ(lv::load_custom_text(""), 1);
    EXPECT_EQ(lv::load_custom_file(path("missing.lmv")), 1);
    EXPECT_EQ(lv::load_custom_file(dir_.string()), 1);

    // A folder count above 100 fails and leaves the counts as they were.
    fill_simple();
    std::string simple = *lv::random_file_text();
    const std::size_t at = simple.find("\r\n2\r\n");
    ASSERT_NE(at, std::string::npos);
    simple.replace(at, 5, "\r\n101\r\n");
    lv::new_random_defaults();
    EXPECT_EQ(lv::load_random_text(simple), 1);
    EXPECT_EQ(lv::doc().random_name, "Holidays");
    EXPECT_EQ(lv::doc().random_folder_counts[0], 0);
    simple.replace(at, 7, "\r\n-1\r\n");
    EXPECT_EQ(lv::load_random_text(simple), 1);
    EXPECT_EQ(lv::doc().random_folder_counts[0], 0);

    EXPECT_FALSE(lv::read_slideshow_kind(path("missing.lmv")));
    EXPECT_FALSE(lv::read_slideshow_kind(write("short.lmv", "\"Lumivane\",\"6.0.11\"\r\n")));
    EXPECT_EQ(lv::read_slideshow_kind(write("odd.lmv", "\"Lumivane\",\"1\",\"Other\"\r\n")), "Other");
}

TEST_F(SlideshowFile, AFailedSaveLeavesTheOldFileAsItWas) {
    fill_custom(1, 0);
    ASSERT_EQ(lv::write_custom_file(path("c.lmv")), 0);
    const std::string before = read(path("c.lmv"));
    ASSERT_EQ(files_in_dir(), 1u);

    // Text the format cannot carry is refused, not written corrupt.
    for (const char* bad : {"say \"cheese\"", "two\r\nlines", "line\nfeed", "car\rriage", "bad \xFF byte"}) {
        lv::doc().sequences.caption_text[1] = bad;
        EXPECT_EQ(lv::write_custom_file(path("c.lmv")), 1) << bad;
        EXPECT_EQ(read(path("c.lmv")), before);
    }
    lv::doc().sequences.caption_text[1] = "";
    lv::doc().random_name = "quote\"";
    EXPECT_EQ(lv::save_random(path("c.lmv")), 1);
    EXPECT_EQ(read(path("c.lmv")), before);
    lv::doc().random_name = "ok";

    // Numbers the loader would refuse, counts that do not match the arrays.
    lv::doc().sequences.display_time[1] = 40000;
    EXPECT_EQ(lv::write_custom_file(path("c.lmv")), 1);
    lv::doc().sequences.display_time[1] = 10;
    lv::doc().image_count = 5;
    EXPECT_EQ(lv::write_custom_file(path("c.lmv")), 1);
    lv::doc().image_count = 1;
    lv::doc().music_count = 3;
    EXPECT_EQ(lv::write_custom_file(path("c.lmv")), 1);
    lv::doc().music_count = 0;
    lv::doc().random_folder_counts[1] = 101;
    EXPECT_EQ(lv::save_random(path("c.lmv")), 1);
    lv::doc().random_folder_counts[1] = 0;
    EXPECT_EQ(read(path("c.lmv")), before);

    // Nowhere to write: a folder in the way, a missing folder.
    fs::create_directories(dir_ / "taken.lmv");
    EXPECT_EQ(lv::write_custom_file(path("taken.lmv")), 1);
    EXPECT_EQ(lv::save_random(path("nowhere/s.lmv")), 1);
    EXPECT_EQ(files_in_dir(), 2u);   // c.lmv and the folder: no temporaries left

    // A good save replaces the file whole and keeps its permissions.
    fs::permissions(path("c.lmv"), fs::perms::owner_read | fs::perms::owner_write);
    lv::doc().custom_name = "Renamed";
    ASSERT_EQ(lv::write_custom_file(path("c.lmv")), 0);
    EXPECT_NE(read(path("c.lmv")).find("\"Renamed\"\r\n"), std::string::npos);
    EXPECT_EQ(fs::status(path("c.lmv")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(files_in_dir(), 2u);
}

TEST_F(SlideshowFile, WritesUtf8AndReadsNamesInWindows1252) {
    lv::doc().custom_name = "Caf\xC3\xA9 \xE2\x82\xAC";
    ASSERT_EQ(lv::write_custom_file(path("c.lmv")), 0);
    EXPECT_NE(read(path("c.lmv")).find("\"Caf\xC3\xA9 \xE2\x82\xAC\""), std::string::npos);

    // A file that is not UTF-8 holds the same name in Windows-1252: it is
    // read, and kept, as that name.
    const std::string cp1252 = header_custom + "\"Caf\xE9 \x80\"\r\n" + default_border + "0\r\n0\r\n0\r\n";
    lv::new_custom_defaults();
    ASSERT_EQ(lv::load_custom_file(write("cp1252.lmv", cp1252)), 0);
    EXPECT_EQ(lv::doc().custom_name, "Caf\xC3\xA9 \xE2\x82\xAC");

    // A leading byte-order mark is not part of the first field.
    lv::new_custom_defaults();
    ASSERT_EQ(lv::load_custom_text("\xEF\xBB\xBF" + read(path("c.lmv"))), 0);
    EXPECT_EQ(lv::doc().custom_name, "Caf\xC3\xA9 \xE2\x82\xAC");

    EXPECT_TRUE(lv::is_valid_utf8("plain \xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(lv::is_valid_utf8("\xC0\xAF"));           // overlong
    EXPECT_FALSE(lv::is_valid_utf8("\xED\xA0\x80"));       // surrogate
    EXPECT_FALSE(lv::is_valid_utf8("\xE2\x82"));           // cut short
    EXPECT_EQ(lv::cp1252_to_utf8("\x93q\x94 \xFF"), "\xE2\x80\x9Cq\xE2\x80\x9D \xC3\xBF");
}

TEST_F(SlideshowFile, PlayerLoadersYieldStopAndShowTheLabelOnce) {
    // Every point the loaders may yield at is due: the clock jumps on by
    // more than the pacing interval between two looks.
    stepping_clock(1000);
    int labels = 0;
    const std::function<void()> label = [&] { ++labels; };
    for (int n : {500, 501, 620}) {
        lv::new_custom_defaults();
        fill_custom(n, 0);
        ASSERT_EQ(lv::write_custom_file(path("big.lmv")), 0);
        lv::new_custom_defaults();
        labels = 0;
        EXPECT_EQ(lv::c_load_custom(path("big.lmv"), label), 0);
        EXPECT_EQ(labels, n > 500 ? 1 : 0) << n;
        EXPECT_EQ(lv::doc().image_count, n);
    }

    // Asked to end during the load: 2 at once, the sequences read so far kept.
    lv::new_custom_defaults();
    int yields = 0;
    lv::hooks().yield_events = [&] {   // the first yield is the resize
        if (++yields == 10) lv::run().time_to_end = 1;
    };
    EXPECT_EQ(lv::c_load_custom(path("big.lmv"), label), 2);
    EXPECT_EQ(lv::doc().image_count, 620);
    EXPECT_EQ(lv::doc().sequences.get(9).image_file, "/pics/img, no. 9.jpg");
    EXPECT_EQ(lv::doc().sequences.get(10).image_file, "");
    EXPECT_EQ(lv::doc().cd_track, 0);

    fill_simple();
    ASSERT_EQ(lv::save_random(path("s.lmv")), 0);
    lv::new_random_defaults();
    lv::run().time_to_end = 0;
    yields = 0;
    lv::hooks().yield_events = [&] { ++yields; };
    EXPECT_EQ(lv::c_load_random(path("s.lmv")), 0);
    EXPECT_EQ(yields, 3 + 3);   // each folder line, each list
    lv::hooks().yield_events = [&] { lv::run().time_to_end = 1; };
    lv::new_random_defaults();
    lv::doc().random_folders[0][2] = "";
    EXPECT_EQ(lv::c_load_random(path("s.lmv")), 2);
    EXPECT_EQ(lv::doc().random_name, "Holidays");
    EXPECT_EQ(lv::doc().random_folder_counts[0], 2);
    EXPECT_EQ(lv::doc().random_folder_counts[2], 0);

    // The plain loaders never stop halfway.
    EXPECT_EQ(lv::load_random_file(path("s.lmv")), 0);
    EXPECT_EQ(lv::load_custom_file(path("big.lmv")), 0);
}

// A show file far larger than any the format can describe is refused as a
// failed load by every loader, without being read (a sparse file costs the
// test nothing) and without touching the document.
TEST_F(SlideshowFile, AShowFileOverTheLimitFailsUnread) {
    const std::string huge = write("huge.lmv", header_custom + "\"Huge\"\r\n" + default_border + "0\r\n0\r\n0\r\n");
    fs::resize_file(huge, lv::max_slideshow_file_bytes + 1024 * 1024);
    lv::doc().custom_name = "kept";
    lv::doc().random_name = "kept too";
    EXPECT_EQ(lv::read_slideshow_kind(huge), std::nullopt);
    EXPECT_EQ(lv::load_custom_file(huge), 1);
    EXPECT_EQ(lv::load_random_file(huge), 1);
    EXPECT_EQ(lv::c_load_custom(huge, {}), 1);
    EXPECT_EQ(lv::c_load_random(huge), 1);
    EXPECT_EQ(lv::doc().custom_name, "kept");
    EXPECT_EQ(lv::doc().random_name, "kept too");

    // At the limit it is still a show file (trailing blanks are no field).
    fs::resize_file(huge, lv::max_slideshow_file_bytes);
    EXPECT_EQ(lv::read_slideshow_kind(huge), "Custom");
}

// The kind is read from the file's head; where the head cannot decide it
// alone the answer is still the one reading the whole file gives.
TEST_F(SlideshowFile, TheKindFromTheHeadIsTheKindOfTheWholeFile) {
    const std::string tail = "\"x\"\r\n" + std::string(10000, ' ') + "\r\n";
    EXPECT_EQ(lv::read_slideshow_kind(write("a.lmv", header_simple + tail)), "Simple");
    // A kind with non-ASCII letters in a file that is not UTF-8 further on:
    // the whole file is Windows-1252, and so is the kind.
    const std::string odd = "\"Lumivane\",\"6.0.11\",\"Cust\xC3\xA9m\"\r\n";
    EXPECT_EQ(lv::read_slideshow_kind(write("b.lmv", odd + tail + "\xE9\r\n")), "Cust\xC3\x83\xC2\xA9m");
    EXPECT_EQ(lv::read_slideshow_kind(write("c.lmv", odd + tail)), "Cust\xC3\xA9m");
    // Header fields longer than the head, or a kind cut by its end.
    const std::string long_version = "\"Lumivane\",\"" + std::string(5000, '6') + "\",\"Custom\"\r\n";
    EXPECT_EQ(lv::read_slideshow_kind(write("d.lmv", long_version + tail)), "Custom");
    const std::string cut_kind = "\"Lumivane\",\"" + std::string(4090, '6') + "\",Custom,\"\"\r\n";
    EXPECT_EQ(lv::read_slideshow_kind(write("e.lmv", cut_kind + tail)), "Custom");
    EXPECT_EQ(lv::read_slideshow_kind(write("f.lmv", "\"Lumivane\",\"6\"\r\n")), std::nullopt);
}

// The player's loaders let the message loop run by time, not per record, yet
// still stop at the first point after the show was asked to end.
TEST_F(SlideshowFile, PlayerLoadersYieldByTimeAndStillStopAtOnce) {
    fill_custom(700, 3);
    ASSERT_EQ(lv::write_custom_file(path("big.lmv")), 0);
    int yields = 0;
    lv::hooks().yield_events = [&] { ++yields; };

    // A clock that stands still: only the two resizes yield.
    stepping_clock(0);
    lv::new_custom_defaults();
    yields = 0;
    EXPECT_EQ(lv::c_load_custom(path("big.lmv"), {}), 0);
    EXPECT_EQ(yields, 2);

    // One millisecond per look at the clock: a yield every few records.
    stepping_clock(1);
    yields = 0;
    EXPECT_EQ(lv::c_load_custom(path("big.lmv"), {}), 0);
    EXPECT_GT(yields, 2 + 50);
    EXPECT_LT(yields, 2 + 400);

    // Asked to end by the label (no yield due): the load stops right there.
    stepping_clock(0);
    lv::new_custom_defaults();
    int labels = 0;
    EXPECT_EQ(lv::c_load_custom(path("big.lmv"), [&] { ++labels; lv::run().time_to_end = 1; }), 2);
    EXPECT_EQ(labels, 1);
    EXPECT_EQ(lv::doc().sequences.get(501).image_file, "/pics/img, no. 501.jpg");
    EXPECT_EQ(lv::doc().sequences.get(502).image_file, "");

    // Already asked to end before the load: it stops after the first record.
    lv::new_random_defaults();
    fill_simple();
    ASSERT_EQ(lv::save_random(path("s.lmv")), 0);
    lv::new_random_defaults();
    lv::doc().random_folders[0][2] = "";
    EXPECT_EQ(lv::c_load_random(path("s.lmv")), 2);
    EXPECT_EQ(lv::doc().random_folder_counts[0], 2);
    EXPECT_EQ(lv::doc().random_folders[0][1], "/home/ann/Pictures/");
    EXPECT_EQ(lv::doc().random_folders[0][2], "");
}

// Number fields, whichever way they are read: plain digits take a short
// path, everything else the general one, and both must agree on every form.
TEST_F(SlideshowFile, NumberFieldsReadTheSameInEveryForm) {
    struct form {
        const char* text;
        bool read;
        std::int64_t value;
    };
    const std::vector<form> n16 = {
        {"12", true, 12}, {"-5", true, -5}, {"0012", true, 12}, {"-0", true, 0}, {"", true, 0},
        {" 7 ", true, 7}, {"+3", true, 3}, {"\"4\"", true, 4}, {"32767", true, 32767}, {"-32768", true, -32768},
        {"32768", false, 0}, {"-32769", false, 0}, {"1a", false, 0}, {"-", false, 0}, {"+", false, 0},
        {"1 2", false, 0}, {"1.5", false, 0}, {"9999999999", false, 0}, {"99999999999999999999", false, 0},
        {"0000000000012", true, 12}, {"--1", false, 0}};
    const std::vector<form> n32 = {
        {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483648LL}, {"2147483648", false, 0},
        {"-2147483649", false, 0}, {"16777215", true, 16777215}, {"4294967296", false, 0}};
    // The border's first field is a 16-bit number; the caption settings'
    // colour a 32-bit one. Each form also stands last in the text, with no
    // line end after it.
    const auto simple_with = [](const std::string& border_off, const std::string& color) {
        return header_simple + "\"n\"\r\n" + border_off + ",8,15,1,3,8,15,2,4,1,2\r\n1,1,10,1\r\n1,0,16,\"Arial\",7,3," +
               color + ",0\r\n0\r\n0\r\n0\r\n0\r\n\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \"\r\n";
    };
    for (const auto& f : n16) {
        lv::new_random_defaults();
        lv::doc().border.border_off = 77;
        EXPECT_EQ(lv::load_random_text(simple_with(f.text, "0")), f.read ? 0 : 1) << f.text;
        EXPECT_EQ(lv::doc().border.border_off, f.read ? f.value : 77) << f.text;
    }
    for (const auto& f : n32) {
        lv::new_random_defaults();
        EXPECT_EQ(lv::load_random_text(simple_with("1", f.text)), f.read ? 0 : 1) << f.text;
        if (f.read) {
            EXPECT_EQ(lv::doc().caption_settings.caption_settings_color, f.value) << f.text;
        }
    }
    // At the very end of the text.
    const std::string base = header_custom + "\"n\"\r\n" + default_border + "0\r\n0\r\n";
    for (const auto& [tail, result, count] : std::vector<std::tuple<std::string, int, int>>{
             {"0", 0, 0}, {"-0", 0, 0}, {"", 1, 0}, {"1", 1, 1}, {"x", 1, 0}}) {
        lv::new_custom_defaults();
        EXPECT_EQ(lv::load_custom_text(base + tail), result) << tail;
        EXPECT_EQ(lv::doc().music_count, count) << tail;
    }
}
