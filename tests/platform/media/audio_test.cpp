// The two audio channels, played for real (Qt Multimedia over GStreamer; on a
// box without a sound device GStreamer's automatic sink plays into a fake
// sink in real time) and against a scripted backend for the report ordering.
#include "qt_wait.h"
#include "platform/media/audio.h"
#include "platform/media/audio_files.h"
#include "platform/media/hang_guard.h"

#include "core/hooks.h"
#include "core/state.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using lv::test::media_files;
using lv::test::midi_bytes;
using lv::test::rmi_bytes;
using lv::test::wait_for;
using lv::test::write_file;

void pump(int ms) { wait_for([] { return false; }, ms); }

// Long enough to mean a hang, whatever the machine's load: a MIDI file also
// waits for the soundfont, which a busy machine reads slowly.
constexpr int hang_ms = 60000;

// Whether `busy` turned false by itself before a hang.
bool ends(const std::function<bool()>& busy) {
    return wait_for([&] { return !busy(); }, hang_ms);
}

// Milliseconds from now until `busy` was seen to turn false (-1 on a hang).
// Seen, never sooner than it happened, so a slow machine only makes it longer.
qint64 ms_until_seen_idle(const std::function<bool()>& busy) {
    QElapsedTimer t;
    t.start();
    if (!ends(busy)) return -1;
    return t.elapsed();
}

class AudioPlayback : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        files_ = new media_files;
    }
    static void TearDownTestSuite() {
        lv::audio_unload();
        delete files_;
        files_ = nullptr;
        lv::hooks().yield_events = nullptr;
    }
    void SetUp() override {
        if (!files_->tools_ok()) GTEST_SKIP() << "sox or ffmpeg missing";
        lv::set_audio_backend(nullptr);
        lv::audio_load();
    }
    void TearDown() override { lv::stop_all_audio(); }
    static std::string f(const std::string& name) { return files_->path(name); }
    static media_files* files_;
};
media_files* AudioPlayback::files_ = nullptr;

struct kind_case {
    const char* file;
    double seconds;
    bool music;
};

class AudioPlaysToTheEnd : public AudioPlayback, public ::testing::WithParamInterface<kind_case> {};

// Busy at once after the call, then idle by itself once the file has played:
// the sink plays in real time, so the end can never come before most of the
// file's length has passed (a file that failed ends within milliseconds).
// When the end comes depends on the machine's load: the first MIDI file
// waits for the soundfont.
TEST_P(AudioPlaysToTheEnd, BusyFromPlayUntilTheEnd) {
    const kind_case c = GetParam();
    auto busy = c.music ? lv::music_busy : lv::sound_busy;
    if (c.music) lv::play_music_file(f(c.file));
    else lv::play_sound_file(f(c.file));
    EXPECT_TRUE(busy());
    const qint64 took = ms_until_seen_idle(busy);
    ASSERT_GE(took, 0) << c.file << " never ended";
    EXPECT_GE(took, static_cast<qint64>(c.seconds * 600)) << c.file << " was cut short";
}

INSTANTIATE_TEST_SUITE_P(Kinds, AudioPlaysToTheEnd,
                         ::testing::Values(kind_case{"tone.wav", 1.5, false},
                                           kind_case{"tone.mp3", 1.5, false},
                                           kind_case{"tune.mid", 1.0, false},
                                           kind_case{"tune.rmi", 1.0, false},
                                           kind_case{"tone.wav", 1.5, true},
                                           kind_case{"tone.mp3", 1.5, true}));

TEST_F(AudioPlayback, Mp3CountsAsBusyOnlyThroughItsPlayer) {
    lv::play_sound_file(f("tone.mp3"));
    EXPECT_TRUE(lv::sound_mp3_playing());
    EXPECT_TRUE(lv::sound_busy());
    EXPECT_FALSE(lv::music_busy());
    ASSERT_TRUE(ends(lv::sound_mp3_playing));
    EXPECT_FALSE(lv::sound_busy());
}

