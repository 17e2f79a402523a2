#include "platform/desktop/startup_services.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/hooks.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/text_file.h"
#include "platform/desktop/ini_store.h"

namespace lv {

// ---------------------------------------------------------------- folders

std::string xdg_windows_dir() {
    // GenericDataLocation honours $XDG_DATA_HOME and falls back to ~/.local/share.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    QString dir = base + QStringLiteral("/lumivane/");
    QDir().mkpath(dir);
    return dir.toStdString();
}

namespace {

QString data_home() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    return base;
}

// A folder only this user can write to: anything else could let another
// user hold our locks or plant files.
bool private_folder(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 022) == 0;
}

}  // namespace

std::string title_claim_dir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && private_folder(runtime)) return std::string(runtime) + "/";
    std::string tmp = "/tmp/lumivane-" + std::to_string(getuid());
    if (mkdir(tmp.c_str(), 0700) != 0 && errno != EEXIST) return {};
    if (private_folder(tmp)) return tmp + "/";
    // Someone else owns the /tmp name: fall back to our data directory.
    return xdg_windows_dir();
}

// ---------------------------------------------------------------- title claims

namespace {

// The lock file of a window title ("window-...") or a role ("role-...").
std::string claim_file(const std::string& title, const std::string& kind = "window-") {
    std::string dir = title_claim_dir();
    if (dir.empty()) return {};
    static const char hex[] = "0123456789abcdef";
    std::string name = kind;
    for (unsigned char c : title) {
        name.push_back(hex[c >> 4]);
        name.push_back(hex[c & 15]);
    }
    if (name.size() > 200) {
        // Far longer than any title of ours; keep file names legal.
        std::uint64_t h = 1469598103934665603ull;
        for (unsigned char c : title) h = (h ^ c) * 1099511628211ull;
        name = kind + "h" + std::to_string(h);
    }
    return dir + name + ".lock";
}

int flock_retrying(int fd, int op) {
    int r;
    do {
        r = flock(fd, op);
    } while (r != 0 && errno == EINTR);
    return r;
}

}  // namespace

window_title_claim& window_title_claim::operator=(window_title_claim&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        title_ = std::move(other.title_);
        other.fd_ = -1;
    }
    return *this;
}

bool window_title_claim::claim(const std::string& title) {
    if (held() && title == title_) return true;
    release();
    std::string path = claim_file(title);
    if (path.empty()) return false;
    // Close-on-exec: a program we launch must not keep our window "open".
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    // Shared, so windows never block each other; it waits only for a probe
    // of no_window_titled, which holds its exclusive lock for an instant.
    if (flock_retrying(fd, LOCK_SH) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    title_ = title;
    return true;
}

void window_title_claim::release() {
    if (fd_ >= 0) {
        close(fd_);   // closing drops the lock; the file stays for the next claim
        fd_ = -1;
    }
    title_.clear();
}

void set_claimed_title(QWidget* window, window_title_claim& claim, const std::string& title) {
    claim.claim(title);
    if (window) window->setWindowTitle(QString::fromStdString(title));
}

bool single_run_claim::try_claim(const std::string& role) {
    release();
    const std::string path = claim_file(role, "role-");
    if (path.empty()) return true;
    // Close-on-exec: a program we launch must not keep the role taken.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return true;
    if (flock_retrying(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        close(fd);
        return !taken;
    }
    fd_ = fd;
    return true;
}

void single_run_claim::release() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool no_window_titled(const std::string& caption) {
    std::string path = claim_file(caption);
    if (path.empty()) return true;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return true;   // never claimed
    bool free = true;
    if (flock_retrying(fd, LOCK_EX | LOCK_NB) != 0) {
        free = errno != EWOULDBLOCK;
    }
    close(fd);
    return free;
}

// ---------------------------------------------------------------- file type

namespace {

// An Exec argument quoted as the desktop entry format asks when it holds a
// reserved character, then escaped as a string value.
std::string quote_exec_argument(const std::string& arg) {
    std::string a;
    for (char c : arg) {
        if (c == '%') a += "%%";
        else a.push_back(c);
    }
    const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    if (a.find_first_of(reserved) != std::string::npos) {
        std::string q = "\"";
        for (char c : a) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') q.push_back('\\');
            q.push_back(c);
        }
        q.push_back('"');
        a = q;
    }
    std::string v;
    for (char c : a) {
        if (c == '\\') v += "\\\\";
        else if (c == '\n') v += "\\n";
        else if (c == '\t') v += "\\t";
        else if (c == '\r') v += "\\r";
        else v.push_back(c);
    }
    return v;
}

void write_whole_file(const QString& path, const QByteArray& content) {
    replace_file(path.toStdString(), std::string_view(content.constData(), static_cast<std::size_t>(content.size())),
                 true);
}

void run_tool(const QString& program, const QStringList& args) {
    QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty()) return;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(exe, args);
    if (!p.waitForStarted(10000)) return;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(2000);
    }
}

}  // namespace

