#include "player/frmSlideshow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSocketNotifier>
#include <QToolButton>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/document.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/simple_builder.h"
#include "core/slideshow_file.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/media/audio.h"
#include "platform/desktop/desktop_services.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "platform/desktop/x11_desktop.h"
#include "player/frmCheckPassword.h"
#include "player/renderer.h"
#include "player/wallpaper.h"

namespace lv {

std::function<void(frmSlideshow&)> frmSlideshow::password_prompt = ask_screensaver_password;
std::function<void(frmSlideshow&)> frmSlideshow::wallpaper_saver = [](frmSlideshow&) { save_wallpaper(); };
bool frmSlideshow::manual_timers = false;

namespace {
frmSlideshow::audio_channels platform_channels() {
    frmSlideshow::audio_channels c;
    c.play_sound = [](const std::string& f) { play_sound_file(f); };
    c.play_music = [](const std::string& f) { play_music_file(f); };
    c.stop_sound = [] { stop_sound(); };
    c.stop_all = [] { stop_all_audio(); };
    c.sound_busy = [] { return sound_busy(); };
    c.music_busy = [] { return music_busy(); };
    return c;
}
}  // namespace

frmSlideshow::audio_channels& frmSlideshow::audio() {
    static audio_channels a = platform_channels();
    return a;
}

void frmSlideshow::reset_audio() { audio() = platform_channels(); }

namespace {

int twips_x() { return std::max(1, program().twips_per_pixel_x); }
int twips_y() { return std::max(1, program().twips_per_pixel_y); }

// Faces of the five navigation buttons, drawn rather than shipped as files.
QIcon button_face(int which, QSize size) {
    QPixmap pm(size);
    pm.fill(QColor(64, 64, 64));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(128, 128, 128));
    p.drawRect(0, 0, size.width() - 1, size.height() - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const double w = size.width(), h = size.height();
    const double top = h * 0.25, bottom = h * 0.75, mid = h * 0.5;
    auto triangle = [&](double x0, double x1) {   // points from x0 towards x1
        QPainterPath path;
        path.moveTo(x0, top);
        path.lineTo(x1, mid);
        path.lineTo(x0, bottom);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (which) {
    case frmSlideshow::begin_btn:
        p.drawRect(QRectF(w * 0.2, top, w * 0.1, bottom - top));
        triangle(w * 0.55, w * 0.3);
        triangle(w * 0.8, w * 0.55);
        break;
    case frmSlideshow::previous_btn: triangle(w * 0.65, w * 0.35); break;
    case frmSlideshow::stop_btn: p.drawRect(QRectF(w * 0.35, top, w * 0.3, bottom - top)); break;
    case frmSlideshow::next_btn: triangle(w * 0.35, w * 0.65); break;
    case frmSlideshow::ending_btn:
        triangle(w * 0.2, w * 0.45);
        triangle(w * 0.45, w * 0.7);
        p.drawRect(QRectF(w * 0.7, top, w * 0.1, bottom - top));
        break;
    default: break;
    }
    return QIcon(pm);
}

// The picture the placeholder show displays when there is nothing to play.
QImage no_images_face() {
    QImage img(480, 270, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, QColor(20, 40, 90));
    g.setColorAt(1, QColor(5, 10, 30));
    p.fillRect(img.rect(), g);
    p.setPen(QColor(220, 220, 240));
    QFont f = p.font();
    f.setPointSize(28);
    f.setBold(true);
    p.setFont(f);
    p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("Lumivane"));
    return img;
}

}  // namespace

// ---------------------------------------------------------------------------
// construction

frmSlideshow::frmSlideshow(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_KeyCompression, false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);

    renderer_ = std::make_unique<Renderer>(this);
    renderer_->no_images_picture = no_images_face();
    for (QWidget* c : {static_cast<QWidget*>(renderer_->image_background()),
                       static_cast<QWidget*>(renderer_->gradient()),
                       static_cast<QWidget*>(renderer_->image_picture()),
                       static_cast<QWidget*>(renderer_->image_video()),
                       static_cast<QWidget*>(renderer_->image_caption()),
                       static_cast<QWidget*>(renderer_->error_banner())}) {
        if (!c) continue;
        c->setMouseTracking(true);
        c->installEventFilter(this);
    }

