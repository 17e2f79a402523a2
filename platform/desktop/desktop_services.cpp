#include "platform/desktop/desktop_services.h"

#include "core/hooks.h"
#include "core/text_file.h"
#include "platform/desktop/x11_desktop.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSocketNotifier>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>
#include <xcb/xproto.h>

namespace lv {

// ---------------------------------------------------------------------------
// Pointer shapes and cursor visibility
//
// Both live in one application override cursor of our own: hidden wins over
// the hourglass, and a single call sets the state whatever came before.

namespace {

struct cursor_state {
    bool hidden = false;
    bool hourglass = false;
    bool pushed = false;   // our override cursor is on Qt's stack
};

cursor_state& cursors() {
    static cursor_state c;
    return c;
}

void apply_cursor() {
    cursor_state& c = cursors();
    if (!qGuiApp) return;
    std::optional<Qt::CursorShape> want;
    if (c.hidden) want = Qt::BlankCursor;
    else if (c.hourglass) want = Qt::WaitCursor;
    if (!want) {
        if (c.pushed) QGuiApplication::restoreOverrideCursor();
        c.pushed = false;
    } else if (c.pushed) {
        QGuiApplication::changeOverrideCursor(QCursor(*want));
    } else {
        QGuiApplication::setOverrideCursor(QCursor(*want));
        c.pushed = true;
    }
}

}  // namespace

void hourglass_on() {
    cursors().hourglass = true;
    apply_cursor();
    yield_events();
}

void hourglass_off() {
    cursors().hourglass = false;
    apply_cursor();
    yield_events();
}

void cursor_show() {
    cursors().hidden = false;
    apply_cursor();
}

void cursor_hide() {
    cursors().hidden = true;
    apply_cursor();
}

bool cursor_hidden() { return cursors().hidden; }

void center_form(QWidget* w) {
    if (!w) return;
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->geometry();
        const QSize outer = w->frameGeometry().size();
        w->move(area.x() + area.width() / 2 - outer.width() / 2,
                area.y() + area.height() / 2 - outer.height() / 2);
    }
    yield_events();
}

// ---------------------------------------------------------------------------
// The desktop's screen saver

namespace {

enum class saver_hold { none, dbus, x11 };

struct saver_state {
    bool held = false;            // switched off by us
    saver_hold how = saver_hold::none;
    QString dbus_path;
    uint cookie = 0;
    bool running = false;
};

saver_state& saver() {
    static saver_state s;
    return s;
}

const QString saver_service = QStringLiteral("org.freedesktop.ScreenSaver");

// Only a session that has a bus: asking for the session bus otherwise makes
// libdbus start a bus of its own.
bool session_bus_present() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

bool dbus_inhibit(saver_state& s) {
    if (!session_bus_present()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    for (const QString& path : {QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(saver_service, path, saver_service, QStringLiteral("Inhibit"));
        call << QStringLiteral("Lumivane") << QStringLiteral("Slideshow running");
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
            s.dbus_path = path;
            s.cookie = reply.arguments().first().toUInt();
            return true;
        }
    }
    return false;
}

void dbus_uninhibit(const saver_state& s) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(saver_service, s.dbus_path, saver_service,
                                                       QStringLiteral("UnInhibit"));
    call << s.cookie;
    bus.call(call, QDBus::Block, 3000);
}

}  // namespace

bool screensaver_active() { return !saver().held; }

void set_screensaver_active(bool active) {
    saver_state& s = saver();
    if (!active) {
        if (s.held) return;
        if (dbus_inhibit(s)) s.how = saver_hold::dbus;
        else if (x11::hold_screensaver_off()) s.how = saver_hold::x11;
        else s.how = saver_hold::none;
        s.held = true;
        return;
    }
    // Switching on gives back what switching off took, nothing more: a
    // screen saver the user had disabled stays disabled.
    if (!s.held) return;
    if (s.how == saver_hold::dbus) dbus_uninhibit(s);
    else if (s.how == saver_hold::x11) x11::release_screensaver();
    const bool running = s.running;
    s = saver_state{};
    s.running = running;
}

// ---------------------------------------------------------------------------
// Ending on a termination signal

namespace {

int termination_pipe[2] = {-1, -1};

// Async-signal-safe: one byte into the pipe, errno kept.
extern "C" void note_termination_signal(int sig) {
    const int saved_errno = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(termination_pipe[1], &b, 1);
    errno = saved_errno;
}

void end_after_signal(int sig) {
    // What a finished show gives back; the kernel and the X server take
    // care of everything else we hold.
    set_screensaver_running(false);
    set_screensaver_active(true);
    cursor_show();
    // Then end the way the signal asked, so that whoever sent it sees it.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);
}

}  // namespace

