// The screen saver as a Linux desktop runs it: the real executable on an X
// server without a window manager or session bus, driven with xdotool and
// signals the way idle managers, terminals and window managers do.
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/types.h>

#include "core/settings.h"
#include "core/state.h"
#include "platform/desktop/startup_services.h"
#include "scoped_env.h"
#include "xvfb_program.h"   // last: it brings Xlib

using lv::test::wait_for;

namespace {

const QString player_title = QStringLiteral("Lumivane Multimedia Tool");
const QColor red(230, 20, 20);
// Waits that only catch hangs: a busy machine starts, draws and ends the
// program slowly.
constexpr int hang_ms = 30000;

class DesktopRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lvtest::on_x_server()) GTEST_SKIP() << "needs the X server of xvfb-run";
        ASSERT_TRUE(QFile::exists(lvtest::lumivane_binary())) << lvtest::lumivane_binary().toStdString();
        ASSERT_TRUE(box.ok());
        QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_NE(screen, nullptr);
        screen_size = screen->geometry().size();
        lvtest::set_x_screensaver(600, 600);
    }
    void TearDown() override {
        for (QProcess* p : {&saver, &other})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(3000);
            }
        // The other tests of this program run without a window manager.
        if (wm.state() != QProcess::NotRunning) {
            wm.terminate();
            if (!wm.waitForFinished(5000)) wm.kill();
            wm.waitForFinished(3000);
        }
    }

    // Starts openbox and waits until it manages the screen; false when it
    // is not installed or did not start.
    bool start_window_manager() {
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty()) return false;
        wm.start(openbox, {QStringLiteral("--sm-disable")});
        if (!wm.waitForStarted(hang_ms)) return false;
        Display* d = XOpenDisplay(nullptr);
        if (!d) return false;
        const bool managing = wait_for([&] {
            XWindowAttributes a{};
            return XGetWindowAttributes(d, DefaultRootWindow(d), &a) &&
                   (a.all_event_masks & SubstructureRedirectMask);
        }, hang_ms);
        XCloseDisplay(d);
        return managing;
    }

    // Starts "/S" and waits until its show fills the screen.
    bool start_show() {
        box.start(saver, {QStringLiteral("/S")});
        return saver.waitForStarted(hang_ms) && wait_for([] { return lvtest::screen_filled_with(red); }, hang_ms);
    }

    QByteArray read(const QString& file) const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    lvtest::program_sandbox box;
    QSize screen_size;
    QProcess saver, other, wm;
};

}  // namespace

