#pragma once
// The settings store on Linux: an INI file, $XDG_CONFIG_HOME/Tavrel Lumivane.ini
// (default ~/.config), group [Config], every value kept as text.
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "core/settings.h"

class QObject;
class QSettings;

namespace lv {

class ini_store : public settings_store {
public:
    // The per-user file.
    ini_store();
    // Any file (tests).
    explicit ini_store(const std::string& path);
    // Syncs, so a process that writes a key and ends normally keeps it.
    ~ini_store() override;
    ini_store(const ini_store&) = delete;
    ini_store& operator=(const ini_store&) = delete;

    std::string read(const std::string& key, const std::string& default_value) override;
    // Held until sync(), which the event loop runs soon after; other
    // ini_store objects of this process on the same file see the value at once.
    void write(const std::string& key, const std::string& value) override;
    // Replaces the file atomically (a new file renamed over the old one), so
    // that a process killed mid-save leaves all-old or all-new values; a file
    // that is a link is saved where it leads (save_file). False when the file
    // cannot be written: read-only, not a regular file, its folder cannot be
    // created, or another process's save held the lock (save_lock) all
    // through the moment it is waited for; the values are then kept for the
    // next sync.
    bool sync() override;

    const std::string& path() const { return path_; }

    // "$XDG_CONFIG_HOME/Tavrel Lumivane.ini".
    static std::string default_path();

private:
    std::string path_;
    // Null when the path names something other than a regular file (a FIFO
    // would block the open): the values then live only in memory.
    std::unique_ptr<QSettings> settings_;
    std::map<std::string, std::string> unbacked_;
    // The queued save goes with the store.
    std::unique_ptr<QObject> sync_context_;
    bool sync_soon_ = false;
};

// What the settings writers leave behind when a process dies mid-write:
// their marked temporary files (is_temp_file_name) beside the settings file
// and beside the registry stand-in, and the settings save's lock. Those a
// minute old or older (against now) are removed; nothing else is touched.
// Returns how many went.
int remove_stale_settings_files(std::filesystem::file_time_type now);

}  // namespace lv
