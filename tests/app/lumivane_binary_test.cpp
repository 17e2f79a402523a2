// Runs the built program the way the desktop does, on empty per-user folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "platform/desktop/startup_services.h"
#include "scoped_env.h"

#ifndef LUMIVANE_BINARY
#error "LUMIVANE_BINARY must name the built program"
#endif

namespace {

struct result {
    int status = -1;
    QByteArray out, err;
};

struct file_stamp {
    ino_t inode = 0;
    long long mtime_ns = 0;
    bool operator==(const file_stamp&) const = default;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        for (const char* sub : {"home", "data", "config", "runtime"}) QDir(tmp.path()).mkpath(sub);
        QFile::setPermissions(dir("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.set("XDG_RUNTIME_DIR", dir("runtime").toLocal8Bit());
    }

    QString dir(const QString& rel) const { return tmp.path() + "/" + rel; }
    QString ini() const { return dir("config/Tavrel Lumivane.ini"); }
    QString mime_package() const { return dir("data/mime/packages/lumivane.xml"); }
    QString desktop_file() const { return dir("data/applications/lumivane.desktop"); }
    QString data_folder() const { return dir("data/lumivane/Lumivane Data"); }

    // The program's environment: this test's own user folders, and Qt off
    // screen (or no display at all).
    QProcessEnvironment environment(bool with_display = true) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir("home"));
        env.insert("XDG_DATA_HOME", dir("data"));
        env.insert("XDG_CONFIG_HOME", dir("config"));
        env.insert("XDG_RUNTIME_DIR", dir("runtime"));
        if (with_display) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(v);
        }
        return env;
    }

    result run(const QStringList& args, bool with_display = true, const std::function<void()>& in_child = {}) {
        const QProcessEnvironment env = environment(with_display);
        QProcess p;
        p.setProcessEnvironment(env);
        if (in_child) p.setChildProcessModifier(in_child);
        p.start(QStringLiteral(LUMIVANE_BINARY), args);
        result r;
        if (!p.waitForStarted(10000)) return r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }

    static file_stamp stamp(const QString& path) {
        struct stat st {};
        if (stat(QFile::encodeName(path).constData(), &st) != 0) return {};
        return {st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }

    std::string setting(const QString& key) {
        QSettings s(ini(), QSettings::IniFormat);
        return s.value("Config/" + key).toString().toStdString();
    }

    QTemporaryDir tmp;
    lvtest::scoped_env env;
};

