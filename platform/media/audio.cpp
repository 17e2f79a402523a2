#include "platform/media/audio.h"

#include "core/hooks.h"
#include "core/text_file.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPointer>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace lv {

namespace {

// ---------------------------------------------------------------------------
// Media files

// The first bytes of `path`, read only when it is a regular file: a FIFO or a
// device named like a sound would block the open (or never end), so the file
// is opened without blocking and checked before anything is read.
bool regular_file_head(const std::string& path, std::size_t count, std::string& head) {
    head.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && count > 0) {
        head.resize(count);
        const ssize_t got = ::read(fd, head.data(), count);
        head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(fd);
    return ok;
}

// ---------------------------------------------------------------------------
// No sound device

// GStreamer's own library, already loaded by Qt Multimedia, or nullptr.
void* gstreamer_library() {
    static void* const lib = ::dlopen("libgstreamer-1.0.so.0", RTLD_NOW | RTLD_NOLOAD);
    return lib;
}

template <typename F>
F gst_function(const char* name) {
    void* lib = gstreamer_library();
    return lib ? reinterpret_cast<F>(::dlsym(lib, name)) : nullptr;
}

// With no sound device, the automatic audio sink tries every sound system in
// turn (PulseAudio, ALSA, OpenAL, JACK, OSS) for each file that starts, and
// each one prints its failure on the terminal before the sink falls back to
// a silent one. The channels still need a sink that takes the sound in real
// time, so that a file keeps its channel busy for as long as it lasts (a
// player without any audio output fails at once). So the silent sink is
// ranked first and the sound systems are not tried at all.
void prefer_silent_audio_sink() {
    struct glist {
        void* data;
        glist* next;
        glist* prev;
    };
    using is_initialized_fn = int (*)();
    using registry_get_fn = void* (*)();
    using lookup_fn = void* (*)(void*, const char*);
    using feature_list_fn = glist* (*)(void*, unsigned long);
    using factory_type_fn = unsigned long (*)();
    using metadata_fn = const char* (*)(void*, const char*);
    using set_rank_fn = void (*)(void*, unsigned);
    using list_free_fn = void (*)(glist*);
    using unref_fn = void (*)(void*);
    const auto is_initialized = gst_function<is_initialized_fn>("gst_is_initialized");
    const auto registry_get = gst_function<registry_get_fn>("gst_registry_get");
    const auto lookup = gst_function<lookup_fn>("gst_registry_lookup_feature");
    const auto feature_list = gst_function<feature_list_fn>("gst_registry_get_feature_list");
    const auto factory_type = gst_function<factory_type_fn>("gst_element_factory_get_type");
    const auto metadata = gst_function<metadata_fn>("gst_element_factory_get_metadata");
    const auto set_rank = gst_function<set_rank_fn>("gst_plugin_feature_set_rank");
    const auto list_free = gst_function<list_free_fn>("gst_plugin_feature_list_free");
    const auto unref = gst_function<unref_fn>("gst_object_unref");
    if (!is_initialized || !registry_get || !lookup || !feature_list || !factory_type || !metadata ||
        !set_rank || !list_free || !unref || !is_initialized())
        return;
    void* registry = registry_get();
    void* silent = lookup(registry, "fakeaudiosink");
    if (!silent) return;   // without it the automatic sink's own fallback stays
    constexpr unsigned rank_none = 0, rank_primary = 256;
    glist* all = feature_list(registry, factory_type());
    for (glist* it = all; it; it = it->next) {
        if (it->data == silent) continue;
        const char* klass = metadata(it->data, "klass");
        const std::string k = klass ? klass : "";
        if (k.find("Sink") != std::string::npos && k.find("Audio") != std::string::npos)
            set_rank(it->data, rank_none);
    }
    list_free(all);
    set_rank(silent, rank_primary);
    unref(silent);
}

// Whether the system lists a sound device; asked once, when the first player
// exists (Qt Multimedia, and with it GStreamer, is set up by then).
bool sound_device_present() {
    static const bool present = [] {
        const bool any = !QMediaDevices::audioOutputs().isEmpty();
        if (!any) prefer_silent_audio_sink();
        return any;
    }();
    return present;
}

// ---------------------------------------------------------------------------
// The MIDI soundfont

// GStreamer's MIDI decoder (the fluidsynth element) loads the General MIDI
// soundfont, about 150 MB, for every MIDI file it opens and frees it when the
// file closes, so a show with a MIDI sound on every picture read it again and
// again and held several copies at once. FluidSynth shares the samples of a
// soundfont that is already loaded under the same file name, so one idle
// synthesizer of our own keeps it loaded for the rest of the program and
// every decoder after it starts from memory.
//
// The decoder takes the first file FluidSynth accepts in sounds/sf3,
// sounds/sf2 and soundfonts under each system data folder; the same search,
// spelling the names the same way, finds the same file.
std::vector<std::string> soundfont_candidates() {
    std::vector<std::string> dirs;
    const char* env = std::getenv("XDG_DATA_DIRS");
    std::string list = env && *env ? env : "/usr/local/share/:/usr/share/";
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t colon = std::min(list.find(':', at), list.size());
        std::string d = list.substr(at, colon - at);
        while (d.size() > 1 && d.back() == '/') d.pop_back();
        if (!d.empty()) dirs.push_back(d == "/" ? std::string() : d);
        at = colon + 1;
    }
    std::vector<std::string> out;
    for (const std::string& d : dirs) {
        for (const char* sub : {"/sounds/sf3/", "/sounds/sf2/", "/soundfonts/"}) {
            const std::string folder = d + sub;
            DIR* dir = ::opendir(folder.c_str());
            if (!dir) continue;
            while (const dirent* e = ::readdir(dir)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") out.push_back(folder + name);
            }
            ::closedir(dir);
        }
    }
    return out;
}

