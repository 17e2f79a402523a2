// Captions and error banners far longer than the screen, and pictures made to
// take time and memory, end to end: the lumivane executable plays a generated
// slideshow file on a real X server, a key press must still end it at once,
// memory must stay bounded, and the show goes on past a picture it refuses.
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/media/video_files.h"
#include "platform/picture/picture_files.h"
#include "player/xvfb_program.h"
#include "proc_status.h"
#include "qt_wait.h"
#include "scoped_env.h"
#include "core/document.h"
#include "core/effects.h"
#include "core/slideshow_file.h"
#include "platform/desktop/ini_store.h"

namespace {

using lv::test::wait_for;

// Peak resident memory of a running process in kB, 0 when unknown.
long peak_rss_kb(qint64 pid) {
    return static_cast<long>(std::max<std::int64_t>(0, lvtest::proc_status_bytes("VmHWM:", std::to_string(pid)) / 1024));
}

// Words of varying length up to n characters: a caption that wraps nowhere.
std::string long_text(std::size_t n) {
    static const char* words[] = {"Lumivane ", "shows ", "a ", "caption ", "that ", "never ", "ends ", "W "};
    std::string s;
    s.reserve(n + 16);
    for (std::size_t i = 0; s.size() < n; ++i) s += words[i % 8];
    s.resize(n);
    return s;
}

struct show_result {
    bool reached = false;    // the log reached the state that triggers the key
    qint64 reached_ms = 0;   // start to that state
    bool ended = false;      // the process ended after the key
    qint64 end_ms = 0;       // key to exit
    long peak_kb = 0;        // highest VmHWM seen
    int exit_code = -1;
    std::vector<long long> decoders_at_key;   // decoding when the key came
};

class HeavyInputShow : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs the X server of xvfb-run";
        ASSERT_TRUE(box.ok());
        box.write_settings({{"logging", "1"},
                            {"set_extension", "yes"},   // registered already: leave the file types alone
                            {"auto_stop", "0"}});
        picture = box.path(QStringLiteral("green.png"));
        QImage img(320, 200, QImage::Format_RGB32);
        img.fill(QColor(20, 200, 20));
        ASSERT_TRUE(img.save(picture));
    }

    lv::sequence_record record(const std::string& image, const std::string& caption, int font_size) {
        lv::sequence_record r = lv::default_sequence(image);
        r.image_file = image;
        r.display_position = 8;
        r.display_effect = 1;
        r.display_time = 3;
        r.caption_text = caption;
        r.caption_font_name = "DejaVu Sans";
        r.caption_font_size = font_size;
        r.caption_position = 7;
        r.caption_effect = 1;
        r.caption_style = 7;          // outline and shadow: the costliest relief
        r.caption_shadow_size = 4;
        r.caption_color_scheme = 4;   // gradient text
        r.audio_file = "";
        r.background_file = "";
        return r;
    }

    QString write_show(const std::vector<lv::sequence_record>& recs) {
        lv::reset_effect_table();
        lv::new_custom_defaults();
        lv::redim_slides(static_cast<int>(recs.size()));
        lv::doc().image_count = static_cast<int>(recs.size());
        lv::doc().custom_name = "Long Captions";
        for (std::size_t i = 0; i < recs.size(); ++i) lv::doc().sequences.set(static_cast<int>(i) + 1, recs[i]);
        lv::redim_music(0);
        lv::doc().music_count = 0;
        const QString path = box.path(QStringLiteral("Long Captions.lmv"));
        EXPECT_EQ(lv::write_custom_file(path.toStdString()), 0);
        return path;
    }

    show_result play(const QString& file, const QByteArray& trigger, int wait_ms, int then_ms) {
        return play(file, [&trigger](const QByteArray& log) { return log.contains(trigger); }, wait_ms, then_ms);
    }
    // Plays the file, waits until the diagnostic log is `ready` (for at most
    // wait_ms) and then for `then_ms` more, presses a key and waits for the
    // program to end.
    show_result play(const QString& file, const std::function<bool(const QByteArray&)>& ready, int wait_ms,
                     int then_ms) {
        show_result r;
        QProcess proc;
        QElapsedTimer started;
        started.start();
        box.start(proc, {file});
        if (!proc.waitForStarted(lv::test::hang_guard_ms)) return r;
        const qint64 pid = proc.processId();
        const QString log_path = box.log_file();
        auto log_has = [&] {
            QFile log(log_path);
            return log.open(QIODevice::ReadOnly) && ready(log.readAll());
        };
        r.reached = wait_for([&] {
            r.peak_kb = std::max(r.peak_kb, peak_rss_kb(pid));
            return proc.state() != QProcess::Running || log_has();
        }, wait_ms) && proc.state() == QProcess::Running;
        r.reached_ms = started.elapsed();
        // The key lands while the show is busy with what follows the trigger.
        wait_for([&] {
            r.peak_kb = std::max(r.peak_kb, peak_rss_kb(pid));
            return proc.state() != QProcess::Running;
        }, then_ms);
        r.decoders_at_key = lvtest::living_children(pid, "lumivane-decode");
        QElapsedTimer t;
        t.start();
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("a")});
        r.ended = wait_for([&] {
            r.peak_kb = std::max(r.peak_kb, peak_rss_kb(pid));
            return proc.state() != QProcess::Running;
        });
        r.end_ms = t.elapsed();
        std::printf("key to exit %lld ms, peak resident memory %ld MB\n", static_cast<long long>(r.end_ms),
                    r.peak_kb / 1024);
        if (!r.ended) {
            proc.kill();
            proc.waitForFinished(lv::test::hang_guard_ms);
        } else {
            proc.waitForFinished(lv::test::hang_guard_ms);
            r.exit_code = proc.exitCode();
        }
        return r;
    }

    QString solid_picture(const QString& name, QSize size, QColor colour) {
        const QString path = box.path(name);
        QImage img(size, QImage::Format_RGB32);
        img.fill(colour);
        EXPECT_TRUE(img.save(path));
        return path;
    }

    lvtest::program_sandbox box;
    QString picture;
};

