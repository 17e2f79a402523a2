#include "platform/audio.h"

#include "core/hooks.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QPointer>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <optional>

namespace lv {

namespace {

// ---------------------------------------------------------------------------
// Qt Multimedia backend

class qt_playback final : public audio_playback {
public:
    qt_playback(const std::string& source, std::function<void()> stopped)
        : stopped_(std::move(stopped)) {
        QUrl url;
        if (source.rfind("cdda://", 0) == 0) {
            url = QUrl(QString::fromStdString(source));
        } else {
            const QFileInfo info(QString::fromStdString(source));
            if (!info.isFile()) {   // nothing to open: the player never starts
                report();
                return;
            }
            url = QUrl::fromLocalFile(info.absoluteFilePath());
        }
        player_ = new QMediaPlayer;
        auto* output = new QAudioOutput(player_);
        player_->setAudioOutput(output);
        if (!player_->isAvailable()) {
            report();
            return;
        }
        // The context object drops these connections when the playback is
        // destroyed, so a replaced file can never report.
        QObject::connect(player_, &QMediaPlayer::playbackStateChanged, &context_,
                         [this](QMediaPlayer::PlaybackState s) {
                             if (s == QMediaPlayer::StoppedState) report();
                         });
        QObject::connect(player_, &QMediaPlayer::mediaStatusChanged, &context_,
                         [this](QMediaPlayer::MediaStatus s) {
                             if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia)
                                 report();
                         });
        // A player that fails has stopped playing.
        QObject::connect(player_, &QMediaPlayer::errorOccurred, &context_,
                         [this](QMediaPlayer::Error, const QString&) { report(); });
        player_->setSource(url);
        player_->play();
    }

    ~qt_playback() override {
        if (!player_) return;
        QObject::disconnect(player_, nullptr, &context_, nullptr);
        player_->stop();
        player_->setSource(QUrl());   // frees the device and the decoder now
        // The player may be the sender of the signal that is running right now.
        if (QCoreApplication::instance() && !QCoreApplication::closingDown())
            player_->deleteLater();
        else
            delete player_;
    }

private:
    void report() {
        if (reported_) return;
        reported_ = true;
        // The callback may replace this playback; touch nothing afterwards.
        auto cb = stopped_;
        if (cb) cb();
    }

