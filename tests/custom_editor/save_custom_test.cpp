// "&Save And Exit": the checks before writing, the file it writes (which the
// loader must read back as it was), and what is left behind on failure.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "core/slideshow_file.h"
#include "custom_editor/frmCustom.h"
#include "tests/custom_editor/frmCustom_fixture.h"

using namespace lvtest;

namespace {

class SaveCustom : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        lv::doc().custom_name = "Summer";
        for (int n = 1; n <= 5; ++n) rec[n] = add_sequence(picture(QString("pic%1.png").arg(n)), n);
    }
    std::string target(const std::string& name) const { return lv::program().data_folder + name + ".lmv"; }
    static std::string read_all(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }
    bool data_folder_empty() const {
        return QDir(QString::fromStdString(lv::program().data_folder)).entryList(QDir::Files).isEmpty();
    }
    lv::sequence_record rec[6];
};

TEST_F(SaveCustom, WritesAFileTheLoaderReadsBackIdenticallyAndCloses) {
    auto& d = lv::doc();
    d.music_count = 2;
    lv::redim_music(2);
    d.music_files[1] = "/music/one.mid";
    d.music_files[2] = "/music/two, with comma.mp3";
    d.cd_track = 3;
    d.border.border_off = 0;
    d.border.border_middle_width = 7;
    auto* w = open_editor(true);
    w->Text3->setText("Summer 2026");
    w->Command21->click();
    flush_deletes();

    const std::string path = target("Summer 2026");
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));
    EXPECT_EQ(lv::settings().active_slideshow, "Summer 2026.lmv");
    EXPECT_EQ(lv::editors().custom_editor_open, 0);
    EXPECT_TRUE(editor.isNull());

    // Read it back into a cleared document.
    lv::new_custom_defaults();
    ASSERT_EQ(lv::load_custom_file(path), 0);
    EXPECT_EQ(d.custom_name, "Summer 2026");
    ASSERT_EQ(d.image_count, 5);
    for (int i = 1; i <= 5; ++i) EXPECT_TRUE(same(seq(i), rec[i])) << i;
    EXPECT_EQ(d.music_count, 2);
    EXPECT_EQ(d.music_files[2], "/music/two, with comma.mp3");
    EXPECT_EQ(d.cd_track, 3);
    EXPECT_EQ(d.border.border_off, 0);
    EXPECT_EQ(d.border.border_middle_width, 7);
    EXPECT_EQ(read_all(path).substr(0, 20), "\"Lumivane\",\"6.0.11\",");
}

