#pragma once
// Loading and saving the user's options. Every value lives in a per-user
// key/value store of text (application "Tavrel Lumivane", section "Config");
// the platform layer provides the real store, tests use memory_settings_store.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class settings_store {
public:
    virtual ~settings_store() = default;
    // The stored text of key, or default_value when the key is missing.
    virtual std::string read(const std::string& key, const std::string& default_value) = 0;
    // Replaces (or creates) the value of key. A store may hold writes back
    // until sync().
    virtual void write(const std::string& key, const std::string& value) = 0;
    // Makes every write so far durable; false when the store cannot be written.
    virtual bool sync() { return true; }
};

// A store held in memory that also records every call in order.
class memory_settings_store : public settings_store {
public:
    struct call {
        bool is_write = false;
        std::string key;
        std::string value;   // the written value, or the default of a read
    };

    std::string read(const std::string& key, const std::string& default_value) override;
    void write(const std::string& key, const std::string& value) override;

    std::map<std::string, std::string> values;
    std::vector<call> calls;
    std::vector<call> writes() const;
};

// The store load_settings and save_settings use. nullptr (and the start-up
// state) selects a private in-memory store, so nothing ever dereferences null.
void set_settings_store(settings_store* store);
settings_store& config_store();

// Run once per user by load_settings, the first time "set_extension" reads
// "no": registers the slideshow file type with the desktop.
std::function<void()>& register_extension_hook();

void load_settings();
// Writes every option, then syncs the store once, so that a crash during a
// save leaves either the old settings or the new ones. True when every key
// reached the store.
bool save_settings();

// settings().misc <-> settings().screensaver_password.
void scramble_password();
void unscramble_password();

// The 5-character key the password is scrambled with.
inline constexpr std::string_view password_key = "vQeKt";

// A stored text as a 16-bit integer setting: surrounding blanks allowed, a
// fraction rounds to the nearest whole number with halves to the even one.
// Empty when the text is no number or the result is outside -32768..32767.
std::optional<int> parse_setting_int(std::string_view text);

// Reads key as an integer; a missing key, a non-number or an out-of-range
// number all give default_value.
int read_int_setting(const std::string& key, int default_value);

// Key names built from a number: "Hot Keys 3", "Effect Setting Grain 105".
std::string hot_key_key(int k);
std::string effect_grain_key(int row);
std::string effect_speed_key(int row);
std::string effect_disable_key(int row);

}  // namespace lv
