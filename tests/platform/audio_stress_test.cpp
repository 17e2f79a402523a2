// The audio channels under a storm of changes: a new sound every 50 ms for a
// minute (LUMIVANE_AUDIO_STRESS_SECONDS sets another length), WAV, MP3, MIDI
// and RIFF MIDI, files that fail and files that are missing, with stops in
// between, on both channels. Most changes stop a file that is still
// starting, which is when a stop can deadlock the window's thread inside
// GStreamer. A second, shorter storm slows down both sides of the race by
// which a player's own start could deadlock. A hang ends the program with a
// message and every thread's stack.
//
// Without a sound device the players play into GStreamer's silent sink, in
// real time, so the whole pipeline runs here as well.
#include "qt_wait.h"
#include "platform/audio.h"
#include "platform/audio_files.h"
#include "platform/hang_guard.h"

#include "core/hooks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using lv::test::wait_for;

int stress_seconds() {
    const char* env = std::getenv("LUMIVANE_AUDIO_STRESS_SECONDS");
    const int s = env ? std::atoi(env) : 0;
    return s > 0 ? s : 60;
}

// Changes the sound every 50 ms for `seconds`, then checks that every player
// went and that the channels still play a file their whole length.
void storm(int seconds, const char* what) {
    lv::test::media_files files;
    if (!files.tools_ok()) GTEST_SKIP() << "sox or ffmpeg missing";
    lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    lv::set_audio_backend(nullptr);
    lv::audio_load();

    const std::vector<std::string> good = {files.path("tone.wav"), files.path("tone.mp3"), files.path("long.wav"),
                                           files.path("long.mp3"), files.path("tune.mid"), files.path("tune.rmi")};
    const std::vector<std::string> bad = {files.path("garbage.wav"), files.path("garbage.mp3"),
                                          files.path("garbage.mid"), files.path("missing.wav")};
    std::mt19937 rng(20261207);

    int changes = 0, most_players = 0, not_busy_after_play = 0, busy_after_stop = 0;
    {
        lv::test::hang_guard guard(what, 20000);
        QElapsedTimer clock;
        clock.start();
        qint64 next = 0;
        while (clock.elapsed() < seconds * 1000LL) {
            guard.pet();
            if (clock.elapsed() >= next) {
                next += 50;
                ++changes;
                const unsigned roll = rng() % 20;
                const bool music = roll >= 14 && roll < 18;
                if (roll < 14 || music) {
                    // Mostly good files, the way a show plays them.
                    const bool good_file = rng() % 5 != 0;
                    const std::string& file = good_file ? good[rng() % good.size()] : bad[rng() % bad.size()];
                    if (music) lv::play_music_file(file);
                    else lv::play_sound_file(file);
                    // A file that was just started keeps its channel busy until
                    // its end report; a good one cannot have ended yet.
                    if (good_file && !(music ? lv::music_busy() : lv::sound_busy())) ++not_busy_after_play;
                } else if (roll == 18) {
                    lv::stop_sound();
                    if (lv::sound_busy()) ++busy_after_stop;
                } else {
                    lv::stop_all_audio();
                    if (lv::sound_busy() || lv::music_busy()) ++busy_after_stop;
                }
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
            most_players = std::max(most_players, lv::audio_players_alive());
        }
        lv::stop_all_audio();
        // Every player of the storm is shut down, those parked while still
        // starting included.
        EXPECT_TRUE(wait_for([] { return lv::audio_players_alive() == 0; }, 15000))
            << lv::audio_players_alive() << " players left";
    }
    std::printf("%d changes in %d s, at most %d players at once\n", changes, seconds, most_players);
    EXPECT_GT(most_players, 0);
    EXPECT_EQ(not_busy_after_play, 0);
    EXPECT_EQ(busy_after_stop, 0);

    // The channels still work: a file plays its whole length and then ends.
    lv::play_sound_file(files.path("tone.wav"));
    lv::play_music_file(files.path("tune.mid"));
    EXPECT_TRUE(lv::sound_busy());
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(wait_for([] { return !lv::sound_busy(); }, 5000));
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_TRUE(wait_for([] { return !lv::music_busy(); }, 5000));
    lv::audio_unload();
    EXPECT_EQ(lv::audio_players_alive(), 0);
    lv::hooks().yield_events = nullptr;
}

TEST(AudioStress, ChangingTheSoundEvery50MsNeverHangsAndLeavesNoPlayerBehind) {
    storm(stress_seconds(), "the window's thread stopped coming back while sounds changed");
}

// The deadlock needs a decoder's thread to add the sound output to the
// pipeline while the window's thread, still giving the player its file, is
// switching the pipeline's elements to PAUSED, and to set the output's state
// only after the flush that follows: a window of microseconds that a loaded
// machine hits perhaps once an hour. Here both sides are slowed down where
// they race. The window's thread dawdles for 30 ms right after it started a
// pipeline's decoder, and every output a decoder's thread links into a
// pipeline sits there for 100 ms before its state is set.
std::atomic<bool> slow_linking{false};
GThread* gui_thread = nullptr;

gboolean linger_after_linking(GSignalInvocationHint*, guint n_params, const GValue* params, gpointer) {
    if (!slow_linking || n_params < 1 || g_thread_self() == gui_thread) return TRUE;
    auto* pad = GST_PAD(g_value_get_object(&params[0]));
    if (!GST_PAD_IS_SINK(pad)) return TRUE;
    GstElement* owner = gst_pad_get_parent_element(pad);
    if (!owner) return TRUE;
    GstObject* bin = gst_object_get_parent(GST_OBJECT(owner));
    if (GST_IS_BIN(owner) && bin && GST_IS_PIPELINE(bin)) g_usleep(100 * 1000);
    if (bin) gst_object_unref(bin);
    gst_object_unref(owner);
    return TRUE;
}

void dawdle_after_starting(GObject*, GstClockTime, GstElement* element, GstStateChange transition,
                           GstStateChangeReturn) {
    if (!slow_linking || g_thread_self() != gui_thread || transition != GST_STATE_CHANGE_READY_TO_PAUSED) return;
    GstObject* bin = gst_object_get_parent(GST_OBJECT(element));
    const bool decoder = bin && GST_IS_PIPELINE(bin) && GST_IS_BIN(element);
    if (bin) gst_object_unref(bin);
    if (decoder) g_usleep(30 * 1000);
}

struct LingerTracer { GstTracer parent; };
struct LingerTracerClass { GstTracerClass parent_class; };
G_DEFINE_TYPE(LingerTracer, linger_tracer, GST_TYPE_TRACER)
void linger_tracer_class_init(LingerTracerClass*) {}
void linger_tracer_init(LingerTracer* self) {
    gst_tracing_register_hook(GST_TRACER(self), "element-change-state-post", G_CALLBACK(dawdle_after_starting));
}

TEST(AudioStress, OutputsLinkedSlowlyStillNeverHangTheWindow) {
    gst_init(nullptr, nullptr);
    gui_thread = g_thread_self();
    // A tracer cannot be taken back: it stays, idle once the flag is down.
    static GObject* tracer = static_cast<GObject*>(g_object_new(linger_tracer_get_type(), nullptr));
    (void)tracer;
    const guint linked = g_signal_lookup("linked", GST_TYPE_PAD);
    ASSERT_NE(linked, 0u);
    const gulong hook = g_signal_add_emission_hook(linked, 0, linger_after_linking, nullptr, nullptr);
    slow_linking = true;
    storm(std::min(stress_seconds(), 20), "the window's thread hung while outputs were linked slowly");
    slow_linking = false;
    g_signal_remove_emission_hook(linked, hook);
}

}  // namespace
