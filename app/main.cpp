// The one executable: main screen, player of a slideshow file, screen saver,
// screen-saver preview and password change. main only wires the pieces
// together; every role lives in its own function below.
#include <QApplication>
#include <QCoreApplication>
#include <QPointer>

#include <malloc.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "core/command_line.h"
#include "core/document.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/hooks.h"
#include "main_screen/frmTitle.h"
#include "platform/media/audio.h"
#include "platform/desktop/desktop_services.h"
#include "platform/desktop/ini_store.h"
#include "platform/desktop/startup_services.h"
#include "platform/picture/picture_job.h"
#include "player/FrmNewPassword.h"
#include "player/frmPreview.h"
#include "player/frmSlideshow.h"
#include "player/frmTitle2.h"

namespace {

// A slideshow file named on the command line: splash, then the show.
int run_file_player(const std::string& command_line) {
    lv::audio_load();
    {
        lv::frmTitle2 splash(command_line);   // the whole command line is the path
        splash.exec();
    }
    lv::audio_unload();
    lv::yield_events();
    return 0;
}

// "/C" or nothing: the main configuration screen, once per user.
int run_main_screen() {
    if (!lv::no_window_titled(lv::program().version_caption)) return 0;
    lv::audio_load();
    // The screen saves the settings and unloads the audio when it closes.
    lv::frmTitle screen;
    screen.show_modal();
    return 0;
}

// "/S": the screen saver, once per user.
int run_screensaver() {
    // Taken before the window check and held until the show has finished:
    // of two "/S" started in the same instant, the one that cannot take it
    // ends at once, as it does when a player window exists.
    lv::single_run_claim saver;
    if (!saver.try_claim("screensaver")) return 0;
    if (!lv::no_window_titled(lv::player_caption)) return 0;
    if (lv::choose_screensaver_slideshow() == 1) lv::doc().image_count = 0;
    lv::settings().presentation_mode = 0;   // for this run only, never saved from here
    lv::run().running_as_screensaver = 1;
    lv::run().show_finished = 0;
    lv::audio_load();
    // Modeless, full screen and on top, the cursor hidden; the window deletes
    // itself once it has unloaded.
    QPointer<lv::frmSlideshow> player = new lv::frmSlideshow();
    player->start();
    lv::wait_until_show_finished(player);
    // The window and its title claim are gone: the next screen saver may
    // start while sounds still starting are let go.
    saver.release();
    lv::audio_unload();
    return 0;
}

// "/P <window>": the preview inside the desktop's screen-saver settings.
int run_preview(std::int32_t parent_window) {
    lv::program().parent_window = parent_window;
    return lv::run_preview(parent_window);
}

// "/A <window>": change the screen-saver password.
int run_password_change(std::int32_t parent_window) {
    lv::program().parent_window = parent_window;
    lv::FrmNewPassword dialog;
    dialog.exec();
    return 0;
}


}  // namespace

int main(int argc, char** argv) {
    // Started by the player as its own picture decoder (when lumivane-decoder
    // is missing): that work alone, before anything else starts.
    if (const std::optional<int> decoded = lv::decoder_call(argc, argv)) return *decoded;
    // Each sound's decoder runs on GStreamer threads that come and go, and
    // malloc would give nearly every one of them a pool of its own (up to
    // eight per core), each holding on to free memory of the MIDI decoders
    // (some 13 MB each) that ran there. One pool reuses it for the next
    // decoder: a show with MIDI on every picture stays some 30 MB lower. Set
    // before any thread starts.
    mallopt(M_ARENA_MAX, 1);
    const std::string command_line = lv::join_arguments(argc, argv);
    const lv::launch_decision launch = lv::decide_launch(command_line);

    // A command line that opens no window must work without a display too.
    std::unique_ptr<QCoreApplication> app;
    if (launch.mode == lv::launch_mode::none) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
        // Hidden windows count as open; the process ends where each role says.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        // Idle managers, logout and kill end us with a signal; the desktop's
        // screen saver must not stay switched off behind us.
        lv::end_cleanly_on_termination_signals();
    }
    QCoreApplication::setApplicationName(QStringLiteral("lumivane"));

    lv::program().version_caption =
        lv::make_version_caption(lv::version_major, lv::version_minor, lv::version_revision);

    lv::install_core_hooks();
    lv::install_startup_services();
    lv::ini_store store;
    lv::set_settings_store(&store);
    lv::init_program();

    int status = 0;
    switch (launch.mode) {
        case lv::launch_mode::play_file: status = run_file_player(command_line); break;
        case lv::launch_mode::main_screen: status = run_main_screen(); break;
        case lv::launch_mode::screensaver: status = run_screensaver(); break;
        case lv::launch_mode::preview: status = run_preview(launch.parent_window); break;
        case lv::launch_mode::change_password: status = run_password_change(launch.parent_window); break;
        case lv::launch_mode::none: break;
    }

    lv::set_settings_store(nullptr);
    return status;
}
