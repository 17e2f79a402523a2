// End requests (keys, mouse bursts, closing from outside), the password gate
// and the unload.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include "platform/desktop/desktop_services.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "player/renderer.h"
#include "slideshow_fixture.h"

using namespace lv;
using lvtest::PlayerTest;

TEST(MouseBursts, ExactCountThatEndsAShow) {
    for (int exit_after : {1, 12, 30}) {
        mouse_exit_counter m;
        const int needed = 9 + 6 * exit_after;   // first burst 9 events, later ones 6
        for (int i = 1; i < needed; ++i) ASSERT_FALSE(m.count_event(1000, exit_after)) << i;
        EXPECT_TRUE(m.count_event(1000, exit_after)) << exit_after;
    }
}

TEST(MouseBursts, SlowMovementNeverEnds) {
    // 12 bursts per 3-second window at most: with mouse_moves_exit 12 the
    // show goes on for ever.
    mouse_exit_counter m;
    std::int64_t t = 0;
    for (int i = 0; i < 5000; ++i) {
        t += 45;   // 67 events per window: the 13th burst needs 81
        ASSERT_FALSE(m.count_event(t, 12)) << i;
    }
}

TEST(MouseBursts, AWindowOpensAtTheFirstEventAfterTheLastOneEnded) {
    mouse_exit_counter m;
    // The very first event opens a window, whatever the clock reads.
    m.count_event(0, 12);
    EXPECT_EQ(m.mouse_window_end, 3000);
    for (int i = 0; i < 70; ++i) m.count_event(100, 12);
    EXPECT_EQ(m.mouse_move_count, 11);
    // After the window: the count starts again.
    m.count_event(3001, 12);
    EXPECT_EQ(m.mouse_move_count, 0);
    EXPECT_EQ(m.mouse_window_end, 6001);
    // The burst counter carries on across windows (never reset).
    m.reset_window();
    EXPECT_EQ(m.mouse_window_end, mouse_exit_counter::no_window);
}

using ExitTest = PlayerTest;

TEST_F(ExitTest, MouseBurstsEndTheShowButNotInPresentationMode) {
    add_pictures(1);
    auto w = make_player();
    start_main(*w);
    for (int i = 0; i < 80; ++i) w->mouse_move();
    EXPECT_EQ(run().time_to_end, 0);
    w->mouse_move();
    EXPECT_EQ(run().time_to_end, 1);

    run().time_to_end = 0;
    settings().presentation_mode = 1;
    w->mouse.reset_window();
    const int ticks = w->mouse.mouse_move_ticks;
    for (int i = 0; i < 500; ++i) w->mouse_move();
    EXPECT_EQ(run().time_to_end, 0);
    EXPECT_EQ(w->mouse.mouse_move_ticks, ticks);
}

TEST_F(ExitTest, RealMouseEventsCountOncePerMove) {
    add_pictures(1);
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 8);
    QWidget* pic = w->renderer().image_picture();
    ASSERT_TRUE(pic->isVisible());
    auto send_move = [&](QWidget* target, int i) {
        QMouseEvent e(QEvent::MouseMove, QPointF(10 + i, 10), QPointF(10 + i, 10),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        e.setTimestamp(1000 + i);
        QCoreApplication::sendEvent(target, &e);
        // The same move reaching the window as well (propagated) must not count twice.
        QMouseEvent p(QEvent::MouseMove, QPointF(10 + i, 10), QPointF(10 + i, 10),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        p.setTimestamp(1000 + i);
        QCoreApplication::sendEvent(w.get(), &p);
    };
    for (int i = 0; i < 80; ++i) send_move(pic, i);
    EXPECT_EQ(run().time_to_end, 0);
    send_move(w.get(), 80);
    EXPECT_EQ(run().time_to_end, 1);
}

TEST_F(ExitTest, AnyKeyEndsTheShowAndTheCursorComesBack) {
    add_pictures(2);
    settings().logging = 1;
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 8);
    EXPECT_TRUE(cursor_hidden());
    // Keys reach the window through the off-screen text box that holds the focus.
    QKeyEvent k(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QCoreApplication::sendEvent(w->text1(), &k);
    EXPECT_EQ(run().time_to_end, 1);
    EXPECT_TRUE(w->text1()->text().isEmpty());
    clear_log();
    w->main_timer_tick();
    EXPECT_TRUE(w->unloaded());
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->midi_timer_on());
    EXPECT_FALSE(w->main_timer_on());
    EXPECT_EQ(run().show_finished, 1);
    EXPECT_FALSE(cursor_hidden());
    EXPECT_GE(fa.all_stops, 2);   // init_engine and cleanup_engine
    EXPECT_EQ(log_entries(),
              (std::vector<std::string>{"At bottom_of_main",
                                        "Clean Up Engine (At bottom of loop. Getting ready to exit.)"}));
    // Unloaded: later ticks do nothing.
    w->main_timer_tick();
    w->midi_timer_tick();
    EXPECT_EQ(log_entries().size(), 2u);
}

