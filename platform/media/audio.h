#pragma once
// The two audio channels: "sound" (one image's sound, picker previews) and
// "music" (a show's background music). WAV, MID, RMI and MP3.
//
// Each channel has two players: one for WAV, MID and RMI, whose busy flag is
// set as soon as play is asked for and cleared by the end-of-play report, a
// stop or the next play; and one for MP3, which counts as busy while it plays.
// Playback goes through Qt Multimedia (GStreamer; MIDI through fluidsynth) and
// every call returns at once. A file that cannot be opened or played ends at
// once: its channel reports not busy; so does anything that is not a regular
// file (a FIFO or a device is never opened). Without a sound device the
// channels play silently, in real time.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QMediaPlayer;
class QUrl;

namespace lv {

void audio_load();
void audio_unload();
bool audio_loaded();

void play_sound_file(const std::string& file);
void play_music_file(const std::string& file);
void stop_sound();
void stop_music();
void stop_all_audio();
bool sound_busy();
bool music_busy();

// The MP3 player of each channel.
void play_sound_mp3(const std::string& file);
void play_music_mp3(const std::string& file);
bool sound_mp3_playing();
bool music_mp3_playing();
void stop_sound_mp3();
void stop_music_mp3();

// One player: plays one file at a time and tells when it has stopped by itself.
// The channels are built on these; the custom editor keeps one of its own for
// its audio preview.
class audio_control {
public:
    audio_control();
    ~audio_control();
    audio_control(const audio_control&) = delete;
    audio_control& operator=(const audio_control&) = delete;

    // "WaveAudio", "Sequencer" (MID and RMI), "MPEGVideo" (MP3) or a CD device.
    // Decoding follows the file's content; "Sequencer" also unwraps RIFF MIDI.
    std::string device_type;

    // "Open" + "Play": starts `file` (an earlier one is stopped first) and
    // returns at once; playing() is true from here until the file has ended,
    // has failed or is stopped.
    void open_and_play(const std::string& file);
    // "Stop" + "Close": ends playback and frees the device.
    void stop_and_close();
    bool playing() const { return playing_; }
    // Raised once after the file ended or failed (never after stop_and_close
    // or for a file that another one has replaced).
    std::function<void()> on_stopped;

private:
    void report_stopped(std::uint64_t generation);

    struct session;
    std::unique_ptr<session> session_;
    std::uint64_t generation_ = 0;
    bool playing_ = false;
};

// The custom editor's audio-CD entry: plays track `track` of the disc on
// `control`. 0 when the track was reached and plays; 1 when it gave up (no
// drive, no disc, or the disc has fewer tracks).
int play_cd_track(audio_control& control, int track);

// --- the playback backend, replaceable by tests ---

// One started file; destroying it stops playback and frees the device.
class audio_playback {
public:
    virtual ~audio_playback() = default;
};
// Starts `source` (a file path, or a "cdda://" address) and returns at once;
// calls `stopped` on the user-interface thread when playback has ended or
// failed (possibly before returning). Reports that come after the playback was
// replaced are ignored by the caller.
using audio_backend = std::function<std::unique_ptr<audio_playback>(
    const std::string& source, std::function<void()> stopped)>;
// nullptr restores the Qt Multimedia backend.
void set_audio_backend(audio_backend backend);
// Media players of the Qt Multimedia backend that exist right now, those
// still being shut down included (for tests and diagnostics).
int audio_players_alive();

// Deletes a media player that is no longer wanted, the safe way: changing the
// state of a pipeline whose file is still starting can deadlock the window's
// thread, so such a player is kept, unplayed, until its start is over. It
// goes without a pause first, which can hold the window for a moment.
void release_media_player(QMediaPlayer* player);

// Gives a new media player its file. While the window's thread is inside,
// decoder threads wait before they link a new stream to the pipeline: the
// player flushes its pipeline as it starts, and a flush that meets a stream
// being linked deadlocks the window's thread against the decoder's. Every
// source of a media player goes through this.
void set_media_source(QMediaPlayer& player, const QUrl& url);

}  // namespace lv