TEST_F(AudioPlayback, WavStartedDuringMp3StopsItAndLeavesTheOtherChannel) {
    lv::play_sound_file(f("long.mp3"));
    lv::play_music_file(f("long.wav"));
    pump(500);   // both well under way
    ASSERT_TRUE(lv::sound_mp3_playing());
    ASSERT_TRUE(lv::music_busy());

    lv::play_sound_file(f("tone.wav"));
    EXPECT_FALSE(lv::sound_mp3_playing());
    EXPECT_TRUE(lv::sound_busy());
    EXPECT_TRUE(lv::music_busy());
    // The WAV's own end, not the MP3's, ends the sound channel.
    EXPECT_TRUE(ends(lv::sound_busy));
    EXPECT_TRUE(lv::music_busy());
}

TEST_F(AudioPlayback, RestartingAChannelKeepsItBusyForTheNewFile) {
    lv::play_sound_file(f("tone.wav"));
    pump(1000);
    lv::play_sound_file(f("long.wav"));
    pump(1500);   // the first file would have ended 0.5 s ago
    EXPECT_TRUE(lv::sound_busy());
}

TEST_F(AudioPlayback, StopEndsTheChannelAtOnce) {
    lv::play_sound_file(f("long.wav"));
    lv::play_music_file(f("long.mp3"));
    lv::stop_sound();
    EXPECT_FALSE(lv::sound_busy());
    EXPECT_TRUE(lv::music_busy());
    lv::stop_all_audio();
    EXPECT_FALSE(lv::music_busy());
    // And stays stopped: no late report turns it back on.
    pump(300);
    EXPECT_FALSE(lv::sound_busy());
    EXPECT_FALSE(lv::music_busy());
}

TEST_F(AudioPlayback, EmptyNameChangesNothing) {
    lv::play_music_file(f("long.wav"));
    lv::play_music_file("");
    EXPECT_TRUE(lv::music_busy());
}

// A file that cannot be opened or played leaves its channel idle instead of
// busy until someone stops it.
TEST_F(AudioPlayback, MissingAndCorruptFilesLeaveTheChannelIdle) {
    for (const std::string name : {"missing.wav", "missing.mp3", "garbage.wav", "garbage.mp3",
                                   "garbage.mid"}) {
        lv::play_sound_file(f(name));
        EXPECT_TRUE(ends(lv::sound_busy)) << name;
        lv::play_music_file(f(name));
        EXPECT_TRUE(ends(lv::music_busy)) << name;
    }
    // The channel still plays the next good file.
    lv::play_sound_file(f("tone.wav"));
    EXPECT_GE(ms_until_seen_idle(lv::sound_busy), 900);
}

// Without a sound device the channels play silently, and no sound system is
// tried for each file: ALSA, OpenAL and PulseAudio used to print a screenful
// of errors for every sound. Played in a child process to catch what it prints.
TEST_F(AudioPlayback, WithoutASoundDeviceNothingIsPrintedForEachFile) {
    if (!QMediaDevices::audioOutputs().isEmpty()) GTEST_SKIP() << "this machine has a sound device";
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    // WAV, MP3 and MIDI, each played to its end.
    child.setArguments({"--gtest_filter=Kinds/AudioPlaysToTheEnd.*/0:Kinds/AudioPlaysToTheEnd.*/1:"
                        "Kinds/AudioPlaysToTheEnd.*/2"});
    child.start();
    ASSERT_TRUE(child.waitForFinished(4 * hang_ms));
    // Which case failed, and how, is in the child's report.
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    const QString printed = QString::fromLocal8Bit(child.readAllStandardError());
    for (const char* noise : {"ALSA lib", "AL lib", "Failed to connect", "jack"})
        EXPECT_FALSE(printed.contains(QLatin1String(noise), Qt::CaseInsensitive)) << noise << "\n" << printed.toStdString();
}

