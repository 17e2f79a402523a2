// The player's state machine, its start-up and the music clock, driven tick by
// tick with a fake clock.
#include <QFile>
#include <QLabel>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>

#include "core/slideshow_file.h"
#include "platform/desktop/desktop_services.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "platform/desktop/startup_services.h"
#include "player/renderer.h"
#include "slideshow_fixture.h"

using namespace lv;
using lvtest::PlayerTest;

namespace {

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

int renderer_load_error(frmSlideshow& w) { return w.renderer().load_error; }

}  // namespace

using EngineTest = PlayerTest;

TEST_F(EngineTest, OnePictureTimedRunsEveryStateWithItsLogLines) {
    const std::string pic = make_picture("one.png", Qt::red);
    add_sequence(pic, 3);
    settings().logging = 1;
    auto w = make_player();
    clear_log();
    start_main(*w);

    for (int i = 1; i <= 6; ++i) {
        w->main_timer_tick();
        EXPECT_NE(w->slideshow_state, 8) << "delay started early, tick " << i;
    }
    const std::int64_t started_at = clock_ms;
    w->main_timer_tick();   // the seventh tick starts the delay
    EXPECT_EQ(w->slideshow_state, 8);
    EXPECT_EQ(w->delay_end, started_at + 3000);

    clock_ms += 3000;   // not yet past the end
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 8);
    clock_ms += 1;
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 1);

    const std::vector<std::string> expected = {
        "At top of Case Selection. slideshow_state=1",
        "Next Sequence: Showing Image Array 1  Total Images Shown=1",
        "Going To Case 2 (Display Background)",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=2",
        "Going To Case 3 (Display Image)",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=3",
        "Display Picture: " + pic,   // the renderer's line; effect numbers follow
        "Going To Case 5 ( Play Audio)",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=5",
        "Going To Case 4 (Display Caption)",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=4",
        "Going To Case 12 (Handle Error Messages if any..)",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=12",
        "Going To Case 7 (Handle Delay)",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=7",
        "Going To Case 8 (Waiting for delay)",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=8",
        "At bottom_of_main",
        "At top of Case Selection. slideshow_state=8",
        "Going To Case 1 (Showing New Image)",
        "At bottom_of_main",
    };
    const std::vector<std::string> got = log_entries();
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (starts_with(expected[i], "Display Picture: "))
            EXPECT_TRUE(starts_with(got[i], expected[i] + " ")) << got[i];
        else
            EXPECT_EQ(got[i], expected[i]) << "line " << i;
    }

    // A one-image show repeats its image.
    w->main_timer_tick();
    EXPECT_EQ(w->image_index, 1);
    EXPECT_EQ(w->images_shown, 2);
}

TEST_F(EngineTest, VideoInPresentationModeGoesFromSixToTenOnItsFirstTick) {
    // A video that cannot be opened reports no "PLAYING": the engine goes on
    // as after a finished video, and in presentation mode on to the buttons.
    add_sequence(dir() + "/missing.AVI", 5);
    settings().presentation_mode = 1;
    settings().logging = 1;
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 6);
    EXPECT_EQ(w->showing_video, 1);
    clear_log();
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 10);
    const auto got = log_entries();
    const std::vector<std::string> expected = {
        "At top of Case Selection. slideshow_state=6",
        "Going To Case 7 (Handle Delay)",
        "Going To Case 10 (Presentation Mode And Video)",
        "At bottom_of_main",
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(w->button_code, 0);
    EXPECT_TRUE(w->nav_button(frmSlideshow::next_btn)->isVisible());

    // State 10 waits for a button, then acts on it like state 9.
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 10);
    w->button_code = 2;
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 1);
}

TEST_F(EngineTest, VideoInTimedModeWaitsInSixThenDelays) {
    add_sequence(dir() + "/missing.mpg", 2);
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 6);
    EXPECT_EQ(renderer_load_error(*w), 1);
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 7);
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 8);
}

