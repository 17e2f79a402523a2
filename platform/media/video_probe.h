#pragma once
// Opens a video file in a GStreamer player of its own, paused on its first
// picture, to learn whether the file decodes and what that picture is.
//
// Not Qt's media player: it shows no picture until it plays, and its pause
// seeks to the stream's first time stamp as if it were an offset. An MPEG
// stream starts half a second late, so for a clip of a second or less that
// seek lands at or past the end and no picture ever comes.
//
// A file whose pictures are larger than the player may hold is refused
// before a picture of it is decoded: the size is read from the stream ahead
// of its decoder, and from each JPEG picture's own header, and the decoded
// pictures are checked again before they go on.
#include <QImage>
#include <QSize>
#include <QUrl>

#include <memory>

namespace lv {

// Whether a video's pictures of this size may be decoded and shown: within
// the picture limits (lv::picture_decode_limits()) and, since a playing
// video keeps several of its pictures at full size in the player itself
// (the decoder's, the frame shown, its converted copy), no larger than the
// largest picture the player keeps.
bool video_frame_fits(QSize frame);

class video_probe {
public:
    enum class outcome { opening, ready, failed };

    explicit video_probe(const QUrl& url);
    ~video_probe();
    video_probe(const video_probe&) = delete;
    video_probe& operator=(const video_probe&) = delete;

    // Never blocks: the player's news so far. Every way an open ends is a
    // message of the player's (paused on a picture, an error, the end), so
    // the caller keeps its event loop running and asks again until the
    // outcome is known; only a decoder that hangs needs a time limit.
    outcome poll();

    // Once ready: whether the file has pictures at all (sound only when
    // not), and the first of them.
    bool has_video() const { return has_video_; }
    const QImage& first_picture() const { return first_; }

private:
    struct player;
    std::unique_ptr<player> p_;
    outcome outcome_ = outcome::opening;
    bool has_video_ = false;
    QImage first_;
};

}  // namespace lv
