#include "player/wallpaper.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "core/hooks.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text_file.h"
#include "platform/desktop/desktop_services.h"

namespace lv {

std::string wallpaper_path() { return program().windows_dir + "Lumivane" + ".bmp"; }

bool write_bitmap_file(const QImage& image, const std::string& path) {
    if (image.isNull()) return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "BMP")) return false;
    return replace_file(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

bool save_wallpaper() {
    write_log("Saving Wallpaper:");
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return false;
    yield_events();
    // Painted now and sent to the display ahead of the capture: the area a
    // closed prompt leaves behind is otherwise redrawn only later.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) w->repaint();
    // The whole desktop as it is now, our full-screen player included.
    QImage shot = screen->grabWindow(0).toImage();
    const std::string path = wallpaper_path();
    if (!write_bitmap_file(shot, path)) {
        write_log("Wallpaper not saved: " + path);
        return false;
    }
    bool ok = set_desktop_wallpaper(path);
    yield_events();
    return ok;
}

}  // namespace lv
