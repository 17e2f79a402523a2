// Where the folder browsers open: the pickers' folder list and the simple
// editor's folder trees show the open folder (scrolled into view and
// selected), a browser that was never pointed anywhere opens in the user's
// Pictures or Music folder instead of the program's own, and both offer the
// same list of places.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QImage>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

#include <string>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "custom_editor/frmAddmusic.h"
#include "custom_editor/frmAddwav.h"
#include "custom_editor/frmGetimage.h"
#include "platform/desktop/places.h"
#include "player/modal_watch.h"
#include "simple_editor/frmRandom.h"
#include "tests/qt_wait.h"
#include "scoped_env.h"

namespace {

class FolderPlaces : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        // A home of our own, without a user-dirs file: Pictures and Music
        // are then the folders of those names in it.
        home = path("home");
        QDir().mkpath(QString::fromStdString(home));
        env.set("HOME", QByteArray::fromStdString(home));
        env.set("XDG_CONFIG_HOME", QByteArray::fromStdString(home + "/.config"));
        program_folder = path("app");
        QDir().mkpath(QString::fromStdString(program_folder));
        auto& p = lv::program();
        p.program_folder = program_folder + "/";
        p.last_folder = p.last_music_folder = p.last_sound_folder = p.program_folder;
        for (auto& f : p.last_random_folders) f = p.program_folder;

        store.values[lv::message_setting_key(6)] = "1";
        store.values[lv::message_setting_key(9)] = "1";
        store.values[lv::message_setting_key(10)] = "1";
        lv::set_settings_store(&store);
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::editors() = lv::editor_state{};
        lv::new_custom_defaults();
        lv::new_random_defaults();
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        lv::hooks().yield_events = nullptr;
        lv::set_settings_store(nullptr);
    }

    std::string path(const std::string& rel) const { return tmp.path().toStdString() + "/" + rel; }
    static std::string mkdir(const std::string& p) {
        EXPECT_TRUE(QDir().mkpath(QString::fromStdString(p)));
        return p;
    }
    static void touch_picture(const std::string& file) {
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::blue);
        img.save(QString::fromStdString(file), "PNG");
    }

    QTemporaryDir tmp;
    lvtest::scoped_env env;
    std::string home, program_folder;
    lv::memory_settings_store store;
};

TEST_F(FolderPlaces, PickersNeverPointedAnywhereOpenInPicturesOrMusicThenHome) {
    const std::string pictures = mkdir(home + "/Pictures");
    const std::string music = mkdir(home + "/Music");
    {
        lv::frmGetimage dlg;
        EXPECT_EQ(dlg.Dir1->path(), pictures);
        EXPECT_EQ(dlg.File1->path(), pictures);
        dlg.reject();
    }
    // Closing remembers where the picker was: the next one opens there.
    EXPECT_EQ(lv::program().last_folder, pictures);
    {
        lv::frmAddwav dlg;
        EXPECT_EQ(dlg.Dir1->path(), music);
    }
    {
        lv::frmAddmusic dlg;
        EXPECT_EQ(dlg.Dir1->path(), music);
    }
    // Without a Music folder the home folder stands in.
    QDir(QString::fromStdString(music)).removeRecursively();
    lv::program().last_sound_folder = lv::program().program_folder;
    {
        lv::frmAddwav dlg;
        EXPECT_EQ(dlg.Dir1->path(), home);
    }
    // A program folder that holds pictures (samples beside the program) is kept.
    touch_picture(program_folder + "/sample.png");
    lv::program().last_folder = lv::program().program_folder;
    {
        lv::frmGetimage dlg;
        EXPECT_EQ(dlg.Dir1->path(), program_folder);
    }
}

