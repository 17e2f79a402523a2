// The player of a slideshow file named on the command line: the splash, the
// three failure messages, and which document reaches the player.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/document.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "modal_watch.h"
#include "player/frmTitle2.h"

using lvtest::seen_box;

namespace {

class FilePlayerTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    lv::memory_settings_store store;
    struct play_seen {
        int plays = 0;
        int origin = -1;
        int image_count = -1;
        std::string path_in_run = "<unset>";
        std::string first_image;
    } seen;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        lv::set_settings_store(&store);
        lv::settings() = lv::config_settings{};
        lv::run() = lv::run_flags{};
        lv::run().screensaver_slideshow_path = "stale";
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::new_custom_defaults();
        lv::new_random_defaults();
        lv::frmTitle2::play_show = [this] {
            ++seen.plays;
            seen.origin = lv::run().show_origin;
            seen.image_count = lv::doc().image_count;
            seen.path_in_run = lv::run().screensaver_slideshow_path;
            if (lv::doc().image_count > 0) seen.first_image = lv::doc().sequences.image_file[1];
        };
    }
    void TearDown() override {
        lv::frmTitle2::play_show = nullptr;
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
    }

    std::string path(const std::string& name) { return tmp.filePath(QString::fromStdString(name)).toStdString(); }

    std::string picture(const std::string& name) {
        QImage img(64, 48, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        EXPECT_TRUE(img.save(QString::fromStdString(path(name))));
        return path(name);
    }

    std::string custom_file(const std::string& name, int images) {
        lv::new_custom_defaults();
        lv::doc().custom_name = "Test";
        lv::redim_slides(images);
        lv::doc().image_count = images;
        for (int i = 1; i <= images; ++i)
            lv::doc().sequences.set(i, lv::default_sequence(picture("p" + std::to_string(i) + ".png")));
        EXPECT_EQ(lv::write_custom_file(path(name)), 0);
        lv::new_custom_defaults();   // the file player must load it itself
        return path(name);
    }

    std::string simple_file(const std::string& name, const std::string& folder) {
        lv::new_random_defaults();
        lv::doc().random_name = "Simple";
        lv::doc().random_folder_counts[0] = 1;
        lv::doc().random_folders[0][1] = folder;
        EXPECT_EQ(lv::save_random(path(name)), 0);
        lv::new_random_defaults();
        lv::new_custom_defaults();
        return path(name);
    }

    std::shared_ptr<seen_box> play(const std::string& file) {
        auto box = std::make_shared<seen_box>();
        QPointer<QTimer> watcher = lvtest::when_modal<QMessageBox>(
            [box](QMessageBox* m) {
                box->title = m->windowTitle().toStdString();
                box->text = m->text().toStdString();
                box->buttons = static_cast<int>(m->buttons().size());
                m->done(QMessageBox::Ok);
            },
            lvtest::hang_guard_ms, false);
        lv::frmTitle2 form(file);
        form.play_selected(file);
        EXPECT_FALSE(form.isVisible());
        delete watcher.data();
        return box;
    }
};

}  // namespace

TEST_F(FilePlayerTest, SplashShowsForThreeSecondsThenPlaysAndCloses) {
    const std::string file = custom_file("My Show.lmv", 2);
    lv::frmTitle2 form(file);
    EXPECT_EQ(form.windowTitle(), "Lumivane - SlideShow Player");
    EXPECT_EQ(form.Label1->text(), "Initializing...please wait.");
    EXPECT_EQ(form.Timer1->interval(), 3000);
    EXPECT_TRUE(form.Timer1->isSingleShot());
    EXPECT_EQ(form.path(), file);
    form.Timer1->setInterval(20);
    form.exec();   // returns once the show is over
    EXPECT_EQ(seen.plays, 1);
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST_F(FilePlayerTest, CustomFilePlaysAsTheUsersShow) {
    const std::string file = custom_file("Holiday pictures.lmv", 3);
    auto box = play(file);
    EXPECT_TRUE(box->title.empty()) << box->text;
    EXPECT_EQ(seen.plays, 1);
    EXPECT_EQ(seen.origin, 1);
    EXPECT_EQ(seen.image_count, 3);
    EXPECT_EQ(seen.first_image, path("p1.png"));
    EXPECT_EQ(seen.path_in_run, "");   // the document in memory is played
    EXPECT_EQ(lv::run().show_origin, 0);
}

TEST_F(FilePlayerTest, SimpleFileIsBuiltThenPlayed) {
    QDir(tmp.path()).mkdir("pics");
    QImage img(32, 32, QImage::Format_RGB32);
    img.fill(Qt::red);
    ASSERT_TRUE(img.save(tmp.filePath("pics/a.jpg")));
    ASSERT_TRUE(img.save(tmp.filePath("pics/b.png")));
    const std::string file = simple_file("simple.LMV", path("pics") + "/");
    auto box = play(file);
    EXPECT_TRUE(box->title.empty()) << box->text;
    EXPECT_EQ(seen.plays, 1);
    EXPECT_EQ(seen.origin, 1);
    EXPECT_EQ(seen.image_count, 2);

    // A folder without pictures still plays: the player shows its placeholder.
    QDir(tmp.path()).mkdir("empty");
    const std::string none = simple_file("none.lmv", path("empty") + "/");
    box = play(none);
    EXPECT_TRUE(box->title.empty()) << box->text;
    EXPECT_EQ(seen.plays, 2);
    EXPECT_EQ(seen.image_count, 0);
}

TEST_F(FilePlayerTest, MissingFileIsReportedWithItsPath) {
    const std::string file = path("not here.lmv");
    auto box = play(file);
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_EQ(box->text, "SlideShow File Not Found!\n\n" + file);
    EXPECT_EQ(box->buttons, 1);
    EXPECT_EQ(seen.plays, 0);
}

TEST_F(FilePlayerTest, UnreadableOrDamagedFilesAreLoadErrors) {
    // Too short to hold a header: it exists, but no kind can be read.
    {
        QFile f(tmp.filePath("short.lmv"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\"Lum");
    }
    auto box = play(path("short.lmv"));
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_EQ(box->text, "Error loading SlideShow data! Please check file.");

    // A custom file cut inside its sequences.
    const std::string full = custom_file("cut.lmv", 3);
    {
        QFile f(QString::fromStdString(full));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.resize(f.size() / 2);
    }
    box = play(full);
    EXPECT_EQ(box->text, "Error loading SlideShow data! Please check file.");

    // A simple file whose folder count is out of range.
    {
        QFile f(tmp.filePath("bad simple.lmv"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\"Lumivane\",\"6.0.11\",\"Simple\",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \",\" \"\r\n"
                "\"x\"\r\n1,8,15,1,3,8,15,2,4,1,2\r\n1,1,10,1\r\n1,0,16,\"Arial\",7,3,16777215,0\r\n"
                "101\r\n");
    }
    box = play(path("bad simple.lmv"));
    EXPECT_EQ(box->text, "Error loading SlideShow data! Please check file.");

    // A file nobody may read (meaningless for root, who reads everything).
    if (geteuid() != 0) {
        const std::string locked = custom_file("locked.lmv", 1);
        QFile::setPermissions(QString::fromStdString(locked), QFileDevice::WriteOwner);
        box = play(locked);
        EXPECT_EQ(box->text, "Error loading SlideShow data! Please check file.");
    }
    EXPECT_EQ(seen.plays, 0);
}
