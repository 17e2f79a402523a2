#include "core/startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "core/caption_schemes.h"
#include "core/document.h"
#include "core/effects.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"

namespace {

namespace fs = std::filesystem;

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lumivane-startup-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        lv::startup().executable_folder = [] { return std::string("/opt/lumivane/bin"); };
        lv::startup().windows_dir = [this] { return root.string() + "/win"; };
        lv::set_settings_store(&store);
        lv::register_extension_hook() = [this] { ++registrations; };
        lv::hooks().yield_events = [this] { ++yields; };
        lv::hooks().screen = [] {
            lv::screen_facts f;
            f.twips_per_pixel_x = 12;
            f.twips_per_pixel_y = 14;
            return f;
        };
        lv::settings() = lv::config_settings{};
        lv::program() = lv::program_state{};
        lv::run() = lv::run_flags{};
    }
    void TearDown() override {
        lv::startup() = lv::startup_hooks{};
        lv::set_settings_store(nullptr);
        lv::register_extension_hook() = nullptr;
        lv::hooks() = lv::core_hooks{};
        lv::set_random_source(nullptr);
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void make_data_folder() {
        lv::program().data_folder = root.string() + "/data/";
        fs::create_directories(lv::program().data_folder);
    }
    void touch(const std::string& name) {
        std::ofstream(lv::program().data_folder + name) << "Lumivane,6,Custom\n";
    }

    fs::path root;
    lv::memory_settings_store store;
    int registrations = 0;
    int yields = 0;
};

TEST(VersionCaption, PlainDecimalNumbers) {
    EXPECT_EQ(lv::make_version_caption(lv::version_major, lv::version_minor, lv::version_revision),
              "Lumivane - v.6.0.11");
    EXPECT_EQ(lv::make_version_caption(10, 2, 0), "Lumivane - v.10.2.0");
}

TEST_F(StartupTest, InitProgramSetsUpTheProcess) {
    auto& p = lv::program();
    auto& r = lv::run();
    r.start_image = 5;
    r.show_origin = 2;
    r.running_as_screensaver = 1;
    r.screensaver_slideshow_path = "/x.lmv";
    p.print_cancelled = 1;
    p.print_audio_settings = 0;
    lv::effect_table()[2].grain = 99;
    lv::doc().custom_name = "old";
    lv::doc().random_name = "old";
    store.values["logging"] = "1";

    lv::init_program();

    EXPECT_EQ(p.program_folder, "/opt/lumivane/bin/");
    EXPECT_EQ(p.last_folder, p.program_folder);
    EXPECT_EQ(p.last_music_folder, p.program_folder);
    EXPECT_EQ(p.last_sound_folder, p.program_folder);
    EXPECT_EQ(p.last_random_folders[0], p.program_folder);
    EXPECT_EQ(p.last_random_folders[2], p.program_folder);
    EXPECT_EQ(p.windows_dir, root.string() + "/win/");
    EXPECT_EQ(p.data_folder, root.string() + "/win/Lumivane Data/");
    EXPECT_TRUE(fs::is_directory(p.data_folder));
    EXPECT_EQ(p.twips_per_pixel_x, 12);
    EXPECT_EQ(p.twips_per_pixel_y, 14);
    EXPECT_EQ(p.print_cancelled, 0);
    EXPECT_EQ(p.print_audio_settings, 1);
    EXPECT_EQ(r.start_image, 0);
    EXPECT_EQ(r.show_origin, 0);
    EXPECT_EQ(r.running_as_screensaver, 0);
    EXPECT_EQ(r.screensaver_slideshow_path, "");
    EXPECT_EQ(lv::effect_table()[2].grain, 4);
    EXPECT_EQ(lv::caption_schemes()[8].text_color, 0xC100C1);
    EXPECT_EQ(lv::doc().custom_name, "");
    EXPECT_EQ(lv::doc().random_name, "");
    EXPECT_EQ(lv::settings().logging, 1);   // the settings are loaded last
    EXPECT_EQ(registrations, 1);
    EXPECT_EQ(store.values["set_extension"], "yes");
}

TEST_F(StartupTest, ExistingDataFolderIsKept) {
    fs::create_directories(root / "win" / "Lumivane Data");
    std::ofstream(root / "win" / "Lumivane Data" / "Keep.lmv") << "x\n";
    lv::startup().windows_dir = [this] { return root.string() + "/win/"; };   // already ends in "/"
    lv::init_program();
    EXPECT_EQ(lv::program().windows_dir, root.string() + "/win/");
    EXPECT_TRUE(fs::exists(root / "win" / "Lumivane Data" / "Keep.lmv"));
}