TEST_F(FolderPlaces, PickerFolderListShowsADeepOpenFolder) {
    std::string deep = path("d");
    for (int i = 0; i < 40; ++i) deep += "/level" + std::to_string(i);
    mkdir(deep);
    for (int i = 0; i < 30; ++i) mkdir(deep + "/sub" + std::to_string(i));
    lv::program().last_folder = deep;
    lv::frmGetimage dlg;
    dlg.show();
    ASSERT_TRUE(lv::test::wait_for([&dlg] { return dlg.isVisible(); }));
    QListWidgetItem* open = dlg.Dir1->currentItem();
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->data(Qt::UserRole).toString().toStdString(), deep);
    EXPECT_TRUE(open->isSelected());
    // Its row is in view, and so is the end of the row, the folder's name
    // after the indentation.
    const QRect shown = dlg.Dir1->visualItemRect(open);
    const QPoint name_end(shown.right(), shown.center().y());
    EXPECT_TRUE(dlg.Dir1->viewport()->rect().contains(name_end))
        << "open folder ends at " << name_end.x() << "," << name_end.y() << " in " << dlg.Dir1->viewport()->width()
        << "x" << dlg.Dir1->viewport()->height();
    EXPECT_GT(dlg.Dir1->verticalScrollBar()->value(), 0);
    dlg.reject();
}

// The open folder of panel k of the simple editor, and whether it can be seen.
struct tree_view_state {
    std::string current;
    bool in_view = false;
};

tree_view_state panel_state(lv::frmRandom* w, int k) {
    tree_view_state s;
    QTreeView* tree = w->Dir1[static_cast<std::size_t>(k)];
    const QModelIndex cur = tree->currentIndex();
    if (!cur.isValid()) return s;
    s.current = static_cast<QFileSystemModel*>(tree->model())->filePath(cur).toStdString();
    const QRect r = tree->visualRect(cur);
    s.in_view = !r.isEmpty() && tree->viewport()->rect().contains(r.center());
    return s;
}

TEST_F(FolderPlaces, SimpleEditorTreesShowTheRememberedFolderSelectedAndInView) {
    // Many sibling folders above and below the remembered one, so that a
    // tree left at the top of "/" could not show it.
    const std::string many = mkdir(path("many"));
    for (int i = 0; i < 150; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d", i);
        mkdir(many + "/" + name);
    }
    const std::string wanted = many + "/f120";
    lv::program().last_random_folders[0] = wanted + "/";
    lv::program().last_random_folders[1] = many + "/f005/";
    const std::string pictures = mkdir(home + "/Pictures");
    const std::string music = mkdir(home + "/Music");

    QPointer<lv::frmRandom> w = new lv::frmRandom;
    w->show();
    const bool shown = lv::test::wait_for(
        [&w] { return panel_state(w, 0).in_view && panel_state(w, 1).in_view && panel_state(w, 2).in_view; });
    EXPECT_TRUE(shown);
    EXPECT_EQ(panel_state(w, 0).current, wanted);
    EXPECT_TRUE(panel_state(w, 0).in_view);
    EXPECT_EQ(panel_state(w, 1).current, many + "/f005");
    EXPECT_TRUE(panel_state(w, 1).in_view);
    // The music panel was never pointed anywhere: the user's Music folder.
    EXPECT_EQ(panel_state(w, 2).current, music);
    EXPECT_EQ(w->file_folder(2), music + "/");
    EXPECT_TRUE(panel_state(w, 2).in_view);
    // Still in view once the model has finished reading and sorting.
    lvtest::spin(300);
    EXPECT_TRUE(panel_state(w, 0).in_view);
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    (void)pictures;
}

TEST_F(FolderPlaces, BothEditorsOfferTheSamePlacesWithTheSameLabels) {
    const auto places = lv::place_list();
    ASSERT_GE(places.size(), 2u);
    EXPECT_EQ(places.front().path, "/");
    EXPECT_EQ(places.back().path, home);
    EXPECT_EQ(places.back().label, "Home (" + home + ")");
    EXPECT_EQ(lv::storage_place_of(home + "/Pictures/x"), home);
    EXPECT_EQ(lv::storage_place_of("/usr/bin"), "/");

    lv::frmGetimage picker;
    QPointer<lv::frmRandom> editor = new lv::frmRandom;
    ASSERT_EQ(picker.Drive1->count(), static_cast<int>(places.size()));
    for (int k = 0; k < 3; ++k) {
        QComboBox* drives = editor->Drive1[static_cast<std::size_t>(k)];
        ASSERT_EQ(drives->count(), static_cast<int>(places.size()));
        for (int i = 0; i < drives->count(); ++i) {
            EXPECT_EQ(drives->itemText(i), picker.Drive1->itemText(i));
            EXPECT_EQ(drives->itemText(i).toStdString(), places[static_cast<std::size_t>(i)].label);
        }
    }
    editor->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
