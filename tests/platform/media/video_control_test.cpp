// The video control, headless: MPG and AVI open, report their size, play to
// the end with "PLAYING" in between; broken files fail their open at once.
#include "qt_wait.h"
#include "platform/media/video_control.h"
#include "platform/media/hang_guard.h"
#include "platform/picture/picture_decode.h"
#include "platform/media/slowed_start_race.h"
#include "platform/media/video_files.h"
#include "platform/media/video_probe.h"
#include "proc_status.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <tuple>

namespace lv {
namespace {

using lv::test::wait_for;
using lv::test::with_video_frame_size;

class VideoControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) return;
        const QString src = QStringLiteral("testsrc=size=160x120:rate=25");
        have_ffmpeg_ = make({"-f", "lavfi", "-i", src, "-t", "1.5", "-c:v", "mpeg1video", "-f", "mpeg", "clip.mpg"}) &&
                       make({"-f", "lavfi", "-i", src, "-f", "lavfi", "-i", "sine=frequency=440", "-t", "1.5",
                             "-shortest", "clip.avi"});
        if (!have_ffmpeg_) return;
        // Clips of a second or less: blue, turning red after 0.2 s, so that
        // a picture tells whose it is and whether the clip played on.
        const QString turns_red = QStringLiteral(
            "color=c=blue:size=160x120:rate=25,drawbox=color=red:t=fill:enable='gte(t,0.2)'");
        for (const QString& length : {QStringLiteral("0.5"), QStringLiteral("1")}) {
            have_ffmpeg_ = have_ffmpeg_ &&
                make({"-f", "lavfi", "-i", turns_red, "-t", length, "-c:v", "mpeg1video", "-f", "mpeg",
                      "short" + length + ".mpg"}) &&
                make({"-f", "lavfi", "-i", turns_red, "-t", length, "-c:v", "mjpeg", "short" + length + "-mjpeg.avi"}) &&
                make({"-f", "lavfi", "-i", turns_red, "-f", "lavfi", "-i", "sine=frequency=440", "-t", length,
                      "-c:v", "mpeg4", "short" + length + "-mpeg4.avi"});
        }
        // Broken: cut inside the header or the first picture, no frames at
        // all, and everything after the header overwritten.
        have_ffmpeg_ = have_ffmpeg_ && make({"-f", "lavfi", "-i", src, "-frames:v", "0", "-c:v", "mjpeg", "empty.avi"});
        const QByteArray avi = read("clip.avi"), mpg = read("clip.mpg");
        write("cut.avi", avi.left(3000));
        write("cut.mpg", mpg.left(1000));
        QByteArray damaged = avi;
        for (qsizetype i = 4096; i < damaged.size(); ++i) damaged[i] = char(i * 7919);
        write("damaged.avi", damaged);
    }
    static QByteArray read(const char* name) { return lv::test::file_bytes(path(name)); }
    static void write(const char* name, const QByteArray& data) { lv::test::write_file(path(name), data); }
    static void TearDownTestSuite() { delete dir_; }
    static bool make(QStringList args) {
        args.last() = dir_->filePath(args.last());
        return lv::test::ffmpeg(args, lv::test::hang_guard_ms);
    }
    void SetUp() override {
        if (!have_ffmpeg_) GTEST_SKIP() << "ffmpeg is not available";
    }
    static QString path(const char* name) { return dir_->filePath(QString::fromLatin1(name)); }

    // Plays the file the way the player does and waits for its end.
    void play_to_end(VideoControl& v, const char* name) {
        SCOPED_TRACE(name);
        {
            // Opening waits for the file's start, never for ever.
            lv::test::hang_guard guard("opening a video", 60000);
            ASSERT_EQ(v.set_file_name(path(name)), 0);
        }
        v.set_size_mode(1);
        v.command(3);
        EXPECT_EQ(v.natural_size(), QSize(160, 120));
        EXPECT_EQ(v.size(), QSize(160, 120));
        EXPECT_EQ(v.status(), QStringLiteral("STOPPED"));
        v.command(1);
        v.show();
        v.command(5);
        EXPECT_EQ(v.status(), QStringLiteral("PLAYING"));
        QElapsedTimer t;
        t.start();
        bool saw_playing_late = false;
        ASSERT_TRUE(wait_for([&] {
            if (t.elapsed() > 700 && v.status() == QStringLiteral("PLAYING")) saw_playing_late = true;
            return v.status() != QStringLiteral("PLAYING");
        }));
        EXPECT_TRUE(saw_playing_late);
        EXPECT_GT(t.elapsed(), 1000);
        EXPECT_EQ(v.status(), QStringLiteral("STOPPED"));
        // The last frame stays: testsrc is colourful, not black.
        const QImage face = v.render_face();
        const QRgb c = face.pixel(20, 20);
        EXPECT_GT(qRed(c) + qGreen(c) + qBlue(c), 100);
    }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline bool have_ffmpeg_ = false;
};

