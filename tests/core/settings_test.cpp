#include "core/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/effects.h"
#include "core/hooks.h"
#include "core/state.h"

namespace {

using call = lv::memory_settings_store::call;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::settings() = lv::config_settings{};
        lv::reset_effect_table();
        lv::set_settings_store(&store);
        lv::register_extension_hook() = [this] {
            ++registrations;
            events.push_back("register");
        };
        lv::hooks().yield_events = [this] { events.push_back("yield"); };
    }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::register_extension_hook() = nullptr;
        lv::hooks().yield_events = nullptr;
        lv::settings() = lv::config_settings{};
        lv::reset_effect_table();
    }

    std::vector<call> reads() const {
        std::vector<call> r;
        for (const auto& c : store.calls) {
            if (!c.is_write) r.push_back(c);
        }
        return r;
    }

    lv::memory_settings_store store;
    int registrations = 0;
    std::vector<std::string> events;
};

// Every key the load reads, in order, with the default it passes.
const std::vector<std::pair<std::string, std::string>> named_reads = {
    {"publisher_path", ""},        {"wav_devicename", "WaveAudio"}, {"mid_devicename", "Sequencer"},
    {"mp3_devicename", "MPEGVideo"}, {"mpg_devicename", "MPEGVIDEO"}, {"avi_devicename", "AVIVideo"},
    {"cda_devicename", "CDAudio"}, {"cd_seektime", "1"},            {"random_music", "0"},
    {"logging", "0"},              {"install_path", ""},            {"extended_time", "18"},
    {"extended_flag", "1"},        {"screen_saver_type", "0"},      {"active_slideshow", ""},
    {"cancel_mode", "9"},          {"mouse_moves_exit", "12"},      {"presentation_mode", "0"},
    {"audio_on", "1"},             {"slideshow_method", "0"},       {"slideshow_random_start", "0"},
    {"music_launch", "1"},         {"save_as_wallpaper", "0"},      {"display_mode", "0"},
    {"button_position", "1"},      {"ignore_background", "0"},      {"auto_stop", "0"},
};

TEST_F(SettingsTest, FreshStoreReadsEveryKeyInOrderWithItsDefault) {
    lv::load_settings();

    std::vector<std::pair<std::string, std::string>> expected = named_reads;
    expected.emplace_back("Effect Setting Grain 0", "-1");
    for (int k = 0; k < 12; ++k) expected.emplace_back("Hot Keys " + std::to_string(k), "");
    expected.emplace_back("misc", "");
    expected.emplace_back("set_extension", "no");

    auto r = reads();
    ASSERT_EQ(r.size(), expected.size());
    for (std::size_t i = 0; i < r.size(); ++i) {
        EXPECT_EQ(r[i].key, expected[i].first) << i;
        EXPECT_EQ(r[i].value, expected[i].second) << r[i].key;
    }

    const auto& s = lv::settings();
    EXPECT_EQ(s.wav_devicename, "WaveAudio");
    EXPECT_EQ(s.mpg_devicename, "MPEGVIDEO");
    EXPECT_EQ(s.cd_seektime, 1);
    EXPECT_EQ(s.extended_time, "18");
    EXPECT_EQ(s.extended_flag, "1");
    EXPECT_EQ(s.cancel_mode, 9);
    EXPECT_EQ(s.mouse_moves_exit, 12);
    EXPECT_EQ(s.audio_on, 1);
    EXPECT_EQ(s.music_launch, 1);
    EXPECT_EQ(s.button_position, "1");
    EXPECT_EQ(s.screensaver_password, "");
    EXPECT_EQ(lv::effect_table()[0].grain, 1);   // the built-in table stays
    EXPECT_EQ(lv::effect_table()[25].disabled, 1);
}

