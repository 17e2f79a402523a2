#include "platform/desktop/places.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>

namespace lv {

namespace {

std::string clean(const std::string& folder) {
    if (folder.empty()) return folder;
    return QDir::cleanPath(QDir(QString::fromStdString(folder)).absolutePath()).toStdString();
}

bool holds(const std::string& place, const std::string& folder) {
    if (place == "/") return !folder.empty() && folder.front() == '/';
    return folder == place || folder.rfind(place + "/", 0) == 0;
}

bool is_folder(const std::string& f) {
    const QFileInfo info(QString::fromStdString(f));
    return !f.empty() && info.isDir() && info.isReadable() && info.isExecutable();
}

}  // namespace

std::vector<storage_place> place_list() {
    std::vector<storage_place> places{{"/", "/"}};
    const std::string home = clean(QDir::homePath().toStdString());
    auto known = [&places](const std::string& p) {
        return std::any_of(places.begin(), places.end(), [&p](const storage_place& x) { return x.path == p; });
    };
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid() || !v.isReady()) continue;
        const std::string r = clean(v.rootPath().toStdString());
        const bool removable =
            r.rfind("/media/", 0) == 0 || r.rfind("/mnt/", 0) == 0 || r.rfind("/run/media/", 0) == 0;
        if (removable && r != home && !known(r)) places.push_back({r, r});
    }
    if (!known(home)) places.push_back({home, "Home (" + home + ")"});
    return places;
}

std::vector<std::string> storage_places() {
    std::vector<std::string> paths;
    for (const storage_place& p : place_list()) paths.push_back(p.path);
    return paths;
}

std::string storage_place_of(const std::string& folder) {
    const std::string f = clean(folder);
    std::string best = "/";
    for (const storage_place& p : place_list())
        if (holds(p.path, f) && p.path.size() > best.size()) best = p.path;
    return best;
}

std::string user_media_folder(media_kind kind) {
    const auto where = kind == media_kind::pictures ? QStandardPaths::PicturesLocation : QStandardPaths::MusicLocation;
    const std::string home = clean(QDir::homePath().toStdString());
    for (const QString& f : QStandardPaths::standardLocations(where)) {
        const std::string c = clean(f.toStdString());
        // Without an XDG user-dirs entry Qt may name the home folder itself.
        if (c != home && is_folder(c)) return c;
    }
    return home;
}

std::string opening_folder(const std::string& remembered, const std::string& program_folder, media_kind kind,
                           const QStringList& patterns) {
    const std::string r = clean(remembered);
    if (r.empty()) return user_media_folder(kind);
    if (r != clean(program_folder)) return remembered;
    QDir d(QString::fromStdString(r));
    d.setNameFilters(patterns);
    d.setFilter(QDir::Files);
    return d.entryList().isEmpty() ? user_media_folder(kind) : remembered;
}

}  // namespace lv