    qlabel_ = new QLabel(QStringLiteral("Lumivane Is Initializing...."), this);
    qlabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette lp = qlabel_->palette();
    lp.setColor(QPalette::WindowText, Qt::white);
    qlabel_->setPalette(lp);
    qlabel_->adjustSize();
    qlabel_->move(0, 0);

    // Off the screen, holding the keyboard focus so key presses reach us.
    text1_ = new QLineEdit(this);
    text1_->move(-8000 / twips_x(), 0);
    text1_->installEventFilter(this);

    const QSize bsize(std::max(16, 320 / twips_x()), std::max(12, 255 / twips_y()));
    static const char* tips[5] = {" Rewind To Beginning Slide ", " Previous Slide ", " Stop ",
                                  " Next Slide ", " Fast Forward To Last Slide "};
    static const int codes[5] = {4, 1, 3, 2, 5};
    for (int k = 0; k < 5; ++k) {
        auto* b = new QToolButton(this);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
        b->setFixedSize(bsize);
        b->setIconSize(bsize);
        b->setIcon(button_face(k, bsize));
        b->setToolTip(QString::fromLatin1(tips[k]));
        b->hide();
        const int code = codes[k];
        connect(b, &QToolButton::clicked, this, [this, code] { button_code = code; });
        buttons_[k] = b;
    }

    for (int i = 0; i < 3; ++i) {
        timers_[i] = new QTimer(this);
        timers_[i]->setInterval(100);
    }
    connect(timers_[main_id], &QTimer::timeout, this, &frmSlideshow::main_timer_tick);
    connect(timers_[midi_id], &QTimer::timeout, this, &frmSlideshow::midi_timer_tick);
    connect(timers_[qexit_id], &QTimer::timeout, this, &frmSlideshow::qexit_tick);

    // Claimed now, not after loading: a second screen saver started while a
    // big slideshow still loads must see that one runs.
    set_claimed_title(this, title_claim_, player_caption);
    // A window that someone else destroyed can neither show the show nor
    // take a key; left running, the process would hold the claim forever.
    on_native_window_destroyed(this, [this] { window_destroyed(); });
}

frmSlideshow::~frmSlideshow() {
    for (QTimer* t : timers_) t->stop();
    // A window deleted without unloading (a caller tearing down) still
    // must not leave the cursor hidden.
    if (!unloaded_) cursor_show();
}

void frmSlideshow::show_modal() {
    QPointer<frmSlideshow> w = new frmSlideshow();
    w->set_delete_on_unload(false);
    w->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(w.data(), &frmSlideshow::unloaded_signal, &loop, &QEventLoop::quit);
    w->start();
    if (w && !w->unloaded()) loop.exec();
    if (w) w->deleteLater();
}

void frmSlideshow::start() {
    Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint;
    if (run().show_origin == 0) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) setGeometry(s->geometry());
    showFullScreen();
    if (run().show_origin == 0 && QGuiApplication::platformName() == QLatin1String("xcb")) {
        cover_ = std::make_unique<x11::screen_cover>(internalWinId());
        if (cover_->fd() >= 0) {
            cover_reports_ = std::make_unique<QSocketNotifier>(cover_->fd(), QSocketNotifier::Read);
            connect(cover_reports_.get(), &QSocketNotifier::activated, this, &frmSlideshow::cover_reported);
            cover_watch_ = new QTimer(this);
            cover_watch_->setInterval(1000);
            connect(cover_watch_, &QTimer::timeout, this, &frmSlideshow::cover_check);
            cover_watch_->start();
        }
    }
    make_topmost();
    activateWindow();
    text1_->setFocus();
    if (!yield_alive()) return;
    form_load();
}

// ---------------------------------------------------------------------------
// start-up

void frmSlideshow::form_load() {
    auto& st = settings();
    auto& rf = run();
    // The window already fills the screen (start() or init_engine).
    text1_->move(-8000 / twips_x(), 0);
    const wall_time t = now();
    const power_saver_hours h = compute_power_saver_hours(t.hour, t.minute, st.extended_time);
    power_saver_start_hour = h.start_hour;
    power_saver_end_hour = h.end_hour;
    color_count = get_color_count();
    rf.power_saver_active = 0;
    timer_busy = 0;
    mouse.mouse_move_ticks = 0;
    // What the space bar and the power saver may change during the show.
    saved_audio_on = st.audio_on;
    saved_presentation_mode = st.presentation_mode;
    images_shown = 0;
    // So that the first music file starts on the first midi_timer tick.
    music_ticks = static_cast<std::int64_t>(st.music_launch) * 10 + 10;
    build_random_array();
    load_aborted = 0;
    no_images_mode = 0;
    if (!rf.screensaver_slideshow_path.empty()) {
        init_as_screensaver();
        if (unloaded_) return;
    }
    init_after_load_is_done();
}

