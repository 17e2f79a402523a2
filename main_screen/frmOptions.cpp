#include "main_screen/frmOptions.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/file_names.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/state.h"
#include "main_screen/frmEffects.h"
#include "main_screen/frmHotkeys.h"
#include "platform/desktop/frmPopmessage.h"
#include "platform/desktop/screen_fit.h"
#include "player/FrmNewPassword.h"


namespace lv {

namespace {

const QString program_name = QStringLiteral("Lumivane");

bool open_with_desktop(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

// The desktop's mixer, whichever of the usual ones is installed.
void start_first_volume_control() {
    struct candidate {
        const char* program;
        QStringList arguments;
    };
    const candidate candidates[] = {
        {"pavucontrol", {}},
        {"pwvucontrol", {}},
        {"gnome-control-center", {QStringLiteral("sound")}},
        {"kcmshell6", {QStringLiteral("kcm_pulseaudio")}},
        {"kcmshell5", {QStringLiteral("kcm_pulseaudio")}},
        {"mate-volume-control", {}},
        {"xfce4-mixer", {}},
    };
    for (const candidate& c : candidates) {
        const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(c.program));
        if (!exe.isEmpty()) {
            QProcess::startDetached(exe, c.arguments);
            return;
        }
    }
}

void ok_box(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

// Yes / No, the critical icon, No as the default (and for Esc).
bool ask_critical(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString logging_title() { return program_name + QStringLiteral(" - Logging"); }

QString log_file_name() { return program_name + QStringLiteral(" Log") + QStringLiteral(".txt"); }

int check_value(const QCheckBox* c) { return c->isChecked() ? 1 : 0; }

QString seconds_text(int v) { return QString::number(v) + QStringLiteral(" (seconds)"); }

}  // namespace

options_desktop& options_desktop_hooks() {
    static options_desktop hooks{open_with_desktop, start_first_volume_control};
    return hooks;
}

std::int64_t log_file_size() {
    const std::string path = log_path();
    if (!file_exists(path)) return 0;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<std::int64_t>(size);
}

bool delete_log_file() {
    const std::filesystem::path path(log_path());
    std::error_code ec;
    const auto st = std::filesystem::symlink_status(path, ec);
    if (ec || !std::filesystem::exists(st) || std::filesystem::is_directory(st)) return false;
    return std::filesystem::remove(path, ec) && !ec;
}

double leading_value(const QString& text) {
    const std::string s = text.toStdString();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number += s[i++];
            digits = true;
        }
    }
    if (!digits) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::string exponent = "e";
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
        bool exp_digits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent += s[j++];
            exp_digits = true;
        }
        if (exp_digits) number += exponent;
    }
    const double v = std::strtod(number.c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

std::string number_text(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
    return QString::number(v, 'g', 15).toStdString();
}

// ---------------------------------------------------------------- the window

frmOptions::frmOptions(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setModal(true);
    build_controls();
    form_load();
}

void frmOptions::build_controls() {
    auto frame = [this](const QString& caption) { return new QGroupBox(caption, this); };
    auto radio = [](QGroupBox* box, const QString& caption) { return new QRadioButton(caption, box); };
    auto button = [this](const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setAutoDefault(false);   // Enter in a text box must not run a tool
        return b;
    };

    // Sound
    auto* sound = frame(QStringLiteral("Sound"));
    Option2 = radio(sound, QStringLiteral("On"));
    Option1 = radio(sound, QStringLiteral("Off"));
    Command3 = button(QStringLiteral("&Audio"));
    Command3->setParent(sound);
    auto* sound_l = new QHBoxLayout(sound);
    sound_l->addWidget(Option2);
    sound_l->addWidget(Option1);
    sound_l->addWidget(Command3);

    auto* wallpaper = frame(QStringLiteral("Save As Wallpaper?"));
    Option10 = radio(wallpaper, QStringLiteral("Yes"));
    Option11 = radio(wallpaper, QStringLiteral("No"));
    auto* wallpaper_l = new QHBoxLayout(wallpaper);
    wallpaper_l->addWidget(Option10);
    wallpaper_l->addWidget(Option11);

    auto* cancel = frame(QStringLiteral("Cancel Video Effect When:"));
    Option15 = radio(cancel, QStringLiteral("Any key press"));
    Option16 = radio(cancel, QStringLiteral("A mouse move"));
    Option17 = radio(cancel, QStringLiteral("A key press or a mouse move"));
    auto* cancel_l = new QVBoxLayout(cancel);
    cancel_l->addWidget(Option15);
    cancel_l->addWidget(Option16);
    cancel_l->addWidget(Option17);

    auto* images = frame(QStringLiteral("Display Images:"));
    Option18 = radio(images, QStringLiteral("Sequential Order"));
    Option19 = radio(images, QStringLiteral("Random Order"));
    Check1 = new QCheckBox(QStringLiteral("Random starting position"), images);
    auto* images_l = new QVBoxLayout(images);
    images_l->addWidget(Option18);
    images_l->addWidget(Option19);
    images_l->addWidget(Check1);

    auto* saver = frame(QStringLiteral("Screen Saver SlideShow"));
    Option3 = radio(saver, QStringLiteral("Play Active SlideShow"));
    Option4 = radio(saver, QStringLiteral("Play A Random SlideShow"));
    auto* saver_l = new QVBoxLayout(saver);
    saver_l->addWidget(Option3);
    saver_l->addWidget(Option4);

    auto* presentation = frame(QStringLiteral("Presentation Mode"));
    Option21 = radio(presentation, QStringLiteral("On"));
    Option20 = radio(presentation, QStringLiteral("Off"));
    auto* presentation_l = new QHBoxLayout(presentation);
    presentation_l->addWidget(Option21);
    presentation_l->addWidget(Option20);

    auto* nav = frame(QStringLiteral("Navigational Buttons"));
    Option5 = radio(nav, QStringLiteral("Top Left"));
    Option6 = radio(nav, QStringLiteral("Top Right"));
    Option7 = radio(nav, QStringLiteral("Bot Left"));
    Option8 = radio(nav, QStringLiteral("Bot Right"));
    auto* nav_l = new QGridLayout(nav);
    nav_l->addWidget(Option5, 0, 0);
    nav_l->addWidget(Option6, 0, 1);
    nav_l->addWidget(Option7, 1, 0);
    nav_l->addWidget(Option8, 1, 1);

    auto* rendering = frame(QStringLiteral("Image Rendering"));
    Option9[0] = radio(rendering, QStringLiteral("Standard Palette"));
    Option9[1] = radio(rendering, QStringLiteral("Optimized Palette"));
    Option9[2] = radio(rendering, QStringLiteral("True Color"));
    Command9 = button(QStringLiteral("&More Info"));
    Command9->setParent(rendering);
    auto* rendering_l = new QVBoxLayout(rendering);
    for (QRadioButton* b : Option9) rendering_l->addWidget(b);
    rendering_l->addWidget(Command9);

    auto* music = frame(QStringLiteral("Music List Playback"));
    Check3 = new QCheckBox(QStringLiteral("Play Music In Random Order"), music);
    HScroll2 = new QScrollBar(Qt::Horizontal, music);
    HScroll2->setRange(1, 30);
    HScroll2->setToolTip(QStringLiteral("Seconds that must pass before the next song may start"));
    Label9 = new QLabel(music);
    auto* music_l = new QGridLayout(music);
    music_l->addWidget(Check3, 0, 0, 1, 2);
    music_l->addWidget(HScroll2, 1, 0);
    music_l->addWidget(Label9, 1, 1);

    auto* mouse = frame(QStringLiteral("Mouse Exit Sensitivity"));
    HScroll1 = new QScrollBar(Qt::Horizontal, mouse);
    HScroll1->setRange(1, 30);
    auto* mouse_l = new QHBoxLayout(mouse);
    mouse_l->addWidget(new QLabel(QStringLiteral("Slower"), mouse));
    mouse_l->addWidget(HScroll1, 1);
    mouse_l->addWidget(new QLabel(QStringLiteral("Quicker"), mouse));

    auto* devices = frame(QStringLiteral("MCI Device Driver Names"));
    Text1 = new QLineEdit(devices);
    Text2 = new QLineEdit(devices);
    Text3 = new QLineEdit(devices);
    Text5 = new QLineEdit(devices);
    // Commas, quotes and line ends would break the device commands built
    // from these names: whatever the user types or pastes loses them (a
    // stored name is shown as it is). The AVI name is not filtered.
    for (QLineEdit* t : {Text1, Text2, Text3}) {
        connect(t, &QLineEdit::textEdited, this, [t](const QString& text) {
            static const QRegularExpression banned(QStringLiteral("[,\"\\r\\n]"));
            if (!text.contains(banned)) return;
            const int cursor = t->cursorPosition();
            const int removed_before = static_cast<int>(text.left(cursor).count(banned));
            QString clean = text;
            clean.remove(banned);
            t->setText(clean);
            t->setCursorPosition(cursor - removed_before);
        });
    }
    Command4 = button(QStringLiteral("&Defaults"));
    Command4->setParent(devices);
    auto* devices_l = new QGridLayout(devices);
    devices_l->addWidget(new QLabel(QStringLiteral(".Wav Files"), devices), 0, 0);
    devices_l->addWidget(Text1, 0, 1);
    devices_l->addWidget(new QLabel(QStringLiteral(".MID & .RMI Files"), devices), 1, 0);
    devices_l->addWidget(Text2, 1, 1);
    devices_l->addWidget(new QLabel(QStringLiteral("MPG Video"), devices), 2, 0);
    devices_l->addWidget(Text3, 2, 1);
    devices_l->addWidget(new QLabel(QStringLiteral("AVI Video"), devices), 3, 0);
    devices_l->addWidget(Text5, 3, 1);
    devices_l->addWidget(Command4, 4, 1);

    auto* logging = frame(QStringLiteral("Logging"));
    Check2 = new QCheckBox(QStringLiteral("Enable Logging"), logging);
    Command5 = button(QStringLiteral("&View Log"));
    Command5->setParent(logging);
    Command6 = button(QStringLiteral("&Reset Log"));
    Command6->setParent(logging);
    auto* logging_l = new QVBoxLayout(logging);
    logging_l->addWidget(Check2);
    auto* logging_buttons = new QHBoxLayout;
    logging_buttons->addWidget(Command5);
    logging_buttons->addWidget(Command6);
    logging_l->addLayout(logging_buttons);

    auto* power = frame(QStringLiteral("Screen Saver Power Saver"));
    Check4 = new QCheckBox(QStringLiteral("Enabled"), power);
    Text7 = new QLineEdit(power);
    Text7->setMaximumWidth(60);
    Text7->installEventFilter(this);
    auto* power_l = new QHBoxLayout(power);
    power_l->addWidget(Check4);
    power_l->addWidget(new QLabel(QStringLiteral("After"), power));
    power_l->addWidget(Text7);
    power_l->addWidget(new QLabel(QStringLiteral("hours"), power));
    power_l->addStretch(1);

    auto* transitions = frame(QStringLiteral("Picture Transitions"));
    Check5 = new QCheckBox(QStringLiteral("Ignore Backgrounds"), transitions);
    (new QVBoxLayout(transitions))->addWidget(Check5);

    auto* auto_stop = frame(QStringLiteral("Auto Stop"));
    Check6 = new QCheckBox(QStringLiteral("Check this box to end the slideshow after the last slide is displayed."),
                           auto_stop);
    (new QVBoxLayout(auto_stop))->addWidget(Check6);

    auto* effects = frame(QStringLiteral("Random Effects"));
    Command7 = button(QStringLiteral("&Random Effects Editor"));
    Command7->setParent(effects);
    (new QVBoxLayout(effects))->addWidget(Command7);

    auto* hot_keys = frame(QStringLiteral("F1 - F12 Hot Keys"));
    Command8 = button(QStringLiteral("&Hot Key Settings"));
    Command8->setParent(hot_keys);
    (new QVBoxLayout(hot_keys))->addWidget(Command8);

    Command2 = button(QStringLiteral("Change &Password"));
    Command1 = button(QStringLiteral("&Click Here To Exit"));

    // Four columns, so that the screen fits a small or scaled screen without
    // scrolling; the last frame of each column takes up what is left, so that
    // the columns end on one line.
    auto* grid = new QGridLayout(this);
    const std::vector<std::vector<QGroupBox*>> columns = {{sound, wallpaper, presentation, cancel},
                                                          {saver, nav, images},
                                                          {music, mouse, devices},
                                                          {rendering, logging, power}};
    int column = 0;
    for (const auto& frames : columns) {
        auto* stack = new QVBoxLayout;
        for (QGroupBox* f : frames) stack->addWidget(f, f == frames.back() ? 1 : 0);
        grid->addLayout(stack, 0, column++);
    }
    grid->addWidget(auto_stop, 1, 0, 1, 2);
    grid->addWidget(transitions, 1, 2);
    grid->addWidget(effects, 1, 3);
    grid->addWidget(hot_keys, 2, 0);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(Command2);
    bottom->addWidget(Command1);
    grid->addLayout(bottom, 2, 1, 1, 3);

    // Settings that change at the click. The load's own selections do not
    // count as clicks (a stored value no button stands for stays as it is).
    auto on_select = [this](QRadioButton* b, auto fn) {
        connect(b, &QRadioButton::toggled, this, [this, fn](bool on) {
            if (on && !loading_) fn();
        });
    };
    auto& s = settings();
    on_select(Option2, [&s] { s.audio_on = 1; });
    on_select(Option1, [&s] { s.audio_on = 0; });
    on_select(Option10, [&s] { s.save_as_wallpaper = 1; });
    on_select(Option11, [&s] { s.save_as_wallpaper = 0; });
    on_select(Option15, [&s] { s.cancel_mode = 4; });
    on_select(Option16, [&s] { s.cancel_mode = 7; });
    on_select(Option17, [&s] { s.cancel_mode = 9; });
    on_select(Option18, [&s] { s.slideshow_method = 0; });
    on_select(Option19, [&s] { s.slideshow_method = 1; });
    on_select(Option3, [&s] { s.screen_saver_type = 0; });
    on_select(Option4, [&s] { s.screen_saver_type = 1; });
    on_select(Option20, [&s] { s.presentation_mode = 0; });
    on_select(Option5, [&s] { s.button_position = "0"; });
    on_select(Option6, [&s] { s.button_position = "1"; });
    on_select(Option7, [&s] { s.button_position = "2"; });
    on_select(Option8, [&s] { s.button_position = "3"; });
    // "On" for presentation mode also answers the load's own selection.
    connect(Option21, &QRadioButton::toggled, this, [this](bool on) {
        if (on) option21_click();
    });

    auto on_check = [this](QCheckBox* c, int& setting) {
        connect(c, &QCheckBox::toggled, this, [this, &setting](bool on) {
            if (!loading_) setting = on ? 1 : 0;
        });
    };
    on_check(Check1, s.slideshow_random_start);
    on_check(Check5, s.ignore_background);
    on_check(Check6, s.auto_stop);

    connect(HScroll2, &QScrollBar::valueChanged, this, [this](int v) {
        if (loading_) return;
        settings().music_launch = v;
        Label9->setText(seconds_text(v));
    });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) {
        if (!loading_) settings().mouse_moves_exit = v;
    });

    connect(Command1, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    connect(Command2, &QPushButton::clicked, this, &frmOptions::change_password);
    connect(Command3, &QPushButton::clicked, this, &frmOptions::start_audio);
    connect(Command4, &QPushButton::clicked, this, &frmOptions::device_defaults);
    connect(Command5, &QPushButton::clicked, this, &frmOptions::view_log);
    connect(Command6, &QPushButton::clicked, this, &frmOptions::reset_log);
    connect(Command7, &QPushButton::clicked, this, &frmOptions::open_effects_editor);
    connect(Command8, &QPushButton::clicked, this, &frmOptions::open_hot_keys);
    connect(Command9, &QPushButton::clicked, this, &frmOptions::more_info);
}

