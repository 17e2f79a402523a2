// "&Add Images" with "&Add All Files" on a folder of many pictures: every
// picture becomes a sequence and a list row in the order the picker lists
// them (letter case aside), the busy pointer shows for the whole walk and is
// gone afterwards, and the music list's own "Add All Files" keeps its list in
// step with the document the same way.
#include <QCursor>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

#include "custom_editor/frmAddmusic.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmCustom.h"
#include "tests/custom_editor/frmCustom_fixture.h"
#include "tests/qt_wait.h"

using namespace lvtest;

namespace {

class AddImages : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        folder = dir.path() + "/many";
        QDir().mkpath(folder);
        // Mixed letter case and kinds; the picker lists them sorted without regard to case.
        for (int i = 0; i < 120; ++i) {
            const QString name = QString("%1 holiday %2.%3")
                                     .arg(i % 2 ? "B" : "a")
                                     .arg(i, 3, 10, QLatin1Char('0'))
                                     .arg(i % 3 == 0 ? "PNG" : "png");
            picture("many/" + name);
        }
        picture("many/notes.txt");   // not a picture: never listed
        lv::program().last_folder = folder.toStdString();
    }
    static bool busy_pointer() {
        const QCursor* c = QGuiApplication::overrideCursor();
        return c && c->shape() == Qt::WaitCursor;
    }
    QString folder;
};

TEST_F(AddImages, AddAllAddsEveryPictureInListOrderUnderTheBusyPointer) {
    auto* w = open_editor(false);
    int yields_while_adding = 0, busy_yields = 0;
    lv::hooks().yield_events = [&] {
        if (lv::doc().image_count > 0 && lv::doc().image_count < 120) {
            ++yields_while_adding;
            if (busy_pointer()) ++busy_yields;
        }
        QCoreApplication::processEvents();
    };
    std::vector<std::string> listed;
    when_modal<lv::frmAddphotos>([&listed](lv::frmAddphotos* d) {
        for (int r = 0; r < d->File1->count(); ++r) listed.push_back(d->File1->file_name(r));
        d->Command2->click();
    });
    w->Command4->click();
    lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };

    ASSERT_EQ(listed.size(), 120u);
    for (std::size_t i = 1; i < listed.size(); ++i)
        EXPECT_LT(QString::fromStdString(listed[i - 1]).toLower(), QString::fromStdString(listed[i]).toLower());
    ASSERT_EQ(lv::doc().image_count, 120);
    ASSERT_EQ(w->List1->count(), 120);
    for (int i = 1; i <= 120; ++i) {
        EXPECT_EQ(lv::doc().sequences.image_file[static_cast<std::size_t>(i)],
                  folder.toStdString() + "/" + listed[static_cast<std::size_t>(i - 1)]);
        EXPECT_EQ(w->List1->item(i - 1)->text().toStdString(), listed[static_cast<std::size_t>(i - 1)]);
    }
    EXPECT_EQ(w->current_image, 1);
    EXPECT_GT(yields_while_adding, 100);
    EXPECT_EQ(busy_yields, yields_while_adding);
    EXPECT_FALSE(busy_pointer());

    // Adding again appends after the rows already there.
    when_modal<lv::frmAddphotos>([](lv::frmAddphotos* d) { d->Command2->click(); });
    w->Command4->click();
    ASSERT_EQ(lv::doc().image_count, 240);
    ASSERT_EQ(w->List1->count(), 240);
    EXPECT_EQ(w->List1->item(120)->text().toStdString(), listed[0]);
    EXPECT_EQ(w->current_image, 1);
}

TEST_F(AddImages, MusicAddAllKeepsItsListInStepWithTheDocument) {
    for (const char* n : {"b.wav", "A.mp3", "c.MID"}) picture(QString("many/") + n);
    lv::program().last_music_folder = folder.toStdString();
    lv::doc().music_count = 1;
    lv::redim_music(1);
    lv::doc().music_files[1] = "/music/first.mp3";
    lv::frmAddmusic dlg;
    ASSERT_EQ(dlg.List2->count(), 1);
    dlg.Command2->click();
    ASSERT_EQ(lv::doc().music_count, 4);
    ASSERT_EQ(dlg.List2->count(), 4);
    const std::vector<std::string> want{"first.mp3", "A.mp3", "b.wav", "c.MID"};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(dlg.List2->item(r)->text().toStdString(), want[static_cast<std::size_t>(r)]);
    EXPECT_FALSE(busy_pointer());
    dlg.accept();
}

TEST_F(AddImages, TheMusicListsAddButtonKeepsTheKeyboardAfterAdding) {
    // The whole window takes no input while it adds; the focus must come
    // back to the button the user pressed, not vanish.
    lv::program().last_music_folder = folder.toStdString();
    for (const char* n : {"one.wav", "two.mp3"}) picture(QString("many/") + n);
    lv::frmAddmusic dlg;
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(lv::test::wait_for([&dlg] { return QApplication::activeWindow() == &dlg; }));
    dlg.Command2->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), dlg.Command2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    spin(20);
    EXPECT_EQ(lv::doc().music_count, 2);
    EXPECT_TRUE(dlg.isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), dlg.Command2);
    dlg.accept();
}

}  // namespace
