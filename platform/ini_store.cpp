#include "platform/ini_store.h"

#include <sys/stat.h>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <string_view>

#include "core/text_file.h"
#include "platform/desktop_services.h"

namespace lv {

namespace {

const QString group = QStringLiteral("Config/");

// Something is at path and it is not a regular file (a FIFO, a device, a
// folder). lstat is not enough: a link to a FIFO blocks just the same.
bool is_unusable_file(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return !S_ISREG(st.st_mode);
}

std::unique_ptr<QSettings> open_settings(const std::string& path) {
    auto settings = std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
    // QSettings already replaces the file through a temporary one by
    // default; say so, since the all-or-nothing save depends on it.
    settings->setAtomicSyncRequired(true);
    return settings;
}

// Qt's temporary name for a save of target: target's name, a dot and six
// random ASCII letters. Six letters all of one case are left alone: that is
// how a person names a copy ("Tavrel Lumivane.ini.backup"), while a random
// name mixes the cases 31 times in 32.
bool is_temp_name_of(std::string_view name, std::string_view target) {
    constexpr std::size_t letters = 6;
    if (name.size() != target.size() + 1 + letters || !name.starts_with(target) || name[target.size()] != '.')
        return false;
    bool upper = false, lower = false;
    for (char c : name.substr(target.size() + 1)) {
        const bool up = c >= 'A' && c <= 'Z', low = c >= 'a' && c <= 'z';
        if (!up && !low) return false;
        upper = upper || up;
        lower = lower || low;
    }
    return upper && lower;
}

}  // namespace

int remove_stale_settings_files(std::filesystem::file_time_type now) {
    const std::filesystem::path settings_file(ini_store::default_path());
    const std::string settings_name = settings_file.filename().string();
    int removed = remove_stale_files(settings_file.parent_path().string(), now, [&](std::string_view name) {
        return name == settings_name + ".lock" || is_temp_name_of(name, settings_name);
    });
    const std::filesystem::path registry(registry_file_path());
    const std::string registry_name = registry.filename().string();
    removed += remove_stale_files(registry.parent_path().string(), now,
                                  [&](std::string_view name) { return is_temp_name_of(name, registry_name); });
    return removed;
}

std::string ini_store::default_path() {
    // GenericConfigLocation honours $XDG_CONFIG_HOME and falls back to ~/.config.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/.config");
    return (dir + QStringLiteral("/Tavrel Lumivane.ini")).toStdString();
}

ini_store::ini_store() : ini_store(default_path()) {}

ini_store::ini_store(const std::string& path) : path_(path) {
    // QSettings reads the file in its constructor; never let it open a FIFO.
    if (!is_unusable_file(path_)) settings_ = open_settings(path_);
}

ini_store::~ini_store() { sync(); }

std::string ini_store::read(const std::string& key, const std::string& default_value) {
    if (!settings_) {
        auto it = unbacked_.find(key);
        return it == unbacked_.end() ? default_value : it->second;
    }
    QVariant v = settings_->value(group + QString::fromStdString(key));
    if (!v.isValid()) return default_value;
    // A hand-edited line with unquoted commas comes back as a list; keep its
    // text rather than losing it.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", ")).toStdString();
    return v.toString().toStdString();
}

void ini_store::write(const std::string& key, const std::string& value) {
    if (!settings_) {
        unbacked_[key] = value;
        return;
    }
    settings_->setValue(group + QString::fromStdString(key), QString::fromStdString(value));
}

bool ini_store::sync() {
    if (!settings_) return false;
    // The file may have become something else since we opened it; QSettings
    // would block on a FIFO here too.
    if (is_unusable_file(path_)) return false;
    // QSettings keeps the first error it meets for its whole life, and a
    // read of a damaged file counts as one: parsing the damaged text during
    // the very sync that replaces it reports a format error although the new
    // file was written, and an error once met hides every later outcome. A
    // fresh object on the same file shares the values and pending writes (Qt
    // shares them within a process) but not that error, so when the status
    // is not clean, the outcome is asked again of a fresh one: the write is
    // then done or retried, and only a failed write stays an error.
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        auto fresh = open_settings(path_);   // syncs (writes) in its constructor
        fresh->sync();
        settings_ = std::move(fresh);
    }
    return settings_->status() == QSettings::NoError;
}

}  // namespace lv