void frmSlideshow::init_as_screensaver() {
    const std::string path = run().screensaver_slideshow_path;
    // A missing, empty or short file reads no kind: the placeholder show runs.
    const std::optional<std::string> kind = read_slideshow_kind(path);
    if (!kind) {
        doc().image_count = 0;
        return;
    }
    QPointer<frmSlideshow> self(this);
    if (*kind == "Custom") {
        const int r = c_load_custom(path);
        if (!self) return;
        if (r == 1) doc().image_count = 0;
        if (r == 2) load_aborted = 1;
    } else if (*kind == "Simple") {
        int r = c_load_random(path);
        if (!self) return;
        if (r == 1) {
            // The lists are half read: do not build a show from them.
            doc().image_count = 0;
            return;
        }
        if (r == 2) {
            load_aborted = 1;
            return;
        }
        r = c_create_random_slideshow();
        if (!self) return;
        if (r == 1) doc().image_count = 0;
        if (r == 2) load_aborted = 1;
    }
}

void frmSlideshow::init_after_load_is_done() {
    auto& rf = run();
    set_claimed_title(this, title_claim_, "Lumivane Multimedia Tool");
    if (doc().image_count <= 0) do_no_images();
    // The document is final only now: a shuffled order built before the
    // slideshow file was read would not cover its images.
    build_random_array();
    rf.show_finished = 0;
    sync_renderer();
    renderer_->adjust_color_render();
    const std::string use_pw = read_registry_value("Control Panel\\Desktop", "ScreenSaveUsePassword");
    screen_save_use_password = static_cast<int>(stored_number(use_pw, 0));
    if (rf.show_origin > 0) screen_save_use_password = 0;
    set_screensaver_running(true);
    set_screensaver_active(false);
    init_engine();
    if (load_aborted != 1) {
        // The first picture decodes on a worker while the clocks pace the
        // start; state 3 then finds it ready. A look ahead on a copy of the
        // play order, which the real step takes the same way.
        const bool sequential = settings().slideshow_method == 0 || rf.show_origin == 2;
        play_order_state ahead = order;
        if (sequential || ahead.size() == doc().image_count)
            renderer_->predecode_picture(next_image(image_index, doc().image_count, sequential, ahead));
    }
    if (rf.show_origin == 0) {
        make_topmost();
        activateWindow();
        text1_->setFocus();
        if (!yield_alive()) return;
    }
    if (load_aborted == 1) {
        qlabel_step = {1, 1};
        qlabel_->setText(QString::fromLatin1(
            "Lumivane did not finish initializing. This happens when the screen saver has to exit "
            "while it is still loading data files. This is not an error."));
        // Wrapped to half the screen, so that it has room to bounce.
        qlabel_->setWordWrap(true);
        qlabel_->setFixedWidth(std::max(120, width() / 2));
        qlabel_->adjustSize();
        qlabel_->move(0, 0);
        qlabel_->show();
        qlabel_->raise();
        if (!yield_alive()) return;
        timer_set(qexit_id, true);
    } else {
        qlabel_->hide();
        timer_set(midi_id, true);
    }
    yield_alive();
}

void frmSlideshow::init_engine() {
    auto& st = settings();
    auto& rf = run();
    if (!isFullScreen()) {
        QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        if (s) setGeometry(0, 0, s->geometry().width(), s->geometry().height());
    }
    const int cancel = st.presentation_mode == 1 ? 4 : st.cancel_mode;
    renderer_->gradient()->set_cancel_mode(cancel);
    renderer_->image_picture()->set_cancel_mode(cancel);
    renderer_->image_background()->set_cancel_mode(cancel);
    renderer_->image_video()->set_cancel_mode(cancel);
    renderer_->image_caption()->set_cancel_mode(cancel);
    audio_off();
    mouse.reset_window();
    main_timer_started = 0;
    rf.time_to_end = 0;
    rf.exit_allowed = 0;
    rf.password_prompt_open = 0;
    timer_busy = 0;
    music_index = 0;
    sound_mode = -1;
    image_index = start_position(doc().image_count, st.slideshow_random_start, rf.show_origin,
                                 rf.start_image);
    slideshow_state = 1;
    if (st.presentation_mode == 0) cursor_hide();
}

