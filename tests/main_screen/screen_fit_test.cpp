// Every window fits the screen it opens on: on a 1024x768 screen, and on a
// 1280x800 screen scaled by 1.25 (1024x640 to the program), each window's
// frame lies inside the available area; on a large screen each keeps its
// design size. Each screen is a fresh run of this executable, as the screen
// is chosen when the application starts.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/effects.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "custom_editor/FrmBorder.h"
#include "custom_editor/frmAddmusic.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmAddwav.h"
#include "custom_editor/frmCaptionSettings.h"
#include "custom_editor/frmCustom.h"
#include "custom_editor/frmGetbackground.h"
#include "custom_editor/frmGetimage.h"
#include "custom_editor/frmImagePreview.h"
#include "custom_editor/frmSetprint.h"
#include "custom_editor/frmStartfrom.h"
#include "main_screen/frmEffects.h"
#include "main_screen/frmHotkeys.h"
#include "main_screen/frmOptions.h"
#include "main_screen/frmTitle.h"
#include "main_screen/frm_About.h"
#include "simple_editor/frmRandom.h"
#include "custom_editor/frmCustom_fixture.h"
#include "tests/qt_wait.h"

namespace {

using window_maker = std::function<QWidget*()>;

std::vector<std::pair<const char*, window_maker>> every_window() {
    return {
        {"main screen", [] { return new lv::frmTitle; }},
        {"options", [] { return new lv::frmOptions; }},
        {"effects editor", [] { return new lv::frmEffects; }},
        {"hot keys", [] { return new lv::frmHotkeys; }},
        {"about", [] { return new lv::frm_About; }},
        {"custom editor",
         [] {
             lv::editors().custom_editor_open = 1;
             return new lv::frmCustom;
         }},
        {"simple editor",
         [] {
             lv::editors().random_editor_open = 1;
             return new lv::frmRandom;
         }},
        {"add photos", [] { return new lv::frmAddphotos; }},
        {"add music", [] { return new lv::frmAddmusic; }},
        {"add sound", [] { return new lv::frmAddwav; }},
        {"replace image", [] { return new lv::frmGetimage; }},
        {"background", [] { return new lv::frmGetbackground; }},
        {"caption settings", [] { return new lv::frmCaptionSettings; }},
        {"border", [] { return new lv::FrmBorder; }},
        {"print setup", [] { return new lv::frmSetprint; }},
        {"start from", [] { return new lv::frmStartfrom; }},
        {"image preview", [] { return new lv::frmImagePreview; }},
    };
}

// Runs the window checks in a child with the given screen; returns its output
// and whether it passed.
std::pair<bool, QString> run_with_screen(int width, int height, const QString& scale, const QString& expect,
                                         const char* child_case = "DISABLED_EveryWindow") {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly)) return {false, QStringLiteral("cannot write the screen file")};
    f.write(QStringLiteral(R"({"screens": [{"name": "fit", "x": 0, "y": 0, "width": %1, "height": %2,
                               "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                .arg(width)
                .arg(height)
                .toUtf8());
    f.close();
    // A home folder deep in the file system: the place lists name it in full.
    const QString home = dir.filePath(QStringLiteral("a-home-folder-whose-path-is-long/") + QString(60, u'h'));
    if (!QDir().mkpath(home)) return {false, QStringLiteral("cannot make the home folder")};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    env.insert(QStringLiteral("LUMIVANE_FIT_EXPECT"), expect);
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=ScreenFitOnThisScreen.") + QLatin1String(child_case)});
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return {false, QStringLiteral("the child did not finish")};
    }
    const QString out = QString::fromLocal8Bit(child.readAll());
    return {child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out};
}

TEST(ScreenFit, EveryWindowFitsASmallScreen) {
    const auto [ok, out] = run_with_screen(1024, 768, QStringLiteral("1"), QStringLiteral("inside"));
    EXPECT_TRUE(ok) << out.toStdString();
}

TEST(ScreenFit, EveryWindowFitsAScaledLaptopScreen) {
    const auto [ok, out] = run_with_screen(1280, 800, QStringLiteral("1.25"), QStringLiteral("inside"));
    EXPECT_TRUE(ok) << out.toStdString();
}