TEST_F(ExitTest, SpaceOutsidePresentationModeEndsTheShow) {
    add_pictures(1);
    auto w = make_player();
    w->handle_key(Qt::Key_Space, " ");
    EXPECT_EQ(run().time_to_end, 1);
}

TEST_F(ExitTest, ClosingFromOutsideIsAnEndRequest) {
    add_pictures(1);
    auto w = make_player();
    start_main(*w);
    EXPECT_FALSE(w->close());   // refused
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(run().time_to_end, 1);
    EXPECT_FALSE(w->unloaded());
    w->main_timer_tick();
    EXPECT_TRUE(w->unloaded());
}

TEST_F(ExitTest, TheWindowIsDeletedOnlyAfterItsTickHasReturned) {
    add_pictures(1);
    auto* raw = new frmSlideshow();
    QPointer<frmSlideshow> w(raw);
    raw->resize(640, 480);
    raw->show();
    raw->form_load();
    raw->midi_timer_tick();
    raw->key_pressed();
    raw->main_timer_tick();
    ASSERT_FALSE(w.isNull());   // still there after its own tick
    EXPECT_TRUE(w->unloaded());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}

TEST_F(ExitTest, UnloadRestoresTheRunSettingsAndTheDesktopScreenSaver) {
    add_pictures(1);
    settings().presentation_mode = 1;
    settings().audio_on = 1;
    auto w = make_player();
    EXPECT_FALSE(screensaver_active());
    start_main(*w);
    settings().presentation_mode = 0;   // as after the space bar
    settings().audio_on = 0;            // as after the power saver
    run().power_saver_active = 1;
    w->key_pressed();
    w->main_timer_tick();
    ASSERT_TRUE(w->unloaded());
    EXPECT_EQ(settings().presentation_mode, 1);
    EXPECT_EQ(settings().audio_on, 1);
    EXPECT_EQ(run().power_saver_active, 0);
    EXPECT_TRUE(screensaver_active());
}

TEST_F(ExitTest, SaveAsWallpaperRunsBeforeTheCleanUp) {
    add_pictures(1);
    settings().save_as_wallpaper = 1;
    settings().logging = 1;
    bool cursor_hidden_when_saved = false;
    int saves = 0;
    frmSlideshow::wallpaper_saver = [&](frmSlideshow&) {
        ++saves;
        cursor_hidden_when_saved = cursor_hidden();
    };
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 8);
    clear_log();
    w->key_pressed();
    w->main_timer_tick();
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(cursor_hidden_when_saved);   // the screen as the show left it
    EXPECT_EQ(log_entries(), (std::vector<std::string>{
                                 "At bottom_of_main", "Going To Save Wallpaper",
                                 "Clean Up Engine (At bottom of loop. Getting ready to exit.)"}));
}

class PasswordGateTest : public PlayerTest {
protected:
    int prompts = 0;
    std::function<void(frmSlideshow&)> answer;

    void SetUp() override {
        PlayerTest::SetUp();
        frmSlideshow::password_prompt = [this](frmSlideshow& w) {
            ++prompts;
            EXPECT_EQ(run().password_prompt_open, 1);
            if (answer) answer(w);
        };
        settings().screensaver_password = "SECRET";
        run().running_as_screensaver = 1;
        add_pictures(2);
    }

    std::unique_ptr<frmSlideshow> screen_saver() {
        auto w = make_player();
        w->screen_save_use_password = 1;   // the desktop asks for the password
        start_main(*w);
        tick_until(*w, 8);
        return w;
    }

    // What the prompt does on Cancel or its time-out.
    static void cancel(frmSlideshow&) {
        run().time_to_end = 0;
        run().password_prompt_open = 0;
    }
    static void right_password(frmSlideshow&) {
        run().exit_allowed = 1;
        run().password_prompt_open = 0;
    }
};

