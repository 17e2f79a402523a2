#include "platform/launch.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace lv {

bool desktop_open_file(const std::string& file, const std::string& parameters,
                       const std::string& working_folder) {
    const QString f = QString::fromStdString(file);
    if (f.isEmpty()) return false;
    if (f.contains(QStringLiteral("://"))) return QDesktopServices::openUrl(QUrl(f));   // a web address
    const QFileInfo info(f);
    if (!info.exists()) return false;
    if (info.isFile() && info.isExecutable()) {
        // Arguments go as a list: nothing in them reaches a shell.
        return QProcess::startDetached(info.absoluteFilePath(),
                                       QProcess::splitCommand(QString::fromStdString(parameters)),
                                       QString::fromStdString(working_folder));
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

}  // namespace lv
