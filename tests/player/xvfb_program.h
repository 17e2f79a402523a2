#pragma once
// Running the real lumivane executable on the X server of xvfb-run: its
// per-user folders in a temporary tree, slideshows made of plain colours, and
// looks at the screen, the pointer and the X server's own screen saver.
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "core/document.h"
#include "core/effects.h"
#include "core/settings.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "platform/desktop/ini_store.h"
#include "qt_wait.h"

// Xlib last: its macros (None, Bool, Status, ...) clash with Qt names.
#include <X11/Xlib.h>
#include <dlfcn.h>

namespace lvtest {

// The lumivane executable of this build (LUMIVANE_BIN overrides).
inline QString lumivane_binary() {
    const QByteArray env = qgetenv("LUMIVANE_BIN");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../app"))
        .absoluteFilePath(QStringLiteral("lumivane"));
}

inline bool on_x_server() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

inline QImage grab_screen() {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return {};
    return s->grabWindow(0).toImage();
}

inline bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

// Whole screen of one colour: the centre and the four corners.
inline bool screen_filled_with(QColor c) {
    const QImage img = grab_screen();
    if (img.isNull()) return false;
    const int w = img.width(), h = img.height();
    for (QPoint p : {QPoint(w / 2, h / 2), QPoint(2, 2), QPoint(w - 3, 2), QPoint(2, h - 3),
                     QPoint(w - 3, h - 3)})
        if (!near(img.pixelColor(p), c)) return false;
    return true;
}

// Whether the pointer currently shows anything at all (XFixes, loaded at run
// time); nullopt when the extension is not available.
inline std::optional<bool> cursor_visible() {
    using image_t = struct {
        short x, y;
        unsigned short width, height, xhot, yhot;
        unsigned long cursor_serial;
        unsigned long* pixels;
    };
    static void* lib = dlopen("libXfixes.so.3", RTLD_NOW);
    if (!lib) return std::nullopt;
    auto get = reinterpret_cast<image_t* (*)(Display*)>(dlsym(lib, "XFixesGetCursorImage"));
    auto query = reinterpret_cast<int (*)(Display*, int*, int*)>(dlsym(lib, "XFixesQueryExtension"));
    if (!get || !query) return std::nullopt;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return std::nullopt;
    int ev = 0, err = 0;
    std::optional<bool> result;
    if (query(dpy, &ev, &err)) {
        if (image_t* img = get(dpy)) {
            bool any = false;
            for (int i = 0; i < img->width * img->height; ++i) any |= (img->pixels[i] >> 24) != 0;
            result = any;
            XFree(img);
        }
    }
    XCloseDisplay(dpy);
    return result;
}

// The X server's own screen-saver time-out in seconds (what `xset q` shows),
// and setting it the way `xset s <seconds> <seconds>` does.
inline int x_screensaver_timeout() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return -1;
    int timeout = -1, interval = 0, blanking = 0, exposures = 0;
    XGetScreenSaver(d, &timeout, &interval, &blanking, &exposures);
    XCloseDisplay(d);
    return timeout;
}

inline void set_x_screensaver(int timeout, int interval) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return;
    XSetScreenSaver(d, timeout, interval, PreferBlanking, AllowExposures);
    XSync(d, False);
    XCloseDisplay(d);
}

// Runs xdotool with these arguments; its standard output.
inline QByteArray xdotool(const QStringList& args, int* status = nullptr) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(lv::test::hang_guard_ms);
    if (status) *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

// The X windows whose title matches the regular expression, as xdotool finds them.
inline std::vector<unsigned long> windows_named(const QString& pattern) {
    std::vector<unsigned long> ids;
    for (const QByteArray& line : xdotool({QStringLiteral("search"), QStringLiteral("--name"), pattern}).split('\n'))
        if (!line.trimmed().isEmpty()) ids.push_back(line.trimmed().toULong());
    return ids;
}

// Waits for a window titled exactly `title`; 0 when none came.
inline unsigned long wait_window(const QString& title, int ms = lv::test::hang_guard_ms) {
    unsigned long id = 0;
    lv::test::wait_for(
        [&] {
            const auto ids = windows_named(QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$'));
            id = ids.empty() ? 0 : ids.front();
            return id != 0;
        },
        ms);
    return id;
}

// Where a window is on the screen (what xwininfo reports: its outside corner
// and size); empty when it is gone or not mapped.
inline QRect window_rect(unsigned long window) {
    QProcess p;
    p.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    p.waitForFinished(-1);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (!out.contains(QLatin1String("IsViewable"))) return {};
    auto field = [&out](const char* name) {
        const QRegularExpression re(QLatin1String(name) + QStringLiteral(":\\s+(-?\\d+)"));
        return re.match(out).captured(1).toInt();
    };
    return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")};
}

// Gives the keyboard to a window (there is no window manager to do it), then
// types text into it.
inline void type_into(unsigned long window, const QString& text) {
    const QString id = QString::number(window);
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    if (!text.isEmpty()) xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

inline void press_key(unsigned long window, const QString& key) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)});
    xdotool({QStringLiteral("key"), key});
}

// Keys as a person gives them: to whichever window has the keyboard now,
// without choosing one first.
inline void keyboard_key(const QString& key) { xdotool({QStringLiteral("key"), key}); }