void frmSlideshow::do_no_images() {
    new_custom_defaults();
    new_random_defaults();
    no_images_mode = 1;
    auto& d = doc();
    redim_slides(1);
    d.image_count = 1;
    const caption_settings_record& cs = d.caption_settings;
    sequence_record r;
    r.image_file = "test.jpg";
    r.display_position = 8;
    r.display_effect = r.effect_speed = r.effect_grain = 0;
    r.display_time = 10;
    r.notes = "";
    r.transparent_color = 0;
    r.caption_text = "Please edit your active slideshow.";
    r.caption_position = 7;
    r.caption_font_name = cs.caption_settings_font_name;
    r.caption_font_size = cs.caption_settings_font_size;
    r.caption_bold = cs.caption_settings_bold;
    r.caption_italic = cs.caption_settings_italic;
    r.caption_style = cs.caption_settings_style;
    r.caption_shadow_size = cs.caption_settings_shadow_size;
    r.caption_color = cs.caption_settings_color;
    r.caption_color_scheme = cs.caption_settings_color_scheme;
    r.caption_effect = r.caption_speed = r.caption_grain = 0;
    r.audio_file = "";
    r.audio_mode = 0;
    r.background_file = "";
    r.background_placement = r.background_effect = r.background_speed = r.background_grain = 0;
    d.sequences.set(1, r);
    d.border.border_off = 1;
    redim_music(0);
    d.music_count = 0;
}

// ---------------------------------------------------------------------------
// the clocks

void frmSlideshow::timer_set(timer_id id, bool on) {
    timer_on_[id] = on;
    if (on && !manual_timers) {
        timers_[id]->start();
    } else {
        timers_[id]->stop();
    }
}

bool frmSlideshow::yield_alive() {
    QPointer<frmSlideshow> self(this);
    yield_events();
    return self && !unloaded_;
}

void frmSlideshow::sync_renderer() {
    renderer_->image_index = image_index;
    renderer_->no_images_mode = no_images_mode;
}

std::string frmSlideshow::video_status() const {
    std::string s = renderer_->image_video()->status().toUpper().toStdString();
    return s;
}

void frmSlideshow::go_to(int state, const char* line) {
    slideshow_state = state;
    write_log(line);
}

void frmSlideshow::main_timer_tick() {
    if (unloaded_ || timer_busy == 1) return;
    timer_busy = 1;
    auto& rf = run();
    if (rf.time_to_end != 1) {
        if (!yield_alive()) return;
        write_log("At top of Case Selection. slideshow_state=" + std::to_string(slideshow_state));
        step_state();
        if (unloaded_) return;
    }
    write_log("At bottom_of_main");
    if (!yield_alive()) return;
    if (rf.time_to_end == 1 && video_status() == "PLAYING") {
        renderer_->image_video()->command(11);
        if (!yield_alive()) return;
    }
    if (end_check(false)) return;   // the window is gone; timer_busy stays 1
    if (!yield_alive()) return;
    timer_busy = 0;
}