TEST_F(EngineTest, StuckGuardLeavesStateEightAfter5000Ticks) {
    // A sound of mode 3 that never reports its end.
    const std::string snd = dir() + "/never.wav";
    add_sequence(make_picture("a.png", Qt::blue), 1, snd, 3);
    fa.sound_busy = true;
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 8);
    ASSERT_EQ(fa.sounds.size(), 1u);
    EXPECT_EQ(fa.sounds[0], snd);
    EXPECT_EQ(w->sound_mode, 3);
    clock_ms += 10'000'000;   // the display time has long passed: mode 3 ignores it
    for (int i = 1; i < 5000; ++i) w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 8);
    EXPECT_EQ(w->waiting_loop, 4999);
    settings().logging = 1;
    clear_log();
    w->main_timer_tick();   // 5000: not above yet
    EXPECT_EQ(w->slideshow_state, 8);
    w->main_timer_tick();   // 5001
    EXPECT_EQ(w->slideshow_state, 1);
    EXPECT_EQ(w->waiting_loop, 0);
    const auto got = log_entries();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], "Going To Case 1 Because of waiting_loop>5000!! (Stuck)");
}

TEST_F(EngineTest, AudioModeThreeEndsWithTheSound) {
    add_sequence(make_picture("a.png", Qt::blue), 100, dir() + "/s.wav", 3);
    add_sequence(make_picture("b.png", Qt::green), 100, "", 3);   // mode 3 without a file
    fa.sound_busy = true;
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 8);
    w->main_timer_tick();
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 8);
    fa.sound_busy = false;
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 1);
    // The next image has no sound of its own: it leaves state 8 at once.
    tick_until(*w, 8);
    EXPECT_EQ(w->image_index, 2);
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 1);
}

TEST_F(EngineTest, RepeatingSoundsLoopUntilTheirImageEnds) {
    const std::string s1 = dir() + "/loop.wav";
    add_sequence(make_picture("a.png", Qt::blue), 1, s1, 1);   // repeat during this image
    add_sequence(make_picture("b.png", Qt::green), 1);
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 8);
    ASSERT_EQ(fa.sounds.size(), 1u);
    fa.sound_busy = false;
    w->midi_timer_tick();   // loop_audio starts it again while the channel is idle
    EXPECT_EQ(fa.sounds.size(), 2u);
    fa.sound_busy = true;
    w->midi_timer_tick();
    EXPECT_EQ(fa.sounds.size(), 2u);
    clock_ms += 2000;
    tick_until(*w, 3);   // state 2 of the next image stops a mode-1 sound
    EXPECT_EQ(fa.sound_stops, 1);
    EXPECT_EQ(w->sound_mode, -1);
    fa.sound_busy = false;
    w->midi_timer_tick();
    EXPECT_EQ(fa.sounds.size(), 2u);

    // audio_on 0 plays nothing but still logs the sound.
    settings().audio_on = 0;
    w->play_wav(s1);
    EXPECT_EQ(fa.sounds.size(), 2u);
}

TEST_F(EngineTest, MusicStartsOnTheFirstMidiTickThenWaitsMusicLaunch) {
    add_pictures(1);
    auto& d = doc();
    redim_music(2);
    d.music_count = 2;
    d.music_files[1] = dir() + "/m1.mid";
    d.music_files[2] = dir() + "/m2.mp3";
    settings().music_launch = 1;
    auto w = make_player();
    EXPECT_TRUE(w->midi_timer_on());
    EXPECT_FALSE(w->main_timer_on());
    EXPECT_EQ(w->music_ticks, 20);

    w->midi_timer_tick();
    ASSERT_EQ(fa.music.size(), 1u);
    EXPECT_EQ(fa.music[0], d.music_files[1]);
    EXPECT_EQ(w->music_index, 1);
    EXPECT_TRUE(w->main_timer_on());

    // The file ended at once: still music_launch seconds until the next one.
    for (int i = 0; i < 10; ++i) w->midi_timer_tick();
    EXPECT_EQ(fa.music.size(), 1u);
    w->midi_timer_tick();
    ASSERT_EQ(fa.music.size(), 2u);
    EXPECT_EQ(fa.music[1], d.music_files[2]);

    // While a file plays nothing new starts.
    fa.music_busy = true;
    for (int i = 0; i < 30; ++i) w->midi_timer_tick();
    EXPECT_EQ(fa.music.size(), 2u);
    // Sequential order wraps to the first file.
    fa.music_busy = false;
    w->midi_timer_tick();
    ASSERT_EQ(fa.music.size(), 3u);
    EXPECT_EQ(fa.music[2], d.music_files[1]);

    // No music once audio is off, or when the show is ending.
    settings().audio_on = 0;
    for (int i = 0; i < 30; ++i) w->midi_timer_tick();
    EXPECT_EQ(fa.music.size(), 3u);
}

