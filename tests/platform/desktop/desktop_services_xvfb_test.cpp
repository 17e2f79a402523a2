// Desktop services against a real X server (Xvfb, 1024x768x24): the root
// window wallpaper, cursor visibility, the X screen saver held off for a show
// and given back, the colour count, the preview inside a host window.
#include "qt_wait.h"
#include "platform/desktop/desktop_services.h"

#include "core/hooks.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <functional>

namespace {

using lv::test::wait_for;

int x_errors = 0;
int count_x_error(Display*, XErrorEvent*) {
    ++x_errors;
    return 0;
}

// The test's own connection, as another program on the desktop sees it.
class XTest : public ::testing::Test {
protected:
    void SetUp() override {
        d_ = XOpenDisplay(nullptr);
        ASSERT_NE(d_, nullptr) << "needs an X server";
        old_handler_ = XSetErrorHandler(count_x_error);
        root_ = DefaultRootWindow(d_);
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    }
    void TearDown() override {
        if (d_) {
            XSync(d_, False);
            XSetErrorHandler(old_handler_);
            XCloseDisplay(d_);
        }
        lv::hooks().yield_events = nullptr;
    }

    Pixmap root_property(const char* name) {
        const Atom prop = XInternAtom(d_, name, True);
        if (prop == 0) return 0;
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        Pixmap p = 0;
        if (XGetWindowProperty(d_, root_, prop, 0, 1, False, XA_PIXMAP, &type, &format, &n, &after,
                               &data) == Success &&
            type == XA_PIXMAP && n == 1)
            p = *reinterpret_cast<Pixmap*>(data);
        if (data) XFree(data);
        return p;
    }

    // Colour of one pixel of a pixmap as 0xRRGGBB; -1 when it cannot be read.
    long pixmap_pixel(Pixmap p, int x, int y) {
        x_errors = 0;
        XImage* img = XGetImage(d_, p, x, y, 1, 1, AllPlanes, ZPixmap);
        XSync(d_, False);
        if (!img || x_errors) return -1;
        const unsigned long v = XGetPixel(img, 0, 0);
        XDestroyImage(img);
        return static_cast<long>(v & 0xFFFFFF);   // 24-bit TrueColor, 8 bits per channel
    }

    bool pixmap_exists(Pixmap p) {
        Window r;
        int x, y;
        unsigned w, h, b, depth;
        x_errors = 0;
        const Status ok = XGetGeometry(d_, p, &r, &x, &y, &w, &h, &b, &depth);
        XSync(d_, False);
        return ok && x_errors == 0;
    }

    Window parent_of(Window w) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(d_, w, &root, &parent, &children, &n);
        if (children) XFree(children);
        return parent;
    }

    Display* d_ = nullptr;
    Window root_ = 0;
    int (*old_handler_)(Display*, XErrorEvent*) = nullptr;
};

QString two_tone_bmp(const QTemporaryDir& dir, const QString& name, QColor left, QColor right) {
    QImage img(64, 48, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 0, 32, 48, left);
    p.fillRect(32, 0, 32, 48, right);
    p.end();
    const QString path = dir.path() + "/" + name;
    img.save(path, "BMP");
    return path;
}

TEST_F(XTest, BareXServerGetsTheRootPixmap) {
    qunsetenv("XDG_CURRENT_DESKTOP");
    QTemporaryDir dir;
    const QString first = two_tone_bmp(dir, "first.bmp", Qt::red, Qt::blue);
    ASSERT_TRUE(lv::set_desktop_wallpaper(first.toStdString()));

    const Pixmap p1 = root_property("_XROOTPMAP_ID");
    ASSERT_NE(p1, 0u);
    EXPECT_EQ(root_property("ESETROOT_PMAP_ID"), p1);
    // Stretched to the whole screen, and still there after our connection closed.
    EXPECT_EQ(pixmap_pixel(p1, 10, 10), 0xFF0000);
    EXPECT_EQ(pixmap_pixel(p1, 1010, 750), 0x0000FF);

    // A second wallpaper replaces the pixmap and frees the first one.
    const QString second = two_tone_bmp(dir, "second.bmp", Qt::green, Qt::green);
    ASSERT_TRUE(lv::set_desktop_wallpaper(second.toStdString()));
    const Pixmap p2 = root_property("_XROOTPMAP_ID");
    ASSERT_NE(p2, 0u);
    EXPECT_NE(p2, p1);
    EXPECT_EQ(root_property("ESETROOT_PMAP_ID"), p2);
    EXPECT_EQ(pixmap_pixel(p2, 500, 400), 0x00FF00);
    EXPECT_FALSE(pixmap_exists(p1));

    // Not a picture: nothing changes.
    const QString junk = dir.path() + "/junk.bmp";
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("definitely not a bitmap");
    f.close();
    EXPECT_FALSE(lv::set_desktop_wallpaper(junk.toStdString()));
    EXPECT_EQ(root_property("_XROOTPMAP_ID"), p2);
}