void frmOptions::form_load() {
    setWindowTitle(program_name + QStringLiteral(" - Options"));
    presentation_from_load = 0;
    loading_ = true;
    const auto& s = settings();

    Text1->setText(QString::fromStdString(s.wav_devicename));
    Text2->setText(QString::fromStdString(s.mid_devicename));
    Text3->setText(QString::fromStdString(s.mpg_devicename));
    Text5->setText(QString::fromStdString(s.avi_devicename));

    // Each group selects the button standing for the stored value, or none.
    if (s.audio_on == 1) Option2->setChecked(true);
    if (s.audio_on == 0) Option1->setChecked(true);
    if (s.save_as_wallpaper == 1) Option10->setChecked(true);
    if (s.save_as_wallpaper == 0) Option11->setChecked(true);
    if (s.cancel_mode == 4) Option15->setChecked(true);
    if (s.cancel_mode == 7) Option16->setChecked(true);
    if (s.cancel_mode == 9) Option17->setChecked(true);
    if (s.slideshow_method == 0) Option18->setChecked(true);
    if (s.slideshow_method == 1) Option19->setChecked(true);
    if (auto corner = parse_setting_int(s.button_position)) {
        QRadioButton* corners[] = {Option5, Option6, Option7, Option8};
        if (*corner >= 0 && *corner <= 3) corners[*corner]->setChecked(true);
    }
    if (s.slideshow_random_start == 1) Check1->setChecked(true);
    if (s.slideshow_random_start == 0) Check1->setChecked(false);

    // "Off" is the designed default; "On" is selected only for a stored 1,
    // and that selection must not bring up the presentation pop-up.
    Option20->setChecked(true);
    if (s.presentation_mode == 1) {
        presentation_from_load = 1;
        Option21->setChecked(true);
    }

    if (s.screen_saver_type == 1) {
        Option4->setChecked(true);
    } else {
        Option3->setChecked(true);
    }

    if (s.display_mode >= 1 && s.display_mode <= 3) Option9[s.display_mode - 1]->setChecked(true);

    Check2->setChecked(s.logging == 1);
    Check3->setChecked(s.random_music == 1);
    Check4->setChecked(parse_setting_int(s.extended_flag).value_or(0) == 1);
    Text7->setText(QString::fromStdString(s.extended_time));
    // A stored value outside 1-30 cannot sit on the bar: the bar shows the
    // nearest end, the label the real value, and the setting is kept until
    // the user moves the bar.
    HScroll2->setValue(s.music_launch);
    Label9->setText(seconds_text(s.music_launch));
    HScroll1->setValue(s.mouse_moves_exit);
    Check5->setChecked(s.ignore_background == 1);
    Check6->setChecked(s.auto_stop == 1);
    loading_ = false;
}