void end_cleanly_on_termination_signals() {
    static bool installed = false;
    if (installed || !QCoreApplication::instance()) return;
    if (::pipe2(termination_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    installed = true;
    auto* notifier =
        new QSocketNotifier(termination_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        unsigned char b = 0;
        if (::read(termination_pipe[0], &b, 1) == 1) end_after_signal(b);
    });
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0) continue;
        // Started under nohup, or as a background job without job control:
        // the signal stays ignored, as the one who started us wanted.
        if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = note_termination_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(sig, &sa, nullptr);
    }
}

// The desktops here have no system-wide "screen saver running" state (which
// elsewhere locks out task switching); the flag is kept for our own callers.
void set_screensaver_running(bool running) { saver().running = running; }
bool screensaver_running() { return saver().running; }

// ---------------------------------------------------------------------------
// Wallpaper

namespace {

enum class desktop_kind { gnome, kde, xfce, mate, other };

desktop_kind current_desktop() {
    const QStringList names =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& n : names) {
        if (n == QLatin1String("KDE")) return desktop_kind::kde;
        if (n == QLatin1String("XFCE")) return desktop_kind::xfce;
        if (n == QLatin1String("MATE")) return desktop_kind::mate;
        if (n == QLatin1String("GNOME") || n == QLatin1String("UNITY")) return desktop_kind::gnome;
    }
    return desktop_kind::other;
}

// Runs a program with an argument list (no shell sees the path); its exit
// code, or -1 when it could not run or did not finish in time.
int run_program(const QString& program, const QStringList& args, QByteArray* output = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForStarted(5000)) return -1;
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(1000);
        return -1;
    }
    if (output) *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool wallpaper_gnome(const QString& path) {
    const QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    const QString schema = QStringLiteral("org.gnome.desktop.background");
    if (run_program("gsettings", {"set", schema, "picture-uri", uri}) != 0) return false;
    // Newer GNOME shows this one under a dark style; older ones lack the key.
    run_program("gsettings", {"set", schema, "picture-uri-dark", uri});
    return true;
}

bool wallpaper_mate(const QString& path) {
    return run_program("gsettings", {"set", "org.mate.background", "picture-filename", path}) == 0;
}

bool wallpaper_xfce(const QString& path) {
    const QString channel = QStringLiteral("xfce4-desktop");
    QByteArray listing;
    if (run_program("xfconf-query", {"-c", channel, "-l"}, &listing) != 0) return false;
    bool any = false;
    // Every monitor and workspace has its own picture.
    for (const QByteArray& line : listing.split('\n')) {
        const QString prop = QString::fromUtf8(line.trimmed());
        if (prop.endsWith(QLatin1String("/last-image")))
            any |= run_program("xfconf-query", {"-c", channel, "-p", prop, "-s", path}) == 0;
    }
    if (!any)
        any = run_program("xfconf-query", {"-c", channel, "-p",
                                           "/backdrop/screen0/monitor0/workspace0/last-image", "-n",
                                           "-t", "string", "-s", path}) == 0;
    return any;
}

bool wallpaper_kde(const QString& path) {
    if (run_program("plasma-apply-wallpaperimage", {path}) == 0) return true;
    // Older Plasma: its scripting interface. The address is percent-encoded,
    // so it holds no quote or backslash that could end the script's string.
    if (!session_bus_present()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    const QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    const QString script = QStringLiteral(
                               "var all = desktops();"
                               "for (var i = 0; i < all.length; i++) {"
                               " var d = all[i];"
                               " d.wallpaperPlugin = 'org.kde.image';"
                               " d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];"
                               " d.writeConfig('Image', \"%1\");"
                               "}")
                               .arg(uri);
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell", "evaluateScript");
    call << script;
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

bool wallpaper_root_window(const QString& path) {
    int w = 0, h = 0;
    if (!x11::screen_size(&w, &h) || w <= 0 || h <= 0) return false;
    QImage image(path);
    if (image.isNull()) return false;
    if (image.size() != QSize(w, h))
        image = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::copy(row, row + w, pixels.begin() + static_cast<std::ptrdiff_t>(y) * w);
    }
    return x11::set_root_background(pixels.data(), w, h);
}

}  // namespace

