// The colour rendering mode chosen from the real display's colour count.
// Runs under a 24-bit X server; the 16-bit case re-runs this executable under
// its own 16-bit server.
#include "core/state.h"
#include "platform/desktop/desktop_services.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "player/renderer.h"
#include "tests/qt_wait.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr const char* child_flag = "LUMIVANE_COLOR_CHILD";

struct Host {
    QWidget window;
    std::unique_ptr<lv::Renderer> r;
    Host() {
        window.resize(800, 600);
        window.show();
        r = std::make_unique<lv::Renderer>(&window);
        QCoreApplication::processEvents();
    }
};

bool in_child() { return qEnvironmentVariableIsSet(child_flag); }

TEST(ColorRender, UnsetModeOnA24BitScreenBecomesTrueColor) {
    if (in_child()) GTEST_SKIP() << "runs on the 24-bit server only";
    EXPECT_GE(lv::get_color_count(), 16777216);
    lv::settings().display_mode = 0;
    Host h;
    h.r->adjust_color_render();
    EXPECT_EQ(lv::settings().display_mode, 3);
    EXPECT_FALSE(h.r->image_background()->palette_on());
    EXPECT_EQ(h.r->image_background()->palette_type(), 5);
    EXPECT_FALSE(h.r->image_picture()->palette_on());
    EXPECT_EQ(h.r->image_picture()->palette_type(), 5);
}

TEST(ColorRender, ChosenModesAreKeptAndApplied) {
    if (in_child()) GTEST_SKIP() << "runs on the 24-bit server only";
    Host h;
    lv::settings().display_mode = 1;
    h.r->adjust_color_render();
    EXPECT_EQ(lv::settings().display_mode, 1);
    EXPECT_TRUE(h.r->image_background()->palette_on());
    EXPECT_EQ(h.r->image_background()->palette_type(), 1);
    EXPECT_TRUE(h.r->image_picture()->palette_on());
    EXPECT_EQ(h.r->image_picture()->palette_type(), 1);

    lv::settings().display_mode = 2;
    h.r->adjust_color_render();
    EXPECT_EQ(lv::settings().display_mode, 2);
    EXPECT_TRUE(h.r->image_picture()->palette_on());
    EXPECT_EQ(h.r->image_picture()->palette_type(), 5);

    // A value the options screen never writes changes nothing.
    lv::settings().display_mode = 7;
    h.r->adjust_color_render();
    EXPECT_EQ(lv::settings().display_mode, 7);
    EXPECT_TRUE(h.r->image_picture()->palette_on());
    EXPECT_EQ(h.r->image_picture()->palette_type(), 5);
}

// The check itself, run inside the 16-bit server.
TEST(ColorRender16, UnsetModeOnA16BitScreenBecomesStandardPalette) {
    if (!in_child()) GTEST_SKIP() << "started by ColorRender.SixteenBitScreen";
    EXPECT_EQ(lv::get_color_count(), 65536);
    lv::settings().display_mode = 0;
    Host h;
    h.r->adjust_color_render();
    EXPECT_EQ(lv::settings().display_mode, 1);
    EXPECT_TRUE(h.r->image_picture()->palette_on());
    EXPECT_EQ(h.r->image_picture()->palette_type(), 1);
}

TEST(ColorRender, SixteenBitScreen) {
    if (in_child()) GTEST_SKIP();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(child_flag, "1");
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("xvfb-run", {"-a", "-s", "-screen 0 800x600x16", QCoreApplication::applicationFilePath(),
                         "--gtest_filter=ColorRender16.*", "--gtest_brief=0"});
    ASSERT_TRUE(p.waitForStarted(lv::test::hang_guard_ms));
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(p.readAll());
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

}  // namespace
