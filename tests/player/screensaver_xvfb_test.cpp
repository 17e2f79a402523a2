// The screen saver end to end: "lumivane /S" in its own process on a real X
// server, with a generated slideshow as the active one.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include "xvfb_program.h"

using lv::test::wait_for;
using lvtest::cursor_visible;
using lvtest::screen_filled_with;

TEST(ScreenSaverRun, PlaysTheActiveSlideshowFullScreenAndEndsOnAKey) {
    if (!lvtest::on_x_server())
        GTEST_SKIP() << "needs the X server of xvfb-run (QT_QPA_PLATFORM is "
                     << QGuiApplication::platformName().toStdString() << ")";
    const QString bin = lvtest::lumivane_binary();
    ASSERT_TRUE(QFile::exists(bin)) << bin.toStdString();
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QSize size = screen->geometry().size();

    lvtest::program_sandbox box;
    ASSERT_TRUE(box.ok());
    // Two pictures of the screen's shape, shown at "Center Full Screen 100%".
    ASSERT_TRUE(box.write_colour_show({QColor(230, 20, 20), QColor(20, 20, 230)}, size));
    box.write_settings({{"logging", "1"}});

    QProcess proc;
    box.start(proc, {QStringLiteral("/S")});
    ASSERT_TRUE(proc.waitForStarted(lv::test::hang_guard_ms));

    const bool first = wait_for([] { return screen_filled_with(QColor(230, 20, 20)); });
    EXPECT_TRUE(first) << "the first picture never filled the screen";
    if (first) {
        if (auto v = cursor_visible()) {
            EXPECT_FALSE(*v) << "cursor shown during the show";
        }
    }
    const bool second = wait_for([] { return screen_filled_with(QColor(20, 20, 230)); });
    EXPECT_TRUE(second) << "the show did not go on to the next picture";
    ASSERT_EQ(proc.state(), QProcess::Running);

    QElapsedTimer t;
    t.start();
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("a")}), 0);
    const bool ended = proc.waitForFinished(lv::test::hang_guard_ms);
    const qint64 took = t.elapsed();
    if (!ended) {
        proc.kill();
        proc.waitForFinished(lv::test::hang_guard_ms);
    }
    ASSERT_TRUE(ended) << "the key press did not end the screen saver";
    EXPECT_LT(took, 1000) << "ended after " << took << " ms";
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(proc.exitCode(), 0);
    if (auto v = cursor_visible()) {
        EXPECT_TRUE(*v) << "cursor still hidden after the show";
    }

    // The show cleaned up (which shows the cursor) before it went.
    QFile log(box.log_file());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("Clean Up Engine (At bottom of loop. Getting ready to exit.)"));
    EXPECT_TRUE(text.contains("Showing Image Array 2"));
}

// Idle managers may start two screen savers in the same instant: one plays,
// the other ends at once, and one key ends the show, every time.
TEST(ScreenSaverRun, TwoStartedTogetherLeaveOnePlayer) {
    if (!lvtest::on_x_server()) GTEST_SKIP() << "needs the X server of xvfb-run";
    lvtest::program_sandbox box;
    ASSERT_TRUE(box.ok());
    const QColor green(20, 200, 20);
    ASSERT_TRUE(box.write_colour_show({green}, QGuiApplication::primaryScreen()->geometry().size(), 30));
    for (int pair = 0; pair < 10; ++pair) {
        QProcess a, b;
        box.start(a, {QStringLiteral("/S")});
        box.start(b, {QStringLiteral("/S")});
        const bool one_ended = wait_for(
            [&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; });
        QProcess& player = a.state() == QProcess::NotRunning ? b : a;
        // A key before the show runs is not one (starting the show clears it).
        const bool shows = wait_for([&] { return screen_filled_with(green); });
        const unsigned long window = lvtest::wait_window(QStringLiteral("Lumivane Multimedia Tool"));
        if (window) lvtest::press_key(window, QStringLiteral("a"));
        const bool key_ended = lvtest::ends_within(player);
        lvtest::ends_within(a, 0);
        lvtest::ends_within(b, 0);
        ASSERT_TRUE(one_ended) << "pair " << pair << ": both screen savers ran";
        ASSERT_TRUE(shows && window) << "pair " << pair << ": neither screen saver ran";
        ASSERT_TRUE(key_ended) << "pair " << pair << ": the key did not end the show";
    }
}

// Any X client can unmap the player's window (xdotool windowunmap): the show
// comes back on top, also under an open password prompt, and the password
// still ends it. Its sound never finishes starting (a WAV header over 10 GB
// of holes), and yet the next screen saver starts as soon as the window goes.
TEST(ScreenSaverRun, UnmappedPlayerComesBackAndTheNextOneStarts) {
    if (!lvtest::on_x_server()) GTEST_SKIP() << "needs the X server of xvfb-run";
    const QString player_title = QStringLiteral("Lumivane Multimedia Tool");
    lvtest::program_sandbox box;
    ASSERT_TRUE(box.ok());
    const QString wav = box.path(QStringLiteral("huge.wav"));
    {
        QFile f(wav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromHex("52494646f7ffffff57415645666d7420100000000100020044ac000010b10200"
                                    "0400100064617461d3ffffff"));
        ASSERT_TRUE(f.resize(qint64(10) << 30));
    }
    ASSERT_TRUE(box.write_colour_show({QColor(230, 20, 20)}, QGuiApplication::primaryScreen()->geometry().size(), 30, wav));
    ASSERT_TRUE(box.set_password("KEEP"));
    box.write_settings({{"logging", "1"}});
    auto shows = [] { return screen_filled_with(QColor(230, 20, 20)); };
    auto sound_started = [&] {
        QFile log(box.log_file());
        return log.open(QIODevice::ReadOnly) && log.readAll().contains("Play Wav: ");
    };
    auto visible = [](const QString& title) {
        return !lvtest::xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                 QLatin1Char('^') + title + QLatin1Char('$')})
                    .trimmed()
                    .isEmpty();
    };
    auto unmap = [](unsigned long window) {
        lvtest::xdotool({QStringLiteral("windowunmap"), QStringLiteral("--sync"), QString::number(window)});
    };

    QProcess saver, next;
    box.start(saver, {QStringLiteral("/S")});
    ASSERT_TRUE(wait_for([&] { return shows() && sound_started(); }));
    const unsigned long window = lvtest::wait_window(player_title);
    ASSERT_NE(window, 0u);
    unmap(window);
    ASSERT_TRUE(wait_for([&] { return visible(player_title) && shows(); }))
        << "the unmapped player stayed unseen";

    lvtest::press_key(window, QStringLiteral("a"));
    const unsigned long prompt = lvtest::wait_window(QStringLiteral("Lumivane"));
    ASSERT_NE(prompt, 0u) << "the key did not ask for the password";
    unmap(window);
    ASSERT_TRUE(wait_for([&] { return visible(player_title) && visible(QStringLiteral("Lumivane")); }))
        << "unmapped under the prompt, the player stayed unseen";
    lvtest::type_into(prompt, QStringLiteral("keep"));
    lvtest::press_key(prompt, QStringLiteral("Return"));
    ASSERT_TRUE(wait_for([&] { return lvtest::windows_named(player_title).empty(); }))
        << "the password did not end the show";

    box.start(next, {QStringLiteral("/S")});
    EXPECT_NE(lvtest::wait_window(player_title), 0u) << "the next screen saver was refused";
    EXPECT_TRUE(lvtest::ends_within(saver));
    EXPECT_EQ(saver.exitCode(), 0);
    next.terminate();
    EXPECT_TRUE(lvtest::ends_within(next));
}