TEST_F(SaveCustom, EveryMissingPictureGetsItsOwnBoxAndNothingIsWritten) {
    auto* w = open_editor(true);
    QFile::remove(QString::fromStdString(rec[2].image_file));
    // A file of one byte counts as missing too.
    {
        QFile f(QString::fromStdString(rec[5].image_file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("x");
    }
    auto first = std::make_shared<seen_box>();
    auto second = std::make_shared<seen_box>();
    // The second box appears only once the first has been answered.
    when_modal<QMessageBox>([first, second](QMessageBox* box) {
        first->title = box->windowTitle().toStdString();
        first->text = box->text().toStdString();
        answer_message_box(second);
        box->done(QMessageBox::Ok);
    });
    w->Command21->click();
    EXPECT_EQ(first->title, "File Not Found! (Image 2)");
    EXPECT_EQ(first->text, rec[2].image_file + "\n\nThis file is missing! Please select a new image.");
    EXPECT_EQ(second->title, "File Not Found! (Image 5)");
    EXPECT_TRUE(data_folder_empty());
    EXPECT_EQ(lv::editors().custom_editor_open, 1);
    EXPECT_FALSE(editor.isNull());
    EXPECT_TRUE(lv::settings().active_slideshow.empty());
}

TEST_F(SaveCustom, AnEmptyNameIsRefused) {
    auto* w = open_editor(true);
    w->Text3->clear();
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->Command21->click();
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_EQ(box->text, "Please enter a name for this slideshow!");
    EXPECT_TRUE(data_folder_empty());
    EXPECT_EQ(lv::editors().custom_editor_open, 1);
}

TEST_F(SaveCustom, AnExistingFileOfThatNameIsReplacedWithoutAQuestion) {
    const std::string path = target("Summer");
    {
        std::ofstream f(path, std::ios::binary);
        f << "old contents";
    }
    auto* w = open_editor(true);
    w->save_and_exit();
    flush_deletes();
    EXPECT_NE(read_all(path), "old contents");
    EXPECT_EQ(lv::settings().active_slideshow, "Summer.lmv");
    lv::new_custom_defaults();
    EXPECT_EQ(lv::load_custom_file(path), 0);
    EXPECT_EQ(lv::doc().image_count, 5);
}

// A show kept elsewhere and linked into the data folder is saved into the
// person's own file, which the link keeps naming: through a chain of links,
// relative ones read from the link's own folder, and also when the file at
// its end is not there yet.
TEST_F(SaveCustom, AShowLinkedIntoTheDataFolderIsSavedWhereTheLinkLeads) {
    const QString shows = dir.path() + "/shows";
    ASSERT_TRUE(QDir().mkpath(shows));
    const QString own = shows + "/x.lmv";
    {
        QFile f(own);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    const QString link = QString::fromStdString(target("Summer"));
    ASSERT_TRUE(QFile::link(own, link));
    const QString chained = QString::fromStdString(target("Winter"));
    ASSERT_TRUE(QFile::link("../shows/winter link.lmv", chained));
    ASSERT_TRUE(QFile::link("winter.lmv", shows + "/winter link.lmv"));

    auto* w = open_editor(true);
    w->Command21->click();
    flush_deletes();
    ASSERT_TRUE(editor.isNull());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_NE(read_all(own.toStdString()), "old contents");
    lv::new_custom_defaults();
    ASSERT_EQ(lv::load_custom_file(own.toStdString()), 0);
    EXPECT_EQ(lv::doc().image_count, 5);

    w = open_editor(true);
    w->Text3->setText("Winter");
    w->Command21->click();
    flush_deletes();
    ASSERT_TRUE(editor.isNull());
    EXPECT_TRUE(QFileInfo(chained).isSymLink());
    EXPECT_TRUE(QFileInfo(shows + "/winter link.lmv").isSymLink());
    lv::new_custom_defaults();
    ASSERT_EQ(lv::load_custom_file((shows + "/winter.lmv").toStdString()), 0);
    EXPECT_EQ(lv::doc().custom_name, "Winter");
    // Nothing of the save is left in either folder.
    for (const QString& folder : {shows, QString::fromStdString(lv::program().data_folder)})
        for (const QString& name : QDir(folder).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot))
            EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
}

TEST_F(SaveCustom, WithoutMusicTheFileEndsAtTheMusicCount) {
    auto* w = open_editor(true);
    w->save_and_exit();
    flush_deletes();
    const std::string text = read_all(target("Summer"));
    ASSERT_GE(text.size(), 8u);
    // ... the CD track line, then the music count 0, and nothing after it.
    EXPECT_EQ(text.substr(text.size() - 6), "0\r\n0\r\n");
}

TEST_F(SaveCustom, AWriteFailureSaysSoKeepsTheEditorOpenAndTheOldFile) {
    const std::string path = target("Summer");
    {
        std::ofstream f(path, std::ios::binary);
        f << "old contents";
    }
    auto* w = open_editor(true);
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    {
        // A medium that takes no more than 64 bytes per file (as a full disk
        // would): the write itself fails, even for root.
        void (*const saved_signal)(int) = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved_limit{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
        rlimit small = saved_limit;
        small.rlim_cur = 64;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        w->Command21->click();
        setrlimit(RLIMIT_FSIZE, &saved_limit);
        std::signal(SIGXFSZ, saved_signal);
    }
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_EQ(box->text, "Error During File Save! Please check storage media.");
    EXPECT_EQ(read_all(path), "old contents");
    EXPECT_EQ(lv::editors().custom_editor_open, 1);
    EXPECT_TRUE(lv::settings().active_slideshow.empty());
    EXPECT_EQ(lv::doc().image_count, 5);
}

// Captions have no length limit, but no loader opens a file over the limit:
// such a show is refused at save, and the last good file stays loadable.
TEST_F(SaveCustom, AShowTooLargeToOpenAgainIsRefusedAndTheOldFileKept) {
    auto* w = open_editor(true);
    w->save_custom(target("Summer"));
    const std::string before = read_all(target("Summer"));
    const std::size_t each = lv::max_slideshow_file_bytes / 5 + 1;
    for (int i = 1; i <= 5; ++i) lv::doc().sequences.caption_text[static_cast<std::size_t>(i)] = std::string(each, 'c');
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->Command21->click();
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_NE(box->text.find("too large to save"), std::string::npos) << box->text;
    EXPECT_NE(box->text.find("64 MB"), std::string::npos) << box->text;
    EXPECT_EQ(read_all(target("Summer")), before);
    EXPECT_EQ(QDir(QString::fromStdString(lv::program().data_folder)).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_EQ(lv::editors().custom_editor_open, 1);
    EXPECT_TRUE(lv::settings().active_slideshow.empty());
    lv::new_custom_defaults();
    EXPECT_EQ(lv::load_custom_file(target("Summer")), 0);
    EXPECT_EQ(lv::doc().image_count, 5);
}

TEST_F(SaveCustom, ANameThatIsNoFileNameOrAMissingDataFolderEndsInTheStorageMessage) {
    auto* w = open_editor(true);
    for (const char* name : {"sub/dir", "back\\slash"}) {
        w->Text3->setText(name);
        auto box = std::make_shared<seen_box>();
        answer_message_box(box);
        w->Command21->click();
        EXPECT_EQ(box->text, "Error During File Save! Please check storage media.") << name;
        EXPECT_EQ(lv::editors().custom_editor_open, 1);
    }
    EXPECT_TRUE(data_folder_empty());

    w->Text3->setText("Fine");
    QDir(QString::fromStdString(lv::program().data_folder)).removeRecursively();
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->Command21->click();
    EXPECT_EQ(box->text, "Error During File Save! Please check storage media.");
    EXPECT_FALSE(editor.isNull());
}

TEST_F(SaveCustom, SaveCustomReportsItsResult) {
    auto* w = open_editor(true);
    EXPECT_EQ(w->save_custom(target("Direct")), 0);
    EXPECT_EQ(w->save_custom(dir.path().toStdString() + "/no/such/folder/x.lmv"), 1);
    // Saving wrote only the file; the editor stays open.
    EXPECT_EQ(lv::editors().custom_editor_open, 1);
    EXPECT_TRUE(lv::settings().active_slideshow.empty());
}

}  // namespace
