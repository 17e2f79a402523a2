#pragma once
// A video file in a GStreamer pipeline of the program's own: opened paused
// on its first picture, to learn whether the file decodes and what that
// picture is, and then played by the same pipeline, so that nothing is
// decoded twice.
//
// Not Qt's media player: it shows no picture until it plays, its pause
// seeks to the stream's first time stamp as if it were an offset (an MPEG
// stream starts half a second late, so for a clip of a second or less that
// seek lands at or past the end and no picture ever comes), and it converts
// every frame at full size, on a machine without a GPU through software
// OpenGL.
//
// The pipeline is guarded for as long as it plays: a stream whose pictures
// are larger than a video may have is stopped before a picture of that size
// is decoded. The size is read from every stream's caps ahead of its
// decoder, from each JPEG picture's own header on its way into the decoder,
// and from the decoded pictures' caps. Frames leave the pipeline converted
// and scaled to the size they are drawn at, one at a time: a frame the
// window has not taken yet is replaced by the next.
#include <QImage>
#include <QSize>
#include <QUrl>

#include <functional>
#include <memory>

namespace lv {

// The largest video frame played: 4096 x 2160, either way round.
inline constexpr int video_max_long_side = 4096, video_max_short_side = 2160;

class video_probe {
public:
    enum class outcome { opening, ready, failed };

    // `news`, when given, is called on a streaming thread whenever there is
    // something to take (a frame, the end, an error, a refused picture);
    // calls come at most once until take_frame() or poll() is called again.
    // Until set_frame_size(), frames (the first picture too) are scaled down
    // to fit within `fit_within` when they are larger; empty: never.
    explicit video_probe(const QUrl& url, std::function<void()> news = {}, QSize fit_within = {});
    ~video_probe();
    video_probe(const video_probe&) = delete;
    video_probe& operator=(const video_probe&) = delete;

    // Never blocks: the player's news so far. Every way an open ends is a
    // message of the player's (paused on a picture, an error, the end), so
    // the caller keeps its event loop running and asks again until the
    // outcome is known; only a decoder that hangs needs a time limit.
    // Once ready it stays so until an error or a picture too large stops
    // the stream for good (failed); the end of the file is ended().
    outcome poll();
    // Played to its end (known from poll()).
    bool ended() const { return ended_; }

    // Once ready: whether the file has pictures at all (sound only when
    // not), their own size, and the first of them (fitted as above).
    bool has_video() const { return has_video_; }
    QSize natural_size() const { return natural_; }
    const QImage& first_picture() const { return first_; }

    void play();
    void pause();
    void set_muted(bool on);
    // The size frames are scaled to on their way out; empty: their own.
    void set_frame_size(QSize size);
    // Whether the playing position moved since the last call.
    bool position_changed();
    // The newest frame, when one came since the last call: `into` shows the
    // pipeline's own buffer (read-only), which goes back to the pipeline
    // when the image is let go of.
    bool take_frame(QImage& into);

private:
    struct player;
    std::unique_ptr<player> p_;
    outcome outcome_ = outcome::opening;
    bool has_video_ = false;
    bool ended_ = false;
    qint64 position_ = -1;
    QSize natural_;
    QImage first_;
};

}  // namespace lv