void frmSlideshow::step_state() {
    auto& st = settings();
    auto& rf = run();
    auto& d = doc();
    const auto& seq = d.sequences;
    auto valid = [&] { return image_index >= 1 && image_index < static_cast<int>(seq.size()); };

    switch (slideshow_state) {
    case 1: {
        // A video the viewer stepped away from must not go on playing hidden.
        if (showing_video == 1 && video_status() == "PLAYING") {
            renderer_->video_off();
            if (!yield_alive()) return;
        }
        ++images_shown;
        power_saver_check();
        renderer_->load_error = 0;
        get_nextimage();
        write_log("Next Sequence: Showing Image Array " + std::to_string(image_index) +
                  "  Total Images Shown=" + std::to_string(images_shown));
        buttons_off();
        if (unloaded_) return;
        go_to(2, "Going To Case 2 (Display Background)");
        if (st.auto_stop == 1 && rf.running_as_screensaver != 1 && images_shown > d.image_count) {
            rf.time_to_end = 1;
            slideshow_state = 0;
            write_log("Exiting due to auto stop active.");
        }
        break;
    }
    case 2:
        if (sound_mode == 1) {
            stop_wav();
            sound_mode = -1;
        }
        sync_renderer();
        renderer_->updates_off();
        renderer_->display_background();
        if (unloaded_) return;
        go_to(3, "Going To Case 3 (Display Image)");
        break;
    case 3: {
        showing_video = 0;
        sync_renderer();
        if (valid() && is_video_file(seq.image_file[image_index])) {
            showing_video = 1;
            renderer_->display_video();
        } else {
            renderer_->display_picture();
        }
        if (unloaded_) return;
        go_to(5, "Going To Case 5 ( Play Audio)");
        break;
    }
    case 5:
        if (valid() && !seq.audio_file[image_index].empty()) {
            const std::string file = seq.audio_file[image_index];
            play_wav(file);
            sound_mode = seq.audio_mode[image_index];
            sound_file = file;
        }
        go_to(4, "Going To Case 4 (Display Caption)");
        break;
    case 4:
        sync_renderer();
        renderer_->display_caption();
        if (unloaded_) return;
        go_to(12, "Going To Case 12 (Handle Error Messages if any..)");
        break;
    case 12:
        if (renderer_->load_error != 0) {
            sync_renderer();
            renderer_->display_error_banner();
            if (unloaded_) return;
        }
        if (showing_video == 1)
            go_to(6, "Going To Case 6 (Waiting For Video)");
        else
            go_to(7, "Going To Case 7 (Handle Delay)");
        break;
    case 6:
        if (video_status() != "PLAYING") {
            if (st.ignore_background == 1) renderer_->reset_foreground();
            go_to(7, "Going To Case 7 (Handle Delay)");
        } else if (rf.time_to_end == 1) {
            renderer_->image_video()->command(11);
            if (!yield_alive()) return;
        }
        if (st.presentation_mode == 1) {
            button_code = 0;
            show_buttons();
            if (unloaded_) return;
            go_to(10, "Going To Case 10 (Presentation Mode And Video)");
        }
        break;
    case 7:
        waiting_loop = 0;
        if (st.presentation_mode != 1) {
            const int secs = valid() ? seq.display_time[image_index] : 0;
            delay_end = monotonic_ms() + static_cast<std::int64_t>(secs) * 1000;
            go_to(8, "Going To Case 8 (Waiting for delay)");
        } else {
            button_code = 0;
            show_buttons();
            if (unloaded_) return;
            go_to(9, "Going To Case 9 (Waiting for button click)");
        }
        break;
    case 8: {
        const int mode = valid() ? seq.audio_mode[image_index] : 0;
        if (mode == 3) {
            if (!audio().sound_busy()) go_to(1, "Going To Case 1 (Showing New Image)");
        } else if (monotonic_ms() > delay_end) {
            go_to(1, "Going To Case 1 (Showing New Image)");
        }
        ++waiting_loop;
        if (waiting_loop > 5000) {
            waiting_loop = 0;
            go_to(1, "Going To Case 1 Because of waiting_loop>5000!! (Stuck)");
        }
        break;
    }
    case 9:
        act_on_button();
        break;
    case 10:
        if (video_status() == "PLAYING" && rf.time_to_end == 1) {
            renderer_->video_off();
            if (!yield_alive()) return;
        }
        if (button_code != 0 && st.ignore_background == 1) renderer_->reset_foreground();
        act_on_button();
        break;
    default:
        break;   // 0 after auto stop: nothing
    }
}

void frmSlideshow::act_on_button() {
    switch (button_code) {
    case 1:
        image_index = std::max(0, image_index - 2);
        go_to(1, "Going To Case 1 (Previous Click)");
        break;
    case 2: go_to(1, "Going To Case 1 (Next Click)"); break;
    case 3:
        run().time_to_end = 1;
        write_log("(Stop Click)");
        break;
    case 4:
        image_index = 0;
        go_to(1, "Going To Case 1 (Beginning Click)");
        break;
    case 5:
        image_index = std::max(0, doc().image_count - 1);
        go_to(1, "Going To Case 1 (Ending Click)");
        break;
    default: return;   // keep waiting
    }
    text1_->setFocus();
}

void frmSlideshow::power_saver_check() {
    auto& rf = run();
    if (rf.power_saver_active != 0 || rf.running_as_screensaver != 1) return;
    const int hour = now().hour;
    if (hour != power_saver_end_hour) return;
    if (stored_number(settings().extended_flag, 0) != 1) return;
    write_log("Extended Screen Saver Usage - Turning Off Video Effects And Sound Starting Hour: " +
              std::to_string(power_saver_start_hour) + " Ending Hour: " +
              std::to_string(power_saver_end_hour) + " Current Hour: " + std::to_string(hour));
    rf.power_saver_active = 1;
    settings().audio_on = 0;
}

