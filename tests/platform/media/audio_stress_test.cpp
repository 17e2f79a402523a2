// The audio channels under a storm of changes: a new sound every 50 ms for a
// minute (LUMIVANE_AUDIO_STRESS_SECONDS sets another length), WAV, MP3, MIDI
// and RIFF MIDI, files that fail and files that are missing, with stops in
// between, on both channels. Most changes stop a file that is still
// starting, which is when a stop can deadlock the window's thread inside
// GStreamer. A second, shorter storm slows down both sides of the race by
// which a player's own start could deadlock (slowed_start_race.h). A hang
// ends the program with a message and every thread's stack.
//
// Without a sound device the players play into GStreamer's silent sink, in
// real time, so the whole pipeline runs here as well.
#include "qt_wait.h"
#include "platform/media/audio.h"
#include "platform/media/audio_files.h"
#include "platform/media/hang_guard.h"
#include "platform/media/slowed_start_race.h"

#include "core/hooks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
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
        EXPECT_TRUE(wait_for([] { return lv::audio_players_alive() == 0; }))
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
    ASSERT_TRUE(wait_for([] { return !lv::sound_busy(); }));
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_TRUE(wait_for([] { return !lv::music_busy(); }));
    lv::audio_unload();
    EXPECT_EQ(lv::audio_players_alive(), 0);
    lv::hooks().yield_events = nullptr;
}

TEST(AudioStress, ChangingTheSoundEvery50MsNeverHangsAndLeavesNoPlayerBehind) {
    storm(stress_seconds(), "the window's thread stopped coming back while sounds changed");
}

TEST(AudioStress, ChangingTheSoundWhileTheStartRaceIsSlowedNeverHangs) {
    lv::test::slowed_start_race slowed;
    ASSERT_TRUE(slowed.ready());
    storm(std::min(stress_seconds(), 20), "the window's thread hung while the start race was slowed");
}

}  // namespace