TEST_F(SettingsTest, FileTypeIsRegisteredOnceThenMarked) {
    lv::load_settings();
    EXPECT_EQ(registrations, 1);
    EXPECT_EQ((std::vector<std::string>{"register", "yield", "yield"}), events);
    auto w = store.writes();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].key, "set_extension");
    EXPECT_EQ(w[0].value, "yes");

    // The write sits between the two yields.
    events.clear();
    store.values["set_extension"] = "no";
    lv::hooks().yield_events = [this] {
        events.push_back("yield:" + store.values["set_extension"]);
    };
    lv::load_settings();
    EXPECT_EQ((std::vector<std::string>{"register", "yield:no", "yield:yes"}), events);

    // Any value but exactly "no" skips it.
    for (const char* v : {"yes", "No", "no ", ""}) {
        store.values["set_extension"] = v;
        store.calls.clear();
        lv::load_settings();
        EXPECT_EQ(registrations, 2) << v;
        EXPECT_TRUE(store.writes().empty()) << v;
    }
}

TEST_F(SettingsTest, SaveWritesThirtyEightKeysInOrder) {
    auto& s = lv::settings();
    s.publisher_path = "/opt/pub";
    s.install_path = "/opt/lumivane/";
    s.logging = 1;
    s.random_music = 1;
    s.cd_seektime = 3;
    s.extended_time = "7";
    s.active_slideshow = "Holiday.lmv";
    s.cancel_mode = 4;
    s.display_mode = 3;
    s.button_position = "2";
    s.auto_stop = 1;
    s.hot_keys[0] = "/usr/bin/gimp";
    s.hot_keys[11] = "/usr/bin/xterm";
    s.hot_keys[12] = "never stored";
    s.screensaver_password = "a";

    lv::save_settings();

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"logging", "1"},
        {"random_music", "1"},
        {"wav_devicename", "WaveAudio"},
        {"mid_devicename", "Sequencer"},
        {"mp3_devicename", "MPEGVideo"},
        {"mpg_devicename", "MPEGVIDEO"},
        {"avi_devicename", "AVIVideo"},
        {"cda_devicename", "CDAudio"},
        {"cd_seektime", "3"},
        {"extended_time", "7"},
        {"extended_flag", "1"},
        {"screen_saver_type", "0"},
        {"active_slideshow", "Holiday.lmv"},
        {"cancel_mode", "4"},
        {"mouse_moves_exit", "12"},
        {"presentation_mode", "0"},
        {"audio_on", "1"},
        {"slideshow_method", "0"},
        {"slideshow_random_start", "0"},
        {"music_launch", "1"},
        {"save_as_wallpaper", "0"},
        {"display_mode", "3"},
        {"button_position", "2"},
        {"ignore_background", "0"},
        {"auto_stop", "1"},
        {"Hot Keys 0", "/usr/bin/gimp"},
        {"Hot Keys 1", ""},
        {"Hot Keys 2", ""},
        {"Hot Keys 3", ""},
        {"Hot Keys 4", ""},
        {"Hot Keys 5", ""},
        {"Hot Keys 6", ""},
        {"Hot Keys 7", ""},
        {"Hot Keys 8", ""},
        {"Hot Keys 9", ""},
        {"Hot Keys 10", ""},
        {"Hot Keys 11", "/usr/bin/xterm"},
        {"misc", "wa"},
    };
    auto w = store.writes();
    ASSERT_EQ(w.size(), 38u);
    for (std::size_t i = 0; i < w.size(); ++i) {
        EXPECT_EQ(w[i].key, expected[i].first) << i;
        EXPECT_EQ(w[i].value, expected[i].second) << w[i].key;
    }
    EXPECT_TRUE(reads().empty());
    EXPECT_EQ(s.misc, "wa");
}