    std::function<void()> stopped_;
    QMediaPlayer* player_ = nullptr;
    QObject context_;
    bool reported_ = false;
};

// Without an application object there is no event loop to play in: every
// file ends at once.
class dead_playback final : public audio_playback {};

std::unique_ptr<audio_playback> start_default(const std::string& source,
                                              std::function<void()> stopped) {
    if (!QCoreApplication::instance()) {
        if (stopped) stopped();
        return std::make_unique<dead_playback>();
    }
    return std::make_unique<qt_playback>(source, std::move(stopped));
}

audio_backend& backend_slot() {
    static audio_backend b;
    return b;
}

std::unique_ptr<audio_playback> start_playback(const std::string& source,
                                               std::function<void()> stopped) {
    if (backend_slot()) return backend_slot()(source, std::move(stopped));
    return start_default(source, std::move(stopped));
}

// ---------------------------------------------------------------------------
// RIFF MIDI

bool iequals(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

std::uint32_t le32(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

// The standard MIDI data inside a RIFF MIDI file ("RIFF" ... "RMID", chunk
// "data"); nothing when the file is not one. The decoders only read plain
// MIDI files, and RIFF files often carry an INFO list before the data.
std::optional<std::string> riff_midi_data(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    char head[12];
    if (!in.read(head, sizeof head)) return std::nullopt;
    if (std::string(head, 4) != "RIFF" || std::string(head + 8, 4) != "RMID") return std::nullopt;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t pos = 0;
    while (pos + 8 <= bytes.size()) {
        const std::string id = bytes.substr(pos, 4);
        const std::uint64_t len = le32(bytes, pos + 4);
        const std::size_t body = pos + 8;
        if (id == "data") return bytes.substr(body, static_cast<std::size_t>(
                                                        std::min<std::uint64_t>(len, bytes.size() - body)));
        pos = static_cast<std::size_t>(std::min<std::uint64_t>(body + len + (len & 1), bytes.size()));
    }
    return std::nullopt;
}

}  // namespace

void set_audio_backend(audio_backend backend) { backend_slot() = std::move(backend); }

// ---------------------------------------------------------------------------
// audio_control

struct audio_control::session {
    std::unique_ptr<QTemporaryFile> unwrapped;   // the MIDI data of a RIFF MIDI file
    std::unique_ptr<audio_playback> playback;
    QObject context;                             // for the deferred release
};

audio_control::audio_control() = default;

audio_control::~audio_control() {
    ++generation_;
    session_.reset();
}

void audio_control::open_and_play(const std::string& file) {
    stop_and_close();
    const std::uint64_t generation = ++generation_;
    playing_ = true;
    session_ = std::make_unique<session>();

    std::string source = file;
    if (iequals(device_type, "Sequencer")) {
        if (auto data = riff_midi_data(file)) {
            auto tmp = std::make_unique<QTemporaryFile>(
                QDir::tempPath() + QStringLiteral("/lumivane-XXXXXX.mid"));
            if (tmp->open() &&
                tmp->write(data->data(), static_cast<qint64>(data->size())) ==
                    static_cast<qint64>(data->size())) {
                tmp->close();
                source = tmp->fileName().toStdString();
                session_->unwrapped = std::move(tmp);
            }
        }
    }
    auto playback = start_playback(source, [this, generation] { report_stopped(generation); });
    // A report during the start may already have released the session.
    if (generation == generation_ && session_) session_->playback = std::move(playback);
}

void audio_control::stop_and_close() {
    ++generation_;
    playing_ = false;
    session_.reset();
}

void audio_control::report_stopped(std::uint64_t generation) {
    // A late report of a file that was stopped or replaced changes nothing.
    if (generation != generation_ || !playing_) return;
    playing_ = false;
    // Release the finished player once this report has unwound (it is running
    // inside that player's own signal).
    if (QCoreApplication::instance() && session_) {
        QMetaObject::invokeMethod(
            &session_->context,
            [this, generation] {
                if (generation == generation_ && !playing_) session_.reset();
            },
            Qt::QueuedConnection);
    }
    if (on_stopped) on_stopped();
}

// ---------------------------------------------------------------------------
// The two channels

namespace {

struct audio_channel {
    audio_control mc;                    // WAV, MID, RMI
    audio_control mp;                    // MP3
    std::int32_t busy = 0;               // 1 from play until the end of an mc file

    audio_channel() {
        mc.on_stopped = [this] { busy = 0; };
    }
};

struct audio_state {
    audio_channel sound, music;
    std::int32_t audio_form_loaded = 0;
};

audio_state& audio() {
    // Never destroyed: its players must go before the application object,
    // which audio_unload (also run as a post routine) sees to.
    static auto* s = new audio_state;
    return *s;
}

void ensure_loaded() {
    if (!audio().audio_form_loaded) audio_load();
}

std::string upper_ending(const std::string& file) {
    std::string e = file.size() >= 3 ? file.substr(file.size() - 3) : file;
    for (char& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return e;
}

void play_mp3(audio_channel& ch, const std::string& file) {
    ensure_loaded();
    ch.mp.device_type = "MPEGVideo";
    ch.mp.open_and_play(file);
}

void stop_mp3(audio_channel& ch) {
    ensure_loaded();
    ch.mp.stop_and_close();
    yield_events();
}

void play_file(audio_channel& ch, const std::string& file) {
    if (file.empty()) return;
    ensure_loaded();
    const std::string ending = upper_ending(file);
    ch.busy = 0;
    stop_mp3(ch);
    ch.mc.stop_and_close();
    yield_events();
    yield_events();
    // The yields may have run a handler that unloaded the channels.
    if (!audio().audio_form_loaded) return;
    if (ending == "MP3") {
        play_mp3(ch, file);
        return;
    }
    if (ending == "WAV") ch.mc.device_type = "WaveAudio";
    else if (ending == "MID" || ending == "RMI") ch.mc.device_type = "Sequencer";
    // Set before the start: a file that fails at once reports during it.
    ch.busy = 1;
    ch.mc.open_and_play(file);
}

void stop_channel(audio_channel& ch) {
    ensure_loaded();
    stop_mp3(ch);
    ch.mc.stop_and_close();
    yield_events();
    yield_events();
    ch.busy = 0;
}

bool channel_busy(const audio_channel& ch) { return ch.mp.playing() || ch.busy == 1; }

// Run while the application object goes away: no yielding any more, just
// free every player while Qt Multimedia still stands.
void release_players() {
    audio_state& st = audio();
    for (audio_channel* ch : {&st.sound, &st.music}) {
        ch->mp.stop_and_close();
        ch->mc.stop_and_close();
        ch->busy = 0;
    }
    st.audio_form_loaded = 0;
}

}  // namespace

void audio_load() {
    audio_state& st = audio();
    if (st.audio_form_loaded) return;
    // MIDI needs GStreamer's decoders; pick that backend unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "gstreamer");
    static bool post_routine = false;
    if (!post_routine && QCoreApplication::instance()) {
        qAddPostRoutine(release_players);
        post_routine = true;
    }
    st.sound.busy = 0;
    st.music.busy = 0;
    st.audio_form_loaded = 1;
}

void audio_unload() {
    audio_state& st = audio();
    if (st.audio_form_loaded != 1) return;
    stop_all_audio();
    st.audio_form_loaded = 0;
}

bool audio_loaded() { return audio().audio_form_loaded == 1; }

void play_sound_file(const std::string& file) { play_file(audio().sound, file); }
void play_music_file(const std::string& file) { play_file(audio().music, file); }
void stop_sound() { stop_channel(audio().sound); }
void stop_music() { stop_channel(audio().music); }

void stop_all_audio() {
    stop_sound();
    stop_music();
}

bool sound_busy() { return channel_busy(audio().sound); }
bool music_busy() { return channel_busy(audio().music); }

void play_sound_mp3(const std::string& file) { play_mp3(audio().sound, file); }
void play_music_mp3(const std::string& file) { play_mp3(audio().music, file); }
bool sound_mp3_playing() { return audio().sound.mp.playing(); }
bool music_mp3_playing() { return audio().music.mp.playing(); }
void stop_sound_mp3() { stop_mp3(audio().sound); }
void stop_music_mp3() { stop_mp3(audio().music); }

}  // namespace lv