void frmSlideshow::make_topmost() {
    // Never over the password prompt: it has to stay reachable.
    if (run().password_prompt_open == 1) return;
    ++topmost_requests;
    // Headless runs have no stacking to change.
    if (isVisible() && QGuiApplication::platformName() != QLatin1String("offscreen")) raise();
}

// Any X client can move, resize, reparent, unmap, lower or cover any window
// (xdotool windowmove, windowsize, windowreparent, windowunmap), and with no
// window manager nothing puts it back. The screen saver would then leave
// the desktop uncovered while a password is still asked for, or run on
// unseen and deaf to keys, holding its claim so that no later one could
// start. So it comes back over the whole screen, under the prompt when one
// is open, and takes the keyboard again.
x11::screen_cover::action frmSlideshow::keep_covering(bool may_ask) {
    using action = x11::screen_cover::action;
    if (!cover_ || unloaded_ || !isVisible()) return action::none;
    std::vector<std::uint64_t> over;
    QWidget* front = this;
    for (QDialog* d : findChildren<QDialog*>()) {
        if (!d->isVisible()) continue;
        over.push_back(d->internalWinId());
        front = d;
    }
    const action done = cover_->restore(over, front->internalWinId(), may_ask);
    if (done == action::put_back || done == action::asked) {
        front->activateWindow();
        if (front == this) text1_->setFocus();
    }
    return done;
}

void frmSlideshow::take_keyboard() {
    if (cover_ && !unloaded_ && isVisible()) cover_->take_keyboard(internalWinId());
}

void frmSlideshow::cover_reported() {
    if (!cover_) return;
    // The put-back's own changes are reported too: the second round finds
    // all in place and the third nothing new.
    for (int round = 0; round < 3 && cover_->take_events(!unloaded_ && isVisible()); ++round) cover_check();
}

void frmSlideshow::cover_check() {
    const std::int64_t second = monotonic_ms() / 1000;
    if (second != cover_second_) {
        cover_second_ = second;
        cover_asks_ = 0;
    }
    // Asking the window manager again and again is bounded only while it
    // does not answer (it refuses, or keeps something over the show or the
    // keyboard elsewhere): each time another client uncovers the screen the
    // show asks at once, however often that happens.
    const x11::screen_cover::action done = keep_covering(cover_asks_ < 20);
    if (done == x11::screen_cover::action::asked)
        ++cover_asks_;
    else if (done == x11::screen_cover::action::none)
        cover_asks_ = 0;
    // The look's round trips may have read new reports off the connection,
    // and the notifier would not wake for them: an unmapping would leave the
    // desktop showing until the window manager happened to report more.
    if (cover_ && cover_->events_waiting()) QTimer::singleShot(0, this, &frmSlideshow::cover_reported);
}

void frmSlideshow::midi_timer_tick() {
    if (unloaded_) return;
    auto& st = settings();
    auto& rf = run();
    if (rf.show_origin == 0 && rf.password_prompt_open != 1) {
        make_topmost();
        if (!yield_alive()) return;
    }
    ++music_ticks;
    loop_audio();
    if (music_timer_busy == 1) return;
    music_timer_busy = 1;
    if (rf.time_to_end != 1) {
        if (st.audio_on != 0 && !audio().music_busy() &&
            music_ticks > static_cast<std::int64_t>(st.music_launch) * 10) {
            music_ticks = 0;
            auto& d = doc();
            const int count = std::min<int>(d.music_count, static_cast<int>(d.music_files.size()) - 1);
            if (count > 0) {
                if (st.random_music != 0) {
                    music_index = count == 1 ? 1 : static_cast<int>(std::floor(count * rnd())) + 1;
                    music_index = std::clamp(music_index, 1, count);
                } else {
                    ++music_index;
                    if (music_index > count || music_index < 1) music_index = 1;
                }
                play_music(d.music_files[music_index]);
                if (unloaded_) return;
            }
        }
    }
    if (main_timer_started == 0) {
        main_timer_started = 1;
        timer_set(main_id, true);
        if (!yield_alive()) return;
    }
    music_timer_busy = 0;
}

