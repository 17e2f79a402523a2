// Captions and error banners far longer than the screen, end to end: the
// lumivane executable plays a generated slideshow file on a real X server,
// a key press must still end it at once, and memory must stay bounded.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "player/xvfb_program.h"
#include "proc_status.h"
#include "qt_wait.h"
#include "core/document.h"
#include "core/effects.h"
#include "core/slideshow_file.h"
#include "platform/ini_store.h"

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
    bool reached = false;    // the log reached the line that triggers the key
    bool ended = false;      // the process ended after the key
    qint64 end_ms = 0;       // key to exit
    long peak_kb = 0;        // highest VmHWM seen
    int exit_code = -1;
};

class LongCaptionShow : public ::testing::Test {
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

    // Plays the file, waits until the diagnostic log holds `trigger` (for
    // at most wait_ms) and then for `then_ms` more, presses a key and waits
    // for the program to end.
    show_result play(const QString& file, const QByteArray& trigger, int wait_ms, int then_ms) {
        show_result r;
        QProcess proc;
        box.start(proc, {file});
        if (!proc.waitForStarted(5000)) return r;
        const qint64 pid = proc.processId();
        const QString log_path = box.log_file();
        auto log_has = [&] {
            QFile log(log_path);
            return log.open(QIODevice::ReadOnly) && log.readAll().contains(trigger);
        };
        r.reached = wait_for([&] {
            r.peak_kb = std::max(r.peak_kb, peak_rss_kb(pid));
            return proc.state() != QProcess::Running || log_has();
        }, wait_ms) && proc.state() == QProcess::Running;
        // The key lands while the show is busy with what follows the trigger.
        wait_for([&] {
            r.peak_kb = std::max(r.peak_kb, peak_rss_kb(pid));
            return proc.state() != QProcess::Running;
        }, then_ms);
        QElapsedTimer t;
        t.start();
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("a")});
        r.ended = wait_for([&] {
            r.peak_kb = std::max(r.peak_kb, peak_rss_kb(pid));
            return proc.state() != QProcess::Running;
        }, 20000);
        r.end_ms = t.elapsed();
        std::printf("key to exit %lld ms, peak resident memory %ld MB\n", static_cast<long long>(r.end_ms),
                    r.peak_kb / 1024);
        if (!r.ended) {
            proc.kill();
            proc.waitForFinished(3000);
        } else {
            proc.waitForFinished(1000);
            r.exit_code = proc.exitCode();
        }
        return r;
    }

    lvtest::program_sandbox box;
    QString picture;
};

constexpr long memory_limit_kb = 300 * 1024;
// Ending takes well under a second; the bound only tells a hang from a
// busy machine.
constexpr qint64 end_bound_ms = 8000;

}  // namespace

TEST_F(LongCaptionShow, AHugeCaptionAtALargeSizeStillEndsOnAKey) {
    const QString file = write_show({record(picture.toStdString(), long_text(1 << 20), 72),
                                     record(picture.toStdString(), long_text(3000), 16)});
    const show_result r = play(file, "Going To Case 4", 30000, 400);
    EXPECT_TRUE(r.reached) << "the show never reached its caption";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.end_ms, end_bound_ms) << "ended " << r.end_ms << " ms after the key";
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_GT(r.peak_kb, 0);
    EXPECT_LT(r.peak_kb, memory_limit_kb) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

TEST_F(LongCaptionShow, AKeyDuringTheSecondLongCaptionEndsTheShow) {
    // The first caption has been drawn; the key lands while the second is.
    const QString file = write_show({record(picture.toStdString(), long_text(3000), 16),
                                     record(picture.toStdString(), long_text(20000), 40)});
    const show_result r = play(file, "Showing Image Array 2", 30000, 600);
    EXPECT_TRUE(r.reached) << "the show never went on to its second image";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.end_ms, end_bound_ms) << "ended " << r.end_ms << " ms after the key";
    EXPECT_LT(r.peak_kb, memory_limit_kb) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}

TEST_F(LongCaptionShow, AMegabyteMissingPicturePathInTheBannerStaysSmall) {
    const std::string missing = box.path(QString()).toStdString() + long_text(1 << 20) + ".jpg";
    const QString file = write_show({record(missing, long_text(1000), 24),
                                     record(picture.toStdString(), "short", 24)});
    const show_result r = play(file, "Going To Case 7", 30000, 0);
    EXPECT_TRUE(r.reached) << "the show never got past its error banner";
    ASSERT_TRUE(r.ended) << "the key press did not end the show";
    EXPECT_LT(r.end_ms, end_bound_ms) << "ended " << r.end_ms << " ms after the key";
    EXPECT_LT(r.peak_kb, memory_limit_kb) << "peak resident memory " << r.peak_kb / 1024 << " MB";
}