TEST(ScreenFit, EveryWindowKeepsItsDesignSizeOnALargeScreen) {
    const auto [ok, out] = run_with_screen(1920, 1200, QStringLiteral("1"), QStringLiteral("unchanged"));
    EXPECT_TRUE(ok) << out.toStdString();
}

// On the small screens nothing needs scrolling: every control of every window
// is in view as it opens.
TEST(ScreenFit, NoWindowScrollsOnTheSmallScreens) {
    for (const auto& [w, h, scale] : {std::tuple{1024, 768, "1"}, std::tuple{1280, 800, "1.25"}}) {
        const auto [ok, out] = run_with_screen(w, h, QLatin1String(scale), QString(), "DISABLED_NothingScrolls");
        EXPECT_TRUE(ok) << w << "x" << h << " at " << scale << ":\n" << out.toStdString();
    }
}

// The child's part: opens each window on this process's screen, with the
// editors' usual state and no help pop-ups.
class ScreenFitOnThisScreen : public lvtest::editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        for (int n = 1; n <= 14; ++n) store.values[lv::message_setting_key(n)] = "1";
        lv::new_random_defaults();
        lv::frmTitle::color_count_source = [] { return 16777216.0; };
    }
    void TearDown() override {
        lv::frmTitle::color_count_source = nullptr;
        editor_fixture::TearDown();
    }
};

TEST_F(ScreenFitOnThisScreen, DISABLED_EveryWindow) {
    const QByteArray expect = qgetenv("LUMIVANE_FIT_EXPECT");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto& [name, make] : every_window()) {
        QWidget* w = make();
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        const QSize before = w->size();
        const bool given_a_size = w->testAttribute(Qt::WA_Resized);
        w->show();
        lvtest::spin(60);
        const QRect frame = w->frameGeometry();
        const bool scrolls = w->findChild<QScrollArea*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
        if (expect == "inside") {
            EXPECT_TRUE(area.contains(frame)) << name << ": " << frame.x() << "," << frame.y() << " "
                                              << frame.width() << "x" << frame.height() << " on "
                                              << area.width() << "x" << area.height();
        } else {
            // Nothing was wrapped or squeezed below what its layout wants.
            EXPECT_FALSE(scrolls) << name;
            EXPECT_EQ(w->size().expandedTo(w->minimumSizeHint()), w->size()) << name;
            if (given_a_size) {
                EXPECT_EQ(w->size(), before.expandedTo(w->minimumSize())) << name;
            }
        }
        // Whatever was hidden to fit is in the scroll area's reach.
        if (scrolls) {
            auto* scroll = w->findChild<QScrollArea*>(QString(), Qt::FindDirectChildrenOnly);
            ASSERT_NE(scroll->widget(), nullptr) << name;
            EXPECT_GE(scroll->widget()->width(), scroll->viewport()->width()) << name;
        }
        w->hide();
        delete w;
        lvtest::spin(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(ScreenFitOnThisScreen, DISABLED_NothingScrolls) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto& [name, make] : every_window()) {
        QWidget* w = make();
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
        ASSERT_TRUE(lv::test::wait_for([w] { return w->windowHandle() && w->windowHandle()->isExposed(); }))
            << name;
        QCoreApplication::processEvents();
        const QRect frame = w->frameGeometry();
        EXPECT_TRUE(area.contains(frame)) << name << ": " << frame.width() << "x" << frame.height();
        for (const QScrollArea* s : w->findChildren<QScrollArea*>(QString(), Qt::FindDirectChildrenOnly)) {
            EXPECT_FALSE(s->horizontalScrollBar()->isVisible()) << name << " scrolls sideways";
            EXPECT_FALSE(s->verticalScrollBar()->isVisible()) << name << " scrolls up and down";
        }
        if (auto* editor = qobject_cast<lv::frmCustom*>(w)) {
            // Saving is in reach: the button lies on the screen and in view.
            QPushButton* save = editor->Command21;
            const QRect at(save->mapToGlobal(QPoint(0, 0)), save->size());
            EXPECT_TRUE(area.contains(at)) << "Save And Exit at " << at.x() << "," << at.y();
            EXPECT_EQ(save->visibleRegion().boundingRect(), save->rect());
        }
        w->hide();
        delete w;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace
