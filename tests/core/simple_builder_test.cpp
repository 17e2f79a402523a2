#include "core/simple_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "core/document.h"
#include "core/hooks.h"
#include "core/state.h"

namespace fs = std::filesystem;

namespace {

class SimpleBuilder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lv_sb_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        lv::hooks().yield_events = nullptr;
        lv::run().time_to_end = 0;
        lv::new_custom_defaults();
        lv::new_random_defaults();
    }
    void TearDown() override {
        lv::hooks().yield_events = nullptr;
        lv::run().time_to_end = 0;
        fs::remove_all(dir_);
    }
    // A folder (path ending in "/") holding the named files.
    std::string folder(const std::string& name, const std::vector<std::string>& files) const {
        fs::create_directories(dir_ / name);
        for (const auto& f : files) std::ofstream(dir_ / name / f) << "data";
        return (dir_ / name).string() + "/";
    }
    static void use(std::size_t list, const std::vector<std::string>& folders) {
        auto& d = lv::doc();
        d.random_folder_counts[list] = static_cast<int>(folders.size());
        for (std::size_t j = 0; j < folders.size(); ++j) d.random_folders[list][j + 1] = folders[j];
    }
    static std::vector<std::string> images() {
        const auto& d = lv::doc();
        return {d.sequences.image_file.begin() + 1, d.sequences.image_file.begin() + 1 + d.image_count};
    }
    fs::path dir_;
};

}  // namespace