std::atomic<bool>& soundfont_settled() {
    static std::atomic<bool> done{false};
    return done;
}

void load_resident_soundfont() {
    struct mark_settled {
        ~mark_settled() { soundfont_settled() = true; }
    } settled;
    void* lib = ::dlopen("libfluidsynth.so.3", RTLD_NOW);
    if (!lib) return;
    using new_settings_fn = void* (*)();
    using setint_fn = int (*)(void*, const char*, int);
    using new_synth_fn = void* (*)(void*);
    using sfload_fn = int (*)(void*, const char*, int);
    const auto new_settings = reinterpret_cast<new_settings_fn>(::dlsym(lib, "new_fluid_settings"));
    const auto setint = reinterpret_cast<setint_fn>(::dlsym(lib, "fluid_settings_setint"));
    const auto new_synth = reinterpret_cast<new_synth_fn>(::dlsym(lib, "new_fluid_synth"));
    const auto sfload = reinterpret_cast<sfload_fn>(::dlsym(lib, "fluid_synth_sfload"));
    if (!new_settings || !setint || !new_synth || !sfload) return;
    void* settings = new_settings();
    if (!settings) return;
    setint(settings, "synth.lock-memory", 0);   // no warning where pinning memory is not allowed
    setint(settings, "synth.polyphony", 1);     // it never plays a note
    void* synth = new_synth(settings);
    if (!synth) return;
    // The synthesizer and its soundfont stay for the life of the program.
    for (const std::string& path : soundfont_candidates()) {
        std::string head;
        if (!regular_file_head(path, 0, head)) continue;
        if (sfload(synth, path.c_str(), 0) != -1) return;
    }
}

// Loads the soundfont once, on a thread of its own so that the first MIDI
// sound does not hold up the window. True once it is loaded (or could not
// be): MIDI files start only then, or their decoders would each load a copy
// of their own alongside it.
bool soundfont_ready() {
    static std::once_flag once;
    std::call_once(once, [] { std::thread(load_resident_soundfont).detach(); });
    return soundfont_settled();
}