bool set_desktop_wallpaper(const std::string& bmp_path) {
    const QFileInfo info(QString::fromStdString(bmp_path));
    if (bmp_path.empty() || !info.isFile()) return false;
    const QString path = info.absoluteFilePath();
    bool ok = false;
    switch (current_desktop()) {
        case desktop_kind::gnome: ok = wallpaper_gnome(path); break;
        case desktop_kind::kde: ok = wallpaper_kde(path); break;
        case desktop_kind::xfce: ok = wallpaper_xfce(path); break;
        case desktop_kind::mate: ok = wallpaper_mate(path); break;
        case desktop_kind::other: break;
    }
    // A desktop whose tools are missing still shows the root window.
    return ok || wallpaper_root_window(path);
}

// ---------------------------------------------------------------------------
// Registry stand-in

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "text" with \" and \\ as in exported registry files; bare text as it is.
std::string unquote(const std::string& s) {
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') return s;
    std::string out;
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] == '\\' && i + 2 < s.size()) ++i;
        out += s[i];
    }
    return out;
}

// Keys of the current user; a section may also spell out the root.
std::string key_of_section(std::string section) {
    const std::string root = "hkey_current_user\\";
    if (lower(section).rfind(root, 0) == 0) section = section.substr(root.size());
    return lower(section);
}

std::optional<std::string> find_registry_entry(const std::string& key, const std::string& name) {
    // Only a regular file: opening a FIFO put there would wait for a writer,
    // and the player reads this as it starts.
    if (!QFileInfo(QString::fromStdString(registry_file_path())).isFile()) return std::nullopt;
    std::ifstream in(registry_file_path(), std::ios::binary);
    if (!in) return std::nullopt;
    const std::string want_key = key_of_section(key);
    const std::string want_name = lower(name);
    bool in_key = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            in_key = key_of_section(trim(line.substr(1, line.size() - 2))) == want_key;
            continue;
        }
        if (!in_key) continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (lower(unquote(trim(line.substr(0, eq)))) == want_name) return trim(line.substr(eq + 1));
    }
    return std::nullopt;
}

}  // namespace

std::string registry_file_path() {
    std::string base = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString();
    if (base.empty()) base = QDir::homePath().toStdString() + "/.config";
    return base + "/lumivane/registry.ini";
}

bool write_registry_dword(const std::string& key, const std::string& value_name, std::uint32_t value) {
    const QString path = QString::fromStdString(registry_file_path());
    QByteArray old;
    {
        QFile in(path);
        if (in.exists()) {
            if (!QFileInfo(path).isFile()) return false;
            if (!in.open(QIODevice::ReadOnly)) return false;   // never replace what we cannot read
            old = in.readAll();
        }
    }
    const std::string text = old.toStdString();
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    char number[16];
    std::snprintf(number, sizeof number, "%08x", static_cast<unsigned>(value));
    const std::string entry = value_name + "=dword:" + number;

    // Lines with their own ends, so that whatever is not ours stays byte for byte.
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t nl = text.find('\n', at);
        const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    const std::string want_key = key_of_section(key);
    const std::string want_name = lower(value_name);
    bool in_key = false, seen_section = false, left_section = false, done = false;
    std::optional<std::size_t> insert_after;   // the last line of the first such section
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        const std::string line = trim(lines[i]);
        if (!line.empty() && line.front() == '[' && line.back() == ']') {
            const bool match = key_of_section(trim(line.substr(1, line.size() - 2))) == want_key;
            if (in_key && !match) left_section = true;
            in_key = match;
            if (match && !seen_section) {
                seen_section = true;
                insert_after = i;
            }
            continue;
        }
        if (!in_key) continue;
        if (line.empty()) continue;
        if (!left_section) insert_after = i;
        if (line[0] == ';' || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (lower(unquote(trim(line.substr(0, eq)))) == want_name) {
            const bool had_end = lines[i].back() == '\n';
            lines[i] = entry + (had_end ? eol : "");
            done = true;
        }
    }
    if (!done) {
        if (insert_after) {
            std::string& last = lines[*insert_after];
            if (last.empty() || last.back() != '\n') last += eol;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insert_after) + 1, entry + eol);
        } else {
            if (!lines.empty() && lines.back().back() != '\n') lines.back() += eol;
            if (!lines.empty()) lines.push_back(eol);
            lines.push_back("[" + key + "]" + eol);
            lines.push_back(entry + eol);
        }
    }
    std::string out;
    for (const std::string& l : lines) out += l;

    return replace_file(path.toStdString(), out, true);
}