TEST_F(ProgramTest, FirstStartSetsUpTheUserOnceAndAgainWhenAskedTo) {
    result r = run({"/X"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, QByteArray());
    EXPECT_TRUE(QDir(data_folder()).exists());
    EXPECT_EQ(setting("set_extension"), "yes");
    EXPECT_TRUE(QFile::exists(mime_package()));
    EXPECT_TRUE(QFile::exists(desktop_file()));

    // A second start rewrites none of it.
    const QStringList watched = {ini(), mime_package(), desktop_file(), data_folder()};
    std::vector<file_stamp> before;
    for (const auto& f : watched) before.push_back(stamp(f));
    r = run({"/X"});
    EXPECT_EQ(r.status, 0);
    for (int i = 0; i < watched.size(); ++i) {
        EXPECT_TRUE(stamp(watched[i]) == before[static_cast<std::size_t>(i)]) << watched[i].toStdString();
    }

    // Setting the flag back to "no" registers the type again at the next start.
    {
        QSettings s(ini(), QSettings::IniFormat);
        s.setValue("Config/set_extension", "no");
    }
    QFile::remove(mime_package());
    QFile::remove(desktop_file());
    r = run({"/X"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(QFile::exists(mime_package()));
    EXPECT_TRUE(QFile::exists(desktop_file()));
    EXPECT_EQ(setting("set_extension"), "yes");
}

TEST_F(ProgramTest, InstallPathFromTheSettingsNamesTheProgram) {
    QDir().mkpath(dir("config"));
    {
        QSettings s(ini(), QSettings::IniFormat);
        s.setValue("Config/install_path", "/opt/lumivane/");
    }
    EXPECT_EQ(run({"/X"}).status, 0);
    QFile f(desktop_file());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("\nExec=/opt/lumivane/lumivane %f\n"));
    EXPECT_EQ(setting("install_path"), "/opt/lumivane/");   // never rewritten
}

namespace {

// The program an Exec line starts, unquoted and unescaped the way the
// desktop entry format says: first the string value's escapes, then the
// argument quoting ("...", where \\ " ` $ are escaped), then "%%".
QString exec_program(const QByteArray& entry) {
    QString value;
    for (const QByteArray& line : entry.split('\n'))
        if (line.startsWith("Exec=")) value = QString::fromUtf8(line.mid(5));
    QString unescaped;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const QChar c = value[++i];
            unescaped += c == 's' ? QChar(' ') : c == 'n' ? QChar('\n') : c == 't' ? QChar('\t') : c == 'r' ? QChar('\r') : c;
        } else {
            unescaped += value[i];
        }
    }
    QString program;
    int i = 0;
    if (unescaped.startsWith('"')) {
        for (i = 1; i < unescaped.size() && unescaped[i] != '"'; ++i) {
            if (unescaped[i] == '\\' && i + 1 < unescaped.size()) ++i;
            program += unescaped[i];
        }
    } else {
        program = unescaped.section(' ', 0, 0);
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

}  // namespace

// Opening a slideshow from a file manager: the entry the first start writes
// starts this very program, wherever it sits, with no help from the PATH.
TEST_F(ProgramTest, FileTypeEntryStartsTheProgramWithoutThePath) {
    // A copy of the program in a folder whose name needs quoting.
    const QString folder = dir("My Apps $1");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString copy = folder + "/lumivane";
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMIVANE_BINARY), copy));
    QProcessEnvironment env = environment();
    env.insert("PATH", "/usr/bin:/bin");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir("home"));
    p.start(copy, {"/X"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);

    QFile f(desktop_file());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray entry = f.readAll();
    const QString program = exec_program(entry);
    EXPECT_EQ(program, copy) << entry.constData();
    EXPECT_TRUE(QFileInfo(program).isExecutable()) << entry.constData();
    EXPECT_TRUE(entry.contains(" %f\n")) << entry.constData();

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty()) return;
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(validator, {desktop_file()});
    ASSERT_TRUE(check.waitForFinished(20000));
    const QByteArray said = check.readAll();
    EXPECT_EQ(check.exitCode(), 0) << said.constData();
    EXPECT_FALSE(said.contains("error")) << said.constData();
}

TEST_F(ProgramTest, UnknownSwitchNeedsNoDisplay) {
    result r = run({"/X"}, false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, QByteArray());
    r = run({"\"/home/ann/Trip.lmv\""}, false);   // quoted: neither file nor switch
    EXPECT_EQ(r.status, 0);
}

// "/C", an empty command line and their variants open the main screen, which
// holds its title while open and, on a first start, chooses and stores the
// colour rendering mode (the offscreen screen has true colour).
TEST_F(ProgramTest, MainScreenOpensOnceAndChoosesTheColourModeAtFirstStart) {
    const std::string caption = "Lumivane - v.6.0.11";
    for (const QStringList& args : {QStringList{}, QStringList{"/c"}, QStringList{"/C:1234"}}) {
        QFile::remove(ini());
        QDir().mkpath(dir("config"));
        {
            QSettings s(ini(), QSettings::IniFormat);
            s.setValue("Config/Message1", "1");   // the welcome pop-up would wait for a click
        }
        QProcess screen;
        screen.setProcessEnvironment(environment());
        screen.start(QStringLiteral(LUMIVANE_BINARY), args);
        ASSERT_TRUE(screen.waitForStarted(10000));

        QElapsedTimer t;
        t.start();
        while (setting("display_mode") != "3" && t.elapsed() < 20000) QThread::msleep(50);
        EXPECT_EQ(setting("display_mode"), "3") << args.join(' ').toStdString();
        EXPECT_FALSE(lv::no_window_titled(caption)) << args.join(' ').toStdString();
        EXPECT_EQ(screen.state(), QProcess::Running);

        // A second main screen ends at once and silently.
        result second = run({"/C"});
        EXPECT_EQ(second.status, 0);
        EXPECT_EQ(second.err, QByteArray());

        screen.terminate();
        screen.waitForFinished(10000);
        EXPECT_FALSE(screen.readAllStandardError().contains("not built yet"));
        EXPECT_TRUE(lv::no_window_titled(caption));
    }
}