constexpr long memory_limit_kb = 300 * 1024;
// Ending takes well under a second; the bound only tells a hang from a
// busy machine.
constexpr qint64 end_bound_ms = 8000;

}  // namespace

TEST_F(HeavyInputShow, AHugeCaptionAtALargeSizeStillEndsOnAKey) {
    const QString file = write_show({record(picture.toStdString(), long_text(1 << 20), 72),
                                     record(picture.toStdString(), long_text(3000), 16)});
    const show_result r = play(file, "Going To Case 4", lv::test::hang_guard_ms, 400);
    EXPECT_TRUE(r.reached) << "the show never reached its caption";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.end_ms, end_bound_ms) << "ended " << r.end_ms << " ms after the key";
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_GT(r.peak_kb, 0);
    EXPECT_LT(r.peak_kb, memory_limit_kb) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

TEST_F(HeavyInputShow, AKeyDuringTheSecondLongCaptionEndsTheShow) {
    // The first caption has been drawn; the key lands while the second is.
    const QString file = write_show({record(picture.toStdString(), long_text(3000), 16),
                                     record(picture.toStdString(), long_text(20000), 40)});
    const show_result r = play(file, "Showing Image Array 2", lv::test::hang_guard_ms, 600);
    EXPECT_TRUE(r.reached) << "the show never went on to its second image";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.end_ms, end_bound_ms) << "ended " << r.end_ms << " ms after the key";
    EXPECT_LT(r.peak_kb, memory_limit_kb) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

TEST_F(HeavyInputShow, AMegabyteMissingPicturePathInTheBannerStaysSmall) {
    const std::string missing = box.path(QString()).toStdString() + long_text(1 << 20) + ".jpg";
    const QString file = write_show({record(missing, long_text(1000), 24),
                                     record(picture.toStdString(), "short", 24)});
    const show_result r = play(file, "Going To Case 7", lv::test::hang_guard_ms, 0);
    EXPECT_TRUE(r.reached) << "the show never got past its error banner";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.end_ms, end_bound_ms) << "ended " << r.end_ms << " ms after the key";
    EXPECT_LT(r.peak_kb, memory_limit_kb) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

