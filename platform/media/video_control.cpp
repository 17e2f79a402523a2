// The video control: Qt Multimedia decodes, the control paints the frames
// itself, so that border, stacking and transitions work as on pictures.
#include "platform/media/video_control.h"

#include "platform/media/audio.h"
#include "platform/picture/picture_decode.h"
#include "platform/media/video_probe.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <functional>

namespace lv {

namespace {

// Open results.
constexpr int open_missing = -1, open_undecodable = -2;

// Each step of opening ends on news from the decoder (loaded, a picture, an
// error); one that has none for this long hangs, and its file counts as
// broken.
constexpr int open_hang_ms = 5000;
// A playing video that shows no progress for this long counts as ended.
constexpr int stall_ms = 5000;

qint64 now_ms() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// Lets the event loop run (without user input) until done() or the deadline.
bool wait_until(const std::function<bool()>& done, const QDeadlineTimer& deadline) {
    while (!done()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) return false;
        QEventLoop loop;
        QTimer::singleShot(int(std::min<qint64>(left, 10)), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return true;
}

}  // namespace

struct VideoControl::impl {
    // Made when a file is loaded (make_player), not with the control: every
    // player window and picker holds a video control, and most shows never
    // open a video. The sink and the audio output are the player's children.
    // A new load gets a new player and the old one is given back through
    // release_media_player: a player that is given a new source or stopped
    // pauses first and holds the window for a moment, and one whose file is
    // still starting must not be touched at all.
    QMediaPlayer* player = nullptr;
    QVideoSink* sink = nullptr;
    QAudioOutput* audio = nullptr;

    QVideoFrame frame;
    QImage frame_image;   // frame converted, made when painted
    QImage first_frame;   // shown until playback delivers frames
    QUrl url;
    QSize natural;
    bool open = false;
    // Loaded and never paused or played since: the backend plays a stream
    // that starts at a late time stamp to its end only from this state, so
    // a replay loads the file again.
    bool fresh = false;
    bool playing = false;
    bool probing = false;
    bool failed = false;   // the backend reported an error for this file
    bool muted = false;
    bool standard_palette = false;
    int initial_setting = 0;
    int media_mode = 0;
    bool avi = false;
    QString device_type;
    qint64 last_progress_ms = 0;
    qint64 last_position = -1;
    QTimer watchdog;
};

VideoControl::VideoControl(QWidget* parent) : EffectControl(parent), d_(std::make_unique<impl>()) {
    d_->watchdog.setInterval(1000);
    connect(&d_->watchdog, &QTimer::timeout, this, [this] {
        if (d_->playing && now_ms() - d_->last_progress_ms > stall_ms) {
            d_->playing = false;
            if (d_->player) d_->player->pause();
        }
    });
}

void VideoControl::make_player() {
    if (d_->player) return;
    d_->player = new QMediaPlayer;
    d_->sink = new QVideoSink(d_->player);
    d_->player->setVideoSink(d_->sink);
    // Without an audio device (a headless session) video plays silent.
    static const bool sound_device = !QMediaDevices::audioOutputs().isEmpty();
    if (sound_device) {
        d_->audio = new QAudioOutput(d_->player);
        d_->audio->setMuted(d_->muted);
        d_->player->setAudioOutput(d_->audio);
    }
    connect(d_->sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& f) {
        if (!f.isValid() || !d_->player || !d_->player->source().isValid()) return;
        if (!video_frame_fits(f.size())) {
            // Larger than the file's start promised: stopped, never converted.
            d_->failed = true;
            d_->playing = false;
            d_->player->pause();
            return;
        }
        d_->frame = f;
        d_->frame_image = QImage();
        d_->last_progress_ms = now_ms();
        face_changed();
    });
    connect(d_->player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia) d_->playing = false;
    });
    connect(d_->player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error e, const QString&) {
        if (e == QMediaPlayer::NoError) return;
        d_->failed = true;
        d_->playing = false;
    });
    connect(d_->player, &QMediaPlayer::positionChanged, this, [this](qint64 pos) {
        if (pos != d_->last_position) {
            d_->last_position = pos;
            d_->last_progress_ms = now_ms();
        }
    });
}

void VideoControl::drop_player() {
    if (!d_->player) return;
    QObject::disconnect(d_->player, nullptr, this, nullptr);
    QObject::disconnect(d_->sink, nullptr, this, nullptr);
    QMediaPlayer* p = d_->player;
    d_->player = nullptr;
    d_->sink = nullptr;
    d_->audio = nullptr;
    release_media_player(p);
}

VideoControl::~VideoControl() {
    d_->watchdog.stop();
    drop_player();
}

void VideoControl::set_initial_setting(int v) { d_->initial_setting = v; }
void VideoControl::set_device_type(const QString& t) { d_->device_type = t; }
void VideoControl::set_avi(bool on) { d_->avi = on; }
void VideoControl::set_media_mode(int m) { d_->media_mode = m; }