// "/A" stores the password and, with it, the switch that makes the screen
// saver ask; the prompt then guards the end of the show.
TEST_F(DesktopRun, PasswordSetWithSlashAIsAskedForBeforeTheShowEnds) {
    ASSERT_TRUE(box.write_colour_show({red}, screen_size, 30));
    // A registry file the user already keeps other values in.
    ASSERT_TRUE(QDir().mkpath(box.config_home() + QStringLiteral("/lumivane")));
    {
        QFile f(box.registry_file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("; mine\n[Control Panel\\Desktop]\nWallpaperStyle=\"2\"\n\n[Other]\nA=dword:00000007\n");
    }

    box.start(other, {QStringLiteral("/A"), QStringLiteral("0")});
    ASSERT_TRUE(other.waitForStarted(hang_ms));
    const unsigned long dialog = lvtest::wait_window(QStringLiteral("Change  Password"));
    ASSERT_NE(dialog, 0u) << "no password dialog";
    lvtest::type_into(dialog, QStringLiteral("Secret7"));
    lvtest::press_key(dialog, QStringLiteral("Tab"));
    lvtest::type_into(dialog, QStringLiteral("Secret7"));
    lvtest::press_key(dialog, QStringLiteral("Return"));
    ASSERT_TRUE(lvtest::ends_within(other, hang_ms)) << "the dialog did not close on OK";
    EXPECT_EQ(other.exitCode(), 0);

    const QByteArray registry = read(box.registry_file());
    EXPECT_EQ(registry,
              "; mine\n[Control Panel\\Desktop]\nWallpaperStyle=\"2\"\nScreenSaveUsePassword=dword:00000001\n"
              "\n[Other]\nA=dword:00000007\n");
    {
        QSettings ini(box.settings_file(), QSettings::IniFormat);
        lv::settings().misc = ini.value(QStringLiteral("Config/misc")).toString().toStdString();
        lv::unscramble_password();
        EXPECT_EQ(lv::settings().screensaver_password, "SECRET7");
    }

    ASSERT_TRUE(start_show()) << "the show never filled the screen";
    lvtest::xdotool({QStringLiteral("key"), QStringLiteral("a")});
    unsigned long prompt = lvtest::wait_window(QStringLiteral("Lumivane"), hang_ms);
    ASSERT_NE(prompt, 0u) << "a key ended the show without asking for the password";
    EXPECT_EQ(saver.state(), QProcess::Running);

    // A wrong password says so and keeps the show: the prompt still answers
    // the next one, which is typed only once the first message has gone.
    for (const char* wrong : {"wrong", "wrong again"}) {
        SCOPED_TRACE(wrong);
        ASSERT_EQ(saver.state(), QProcess::Running) << "a wrong password ended the show";
        ASSERT_FALSE(lvtest::windows_named(QStringLiteral("^Lumivane$")).empty()) << "the prompt went away";
        lvtest::type_into(prompt, QString::fromLatin1(wrong));
        lvtest::press_key(prompt, QStringLiteral("Return"));
        const unsigned long message = lvtest::wait_window(QStringLiteral("Passwords"), hang_ms);
        ASSERT_NE(message, 0u) << "no message for a wrong password";
        lvtest::press_key(message, QStringLiteral("Return"));
        ASSERT_TRUE(wait_for([] { return lvtest::windows_named(QStringLiteral("^Passwords$")).empty(); }, hang_ms));
    }

    // The right one, in other letters' case, ends it.
    lvtest::type_into(prompt, QStringLiteral("sECRET7"));
    lvtest::press_key(prompt, QStringLiteral("Return"));
    ASSERT_TRUE(lvtest::ends_within(saver, hang_ms)) << "the right password did not end the show";
    EXPECT_EQ(saver.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(saver.exitCode(), 0);
    EXPECT_EQ(lvtest::x_screensaver_timeout(), 600);
}

// Idle managers, logout and kill end programs with signals; each ends the
// show at once and the X server's blanking comes back as it was.
TEST_F(DesktopRun, TerminationSignalsEndTheShowAndGiveBlankingBack) {
    ASSERT_TRUE(box.write_colour_show({red}, screen_size, 30));
    const std::pair<int, const char*> ways[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
    for (const auto& [sig, name] : ways) {
        SCOPED_TRACE(name);
        lvtest::set_x_screensaver(600, 600);
        ASSERT_TRUE(start_show());
        ASSERT_TRUE(wait_for([] { return lvtest::x_screensaver_timeout() == 0; }, hang_ms))
            << "the show did not hold off the X server's screen saver";
        const auto pid = static_cast<pid_t>(saver.processId());
        // A terminal's Ctrl+C goes to the whole foreground process group.
        ASSERT_EQ(sig == SIGINT ? ::kill(-pid, sig) : ::kill(pid, sig), 0);
        EXPECT_TRUE(lvtest::ends_within(saver, hang_ms)) << "the signal did not end it";
        EXPECT_EQ(lvtest::x_screensaver_timeout(), 600);
    }
}

// Someone else destroys the player's window (a window manager, xdotool
// windowkill): the program ends instead of running on unseen and blocking
// every later screen saver, even with a password set.
TEST_F(DesktopRun, DestroyedPlayerWindowEndsTheProgram) {
    ASSERT_TRUE(box.write_colour_show({red}, screen_size, 30));
    lv::settings().screensaver_password = "KEEP";
    lv::scramble_password();
    box.write_settings({{"misc", lv::settings().misc}});
    ASSERT_TRUE(QDir().mkpath(box.config_home() + QStringLiteral("/lumivane")));
    {
        // Written by hand, as a user may set the switch without "/A".
        QFile f(box.registry_file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[HKEY_CURRENT_USER\\Control Panel\\Desktop]\nScreenSaveUsePassword=dword:1\n");
    }

    // XDestroyWindow from another client.
    ASSERT_TRUE(start_show());
    const unsigned long window = lvtest::wait_window(player_title);
    ASSERT_NE(window, 0u);
    {
        Display* d = XOpenDisplay(nullptr);
        ASSERT_NE(d, nullptr);
        XDestroyWindow(d, window);
        XSync(d, False);
        XCloseDisplay(d);
    }
    ASSERT_TRUE(lvtest::ends_within(saver, hang_ms)) << "the player ran on without its window";
    EXPECT_EQ(saver.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(saver.exitCode(), 0);
    EXPECT_EQ(lvtest::x_screensaver_timeout(), 600);

    // The next screen saver starts, and its window is killed with its
    // connection to the X server.
    ASSERT_TRUE(start_show()) << "no screen saver could start after the first";
    const unsigned long second = lvtest::wait_window(player_title);
    ASSERT_NE(second, 0u);
    lvtest::xdotool({QStringLiteral("windowkill"), QString::number(second)});
    ASSERT_TRUE(lvtest::ends_within(saver, hang_ms));
    EXPECT_EQ(lvtest::x_screensaver_timeout(), 600);
}

// A second screen saver started while the first still loads a big simple
// slideshow ends at once: the first claims its title before it loads.
TEST_F(DesktopRun, SecondScreenSaverDuringASlowLoadEndsAtOnce) {
    // A simple slideshow over a folder of very many files, listed 100 times.
    const QString many = box.path(QStringLiteral("many"));
    ASSERT_TRUE(QDir().mkpath(many));
    for (int i = 0; i < 50000; ++i) {
        QFile f(many + QStringLiteral("/note%1.txt").arg(i, 5, 10, QLatin1Char('0')));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    lv::new_random_defaults();
    auto& d = lv::doc();
    d.random_name = "Big";
    d.random_folder_counts = {lv::max_folders, 0, 0};
    for (int i = 1; i <= lv::max_folders; ++i) d.random_folders[0][static_cast<std::size_t>(i)] = many.toStdString();
    ASSERT_EQ(lv::save_random((box.data_folder() + QStringLiteral("Big.lmv")).toStdString()), 0);
    box.write_settings({{"active_slideshow", "Big.lmv"}, {"screen_saver_type", "0"}, {"logging", "1"}});

    box.start(saver, {QStringLiteral("/S")});
    ASSERT_TRUE(saver.waitForStarted(hang_ms));
    // Held as soon as the player's title is claimed: the load cannot finish
    // until the test lets it go on.
    const auto pid = static_cast<pid_t>(saver.processId());
    {
        lvtest::scoped_env runtime("XDG_RUNTIME_DIR", box.runtime().toLocal8Bit());
        ASSERT_TRUE(wait_for([] { return !lv::no_window_titled(player_title.toStdString()); }, hang_ms))
            << "the player never claimed its title";
    }
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    // Still loading: the show's main loop has not run yet.
    ASSERT_FALSE(read(box.log_file()).contains("At top of Case Selection"))
        << "the title was claimed only after the load";

    std::size_t most_windows = 0;
    box.start(other, {QStringLiteral("/S")});
    ASSERT_TRUE(other.waitForStarted(hang_ms));
    const bool ended = wait_for([&] {
        most_windows = std::max(most_windows, lvtest::windows_named(QStringLiteral("^") + player_title + "$").size());
        return other.state() == QProcess::NotRunning;
    }, hang_ms);
    ::kill(pid, SIGCONT);
    ASSERT_TRUE(ended) << "the second screen saver kept running";
    EXPECT_EQ(other.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(other.exitCode(), 0);
    EXPECT_LE(most_windows, 1u);
    // The first goes on with its show.
    EXPECT_EQ(saver.state(), QProcess::Running);
    saver.terminate();
    EXPECT_TRUE(lvtest::ends_within(saver, hang_ms));
}

namespace {

// The colour along the edges of the screen, where a centred prompt does not reach.
bool edges_show(QColor colour) {
    const QImage img = lvtest::grab_screen();
    const int w = img.width() - 3, h = img.height() - 3;
    for (QPoint p : {QPoint(2, 2), QPoint(w / 2, 2), QPoint(w, 2), QPoint(2, h / 2), QPoint(w, h / 2),
                     QPoint(2, h), QPoint(w / 2, h), QPoint(w, h)})
        if (img.isNull() || !lvtest::near(img.pixelColor(p), colour)) return false;
    return true;
}

// Whether `window` shows over the whole screen: a mapped child of the root
// at 0, 0 with the screen's size, no other window over it but `prompt`
// (which must be over it when given), and the show's colour along the edges
// of the screen, where a centred prompt does not reach.
bool covers_screen(Display* d, Window window, QSize screen, Window prompt = 0) {
    XSync(d, False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, window, &root, &parent, &children, &count)) return false;
    if (children) XFree(children);
    XWindowAttributes a{};
    if (parent != root || !XGetWindowAttributes(d, window, &a) || a.map_state != IsViewable ||
        a.x != 0 || a.y != 0 || a.width != screen.width() || a.height != screen.height())
        return false;
    if (!XQueryTree(d, root, &root, &parent, &children, &count)) return false;
    int own = -1, prompt_at = -1;
    bool obscured = false;
    for (unsigned i = 0; i < count; ++i) {
        if (children[i] == window) own = static_cast<int>(i);
        else if (children[i] == prompt) prompt_at = static_cast<int>(i);
        else if (own >= 0 && XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
                 a.c_class == InputOutput)
            obscured = true;
    }
    XFree(children);
    if (obscured || (prompt != 0 && prompt_at < own)) return false;
    return edges_show(red);
}

// The password prompt the program maps (it keeps an unmapped window of
// that name too); 0 while there is none.
unsigned long visible_prompt() {
    return lvtest::xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                            QStringLiteral("^Lumivane$")}).trimmed().toULong();
}

}  // namespace

// Any X client can move, shrink, reparent, lower or cover the screen saver's
// window; with no window manager nothing else puts it back. With a password
// set it covers the whole screen again at once, each time, and the password
// prompt stays over it.
TEST_F(DesktopRun, PlayerWindowCoversTheScreenAgainWhateverAnotherClientDoes) {
    ASSERT_TRUE(box.write_colour_show({red}, screen_size, 30));
    ASSERT_TRUE(box.set_password("KEEP"));
    ASSERT_TRUE(start_show());
    const unsigned long window = lvtest::wait_window(player_title);
    ASSERT_NE(window, 0u);
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const Window root = DefaultRootWindow(d);
    const unsigned w = static_cast<unsigned>(screen_size.width()), h = static_cast<unsigned>(screen_size.height());
    const Window small = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0x00ff00);
    const Window cover = XCreateSimpleWindow(d, root, 0, 0, w, h, 0, 0, 0x00ff00);
    XMapWindow(d, small);
    XSync(d, False);
    auto xdo = [&](const QString& args) {
        lvtest::xdotool(args.arg(window).arg(small).split(QLatin1Char(' ')));
        XSync(d, False);
    };
    const std::vector<std::pair<const char*, std::function<void()>>> moves = {
        {"moved off the screen", [&] { xdo(QStringLiteral("windowmove %1 3000 3000")); }},
        {"moved half off", [&] { xdo(QStringLiteral("windowmove %1 512 0")); }},
        {"resized to 1x1", [&] { xdo(QStringLiteral("windowsize %1 1 1")); }},
        {"reparented into a small window", [&] { xdo(QStringLiteral("windowreparent %1 %2")); }},
        {"lowered", [&] { XLowerWindow(d, window); XSync(d, False); }},
        {"covered by another window", [&] { XMapRaised(d, cover); XSync(d, False); }},
    };
    auto answers_each = [&](Window prompt) {
        for (const auto& [what, act] : moves) {
            SCOPED_TRACE(what);
            XUnmapWindow(d, cover);
            act();
            // The desktop may show for a moment at most.
            EXPECT_TRUE(wait_for([&] { return covers_screen(d, window, screen_size, prompt); }, 500));
            ASSERT_EQ(saver.state(), QProcess::Running);
        }
    };
    answers_each(0);

    // A key, to whichever window has the keyboard now, asks for the
    // password; the prompt stays over the show whatever is done to the
    // show's window, and still takes the password.
    lvtest::xdotool({QStringLiteral("key"), QStringLiteral("a")});
    unsigned long prompt = 0;
    wait_for([&] { return (prompt = visible_prompt()) != 0; }, hang_ms);
    ASSERT_NE(prompt, 0u) << "no password prompt";
    EXPECT_TRUE(wait_for([&] { return covers_screen(d, window, screen_size, prompt); }, 500));
    answers_each(prompt);
    XDestroyWindow(d, cover);
    XDestroyWindow(d, small);
    XCloseDisplay(d);
    lvtest::type_into(prompt, QStringLiteral("keep"));
    lvtest::press_key(prompt, QStringLiteral("Return"));
    EXPECT_TRUE(lvtest::ends_within(saver, hang_ms)) << "the password did not end the show";
}

// A window manager lets an unmapped window go and manages it anew when it is
// mapped again; the show asks for that at once, each time. While the password
// prompt is open nothing else looks at the show: once another client stops
// unmapping it, it covers the screen again, under the prompt, which still
// takes the password.
TEST_F(DesktopRun, UnderAWindowManagerTheShowComesBackAfterUnmappingsUnderThePrompt) {
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) GTEST_SKIP() << "needs openbox";
    ASSERT_TRUE(box.write_colour_show({red}, screen_size, 30));
    ASSERT_TRUE(box.set_password("KEEP"));
    ASSERT_TRUE(start_window_manager()) << "openbox did not start";

    ASSERT_TRUE(start_show());
    const unsigned long window = lvtest::wait_window(player_title);
    ASSERT_NE(window, 0u);
    lvtest::xdotool({QStringLiteral("key"), QStringLiteral("a")});
    unsigned long prompt = 0;
    wait_for([&] { return (prompt = visible_prompt()) != 0; }, hang_ms);
    ASSERT_NE(prompt, 0u) << "no password prompt";

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        // As fast as a shell runs them, for two seconds.
        QProcess burst;
        burst.start(QStringLiteral("timeout"),
                    {QStringLiteral("2"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("while :; do xdotool windowunmap %1; done").arg(window)});
        ASSERT_TRUE(burst.waitForFinished(hang_ms));
        // The desktop may show for a moment at most.
        EXPECT_TRUE(wait_for([] { return edges_show(red); }, 500)) << "the desktop stays uncovered";
        ASSERT_EQ(saver.state(), QProcess::Running);
    }
    // The password still ends the show.
    if (visible_prompt() != prompt) {
        lvtest::xdotool({QStringLiteral("key"), QStringLiteral("a")});
        wait_for([&] { return (prompt = visible_prompt()) != 0; }, hang_ms);
    }
    lvtest::type_into(prompt, QStringLiteral("keep"));
    lvtest::press_key(prompt, QStringLiteral("Return"));
    EXPECT_TRUE(lvtest::ends_within(saver, hang_ms)) << "the password did not end the show";
}

namespace {

// Each way the password prompt can close and leave the show running, then
// the right password, from the keyboard alone: the keys go to whichever
// window has the keyboard, as a person's do.
void closings_by_keyboard(QProcess& saver) {
    // A person types once the prompt is up with its box taking the keys.
    auto ask = [] {
        lvtest::keyboard_key(QStringLiteral("a"));
        unsigned long prompt = 0;
        wait_for([&] { return (prompt = visible_prompt()) != 0; }, hang_ms);
        return prompt != 0 && wait_for([&] {
                   return lvtest::xdotool({QStringLiteral("getwindowfocus")}).trimmed().toULong() == prompt;
               }, hang_ms);
    };
    auto wrong_password = [] {
        lvtest::keyboard_type(QStringLiteral("wrong"));
        lvtest::keyboard_key(QStringLiteral("Return"));
        return lvtest::wait_window(QStringLiteral("Passwords"), hang_ms) != 0;
    };
    const std::vector<std::pair<const char*, std::function<bool()>>> closings = {
        {"its timer, with the message of a wrong password open", wrong_password},
        {"its timer, after the message was dismissed",
         [&] {
             if (!wrong_password()) return false;
             lvtest::keyboard_key(QStringLiteral("Return"));
             return wait_for([] { return lvtest::windows_named(QStringLiteral("^Passwords$")).empty(); }, hang_ms);
         }},
        {"Cancel", [] {
             lvtest::keyboard_key(QStringLiteral("Escape"));
             return true;
         }},
    };
    for (const auto& [how, close] : closings) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(ask()) << "a key brought no prompt with the keyboard";
        ASSERT_TRUE(close()) << "the prompt did not take the keys";
        // The prompt's own time-out is ten seconds.
        ASSERT_TRUE(wait_for([] { return visible_prompt() == 0; }, 2 * hang_ms)) << "the prompt stayed";
        ASSERT_EQ(saver.state(), QProcess::Running);
    }
    ASSERT_TRUE(ask()) << "a key brought no prompt with the keyboard";
    lvtest::keyboard_type(QStringLiteral("keep"));
    lvtest::keyboard_key(QStringLiteral("Return"));
    EXPECT_TRUE(lvtest::ends_within(saver, hang_ms)) << "the right password typed did not end the show";
}

}  // namespace

// However the prompt closed (Cancel, its time-out with or without its
// message box), the next key asks again and the password ends the show:
// without a window manager, then under one, which gives the keyboard to
// windows as they come and go.
TEST_F(DesktopRun, TheKeyboardAloneAsksAgainAndEndsTheShowWithOrWithoutAWindowManager) {
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) GTEST_SKIP() << "needs openbox";
    ASSERT_TRUE(box.write_colour_show({red}, screen_size, 30));
    ASSERT_TRUE(box.set_password("KEEP"));
    for (const bool managed : {false, true}) {
        SCOPED_TRACE(managed ? "under openbox" : "without a window manager");
        if (managed) {
            ASSERT_TRUE(start_window_manager()) << "openbox did not start";
        }
        ASSERT_TRUE(start_show());
        closings_by_keyboard(saver);
        if (HasFatalFailure()) return;
    }
}

