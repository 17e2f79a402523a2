#include "platform/desktop/launch.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace lv {

std::string resolve_program_file(const std::string& file, const std::string& program_folder) {
    const QString f = QString::fromStdString(file);
    if (f.isEmpty() || f.contains(QStringLiteral("://")) || QDir::isAbsolutePath(f)) return file;
    QString folder = QString::fromStdString(program_folder);
    if (folder.isEmpty()) folder = QCoreApplication::applicationDirPath();
    // Without a known folder of our own, a relative name names nothing.
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) return {};
    return QDir::cleanPath(QDir(folder).absoluteFilePath(f)).toStdString();
}

bool desktop_open_file(const std::string& file, const std::string& parameters,
                       const std::string& working_folder) {
    const QString f = QString::fromStdString(file);
    if (f.isEmpty()) return false;
    if (f.contains(QStringLiteral("://"))) return QDesktopServices::openUrl(QUrl(f));   // a web address
    const std::string resolved = resolve_program_file(file);
    if (resolved.empty()) return false;
    const QFileInfo info(QString::fromStdString(resolved));
    if (!info.exists()) return false;
    if (info.isFile() && info.isExecutable()) {
        // A program found in our folder starts there rather than wherever we did.
        QString folder = QString::fromStdString(working_folder);
        if (folder.isEmpty() && resolved != file) folder = info.absolutePath();
        // Arguments go as a list: nothing in them reaches a shell.
        return QProcess::startDetached(info.absoluteFilePath(),
                                       QProcess::splitCommand(QString::fromStdString(parameters)), folder);
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

}  // namespace lv
