// The video control: the control's own GStreamer pipeline decodes (the one
// that opened the file), the control paints the frames itself, so that
// border, stacking and transitions work as on pictures.
#include "platform/media/video_control.h"

#include "platform/picture/picture_decode.h"
#include "platform/media/video_probe.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <functional>

namespace lv {

namespace {

// Open results.
constexpr int open_missing = -1, open_undecodable = -2;

// Opening ends on news from the decoder (paused on a picture, an error);
// an open that has none for this long hangs, and its file counts as broken.
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
    // The open file's pipeline, made when a file is loaded, not with the
    // control: every player window and picker holds a video control, and
    // most shows never open a video. Gone while the control is stopped at
    // its start and when the stream failed; the next play opens it anew.
    std::unique_ptr<video_probe> stream;
    QImage frame;         // the newest frame, at the size drawn, in the pipeline's own buffer
    QImage first_frame;   // shown until playback delivers frames
    // The frame shown in the standard palette, made when it is drawn: the
    // frames themselves stay as they came, for when the palette goes.
    QImage paletted;
    qint64 paletted_of = 0;   // cacheKey() of the frame it was made from
    QImage face;          // drawn into afresh for every frame
    QUrl url;
    QSize natural;
    bool open = false;
    // Opened and never played since: a replay opens the file again.
    bool fresh = false;
    bool playing = false;
    bool probing = false;
    bool muted = false;
    bool standard_palette = false;
    int initial_setting = 0;
    int media_mode = 0;
    bool avi = false;
    QString device_type;
    qint64 last_progress_ms = 0;
    QTimer watchdog;
};

VideoControl::VideoControl(QWidget* parent) : EffectControl(parent), d_(std::make_unique<impl>()) {
    d_->watchdog.setInterval(1000);
    connect(&d_->watchdog, &QTimer::timeout, this, [this] {
        if (d_->playing && d_->stream && d_->stream->position_changed()) d_->last_progress_ms = now_ms();
        if (d_->playing && now_ms() - d_->last_progress_ms > stall_ms) {
            d_->playing = false;
            d_->watchdog.stop();
            if (d_->stream) d_->stream->pause();
        }
    });
}

VideoControl::~VideoControl() {
    d_->watchdog.stop();
    d_->stream.reset();   // no news comes after this
}

void VideoControl::set_initial_setting(int v) { d_->initial_setting = v; }
void VideoControl::set_device_type(const QString& t) { d_->device_type = t; }
void VideoControl::set_avi(bool on) { d_->avi = on; }
void VideoControl::set_media_mode(int m) { d_->media_mode = m; }

bool VideoControl::load_fresh() {
    QPointer<VideoControl> self(this);
    d_->fresh = false;
    d_->stream.reset();
    // News comes on the pipeline's threads and is taken on the window's; the
    // pipeline goes with the control (or before), and with it the news.
    // Frames larger than the screen go out fitted to it until the size they
    // are drawn at is known.
    const QScreen* on = screen();
    const QSize fit = on ? (QSizeF(on->size()) * on->devicePixelRatio()).toSize() : QSize();
    d_->stream = std::make_unique<video_probe>(d_->url, [this] {
        QMetaObject::invokeMethod(this, [this] { take_news(); }, Qt::QueuedConnection);
    }, fit);
    video_probe* const stream = d_->stream.get();
    // The wait yields: whatever runs meanwhile may close the file, which
    // drops this pipeline.
    auto gone = [&] { return !self || d_->stream.get() != stream; };
    wait_until([&] { return gone() || stream->poll() != video_probe::outcome::opening; },
               QDeadlineTimer(open_hang_ms));
    if (gone()) return false;
    if (stream->poll() != video_probe::outcome::ready) {
        d_->stream.reset();
        return false;
    }
    stream->set_muted(d_->muted);
    d_->frame = QImage();
    d_->fresh = true;
    return true;
}

void VideoControl::take_news() {
    if (!d_->stream || d_->probing) return;   // an open in progress polls for itself
    const bool new_frame = d_->stream->take_frame(d_->frame);
    const video_probe::outcome o = d_->stream->poll();
    if (new_frame) {
        d_->last_progress_ms = now_ms();
        face_changed();
    }
    if (o == video_probe::outcome::failed || d_->stream->ended()) {
        // At its end the pipeline holds its last frame, paused; a stream that
        // failed or was refused stops decoding at once. Either way the slide
        // has ended, and the last frame shown stays.
        d_->playing = false;
        d_->watchdog.stop();
        if (o == video_probe::outcome::failed) d_->stream.reset();
    }
}

int VideoControl::set_file_name(const QString& path) {
    if (d_->probing) return open_result_ = open_undecodable;   // asked again while opening
    // Close whatever was open.
    d_->playing = false;
    d_->open = false;
    d_->fresh = false;
    d_->watchdog.stop();
    d_->stream.reset();
    d_->url = QUrl();
    d_->frame = d_->first_frame = d_->paletted = QImage();
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
    // here rather than with a late error while the show goes on. The
    // pipeline that opened the file is the one that plays it.
    QPointer<VideoControl> self(this);
    d_->probing = true;
    d_->url = QUrl::fromLocalFile(info.absoluteFilePath());
    const bool ok = load_fresh();
    if (!self) return open_undecodable;
    d_->probing = false;
    if (!ok) {
        d_->stream.reset();
        d_->url = QUrl();
        open_result_ = open_undecodable;
        face_changed();
        return open_result_;
    }
    d_->first_frame = d_->stream->first_picture();
    d_->natural = d_->stream->has_video() ? d_->stream->natural_size() : QSize();   // sound only: no size
    d_->open = true;
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
            if (d_->open && !d_->playing && !d_->fresh) {
                // Played or stopped: the pipeline goes now, and the next play
                // opens the file again.
                d_->stream.reset();
                d_->frame = QImage();
                face_changed();
            }
            break;
        case 5:   // play
            if (d_->open && !d_->playing) {
                if (!d_->fresh && !load_fresh()) break;
                d_->fresh = false;
                d_->playing = true;
                d_->last_progress_ms = now_ms();
                d_->stream->play();
                d_->watchdog.start();
            }
            break;
        case 11:   // stop where it is
            d_->playing = false;
            d_->watchdog.stop();
            if (d_->stream) d_->stream->pause();
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
    if (d_->stream) d_->stream->set_muted(on);
}

bool VideoControl::muted() const { return d_->muted; }

void VideoControl::set_border(const control_border& b) {
    border_ = b;
    face_changed();
}

void VideoControl::set_standard_palette(bool on) {
    d_->standard_palette = on;
    d_->paletted = QImage();
    face_changed();
}

QSize VideoControl::natural_size() const { return d_->natural; }

bool VideoControl::live_face() const { return d_->playing; }

QRect VideoControl::frame_rect(const QRect& inner) const {
    if (size_mode_ != 1 || !d_->natural.isValid()) return inner;
    // Natural size where it fits, else as large as fits.
    const QSize s = d_->natural.width() <= inner.width() && d_->natural.height() <= inner.height()
                        ? d_->natural
                        : d_->natural.scaled(inner.size(), Qt::KeepAspectRatio);
    return QRect(inner.topLeft() + QPoint((inner.width() - s.width()) / 2, (inner.height() - s.height()) / 2), s);
}

QImage VideoControl::render_face() {
    // The face of the last frame has been given up (the control's cache lets
    // go of it first), so drawing into the same image again copies nothing.
    const QSize size = this->size().expandedTo(QSize(1, 1));
    if (d_->face.size() != size) d_->face = QImage(size, QImage::Format_ARGB32_Premultiplied);
    QImage& face = d_->face;
    if (!d_->open) {
        face.fill(Qt::transparent);
        return face;
    }
    const int bw = border_.total_width();
    const QRect inner = face.rect().adjusted(bw, bw, -bw, -bw);
    const QRect target = inner.isEmpty() ? QRect() : frame_rect(inner);
    // Frames leave the pipeline at the size they are drawn.
    if (d_->stream && target.isValid()) d_->stream->set_frame_size(target.size());
    const QImage* shown_ptr = d_->frame.isNull() ? &d_->first_frame : &d_->frame;
    if (d_->standard_palette && !shown_ptr->isNull()) {
        if (d_->paletted.isNull() || d_->paletted_of != shown_ptr->cacheKey()) {
            d_->paletted_of = shown_ptr->cacheKey();
            d_->paletted = shown_ptr->copy();
            apply_palette(d_->paletted, 1);
        }
        shown_ptr = &d_->paletted;
    }
    const QImage& shown = *shown_ptr;
    // A frame that fills the control by itself is its face: nothing to draw.
    if (bw == 0 && target == face.rect() && shown.size() == size && !transition_running()) return shown;
    if (bw > 0 || target != face.rect() || shown.isNull()) face.fill(Qt::transparent);
    QPainter p(&face);
    if (!inner.isEmpty()) {
        if (target != inner || shown.isNull()) p.fillRect(inner, Qt::black);
        if (!shown.isNull()) {
            if (shown.size() != target.size()) p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(target, shown);
        }
    }
    paint_border(p, face.rect(), border_);
    return face;
}

}  // namespace lv
