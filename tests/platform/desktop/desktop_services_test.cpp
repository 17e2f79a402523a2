// Desktop services that need no X server: the registry stand-in, the
// desktops' own wallpaper settings (through stand-in tools that record what
// they were given), the screen saver over a private session bus, placing a
// window.
#include "platform/desktop/desktop_services.h"

#include "core/hooks.h"
#include "scoped_env.h"
#include "tests/qt_wait.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

void write_text(const QString& path, const std::string& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::ofstream(path.toStdString(), std::ios::binary) << text;
}

std::string read_text(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---------------------------------------------------------------------------

class Registry : public ::testing::Test {
protected:
    void SetUp() override { env_.set("XDG_CONFIG_HOME", dir_.path().toUtf8()); }
    void write(const std::string& text) {
        write_text(QString::fromStdString(lv::registry_file_path()), text);
    }
    QTemporaryDir dir_;
    lvtest::scoped_env env_;
};

TEST_F(Registry, NumbersReadAsThreeDigitsTextWholeMissingEmpty) {
    write("; what the desktop would hold\n"
          "[Control Panel\\Desktop]\n"
          "ScreenSaveUsePassword=dword:00000000\n"
          "On=dword:00000001\n"
          "Big=dword:000004d2\n"
          "\"Quoted Name\"=\"1\"\n"
          "Wallpaper = \"/home/u/a \\\"b\\\".bmp\"  \r\n"
          "Bare=plain text\n"
          "Broken=dword:zz\n"
          "[Control Panel\\Mouse]\n"
          "Speed=dword:0000000a\n");
    const std::string key = "Control Panel\\Desktop";
    EXPECT_EQ(lv::read_registry_value(key, "ScreenSaveUsePassword"), "000");
    EXPECT_EQ(lv::read_registry_value(key, "On"), "001");
    EXPECT_EQ(lv::read_registry_value(key, "Big"), "123");   // 1234 cut to three characters
    EXPECT_EQ(lv::read_registry_value(key, "Quoted Name"), "1");
    EXPECT_EQ(lv::read_registry_value(key, "Wallpaper"), "/home/u/a \"b\".bmp");
    EXPECT_EQ(lv::read_registry_value(key, "Bare"), "plain text");
    EXPECT_EQ(lv::read_registry_value(key, "Broken"), "");
    EXPECT_EQ(lv::read_registry_value(key, "Missing"), "");
    EXPECT_EQ(lv::read_registry_value(key, "Speed"), "");          // another key's value
    EXPECT_EQ(lv::read_registry_value("Control Panel\\Mouse", "Speed"), "010");
    EXPECT_EQ(lv::read_registry_value("No\\Such\\Key", "On"), "");
    // Keys and names are not case-sensitive, as in the registry.
    EXPECT_EQ(lv::read_registry_value("control panel\\DESKTOP", "screensaveusepassword"), "000");
}

TEST_F(Registry, RootSpelledOutAndOverlongText) {
    write("[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
          "ScreenSaveUsePassword=dword:00000001\n"
          "Fits=" + std::string(254, 'a') + "\n"
          "TooLong=" + std::string(255, 'a') + "\n");
    EXPECT_EQ(lv::read_registry_value("Control Panel\\Desktop", "ScreenSaveUsePassword"), "001");
    EXPECT_EQ(lv::read_registry_value("Control Panel\\Desktop", "Fits"), std::string(254, 'a'));
    EXPECT_EQ(lv::read_registry_value("Control Panel\\Desktop", "TooLong"), "");
}

TEST_F(Registry, NoFileReadsAsMissing) {
    EXPECT_EQ(lv::read_registry_value("Control Panel\\Desktop", "ScreenSaveUsePassword"), "");
}

// Writing a number: created when missing; otherwise replaced where it stands
// (however the user spelt it) or added to its section, every other byte kept.
TEST_F(Registry, WrittenNumbersKeepEverythingElse) {
    const std::string key = "Control Panel\\Desktop";
    const QString file = QString::fromStdString(lv::registry_file_path());
    ASSERT_TRUE(lv::write_registry_dword(key, "ScreenSaveUsePassword", 1));
    EXPECT_EQ(read_text(file), "[Control Panel\\Desktop]\nScreenSaveUsePassword=dword:00000001\n");
    EXPECT_EQ(lv::read_registry_value(key, "ScreenSaveUsePassword"), "001");

    write("; kept\r\n[HKEY_CURRENT_USER\\control panel\\desktop]\r\n\"screensaveusepassword\"=\"1\"\r\n"
          "Wallpaper=\"/a b.bmp\"\r\n\r\n[Control Panel\\Mouse]\r\nSpeed=dword:a");
    ASSERT_TRUE(lv::write_registry_dword(key, "ScreenSaveUsePassword", 0));
    EXPECT_EQ(read_text(file), "; kept\r\n[HKEY_CURRENT_USER\\control panel\\desktop]\r\n"
                               "ScreenSaveUsePassword=dword:00000000\r\nWallpaper=\"/a b.bmp\"\r\n\r\n"
                               "[Control Panel\\Mouse]\r\nSpeed=dword:a");
    EXPECT_EQ(lv::read_registry_value(key, "ScreenSaveUsePassword"), "000");

    // A section without the value gets it after its last entry; a file
    // without the section gets the section at its end.
    write("[Control Panel\\Desktop]\n; note\nOther=1\n\n[Control Panel\\Mouse]\nSpeed=dword:a\n");
    ASSERT_TRUE(lv::write_registry_dword(key, "ScreenSaveUsePassword", 1));
    EXPECT_EQ(read_text(file), "[Control Panel\\Desktop]\n; note\nOther=1\nScreenSaveUsePassword=dword:00000001\n"
                               "\n[Control Panel\\Mouse]\nSpeed=dword:a\n");
    write("[Control Panel\\Mouse]\nSpeed=dword:a");
    ASSERT_TRUE(lv::write_registry_dword(key, "ScreenSaveUsePassword", 1));
    EXPECT_EQ(read_text(file), "[Control Panel\\Mouse]\nSpeed=dword:a\n\n[Control Panel\\Desktop]\n"
                               "ScreenSaveUsePassword=dword:00000001\n");
    EXPECT_EQ(lv::read_registry_value("Control Panel\\Mouse", "Speed"), "010");

    // Something that is no file is never replaced, and a FIFO is not waited on.
    QFile::remove(file);
    ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    EXPECT_EQ(lv::read_registry_value(key, "ScreenSaveUsePassword"), "");
    EXPECT_FALSE(lv::write_registry_dword(key, "ScreenSaveUsePassword", 1));
    QFile::remove(file);
    ASSERT_TRUE(QDir().mkpath(file));
    EXPECT_FALSE(lv::write_registry_dword(key, "ScreenSaveUsePassword", 1));
    EXPECT_TRUE(QFileInfo(file).isDir());
}

// ---------------------------------------------------------------------------
// Wallpaper through the desktops' own tools. Stand-ins on PATH record each
// argument on a line of its own; a shell anywhere on the way would run the
// command hidden in the folder name.

class Wallpaper : public ::testing::Test {
protected:
    void SetUp() override {
        env_.unset("DISPLAY");   // no root window to fall back on here
        bin_ = dir_.path() + "/bin";
        log_ = dir_.path() + "/calls.log";
        env_.set("LV_TOOL_LOG", log_.toUtf8());
        env_.set("PATH", bin_.toUtf8() + ":" + qgetenv("PATH"));
        const std::string tool =
            "#!/bin/sh\n"
            "{ echo \"== ${0##*/}\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } >> \"$LV_TOOL_LOG\"\n"
            "if [ \"${0##*/}\" = xfconf-query ] && [ \"$3\" = -l ]; then\n"
            "  printf '/backdrop/screen0/monitor0/workspace0/last-image\\n"
            "/backdrop/screen0/monitor1/workspace0/last-image\\n/backdrop/single-workspace-mode\\n'\n"
            "fi\n"
            "exit ${LV_TOOL_EXIT:-0}\n";
        for (const char* name : {"gsettings", "xfconf-query", "plasma-apply-wallpaperimage"}) {
            const QString path = bin_ + "/" + name;
            write_text(path, tool);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        folder_ = dir_.path() + "/we'ird $(touch INJECTED) \"x\";&";
        QDir().mkpath(folder_);
        picture_ = folder_ + "/last screen.bmp";
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::red);
        ASSERT_TRUE(img.save(picture_, "BMP"));
        QDir::setCurrent(dir_.path());
    }
    std::string calls() const { return read_text(log_); }
    bool injected() const {
        return QFile::exists(dir_.path() + "/INJECTED") || QFile::exists(folder_ + "/INJECTED");
    }

    QTemporaryDir dir_;
    QString bin_, log_, folder_, picture_;
    lvtest::scoped_env env_;
};

TEST_F(Wallpaper, GnomeGetsTheFileAddressForLightAndDark) {
    env_.set("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    ASSERT_TRUE(lv::set_desktop_wallpaper(picture_.toStdString()));
    const std::string uri = QUrl::fromLocalFile(picture_).toString(QUrl::FullyEncoded).toStdString();
    EXPECT_EQ(calls(), "== gsettings\n[set]\n[org.gnome.desktop.background]\n[picture-uri]\n[" + uri +
                           "]\n== gsettings\n[set]\n[org.gnome.desktop.background]\n[picture-uri-dark]\n[" +
                           uri + "]\n");
    EXPECT_EQ(QUrl(QString::fromStdString(uri)).toLocalFile(), picture_);
    EXPECT_FALSE(injected());
}

TEST_F(Wallpaper, MateGetsThePath) {
    env_.set("XDG_CURRENT_DESKTOP", "MATE");
    ASSERT_TRUE(lv::set_desktop_wallpaper(picture_.toStdString()));
    EXPECT_EQ(calls(), "== gsettings\n[set]\n[org.mate.background]\n[picture-filename]\n[" +
                           picture_.toStdString() + "]\n");
    EXPECT_FALSE(injected());
}

TEST_F(Wallpaper, XfceSetsEveryMonitorsPicture) {
    env_.set("XDG_CURRENT_DESKTOP", "XFCE");
    ASSERT_TRUE(lv::set_desktop_wallpaper(picture_.toStdString()));
    const std::string p = picture_.toStdString();
    EXPECT_EQ(calls(),
              "== xfconf-query\n[-c]\n[xfce4-desktop]\n[-l]\n"
              "== xfconf-query\n[-c]\n[xfce4-desktop]\n[-p]\n[/backdrop/screen0/monitor0/workspace0/last-image]\n[-s]\n[" +
                  p + "]\n"
                      "== xfconf-query\n[-c]\n[xfce4-desktop]\n[-p]\n[/backdrop/screen0/monitor1/workspace0/last-image]\n[-s]\n[" +
                  p + "]\n");
    EXPECT_FALSE(injected());
}

TEST_F(Wallpaper, KdeGetsThePath) {
    env_.set("XDG_CURRENT_DESKTOP", "KDE");
    ASSERT_TRUE(lv::set_desktop_wallpaper(picture_.toStdString()));
    EXPECT_EQ(calls(), "== plasma-apply-wallpaperimage\n[" + picture_.toStdString() + "]\n");
    EXPECT_FALSE(injected());
}

TEST_F(Wallpaper, FailuresAreReported) {
    env_.set("XDG_CURRENT_DESKTOP", "GNOME");
    EXPECT_FALSE(lv::set_desktop_wallpaper((folder_ + "/no such.bmp").toStdString()));
    EXPECT_FALSE(lv::set_desktop_wallpaper(""));
    EXPECT_EQ(calls(), "");   // nothing to set: no tool runs
    // The tool refuses and there is no X server to fall back on.
    env_.set("LV_TOOL_EXIT", "1");
    EXPECT_FALSE(lv::set_desktop_wallpaper(picture_.toStdString()));
    // An unknown desktop without an X server.
    env_.unset("LV_TOOL_EXIT");
    env_.set("XDG_CURRENT_DESKTOP", "SomethingElse");
    EXPECT_FALSE(lv::set_desktop_wallpaper(picture_.toStdString()));
}

// ---------------------------------------------------------------------------
// The screen saver over a private session bus, with a stand-in for the
// desktop's ScreenSaver service living on a thread of its own (our blocking
// call must find it answering).

class fake_screensaver : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& msg, const QDBusConnection& connection) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (msg.member() == QLatin1String("Inhibit") && msg.arguments().size() == 2) {
            calls.push_back("Inhibit " + msg.arguments()[0].toString().toStdString());
            connection.send(msg.createReply(QVariant::fromValue(uint(4242))));
            return true;
        }
        if (msg.member() == QLatin1String("UnInhibit") && msg.arguments().size() == 1) {
            calls.push_back("UnInhibit " + std::to_string(msg.arguments()[0].toUInt()));
            connection.send(msg.createReply());
            return true;
        }
        return false;
    }
    std::vector<std::string> taken() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    std::mutex mutex;
    std::vector<std::string> calls;
};

