#pragma once
// The full-screen player and screen saver. Three 100 ms timers drive it on
// the one user-interface thread: main_timer steps the per-image state machine
// (background, picture or video, sound, caption, error banner, then a timed
// wait or a wait for a navigation button), midi_timer keeps the window on
// top, repeats sounds, sequences the background music and starts main_timer,
// and qexit replaces both after a load that was interrupted by an end request.
//
// Callers prepare the run values (lv::run(): show_origin,
// screensaver_slideshow_path, start_image, running_as_screensaver), show the
// window and read nothing back but show_finished.
#include <QWidget>
#include <QPointer>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/desktop/startup_services.h"
#include "platform/desktop/x11_desktop.h"
#include "player/play_order.h"

class QLabel;
class QLineEdit;
class QSocketNotifier;
class QToolButton;

namespace lv {

class Renderer;

class frmSlideshow : public QWidget {
    Q_OBJECT
public:
    // ---- replaceable services --------------------------------------------
    // The screen-saver password prompt, shown modally: returns when the prompt
    // has closed. A right password sets run().exit_allowed = 1; Cancel or the
    // time-out leaves it 0 (the player then lets the show go on). By default
    // frmCheckPassword; when emptied the end is allowed without a prompt.
    static std::function<void(frmSlideshow&)> password_prompt;
    // Saves the screen as the desktop wallpaper (the setting save_as_wallpaper);
    // by default save_wallpaper().
    static std::function<void(frmSlideshow&)> wallpaper_saver;
    // When true, switching a timer on only records it: nothing fires by
    // itself and tests call the tick procedures directly.
    static bool manual_timers;
    // The two audio channels as the player uses them; the platform's by
    // default, replaceable so that tests can script what plays and when.
    struct audio_channels {
        std::function<void(const std::string&)> play_sound, play_music;
        std::function<void()> stop_sound, stop_all;
        std::function<bool()> sound_busy, music_busy;
    };
    static audio_channels& audio();
    static void reset_audio();   // back to the platform's channels
    // How many times the window has put itself over other windows (the
    // screen saver keeps itself on top; never while the password prompt is up).
    int topmost_requests = 0;

    // Plays the document in memory (or the file in screensaver_slideshow_path)
    // full screen and returns when the player has unloaded itself. For the
    // user's and the editors' previews.
    static void show_modal();

    explicit frmSlideshow(QWidget* parent = nullptr);
    ~frmSlideshow() override;

    // Shows the window full screen and runs the window load (the screen saver
    // and show_modal use this).
    void start();
    // The window load: power-saver hours, counters, the play order, the
    // slideshow file when one is named, then init_after_load_is_done.
    void form_load();

    void init_as_screensaver();
    void init_after_load_is_done();
    void init_engine();
    void do_no_images();

    // ---- the three clocks -----------------------------------------------
    void main_timer_tick();
    void midi_timer_tick();
    void qexit_tick();
    bool main_timer_on() const { return timer_on_[0]; }
    bool midi_timer_on() const { return timer_on_[1]; }
    bool qexit_on() const { return timer_on_[2]; }

    // ---- play order and navigation --------------------------------------
    void build_random_array();
    void get_nextimage();
    void show_buttons();
    void buttons_off();
    enum button { begin_btn = 0, previous_btn, stop_btn, next_btn, ending_btn };
    QToolButton* nav_button(button b) const { return buttons_[b]; }

    // ---- exit -------------------------------------------------------------
    void key_pressed();
    void do_time_to_end();
    void mouse_move();
    void mouse_click() {}
    // A key press as the window's key handler sees it (space is navigation in
    // presentation mode, every other key an end request).
    void handle_key(int key, const QString& text);
    void cleanup_engine();
    // The end check at the bottom of a main_timer (qexit false) or qexit tick;
    // true when it unloaded the window.
    bool end_check(bool from_qexit);
    bool unloaded() const { return unloaded_; }
    // The screen saver's window takes the keyboard; the password prompt
    // calls it before it goes, so that no window manager has a moment to
    // give the keyboard to none of ours (a key then would be lost).
    void take_keyboard();
    // Whether the window deletes itself (deleteLater) once unloaded.
    void set_delete_on_unload(bool on) { delete_on_unload_ = on; }