void frmSlideshow::qexit_tick() {
    if (unloaded_ || timer_busy == 1) return;
    timer_busy = 1;
    QPoint p = qlabel_->pos() + QPoint(qlabel_step[0], qlabel_step[1]);
    qlabel_->move(p);
    // The edge test is "at most one twip from the edge": in pixels, at the edge.
    if (p.x() + qlabel_->width() >= width() || p.x() <= 0) qlabel_step[0] = -qlabel_step[0];
    if (p.y() + qlabel_->height() >= height() || p.y() <= 0) qlabel_step[1] = -qlabel_step[1];
    if (!yield_alive()) return;
    if (end_check(true)) return;
    timer_busy = 0;
}

// ---------------------------------------------------------------------------
// play order and navigation

void frmSlideshow::build_random_array() { order.build(doc().image_count); }

void frmSlideshow::get_nextimage() {
    const bool sequential = settings().slideshow_method == 0 || run().show_origin == 2;
    image_index = next_image(image_index, doc().image_count, sequential, order);
    sync_renderer();
}

void frmSlideshow::show_buttons() {
    const int w = buttons_[begin_btn]->width();
    const int h = buttons_[begin_btn]->height();
    for (QToolButton* b : buttons_) b->setEnabled(true);
    const bar_origin o = button_bar_origin(settings().button_position, width(), height(), w, h);
    for (int k = 0; k < 5; ++k) {
        buttons_[k]->move(o.x + k * w, o.y);
        buttons_[k]->raise();
        buttons_[k]->show();
        if (!yield_alive()) return;
    }
    const button_enabling e = buttons_enabled(settings().slideshow_method, image_index);
    buttons_[begin_btn]->setEnabled(e.begin);
    buttons_[previous_btn]->setEnabled(e.previous);
    buttons_[stop_btn]->setEnabled(e.stop);
    buttons_[next_btn]->setEnabled(e.next);
    buttons_[ending_btn]->setEnabled(e.ending);
}

void frmSlideshow::buttons_off() {
    for (QToolButton* b : buttons_) b->hide();
    yield_alive();
}

// ---------------------------------------------------------------------------
// exit

void frmSlideshow::key_pressed() { run().time_to_end = 1; }

void frmSlideshow::do_time_to_end() {
    if (settings().presentation_mode != 1) run().time_to_end = 1;
}

void frmSlideshow::mouse_move() {
    if (settings().presentation_mode == 1) return;
    if (mouse.count_event(monotonic_ms(), settings().mouse_moves_exit)) do_time_to_end();
}

void frmSlideshow::handle_key(int key, const QString& text) {
    if (settings().presentation_mode == 1 && (text == QLatin1String(" ") || key == Qt::Key_Space)) {
        button_code = 2;
        settings().presentation_mode = 0;
        return;
    }
    key_pressed();
}

bool frmSlideshow::end_check(bool from_qexit) {
    auto& rf = run();
    if (rf.time_to_end == 1 && rf.exit_allowed == 0 && rf.password_prompt_open == 0) {
        if (rf.running_as_screensaver != 1 || screen_save_use_password == 0) {
            rf.exit_allowed = 1;
        } else if (!settings().screensaver_password.empty() && password_prompt) {
            rf.password_prompt_open = 1;
            QPointer<frmSlideshow> self(this);
            password_prompt(*this);   // modal: returns when the prompt closed
            if (!self || unloaded_) return true;
            rf.password_prompt_open = 0;
            if (rf.exit_allowed != 1) {
                // Cancel or time-out: the show goes on, the next end request asks again.
                rf.time_to_end = 0;
                mouse.mouse_move_count = 0;
                // With the keyboard back at once: a window manager may have
                // given it to none of our windows as the prompt went.
                cover_check();
            }
        } else {
            rf.exit_allowed = 1;
        }
    }
    if (rf.exit_allowed == 1 && rf.password_prompt_open == 0) {
        if (!from_qexit) {
            if (settings().save_as_wallpaper == 1) {
                write_log("Going To Save Wallpaper");
                if (wallpaper_saver) {
                    QPointer<frmSlideshow> self(this);
                    wallpaper_saver(*this);
                    if (!self || unloaded_) return true;
                }
            }
            write_log("Clean Up Engine (At bottom of loop. Getting ready to exit.)");
            cleanup_engine();
            if (unloaded_) return true;
        } else {
            cursor_show();
        }
        rf.show_finished = 1;
        unload_window();
        return true;
    }
    return false;
}

