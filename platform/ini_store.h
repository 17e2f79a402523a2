#pragma once
// The settings store on Linux: an INI file, $XDG_CONFIG_HOME/Tavrel Lumivane.ini
// (default ~/.config), group [Config], every value kept as text.
#include <memory>
#include <string>

#include "core/settings.h"

class QSettings;

namespace lv {

class ini_store : public settings_store {
public:
    // The per-user file.
    ini_store();
    // Any file (tests).
    explicit ini_store(const std::string& path);
    ~ini_store() override;
    ini_store(const ini_store&) = delete;
    ini_store& operator=(const ini_store&) = delete;

    std::string read(const std::string& key, const std::string& default_value) override;
    // Each write reaches the file at once: the screen saver and the main
    // screen may run side by side, and a process may end without unwinding.
    void write(const std::string& key, const std::string& value) override;

    const std::string& path() const { return path_; }

    // "$XDG_CONFIG_HOME/Tavrel Lumivane.ini".
    static std::string default_path();

private:
    std::string path_;
    std::unique_ptr<QSettings> settings_;
};

}  // namespace lv