void frmOptions::option21_click() {
    if (presentation_from_load == 1) {
        presentation_from_load = 0;
        return;
    }
    settings().presentation_mode = 1;
    show_message(8);
}

void frmOptions::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (activated == 0) {
        QTimer::singleShot(0, this, [this] {
            if (activated == 0) first_activation();
        });
    }
}

void frmOptions::first_activation() {
    activated = 1;
    repaint();
    yield_events();
    check_log_size();
}

void frmOptions::check_log_size() {
    const std::int64_t size = log_file_size();
    if (size < log_reset_threshold) return;
    const QString text = QStringLiteral("Your current log size is over 100k in size.") + QChar('\n') +
                         QStringLiteral("Would you like to reset the log?");
    if (ask_critical(this, logging_title(), text)) {
        delete_log_file();
        yield_events();
    }
}

void frmOptions::view_log() {
    const std::string path = log_path();
    if (!file_exists(path)) {
        ok_box(this, QStringLiteral("Logging"), QStringLiteral("Log File Not Available."));
        return;
    }
    auto& open = options_desktop_hooks().open_document;
    const bool opened = open && open(QString::fromStdString(path));
    if (!opened) ok_box(this, log_file_name(), QStringLiteral("Error attempting to view log!"));
}

void frmOptions::reset_log() {
    if (!ask_critical(this, logging_title(), QStringLiteral("Would you like to reset the log?"))) return;
    delete_log_file();   // no log: nothing to do
    yield_events();
}

