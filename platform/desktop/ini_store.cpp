#include "platform/desktop/ini_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/text_file.h"
#include "platform/desktop/desktop_services.h"

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
    return std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
}

// What no file holds yet, per settings file, shared by every store of the
// process on that file. QSettings shares its own pending values the same
// way, but it saves them through a temporary file named "<name>.XXXXXX",
// which cannot be told from a person's own copy of the settings; so the
// store keeps them here and saves through a temporary file of its own.
struct file_values {
    std::map<QString, QString> pending;
    // What this process last saved, and the file that save made: while the
    // file is still that one, these are its values, even when QSettings has
    // not seen the change (it compares times to the millisecond).
    std::map<QString, QString> saved;
    struct stat saved_as {};
    bool has_saved = false;
};

std::mutex values_mutex;

file_values& values_of(const std::string& path) {
    static std::map<std::string, file_values> all;
    return all[path];
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Whether the file is still the one this process saved last.
bool saved_values_hold(const std::string& path, const file_values& v) {
    struct stat now {};
    return v.has_saved && ::stat(path.c_str(), &now) == 0 && same_file(now, v.saved_as);
}

}  // namespace

int remove_stale_settings_files(std::filesystem::file_time_type now) {
    int removed = 0;
    // Beside each file and, when it is a link, beside the file it leads to,
    // where its saves write.
    auto clean = [&](const std::string& file, bool with_lock) {
        std::vector<std::string> files = {file};
        if (const std::string target = save_target(file); !target.empty() && target != file) files.push_back(target);
        for (const std::string& f : files) {
            const std::filesystem::path p(f);
            // The save's lock is held for a moment only; one a minute old was
            // left by a process that died saving.
            const std::string lock = save_lock_name(p.filename().string());
            removed += remove_stale_files(p.parent_path().string(), now, [&](std::string_view name) {
                return is_temp_file_name(name) || (with_lock && name == lock);
            });
        }
    };
    clean(ini_store::default_path(), true);
    clean(registry_file_path(), false);
    return removed;
}

std::string ini_store::default_path() {
    // GenericConfigLocation honours $XDG_CONFIG_HOME and falls back to ~/.config.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/.config");
    return (dir + QStringLiteral("/Tavrel Lumivane.ini")).toStdString();
}

ini_store::ini_store() : ini_store(default_path()) {}

ini_store::ini_store(const std::string& path) : path_(path), sync_context_(std::make_unique<QObject>()) {
    // QSettings reads the file in its constructor; never let it open a FIFO.
    if (!is_unusable_file(path_)) settings_ = open_settings(path_);
}

ini_store::~ini_store() { sync(); }

std::string ini_store::read(const std::string& key, const std::string& default_value) {
    if (!settings_) {
        auto it = unbacked_.find(key);
        return it == unbacked_.end() ? default_value : it->second;
    }
    const QString full = group + QString::fromStdString(key);
    {
        std::lock_guard lock(values_mutex);
        const file_values& v = values_of(path_);
        if (auto it = v.pending.find(full); it != v.pending.end()) return it->second.toStdString();
        if (saved_values_hold(path_, v))
            if (auto it = v.saved.find(full); it != v.saved.end()) return it->second.toStdString();
    }
    QVariant value = settings_->value(full);
    if (!value.isValid()) return default_value;
    // A hand-edited line with unquoted commas comes back as a list; keep its
    // text rather than losing it.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", ")).toStdString();
    return value.toString().toStdString();
}

void ini_store::write(const std::string& key, const std::string& value) {
    if (!settings_) {
        unbacked_[key] = value;
        return;
    }
    {
        std::lock_guard lock(values_mutex);
        values_of(path_).pending[group + QString::fromStdString(key)] = QString::fromStdString(value);
    }
    // Saved soon without being asked, as QSettings does: some values are
    // written once and never followed by a sync of their own.
    if (!sync_soon_ && QCoreApplication::instance()) {
        sync_soon_ = true;
        QMetaObject::invokeMethod(
            sync_context_.get(),
            [this] {
                sync_soon_ = false;
                sync();
            },
            Qt::QueuedConnection);
    }
}

bool ini_store::sync() {
    if (!settings_) return false;
    // The file may have become something else since we opened it; QSettings
    // would block on a FIFO here too.
    if (is_unusable_file(path_)) return false;
    std::lock_guard guard(values_mutex);
    file_values& v = values_of(path_);
    if (v.pending.empty()) return true;

    // A settings file that is a link is saved where the link leads.
    const std::string dest = save_target(path_);
    if (dest.empty()) return false;
    const QFileInfo target(QString::fromStdString(dest));
    if (!QDir().mkpath(target.absolutePath())) return false;
    // Renaming over a read-only file would work; writing it must not.
    if (target.exists() && ::access(dest.c_str(), W_OK) != 0) return false;
    // So that two processes saving at once each keep what the other wrote.
    // Waited for a moment only: the screen that saves waits with it.
    const save_lock lock(dest, std::chrono::seconds(1));
    if (!lock.held()) return false;

    // What the file holds now (another process may have saved since), what
    // this process saved last, then what it has not saved yet.
    settings_->sync();
    std::map<QString, QVariant> values;
    for (const QString& key : settings_->allKeys()) values[key] = settings_->value(key);
    if (saved_values_hold(path_, v))
        for (const auto& [key, value] : v.saved) values[key] = value;
    for (const auto& [key, value] : v.pending) values[key] = value;

    const bool ok = save_file(dest, [&values](const std::string& temp) {
        QSettings out(QString::fromStdString(temp), QSettings::IniFormat);
        for (const auto& [key, value] : values) out.setValue(key, value);
        out.sync();
        return out.status() == QSettings::NoError;
    });
    if (!ok) return false;

    std::map<QString, QString> saved;
    for (const auto& [key, value] : values)
        if (value.typeId() == QMetaType::QString) saved[key] = value.toString();
    v.saved = std::move(saved);
    v.has_saved = ::stat(path_.c_str(), &v.saved_as) == 0;
    v.pending.clear();
    settings_->sync();   // take in the new file when QSettings notices it
    return true;
}

}  // namespace lv