TEST_F(PasswordGateTest, CancelLetsTheShowGoOnAndTheNextRequestAsksAgain) {
    answer = cancel;
    auto w = screen_saver();
    for (int i = 0; i < 30; ++i) w->mouse_move();
    const int bursts = w->mouse.mouse_move_count;
    EXPECT_GT(bursts, 0);
    w->key_pressed();
    w->main_timer_tick();
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(w->unloaded());
    EXPECT_EQ(run().time_to_end, 0);
    EXPECT_EQ(run().exit_allowed, 0);
    EXPECT_EQ(run().password_prompt_open, 0);
    EXPECT_EQ(w->mouse.mouse_move_count, 0);
    EXPECT_EQ(w->timer_busy, 0);
    // The show goes on.
    clock_ms += 100'000;
    tick_until(*w, 8);
    EXPECT_EQ(w->image_index, 2);

    answer = right_password;
    w->key_pressed();
    w->main_timer_tick();
    EXPECT_EQ(prompts, 2);
    EXPECT_TRUE(w->unloaded());
    EXPECT_EQ(run().show_finished, 1);
}

TEST_F(PasswordGateTest, TheTickWaitsInsideThePromptWhileTheMusicClockRuns) {
    auto w = screen_saver();
    const int state = w->slideshow_state;
    int raises_during_prompt = -1;
    answer = [&](frmSlideshow& s) {
        EXPECT_EQ(s.timer_busy, 1);
        s.main_timer_tick();   // returns at once
        EXPECT_EQ(s.slideshow_state, state);
        const int before = s.topmost_requests;
        const auto music = s.music_ticks;
        s.midi_timer_tick();
        EXPECT_EQ(s.music_ticks, music + 1);
        // The player does not climb over the prompt.
        raises_during_prompt = s.topmost_requests - before;
        right_password(s);
    };
    w->key_pressed();
    w->main_timer_tick();
    EXPECT_EQ(raises_during_prompt, 0);
    EXPECT_TRUE(w->unloaded());
}

TEST_F(PasswordGateTest, ScreenSaverStaysOnTopOtherwise) {
    auto w = screen_saver();
    const int before = w->topmost_requests;
    w->midi_timer_tick();
    EXPECT_EQ(w->topmost_requests, before + 1);
}

TEST_F(PasswordGateTest, AnEndRequestWhileThePromptIsOpenDoesNothingMore) {
    auto w = screen_saver();
    answer = [&](frmSlideshow& s) {
        s.key_pressed();
        for (int i = 0; i < 100; ++i) s.mouse_move();
        EXPECT_EQ(prompts, 1);
        cancel(s);
    };
    w->key_pressed();
    w->main_timer_tick();
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(w->unloaded());
}

TEST_F(PasswordGateTest, ClosingTheScreenSaverFromOutsideAsksForThePassword) {
    answer = cancel;
    auto w = screen_saver();
    EXPECT_FALSE(w->close());
    w->main_timer_tick();
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(w->unloaded());
}

TEST_F(PasswordGateTest, NoPromptForAUserShowOrAnEmptyPassword) {
    // A user-played show: the desktop's setting is forced off.
    run().running_as_screensaver = 0;
    run().show_origin = 1;
    {
        auto w = make_player();
        EXPECT_EQ(w->screen_save_use_password, 0);
        start_main(*w);
        w->key_pressed();
        w->main_timer_tick();
        EXPECT_TRUE(w->unloaded());
    }
    run().show_origin = 0;
    run().running_as_screensaver = 1;
    settings().screensaver_password = "";
    {
        auto w = screen_saver();
        w->key_pressed();
        w->main_timer_tick();
        EXPECT_TRUE(w->unloaded());
    }
    // The screen saver without the desktop's password setting.
    settings().screensaver_password = "SECRET";
    {
        auto w = make_player();
        w->screen_save_use_password = 0;
        start_main(*w);
        w->key_pressed();
        w->main_timer_tick();
        EXPECT_TRUE(w->unloaded());
    }
    EXPECT_EQ(prompts, 0);
}

TEST_F(PasswordGateTest, InterruptedLoadAsksToo) {
    answer = cancel;
    auto w = screen_saver();
    w->key_pressed();
    w->qexit_tick();
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(w->unloaded());
    answer = right_password;
    w->key_pressed();
    w->qexit_tick();
    EXPECT_TRUE(w->unloaded());
}

TEST_F(ExitTest, ModalShowRunsOnItsOwnTimersAndReturnsWhenItEnds) {
    // The user's and the editors' way in: real 100 ms timers, a key press.
    add_pictures(2);
    run().show_origin = 1;
    frmSlideshow::manual_timers = false;
    int ticks_seen = 0;
    QTimer probe;
    probe.setInterval(50);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (++ticks_seen == 10) run().time_to_end = 1;   // half a second in
    });
    probe.start();
    frmSlideshow::show_modal();
    frmSlideshow::manual_timers = true;
    EXPECT_GE(ticks_seen, 10);
    EXPECT_EQ(run().show_finished, 1);
    EXPECT_FALSE(cursor_hidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