void frmSlideshow::cleanup_engine() {
    timer_set(midi_id, false);
    audio_off();
    renderer_->video_off();
    cursor_show();
    yield_alive();
}

void frmSlideshow::unload_window() {
    if (unloaded_) return;
    auto& rf = run();
    if (rf.show_finished != 1) {
        // Closing from outside is an ordinary end request, password included.
        rf.time_to_end = 1;
        return;
    }
    set_screensaver_running(false);
    set_screensaver_active(true);
    settings().audio_on = saved_audio_on;
    settings().presentation_mode = saved_presentation_mode;
    rf.power_saver_active = 0;
    unloaded_ = true;
    for (int i = 0; i < 3; ++i) timer_set(static_cast<timer_id>(i), false);
    if (cover_watch_) cover_watch_->stop();
    hide();
    title_claim_.release();
    emit unloaded_signal();
    // Never destroyed from inside one of its own ticks: deleted once the
    // message loop has unwound.
    if (delete_on_unload_) deleteLater();
}

void frmSlideshow::window_destroyed() {
    if (unloaded_) return;
    write_log("Player window destroyed from outside. Getting ready to exit.");
    // A prompt or message over a window that is gone has nothing to guard.
    for (QDialog* d : findChildren<QDialog*>()) d->done(QDialog::Rejected);
    if (unloaded_) return;
    cleanup_engine();
    if (unloaded_) return;
    run().show_finished = 1;
    unload_window();
}

// ---------------------------------------------------------------------------
// loading

int frmSlideshow::c_load_custom(const std::string& path) {
    QPointer<frmSlideshow> self(this);
    return lv::c_load_custom(path, [self] {
        if (self) self->show_qlabel();
    });
}

int frmSlideshow::c_load_random(const std::string& path) { return lv::c_load_random(path); }

int frmSlideshow::c_create_random_slideshow() {
    QPointer<frmSlideshow> self(this);
    return lv::c_create_random_slideshow([self] {
        if (self) self->show_qlabel();
    });
}

void frmSlideshow::show_qlabel() {
    qlabel_->setText(QString::fromLatin1("Lumivane is loading images... please wait ..."));
    qlabel_->adjustSize();
    qlabel_->move(0, 0);
    qlabel_->show();
    qlabel_->raise();
    yield_alive();
}

// ---------------------------------------------------------------------------
// sound

void frmSlideshow::play_wav(const std::string& file) {
    write_log("Play Wav: " + file);
    if (settings().audio_on != 0) audio().play_sound(file);
}

void frmSlideshow::play_music(const std::string& file) { audio().play_music(file); }

void frmSlideshow::stop_wav() { audio().stop_sound(); }

void frmSlideshow::audio_off() { audio().stop_all(); }

void frmSlideshow::loop_audio() {
    if (settings().audio_on != 0 && (sound_mode == 1 || sound_mode == 2) && !audio().sound_busy())
        play_wav(sound_file);
}

// ---------------------------------------------------------------------------
// window events

void frmSlideshow::keyPressEvent(QKeyEvent* e) {
    handle_key(e->key(), e->text());
    e->accept();
}

void frmSlideshow::mouseMoveEvent(QMouseEvent* e) {
    if (counted_any_move_ && e->timestamp() == last_move_stamp_ &&
        e->globalPosition() == last_move_pos_)
        return;   // the same move, passed on from a control
    counted_any_move_ = true;
    last_move_stamp_ = e->timestamp();
    last_move_pos_ = e->globalPosition();
    mouse_move();
}

void frmSlideshow::mousePressEvent(QMouseEvent*) { mouse_click(); }

bool frmSlideshow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text1_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        handle_key(k->key(), k->text());
        return true;
    }
    if (event->type() == QEvent::MouseMove && watched != text1_) {
        auto* m = static_cast<QMouseEvent*>(event);
        if (!(counted_any_move_ && m->timestamp() == last_move_stamp_ &&
              m->globalPosition() == last_move_pos_)) {
            counted_any_move_ = true;
            last_move_stamp_ = m->timestamp();
            last_move_pos_ = m->globalPosition();
            mouse_move();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmSlideshow::closeEvent(QCloseEvent* e) {
    if (unloaded_) {
        e->accept();
        return;
    }
    if (run().show_finished == 1) {
        unload_window();
        e->accept();
        return;
    }
    // Refused: the show ends through its own end check (password included).
    run().time_to_end = 1;
    e->ignore();
}

}  // namespace lv