namespace {

// A PNG of h rows: IHDR's bit depth and colour type as given, each row (its
// filter byte first) from row(y), deflated at the given level.
QByteArray deflated_png(int w, int h, const char depth_and_type[2], int level,
                        const std::function<const QByteArray&(int)>& row) {
    auto be32 = [](QByteArray& b, std::uint32_t v) {
        for (int shift : {24, 16, 8, 0}) b.append(char((v >> shift) & 0xFF));
    };
    auto chunk = [&be32](QByteArray& out, const char* type, const QByteArray& data) {
        const QByteArray body = QByteArray(type, 4) + data;
        be32(out, std::uint32_t(data.size()));
        out += body;
        be32(out, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
    };
    QByteArray header;
    be32(header, std::uint32_t(w));
    be32(header, std::uint32_t(h));
    header.append(depth_and_type, 2);
    header.append("\x00\x00\x00", 3);
    z_stream z{};
    deflateInit(&z, level);
    QByteArray packed;
    std::vector<char> buffer(1 << 16);
    for (int y = 0; y < h; ++y) {
        const QByteArray& r = row(y);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(r.constData()));
        z.avail_in = uInt(r.size());
        const int flush = y + 1 == h ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer.data());
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            packed.append(buffer.data(), qsizetype(buffer.size() - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    QByteArray out("\x89PNG\r\n\x1A\n", 8);
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", QByteArray());
    return out;
}

// A 16-bit RGBA PNG of w x h in one colour: each row after the first is
// stored as its difference from the one above, so the file stays small.
QByteArray png16_rgba(int w, int h) {
    QByteArray first(1 + w * 8, char(0x40)), others(1 + w * 8, '\0');
    first[0] = 0;
    others[0] = 2;   // "up" filter
    return deflated_png(w, h, "\x10\x06", Z_DEFAULT_COMPRESSION,
                        [&](int y) -> const QByteArray& { return y == 0 ? first : others; });
}

// w x h squares of one pixel, black and white: any enlargement or blur turns
// it grey. A 1-bit PNG of a few kilobytes.
QByteArray checkerboard_png(int w, int h) {
    QImage img(w, h, QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < h; ++y) std::memset(img.scanLine(y), y % 2 ? 0x55 : 0xAA, std::size_t(img.bytesPerLine()));
    QByteArray png;
    QBuffer b(&png);
    return b.open(QIODevice::WriteOnly) && img.save(&b, "PNG") ? png : QByteArray();
}

// Standard deviation of the screen's grey levels (0 to 1) in r: 0.5 for the
// squares as they are, near 0 once they blur into grey.
double screen_spread(const QRect& r) {
    const QImage img = lvtest::grab_screen().copy(r).convertToFormat(QImage::Format_Grayscale8);
    double sum = 0, squares = 0, n = std::max(1, r.width() * r.height());
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const double v = img.pixelColor(x, y).valueF();
            sum += v, squares += v * v;
        }
    return std::sqrt(std::max(0.0, squares / n - sum * sum / n / n));
}

// w x h squares of one pixel, black and white, as an 8-bit RGB PNG: read
// into 4 bytes a pixel, the most the limits take. A few hundred kilobytes.
QByteArray checkerboard_rgb_png(int w, int h) {
    QByteArray rows[2];
    for (int k = 0; k < 2; ++k) {
        rows[k] = QByteArray(1 + w * 3, '\0');
        for (int x = 0; x < w; ++x)
            if ((x + k) % 2) rows[k].replace(1 + x * 3, 3, "\xFF\xFF\xFF", 3);
    }
    return deflated_png(w, h, "\x08\x02", 1, [&](int y) -> const QByteArray& { return rows[y % 2]; });
}

// A JPEG with `count` comment markers of 64 kB ahead of its picture.
QByteArray jpeg_with_comments(int count) {
    QByteArray jpeg;
    QBuffer b(&jpeg);
    if (!b.open(QIODevice::WriteOnly) || !lv::test::two_halves(64, 64).save(&b, "JPG")) return {};
    const QByteArray comment = QByteArray("\xFF\xFE\xFF\xFF", 4) + QByteArray(0xFFFF - 2, 'c');
    return jpeg.left(2) + comment.repeated(count) + jpeg.mid(2);
}

struct hostile_picture {
    const char* name;
    QByteArray bytes;
    int position = 0;       // fitted to the screen, as shows mostly place them
    bool outlasts = false;  // still decoding when the key comes
    bool no_decoder = false;   // LUMIVANE_DECODER names no program
};

}  // namespace

TEST_F(HeavyInputShow, PicturesMadeToTakeTimeOrMemoryNeitherHoldAKeyNorStopTheShow) {
    using namespace lv::test;
    const QImage grey = two_halves(16, 16).convertToFormat(QImage::Format_Grayscale8);
    QByteArray photo;
    {
        QImage big(8000, 6000, QImage::Format_RGB32);
        big.fill(qRgb(100, 150, 200));
        QBuffer b(&photo);
        ASSERT_TRUE(b.open(QIODevice::WriteOnly) && big.save(&b, "JPG", 80));
    }
    const std::vector<hostile_picture> pictures = {
        {"fills.wmf", filled_wmf(8000, 8000, 100)},
        {"runs.tga", rle_tga(8000, 8000, qRgba(200, 40, 40, 255))},
        {"deep.png", png16_rgba(8000, 8000)},
        {"grey.jpg", with_frame_size(progressive_jpeg(grey), 19500, 19500)},
        {"colour.jpg", with_frame_size(progressive_jpeg(two_halves(16, 16)), 11000, 11000, true)},
        {"tall.pict", packbits_pict(4000, 16000, qRgb(40, 200, 40))},
        // Shown at its own size: a photo far larger than the screen, and a
        // metafile that outlasts the decoding time limit.
        {"photo.jpg", photo, 8},
        {"slow.wmf", filled_wmf(3000, 3000, 100), 8, true},
        // Without the decoder program, decoded in a copy of the player
        // under the same limits.
        {"apart.jpg", jpeg_with_comments(2000), 0, false, true},
        {"apart.wmf", filled_wmf(3000, 3000, 100), 8, true, true},
    };
    const std::string after = picture.toStdString();
    for (const hostile_picture& p : pictures) {
        SCOPED_TRACE(p.name);
        lvtest::scoped_env env;
        if (p.no_decoder) env.set("LUMIVANE_DECODER", box.path(QStringLiteral("no-such-decoder")).toUtf8());
        const QString file = box.path(QString::fromLatin1(p.name));
        ASSERT_TRUE(write_file(file, p.bytes));
        lv::sequence_record hostile = record(file.toStdString(), "", 24), next = record(after, "", 24);
        hostile.display_position = p.position;
        hostile.display_time = next.display_time = 1;
        QFile::remove(box.log_file());
        std::printf("%s: ", p.name);
        // Round once, from the decode ahead of the start to the picture
        // after it; the key comes 3 s into the second decode, on the
        // window's thread.
        const show_result r = play(write_show({hostile, next}), [&after](const QByteArray& log) {
            const qsizetype shown = log.indexOf(QByteArray("Display Picture: ") + after.c_str());
            return shown >= 0 && log.indexOf("Showing Image Array 1", shown) >= 0;
        }, lv::test::hang_guard_ms, 3000);
        EXPECT_TRUE(r.reached) << "the picture after it never showed";
        EXPECT_TRUE(r.ended) << "the key press did not end the show";
        // Decoding apart is what lets a key end the show at once.
        EXPECT_LT(r.end_ms, p.no_decoder ? 2500 : end_bound_ms) << "ended " << r.end_ms << " ms after the key";
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_GT(r.peak_kb, 0);
        EXPECT_LT(r.peak_kb, 400 * 1024) << "peak resident memory " << r.peak_kb / 1024 << " MB";
        if (p.outlasts) {
            EXPECT_FALSE(r.decoders_at_key.empty()) << "the decode had ended before the key";
        }
        for (long long decoder : r.decoders_at_key)
            EXPECT_TRUE(wait_for([decoder] { return lvtest::process_gone(decoder); }))
                << "decoder " << decoder << " left running";
    }
}

TEST_F(HeavyInputShow, PicturesLargerThanTheyAreKeptShowTheirOwnPixelsAtTheirOwnSize) {
    // Six thousand squares a side, more pixels than the player keeps of a
    // picture: shown at its own size centred, then tiled as a background
    // whose corner the picture over it leaves free.
    const QString board = box.path(QStringLiteral("board.png"));
    ASSERT_TRUE(lv::test::write_file(board, checkerboard_png(6000, 6000)));
    lv::sequence_record centred = record(board.toStdString(), "", 24), tiled = record(picture.toStdString(), "", 24);
    centred.display_time = 6;
    tiled.background_file = board.toStdString();
    tiled.display_time = 30;
    const QSize screen = QGuiApplication::primaryScreen()->size();
    double centre = 0, corner = 0;
    const show_result r = play(write_show({centred, tiled}), [&](const QByteArray& log) {
        if (!log.contains("Display Picture: " + picture.toUtf8())) {
            if (log.contains("Display Picture: " + board.toUtf8()))
                centre = std::max(centre, screen_spread(QRect(QPoint(screen.width(), screen.height()) / 2 -
                                                                  QPoint(100, 100), QSize(200, 200))));
            return false;
        }
        return (corner = screen_spread(QRect(0, 0, 200, 200))) > 0.45;
    }, lv::test::hang_guard_ms, 0);
    EXPECT_GT(centre, 0.45) << "at its own size the picture came out grey";
    EXPECT_GT(corner, 0.45) << "tiled, the picture came out grey";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.peak_kb, 400 * 1024) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

// The largest picture the limits allow, 8000 x 8000 squares of one pixel,
// shows sharp at its own size at three anchors and tiled, each in its turn;
// and a bitmap stored top row first shows the right way up.
TEST_F(HeavyInputShow, TheLargestPicturesShowSharpAtEveryOwnSizePlacement) {
    const QByteArray board = checkerboard_rgb_png(8000, 8000);
    struct placed {
        QString file;
        int position;   // 3: tiled as the background under a small picture
        double spread = 0;
    };
    std::vector<placed> shows;
    std::vector<lv::sequence_record> recs;
    for (int position : {4, 8, 12, 3}) {
        const QString file = box.path(QStringLiteral("board%1.png").arg(position));
        ASSERT_TRUE(lv::test::write_file(file, board));
        lv::sequence_record r = record(file.toStdString(), "", 24);
        if (position == 3) {
            r = record(picture.toStdString(), "", 24);
            r.display_position = 4;   // the top left corner; the check looks beside it
            r.background_file = file.toStdString();
        } else {
            r.display_position = position;
        }
        r.display_time = 2;
        shows.push_back({position == 3 ? picture : file, position});
        recs.push_back(r);
    }
    const QString top_down = box.path(QStringLiteral("top-down.bmp"));
    {
        QImage img(400, 300, QImage::Format_RGB32);   // red above, blue below
        img.fill(QColor(220, 30, 30));
        for (int y = 150; y < 300; ++y)
            for (int x = 0; x < 400; ++x) img.setPixel(x, y, qRgb(30, 30, 220));
        ASSERT_TRUE(lv::test::write_file(top_down, lv::test::bmp_with_header(img, 124, 24, true)));
    }
    recs.push_back(record(top_down.toStdString(), "", 24));
    recs.back().display_time = 30;
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const QPoint centre(screen.width() / 2, screen.height() / 2);
    bool upright = false;
    const show_result r = play(write_show(recs), [&](const QByteArray& log) {
        const qsizetype last = log.lastIndexOf("Display Picture: ");
        if (last < 0) return false;
        // The file, then the effect's numbers.
        const QByteArray now = log.mid(last + 17).split('\n').front();
        const auto is = [&now](const QString& file) { return now.startsWith(file.toUtf8() + ' '); };
        if (is(top_down)) {
            const QImage shot = lvtest::grab_screen();
            upright = lvtest::near(shot.pixelColor(centre - QPoint(0, 75)), QColor(220, 30, 30)) &&
                      lvtest::near(shot.pixelColor(centre + QPoint(0, 75)), QColor(30, 30, 220));
            return upright;
        }
        for (placed& p : shows) {
            if (!is(p.file)) continue;
            // Beside the small picture in the corner when tiled.
            const QRect look = p.position == 3 ? QRect(screen.width() - 300, screen.height() - 300, 200, 200)
                                               : QRect(centre - QPoint(100, 100), QSize(200, 200));
            p.spread = std::max(p.spread, screen_spread(look));
        }
        return false;
    }, lv::test::hang_guard_ms, 0);
    for (const placed& p : shows)
        EXPECT_GT(p.spread, 0.45) << "at position " << p.position << " the picture came out grey or not at all";
    EXPECT_TRUE(upright) << "the top-down bitmap did not show the right way up";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.peak_kb, 400 * 1024) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

TEST_F(HeavyInputShow, APictureThatRunsOutOfTimeIsTriedOnceAndTheShowGoesOn) {
    // Through a decoder that notes each call and holds itself stopped for
    // one picture, which the player stops at its time limit; and a metafile
    // that the decoder gives up on at its own time limit.
    const QString calls = box.path(QStringLiteral("calls.txt"));
    const QString held_by =
        box.wrapped_decoder("echo \"$*\" >> '" + calls.toUtf8() + "'\ncase \"$*\" in *held.png*) kill -STOP $$ ;; esac");
    ASSERT_FALSE(held_by.isEmpty());
    const lvtest::scoped_env env("LUMIVANE_DECODER", QFile::encodeName(held_by));
    const QString held = box.path(QStringLiteral("held.png")), slow = box.path(QStringLiteral("slow.wmf"));
    ASSERT_TRUE(QFile::copy(picture, held));
    ASSERT_TRUE(lv::test::write_file(slow, lv::test::filled_wmf(3000, 3000, 100)));
    for (const QString& first_file : {held, slow}) {
        SCOPED_TRACE(first_file.toStdString());
        QFile::remove(calls);
        QFile::remove(box.log_file());
        // The first picture is decoded ahead, while the show starts.
        lv::sequence_record first = record(first_file.toStdString(), "", 24);
        lv::sequence_record next = record(picture.toStdString(), "", 24);
        first.display_time = next.display_time = 1;
        const show_result r =
            play(write_show({first, next}), "Display Picture: " + picture.toUtf8(), lv::test::hang_guard_ms, 0);
        EXPECT_TRUE(r.reached) << "the picture after it never showed";
        ASSERT_TRUE(r.ended) << "the key press did not end the show";
        QFile f(calls);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().count(QFileInfo(first_file).fileName().toUtf8()), 1)
            << "decoded again after it ran out of time";
        // One time limit (10 s, and 1 s of grace), not two.
        EXPECT_LT(r.reached_ms, 19000) << "the next picture came " << r.reached_ms << " ms after the start";
    }
}