TEST_F(EngineTest, RandomMusicDrawsFromTheOneGenerator) {
    add_pictures(1);
    auto& d = doc();
    redim_music(3);
    d.music_count = 3;
    for (int j = 1; j <= 3; ++j) d.music_files[j] = dir() + "/m" + std::to_string(j) + ".wav";
    settings().random_music = 1;
    settings().music_launch = 0;
    std::vector<double> draws{0.7, 0.0, 0.99};
    std::size_t next = 0;
    set_random_source([&] { return draws[next++ % draws.size()]; });
    auto w = make_player();
    next = 0;   // the play order drew from the source too
    w->midi_timer_tick();
    ASSERT_EQ(fa.music.size(), 1u);
    EXPECT_EQ(fa.music[0], d.music_files[3]);   // floor(3 * 0.7) + 1
    w->midi_timer_tick();
    ASSERT_EQ(fa.music.size(), 2u);
    EXPECT_EQ(fa.music[1], d.music_files[1]);
}

TEST_F(EngineTest, EmptyMusicListPlaysNothingAndStillStartsTheShow) {
    add_pictures(1);
    auto w = make_player();
    w->midi_timer_tick();
    EXPECT_TRUE(fa.music.empty());
    EXPECT_EQ(w->music_ticks, 0);
    EXPECT_TRUE(w->main_timer_on());
}

TEST_F(EngineTest, PowerSaverEngagesInItsEndHourOnlyAsScreenSaver) {
    // Started at 10:40 with 18 hours: starting hour 11, ending hour 5.
    add_pictures(2);
    run().running_as_screensaver = 1;
    settings().logging = 1;
    auto w = make_player();
    EXPECT_EQ(w->power_saver_start_hour, 11);
    EXPECT_EQ(w->power_saver_end_hour, 5);
    start_main(*w);
    clear_log();
    wall.hour = 4;
    wall.minute = 59;
    w->main_timer_tick();
    EXPECT_EQ(run().power_saver_active, 0);
    EXPECT_EQ(settings().audio_on, 1);

    tick_until(*w, 8);
    clock_ms += 100'000;
    wall.hour = 5;
    wall.minute = 0;
    tick_until(*w, 2);
    EXPECT_EQ(run().power_saver_active, 1);
    EXPECT_EQ(settings().audio_on, 0);
    bool logged = false;
    for (const auto& l : log_entries())
        logged |= l == "Extended Screen Saver Usage - Turning Off Video Effects And Sound Starting "
                       "Hour: 11 Ending Hour: 5 Current Hour: 5";
    EXPECT_TRUE(logged);

    // Once engaged it stays on past the hour; the unload restores audio_on.
    wall.hour = 6;
    tick_until(*w, 8);
    EXPECT_EQ(run().power_saver_active, 1);
    run().time_to_end = 1;
    w->main_timer_tick();
    EXPECT_TRUE(w->unloaded());
    EXPECT_EQ(settings().audio_on, 1);
    EXPECT_EQ(run().power_saver_active, 0);
}

TEST_F(EngineTest, PowerSaverNeedsTheFlagAndTheScreenSaver) {
    add_pictures(1);
    wall = {2024, 3, 1, 5, 10, 0};   // start 5:10 with extended 24: end hour 5
    settings().extended_time = "24";
    settings().extended_flag = "0";
    run().running_as_screensaver = 1;
    auto w = make_player();
    EXPECT_EQ(w->power_saver_end_hour, 5);
    start_main(*w);
    w->main_timer_tick();
    EXPECT_EQ(run().power_saver_active, 0);

    settings().extended_flag = "1";
    run().running_as_screensaver = 0;
    tick_until(*w, 8);
    clock_ms += 100'000;
    tick_until(*w, 2);
    EXPECT_EQ(run().power_saver_active, 0);

    run().running_as_screensaver = 1;
    tick_until(*w, 8);
    clock_ms += 100'000;
    tick_until(*w, 2);
    EXPECT_EQ(run().power_saver_active, 1);
}