std::string read_registry_value(const std::string& key, const std::string& value_name) {
    const std::optional<std::string> raw = find_registry_entry(key, value_name);
    if (!raw) return "";
    // The value is read into a 255-byte buffer.
    constexpr std::size_t buffer = 255;
    if (lower(raw->substr(0, 6)) == "dword:") {
        const std::string hex = trim(raw->substr(6));
        if (hex.empty() || hex.size() > 8 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return "";
        const unsigned long v = std::strtoul(hex.c_str(), nullptr, 16);
        char text[16];
        std::snprintf(text, sizeof text, "%03lu", v);
        // Four bytes of data: the text is cut to its first three characters.
        return std::string(text).substr(0, 3);
    }
    std::string text = unquote(*raw);
    if (text.size() + 1 > buffer) return "";   // does not fit: the query fails
    return text;
}

// ---------------------------------------------------------------------------
// Display facts

std::int64_t get_color_count() {
    QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen) return 0;
    const int depth = std::clamp(screen->depth(), 0, 62);
    return std::int64_t{1} << depth;
}

// ---------------------------------------------------------------------------
// A window destroyed from outside

namespace {

// Reports, once, that a widget's own X window was destroyed.
class native_window_watch : public QObject, public QAbstractNativeEventFilter {
public:
    native_window_watch(QWidget* w, std::function<void()> cb) : QObject(w), widget_(w), callback_(std::move(cb)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~native_window_watch() override {
        if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (fired_ || type != "xcb_generic_event_t" || !widget_) return false;
        const auto* ev = static_cast<const xcb_generic_event_t*>(message);
        if ((ev->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
        const auto* d = static_cast<const xcb_destroy_notify_event_t*>(message);
        const WId own = widget_->internalWinId();
        if (own == 0 || d->window != own) return false;
        fired_ = true;
        // Not from inside the event dispatch: the callback may tear down.
        QMetaObject::invokeMethod(
            this, [this] {
                if (callback_) callback_();
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    QPointer<QWidget> widget_;
    std::function<void()> callback_;
    bool fired_ = false;
};

}  // namespace

void on_native_window_destroyed(QWidget* w, std::function<void()> on_destroyed) {
    if (!w || !QCoreApplication::instance()) return;
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return;
    new native_window_watch(w, std::move(on_destroyed));   // owned by w
}

// ---------------------------------------------------------------------------
// The preview inside a host window

namespace {

// The host windows our widgets sit in, kept while they do.
std::map<QWidget*, QPointer<QWindow>>& hosts() {
    static std::map<QWidget*, QPointer<QWindow>> h;
    return h;
}

class preview_close_filter : public QObject {
public:
    QPointer<QWidget> picture;
    std::function<void()> on_close;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == picture && event->type() == QEvent::Close) {
            // The host is done with the preview: take it back instead of
            // letting it close with the host's window.
            event->ignore();
            take_back_from_native_window(picture);
            auto cb = on_close;
            if (cb) cb();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

std::unique_ptr<preview_close_filter>& preview_hook() {
    static std::unique_ptr<preview_close_filter> h;
    return h;
}

}  // namespace

bool native_window_exists(std::uint64_t window, int* width, int* height) {
    return x11::window_size(window, width, height);
}

bool embed_in_native_window(QWidget* w, std::uint64_t parent) {
    if (!w || !w->isWindow()) return false;
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    if (!native_window_exists(parent)) return false;
    QWindow* host = QWindow::fromWinId(static_cast<WId>(parent));
    if (!host) return false;
    w->winId();   // makes sure the widget has its own window
    QWindow* own = w->windowHandle();
    if (!own) {
        delete host;
        return false;
    }
    own->setParent(host);
    w->move(0, 0);
    w->show();
    if (auto old = hosts().find(w); old != hosts().end() && old->second) old->second->deleteLater();
    hosts()[w] = host;
    QObject::connect(w, &QObject::destroyed, host, [w, host] {
        hosts().erase(w);
        host->deleteLater();
    });
    return true;
}

void take_back_from_native_window(QWidget* w) {
    if (!w) return;
    w->hide();
    if (QWindow* own = w->windowHandle(); own && own->parent()) own->setParent(nullptr);
    if (auto it = hosts().find(w); it != hosts().end()) {
        if (it->second) it->second->deleteLater();
        hosts().erase(it);
    }
}

void hook_preview_window(QWidget* picture, std::function<void()> on_close) {
    if (!picture) return;
    unhook_preview_window(nullptr);
    auto hook = std::make_unique<preview_close_filter>();
    hook->picture = picture;
    hook->on_close = std::move(on_close);
    picture->installEventFilter(hook.get());
    preview_hook() = std::move(hook);
}

void unhook_preview_window(QWidget* /*picture*/) {
    auto& hook = preview_hook();
    if (!hook) return;
    if (hook->picture) hook->picture->removeEventFilter(hook.get());
    hook.reset();
}

}  // namespace lv