TEST_F(SimpleBuilder, BackgroundsRotateOverThePictures) {
    const std::string bg = folder("bg", {"b1.bmp", "b2.GIF", "b3.png", "notes.txt"});
    const std::string img = folder("img", {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg", "6.jpg", "7.jpg"});
    use(0, {img});
    use(1, {bg});
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    const auto& d = lv::doc();
    ASSERT_EQ(d.image_count, 7);
    const char* expected[] = {"b1.bmp", "b2.GIF", "b3.png", "b1.bmp", "b2.GIF", "b3.png", "b1.bmp"};
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(d.sequences.background_file[i], bg + expected[i - 1]) << i;

    // Without background files every background is empty.
    use(1, {folder("nobg", {"x.wav"})});
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(d.sequences.background_file[i], "");
}

TEST_F(SimpleBuilder, EverySequenceGetsTheSimpleSlideshowsLook) {
    auto& d = lv::doc();
    d.random_display_position = 4;
    d.random_image_delay = 25;
    d.caption_settings = {0, 1, 30, "Liberation Sans", 2, 9, 0x00112233, 6};
    use(0, {folder("img", {"Beach.jpg", "clip.MPG", "movie.avi"})});
    // What a previous show left in the document must not leak into this one.
    lv::redim_slides(5);
    d.sequences.notes[1] = "stale";
    d.sequences.audio_file[2] = "stale.wav";
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    ASSERT_EQ(d.image_count, 3);
    EXPECT_EQ(d.sequences.size(), 4u);
    for (int i = 1; i <= 3; ++i) {
        const auto r = d.sequences.get(i);
        EXPECT_EQ(r.display_position, 4);
        EXPECT_EQ(r.display_time, 25);
        EXPECT_EQ(r.display_effect, 0);
        EXPECT_EQ(r.notes, "");
        EXPECT_EQ(r.caption_text, lv::doc().sequences.image_file[i].substr(r.image_file.rfind('/') + 1));
        EXPECT_EQ(r.caption_position, 7);
        EXPECT_EQ(r.caption_font_name, "Liberation Sans");
        EXPECT_EQ(r.caption_font_size, 30);
        EXPECT_EQ(r.caption_bold, 0);
        EXPECT_EQ(r.caption_italic, 1);
        EXPECT_EQ(r.caption_style, 2);
        EXPECT_EQ(r.caption_shadow_size, 9);
        EXPECT_EQ(r.caption_color, 0x00112233);
        EXPECT_EQ(r.caption_color_scheme, 6);
        EXPECT_EQ(r.audio_file, "");
        EXPECT_EQ(r.audio_mode, 0);
        EXPECT_EQ(r.transparent_color, 0);
    }
    EXPECT_EQ(d.sequences.caption_text[1], "Beach.jpg");

    d.random_show_file_names = 0;
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(d.sequences.caption_text[i], "");
}

TEST_F(SimpleBuilder, TypesComeFromTheLastThreeCharactersOfOrdinaryFilesOnly) {
    const std::string img = folder("img", {"x.jpeg", "y.TIFF", "PHOTO.JPG", "photojpg", "b.Png", "a.gif",
                                            ".hidden.jpg", "jp", "song.mp3"});
    fs::create_directories(dir_ / "img" / "d.jpg");
    folder("img/sub", {"inner.jpg"});
    use(0, {img});
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    // Sorted by name ignoring case.
    EXPECT_EQ(images(), (std::vector<std::string>{img + "a.gif", img + "b.Png", img + "PHOTO.JPG", img + "photojpg"}));

    EXPECT_EQ(lv::file_type("a.jpeg"), "PEG");
    EXPECT_EQ(lv::file_type("jp"), "");
    EXPECT_TRUE(lv::is_music_type("x.Rmi"));
    EXPECT_FALSE(lv::is_background_type("x.avi"));
    EXPECT_TRUE(lv::is_picture_or_video_type("x.avi"));
}

TEST_F(SimpleBuilder, NoPicturesStillBuildsTheMusicList) {
    use(2, {folder("music", {"b.mid", "a.WAV", "c.rmi", "d.mp3", "cover.jpg"}), dir_.string() + "/gone/"});
    EXPECT_EQ(lv::build_random_slideshow(), 2);
    const auto& d = lv::doc();
    EXPECT_EQ(d.image_count, 0);
    ASSERT_EQ(d.music_count, 4);
    EXPECT_EQ(lv::file_type(d.music_files[1]), "WAV");
    EXPECT_EQ(lv::file_type(d.music_files[4]), "MP3");

    EXPECT_EQ(lv::c_create_random_slideshow({}), 1);
    EXPECT_EQ(d.music_count, 4);

    // A picture folder that has gone away holds nothing; it is no error.
    use(0, {dir_.string() + "/gone/"});
    EXPECT_EQ(lv::build_random_slideshow(), 2);
}

TEST_F(SimpleBuilder, AFolderListedTwiceGivesItsFilesTwice) {
    const std::string a = folder("a", {"1.jpg", "2.jpg"});
    const std::string b = folder("b", {"3.jpg"});
    use(0, {a, b, a});
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    EXPECT_EQ(images(), (std::vector<std::string>{a + "1.jpg", a + "2.jpg", b + "3.jpg", a + "1.jpg", a + "2.jpg"}));

    // A folder given without its trailing separator still gives full paths.
    use(0, {(dir_ / "b").string()});
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    EXPECT_EQ(images(), (std::vector<std::string>{b + "3.jpg"}));
}

TEST_F(SimpleBuilder, TheImageCapStopsAtTheFolderThatReachesIt) {
    fs::create_directories(dir_ / "many");
    for (int i = 0; i < 32000; ++i) std::ofstream(dir_ / "many" / (std::to_string(100000 + i) + ".jpg"));
    use(0, {(dir_ / "many").string() + "/", folder("more", {"a.jpg"})});
    ASSERT_EQ(lv::build_random_slideshow(), 0);
    const auto& d = lv::doc();
    EXPECT_EQ(d.image_count, lv::max_built_images);
    EXPECT_EQ(lv::file_type(d.sequences.image_file[31999]), "JPG");
    EXPECT_NE(d.sequences.image_file[31999].find("/many/131998.jpg"), std::string::npos);
}

TEST_F(SimpleBuilder, PlayerVariantShowsTheLabelOnceAndCanBeStopped) {
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i) names.push_back(std::to_string(1000 + i) + ".jpg");
    const std::string img = folder("img", names);
    use(0, {img});
    use(2, {folder("music", {"a.wav"})});
    int labels = 0;
    const std::function<void()> label = [&] { ++labels; };
    EXPECT_EQ(lv::c_create_random_slideshow(label), 0);
    EXPECT_EQ(labels, 1);
    EXPECT_EQ(lv::doc().image_count, 600);
    EXPECT_EQ(lv::doc().music_count, 1);

    use(0, {folder("few", {"1.jpg", "2.jpg"})});
    labels = 0;
    EXPECT_EQ(lv::c_create_random_slideshow(label), 0);
    EXPECT_EQ(labels, 0);

    // Stopped while scanning the pictures: 2, what was built stays.
    use(0, {img});
    int yields = 0;
    lv::hooks().yield_events = [&] {
        if (++yields == 50) lv::run().time_to_end = 1;
    };
    EXPECT_EQ(lv::c_create_random_slideshow(label), 2);
    EXPECT_GT(lv::doc().image_count, 0);
    EXPECT_LT(lv::doc().image_count, 50);
    EXPECT_EQ(lv::doc().music_count, 0);

    // The editor's variant never stops halfway.
    EXPECT_EQ(lv::build_random_slideshow(), 0);
    EXPECT_EQ(lv::doc().image_count, 600);
}

namespace {

// The order names were listed in before the fold became a table lookup.
bool old_less_ignoring_case(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

// Names of mixed case, shared prefixes, punctuation that sorts between the
// two cases of letters, and bytes above ASCII (UTF-8 and stray single bytes):
// the listing order is the old one, in the C locale and a UTF-8 one alike.
TEST_F(SimpleBuilder, ListingOrderIsTheOldCaseBlindOrder) {
    const std::vector<std::string> parts = {"a", "A", "b", "Z", "z", "_", "[", "`", "~", "0", "9", " ", "-",
                                            "\xC3\xA9", "\xC3\x89", "\xE9", "\xC9", "\xFF", "\x80", "IMG_", "img_"};
    std::mt19937 gen(11);
    std::set<std::string> names;
    while (names.size() < 400) {
        std::string name = "n";
        const int n = 1 + static_cast<int>(gen() % 5);
        for (int k = 0; k < n; ++k) name += parts[gen() % parts.size()];
        names.insert(gen() % 3 ? name + ".jpg" : name);   // some a case-blind prefix of others
    }
    // A second folder where every name shares a long prefix, and the rest
    // differs only late, only in case or only in length.
    std::set<std::string> camera;
    const std::vector<std::string> tails = {"1", "10", "100", "1000000000", "a", "A", "\xC3\xA9", "_", "~"};
    while (camera.size() < 300) {
        std::string name = "Holiday 2024 - IMG_";
        const int n = 1 + static_cast<int>(gen() % 4);
        for (int k = 0; k < n; ++k) name += tails[gen() % tails.size()];
        camera.insert(name + (gen() % 2 ? ".jpg" : ".JPG"));
    }
    const std::vector<std::vector<std::string>> sets = {{names.begin(), names.end()}, {camera.begin(), camera.end()}};
    for (std::size_t set = 0; set < sets.size(); ++set) {
        const std::string dir = folder("mixed" + std::to_string(set), sets[set]);
        for (const char* locale : {"C", "C.UTF-8"}) {
            if (!std::setlocale(LC_CTYPE, locale)) continue;
            std::vector<std::string> expected = sets[set];
            std::sort(expected.begin(), expected.end(), old_less_ignoring_case);
            std::error_code ec;
            EXPECT_EQ(lv::list_ordinary_files(dir, ec), expected) << locale;
            EXPECT_FALSE(ec);
        }
    }
    std::setlocale(LC_CTYPE, "C");
}