TEST_F(SettingsTest, SavedSettingsLoadBackUnchanged) {
    auto& s = lv::settings();
    s.wav_devicename = "pulse";
    s.random_music = 1;
    s.logging = 1;
    s.extended_time = "5";
    s.extended_flag = "0";
    s.screen_saver_type = 1;
    s.active_slideshow = "My Show.lmv";
    s.cancel_mode = 7;
    s.mouse_moves_exit = 30;
    s.presentation_mode = 1;
    s.audio_on = 0;
    s.slideshow_method = 1;
    s.slideshow_random_start = 1;
    s.music_launch = 30;
    s.save_as_wallpaper = 1;
    s.display_mode = 2;
    s.button_position = "3";
    s.ignore_background = 1;
    s.auto_stop = 1;
    for (int k = 0; k < 12; ++k) s.hot_keys[k] = "/bin/prog" + std::to_string(k);
    s.screensaver_password = "Pass word!";
    lv::save_settings();
    const lv::config_settings saved = s;

    s = lv::config_settings{};
    lv::load_settings();
    EXPECT_EQ(s.wav_devicename, saved.wav_devicename);
    EXPECT_EQ(s.random_music, 1);
    EXPECT_EQ(s.logging, 1);
    EXPECT_EQ(s.extended_time, "5");
    EXPECT_EQ(s.extended_flag, "0");
    EXPECT_EQ(s.screen_saver_type, 1);
    EXPECT_EQ(s.active_slideshow, "My Show.lmv");
    EXPECT_EQ(s.cancel_mode, 7);
    EXPECT_EQ(s.mouse_moves_exit, 30);
    EXPECT_EQ(s.presentation_mode, 1);
    EXPECT_EQ(s.audio_on, 0);
    EXPECT_EQ(s.slideshow_method, 1);
    EXPECT_EQ(s.slideshow_random_start, 1);
    EXPECT_EQ(s.music_launch, 30);
    EXPECT_EQ(s.save_as_wallpaper, 1);
    EXPECT_EQ(s.display_mode, 2);
    EXPECT_EQ(s.button_position, "3");
    EXPECT_EQ(s.ignore_background, 1);
    EXPECT_EQ(s.auto_stop, 1);
    EXPECT_EQ(s.hot_keys, saved.hot_keys);
    EXPECT_EQ(s.misc, "zbzewizhugxgzkwjyauh");
    EXPECT_EQ(s.screensaver_password, "Pass word!");
}

TEST_F(SettingsTest, InstallerKeysAreReadButNeverWritten) {
    store.values["publisher_path"] = "/opt/pack/packager";
    store.values["install_path"] = "/opt/lumivane/";
    lv::load_settings();
    EXPECT_EQ(lv::settings().publisher_path, "/opt/pack/packager");
    EXPECT_EQ(lv::settings().install_path, "/opt/lumivane/");
    lv::settings().install_path = "/elsewhere/";
    lv::save_settings();
    for (const auto& w : store.writes()) {
        EXPECT_NE(w.key, "publisher_path");
        EXPECT_NE(w.key, "install_path");
        EXPECT_NE(w.key, "Hot Keys 12");
    }
    EXPECT_EQ(store.values["install_path"], "/opt/lumivane/");
    for (const auto& c : store.calls) EXPECT_NE(c.key, "Hot Keys 12");
}

TEST_F(SettingsTest, IntegersRoundHalfToEven) {
    EXPECT_EQ(lv::parse_setting_int("2.5"), 2);
    EXPECT_EQ(lv::parse_setting_int("3.5"), 4);
    EXPECT_EQ(lv::parse_setting_int("-2.5"), -2);
    EXPECT_EQ(lv::parse_setting_int("-3.5"), -4);
    EXPECT_EQ(lv::parse_setting_int("2.51"), 3);
    EXPECT_EQ(lv::parse_setting_int(" 7 "), 7);
    EXPECT_EQ(lv::parse_setting_int("+12"), 12);
    EXPECT_EQ(lv::parse_setting_int("1e2"), 100);
    EXPECT_EQ(lv::parse_setting_int(".5"), 0);
    EXPECT_EQ(lv::parse_setting_int("-32768"), -32768);
    EXPECT_EQ(lv::parse_setting_int("32767"), 32767);
    EXPECT_EQ(lv::parse_setting_int("32767.5"), std::nullopt);   // rounds to 32768
    EXPECT_EQ(lv::parse_setting_int("-32768.5"), -32768);
    EXPECT_EQ(lv::parse_setting_int("40000"), std::nullopt);
    for (const char* bad : {"", " ", "abc", "12abc", "1,5", "0x10", "inf", "nan", "-", "1e99999", "--1"}) {
        EXPECT_EQ(lv::parse_setting_int(bad), std::nullopt) << bad;
    }

    store.values["cancel_mode"] = "4.5";
    store.values["mouse_moves_exit"] = "5.5";
    lv::load_settings();
    EXPECT_EQ(lv::settings().cancel_mode, 4);
    EXPECT_EQ(lv::settings().mouse_moves_exit, 6);
}

