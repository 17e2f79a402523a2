#include "core/settings.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "core/effects.h"
#include "core/hooks.h"
#include "core/state.h"

namespace lv {

// ---------------------------------------------------------------- stores

std::string memory_settings_store::read(const std::string& key, const std::string& default_value) {
    calls.push_back({false, key, default_value});
    auto it = values.find(key);
    return it == values.end() ? default_value : it->second;
}

void memory_settings_store::write(const std::string& key, const std::string& value) {
    calls.push_back({true, key, value});
    values[key] = value;
}

std::vector<memory_settings_store::call> memory_settings_store::writes() const {
    std::vector<call> w;
    for (const auto& c : calls) {
        if (c.is_write) w.push_back(c);
    }
    return w;
}

namespace {

settings_store*& installed_store() {
    static settings_store* s = nullptr;
    return s;
}

}  // namespace

void set_settings_store(settings_store* store) { installed_store() = store; }

settings_store& config_store() {
    static memory_settings_store fallback;
    settings_store* s = installed_store();
    return s ? *s : fallback;
}

std::function<void()>& register_extension_hook() {
    static std::function<void()> hook;
    return hook;
}

// ---------------------------------------------------------------- conversions

std::optional<int> parse_setting_int(std::string_view text) {
    auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal forms; a
    // setting is plain decimal, so only digits, one point and an exponent pass.
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.')) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                     std::chars_format::general);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    if (negative) value = -value;

    // Halves go to the even neighbour.
    double whole = std::floor(value);
    double rest = value - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole < -32768.0 || whole > 32767.0) return std::nullopt;
    return static_cast<int>(whole);
}

int read_int_setting(const std::string& key, int default_value) {
    auto parsed = parse_setting_int(config_store().read(key, std::to_string(default_value)));
    return parsed ? *parsed : default_value;
}

std::string hot_key_key(int k) { return "Hot Keys " + std::to_string(k); }
std::string effect_grain_key(int row) { return "Effect Setting Grain " + std::to_string(row); }
std::string effect_speed_key(int row) { return "Effect Setting Speed " + std::to_string(row); }
std::string effect_disable_key(int row) { return "Effect Setting Disable " + std::to_string(row); }

// ---------------------------------------------------------------- load / save

namespace {

std::string read_text(const std::string& key, const std::string& default_value) {
    return config_store().read(key, default_value);
}

void load_effect_settings() {
    auto& table = effect_table();
    // Row 0's grain doubles as the marker that the effects editor has saved
    // the table at least once; without it the built-in table stays.
    table[0].grain = read_int_setting(effect_grain_key(0), -1);
    if (table[0].grain > -1) {
        for (int n = 0; n < effect_rows; ++n) {
            table[n].grain = read_int_setting(effect_grain_key(n), 0);
            table[n].speed = read_int_setting(effect_speed_key(n), 0);
            table[n].disabled = read_int_setting(effect_disable_key(n), 0);
        }
    } else {
        reset_effect_table();
    }
}

}  // namespace

void load_settings() {
    auto& s = settings();
    s.publisher_path = read_text("publisher_path", "");
    s.wav_devicename = read_text("wav_devicename", "WaveAudio");
    s.mid_devicename = read_text("mid_devicename", "Sequencer");
    s.mp3_devicename = read_text("mp3_devicename", "MPEGVideo");
    s.mpg_devicename = read_text("mpg_devicename", "MPEGVIDEO");
    s.avi_devicename = read_text("avi_devicename", "AVIVideo");
    s.cda_devicename = read_text("cda_devicename", "CDAudio");
    s.cd_seektime = read_int_setting("cd_seektime", 1);
    s.random_music = read_int_setting("random_music", 0);
    s.logging = read_int_setting("logging", 0);
    s.install_path = read_text("install_path", "");
    s.extended_time = read_text("extended_time", "18");
    s.extended_flag = read_text("extended_flag", "1");
    s.screen_saver_type = read_int_setting("screen_saver_type", 0);
    s.active_slideshow = read_text("active_slideshow", "");
    s.cancel_mode = read_int_setting("cancel_mode", 9);
    s.mouse_moves_exit = read_int_setting("mouse_moves_exit", 12);
    s.presentation_mode = read_int_setting("presentation_mode", 0);
    s.audio_on = read_int_setting("audio_on", 1);
    s.slideshow_method = read_int_setting("slideshow_method", 0);
    s.slideshow_random_start = read_int_setting("slideshow_random_start", 0);
    s.music_launch = read_int_setting("music_launch", 1);
    s.save_as_wallpaper = read_int_setting("save_as_wallpaper", 0);
    s.display_mode = read_int_setting("display_mode", 0);
    s.button_position = read_text("button_position", "1");
    s.ignore_background = read_int_setting("ignore_background", 0);
    s.auto_stop = read_int_setting("auto_stop", 0);

    load_effect_settings();

    for (int k = 0; k < 12; ++k) s.hot_keys[k] = read_text(hot_key_key(k), "");

    s.misc = read_text("misc", "");
    unscramble_password();

    // The file type is registered once per user.
    if (read_text("set_extension", "no") == "no") {
        if (register_extension_hook()) register_extension_hook()();
        yield_events();
        config_store().write("set_extension", "yes");
        config_store().sync();
        yield_events();
    }
}