// What a settings save killed midway leaves in the config folder goes at the
// next start, also beside the files the settings and a slideshow link to;
// a person's own copies of the settings, named as they please, stay, as do a
// link and a file of ours still being written. Nothing is saved at this
// start, so only the clean-up takes anything away.
TEST_F(ProgramTest, StartRemovesOnlyTheStaleFilesOfTheSettingsWriters) {
    namespace fs = std::filesystem;
    for (const char* sub : {"config/lumivane", "dotfiles", "shows"}) QDir(tmp.path()).mkpath(sub);
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(2);
    auto make = [&](const QString& rel, bool is_old = true) {
        QFile f(dir(rel));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Config]\nset_extension=yes\n");
        f.close();
        if (is_old) fs::last_write_time(f.fileName().toStdString(), old);
    };
    make("dotfiles/lumivane.ini", false);
    ASSERT_TRUE(QFile::link(dir("dotfiles/lumivane.ini"), ini()));
    make("shows/Trip.lmv", false);
    QDir().mkpath(data_folder());
    ASSERT_TRUE(QFile::link("../../../shows/Trip.lmv", data_folder() + "/Trip.lmv"));
    const QStringList ours = {"config/.Tavrel Lumivane.ini.lumivane-tmp-48213",
                              "config/.Tavrel Lumivane.ini.lumivane-tmp-7.qWeRtY",
                              "config/.Tavrel Lumivane.ini.lumivane-lock",
                              "config/lumivane/.registry.ini.lumivane-tmp-903311",
                              "dotfiles/.lumivane.ini.lumivane-lock",
                              "dotfiles/.lumivane.ini.lumivane-tmp-512",
                              "shows/.Trip.lmv.lumivane-tmp-6001"};
    QStringList alike = {"Tavrel Lumivane.ini.lock", "Other.ini.AbCdEf", "lumivane/registry.ini.lock",
                         "lumivane/registry.ini.Backup", "lumivane/registry.ini.OldCfg"};
    for (const char* copy : {"Backup", "OldCfg", "MyCopy", "Sunday", "DecBak", "AbCdEf"})
        alike << QStringLiteral("Tavrel Lumivane.ini.") + copy;
    for (QString& f : alike) f.prepend("config/");
    alike << "dotfiles/lumivane.ini.lock" << "shows/Trip.lmv.Backup";
    for (const QString& f : ours + alike) make(f);
    make("config/.Tavrel Lumivane.ini.lumivane-tmp-5521", false);   // maybe still being written
    QFile::link(dir("config/Other.ini.AbCdEf"), dir("config/.Tavrel Lumivane.ini.lumivane-tmp-66"));
    const file_stamp settings_before = stamp(dir("dotfiles/lumivane.ini"));

    EXPECT_EQ(run({"/X"}).status, 0);
    EXPECT_TRUE(stamp(dir("dotfiles/lumivane.ini")) == settings_before);   // not saved
    for (const QString& f : ours) EXPECT_FALSE(QFile::exists(dir(f))) << f.toStdString();
    for (const QString& f : alike + QStringList{"config/.Tavrel Lumivane.ini.lumivane-tmp-5521"})
        EXPECT_TRUE(QFile::exists(dir(f))) << f.toStdString();
    EXPECT_TRUE(QFileInfo(dir("config/.Tavrel Lumivane.ini.lumivane-tmp-66")).isSymLink());
}