// A damaged or hand-edited store must not stop the program from starting.
TEST_F(SettingsTest, BadNumbersLoadAsTheKeysDefault) {
    store.values["cancel_mode"] = "fast";
    store.values["mouse_moves_exit"] = "70000";
    store.values["audio_on"] = "";
    store.values["music_launch"] = "-99999";
    store.values["cd_seektime"] = "3";
    lv::load_settings();
    EXPECT_EQ(lv::settings().cancel_mode, 9);
    EXPECT_EQ(lv::settings().mouse_moves_exit, 12);
    EXPECT_EQ(lv::settings().audio_on, 1);
    EXPECT_EQ(lv::settings().music_launch, 1);
    EXPECT_EQ(lv::settings().cd_seektime, 3);

    // Variant settings keep their text.
    store.values["extended_time"] = "abc";
    lv::load_settings();
    EXPECT_EQ(lv::settings().extended_time, "abc");
}

TEST_F(SettingsTest, EffectKeysAreReadOnlyOnceTheTableWasSaved) {
    auto& t = lv::effect_table();
    // Other keys alone keep the built-in table, even over a changed one.
    store.values["logging"] = "1";
    store.values["Effect Setting Grain 7"] = "99";
    t[3].grain = 55;
    lv::load_settings();
    EXPECT_EQ(t[3].grain, 4);
    EXPECT_EQ(t[7].grain, 4);
    EXPECT_EQ(t[0].grain, 1);
    EXPECT_EQ(t[25].disabled, 1);
    for (const auto& c : store.calls) {
        if (c.key.rfind("Effect Setting", 0) == 0) {
            EXPECT_EQ(c.key, "Effect Setting Grain 0");
        }
    }

    // Once row 0's grain is stored, every row is read and missing keys are 0.
    store.values["Effect Setting Grain 0"] = "0";
    store.values["Effect Setting Speed 7"] = "12";
    store.values["Effect Setting Disable 7"] = "1";
    store.values["Effect Setting Disable 105"] = "1";
    store.calls.clear();
    lv::load_settings();
    EXPECT_EQ(t[0].grain, 0);
    EXPECT_EQ(t[7].grain, 99);
    EXPECT_EQ(t[7].speed, 12);
    EXPECT_EQ(t[7].disabled, 1);
    EXPECT_EQ(t[7].effect_number, 6);   // numbers never come from the store
    EXPECT_EQ(t[3].grain, 0);
    EXPECT_EQ(t[3].speed, 0);
    EXPECT_EQ(t[25].disabled, 0);
    EXPECT_EQ(t[105].disabled, 1);
    EXPECT_EQ(t[105].effect_number, 113);

    std::vector<std::string> effect_reads;
    for (const auto& c : store.calls) {
        if (c.key.rfind("Effect Setting", 0) == 0) {
            effect_reads.push_back(c.key);
            if (effect_reads.size() > 1) {
                EXPECT_EQ(c.value, "0") << c.key;
            }
        }
    }
    ASSERT_EQ(effect_reads.size(), 1u + 3u * 106u);
    EXPECT_EQ(effect_reads[1], "Effect Setting Grain 0");
    EXPECT_EQ(effect_reads[2], "Effect Setting Speed 0");
    EXPECT_EQ(effect_reads[3], "Effect Setting Disable 0");
    EXPECT_EQ(effect_reads.back(), "Effect Setting Disable 105");

    // A marker that is no number counts as absent.
    store.values["Effect Setting Grain 0"] = "x";
    lv::load_settings();
    EXPECT_EQ(t[7].grain, 4);
    EXPECT_EQ(t[0].grain, 1);
}

TEST_F(SettingsTest, ScramblingKnownValues) {
    auto& s = lv::settings();
    s.screensaver_password = "secret";
    lv::scramble_password();
    EXPECT_EQ(s.misc, "xczaxizgydxf");
    s.screensaver_password = "";
    lv::scramble_password();
    EXPECT_EQ(s.misc, "");
    lv::unscramble_password();
    EXPECT_EQ(s.screensaver_password, "");
}

