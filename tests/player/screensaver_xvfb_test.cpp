// The screen saver end to end: "lumivane /S" in its own process on a real X
// server, with a generated slideshow as the active one.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <functional>
#include <optional>
#include <string>

#include "qt_wait.h"
#include "core/document.h"
#include "core/effects.h"
#include "core/slideshow_file.h"
#include "platform/ini_store.h"

namespace {

// The lumivane executable of this build (LUMIVANE_BIN overrides).
QString lumivane_binary() {
    const QByteArray env = qgetenv("LUMIVANE_BIN");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../app")).absoluteFilePath(QStringLiteral("lumivane"));
}

QImage grab_screen() {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return {};
    return s->grabWindow(0).toImage();
}

using lv::test::wait_for;

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

// Whole screen of one colour: the centre and the four corners.
bool screen_filled_with(QColor c) {
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
std::optional<bool> cursor_visible() {
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

}  // namespace

TEST(ScreenSaverRun, PlaysTheActiveSlideshowFullScreenAndEndsOnAKey) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs the X server of xvfb-run (QT_QPA_PLATFORM is "
                     << QGuiApplication::platformName().toStdString() << ")";
    const QString bin = lumivane_binary();
    ASSERT_TRUE(QFile::exists(bin)) << bin.toStdString();
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QSize size = screen->geometry().size();

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString data_home = tmp.path() + QStringLiteral("/data");
    const QString config_home = tmp.path() + QStringLiteral("/config");
    const QString runtime = tmp.path() + QStringLiteral("/run");
    const QString windows_dir = data_home + QStringLiteral("/lumivane/");
    const QString data_folder = windows_dir + QStringLiteral("Lumivane Data/");
    ASSERT_TRUE(QDir().mkpath(data_folder));
    ASSERT_TRUE(QDir().mkpath(config_home));
    ASSERT_TRUE(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    // Two pictures of the screen's shape, shown at "Center Full Screen 100%".
    const QString red = tmp.path() + QStringLiteral("/red.png");
    const QString blue = tmp.path() + QStringLiteral("/blue.png");
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(QColor(230, 20, 20));
        ASSERT_TRUE(img.save(red));
        img.fill(QColor(20, 20, 230));
        ASSERT_TRUE(img.save(blue));
    }
    lv::reset_effect_table();
    lv::new_custom_defaults();
    lv::redim_slides(2);
    lv::doc().image_count = 2;
    lv::doc().custom_name = "Test Show";
    int n = 0;
    for (const QString& pic : {red, blue}) {
        lv::sequence_record r = lv::default_sequence(pic.toStdString());
        r.image_file = pic.toStdString();
        r.display_position = 0;
        r.display_effect = 1;   // no transition
        r.display_time = 2;
        r.caption_text = "";
        r.audio_file = "";
        r.background_file = "";
        lv::doc().sequences.set(++n, r);
    }
    lv::redim_music(0);
    lv::doc().music_count = 0;
    ASSERT_EQ(lv::write_custom_file((data_folder + QStringLiteral("Test Show.lmv")).toStdString()), 0);

    {
        lv::ini_store store((config_home + QStringLiteral("/Tavrel Lumivane.ini")).toStdString());
        store.write("active_slideshow", "Test Show.lmv");
        store.write("screen_saver_type", "0");
        store.write("logging", "1");
        store.write("set_extension", "yes");
    }

    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data_home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    proc.setProcessEnvironment(env);
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc.start(bin, {QStringLiteral("/S")});
    ASSERT_TRUE(proc.waitForStarted(5000));

    const bool first = wait_for([] { return screen_filled_with(QColor(230, 20, 20)); }, 15000);
    EXPECT_TRUE(first) << "the first picture never filled the screen";
    if (first) {
        if (auto v = cursor_visible()) {
            EXPECT_FALSE(*v) << "cursor shown during the show";
        }
    }
    const bool second = wait_for([] { return screen_filled_with(QColor(20, 20, 230)); }, 15000);
    EXPECT_TRUE(second) << "the show did not go on to the next picture";
    ASSERT_EQ(proc.state(), QProcess::Running);

    QElapsedTimer t;
    t.start();
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("a")}), 0);
    const bool ended = proc.waitForFinished(5000);
    const qint64 took = t.elapsed();
    if (!ended) {
        proc.kill();
        proc.waitForFinished(2000);
    }
    ASSERT_TRUE(ended) << "the key press did not end the screen saver";
    EXPECT_LT(took, 1000) << "ended after " << took << " ms";
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(proc.exitCode(), 0);
    if (auto v = cursor_visible()) {
        EXPECT_TRUE(*v) << "cursor still hidden after the show";
    }

    // The show cleaned up (which shows the cursor) before it went.
    QFile log(windows_dir + QStringLiteral("Lumivane Log.txt"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("Clean Up Engine (At bottom of loop. Getting ready to exit.)"));
    EXPECT_TRUE(text.contains("Showing Image Array 2"));
}