// A FIFO or a device named like a sound is never opened: opening a FIFO
// waits for a writer (for ever, in a show packed by someone else), and a
// device may never end. It counts as a file that cannot be played, on every
// path a file takes: plain, MP3, MIDI, RIFF MIDI and the editor's control.
TEST_F(AudioPlayback, FifosAndDevicesNamedLikeSoundsAreRefusedWithoutBlocking) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    std::vector<std::string> hostile;
    for (const char* name : {"pipe.wav", "pipe.mp3", "pipe.mid", "pipe.rmi", "pipe.xyz"}) {
        ASSERT_EQ(::mkfifo((base + name).c_str(), 0600), 0) << name;
        hostile.push_back(base + name);
    }
    for (const char* name : {"zero.wav", "zero.rmi"}) {
        ASSERT_EQ(::symlink("/dev/zero", (base + name).c_str()), 0) << name;
        hostile.push_back(base + name);
    }
    ASSERT_EQ(::mkdir((base + "folder.mid").c_str(), 0700), 0);
    hostile.push_back(base + "folder.mid");

    lv::test::hang_guard guard("opening a FIFO or a device as a sound", 20000);
    for (const std::string& file : hostile) {
        lv::play_sound_file(file);
        EXPECT_TRUE(ends(lv::sound_busy)) << file;
        lv::play_music_file(file);
        EXPECT_TRUE(ends(lv::music_busy)) << file;
        lv::audio_control editor;
        editor.device_type = "Sequencer";
        editor.open_and_play(file);
        EXPECT_TRUE(wait_for([&] { return !editor.playing(); }, hang_ms)) << file;
        guard.pet();
    }
    // The channel still plays the next good file.
    lv::play_sound_file(f("tone.wav"));
    EXPECT_GE(ms_until_seen_idle(lv::sound_busy), 900);
}

// ---------------------------------------------------------------------------
// Scripted backend: who started what, and reports fired by the test.

struct started {
    std::string source;
    std::string content;                       // the source's bytes when it started
    std::function<void()> stopped;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

class fake_playback : public lv::audio_playback {
public:
    explicit fake_playback(std::shared_ptr<bool> alive) : alive_(std::move(alive)) {}
    ~fake_playback() override { *alive_ = false; }

private:
    std::shared_ptr<bool> alive_;
};

class AudioChannels : public ::testing::Test {
protected:
    void SetUp() override {
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::set_audio_backend([this](const std::string& source, std::function<void()> stopped) {
            started s;
            s.source = source;
            std::ifstream in(source, std::ios::binary);
            s.content.assign(std::istreambuf_iterator<char>(in), {});
            s.stopped = std::move(stopped);
            auto p = std::make_unique<fake_playback>(s.alive);
            log.push_back(s);
            return p;
        });
        lv::audio_load();
    }
    void TearDown() override {
        lv::audio_unload();
        lv::set_audio_backend(nullptr);
        lv::hooks().yield_events = nullptr;
    }
    std::vector<started> log;
};

TEST_F(AudioChannels, LateEndReportOfAReplacedFileDoesNotEndTheNewOne) {
    lv::play_sound_file("/x/first.wav");
    lv::play_sound_file("/x/second.wav");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_FALSE(*log[0].alive);          // the first player was stopped and freed
    log[0].stopped();                     // ... and reports its end late
    EXPECT_TRUE(lv::sound_busy());
    log[1].stopped();
    EXPECT_FALSE(lv::sound_busy());
    log[1].stopped();                     // a repeated report is harmless
    EXPECT_FALSE(lv::sound_busy());
}

TEST_F(AudioChannels, EndReportAfterStopDoesNotTouchTheNextFile) {
    lv::play_music_file("/x/a.mid");
    lv::stop_music();
    lv::play_music_file("/x/b.mid");
    log[0].stopped();
    EXPECT_TRUE(lv::music_busy());
}

TEST_F(AudioChannels, Mp3EndingInAnyCaseGoesToTheMediaPlayer) {
    lv::play_sound_file("/x/song.Mp3");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(lv::sound_mp3_playing());
    EXPECT_TRUE(lv::sound_busy());
    log[0].stopped();
    EXPECT_FALSE(lv::sound_mp3_playing());
    EXPECT_FALSE(lv::sound_busy());
}

TEST_F(AudioChannels, AFileFailingDuringItsStartLeavesTheChannelIdle) {
    lv::set_audio_backend([](const std::string&, std::function<void()> stopped) {
        stopped();   // fails before the start returns
        return std::make_unique<fake_playback>(std::make_shared<bool>(true));
    });
    lv::play_sound_file("/x/a.wav");
    EXPECT_FALSE(lv::sound_busy());
    lv::play_sound_file("/x/a.mp3");
    EXPECT_FALSE(lv::sound_busy());
}

TEST_F(AudioChannels, RiffMidiIsUnwrappedAndTheDeviceTypeCarriesOver) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    const std::string midi = midi_bytes(0.5);
    write_file(base + "a.rmi", rmi_bytes(midi));
    write_file(base + "b.xyz", rmi_bytes(midi));
    write_file(base + "c.wav", "RIFF....WAVE");