inline void keyboard_type(const QString& text) {
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

// Waits up to ms for the process to end; kills it when it does not.
inline bool ends_within(QProcess& proc, int ms = lv::test::hang_guard_ms) {
    const bool ended = proc.state() == QProcess::NotRunning || proc.waitForFinished(ms);
    if (!ended) {
        proc.kill();
        proc.waitForFinished(lv::test::hang_guard_ms);
    }
    return ended;
}

// One user's folders in a temporary tree: $XDG_DATA_HOME, $XDG_CONFIG_HOME
// and a private $XDG_RUNTIME_DIR (without a session bus in it).
class program_sandbox {
public:
    program_sandbox() {
        ok_ = tmp_.isValid() && QDir().mkpath(data_folder()) && QDir().mkpath(config_home()) &&
              QDir().mkpath(runtime());
        QFile::setPermissions(runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    bool ok() const { return ok_; }

    QString path(const QString& rel) const { return tmp_.path() + QLatin1Char('/') + rel; }
    QString data_home() const { return path(QStringLiteral("data")); }
    QString config_home() const { return path(QStringLiteral("config")); }
    QString runtime() const { return path(QStringLiteral("run")); }
    QString windows_dir() const { return data_home() + QStringLiteral("/lumivane/"); }
    QString data_folder() const { return windows_dir() + QStringLiteral("Lumivane Data/"); }
    QString settings_file() const { return config_home() + QStringLiteral("/Tavrel Lumivane.ini"); }
    QString registry_file() const { return config_home() + QStringLiteral("/lumivane/registry.ini"); }
    QString log_file() const { return windows_dir() + QStringLiteral("Lumivane Log.txt"); }
    QString wallpaper_file() const { return windows_dir() + QStringLiteral("Lumivane.bmp"); }

    // A decoder program for LUMIVANE_DECODER that runs `shell` (it sees the
    // decoder's arguments, the picture's path among them) and then the
    // decoder of this build.
    QString wrapped_decoder(const QByteArray& shell) const {
        const QString decoder = QFileInfo(lumivane_binary()).absolutePath() + QStringLiteral("/lumivane-decoder");
        const QString script = path(QStringLiteral("wrapped-decoder.sh"));
        QFile f(script);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write("#!/bin/sh\n" + shell + "\nexec '" + QFile::encodeName(decoder) + "' \"$@\"\n") < 0)
            return {};
        f.close();
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }

    void write_settings(const std::vector<std::pair<std::string, std::string>>& values) const {
        lv::ini_store store(settings_file().toStdString());
        for (const auto& [k, v] : values) store.write(k, v);
        store.sync();
    }

    // The screen-saver password, scrambled as the settings keep it, and the
    // switch that makes the screen saver ask for it (`registry`: the whole
    // stand-in file).
    bool set_password(const std::string& password,
                      const QByteArray& registry = "[Control Panel\\Desktop]\nScreenSaveUsePassword=1\n") const {
        lv::settings().screensaver_password = password;
        lv::scramble_password();
        write_settings({{"misc", lv::settings().misc}});
        QFile f(registry_file());
        return QDir().mkpath(config_home() + QStringLiteral("/lumivane")) && f.open(QIODevice::WriteOnly) &&
               f.write(registry) == registry.size();
    }

    // A custom slideshow of full-screen pictures in these colours, each shown
    // for `seconds` without a transition and playing `sound`; the screen
    // saver's active show.
    bool write_colour_show(const std::vector<QColor>& colours, QSize size, int seconds = 2,
                           const QString& sound = {}) const {
        lv::reset_effect_table();
        lv::new_custom_defaults();
        lv::redim_slides(static_cast<int>(colours.size()));
        lv::doc().image_count = static_cast<int>(colours.size());
        lv::doc().custom_name = "Test Show";
        int n = 0;
        for (const QColor& c : colours) {
            const QString pic = path(QStringLiteral("colour%1.png").arg(n));
            QImage img(size, QImage::Format_RGB32);
            img.fill(c);
            if (!img.save(pic)) return false;
            lv::sequence_record r = lv::default_sequence(pic.toStdString());
            r.image_file = pic.toStdString();
            r.display_position = 0;
            r.display_effect = 1;   // no transition
            r.display_time = seconds;
            r.caption_text = "";
            r.audio_file = sound.toStdString();
            r.background_file = "";
            lv::doc().sequences.set(++n, r);
        }
        lv::redim_music(0);
        lv::doc().music_count = 0;
        if (lv::write_custom_file((data_folder() + QStringLiteral("Test Show.lmv")).toStdString()) != 0)
            return false;
        write_settings({{"active_slideshow", "Test Show.lmv"}, {"screen_saver_type", "0"}, {"set_extension", "yes"}});
        return true;
    }

    // The environment of the program: these folders, Qt on the X server, and
    // no session bus (so that it holds off the X server's own screen saver).
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data_home());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_home());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        return env;
    }

    // Starts the program the way a shell with job control does: in a
    // process group of its own, with the termination signals at their defaults.
    void start(QProcess& proc, const QStringList& args) const {
        proc.setProcessEnvironment(environment());
        proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc.setChildProcessModifier([] {
            ::setpgid(0, 0);
            for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
        });
        proc.start(lumivane_binary(), args);
    }

private:
    QTemporaryDir tmp_;
    bool ok_ = false;
};

}  // namespace lvtest