bool save_settings() {
    auto& s = settings();
    auto& store = config_store();
    auto put = [&store](const std::string& key, int value) { store.write(key, std::to_string(value)); };
    put("logging", s.logging);
    put("random_music", s.random_music);
    store.write("wav_devicename", s.wav_devicename);
    store.write("mid_devicename", s.mid_devicename);
    store.write("mp3_devicename", s.mp3_devicename);
    store.write("mpg_devicename", s.mpg_devicename);
    store.write("avi_devicename", s.avi_devicename);
    store.write("cda_devicename", s.cda_devicename);
    put("cd_seektime", s.cd_seektime);
    store.write("extended_time", s.extended_time);
    store.write("extended_flag", s.extended_flag);
    put("screen_saver_type", s.screen_saver_type);
    store.write("active_slideshow", s.active_slideshow);
    put("cancel_mode", s.cancel_mode);
    put("mouse_moves_exit", s.mouse_moves_exit);
    put("presentation_mode", s.presentation_mode);
    put("audio_on", s.audio_on);
    put("slideshow_method", s.slideshow_method);
    put("slideshow_random_start", s.slideshow_random_start);
    put("music_launch", s.music_launch);
    put("save_as_wallpaper", s.save_as_wallpaper);
    put("display_mode", s.display_mode);
    store.write("button_position", s.button_position);
    put("ignore_background", s.ignore_background);
    put("auto_stop", s.auto_stop);
    for (int k = 0; k < 12; ++k) store.write(hot_key_key(k), s.hot_keys[k]);
    scramble_password();
    store.write("misc", s.misc);
    return store.sync();
}

// ---------------------------------------------------------------- password

// Character i (1-based) of the password pairs with key character (i mod 5) + 1,
// so the first pairs with the key's second; every character becomes two
// letters, the first in "k".."z" (high nibble), the second in "a".."p".

void scramble_password() {
    auto& s = settings();
    s.misc.clear();
    const std::string& password = s.screensaver_password;
    for (std::size_t i = 1; i <= password.size(); ++i) {
        unsigned c = static_cast<unsigned char>(password[i - 1]) ^
                     static_cast<unsigned char>(password_key[i % 5]);
        s.misc.push_back(static_cast<char>('z' - c / 16));
        s.misc.push_back(static_cast<char>('a' + c % 16));
    }
}

void unscramble_password() {
    auto& s = settings();
    s.screensaver_password.clear();
    const std::string& misc = s.misc;
    // Our own writes always give pairs of letters from the two ranges; any
    // other text (a hand edit, a damaged file) means no password rather than
    // reading past the end or inventing characters.
    if (misc.size() % 2 != 0) return;
    std::string password;
    for (std::size_t i = 0; i + 1 < misc.size(); i += 2) {
        char hi = misc[i];
        char lo = misc[i + 1];
        if (hi < 'k' || hi > 'z' || lo < 'a' || lo > 'p') return;
        unsigned v = static_cast<unsigned>('z' - hi) * 16 + static_cast<unsigned>(lo - 'a');
        std::size_t pair = i / 2 + 1;
        password.push_back(static_cast<char>(v ^ static_cast<unsigned char>(password_key[pair % 5])));
    }
    s.screensaver_password = std::move(password);
}

}  // namespace lv