    lv::play_sound_file(base + "a.rmi");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].source, base + "a.rmi");
    EXPECT_EQ(log[0].content, midi);

    // An unknown ending keeps the MIDI device of the file before.
    lv::play_sound_file(base + "b.xyz");
    EXPECT_EQ(log.back().content, midi);

    lv::play_sound_file(base + "c.wav");
    EXPECT_EQ(log.back().source, base + "c.wav");
    // Still "WaveAudio": a RIFF MIDI file under another name plays as it is.
    lv::play_sound_file(base + "b.xyz");
    EXPECT_EQ(log.back().source, base + "b.xyz");
}

TEST_F(AudioChannels, ChannelsUsedBeforeLoadingLoadThemselves) {
    lv::audio_unload();
    ASSERT_FALSE(lv::audio_loaded());
    EXPECT_FALSE(lv::sound_busy());
    lv::play_sound_file("/x/a.wav");
    EXPECT_TRUE(lv::audio_loaded());
    EXPECT_TRUE(lv::sound_busy());
    lv::audio_unload();
    lv::stop_music();
    EXPECT_TRUE(lv::audio_loaded());
}

TEST_F(AudioChannels, LoadTwiceUnloadTwice) {
    lv::play_sound_file("/x/a.wav");
    lv::play_music_file("/x/b.mp3");
    lv::audio_load();                      // already loaded: nothing changes
    EXPECT_TRUE(lv::sound_busy());
    EXPECT_TRUE(lv::music_busy());
    lv::audio_unload();
    EXPECT_FALSE(lv::sound_busy());
    EXPECT_FALSE(lv::music_busy());
    for (const started& s : log) EXPECT_FALSE(*s.alive);
    lv::audio_unload();
    EXPECT_FALSE(lv::audio_loaded());
}

TEST_F(AudioChannels, EditorControlReportsItsOwnEnd) {
    lv::audio_control c;
    int ends = 0;
    c.on_stopped = [&] { ++ends; };
    c.device_type = "WaveAudio";
    c.open_and_play("/x/a.wav");
    c.open_and_play("/x/b.wav");
    log[0].stopped();
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(c.playing());
    log[1].stopped();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(c.playing());
    c.open_and_play("/x/c.wav");
    c.stop_and_close();
    log[2].stopped();
    EXPECT_EQ(ends, 1);
}

TEST_F(AudioChannels, CdTrackGivesUpWithoutADisc) {
    lv::audio_control c;
    QTemporaryDir dir;
    const std::string not_a_drive = dir.path().toStdString() + "/plain-file";
    write_file(not_a_drive, "not a cd drive");
    const std::string saved = lv::settings().cda_devicename;
    // Giving up never waits for a drive that is not there.
    lv::test::hang_guard guard("looking for a disc", hang_ms);
    for (const std::string& device : {std::string("/nonexistent/cdrom"), not_a_drive}) {
        lv::settings().cda_devicename = device;
        EXPECT_EQ(lv::play_cd_track(c, 3), 1) << device;
        EXPECT_FALSE(c.playing());
    }
    lv::settings().cda_devicename = saved;
    EXPECT_TRUE(log.empty());
}

}  // namespace
