// The lumivane program itself on an X server: a slideshow file named on the
// command line, the preview inside a window of another program, the password
// dialog, and the screen saver's password gate with the wallpaper.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

#include "core/document.h"
#include "core/settings.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "modal_watch.h"
#include "xvfb_program.h"
#include "platform/desktop/ini_store.h"

using lvtest::spin;

namespace {

QString exe() { return QCoreApplication::applicationDirPath() + "/../app/lumivane"; }

QString tool(const QString& program, const QStringList& args, int* code = nullptr) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(lv::test::hang_guard_ms);
    if (code) *code = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The id of a window whose title is exactly title, 0 when none appears in time.
qulonglong wait_window(const QString& title, int timeout_ms = lv::test::hang_guard_ms) {
    QElapsedTimer t;
    t.start();
    do {
        const QString out = tool("xdotool", {"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(title) + "$"});
        if (!out.isEmpty()) return out.split('\n').last().toULongLong();
        spin(100);
    } while (t.elapsed() < timeout_ms);
    return 0;
}

void focus(qulonglong window) { tool("xdotool", {"windowfocus", "--sync", QString::number(window)}); }
void keys(const QStringList& k) { tool("xdotool", QStringList{"key", "--delay", "60"} + k); }
void type(const QString& text) { tool("xdotool", {"type", "--delay", "60", text}); }

QRgb screen_pixel(int x, int y) {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixel(x, y);
}

bool near(QRgb a, QColor b) {
    return std::abs(qRed(a) - b.red()) < 24 && std::abs(qGreen(a) - b.green()) < 24 &&
           std::abs(qBlue(a) - b.blue()) < 24;
}

bool wait_pixel(QColor c, int timeout_ms = lv::test::hang_guard_ms) {
    QElapsedTimer t;
    t.start();
    do {
        if (near(screen_pixel(512, 384), c)) return true;
        spin(100);
    } while (t.elapsed() < timeout_ms);
    return false;
}

QStringList child_sizes(qulonglong window) {
    QStringList sizes;
    for (const QString& line : tool("xwininfo", {"-children", "-id", QString::number(window)}).split('\n')) {
        static const QRegularExpression re(R"(^\s*0x[0-9a-f]+ .*\)\s+(\d+x\d+)\+-?\d+\+-?\d+)");
        auto m = re.match(line);
        if (m.hasMatch()) sizes << m.captured(1);
    }
    return sizes;
}

class ProgramTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QProcess proc;

    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "this test needs an X server";
        ASSERT_TRUE(QFile::exists(exe())) << "build the lumivane target first: " << exe().toStdString();
        ASSERT_TRUE(tmp.isValid());
        for (const char* d : {"config/lumivane", "data/lumivane/Lumivane Data", "runtime", "media"})
            QDir(tmp.path()).mkpath(d);
        QFile::setPermissions(tmp.filePath("runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        setting("set_extension", "yes");   // no desktop registration in tests
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
        env.insert("XDG_DATA_HOME", tmp.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", tmp.filePath("runtime"));
        env.remove("QT_QPA_PLATFORM");
        proc.setProcessEnvironment(env);
        proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }

    void TearDown() override {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(lv::test::hang_guard_ms);
        }
    }

    QString data_folder() { return tmp.filePath("data/lumivane/Lumivane Data/"); }
    QString windows_dir() { return tmp.filePath("data/lumivane/"); }

    void setting(const std::string& key, const std::string& value) {
        lv::ini_store store(tmp.filePath("config/Tavrel Lumivane.ini").toStdString());
        store.write(key, value);
    }
    std::string read_setting(const std::string& key) {
        lv::ini_store store(tmp.filePath("config/Tavrel Lumivane.ini").toStdString());
        return store.read(key, "<none>");
    }

    std::string picture(const QString& name, QColor color) {
        QImage img(400, 300, QImage::Format_RGB32);
        img.fill(color);
        const QString path = tmp.filePath("media/" + name);
        EXPECT_TRUE(img.save(path));
        return path.toStdString();
    }

    // A custom slideshow of one full-screen picture that stays a minute.
    QString custom_show(const QString& file, QColor color) {
        lv::new_custom_defaults();
        lv::doc().custom_name = "Show";
        lv::redim_slides(1);
        lv::doc().image_count = 1;
        auto seq = lv::default_sequence(picture(file + ".png", color));
        seq.display_position = 0;
        seq.display_effect = 1;   // "No Effect"
        seq.display_time = 60;
        lv::doc().sequences.set(1, seq);
        const QString path = data_folder() + file + ".lmv";
        EXPECT_EQ(lv::write_custom_file(path.toStdString()), 0);
        return path;
    }

    void start(const QStringList& args) {
        proc.start(exe(), args);
        ASSERT_TRUE(proc.waitForStarted(lv::test::hang_guard_ms));
    }
    bool ended(int timeout_ms = lv::test::hang_guard_ms) {
        QElapsedTimer t;
        t.start();
        while (proc.state() != QProcess::NotRunning && t.elapsed() < timeout_ms) spin(20);
        return proc.state() == QProcess::NotRunning;
    }
};

const QString player_title = "Lumivane Multimedia Tool";

}  // namespace

TEST_F(ProgramTest, CustomFileOnTheCommandLinePlaysAfterTheSplash) {
    const QString show = custom_show("My Holiday Show", QColor(200, 30, 30));
    QElapsedTimer t;
    t.start();
    start({show});   // a path with blanks, taken whole
    const qulonglong splash = wait_window("Lumivane - SlideShow Player");
    ASSERT_NE(splash, 0u);
    // Wherever the splash is seen until the player comes, it is whole and
    // centred on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    std::set<std::tuple<int, int, int, int>> seen;
    qulonglong player = 0;
    while (player == 0 && proc.state() == QProcess::Running) {
        const QRect r = lvtest::window_rect(splash);
        if (!r.isEmpty()) seen.insert({r.x(), r.y(), r.width(), r.height()});
        player = wait_window(player_title, 0);
    }
    ASSERT_NE(player, 0u);
    ASSERT_FALSE(seen.empty());
    for (const auto& [x, y, w, h] : seen) {
        const QRect r(x, y, w, h);
        EXPECT_TRUE(screen.contains(r)) << w << "x" << h << "+" << x << "+" << y;
        EXPECT_LE(std::abs(r.center().x() - screen.center().x()), 1) << w << "x" << h << "+" << x << "+" << y;
        EXPECT_LE(std::abs(r.center().y() - screen.center().y()), 1) << w << "x" << h << "+" << x << "+" << y;
    }
    EXPECT_GE(t.elapsed(), 2500);   // not before the three-second splash
    EXPECT_TRUE(wait_pixel(QColor(200, 30, 30)));
    focus(player);
    keys({"x"});
    EXPECT_TRUE(ended());
    EXPECT_EQ(proc.exitCode(), 0);
}

TEST_F(ProgramTest, SimpleFileOnTheCommandLinePlays) {
    picture("blue.jpg", QColor(30, 60, 210));
    lv::new_random_defaults();
    lv::doc().random_name = "Folder Show";
    lv::doc().random_folder_counts[0] = 1;
    lv::doc().random_folders[0][1] = tmp.filePath("media/").toStdString();
    const QString show = data_folder() + "Folder Show.LMV";
    ASSERT_EQ(lv::save_random(show.toStdString()), 0);
    start({show});
    const qulonglong player = wait_window(player_title);
    ASSERT_NE(player, 0u);
    EXPECT_TRUE(wait_pixel(QColor(30, 60, 210)));
    focus(player);
    keys({"x"});
    EXPECT_TRUE(ended());
}

TEST_F(ProgramTest, MissingFileShowsItsMessageAndEnds) {
    start({tmp.filePath("nowhere/Gone.lmv")});
    const qulonglong box = wait_window("Lumivane");
    ASSERT_NE(box, 0u);
    EXPECT_EQ(wait_window(player_title, 100), 0u);
    focus(box);
    keys({"Return"});
    EXPECT_TRUE(ended());
    EXPECT_EQ(wait_window(player_title, 100), 0u);
}

TEST_F(ProgramTest, PreviewLivesInsideTheHostWindowUntilItGoes) {
    auto* host = new QWidget;
    host->setGeometry(60, 60, 300, 220);
    host->show();
    spin(200);
    const qulonglong id = host->winId();
    start({"/P", QString::number(id)});
    QElapsedTimer t;
    t.start();
    while (child_sizes(id) != QStringList{"300x220"} && t.elapsed() < lv::test::hang_guard_ms) spin(100);
    EXPECT_EQ(child_sizes(id), QStringList{"300x220"});
    EXPECT_EQ(proc.state(), QProcess::Running);

    delete host;
    EXPECT_TRUE(ended());
    EXPECT_EQ(proc.exitCode(), 0);

    // Something that is no window: the process ends at once.
    start({"/p", "123456789"});
    EXPECT_TRUE(ended());
}

TEST_F(ProgramTest, PasswordDialogRefusesTwoDifferentTexts) {
    start({"/A", "0"});
    const qulonglong dialog = wait_window("Change  Password");
    ASSERT_NE(dialog, 0u);
    focus(dialog);
    type("abc");
    keys({"Tab"});
    type("abd");
    keys({"Return"});
    const qulonglong box = wait_window("Microsoft Windows");
    EXPECT_NE(box, 0u);
    if (box) {
        focus(box);
        keys({"Return"});
    }
    spin(300);
    EXPECT_EQ(proc.state(), QProcess::Running);   // the dialog stays open
    focus(dialog);
    keys({"Escape"});
    EXPECT_TRUE(ended());
    EXPECT_EQ(read_setting("misc"), "<none>");
}

TEST_F(ProgramTest, ScreenSaverAsksForThePasswordAndLeavesTheWallpaper) {
    custom_show("Gate", QColor(240, 170, 0));
    setting("active_slideshow", "Gate.lmv");
    setting("save_as_wallpaper", "1");
    lv::settings().screensaver_password = "SECRET";
    lv::scramble_password();
    setting("misc", lv::settings().misc);
    {
        QFile reg(tmp.filePath("config/lumivane/registry.ini"));
        ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
        reg.write("[Control Panel\\Desktop]\nScreenSaveUsePassword=\"1\"\n");
    }

    start({"/S"});
    const qulonglong player = wait_window(player_title);
    ASSERT_NE(player, 0u);
    EXPECT_TRUE(wait_pixel(QColor(240, 170, 0)));

    // The first key press asks for the password.
    focus(player);
    keys({"x"});
    qulonglong prompt = wait_window("Lumivane");
    ASSERT_NE(prompt, 0u);
    focus(prompt);
    type("wrong");
    keys({"Return"});
    const qulonglong box = wait_window("Passwords");
    EXPECT_NE(box, 0u);
    if (box) {
        focus(box);
        keys({"Return"});
    }
    // Cancel: the show goes on.
    EXPECT_TRUE(lv::test::wait_for([] { return wait_window("Passwords", 0) == 0; }));
    focus(prompt);
    keys({"Escape"});
    EXPECT_TRUE(lv::test::wait_for([] { return wait_window("Lumivane", 0) == 0; }));
    EXPECT_EQ(proc.state(), QProcess::Running);
    EXPECT_NE(wait_window(player_title), 0u);

    // The next key asks again; the right password (any case) ends the show.
    focus(player);
    keys({"x"});
    prompt = wait_window("Lumivane");
    ASSERT_NE(prompt, 0u);
    focus(prompt);
    type("secret");
    keys({"Return"});
    EXPECT_TRUE(ended());

    // The last screen is the wallpaper: saved, and on the bare root window.
    EXPECT_TRUE(QFile::exists(windows_dir() + "Lumivane.bmp"));
    EXPECT_TRUE(wait_pixel(QColor(240, 170, 0)));
}
