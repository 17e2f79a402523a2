#include "platform/desktop/ini_store.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/state.h"

namespace {

class IniStore : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::settings() = lv::config_settings{};
    }
    std::string path(const std::string& name) const { return (dir_.path() + "/").toStdString() + name; }
    static std::string contents(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    QTemporaryDir dir_;
};

// Sets every text option save_settings writes to a value that names gen.
void settings_of_generation(int gen) {
    auto& s = lv::settings();
    const std::string v = "g" + std::to_string(gen);
    for (std::string* field : {&s.wav_devicename, &s.mid_devicename, &s.mp3_devicename, &s.mpg_devicename,
                               &s.avi_devicename, &s.cda_devicename, &s.active_slideshow, &s.button_position})
        *field = v;
    for (auto& key : s.hot_keys) key = v;
}
constexpr int generation_values = 8 + 12;

// The values of the file that settings_of_generation wrote.
std::multiset<std::string> generation_values_in(const std::string& text) {
    std::multiset<std::string> values;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find("=g");
        if (eq != std::string::npos) values.insert(line.substr(eq + 1));
    }
    return values;
}

// Marks the file immutable, which even the superuser cannot write through.
bool make_immutable(const std::string& p, bool on) {
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

}  // namespace

// Writes wait for sync(); a store that goes away syncs, so one key written
// by a process that then ends normally is kept.
TEST_F(IniStore, WritesReachTheFileAtSyncOrWhenTheStoreGoes) {
    const std::string p = path("Tavrel Lumivane.ini");
    {
        lv::ini_store store(p);
        store.write("cancel_mode", "4");
        EXPECT_TRUE(store.sync());
        EXPECT_NE(contents(p).find("cancel_mode=4"), std::string::npos);
        store.write("misc", "zpzp");
        EXPECT_EQ(contents(p).find("misc"), std::string::npos);   // not yet
        EXPECT_EQ(store.read("misc", ""), "zpzp");
    }
    EXPECT_NE(contents(p).find("misc=zpzp"), std::string::npos);

    // save_settings writes every key, syncs once and says whether that worked.
    lv::ini_store store(p);
    lv::set_settings_store(&store);
    settings_of_generation(7);
    EXPECT_TRUE(lv::save_settings());
    EXPECT_EQ(generation_values_in(contents(p)).count("g7"), static_cast<std::size_t>(generation_values));
    EXPECT_NE(contents(p).find("cancel_mode=9"), std::string::npos);   // the default, written back

    // Saves in quick succession, of files of one size, are each read back
    // by every store of the process, and a later save of another key keeps them.
    lv::ini_store other(p);
    for (int i = 0; i < 200; ++i) {
        const std::string v = i % 2 ? "x" : "y";
        store.write("Message 1", v);
        ASSERT_TRUE(store.sync());
        ASSERT_EQ(other.read("Message 1", ""), v) << i;
        store.write("Message 2", v);
        ASSERT_TRUE(store.sync());
        ASSERT_NE(contents(p).find("Message%201=" + v), std::string::npos) << i;
    }
    lv::set_settings_store(nullptr);
}