// ---------------------------------------------------------------------------
// Players that are let go

// Changing the state of a GStreamer pipeline (stop, new source, delete, and
// play too) while its file is still starting can deadlock the window's thread
// against the decoder's: the window's thread waits for the decoder's lock,
// while the decoder's thread, inside Qt Multimedia's handler for the new
// stream, waits for the pipeline. So a player is asked to play only once its
// start is over, and a player let go while its file is still starting is
// parked, never played, until it reports that its start is over (or, as a
// last resort, for some seconds), and only then deleted.
constexpr int parking_limit_ms = 30000;

std::atomic<int>& players_alive() {
    static std::atomic<int> n{0};
    return n;
}

std::set<QMediaPlayer*>& parked() {
    static auto* s = new std::set<QMediaPlayer*>;
    return *s;
}

QObject& parking_lot() {
    static auto* o = new QObject;
    return *o;
}

bool start_is_over(const QMediaPlayer& p) {
    return p.mediaStatus() != QMediaPlayer::LoadingMedia || p.error() != QMediaPlayer::NoError;
}

bool event_loop_usable() { return QCoreApplication::instance() && !QCoreApplication::closingDown(); }

// Players stopped and waiting to be deleted.
std::set<QMediaPlayer*>& doomed() {
    static auto* s = new std::set<QMediaPlayer*>;
    return *s;
}

void delete_doomed(QMediaPlayer* p) {
    if (!doomed().erase(p)) return;
    delete p;
    // A finished pipeline leaves much freed memory in the allocator's
    // per-thread pools (every decoder runs on threads of its own, and a MIDI
    // decoder holds megabytes); hand it back to the system now and then.
    static QElapsedTimer since_trim;
    if (!since_trim.isValid() || since_trim.elapsed() > 2000) {
        ::malloc_trim(0);
        since_trim.restart();
    }
}

void shut_down(QMediaPlayer* p) {
    QObject::disconnect(p, nullptr, &parking_lot(), nullptr);
    // Deleting the player takes its pipeline straight down and frees the
    // device and the decoder. Neither stop() nor a new source first: both
    // pause a playing pipeline and wait for it to settle, which can hold the
    // window for a second.
    if (!event_loop_usable()) {
        delete p;
        return;
    }
    // The player may be the sender of the signal that is running right now.
    // (Not deleteLater: that waits for the outermost event loop, which a
    // window that only yields never returns to.)
    doomed().insert(p);
    QMetaObject::invokeMethod(&parking_lot(), [p] { delete_doomed(p); }, Qt::QueuedConnection);
}

void unpark(QMediaPlayer* p) {
    if (parked().erase(p)) shut_down(p);
}

QMediaPlayer* new_player() {
    auto* p = new QMediaPlayer;
    ++players_alive();
    // Counted by a child: the player cuts its own connections, destroyed()
    // included, when it is deleted.
    auto* marker = new QObject(p);
    QObject::connect(marker, &QObject::destroyed, [] { --players_alive(); });
    return p;
}

void release_player(QMediaPlayer* p) {
    if (!p) return;
    if (start_is_over(*p) || !event_loop_usable()) {
        shut_down(p);
        return;
    }
    parked().insert(p);
    // Shut down from the event loop, never inside the player's own report.
    // (A pointer that may be stale by then is never used.)
    const QPointer<QMediaPlayer> guard(p);
    auto later = [guard] {
        QMetaObject::invokeMethod(&parking_lot(), [guard] { if (guard) unpark(guard); }, Qt::QueuedConnection);
    };
    QObject::connect(p, &QMediaPlayer::mediaStatusChanged, &parking_lot(), [p, later](QMediaPlayer::MediaStatus) {
        if (start_is_over(*p)) later();
    });
    QObject::connect(p, &QMediaPlayer::errorOccurred, &parking_lot(), [later](QMediaPlayer::Error, const QString&) {
        later();
    });
    QTimer::singleShot(parking_limit_ms, &parking_lot(), [guard] { if (guard) unpark(guard); });
}