TEST(PowerSaverHours, FromTheStartTimeAndExtendedTime) {
    EXPECT_EQ(compute_power_saver_hours(10, 40, "18").start_hour, 11);
    EXPECT_EQ(compute_power_saver_hours(10, 40, "18").end_hour, 5);
    EXPECT_EQ(compute_power_saver_hours(10, 30, "18").start_hour, 10);
    EXPECT_EQ(compute_power_saver_hours(23, 45, "2").start_hour, 0);
    EXPECT_EQ(compute_power_saver_hours(23, 45, "2").end_hour, 2);
    EXPECT_EQ(compute_power_saver_hours(8, 0, " 3 ").end_hour, 11);
    // A stored value that is not a number counts as the default 18.
    EXPECT_EQ(compute_power_saver_hours(10, 0, "abc").end_hour, 4);
    EXPECT_EQ(compute_power_saver_hours(10, 0, "").end_hour, 4);
    EXPECT_EQ(compute_power_saver_hours(10, 0, "12x").end_hour, 4);
    // Any number of hours lands on an hour of the day.
    EXPECT_EQ(compute_power_saver_hours(10, 0, "50").end_hour, 12);
}

TEST_F(EngineTest, AutoStopEndsAfterEveryImageOutsideTheScreenSaver) {
    add_pictures(3);
    settings().auto_stop = 1;
    settings().logging = 1;
    auto w = make_player();
    start_main(*w);
    for (int image = 1; image <= 3; ++image) {
        tick_until(*w, 8);
        EXPECT_EQ(w->image_index, image);
        clock_ms += 10'000;
    }
    EXPECT_EQ(run().time_to_end, 0);
    w->main_timer_tick();   // state 8 -> 1
    clear_log();
    w->main_timer_tick();   // state 1 for the fourth time
    EXPECT_EQ(w->image_index, 1);   // the next index was chosen first
    EXPECT_TRUE(w->unloaded());
    EXPECT_EQ(run().show_finished, 1);
    const auto got = log_entries();
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[2], "Going To Case 2 (Display Background)");
    EXPECT_EQ(got[3], "Exiting due to auto stop active.");
    EXPECT_EQ(w->slideshow_state, 0);
}

TEST_F(EngineTest, AutoStopNeverEndsTheScreenSaver) {
    add_pictures(2);
    settings().auto_stop = 1;
    run().running_as_screensaver = 1;
    auto w = make_player();
    start_main(*w);
    for (int image = 1; image <= 5; ++image) {
        tick_until(*w, 8);
        clock_ms += 10'000;
    }
    EXPECT_EQ(run().time_to_end, 0);
    EXPECT_FALSE(w->unloaded());
    EXPECT_EQ(w->images_shown, 5);
}

TEST_F(EngineTest, NoSlideshowRunsThePlaceholderShow) {
    auto w = make_player();
    EXPECT_EQ(w->no_images_mode, 1);
    ASSERT_EQ(doc().image_count, 1);
    const sequence_record r = doc().sequences.get(1);
    EXPECT_EQ(r.image_file, "test.jpg");
    EXPECT_EQ(r.display_position, 8);
    EXPECT_EQ(r.display_time, 10);
    EXPECT_EQ(r.caption_text, "Please edit your active slideshow.");
    EXPECT_EQ(r.caption_position, 7);
    EXPECT_EQ(doc().music_count, 0);
    EXPECT_EQ(doc().border.border_off, 1);
    start_main(*w);
    tick_until(*w, 8);
    // The placeholder picture stands in for the missing "test.jpg".
    EXPECT_EQ(w->renderer().load_error, 0);
}

TEST_F(EngineTest, WindowLoadSetsTheRunUp) {
    add_pictures(2);
    settings().music_launch = 3;
    settings().presentation_mode = 0;
    run().time_to_end = 1;   // left over from an earlier show
    auto w = make_player();
    EXPECT_EQ(w->windowTitle().toStdString(), "Lumivane Multimedia Tool");
    // A second screen saver can see that one runs.
    EXPECT_FALSE(no_window_titled("Lumivane Multimedia Tool"));
    EXPECT_EQ(w->music_ticks, 40);
    EXPECT_EQ(w->slideshow_state, 1);
    EXPECT_EQ(w->image_index, 0);
    EXPECT_EQ(w->sound_mode, -1);
    EXPECT_EQ(run().time_to_end, 0);
    EXPECT_EQ(run().show_finished, 0);
    EXPECT_TRUE(w->midi_timer_on());
    EXPECT_FALSE(w->qexit_on());
    EXPECT_FALSE(w->qlabel()->isVisible());
    EXPECT_TRUE(cursor_hidden());
    EXPECT_EQ(w->screen_save_use_password, 0);
    EXPECT_EQ(fa.all_stops, 1);   // init_engine stops both channels
    run().time_to_end = 1;
    w->main_timer_tick();
    EXPECT_FALSE(cursor_hidden());
    EXPECT_TRUE(no_window_titled("Lumivane Multimedia Tool"));
}