TEST_F(StartupTest, UncreatableDataFolderDoesNotStopTheStart) {
    fs::create_directories(root / "win");
    std::ofstream(root / "win" / "Lumivane Data") << "a file in the way\n";
    lv::init_program();
    EXPECT_FALSE(fs::is_directory(lv::program().data_folder));
    EXPECT_EQ(lv::choose_screensaver_slideshow(), 1);
    EXPECT_EQ(lv::settings().cancel_mode, 9);
}

TEST_F(StartupTest, NoFolderOrNoSlideshowGivesOne) {
    lv::program().data_folder = root.string() + "/missing/";
    lv::run().screensaver_slideshow_path = "stale";
    EXPECT_EQ(lv::choose_screensaver_slideshow(), 1);
    EXPECT_EQ(lv::run().screensaver_slideshow_path, "");

    make_data_folder();
    touch("notes.txt");
    fs::create_directory(lv::program().data_folder + "folder.lmv");
    touch(".hidden.lmv");
    EXPECT_EQ(lv::choose_screensaver_slideshow(), 1);
    EXPECT_EQ(lv::run().screensaver_slideshow_path, "");
}

TEST_F(StartupTest, ActiveSlideshowIsPlayedWhenPresent) {
    make_data_folder();
    touch("Alps.lmv");
    touch("Beach.LMV");
    touch("Cats.lmv");
    touch("readme.txt");
    lv::settings().active_slideshow = "Beach.LMV";
    lv::set_random_source([] { return 0.0; });
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lv::choose_screensaver_slideshow(), 0);
        EXPECT_EQ(lv::run().screensaver_slideshow_path, lv::program().data_folder + "Beach.LMV");
    }
    EXPECT_GE(yields, 4);   // one per name read
}

TEST_F(StartupTest, RandomPickWhenActiveIsAbsentDiffersInCaseOrTypeIsRandom) {
    make_data_folder();
    touch("Alps.lmv");
    touch("Beach.lmv");
    touch("Cats.lmv");
    auto picks = [] {
        std::set<std::string> seen;
        for (double r : {0.0, 0.34, 0.67, 0.999}) {
            lv::set_random_source([r] { return r; });
            EXPECT_EQ(lv::choose_screensaver_slideshow(), 0);
            seen.insert(lv::run().screensaver_slideshow_path);
        }
        return seen;
    };
    const std::set<std::string> all = {lv::program().data_folder + "Alps.lmv",
                                       lv::program().data_folder + "Beach.lmv",
                                       lv::program().data_folder + "Cats.lmv"};
    lv::settings().active_slideshow = "";
    EXPECT_EQ(picks(), all);
    lv::settings().active_slideshow = "beach.lmv";
    EXPECT_EQ(picks(), all);
    lv::settings().active_slideshow = "Beach.lmv";
    lv::settings().screen_saver_type = 1;
    EXPECT_EQ(picks(), all);
}

TEST_F(StartupTest, AThousandSlideshowsFitButNotOneMore) {
    make_data_folder();
    for (int i = 0; i < 1000; ++i) touch("show" + std::to_string(i) + ".lmv");
    lv::settings().active_slideshow = "show999.lmv";
    EXPECT_EQ(lv::choose_screensaver_slideshow(), 0);
    EXPECT_EQ(lv::run().screensaver_slideshow_path, lv::program().data_folder + "show999.lmv");
    touch("show1000.lmv");
    EXPECT_EQ(lv::choose_screensaver_slideshow(), 1);
    EXPECT_EQ(lv::run().screensaver_slideshow_path, "");
}

}  // namespace

// Temporaries of saves and of the log that a killed process left behind go
// at the next start; the user's own files of similar names stay.
TEST_F(StartupTest, TheStartRemovesOurStaleTemporaryFiles) {
    const fs::path data = root / "win" / "Lumivane Data";
    fs::create_directories(data);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(2);
    const auto make = [](const fs::path& p, bool aged, fs::file_time_type when) {
        std::ofstream(p) << "partial";
        if (aged) fs::last_write_time(p, when);
    };
    make(data / ".Trip.lmv.lumivane-tmp-483920", true, old);
    make(root / "win" / ".Lumivane Log.txt.lumivane-tmp-17", true, old);
    make(data / ".Party.lmv.lumivane-tmp-55", false, old);   // another process may be saving it now
    make(data / ".Trip.lmv.tmp483920", true, old);           // not a name we make
    make(data / "Trip.lmv.lumivane-tmp-483920", true, old);
    lv::init_program();
    EXPECT_FALSE(fs::exists(data / ".Trip.lmv.lumivane-tmp-483920"));
    EXPECT_FALSE(fs::exists(root / "win" / ".Lumivane Log.txt.lumivane-tmp-17"));
    EXPECT_TRUE(fs::exists(data / ".Party.lmv.lumivane-tmp-55"));
    EXPECT_TRUE(fs::exists(data / ".Trip.lmv.tmp483920"));
    EXPECT_TRUE(fs::exists(data / "Trip.lmv.lumivane-tmp-483920"));
}