// Lets the parked players finish their start, for at most `ms`; those that
// do are shut down. Only the program's end comes after this (audio_unload,
// then the exit routine), so a player still starting is left alone rather
// than deleted: its shutdown can wait for the decoder's start, seconds or for
// ever (a sound file of gigabytes), and the process would linger. Should the
// program go on, its own report or the parking limit still shuts it down.
void release_parked_players(int ms) {
    if (event_loop_usable()) {
        QElapsedTimer t;
        t.start();
        while (!parked().empty() && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
            QThread::msleep(2);
        }
        return;
    }
    // The application is going: no report can come any more.
    for (auto it = parked().begin(); it != parked().end();) {
        QMediaPlayer* p = *it;
        if (!start_is_over(*p)) {
            ++it;
            continue;
        }
        it = parked().erase(it);
        shut_down(p);
    }
    while (!doomed().empty()) delete_doomed(*doomed().begin());
}

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
            // Nothing to open, or not a file that can be opened safely: the
            // player never starts.
            std::string head;
            if (!regular_file_head(source, 4, head)) {
                report();
                return;
            }
            url = QUrl::fromLocalFile(QFileInfo(QString::fromStdString(source)).absoluteFilePath());
            if (head == "MThd" && !soundfont_ready()) {
                auto* wait = new QTimer(&context_);
                wait->setInterval(20);
                QObject::connect(wait, &QTimer::timeout, &context_, [this, wait, url] {
                    if (!soundfont_ready()) return;
                    wait->stop();
                    start(url);
                });
                wait->start();
                return;
            }
        }
        start(url);
    }

    ~qt_playback() override {
        if (!player_) return;
        QObject::disconnect(player_, nullptr, &context_, nullptr);
        release_player(player_);
    }

private:
    void start(const QUrl& url) {
        player_ = new_player();
        sound_device_present();   // before the first output exists
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
                             else if (!asked_to_play_ && start_is_over(*player_))
                                 QMetaObject::invokeMethod(&context_, [this] { play(); }, Qt::QueuedConnection);
                         });
        // A player that fails has stopped playing.
        QObject::connect(player_, &QMediaPlayer::errorOccurred, &context_,
                         [this](QMediaPlayer::Error, const QString&) { report(); });
        // Play only once the start is over: play() changes the pipeline's
        // state too, and asked while the decoder's thread is still linking
        // the new stream it deadlocks against it just as a stop would.
        set_media_source(*player_, url);
        if (start_is_over(*player_)) play();
    }

    void play() {
        if (asked_to_play_ || reported_) return;
        asked_to_play_ = true;
        player_->play();
    }

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
    bool asked_to_play_ = false;
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

// Larger than any RIFF MIDI file: such a file is played as it is.
constexpr std::size_t riff_midi_limit = 16u << 20;

// The standard MIDI data inside a RIFF MIDI file ("RIFF" ... "RMID", chunk
// "data"); nothing when the file is not one. The decoders only read plain
// MIDI files, and RIFF files often carry an INFO list before the data.
std::optional<std::string> riff_midi_data(const std::string& path) {
    std::string head;
    if (!regular_file_head(path, 12, head) || head.size() < 12) return std::nullopt;
    if (head.compare(0, 4, "RIFF") != 0 || head.compare(8, 4, "RMID") != 0) return std::nullopt;
    std::string file;
    if (!read_file_bytes(path, file, riff_midi_limit) || file.size() < 12) return std::nullopt;
    const std::string bytes = file.substr(12);
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

int audio_players_alive() { return players_alive().load(); }

void release_media_player(QMediaPlayer* player) { release_player(player); }

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
    release_parked_players(0);
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
    // Players still starting get a moment to finish while the event loop
    // can still tell when their start is over.
    release_parked_players(500);
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
