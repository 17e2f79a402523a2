// The demo slideshow that ships with the project: its media script makes
// every file the slideshow names, and the file loads as a custom slideshow
// with captions, backgrounds, transitions, a sound and background music.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/document.h"
#include "core/file_names.h"
#include "core/slideshow_file.h"

namespace {

std::filesystem::path demo_dir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "assets" / "demo";
}

}  // namespace

TEST(DemoSlideshow, MediaAndSlideshowFileFitTogether) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString media = tmp.filePath("Demo Media");

    QProcess make;
    make.start("bash", {QString::fromStdString((demo_dir() / "make_demo_media.sh").string()), media});
    ASSERT_TRUE(make.waitForFinished(120000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();

    // What tools/demo.sh does: fill in the folder, end lines in CR LF.
    QFile in(QString::fromStdString((demo_dir() / "Lumivane Demo.lmv.in").string()));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(in.readAll());
    text.replace("@MEDIA@", media);
    text.replace("\n", "\r\n");
    const QString show = tmp.filePath("Lumivane Demo.lmv");
    {
        QFile out(show);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text.toUtf8());
    }

    ASSERT_EQ(lv::read_slideshow_kind(show.toStdString()).value_or(""), "Custom");
    ASSERT_EQ(lv::load_custom_file(show.toStdString()), 0);
    const auto& d = lv::doc();
    EXPECT_EQ(d.custom_name, "Lumivane Demo");
    ASSERT_EQ(d.image_count, 4);
    ASSERT_EQ(d.music_count, 1);
    EXPECT_TRUE(lv::file_exists(d.music_files[1]));
    EXPECT_EQ(d.border.border_off, 0);

    std::set<int> effects;
    std::set<std::string> backgrounds;
    for (int i = 1; i <= d.image_count; ++i) {
        auto s = d.sequences.get(i);
        EXPECT_TRUE(lv::file_exists(s.image_file)) << s.image_file;
        EXPECT_FALSE(QImage(QString::fromStdString(s.image_file)).isNull()) << s.image_file;
        EXPECT_FALSE(s.caption_text.empty()) << i;
        EXPECT_GE(s.display_effect, 2) << i;
        effects.insert(s.display_effect);
        backgrounds.insert(s.background_file);
        if (!s.audio_file.empty()) {
            EXPECT_TRUE(lv::file_exists(s.audio_file)) << s.audio_file;
        }
        if (!s.background_file.empty() && s.background_file != lv::gradient_background) {
            EXPECT_FALSE(QImage(QString::fromStdString(s.background_file)).isNull()) << s.background_file;
        }
    }
    EXPECT_EQ(effects.size(), 4u);         // a different transition for each picture
    EXPECT_GE(backgrounds.size(), 3u);     // gradient, tiled and stretched backgrounds
    EXPECT_EQ(d.sequences.get(1).audio_file, (media + "/chime.wav").toStdString());
}