// Videos whose pictures are, or turn, larger than a video may have: each is
// stopped before a picture of that size is decoded. One that is too large
// from its start fails its load (the error banner); one that turns so later
// ends its slide. Either way the show goes on to the picture after it,
// memory stays bounded all along, and a key then ends the show at once.
TEST_F(HeavyInputShow, VideosOfPicturesTooLargeAreStoppedAndTheShowGoesOn) {
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) GTEST_SKIP() << "ffmpeg is not available";
    struct hostile {
        QString name;
        bool banner;   // refused at its start
    };
    const std::vector<hostile> videos = {
        {QString::fromLatin1(lv::test::huge_video), true},
        {QString::fromLatin1(lv::test::turns_huge_video), false},
        {QString::fromLatin1(lv::test::turns_8k_video), false},
        {QString::fromLatin1(lv::test::square_4k_video), true},
    };
    ASSERT_TRUE(lv::test::make_hostile_videos(QFileInfo(box.path(videos[0].name)).dir(), lv::test::hang_guard_ms));
    for (const hostile& v : videos) {
        SCOPED_TRACE(v.name.toStdString());
        const QString video = box.path(v.name);
        lv::sequence_record slide = record(video.toStdString(), "", 24), next = record(picture.toStdString(), "", 24);
        slide.display_time = next.display_time = 1;
        const QByteArray opened = "Display Video: " + video.toUtf8(), after = "Display Picture: " + picture.toUtf8();
        QFile::remove(box.log_file());   // the log of the show before
        bool shown = false, banner = false;
        // The log keeps its latest lines only: the video's may be gone when
        // the picture's comes.
        const show_result r = play(write_show({slide, next}), [&](const QByteArray& log) {
            shown = shown || log.contains(opened);
            banner = banner || (shown && log.contains("Display Error Banner: "));
            return shown && log.contains(after);
        }, lv::test::hang_guard_ms, 0);
        EXPECT_TRUE(r.reached) << "the show never went past the video";
        EXPECT_EQ(banner, v.banner);
        ASSERT_TRUE(r.ended) << "the key press did not end the show";
        EXPECT_LT(r.end_ms, end_bound_ms) << "ended " << r.end_ms << " ms after the key";
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_LT(r.peak_kb, 400 * 1024) << "peak resident memory " << r.peak_kb / 1024 << " MB";
    }
}