std::string lmv_exec_line(const std::string& install_path) {
    return lmv_exec_line_for_program(install_path + "lumivane");
}

std::string lmv_exec_line_for_program(const std::string& program) {
    return quote_exec_argument(program) + " %f";
}

std::string running_executable() {
    QString path;
    if (QCoreApplication::instance()) path = QCoreApplication::applicationFilePath();
    if (path.isEmpty()) path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return path.toStdString();
}

void register_lmv_extension() {
    const QString home = data_home();
    const QString mime_dir = home + QStringLiteral("/mime");
    const QString apps_dir = home + QStringLiteral("/applications");

    QByteArray package =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"" + QByteArray(lmv_mime_type) + "\">\n"
        "    <comment>Lumivane SlideShow</comment>\n"
        "    <glob pattern=\"*.lmv\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    write_whole_file(mime_dir + QStringLiteral("/packages/lumivane.xml"), package);

    const std::string& folder = settings().install_path;
    const std::string program = folder.empty() ? running_executable() : std::string();
    const std::string exec = program.empty() ? lmv_exec_line(folder) : lmv_exec_line_for_program(program);

    QByteArray desktop =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Lumivane\n"
        "Comment=Lumivane SlideShow\n"
        "Exec=" + QByteArray::fromStdString(exec) + "\n"
        "MimeType=" + QByteArray(lmv_mime_type) + ";\n"
        "NoDisplay=true\n"
        "Terminal=false\n";
    write_whole_file(apps_dir + QStringLiteral("/lumivane.desktop"), desktop);

    run_tool(QStringLiteral("update-mime-database"), {mime_dir});
    run_tool(QStringLiteral("update-desktop-database"), {apps_dir});
}

// ---------------------------------------------------------------- hooks

void install_core_hooks() {
    auto& h = hooks();
    h.yield_events = [] { QCoreApplication::processEvents(); };
    h.monotonic_ms = [] {
        using namespace std::chrono;
        return static_cast<std::int64_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
    h.now = [] {
        QDateTime t = QDateTime::currentDateTime();
        wall_time w;
        w.year = t.date().year();
        w.month = t.date().month();
        w.day = t.date().day();
        w.hour = t.time().hour();
        w.minute = t.time().minute();
        w.second = t.time().second();
        return w;
    };
    h.screen = [] {
        screen_facts f;
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return f;
        QScreen* s = QGuiApplication::primaryScreen();
        if (!s) return f;
        f.width = s->geometry().width();
        f.height = s->geometry().height();
        int depth = s->depth();
        if (depth > 0 && depth < 63) f.color_count = std::int64_t{1} << depth;
        double dpi_x = s->logicalDotsPerInchX();
        double dpi_y = s->logicalDotsPerInchY();
        if (dpi_x > 0) f.twips_per_pixel_x = static_cast<int>(std::lround(1440.0 / dpi_x));
        if (dpi_y > 0) f.twips_per_pixel_y = static_cast<int>(std::lround(1440.0 / dpi_y));
        return f;
    };
}

void install_startup_services() {
    startup().executable_folder = [] {
        return QCoreApplication::applicationDirPath().toStdString() + "/";
    };
    startup().windows_dir = [] { return xdg_windows_dir(); };
    startup().remove_stale_config_files = [](std::filesystem::file_time_type now) {
        remove_stale_settings_files(now);
    };
    register_extension_hook() = [] { register_lmv_extension(); };
}

// ---------------------------------------------------------------- "/S" wait

void wait_until_show_finished(QWidget* player) {
    QPointer<QWidget> alive(player);
    while (run().show_finished == 0 && alive) {
        // Sleeps until an event arrives; the player's timers wake it.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // A window the player deleted with deleteLater() goes now, so that
        // its disappearance ends the wait.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace lv