TEST_F(VideoControlTest, MpgPlaysToTheEnd) {
    VideoControl v;
    v.set_initial_setting(0);
    v.set_avi(false);
    v.set_media_mode(2);
    v.set_device_type(QStringLiteral("MPEGVideo"));
    play_to_end(v, "clip.mpg");
}

TEST_F(VideoControlTest, AviPlaysToTheEndMuted) {
    VideoControl v;
    v.set_avi(true);
    v.set_media_mode(2);
    v.set_mute(true);
    EXPECT_TRUE(v.muted());
    play_to_end(v, "clip.avi");
    v.command(1);   // back to the start, ready to play again
    v.command(5);
    EXPECT_EQ(v.status(), QStringLiteral("PLAYING"));
    v.command(11);
    EXPECT_EQ(v.status(), QStringLiteral("STOPPED"));
}

// Clips of a second or less open, report their size, show their own first
// picture rather than the one before, and play on to their last.
TEST_F(VideoControlTest, ShortClipsShowTheirOwnPictures) {
    const auto blue = [](QRgb c) { return qBlue(c) > 150 && qRed(c) < 90 && qGreen(c) < 90; };
    const auto red = [](QRgb c) { return qRed(c) > 150 && qBlue(c) < 90 && qGreen(c) < 90; };
    VideoControl v;
    v.set_size_mode(1);
    for (const char* name : {"short0.5.mpg", "short1.mpg", "short0.5-mjpeg.avi", "short1-mjpeg.avi",
                             "short0.5-mpeg4.avi", "short1-mpeg4.avi"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(v.set_file_name(path("clip.mpg")), 0);   // the picture before: colour bars
        v.command(1);
        {
            lv::test::hang_guard guard("opening a short clip", 60000);
            ASSERT_EQ(v.set_file_name(path(name)), 0);
        }
        v.command(3);
        EXPECT_EQ(v.natural_size(), QSize(160, 120));
        v.command(1);
        EXPECT_TRUE(blue(v.render_face().pixel(80, 60)));
        v.show();
        v.command(5);
        EXPECT_EQ(v.status(), QStringLiteral("PLAYING"));
        ASSERT_TRUE(wait_for([&] { return v.status() != QStringLiteral("PLAYING"); }));
        EXPECT_TRUE(red(v.render_face().pixel(80, 60)));
    }
}

// The standard palette is a way of drawing: turned off again, the picture
// is the video's own, not the palette's.
TEST_F(VideoControlTest, ThePaletteTurnedOffLeavesTheVideosOwnColours) {
    VideoControl v;
    v.set_size_mode(1);
    ASSERT_EQ(v.set_file_name(path("short1.mpg")), 0);
    v.command(3);
    const QImage own = v.render_face().copy();
    v.set_standard_palette(true);
    const QImage paletted = v.render_face().copy();
    EXPECT_NE(paletted, own);
    v.set_standard_palette(true);
    EXPECT_EQ(v.render_face(), paletted) << "the palette was applied twice";
    v.set_standard_palette(false);
    EXPECT_EQ(v.render_face(), own);
}

// Each fails on the decoder's own news, none by waiting it out; the control
// opens the next file as if nothing had happened.
TEST_F(VideoControlTest, BrokenFilesFailTheirOpen) {
    const char* const broken[] = {"cut.mpg", "cut.avi", "empty.avi", "damaged.avi"};
    VideoControl v;
    {
        lv::test::hang_guard guard("opening broken videos", 20000);
        for (const char* name : broken) EXPECT_EQ(v.set_file_name(path(name)), -2) << name;
        EXPECT_EQ(v.set_file_name(path("short0.5.mpg")), 0);
        EXPECT_EQ(v.set_file_name(path("empty.avi")), -2);
    }
    // The probe itself has no time limit: were an error lost on its way
    // (a demuxer failing while it is being started), it would wait here.
    for (int round = 0; round < 10; ++round) {
        for (const char* name : broken) {
            video_probe probe(QUrl::fromLocalFile(path(name)));
            ASSERT_TRUE(wait_for([&] { return probe.poll() != video_probe::outcome::opening; })) << name;
            EXPECT_EQ(probe.poll(), video_probe::outcome::failed) << name;
        }
    }
    EXPECT_EQ(v.set_file_name(path("missing.avi")), -1);
    QFile text(path("notes.mpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a video, only words\n");
    text.close();
    EXPECT_LT(v.set_file_name(path("notes.mpg")), 0);
    EXPECT_LT(v.open_result(), 0);
    EXPECT_EQ(v.status(), QString());
    v.command(5);   // nothing open: nothing plays
    EXPECT_NE(v.status(), QStringLiteral("PLAYING"));
}

// Pictures larger than the player may hold fail the open before one of them
// is decoded, whether the container states their size or only the pictures
// do, by the limits of pictures; the control opens the next file.
TEST_F(VideoControlTest, VideosWithPicturesTooLargeAreRefusedBeforeDecoding) {
    const QByteArray clip = read("short1-mjpeg.avi");
    write("huge.avi", with_video_frame_size(clip, 16000, 16000, true));
    write("lying.avi", with_video_frame_size(clip, 16000, 16000, false));
    VideoControl v;
    const std::int64_t peak_before = lvtest::proc_status_bytes("VmHWM:");
    lv::test::hang_guard guard("opening videos of huge pictures", 20000);
    EXPECT_EQ(v.set_file_name(path("huge.avi")), -2);
    EXPECT_EQ(v.set_file_name(path("lying.avi")), -2);
    EXPECT_LT(lvtest::proc_status_bytes("VmHWM:") - peak_before, 100 << 20);
    // Limits lowered below 160 x 120: an MPEG stream's size comes from its
    // parser, an MPEG-4 AVI's from its container.
    picture_limits& limits = picture_decode_limits();
    const picture_limits kept = limits;
    limits.max_side = 150;
    EXPECT_EQ(v.set_file_name(path("short1.mpg")), -2);
    EXPECT_EQ(v.set_file_name(path("short1-mpeg4.avi")), -2);
    limits = kept;
    EXPECT_EQ(v.set_file_name(path("short1-mpeg4.avi")), 0);
    EXPECT_EQ(v.natural_size(), QSize(160, 120));
    // Videos have a limit of their own, below that of pictures: 4096 x 2160.
    for (const auto& [w, h, opens] : {std::tuple{4096, 2160, true}, std::tuple{4112, 2160, false},
                                      std::tuple{4096, 2176, false}}) {
        const QString name = QStringLiteral("frame%1x%2.avi").arg(w).arg(h);
        ASSERT_TRUE(make({"-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1x%2:rate=25").arg(w).arg(h),
                          "-frames:v", "2", "-c:v", "mjpeg", name}));
        EXPECT_EQ(v.set_file_name(dir_->filePath(name)), opens ? 0 : -2) << w << "x" << h;
        if (opens) {
            EXPECT_EQ(v.natural_size(), QSize(w, h));
        }
    }
}

// Pictures that turn too large while the video plays end its play before
// one of them is decoded: the control stops, keeps its last frame, and opens
// the next file.
TEST_F(VideoControlTest, PicturesTurningTooLargeEndThePlay) {
    write("turns-huge.avi", with_video_frame_size(read("short1-mjpeg.avi"), 16000, 16000, false, 10));
    VideoControl v;
    const std::int64_t peak_before = lvtest::proc_status_bytes("VmHWM:");
    ASSERT_EQ(v.set_file_name(path("turns-huge.avi")), 0);
    v.set_size_mode(1);
    v.command(3);
    v.command(1);
    v.show();
    v.command(5);
    ASSERT_TRUE(wait_for([&] { return v.status() != QStringLiteral("PLAYING"); }));
    EXPECT_EQ(v.status(), QStringLiteral("STOPPED"));
    EXPECT_LT(lvtest::proc_status_bytes("VmHWM:") - peak_before, 100 << 20);
    // Its last frame before the refusal: red (from 0.2 s on), not black.
    const QRgb c = v.render_face().pixel(80, 60);
    EXPECT_GT(qRed(c), 150);
    EXPECT_EQ(v.set_file_name(path("short1.mpg")), 0);
}

// A FIFO or a device named like a video is refused before anything opens
// it: opening a FIFO waits for a writer, for ever in a show packed by
// someone else. The control stays usable.
TEST_F(VideoControlTest, FifosAndDevicesNamedLikeVideosAreRefusedAtOnce) {
    const std::string fifo = path("pipe.avi").toStdString();
    const std::string zero = path("zero.mpg").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    VideoControl v;
    {
        lv::test::hang_guard guard("opening a FIFO or a device as a video", 20000);
        EXPECT_EQ(v.set_file_name(QString::fromStdString(fifo)), -1);
        EXPECT_EQ(v.set_file_name(QString::fromStdString(zero)), -1);
        EXPECT_EQ(v.set_file_name(dir_->path()), -1);
    }
    EXPECT_EQ(v.status(), QString());
    EXPECT_EQ(v.set_file_name(path("clip.mpg")), 0);
}

// A video's start races its decoder for the outputs just as a sound's does:
// with that race slowed down, videos still open, and the window never hangs.
TEST_F(VideoControlTest, OpensWhileTheStartRaceIsSlowed) {
    lv::test::slowed_start_race slowed;
    ASSERT_TRUE(slowed.ready());
    lv::test::hang_guard guard("the window's thread hung opening a video", 20000);
    VideoControl v;
    for (const char* name : {"clip.mpg", "clip.avi", "clip.mpg", "clip.avi"}) {
        guard.pet();
        EXPECT_EQ(v.set_file_name(path(name)), 0) << name;
    }
}

TEST_F(VideoControlTest, StopAndCloseWhilePlaying) {
    VideoControl v;
    ASSERT_EQ(v.set_file_name(path("clip.avi")), 0);
    v.show();
    v.command(5);
    ASSERT_EQ(v.status(), QStringLiteral("PLAYING"));
    wait_for([] { return false; }, 200);
    v.command(11);
    EXPECT_EQ(v.status(), QStringLiteral("STOPPED"));
    v.command(1);
    EXPECT_EQ(v.set_file_name(QString()), 0);
    EXPECT_EQ(v.status(), QString());
    EXPECT_EQ(qAlpha(v.render_face().pixel(5, 5)), 0);
}

TEST_F(VideoControlTest, BorderAndStretch) {
    VideoControl v;
    ASSERT_EQ(v.set_file_name(path("clip.mpg")), 0);
    v.set_size_mode(2);
    v.command(3);   // stretched: keeps its own size
    v.resize(320, 240);
    control_border b;
    b.on = true;
    b.middle_width = 4;
    b.middle_color = 0x00FFFF;
    v.set_border(b);
    const QImage face = v.render_face();
    EXPECT_EQ(face.size(), QSize(320, 240));
    EXPECT_EQ(face.pixel(1, 120), qRgb(255, 255, 0));
    EXPECT_EQ(face.pixel(318, 120), qRgb(255, 255, 0));
    EXPECT_NE(face.pixel(160, 120), qRgb(255, 255, 0));
}

TEST_F(VideoControlTest, TransitionRunsOnVideo) {
    QWidget host;
    host.resize(200, 150);
    host.show();
    auto* v = new VideoControl(&host);
    int done = 0;
    QObject::connect(v, &EffectControl::effect_done, [&] { ++done; });
    ASSERT_EQ(v->set_file_name(path("clip.avi")), 0);
    v->set_size_mode(1);
    v->command(3);
    v->set_effect(1, 0, 4);
    v->command(1);
    v->show_with_effect();
    v->command(5);
    EXPECT_TRUE(v->transition_running());
    ASSERT_TRUE(wait_for([&] { return done == 1; }));
    v->set_effect_number(0);
    ASSERT_TRUE(wait_for([&] { return v->status() != QStringLiteral("PLAYING"); }));
    EXPECT_EQ(done, 1);
}

}  // namespace
}  // namespace lv