// A video within the limits plays to its end before the show goes on, with
// no banner: the guards that watch every picture let its pictures pass.
TEST_F(HeavyInputShow, AVideoWithinTheLimitsPlaysToItsEnd) {
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) GTEST_SKIP() << "ffmpeg is not available";
    const QString video = box.path(QStringLiteral("fine.mpg"));
    ASSERT_TRUE(lv::test::ffmpeg({"-f", "lavfi", "-i", "testsrc=s=640x480:r=25", "-t", "3", "-c:v", "libx264",
                                  "-preset", "ultrafast", "-f", "mpegts", video},
                                 lv::test::hang_guard_ms));
    lv::sequence_record slide = record(video.toStdString(), "", 24), next = record(picture.toStdString(), "", 24);
    slide.display_time = next.display_time = 1;
    const QByteArray opened = "Display Video: " + video.toUtf8(), after = "Display Picture: " + picture.toUtf8();
    QElapsedTimer since_video;
    qint64 video_ms = -1;
    bool banner = false;
    // The log keeps its latest lines only, and the wait for the video's end
    // writes many: the video's line may be gone when the picture's comes.
    const show_result r = play(write_show({slide, next}), [&](const QByteArray& log) {
        if (!since_video.isValid() && log.contains(opened)) since_video.start();
        if (!since_video.isValid()) return false;
        banner = banner || log.contains("Display Error Banner: ");
        if (!log.contains(after)) return false;
        video_ms = since_video.elapsed();
        return true;
    }, lv::test::hang_guard_ms, 0);
    EXPECT_TRUE(r.reached) << "the show never went past the video";
    EXPECT_FALSE(banner);
    // Three seconds of video against one second of display time: the show
    // waited for the video's end.
    EXPECT_GE(video_ms, 2500) << "the video ended after " << video_ms << " ms";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_LT(r.peak_kb, 400 * 1024) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