    // ---- loading ------------------------------------------------------------
    int c_load_custom(const std::string& path);
    int c_load_random(const std::string& path);
    int c_create_random_slideshow();
    void show_qlabel();

    // ---- sound --------------------------------------------------------------
    void play_wav(const std::string& file);
    void play_music(const std::string& file);
    void stop_wav();
    void audio_off();
    void loop_audio();

    Renderer& renderer() { return *renderer_; }
    QLabel* qlabel() const { return qlabel_; }
    QLineEdit* text1() const { return text1_; }

    // ---- engine state ---------------------------------------------------------
    int slideshow_state = 1;
    int image_index = 0;
    std::int64_t images_shown = 0;
    int waiting_loop = 0;
    std::int64_t delay_end = 0;          // monotonic ms
    int showing_video = 0;
    int sound_mode = -1;
    std::string sound_file;
    int button_code = 0;
    int power_saver_start_hour = 0;
    int power_saver_end_hour = 0;
    int saved_presentation_mode = 0;
    int saved_audio_on = 1;
    int timer_busy = 0;
    std::int64_t music_ticks = 0;
    int music_index = 0;
    int music_timer_busy = 0;
    int main_timer_started = 0;
    int load_aborted = 0;
    int no_images_mode = 0;
    std::array<int, 2> qlabel_step{1, 1};
    int screen_save_use_password = 0;
    std::int64_t color_count = 0;
    play_order_state order;
    mouse_exit_counter mouse;

signals:
    // Emitted once, after the unload handler has run.
    void unloaded_signal();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum timer_id { main_id = 0, midi_id = 1, qexit_id = 2 };
    void timer_set(timer_id id, bool on);
    void step_state();
    void act_on_button();
    void go_to(int state, const char* line);
    void power_saver_check();
    void make_topmost();
    // The screen saver's window back over the whole screen, under nothing
    // but its own prompt, when another X client moved, resized, reparented,
    // unmapped, lowered or covered it. `may_ask`: whether a window manager
    // holding it may be asked to put it back; true when it did.
    x11::screen_cover::action keep_covering(bool may_ask = true);
    // What the X server reported about the screen saver's window.
    void cover_reported();
    // One look by keep_covering, with the requests to a window manager
    // bounded (below).
    void cover_check();
    // Yields to the message loop; false when the window went away meanwhile.
    bool yield_alive();
    void unload_window();
    // The native window was destroyed from outside: clean up and unload as
    // a finished show does, so that the program ends.
    void window_destroyed();
    void sync_renderer();
    std::string video_status() const;

    std::unique_ptr<Renderer> renderer_;
    QLabel* qlabel_ = nullptr;
    QLineEdit* text1_ = nullptr;
    std::array<QToolButton*, 5> buttons_{};
    std::array<QTimer*, 3> timers_{};
    std::array<bool, 3> timer_on_{false, false, false};
    bool unloaded_ = false;
    // Only for the screen saver: the user's own shows and previews are the
    // user's to move.
    std::unique_ptr<x11::screen_cover> cover_;
    // Destroyed before cover_ closes the connection it watches.
    std::unique_ptr<QSocketNotifier> cover_reports_;
    // A look once a second besides the reports, for what no report tells.
    QTimer* cover_watch_ = nullptr;
    // Requests to the window manager in the current second since the show
    // last covered the screen: a manager that answers each with a change of
    // its own but never puts the show over everything is then left to the
    // once-a-second look rather than asked in an endless loop.
    std::int64_t cover_second_ = 0;
    int cover_asks_ = 0;
    bool delete_on_unload_ = true;
    // Holds the player's title while the window is loaded, so that a second
    // screen saver can see that one runs.
    window_title_claim title_claim_;
    // The last mouse event counted, so that one move propagated from a
    // control to the window is not counted twice.
    std::uint64_t last_move_stamp_ = 0;
    QPointF last_move_pos_;
    bool counted_any_move_ = false;
};

}  // namespace lv