TEST_F(XTest, CursorHidesAndShowsInOneCallWithTheHourglassAround) {
    QWidget w;
    w.resize(200, 200);
    w.show();
    auto shape = [] {
        return QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape()
                                                 : Qt::ArrowCursor;
    };
    lv::cursor_show();
    lv::cursor_show();
    lv::cursor_show();
    lv::cursor_hide();
    EXPECT_TRUE(lv::cursor_hidden());
    EXPECT_EQ(shape(), Qt::BlankCursor);
    lv::cursor_hide();
    lv::cursor_hide();
    lv::cursor_show();
    EXPECT_FALSE(lv::cursor_hidden());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    lv::hourglass_on();
    EXPECT_EQ(shape(), Qt::WaitCursor);
    lv::cursor_hide();                     // hidden wins while both hold
    EXPECT_EQ(shape(), Qt::BlankCursor);
    lv::cursor_show();
    EXPECT_EQ(shape(), Qt::WaitCursor);
    lv::hourglass_on();
    lv::hourglass_off();                   // not nested: one off ends it
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(XTest, ScreenSaverHeldForAShowAndGivenBackAsItWas) {
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");   // the X server's own screen saver
    qunsetenv("XDG_RUNTIME_DIR");
    auto settings = [this] {
        int timeout = -1, interval = -1, blanking = -1, exposures = -1;
        XGetScreenSaver(d_, &timeout, &interval, &blanking, &exposures);
        return std::array<int, 4>{timeout, interval, blanking, exposures};
    };
    XSetScreenSaver(d_, 600, 30, PreferBlanking, AllowExposures);
    XSync(d_, False);
    const auto before = settings();

    lv::set_screensaver_active(false);
    EXPECT_FALSE(lv::screensaver_active());
    EXPECT_EQ(settings()[0], 0);
    lv::set_screensaver_active(true);
    EXPECT_TRUE(lv::screensaver_active());
    EXPECT_EQ(settings(), before);

    // A user who had it switched off keeps it off after the show.
    XSetScreenSaver(d_, 0, 30, DontPreferBlanking, DontAllowExposures);
    XSync(d_, False);
    const auto disabled = settings();
    lv::set_screensaver_active(false);
    lv::set_screensaver_active(true);
    EXPECT_EQ(settings(), disabled);
    // Switching on without a show before changes nothing either.
    lv::set_screensaver_active(true);
    EXPECT_EQ(settings(), disabled);
}

TEST_F(XTest, ColourCountFollowsTheScreenDepth) {
    EXPECT_EQ(lv::get_color_count(), std::int64_t{1} << DefaultDepth(d_, DefaultScreen(d_)));
    EXPECT_EQ(lv::get_color_count(), 16777216);
}

TEST_F(XTest, PreviewSitsInTheHostWindowAndComesBackWhenTheHostCloses) {
    // The host: a window of another program, like a settings dialog's monitor.
    const Window host = XCreateSimpleWindow(d_, root_, 50, 50, 152, 112, 0, 0, 0);
    XMapWindow(d_, host);
    XSync(d_, False);

    int w = 0, h = 0;
    ASSERT_TRUE(lv::native_window_exists(host, &w, &h));
    EXPECT_EQ(w, 152);
    EXPECT_EQ(h, 112);

    QWidget picture;
    picture.resize(w, h);
    ASSERT_TRUE(lv::embed_in_native_window(&picture, host));
    const Window own = static_cast<Window>(picture.winId());
    EXPECT_TRUE(wait_for([&] {
        XSync(d_, False);
        return parent_of(own) == host;
    }));

    int closes = 0;
    lv::hook_preview_window(&picture, [&] { ++closes; });
    // Ordinary events pass on.
    picture.resize(100, 80);
    EXPECT_EQ(picture.size(), QSize(100, 80));

    // The host asks our window to close, the way window managers do.
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = own;
    ev.xclient.message_type = XInternAtom(d_, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d_, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(d_, own, False, NoEventMask, &ev);
    XSync(d_, False);
    ASSERT_TRUE(wait_for([&] { return closes == 1; }));
    EXPECT_FALSE(picture.isVisible());
    EXPECT_TRUE(wait_for([&] {
        XSync(d_, False);
        return parent_of(own) != host;
    }));
    lv::unhook_preview_window(&picture);

    // Once unhooked a close goes through as usual.
    picture.show();
    EXPECT_TRUE(picture.close());
    EXPECT_EQ(closes, 1);

    XDestroyWindow(d_, host);
    XSync(d_, False);
    EXPECT_FALSE(lv::native_window_exists(host));
    EXPECT_FALSE(lv::native_window_exists(0x7ffffff0));
    QWidget other;
    EXPECT_FALSE(lv::embed_in_native_window(&other, host));
}

}  // namespace