bool VideoControl::load_fresh() {
    QPointer<VideoControl> self(this);
    drop_player();
    make_player();
    d_->failed = false;
    QMediaPlayer* const player = d_->player;
    set_media_source(*player, d_->url);
    // The wait yields: whatever runs meanwhile may close the file, which
    // gives this player back.
    auto gone = [&] { return !self || d_->player != player; };
    auto status = [&] { return gone() ? QMediaPlayer::NoMedia : player->mediaStatus(); };
    wait_until([&] {
        return gone() || d_->failed || status() == QMediaPlayer::LoadedMedia || status() == QMediaPlayer::BufferedMedia ||
               status() == QMediaPlayer::InvalidMedia;
    }, QDeadlineTimer(open_hang_ms));
    if (!self) return false;
    d_->fresh = !gone() && !d_->failed &&
                (status() == QMediaPlayer::LoadedMedia || status() == QMediaPlayer::BufferedMedia);
    d_->frame = QVideoFrame();
    d_->frame_image = QImage();
    return d_->fresh;
}

int VideoControl::set_file_name(const QString& path) {
    if (d_->probing) return open_result_ = open_undecodable;   // asked again while opening
    // Close whatever was open.
    d_->playing = false;
    d_->open = false;
    d_->fresh = false;
    d_->failed = false;
    d_->watchdog.stop();
    drop_player();
    d_->url = QUrl();
    d_->frame = QVideoFrame();
    d_->frame_image = d_->first_frame = QImage();
    d_->natural = QSize();
    open_result_ = 0;
    if (path.isEmpty()) {
        face_changed();
        return 0;
    }
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || !info.isReadable() || info.size() <= 1) {
        open_result_ = open_missing;
        face_changed();
        return open_result_;
    }

    // Open at once and wait for the outcome, so that a broken file fails
    // here rather than with a late error while the show goes on.
    QPointer<VideoControl> self(this);
    d_->probing = true;
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    QImage first;
    bool ok = false;
    {
        video_probe probe(url);
        wait_until([&] { return probe.poll() != video_probe::outcome::opening; }, QDeadlineTimer(open_hang_ms));
        if (!self) return open_undecodable;
        ok = probe.poll() == video_probe::outcome::ready;
        first = probe.first_picture();
    }
    if (ok) {
        d_->url = url;
        ok = load_fresh();
        if (!self) return open_undecodable;
    }
    d_->probing = false;
    if (!ok) {
        drop_player();
        d_->url = QUrl();
        open_result_ = open_undecodable;
        face_changed();
        return open_result_;
    }
    d_->first_frame = first;
    d_->natural = first.isNull() ? QSize() : first.size();   // sound only: no size
    d_->open = true;
    if (d_->audio) d_->audio->setMuted(d_->muted);
    face_changed();
    return 0;
}

void VideoControl::set_size_mode(int m) {
    size_mode_ = m;
    face_changed();
}

void VideoControl::command(int c) {
    switch (c) {
        case 3:   // accepted: in natural size mode the control takes the video's size
            if (d_->open && size_mode_ == 1 && d_->natural.isValid()) resize(d_->natural);
            break;
        case 1:   // ready at the start, showing the first frame
            if (d_->open && !d_->playing) {
                if (!d_->fresh) load_fresh();
                face_changed();
            }
            break;
        case 5:   // play
            if (d_->open && !d_->playing) {
                if (!d_->fresh && !load_fresh()) break;
                d_->fresh = false;
                d_->failed = false;
                d_->playing = true;
                d_->last_progress_ms = now_ms();
                d_->player->play();
                d_->watchdog.start();
            }
            break;
        case 11:   // stop where it is
            d_->playing = false;
            d_->watchdog.stop();
            if (d_->open && d_->player) d_->player->pause();
            break;
        default:
            break;
    }
}

QString VideoControl::status() const {
    if (d_->playing) return QStringLiteral("PLAYING");
    return d_->open ? QStringLiteral("STOPPED") : QString();
}

void VideoControl::set_mute(bool on) {
    d_->muted = on;
    if (d_->audio) d_->audio->setMuted(on);
}

bool VideoControl::muted() const { return d_->muted; }

void VideoControl::set_border(const control_border& b) {
    border_ = b;
    face_changed();
}

void VideoControl::set_standard_palette(bool on) {
    d_->standard_palette = on;
    d_->frame_image = QImage();
    face_changed();
}

QSize VideoControl::natural_size() const { return d_->natural; }

bool VideoControl::live_face() const { return d_->playing; }

QImage VideoControl::render_face() {
    QImage face(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    if (!d_->open) return face;
    const int bw = border_.total_width();
    const QRect inner = face.rect().adjusted(bw, bw, -bw, -bw);
    QPainter p(&face);
    if (!inner.isEmpty()) {
        p.fillRect(inner, Qt::black);
        if (d_->frame_image.isNull()) {
            d_->frame_image = d_->frame.isValid() ? d_->frame.toImage() : d_->first_frame;
            if (d_->standard_palette) apply_palette(d_->frame_image, 1);
        }
        if (!d_->frame_image.isNull()) {
            QRect target = inner;
            if (size_mode_ == 1 && d_->natural.isValid()) {
                // Natural size where it fits, else as large as fits.
                const QSize s = d_->natural.width() <= inner.width() && d_->natural.height() <= inner.height()
                                    ? d_->natural
                                    : d_->natural.scaled(inner.size(), Qt::KeepAspectRatio);
                target = QRect(inner.topLeft() + QPoint((inner.width() - s.width()) / 2, (inner.height() - s.height()) / 2), s);
            }
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(target, d_->frame_image);
        }
    }
    paint_border(p, face.rect(), border_);
    return face;
}

}  // namespace lv