class service_thread : public QThread {
public:
    explicit service_thread(QString address) : address_(std::move(address)) {}
    fake_screensaver* service = nullptr;
    std::atomic<bool> ready{false}, ok{false};

protected:
    void run() override {
        fake_screensaver obj;
        service = &obj;
        {
            QDBusConnection c = QDBusConnection::connectToBus(address_, "lumivane-fake-saver");
            ok = c.isConnected() && c.registerService("org.freedesktop.ScreenSaver") &&
                 c.registerVirtualObject("/org/freedesktop/ScreenSaver", &obj);
            ready = true;
            exec();
            c.unregisterObject("/org/freedesktop/ScreenSaver");
        }
        QDBusConnection::disconnectFromBus("lumivane-fake-saver");
        service = nullptr;
    }

private:
    QString address_;
};

TEST(ScreenSaver, HeldThroughTheSessionBusAndGivenBack) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForStarted(lv::test::hang_guard_ms));
    QByteArray address;
    while (!address.contains('\n') && daemon.waitForReadyRead(lv::test::hang_guard_ms)) address += daemon.readAllStandardOutput();
    address = address.trimmed();
    ASSERT_FALSE(address.isEmpty());
    lvtest::scoped_env env("DBUS_SESSION_BUS_ADDRESS", address);
    env.unset("DISPLAY");

    service_thread service(QString::fromUtf8(address));
    service.start();
    while (!service.ready) QThread::msleep(5);
    ASSERT_TRUE(service.ok);

    ASSERT_TRUE(lv::screensaver_active());
    lv::set_screensaver_active(false);
    EXPECT_FALSE(lv::screensaver_active());
    lv::set_screensaver_active(false);       // already held: asks nothing more
    lv::set_screensaver_active(true);
    EXPECT_TRUE(lv::screensaver_active());
    lv::set_screensaver_active(true);        // nothing held: gives back nothing
    EXPECT_EQ(service.service->taken(),
              (std::vector<std::string>{"Inhibit Lumivane", "UnInhibit 4242"}));

    service.quit();
    service.wait();
    daemon.kill();
    daemon.waitForFinished(lv::test::hang_guard_ms);
}

// ---------------------------------------------------------------------------

TEST(Windows, CenterFormPutsTheWindowInTheMiddleOfTheScreen) {
    QWidget w;
    w.resize(300, 200);
    lv::center_form(&w);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = w.frameGeometry();
    EXPECT_EQ(frame.width(), 300);
    EXPECT_EQ(frame.x(), screen.x() + screen.width() / 2 - frame.width() / 2);
    EXPECT_EQ(frame.y(), screen.y() + screen.height() / 2 - frame.height() / 2);
}

TEST(Windows, NoX11WindowWithoutAnXServer) {
    EXPECT_FALSE(lv::native_window_exists(0));
    QWidget w;
    EXPECT_FALSE(lv::embed_in_native_window(&w, 12345));   // not on X11 here
}

}  // namespace