void frmOptions::start_audio() {
    if (auto& start = options_desktop_hooks().start_volume_control) start();
    yield_events();
}

void frmOptions::device_defaults() {
    Text1->setText(QStringLiteral("WaveAudio"));
    Text2->setText(QStringLiteral("Sequencer"));
    Text3->setText(QStringLiteral("MPEGVIDEO"));
    Text5->setText(QStringLiteral("AVIVideo"));
    yield_events();
}

void frmOptions::more_info() {
    help_popup().hide_never_again_check = 1;
    show_message(14);
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text7 && event->type() == QEvent::FocusOut) {
        // Only a move to another control of ours counts; the window losing
        // activation (our own message box included) does not.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !closed_) {
            QTimer::singleShot(0, this, [this] {
                if (!closed_) text7_lost_focus();
            });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmOptions::text7_lost_focus() {
    auto& s = settings();
    double hours = leading_value(Text7->text());
    bool bad = false;
    if (hours < 1) {
        Text7->setText(QStringLiteral("1"));
        bad = true;
    }
    if (hours > 20) {
        Text7->setText(QStringLiteral("20"));
        bad = true;
    }
    hours = leading_value(Text7->text());
    s.extended_time = number_text(hours);
    if (bad) {
        ok_box(this, program_name,
               QStringLiteral("Only values of 1 - 20 are allowed for the Power Saver setting."));
    }
}

void frmOptions::open_effects_editor() {
    frmEffects dlg(this);
    dlg.exec();
}

void frmOptions::open_hot_keys() {
    frmHotkeys dlg(this);
    dlg.exec();
}

void report_unsaved_settings(QWidget* parent, const QString& what, const QString& consequence) {
    QMessageBox::critical(parent, program_name,
                          what + QStringLiteral(" could not be saved: the settings file cannot be written (it "
                                                "may be read-only, or the disk may be full). ") +
                              consequence);
}

void frmOptions::change_password() {
    FrmNewPassword dlg(this);
    dlg.exec();
}

void frmOptions::done(int r) {
    if (!closed_) {
        closed_ = true;
        auto& s = settings();
        s.wav_devicename = Text1->text().toStdString();
        s.mid_devicename = Text2->text().toStdString();
        s.mpg_devicename = Text3->text().toStdString();
        s.avi_devicename = Text5->text().toStdString();
        for (int i = 0; i < 3; ++i)
            if (Option9[i]->isChecked()) s.display_mode = i + 1;
        s.logging = check_value(Check2);
        s.random_music = check_value(Check3);
        s.extended_flag = std::to_string(check_value(Check4));
        double hours = leading_value(Text7->text());
        if (hours < 1) hours = 1;
        if (hours > 20) hours = 20;
        s.extended_time = number_text(hours);
        if (!save_settings())
            report_unsaved_settings(this, QStringLiteral("The options"),
                                    QStringLiteral("They last only until Lumivane ends."));
        yield_events();
    }
    QDialog::done(r);
}

}  // namespace lv
