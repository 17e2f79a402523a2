#include "platform/desktop/startup_services.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/hooks.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/desktop/ini_store.h"
#include "scoped_env.h"

namespace {

// Points the XDG folders of this process at a fresh temporary tree.
class XdgSandbox : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        for (const char* sub : {"data", "config", "runtime"}) QDir(tmp.path()).mkpath(sub);
        QFile::setPermissions(tmp.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        set("XDG_DATA_HOME", "data");
        set("XDG_CONFIG_HOME", "config");
        set("XDG_RUNTIME_DIR", "runtime");
    }
    void TearDown() override { lv::settings() = lv::config_settings{}; }
    void set(const char* name, const char* sub) { env.set(name, (tmp.path() + "/" + sub).toLocal8Bit()); }
    QString path(const QString& rel) const { return tmp.path() + "/" + rel; }
    static QByteArray read_all(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir tmp;
    lvtest::scoped_env env;
};

// ---------------------------------------------------------------- INI store

using IniStoreTest = XdgSandbox;

TEST_F(IniStoreTest, LivesInTheConfigHomeAndKeepsEveryValueAsText) {
    EXPECT_EQ(lv::ini_store::default_path(), path("config/Tavrel Lumivane.ini").toStdString());
    const std::vector<std::pair<std::string, std::string>> values = {
        {"Effect Setting Grain 0", "12"},
        {"Hot Keys 3", "/home/ann/My Programs/run me.sh"},
        {"active_slideshow", "Trip, part 2.lmv"},
        {"misc", "@Variant(junk)"},
        {"extended_time", "  18 "},
        {"odd", "a=b;c#d\"e\\f"},
        {"unicode", "Grüße ☺"},
        {"empty", ""},
    };
    {
        lv::ini_store store;
        for (const auto& [k, v] : values) store.write(k, v);
    }
    lv::ini_store again;
    for (const auto& [k, v] : values) EXPECT_EQ(again.read(k, "default"), v) << k;
    EXPECT_EQ(again.read("missing", "dflt"), "dflt");

    // Written at once, under [Config].
    QByteArray text = read_all(path("config/Tavrel Lumivane.ini"));
    EXPECT_TRUE(text.startsWith("[Config]")) << text.constData();
}

TEST_F(IniStoreTest, ReadsAHandWrittenFile) {
    QFile f(path("config/Tavrel Lumivane.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Config]\ncancel_mode=4\nactive_slideshow=A, B.lmv\nset_extension=yes\n"
            "[Other]\nlogging=1\n");
    f.close();
    lv::ini_store store;
    EXPECT_EQ(store.read("cancel_mode", "9"), "4");
    EXPECT_EQ(store.read("active_slideshow", ""), "A, B.lmv");
    EXPECT_EQ(store.read("set_extension", "no"), "yes");
    EXPECT_EQ(store.read("logging", "0"), "0");   // other sections are not ours
}

TEST_F(IniStoreTest, TwoStoresOnOneFileSeeEachOthersWrites) {
    lv::ini_store a;
    lv::ini_store b;
    a.write("logging", "1");
    EXPECT_EQ(lv::ini_store().read("logging", "0"), "1");
    b.write("audio_on", "0");
    EXPECT_EQ(lv::ini_store().read("logging", "0"), "1");
    EXPECT_EQ(lv::ini_store().read("audio_on", "1"), "0");
}

// ---------------------------------------------------------------- folders, hooks

using StartupServicesTest = XdgSandbox;

TEST_F(StartupServicesTest, WindowsDirIsCreatedUnderTheDataHome) {
    EXPECT_FALSE(QDir(path("data/lumivane")).exists());
    EXPECT_EQ(lv::xdg_windows_dir(), path("data/lumivane/").toStdString());
    EXPECT_TRUE(QDir(path("data/lumivane")).exists());

    lv::install_startup_services();
    EXPECT_EQ(lv::get_windows_dir(), path("data/lumivane/").toStdString());
    EXPECT_EQ(lv::startup().executable_folder(), QCoreApplication::applicationDirPath().toStdString() + "/");
    lv::startup() = lv::startup_hooks{};
    lv::register_extension_hook() = nullptr;
}

TEST_F(StartupServicesTest, CoreHooksReachTheMessageLoopClockAndScreen) {
    lv::install_core_hooks();
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    lv::yield_events();
    EXPECT_TRUE(ran);

    auto a = lv::monotonic_ms();
    auto b = lv::monotonic_ms();
    EXPECT_LE(a, b);
    auto w = lv::now();
    EXPECT_GE(w.year, 2024);
    EXPECT_GE(w.month, 1);
    EXPECT_LE(w.hour, 23);

    auto s = lv::screen();
    EXPECT_GT(s.width, 0);
    EXPECT_GT(s.height, 0);
    EXPECT_GT(s.color_count, 1);
    EXPECT_GT(s.twips_per_pixel_x, 0);
    EXPECT_GT(s.twips_per_pixel_y, 0);
    lv::hooks() = lv::core_hooks{};
}

// ---------------------------------------------------------------- title claims

using TitleClaimTest = XdgSandbox;

TEST_F(TitleClaimTest, ClaimIsSeenUntilReleased) {
    const std::string title = "Lumivane - v.6.0.11";
    EXPECT_TRUE(lv::no_window_titled(title));
    {
        lv::window_title_claim claim(title);
        ASSERT_TRUE(claim.held());
        EXPECT_FALSE(lv::no_window_titled(title));
        EXPECT_TRUE(lv::no_window_titled("Lumivane Multimedia Tool"));
        // A second window of the same title does not block.
        lv::window_title_claim second(title);
        EXPECT_TRUE(second.held());
        EXPECT_FALSE(lv::no_window_titled(title));
        // The probe leaves the claim in place.
        EXPECT_FALSE(lv::no_window_titled(title));
    }
    EXPECT_TRUE(lv::no_window_titled(title));
    EXPECT_EQ(lv::title_claim_dir(), path("runtime/").toStdString());
}

TEST_F(TitleClaimTest, TitlesAreExactAndClaimsMove) {
    lv::window_title_claim claim("Lumivane Multimedia Tool");
    EXPECT_TRUE(lv::no_window_titled("lumivane multimedia tool"));
    EXPECT_TRUE(lv::no_window_titled("Lumivane Multimedia Tool "));
    lv::window_title_claim moved(std::move(claim));
    EXPECT_FALSE(claim.held());
    EXPECT_FALSE(lv::no_window_titled("Lumivane Multimedia Tool"));
    moved.claim("Other/Title: with ../ odd chars");
    EXPECT_TRUE(lv::no_window_titled("Lumivane Multimedia Tool"));
    EXPECT_FALSE(lv::no_window_titled("Other/Title: with ../ odd chars"));
    std::string long_title(500, 'x');
    lv::window_title_claim long_claim(long_title);
    EXPECT_TRUE(long_claim.held());
    EXPECT_FALSE(lv::no_window_titled(long_title));

    QWidget w;
    lv::window_title_claim wclaim;
    lv::set_claimed_title(&w, wclaim, "Lumivane - v.6.0.11");
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Lumivane - v.6.0.11"));
    EXPECT_FALSE(lv::no_window_titled("Lumivane - v.6.0.11"));
}

TEST_F(TitleClaimTest, AnotherProcessSeesTheClaimAndAKilledOneFreesIt) {
    const std::string title = "Lumivane Multimedia Tool";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        lv::window_title_claim claim(title);
        lv::single_run_claim role;
        char ok = claim.held() && role.try_claim("screensaver") && role.held() ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        for (;;) pause();
    }
    close(ready[1]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    EXPECT_EQ(ok, 'y');
    EXPECT_FALSE(lv::no_window_titled(title));
    // The role is refused without waiting, and stays unclaimed here.
    lv::single_run_claim role;
    EXPECT_FALSE(role.try_claim("screensaver"));
    EXPECT_FALSE(role.held());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(lv::no_window_titled(title));
    EXPECT_TRUE(role.try_claim("screensaver"));
    EXPECT_TRUE(role.held());
}

TEST_F(TitleClaimTest, ProgramsWeStartDoNotInheritTheClaim) {
    const std::string title = "Lumivane - v.6.0.11";
    QProcess sleeper;
    {
        lv::window_title_claim claim(title);
        sleeper.start("sleep", {"5"});
        ASSERT_TRUE(sleeper.waitForStarted());
    }
    EXPECT_TRUE(lv::no_window_titled(title));
    sleeper.kill();
    sleeper.waitForFinished();
}

TEST_F(TitleClaimTest, WithoutARuntimeDirAPrivateTmpFolderIsUsed) {
    qunsetenv("XDG_RUNTIME_DIR");
    std::string dir = lv::title_claim_dir();
    EXPECT_EQ(dir, "/tmp/lumivane-" + std::to_string(getuid()) + "/");
    lv::window_title_claim claim("Lumivane test title");
    EXPECT_FALSE(lv::no_window_titled("Lumivane test title"));
}

// ---------------------------------------------------------------- file type

using ExtensionTest = XdgSandbox;

TEST_F(ExtensionTest, WritesMimePackageAndDesktopEntry) {
    lv::settings().install_path = "/opt/lumivane/";
    lv::register_lmv_extension();
    QByteArray xml = read_all(path("data/mime/packages/lumivane.xml"));
    EXPECT_TRUE(xml.contains("<mime-type type=\"application/x-lumivane-slideshow\">")) << xml.constData();
    EXPECT_TRUE(xml.contains("<comment>Lumivane SlideShow</comment>"));
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.lmv\"/>"));
    QByteArray desktop = read_all(path("data/applications/lumivane.desktop"));
    EXPECT_TRUE(desktop.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(desktop.contains("\nExec=/opt/lumivane/lumivane %f\n")) << desktop.constData();
    EXPECT_TRUE(desktop.contains("\nMimeType=application/x-lumivane-slideshow;\n"));
    if (!QStandardPaths::findExecutable("update-mime-database").isEmpty()) {
        // The refreshed database knows the type.
        QByteArray globs = read_all(path("data/mime/globs2"));
        EXPECT_TRUE(globs.contains("application/x-lumivane-slideshow:*.lmv")) << globs.constData();
    }
}

TEST_F(ExtensionTest, ExecLineQuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(lv::lmv_exec_line(""), "lumivane %f");
    EXPECT_EQ(lv::lmv_exec_line("/usr/bin/"), "/usr/bin/lumivane %f");
    EXPECT_EQ(lv::lmv_exec_line("/opt/My Apps/"), "\"/opt/My Apps/lumivane\" %f");
    EXPECT_EQ(lv::lmv_exec_line("/opt/100%/"), "/opt/100%%/lumivane %f");
    // A backslash is escaped for the quoted argument and again for the value.
    EXPECT_EQ(lv::lmv_exec_line("/opt/a\\b/"), "\"/opt/a\\\\\\\\b/lumivane\" %f");
    // A dollar in a quoted argument is written "\\$" in the file.
    EXPECT_EQ(lv::lmv_exec_line("/opt/$x/"), "\"/opt/\\\\$x/lumivane\" %f");
}

TEST_F(ExtensionTest, UnwritableDataHomeIsIgnored) {
    // Data homes no one can write to, root included: a folder below a regular
    // file, and one inside /proc.
    const QByteArray blocker_text = "a file, not a folder\n";
    {
        QFile blocker(path("blocker"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.write(blocker_text);
    }
    lv::ini_store store;   // the settings file in this sandbox's config home
    struct restore {
        ~restore() {
            lv::set_settings_store(nullptr);
            lv::startup() = lv::startup_hooks{};
            lv::register_extension_hook() = nullptr;
        }
    } restore_hooks;
    lv::set_settings_store(&store);
    lv::install_startup_services();

    for (const QString& home : {path("blocker/data"), QStringLiteral("/proc/lumivane-nowhere")}) {
        SCOPED_TRACE(home.toStdString());
        qputenv("XDG_DATA_HOME", home.toLocal8Bit());
        // Start-up's one-time registration gives up quietly and start-up goes on.
        store.write("set_extension", "no");
        lv::load_settings();
        EXPECT_EQ(store.read("set_extension", "no"), "yes");
        lv::register_lmv_extension();
        EXPECT_FALSE(QFileInfo::exists(home));
    }

    // No MIME package, desktop entry or half-written temporary file anywhere:
    // outside the config home the sandbox holds only the blocking file.
    EXPECT_TRUE(QFileInfo(path("blocker")).isFile());
    EXPECT_EQ(read_all(path("blocker")), blocker_text);
    QStringList written;
    QDirIterator it(tmp.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = QDir(tmp.path()).relativeFilePath(it.next());
        if (!rel.startsWith(QLatin1String("config/"))) written << rel;
    }
    EXPECT_EQ(written.join(QLatin1Char(' ')).toStdString(), "blocker");
    EXPECT_FALSE(QFileInfo::exists(path("data/mime/packages/lumivane.xml")));
    EXPECT_FALSE(QFileInfo::exists(path("data/applications/lumivane.desktop")));
}

// ---------------------------------------------------------------- "/S" wait

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

TEST(ShowWait, EndsWhenTheShowIsFinishedWithoutSpinning) {
    lv::run().show_finished = 0;
    QWidget player;
    QTimer::singleShot(400, [] { lv::run().show_finished = 1; });
    double cpu = cpu_seconds();
    lv::wait_until_show_finished(&player);
    EXPECT_EQ(lv::run().show_finished, 1);
    // 400 ms of waiting must not burn anywhere near 400 ms of processor time.
    EXPECT_LT(cpu_seconds() - cpu, 0.2);
    lv::run().show_finished = 0;
}

TEST(ShowWait, EndsWhenThePlayerWindowIsGone) {
    lv::run().show_finished = 0;
    auto* player = new QWidget;
    player->setAttribute(Qt::WA_DeleteOnClose);
    player->show();
    QTimer::singleShot(50, player, [player] { player->close(); });
    lv::wait_until_show_finished(player);
    EXPECT_EQ(lv::run().show_finished, 0);

    auto* other = new QWidget;
    QTimer::singleShot(50, other, [other] { other->deleteLater(); });
    lv::wait_until_show_finished(other);

    lv::wait_until_show_finished(nullptr);   // nothing to wait for
}

}  // namespace