// A pager's click switches the virtual desktop: the show is on every one.
TEST_F(DesktopRun, UnderAWindowManagerTheShowCoversEveryDesktop) {
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) GTEST_SKIP() << "needs openbox";
    ASSERT_TRUE(box.write_colour_show({red}, screen_size, 30));
    ASSERT_TRUE(start_window_manager()) << "openbox did not start";
    ASSERT_TRUE(start_show());
    const unsigned long window = lvtest::wait_window(player_title);
    ASSERT_NE(window, 0u);
    for (const char* desktop : {"1", "3", "0"}) {
        SCOPED_TRACE(desktop);
        lvtest::xdotool({QStringLiteral("set_desktop"), QString::fromLatin1(desktop)});
        ASSERT_TRUE(wait_for([&] { return lvtest::xdotool({QStringLiteral("get_desktop")}).trimmed() == desktop; },
                             hang_ms));
        // The desktop may show for a moment at most.
        EXPECT_TRUE(wait_for([] { return edges_show(red); }, 500)) << "the desktop shows";
        EXPECT_EQ(lvtest::xdotool({QStringLiteral("get_desktop")}).trimmed(), desktop)
            << "the switch was undone";
    }
    lvtest::keyboard_key(QStringLiteral("a"));
    EXPECT_TRUE(lvtest::ends_within(saver, hang_ms)) << "a key did not end the show";
}
