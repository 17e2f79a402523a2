// On a real X server: the preview embedded into a window of someone else,
// and the last screen saved as a bitmap and set as the root window's picture.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include "core/hooks.h"
#include "core/state.h"
#include "modal_watch.h"
#include "player/frmPreview.h"
#include "player/wallpaper.h"

namespace {

QString run_tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(lv::test::hang_guard_ms);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Children of an X window as xwininfo lists them: "WxH" per child.
QStringList child_sizes(WId window) {
    QStringList sizes;
    const QString out = run_tool("xwininfo", {"-children", "-id", QString::number(window)});
    for (const QString& line : out.split('\n')) {
        // e.g.  0x400007 (has no name): ()  320x200+0+0  +10+10
        static const QRegularExpression re(R"(^\s+0x[0-9a-f]+ .*\)\s+(\d+x\d+)\+-?\d+\+-?\d+)");
        auto m = re.match(line);
        if (m.hasMatch()) sizes << m.captured(1);
    }
    return sizes;
}

QRgb screen_pixel(int x, int y) {
    QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    return shot.pixel(x, y);
}

bool near(QRgb a, QColor b) {
    return std::abs(qRed(a) - b.red()) < 24 && std::abs(qGreen(a) - b.green()) < 24 &&
           std::abs(qBlue(a) - b.blue()) < 24;
}

class XTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "this test needs an X server";
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    }
    void TearDown() override { lv::hooks().yield_events = nullptr; }
};

}  // namespace

TEST_F(XTest, PreviewFillsTheHostWindowAndEndsWhenItGoes) {
    auto* host = new QWidget;
    host->setGeometry(40, 40, 320, 200);
    host->show();
    lvtest::spin(100);
    const WId id = host->winId();
    ASSERT_TRUE(lv::frmPreview::can_embed_into(static_cast<std::uint32_t>(id)));
    EXPECT_EQ(lv::frmPreview::client_size(static_cast<std::uint32_t>(id)), QSize(320, 200));

    lv::frmPreview form(static_cast<std::uint32_t>(id));
    ASSERT_FALSE(form.unloaded());
    EXPECT_EQ(form.preview_embedded, -1);
    EXPECT_FALSE(form.isVisible());   // the form itself is never shown
    EXPECT_TRUE(lv::test::wait_for([id] { return child_sizes(id) == QStringList{"320x200"}; }));

    bool unloaded_signal = false;
    QObject::connect(&form, &lv::frmPreview::unloaded_signal, [&] { unloaded_signal = true; });
    delete host;   // destroys the X window and our picture inside it
    QElapsedTimer t;
    t.start();
    while (!form.unloaded() && t.elapsed() < lv::test::hang_guard_ms) lvtest::spin(10);
    EXPECT_TRUE(form.unloaded());
    EXPECT_TRUE(unloaded_signal);
    EXPECT_EQ(form.preview_embedded, 0);
}

TEST_F(XTest, NoPreviewIntoSomethingThatIsNoWindow) {
    EXPECT_FALSE(lv::frmPreview::can_embed_into(0));
    EXPECT_FALSE(lv::frmPreview::can_embed_into(0x7ffffff0));
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(lv::run_preview(0x7ffffff0), 0);   // returns at once
    EXPECT_LT(t.elapsed(), 2000);
}

TEST_F(XTest, BitmapIsWrittenWholeOrNotAtAll) {
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Lumivane.bmp").toStdString();
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(lv::write_bitmap_file(red, path));
    QImage back(QString::fromStdString(path), "BMP");
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(64, 48));
    EXPECT_EQ(back.pixelColor(10, 10), QColor(Qt::red));

    // A failed write leaves the old file as it was and no stray temporary file.
    EXPECT_FALSE(lv::write_bitmap_file(QImage(), path));
    EXPECT_EQ(QImage(QString::fromStdString(path)).pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Lumivane.bmp"});
    EXPECT_FALSE(lv::write_bitmap_file(red, tmp.filePath("no such folder/Lumivane.bmp").toStdString()));

    // A link is written through to the file it leads to, which it keeps naming.
    ASSERT_TRUE(QDir(tmp.path()).mkdir("mine"));
    const QString link = tmp.filePath("Linked.bmp");
    ASSERT_TRUE(QFile::link("mine/wall.bmp", link));
    ASSERT_TRUE(lv::write_bitmap_file(red, link.toStdString()));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QImage(tmp.filePath("mine/wall.bmp"), "BMP").size(), QSize(64, 48));
}

TEST_F(XTest, LastScreenBecomesTheRootWindowPicture) {
    QTemporaryDir tmp;
    // A full-screen window of one colour stands for the show's last screen.
    QWidget show;
    show.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    show.setAutoFillBackground(true);
    QPalette pal = show.palette();
    pal.setColor(QPalette::Window, QColor(0, 160, 80));
    show.setPalette(pal);
    show.setGeometry(QGuiApplication::primaryScreen()->geometry());
    show.show();
    ASSERT_TRUE(lv::test::wait_for([] { return near(screen_pixel(500, 400), QColor(0, 160, 80)); }));

    // Nowhere to save: nothing is set (the root keeps what it had).
    lv::program().windows_dir = tmp.filePath("missing/").toStdString();
    EXPECT_FALSE(lv::save_wallpaper());

    show.hide();
    EXPECT_TRUE(lv::test::wait_for([] { return !near(screen_pixel(500, 400), QColor(0, 160, 80)); }));

    show.show();
    ASSERT_TRUE(lv::test::wait_for([] { return near(screen_pixel(500, 400), QColor(0, 160, 80)); }));
    lv::program().windows_dir = tmp.path().toStdString() + "/";
    EXPECT_TRUE(lv::save_wallpaper());
    EXPECT_EQ(lv::wallpaper_path(), tmp.path().toStdString() + "/Lumivane.bmp");
    QImage saved(QString::fromStdString(lv::wallpaper_path()));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QGuiApplication::primaryScreen()->geometry().size());
    EXPECT_TRUE(near(saved.pixel(500, 400), QColor(0, 160, 80)));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Lumivane.bmp"});

    show.hide();
    lvtest::spin(300);   // the window is gone, the wallpaper stays
    EXPECT_TRUE(near(screen_pixel(500, 400), QColor(0, 160, 80)));
}