namespace {

// Pixels of r that equal their right or lower neighbour: none in a
// one-pixel checkerboard shown pixel for pixel.
int uneven_pixels(const QImage& img, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y < r.bottom(); ++y)
        for (int x = r.left(); x < r.right(); ++x)
            n += img.pixel(x, y) == img.pixel(x + 1, y) || img.pixel(x, y) == img.pixel(x, y + 1);
    return n;
}

// Pixels of a and b (the same size) that differ by more than a little.
int differing_pixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += !lvtest::near(a.pixelColor(x, y), b.pixelColor(x, y));
    return n;
}

}  // namespace

// The picture on the screen stays where it is, whole, while the next one
// decodes (slowed down here), and a key meanwhile leaves the screen as it
// was as the wallpaper: the old picture in its place under its caption. The
// next picture is slowed in its decode; one larger than the player keeps
// comes with its part on the screen from that decode.
TEST_F(HeavyInputShow, ThePictureStaysInPlaceWhileTheNextLoadsAndAKeyLeavesThatScreen) {
    box.write_settings({{"save_as_wallpaper", "1"}});
    const QColor red(220, 30, 30), blue(30, 30, 220);
    const QString first = solid_picture(QStringLiteral("first.png"), QSize(400, 300), red);
    const QString nexts[] = {solid_picture(QStringLiteral("slow.png"), QSize(200, 150), blue),
                             box.path(QStringLiteral("large.jpg"))};
    {
        QImage large(5000, 4000, QImage::Format_RGB32);   // more pixels than are kept
        large.fill(blue);
        ASSERT_TRUE(large.save(nexts[1], "JPG"));
    }
    const QString slowed = box.wrapped_decoder("case \"$*\" in *slow.png*|*large.jpg*) sleep 8 ;; esac");
    ASSERT_FALSE(slowed.isEmpty());
    const lvtest::scoped_env env("LUMIVANE_DECODER", QFile::encodeName(slowed));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const QPoint centre(screen.width() / 2, screen.height() / 2);
    const QRect place(centre - QPoint(200, 150), QSize(400, 300));
    for (const QString& next : nexts) {
        SCOPED_TRACE(next.toStdString());
        QFile::remove(box.log_file());
        lv::sequence_record one = record(first.toStdString(), "One", 24);
        one.display_time = 1;
        int samples = 0, moved = 0, gone = 0;
        QImage last;
        QElapsedTimer loading;
        const QByteArray shown = "Display Picture: " + next.toUtf8();
        const QString file = write_show({one, record(next.toStdString(), "Two", 24)});
        const show_result r = play(file, [&](const QByteArray& log) {
            if (!log.contains("Showing Image Array 2") || log.contains(shown)) return false;
            if (!loading.isValid()) loading.start();
            last = lvtest::grab_screen();
            ++samples;
            const auto red_at = [&](QPoint p) { return lvtest::near(last.pixelColor(p), red); };
            // Red only in its place: none in the corner or beside it.
            moved += red_at({5, 5}) || red_at(place.topLeft() / 2) || red_at({place.left() - 5, centre.y()});
            gone += !red_at(centre) || !red_at(place.topLeft() + QPoint(2, 2)) ||
                    !red_at(place.bottomRight() - QPoint(2, 2));
            // A second of the load watched; the key comes while it goes on.
            return loading.elapsed() > 1000;
        }, 60000, 0);
        EXPECT_TRUE(r.reached) << "the show never got to its second picture";
        ASSERT_TRUE(r.ended) << "the key press did not end the show";
        EXPECT_GT(samples, 5);
        EXPECT_EQ(moved, 0) << moved << " of " << samples << " looks showed the picture out of its place";
        EXPECT_EQ(gone, 0) << gone << " of " << samples << " looks missed the picture in its place";
        QImage wallpaper(box.wallpaper_file());
        ASSERT_FALSE(wallpaper.isNull()) << "no wallpaper saved";
        ASSERT_EQ(wallpaper.size(), last.size());
        EXPECT_TRUE(lvtest::near(wallpaper.pixelColor(centre), red));
        EXPECT_LT(differing_pixels(wallpaper.convertToFormat(QImage::Format_RGB32),
                                   last.convertToFormat(QImage::Format_RGB32)),
                  screen.width() * screen.height() / 200)
            << "the wallpaper is not the screen as it was";
        QFile::remove(box.wallpaper_file());
    }
}