TEST_F(SettingsTest, ScramblingIsExactInverseForEveryCodeAndPosition) {
    auto& s = lv::settings();
    // Each code at each of the five key positions.
    for (int code = 1; code <= 255; ++code) {
        for (int pos = 0; pos < 5; ++pos) {
            std::string password(static_cast<std::size_t>(pos), 'x');
            password.push_back(static_cast<char>(code));
            s.screensaver_password = password;
            lv::scramble_password();
            ASSERT_EQ(s.misc.size(), password.size() * 2);
            for (std::size_t i = 0; i < s.misc.size(); i += 2) {
                ASSERT_GE(s.misc[i], 'k');
                ASSERT_LE(s.misc[i], 'z');
                ASSERT_GE(s.misc[i + 1], 'a');
                ASSERT_LE(s.misc[i + 1], 'p');
            }
            s.screensaver_password = "junk";
            lv::unscramble_password();
            ASSERT_EQ(s.screensaver_password, password) << "code " << code << " pos " << pos;
        }
    }
    // And every pair of letters decodes to something that scrambles back.
    for (char hi = 'k'; hi <= 'z'; ++hi) {
        for (char lo = 'a'; lo <= 'p'; ++lo) {
            s.misc = std::string("kk") + hi + lo;
            lv::unscramble_password();
            ASSERT_EQ(s.screensaver_password.size(), 2u);
            lv::scramble_password();
            ASSERT_EQ(s.misc, std::string("kk") + hi + lo);
        }
    }
}

TEST_F(SettingsTest, DamagedMiscLoadsAsNoPassword) {
    auto& s = lv::settings();
    for (const char* bad : {"w", "wab", "WA", "wq", "ja", "wa{a", "wa w", "wa\xff"}) {
        s.misc = bad;
        s.screensaver_password = "old";
        lv::unscramble_password();
        EXPECT_EQ(s.screensaver_password, "") << bad;
    }
    store.values["misc"] = "xczaxizgydx";   // one letter short
    lv::load_settings();
    EXPECT_EQ(s.screensaver_password, "");
    // Saving afterwards stores a clean empty password.
    lv::save_settings();
    EXPECT_EQ(store.values["misc"], "");
}

TEST_F(SettingsTest, ReadIntSettingForOtherKeys) {
    store.values["Message3"] = "1";
    EXPECT_EQ(lv::read_int_setting("Message3", 0), 1);
    EXPECT_EQ(lv::read_int_setting("Message4", 0), 0);
    EXPECT_EQ(store.calls.back().value, "0");
    EXPECT_EQ(lv::hot_key_key(11), "Hot Keys 11");
    EXPECT_EQ(lv::effect_disable_key(105), "Effect Setting Disable 105");
}

TEST(SettingsStore, WithoutAnInstalledStoreAPrivateOneIsUsed) {
    lv::set_settings_store(nullptr);
    lv::config_store().write("k", "v");
    EXPECT_EQ(lv::config_store().read("k", "d"), "v");
    EXPECT_EQ(lv::config_store().read("missing", "d"), "d");
}

}  // namespace

namespace {

// Records where in the stream of writes each sync comes, and can fail it.
class syncing_store : public lv::memory_settings_store {
public:
    bool sync() override {
        syncs_after.push_back(writes().size());
        return sync_result;
    }
    std::vector<std::size_t> syncs_after;
    bool sync_result = true;
};

}  // namespace

// A save is one unit: every key is written, then the store is synced once,
// and the caller learns whether that reached the store. The one-time
// registration mark is synced on its own, so it survives a process that
// never saves.
TEST(SettingsSync, SaveWritesEveryKeyThenSyncsOnce) {
    syncing_store store;
    lv::set_settings_store(&store);
    lv::settings() = lv::config_settings{};
    EXPECT_TRUE(lv::save_settings());
    ASSERT_EQ(store.syncs_after.size(), 1u);
    EXPECT_EQ(store.syncs_after[0], store.writes().size());
    EXPECT_EQ(store.writes().back().key, "misc");

    store.sync_result = false;
    EXPECT_FALSE(lv::save_settings());

    store.calls.clear();
    store.syncs_after.clear();
    store.values.erase("set_extension");
    lv::load_settings();
    ASSERT_EQ(store.syncs_after.size(), 1u);
    EXPECT_EQ(store.writes().at(store.syncs_after[0] - 1).key, "set_extension");
    lv::set_settings_store(nullptr);
    lv::register_extension_hook() = nullptr;
    lv::settings() = lv::config_settings{};
}