// A process killed at any moment of a save leaves the whole old settings or
// the whole new ones, never a mix.
TEST_F(IniStore, AKillDuringSavesLeavesOldOrNewSettingsWhole) {
    const std::string p = path("Tavrel Lumivane.ini");
    {
        lv::ini_store store(p);
        // A large file, so that a save takes long enough to be hit.
        store.write("Message 99", std::string(300000, 'm'));
        lv::set_settings_store(&store);
        settings_of_generation(0);
        ASSERT_TRUE(lv::save_settings());
        lv::set_settings_store(nullptr);
    }
    std::mt19937 gen(3);
    std::set<std::string> seen;
    for (int round = 1; round <= 40; ++round) {
        // The child says when its first save is done, so that a slow, busy
        // machine still kills it in the middle of later saves.
        int saved[2];
        ASSERT_EQ(::pipe(saved), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            lv::ini_store store(p);
            lv::set_settings_store(&store);
            for (int g = round * 100000;; ++g) {
                settings_of_generation(g);
                lv::save_settings();
                if (saved[1] >= 0) {
                    [[maybe_unused]] const auto n = ::write(saved[1], "s", 1);
                    ::close(saved[1]);
                    saved[1] = -1;
                }
            }
        }
        ::close(saved[1]);
        char ready = 0;
        const bool first_save_done = ::read(saved[0], &ready, 1) == 1;
        ::close(saved[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(gen() % 50000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_TRUE(first_save_done) << "round " << round;

        const std::multiset<std::string> values = generation_values_in(contents(p));
        ASSERT_EQ(values.size(), static_cast<std::size_t>(generation_values)) << "round " << round;
        ASSERT_EQ(values.count(*values.begin()), values.size()) << "a mix after round " << round;
        seen.insert(*values.begin());
        EXPECT_NE(contents(p).find(std::string(300000, 'm')), std::string::npos);
    }
    EXPECT_EQ(seen.size(), 40u);   // every child saved: its own generation is what stands
}

TEST_F(IniStore, AFileThatCannotBeWrittenMakesSyncFalse) {
    const std::string p = path("Tavrel Lumivane.ini");
    {
        lv::ini_store store(p);
        store.write("logging", "0");
        ASSERT_TRUE(store.sync());
    }
    ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
    const bool immutable = ::geteuid() == 0 && make_immutable(p, true);
    if (::geteuid() == 0 && !immutable) GTEST_SKIP() << "the superuser writes read-only files";
    {
        lv::ini_store store(p);
        lv::set_settings_store(&store);
        store.write("logging", "1");
        EXPECT_FALSE(store.sync());
        EXPECT_FALSE(lv::save_settings());
        lv::set_settings_store(nullptr);
    }
    if (immutable) make_immutable(p, false);
    EXPECT_NE(contents(p).find("logging=0"), std::string::npos);

    // A folder that cannot be made.
    std::ofstream(path("file")) << "in the way";
    lv::ini_store nowhere(path("file/Tavrel Lumivane.ini"));
    nowhere.write("logging", "1");
    EXPECT_FALSE(nowhere.sync());
}

// Reading a damaged file is no failure to write: the first save replaces it
// and says so. A failed write says so, and the next save that works says so.
TEST_F(IniStore, OnlyAFailedWriteMakesSyncFalse) {
    const std::string p = path("Tavrel Lumivane.ini");
    std::mt19937 gen(20);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(gen());
    std::ofstream(p, std::ios::binary) << noise;
    lv::ini_store store(p);
    store.write("logging", "1");
    EXPECT_TRUE(store.sync());
    EXPECT_NE(contents(p).find("logging=1"), std::string::npos);

    if (!make_immutable(p, true)) GTEST_SKIP() << "no immutable files here";
    store.write("logging", "0");
    EXPECT_FALSE(store.sync());
    make_immutable(p, false);
    EXPECT_TRUE(store.sync());
    EXPECT_NE(contents(p).find("logging=0"), std::string::npos);
}

// QSettings would wait for ever on a FIFO's open: the store treats anything
// but a regular file as an empty one that cannot be saved to.
TEST_F(IniStore, AFifoLoadsAsDefaultsWithoutHanging) {
    const std::string p = path("Tavrel Lumivane.ini");
    ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
    ::alarm(20);   // a hang ends the test run instead of stalling it
    {
        lv::ini_store store(p);
        lv::set_settings_store(&store);
        lv::load_settings();
        EXPECT_EQ(lv::settings().cancel_mode, 9);
        EXPECT_EQ(store.read("cancel_mode", "x"), "x");
        store.write("cancel_mode", "4");
        EXPECT_EQ(store.read("cancel_mode", "x"), "4");
        EXPECT_FALSE(store.sync());
        EXPECT_FALSE(lv::save_settings());
        lv::set_settings_store(nullptr);
    }
    ::alarm(0);
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A folder in the file's place likewise.
    QDir(dir_.path()).mkdir(QStringLiteral("folder.ini"));
    lv::ini_store folder(path("folder.ini"));
    EXPECT_EQ(folder.read("logging", "0"), "0");
    EXPECT_FALSE(folder.sync());
}

// Another process's save holding the lock makes a save wait only briefly:
// it ends false, keeping its values, and the next save after the holder
// has let go writes them.
TEST_F(IniStore, ASaveWaitsForAnotherSaveOnlyBriefly) {
    const std::string p = path("Tavrel Lumivane.ini");
    const std::string lock = path(".Tavrel Lumivane.ini.lumivane-lock");
    const int holder = ::open(lock.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    ::alarm(240);   // a hang ends the test run instead of stalling it
    lv::ini_store store(p);
    store.write("cancel_mode", "4");
    EXPECT_FALSE(store.sync());
    EXPECT_EQ(contents(p), "");
    // As a save lets go of its lock.
    ::unlink(lock.c_str());
    ::close(holder);
    EXPECT_TRUE(store.sync());
    ::alarm(0);
    EXPECT_NE(contents(p).find("cancel_mode=4"), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(lock)));
}

// Processes saving at the same moment take turns at the lock, so each keeps
// what the others saved.
TEST_F(IniStore, ProcessesSavingAtOnceEachKeepWhatTheOthersSaved) {
    constexpr int savers = 6;
    ::alarm(240);   // a hang ends the test run instead of stalling it
    for (int round = 0; round < 15; ++round) {
        const std::string p = path("round " + std::to_string(round) + ".ini");
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        std::vector<pid_t> children;
        for (int k = 0; k < savers; ++k) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(go[1]);
                lv::ini_store store(p);
                store.write("saver " + std::to_string(k), "saved");
                char c = 0;
                const bool started = ::read(go[0], &c, 1) == 0;   // all start as the pipe closes
                ::_exit(started && store.sync() ? 0 : 1);
            }
            children.push_back(child);
        }
        ::close(go[0]);
        ::close(go[1]);
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        const std::string text = contents(p);
        for (int k = 0; k < savers; ++k)
            EXPECT_NE(text.find("saver%20" + std::to_string(k) + "=saved"), std::string::npos) << "round " << round;
    }
    ::alarm(0);
}