// The first start saves the settings. Whatever stands at the name of the
// save's lock (left there by a process killed while saving, or by anyone),
// the save ends and the settings are saved; what stood there is not taken away.
TEST_F(ProgramTest, TheSettingsAreSavedWhateverStandsAtTheLockName) {
    const QString lock = dir("config/.Tavrel Lumivane.ini.lumivane-lock");
    const std::string lock_name = QFile::encodeName(lock).toStdString();
    for (const char* what : {"folder", "fifo", "empty", "unreadable"}) {
        SCOPED_TRACE(what);
        QFile::remove(ini());
        const std::string kind = what;
        if (kind == "folder") {
            ASSERT_TRUE(QDir().mkpath(lock + "/inside"));
        } else if (kind == "fifo") {
            ASSERT_EQ(::mkfifo(lock_name.c_str(), 0600), 0);
        } else {
            QFile f(lock);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.close();
            if (kind == "unreadable") {
                ASSERT_EQ(::chmod(lock_name.c_str(), 0), 0);
            }
        }
        // The superuser opens any file: the program runs without that power.
        const result r = run({"/X"}, true, [] {
            if (::geteuid() == 0)
                for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(setting("set_extension"), "yes");
        if (kind == "folder") {
            EXPECT_TRUE(QFileInfo::exists(lock + "/inside"));
        } else if (kind == "fifo") {
            EXPECT_TRUE(QFileInfo(lock).exists() && !QFileInfo(lock).isFile());
        } else {
            // A lock that could be opened was taken, and went with the save.
            EXPECT_EQ(QFileInfo::exists(lock), kind == "unreadable");
        }
        QFile::remove(lock);
        QDir(lock).removeRecursively();
    }
}

// A settings file, desktop entry and MIME file kept in a dotfiles folder not
// checked out yet, linked into place: the first start writes them there and
// the links stay links.
TEST_F(ProgramTest, FirstStartWritesThroughLinksToFilesNotThereYet) {
    QDir().mkpath(dir("data/applications"));
    QDir().mkpath(dir("data/mime/packages"));
    const QStringList links = {ini(), desktop_file(), mime_package()};
    const QStringList targets = {dir("dotfiles/config/lumivane.ini"), "../../dotfiles/lumivane.desktop",
                                 dir("dotfiles/mime.xml")};
    for (int i = 0; i < links.size(); ++i) ASSERT_TRUE(QFile::link(targets[i], links[i]));

    EXPECT_EQ(run({"/X"}).status, 0);
    for (const QString& link : links) EXPECT_TRUE(QFileInfo(link).isSymLink()) << link.toStdString();
    EXPECT_EQ(setting("set_extension"), "yes");
    EXPECT_TRUE(QFileInfo(dir("dotfiles/config/lumivane.ini")).isFile());
    QFile entry(dir("dotfiles/lumivane.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("\nExec="));
    QFile mime(dir("dotfiles/mime.xml"));
    ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
    EXPECT_TRUE(mime.readAll().contains("*.lmv"));
    // Nothing of the saves' own is left beside the links or their files.
    for (const char* folder : {"config", "dotfiles/config", "dotfiles"})
        for (const QString& name : QDir(dir(folder)).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot))
            EXPECT_FALSE(name.startsWith('.')) << folder << "/" << name.toStdString();
}

TEST_F(ProgramTest, SecondMainScreenOrScreenSaverEndsSilently) {
    {
        lv::window_title_claim main_screen("Lumivane - v.6.0.11");
        result r = run({"/C"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, QByteArray());
    }
    {
        lv::window_title_claim player("Lumivane Multimedia Tool");
        result r = run({"/S"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, QByteArray());
    }
}

}  // namespace