// At a scale of 1.25 a picture at its own size and a tiled background show
// one of their pixels on one of the screen's: a one-pixel checkerboard
// stays one, and the picture covers no more of the screen than its pixels.
TEST_F(HeavyInputShow, AtAnyScaleOwnSizeAndTilesAreTheScreensPixels) {
    const lvtest::scoped_env env("QT_SCALE_FACTOR", "1.25");
    const QString board = box.path(QStringLiteral("board.png"));
    ASSERT_TRUE(lv::test::write_file(board, checkerboard_png(200, 200)));
    lv::sequence_record own = record(board.toStdString(), "", 24), tiled = record(picture.toStdString(), "", 24);
    own.display_position = 4;
    own.display_time = 2;
    tiled.display_position = 12;
    tiled.background_file = board.toStdString();
    tiled.display_time = 30;
    int own_uneven = -1, own_beyond = -1, tiled_uneven = -1;
    const show_result r = play(write_show({own, tiled}), [&](const QByteArray& log) {
        if (!log.contains("Display Picture: " + board.toUtf8())) return false;
        const QImage shot = lvtest::grab_screen();
        if (!log.contains("Showing Image Array 2")) {
            // Its 200 pixels, and the black window right of and below them.
            own_uneven = uneven_pixels(shot, QRect(0, 0, 200, 200));
            own_beyond = 0;
            for (int i = 0; i < 200; ++i)
                own_beyond +=
                    shot.pixel(200 + i % 40, i) != qRgb(0, 0, 0) || shot.pixel(i, 200 + i % 40) != qRgb(0, 0, 0);
            return false;
        }
        if (!log.contains("Display Picture: " + picture.toUtf8())) return false;
        tiled_uneven = uneven_pixels(shot, QRect(0, 0, 300, 300));
        return tiled_uneven == 0;
    }, 30000, 0);
    EXPECT_TRUE(r.reached) << "the tiled background never came out one-pixel";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_EQ(own_uneven, 0) << "at its own size the squares came out uneven";
    EXPECT_EQ(own_beyond, 0) << "at its own size the picture covers more than its pixels";
    EXPECT_EQ(tiled_uneven, 0) << "tiled, the squares came out uneven";
}
