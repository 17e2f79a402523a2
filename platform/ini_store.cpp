#include "platform/ini_store.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

namespace lv {

namespace {
const QString group = QStringLiteral("Config/");
}

std::string ini_store::default_path() {
    // GenericConfigLocation honours $XDG_CONFIG_HOME and falls back to ~/.config.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/.config");
    return (dir + QStringLiteral("/Tavrel Lumivane.ini")).toStdString();
}

ini_store::ini_store() : ini_store(default_path()) {}

ini_store::ini_store(const std::string& path)
    : path_(path),
      settings_(std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat)) {}

ini_store::~ini_store() { settings_->sync(); }

std::string ini_store::read(const std::string& key, const std::string& default_value) {
    QVariant v = settings_->value(group + QString::fromStdString(key));
    if (!v.isValid()) return default_value;
    // A hand-edited line with unquoted commas comes back as a list; keep its
    // text rather than losing it.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", ")).toStdString();
    return v.toString().toStdString();
}

void ini_store::write(const std::string& key, const std::string& value) {
    settings_->setValue(group + QString::fromStdString(key), QString::fromStdString(value));
    settings_->sync();
}

}  // namespace lv
