// The hot-key editor: what it shows, what its file dialog hands back, and
// that every way of closing stores the twelve texts.
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>

#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "main_screen/frmHotkeys.h"
#include "player/modal_watch.h"
#include "qt_wait.h"

namespace {

class HotkeysTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    lv::memory_settings_store store;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        lv::set_settings_store(&store);
        lv::settings() = lv::config_settings{};
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
    }

    std::string file(const std::string& name, const QByteArray& bytes) {
        const QString p = tmp.filePath(QString::fromStdString(name));
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return p.toStdString();
    }

    // Answers the next file dialog with `path`, or cancels it when empty.
    static void answer_file_dialog(const std::string& path, QString* first_filter = nullptr) {
        lvtest::when_modal<QFileDialog>([path, first_filter](QFileDialog* d) {
            if (first_filter) *first_filter = d->selectedNameFilter();
            if (path.empty()) {
                d->reject();
            } else {
                // Typed into the name box, as a user would.
                auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                ASSERT_NE(name, nullptr);
                name->setText(QString::fromStdString(path));
                static_cast<QDialog*>(d)->accept();   // the dialog's own Open
            }
        });
    }
};

TEST_F(HotkeysTest, ShowsTheBindingsAndStoresWhatWasTypedOnEveryClose) {
    lv::settings().hot_keys[0] = "/usr/bin/gimp";
    lv::settings().hot_keys[11] = "/home/ann/notes.txt";
    for (int way = 0; way < 3; ++way) {
        store.values.clear();
        lv::frmHotkeys dlg;
        EXPECT_EQ(dlg.windowTitle(), "Configure Hot Keys  (F1 - F12)");
        EXPECT_EQ(dlg.Label1[11]->text(), "F12");
        EXPECT_EQ(dlg.Command1[4]->text(), "...");
        EXPECT_EQ(dlg.Command1[4]->toolTip(), " Select a new file for this hot key ");
        EXPECT_EQ(dlg.Command21->text(), "&Ok");
        EXPECT_EQ(dlg.Text1[0]->text(), "/usr/bin/gimp");
        EXPECT_EQ(dlg.Text1[11]->text(), "/home/ann/notes.txt");
        // Typed by hand: stored as it stands, without any check.
        dlg.Text1[3]->setText("x");
        dlg.Text1[4]->setText("/no/such/program " + QString::number(way));
        dlg.Text1[11]->clear();
        dlg.show();
        if (way == 0) dlg.Command21->click();
        else if (way == 1) dlg.close();   // the close box
        else dlg.reject();                // Esc
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(lv::settings().hot_keys[3], "x");
        EXPECT_EQ(lv::settings().hot_keys[4], "/no/such/program " + std::to_string(way));
        EXPECT_EQ(lv::settings().hot_keys[11], "");
        EXPECT_EQ(store.values["Hot Keys 3"], "x");
        EXPECT_EQ(store.values["Hot Keys 0"], "/usr/bin/gimp");
        EXPECT_EQ(store.values["Hot Keys 11"], "");
        EXPECT_TRUE(store.values.count("active_slideshow"));   // all settings were saved
        lv::settings().hot_keys[11] = "/home/ann/notes.txt";
    }
}

TEST_F(HotkeysTest, FileDialogBindsAFileAndClearsOnNothingUsable) {
    const std::string good = file("tool.txt", "hello");
    const std::string tiny = file("tiny.txt", "x");
    lv::settings().hot_keys[1] = "/was/bound";
    lv::frmHotkeys dlg;

    QString filter;
    answer_file_dialog(good, &filter);
    dlg.choose_file(0);
    EXPECT_EQ(dlg.Text1[0]->text().toStdString(), good);
    EXPECT_EQ(filter, "Executable Files (*.exe)");

    // A file of one byte does not count.
    answer_file_dialog(tiny);
    dlg.choose_file(0);
    EXPECT_EQ(dlg.Text1[0]->text(), "");

    // A good pick, then a cancelled dialog for another key: the earlier pick
    // must not land on that key.
    answer_file_dialog(good);
    dlg.choose_file(0);
    answer_file_dialog("");
    dlg.choose_file(1);
    EXPECT_EQ(dlg.Text1[1]->text(), "");
    EXPECT_EQ(dlg.Text1[0]->text().toStdString(), good);
    dlg.accept();
    EXPECT_EQ(store.values["Hot Keys 0"], good);
    EXPECT_EQ(store.values["Hot Keys 1"], "");
}

}  // namespace

namespace {

// The names the file dialog's list shows for the folder it is in, once its
// model has read the folder and they are the expected ones (or 2 s passed).
QStringList shown_names(QFileDialog* d, const QStringList& expected) {
    auto* view = d->findChild<QAbstractItemView*>(QStringLiteral("listView"));
    QStringList names;
    if (!view) return names;
    lv::test::wait_for([&] {
        names.clear();
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r)
            names << view->model()->index(r, 0, root).data().toString();
        names.sort();
        return names == expected;
    });
    return names;
}

}  // namespace

TEST_F(HotkeysTest, ExecutablesEntryListsLinuxProgramsAndOtherEntriesKeepTheirPatterns) {
    const std::string program = file("run-me", "#!/bin/sh\n");
    QFile::setPermissions(QString::fromStdString(program), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    file("notes.txt", "hello");
    file("setup.exe", "MZ..");
    QDir(tmp.path()).mkdir(QStringLiteral("tools"));

    lv::frmHotkeys dlg;
    dlg.CommonDialog1->setDirectory(tmp.path());
    QStringList with_exe, with_text;
    QString caption;
    lvtest::when_modal<QFileDialog>([&](QFileDialog* d) {
        caption = d->selectedNameFilter();
        with_exe = shown_names(d, {"run-me", "setup.exe", "tools"});
        // The user steps the filter box down to the text files.
        auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        for (int i = 0; i < 2; ++i) {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(types, &down);
        }
        EXPECT_EQ(d->selectedNameFilter().toStdString(), lv::hotkey_file_filters[2]);
        with_text = shown_names(d, {"notes.txt", "tools"});
        d->reject();
    });
    dlg.choose_file(0);
    EXPECT_EQ(caption, "Executable Files (*.exe)");
    EXPECT_EQ(with_exe.join(","), "run-me,setup.exe,tools");
    EXPECT_EQ(with_text.join(","), "notes.txt,tools");
}