TEST_F(EngineTest, ScreenSaverLoadsItsCustomFileAndShufflesIt) {
    add_pictures(5);
    const std::string path = dir() + "/show.lmv";
    ASSERT_EQ(write_custom_file(path), 0);
    redim_slides(0);
    doc().image_count = 0;
    settings().slideshow_method = 1;
    run().screensaver_slideshow_path = path;
    auto w = make_player();
    EXPECT_EQ(doc().image_count, 5);
    EXPECT_EQ(w->no_images_mode, 0);
    // The order was built for the loaded show, not for the empty one before.
    ASSERT_EQ(w->order.size(), 5);
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        w->get_nextimage();
        seen.push_back(w->image_index);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(EngineTest, UnreadableScreenSaverFilesRunThePlaceholder) {
    const std::string empty = dir() + "/empty.lmv";
    const std::string shortf = dir() + "/short.lmv";
    const std::string other = dir() + "/other.lmv";
    { QFile f(QString::fromStdString(empty)); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
    { QFile f(QString::fromStdString(shortf)); ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("\"Lumivane\",\"6.0.11\"\r\n"); }
    { QFile f(QString::fromStdString(other)); ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("\"Lumivane\",\"6.0.11\",\"Other\"\r\n"); }
    for (const std::string& p : {dir() + "/missing.lmv", empty, shortf, other}) {
        SCOPED_TRACE(p);
        doc().image_count = 0;
        run().screensaver_slideshow_path = p;
        auto w = make_player();
        EXPECT_EQ(w->no_images_mode, 1);
        EXPECT_EQ(doc().image_count, 1);
        EXPECT_EQ(doc().sequences.caption_text[1], "Please edit your active slideshow.");
    }
}

TEST_F(EngineTest, SimpleFileThatFailsToLoadIsNotBuilt) {
    // The folder list is read before the file breaks off: building from the
    // half-read lists would play these pictures.
    QDir().mkpath(tmp.path() + "/pics");
    make_picture("pics/a.png", Qt::red);
    make_picture("pics/b.png", Qt::green);
    doc().random_folder_counts = {1, 0, 0};
    doc().random_folders[0][1] = dir() + "/pics/";
    const std::string good = dir() + "/good.lmv";
    ASSERT_EQ(save_random(good), 0);
    QFile f(QString::fromStdString(good));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    f.close();
    // Cut the file after the first folder line.
    const int at = bytes.indexOf("pics/");
    ASSERT_GT(at, 0);
    const QByteArray cut = bytes.left(bytes.indexOf('\n', at) + 1);
    const std::string broken = dir() + "/broken.lmv";
    QFile b(QString::fromStdString(broken));
    ASSERT_TRUE(b.open(QIODevice::WriteOnly));
    b.write(cut);
    b.close();

    new_random_defaults();
    run().screensaver_slideshow_path = broken;
    {
        auto w = make_player();
        EXPECT_EQ(w->no_images_mode, 1);
        EXPECT_EQ(doc().sequences.image_file[1], "test.jpg");
    }
    // The whole file builds its two pictures.
    doc().image_count = 0;
    run().screensaver_slideshow_path = good;
    auto w = make_player();
    EXPECT_EQ(w->no_images_mode, 0);
    EXPECT_EQ(doc().image_count, 2);
}

TEST_F(EngineTest, InterruptedLoadBouncesTheMessageUntilTheNextEndRequest) {
    add_pictures(3);
    const std::string path = dir() + "/show.lmv";
    ASSERT_EQ(write_custom_file(path), 0);
    redim_slides(0);
    doc().image_count = 0;
    run().screensaver_slideshow_path = path;
    // The user presses a key while the file loads.
    bool pressed = false;
    hooks().yield_events = [&pressed] {
        if (!pressed) run().time_to_end = 1;
        pressed = true;
        QCoreApplication::processEvents();
    };
    auto w = std::make_unique<frmSlideshow>();
    w->set_delete_on_unload(false);
    w->resize(640, 480);
    w->show();
    w->form_load();
    hooks().yield_events = [] { QCoreApplication::processEvents(); };
    EXPECT_EQ(w->load_aborted, 1);
    EXPECT_TRUE(w->qexit_on());
    EXPECT_FALSE(w->midi_timer_on());
    EXPECT_FALSE(w->main_timer_on());
    EXPECT_TRUE(w->qlabel()->isVisible());
    EXPECT_TRUE(w->qlabel()->text().startsWith("Lumivane did not finish initializing."));
    EXPECT_EQ(run().time_to_end, 0);   // init_engine cleared it

    EXPECT_EQ(w->qlabel()->pos(), QPoint(0, 0));
    for (int i = 0; i < 5; ++i) w->qexit_tick();
    EXPECT_EQ(w->qlabel()->pos(), QPoint(5, 5));
    // It bounces off the right edge.
    w->qlabel()->move(w->width() - w->qlabel()->width() - 2, 5);
    for (int i = 0; i < 4; ++i) w->qexit_tick();
    EXPECT_EQ(w->qlabel()->x(), w->width() - w->qlabel()->width() - 2);
    EXPECT_EQ(w->qlabel()->y(), 9);
    EXPECT_FALSE(w->unloaded());

    settings().logging = 1;
    clear_log();
    w->handle_key(Qt::Key_A, "a");
    w->qexit_tick();
    EXPECT_TRUE(w->unloaded());
    EXPECT_EQ(run().show_finished, 1);
    EXPECT_FALSE(cursor_hidden());
    EXPECT_TRUE(log_entries().empty());   // no wallpaper, no clean-up line
}

TEST_F(EngineTest, TimerTicksDoNotReenter) {
    add_pictures(1);
    auto w = make_player();
    start_main(*w);
    w->timer_busy = 1;
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 1);
    w->qexit_tick();
    w->timer_busy = 0;
    w->music_timer_busy = 1;
    const auto ticks = w->music_ticks;
    w->midi_timer_tick();
    EXPECT_EQ(w->music_ticks, ticks + 1);   // counts, loops audio, stops there
    w->music_timer_busy = 0;

    // A tick that yields lets the other timers' ticks run: they return at once.
    int nested = 0;
    hooks().yield_events = [&] {
        if (nested++ < 3) w->main_timer_tick();
    };
    w->main_timer_tick();
    hooks().yield_events = [] { QCoreApplication::processEvents(); };
    EXPECT_EQ(w->slideshow_state, 2);
}

class VideoEngineTest : public PlayerTest {
protected:
    // A five-second AVI with sound, made by ffmpeg; "" when it cannot be made.
    std::string make_video() {
        const std::string path = dir() + "/clip.avi";
        const std::string cmd =
            "ffmpeg -y -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i "
            "sine=frequency=440 -t 5 -c:v mjpeg -c:a pcm_s16le '" + path + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return "";
        return path;
    }
    static std::string status(frmSlideshow& w) {
        return w.renderer().image_video()->status().toUpper().toStdString();
    }
};

TEST_F(VideoEngineTest, AVideoLeftByANavigationButtonIsStopped) {
    const std::string clip = make_video();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg cannot make a test video";
    add_sequence(clip, 5);
    add_sequence(make_picture("after.png", Qt::green), 5);
    settings().presentation_mode = 1;
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 10);
    if (status(*w) != "PLAYING") GTEST_SKIP() << "no video playback here";
    w->button_code = 2;
    w->main_timer_tick();   // 10 -> 1
    EXPECT_EQ(w->slideshow_state, 1);
    w->main_timer_tick();   // the next image: the video must not go on hidden
    EXPECT_NE(status(*w), "PLAYING");
    EXPECT_EQ(w->image_index, 2);
}

TEST_F(VideoEngineTest, TimedVideoIsWaitedForAndStoppedByAnEndRequest) {
    const std::string clip = make_video();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg cannot make a test video";
    add_sequence(clip, 5);
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 6);
    if (status(*w) != "PLAYING") GTEST_SKIP() << "no video playback here";
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 6);   // still playing: keeps waiting
    w->key_pressed();
    w->main_timer_tick();
    EXPECT_TRUE(w->unloaded());
    EXPECT_NE(status(*w), "PLAYING");
}
