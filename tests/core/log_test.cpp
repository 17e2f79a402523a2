#include "core/log.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/hooks.h"
#include "core/state.h"
#include "core/text_file.h"

namespace fs = std::filesystem;

namespace {

class Log : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lv_log_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        lv::program().windows_dir = dir_.string() + "/";
        lv::settings().logging = 1;
        lv::hooks().now = [this] { return clock_; };
        lv::hooks().screen = [] { return lv::screen_facts{1920, 1080, 16777216}; };
    }
    void TearDown() override {
        lv::hooks().now = nullptr;
        lv::hooks().screen = nullptr;
        lv::settings().logging = 0;
        fs::remove_all(dir_);
    }
    // The file's lines; every one must end in CR LF.
    std::vector<std::string> lines() const {
        std::string bytes;
        EXPECT_TRUE(lv::read_file_bytes(lv::log_path(), bytes));
        std::vector<std::string> out;
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            const std::size_t end = bytes.find("\r\n", pos);
            EXPECT_NE(end, std::string::npos) << "last line without CR LF";
            if (end == std::string::npos) break;
            const std::string line = bytes.substr(pos, end - pos);
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
            out.push_back(line);
            pos = end + 2;
        }
        return out;
    }
    fs::path dir_;
    lv::wall_time clock_{2024, 3, 7, 13, 5, 9};
};

}  // namespace

TEST_F(Log, NothingIsWrittenWhileLoggingIsOff) {
    lv::settings().logging = 0;
    lv::write_log("Going To Case 2 (Display Background)");
    EXPECT_FALSE(fs::exists(lv::log_path()));
    EXPECT_EQ(lv::log_path(), dir_.string() + "/Lumivane Log.txt");
}

TEST_F(Log, TheFirstEntryFollowsTheFourteenLineHeader) {
    lv::write_log("Going To Case 2 (Display Background)");
    const auto l = lines();
    const std::string rule(58, '-');
    const std::vector<std::string> expected = {
        "Lumivane Log File  13:05:09  03-07-2024",
        rule,
        "The location of this log file is:",
        dir_.string() + "/Lumivane Log.txt",
        " ",
        "This file can be used for diagnosing any problems that",
        "may occur while a slideshow is running. In the event that",
        "you are experiencing problems with this product please",
        "take the time to copy the text from this log and email it",
        "along with a description of your problem to:",
        " ",
        lv::support_email,
        rule,
        "Resolution=1920/1080  Total Colors=16777216",
        "Going To Case 2 (Display Background)  13:05:09  03-07-2024",
    };
    EXPECT_EQ(l, expected);

    clock_ = {1999, 12, 31, 0, 0, 0};
    lv::write_log("Display Picture: a, \"b\".jpg");
    EXPECT_EQ(lines().back(), "Display Picture: a, \"b\".jpg  00:00:00  12-31-1999");
}

TEST_F(Log, KeepsTheHeaderAndTheHundredNewestEntries) {
    for (int i = 1; i <= 100; ++i) lv::write_log("entry " + std::to_string(i));
    auto l = lines();
    ASSERT_EQ(l.size(), 114u);
    const std::vector<std::string> header(l.begin(), l.begin() + 14);

    lv::write_log("entry 101");
    l = lines();
    ASSERT_EQ(l.size(), 114u);
    EXPECT_EQ(std::vector<std::string>(l.begin(), l.begin() + 14), header);
    EXPECT_EQ(l[14], "entry 2  13:05:09  03-07-2024");
    EXPECT_EQ(l[113], "entry 101  13:05:09  03-07-2024");

    // A message with line breaks stays one line and cannot upset the count.
    lv::write_log("bad\r\nname\rwith\nbreaks");
    l = lines();
    ASSERT_EQ(l.size(), 114u);
    EXPECT_EQ(l[14], "entry 3  13:05:09  03-07-2024");
    EXPECT_EQ(l[113], "bad name with breaks  13:05:09  03-07-2024");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);   // no temporaries
}

TEST_F(Log, OddFilesAreMendedNotAbandoned) {
    // A 1-byte file counts as missing: the header follows that byte.
    std::ofstream(lv::log_path(), std::ios::binary) << "x";
    lv::write_log("first");
    auto l = lines();
    ASSERT_EQ(l.size(), 15u);
    EXPECT_EQ(l[0], "xLumivane Log File  13:05:09  03-07-2024");
    EXPECT_EQ(l[14], "first  13:05:09  03-07-2024");

    // A file that grew past the limit is cut back to the header and the newest entries.
    {
        std::ofstream f(lv::log_path(), std::ios::binary);
        for (int i = 0; i < 14; ++i) f << "header " << i << "\r\n";
        for (int i = 0; i < 150; ++i) f << "old " << i << "\r\n";
    }
    lv::write_log("new");
    l = lines();
    ASSERT_EQ(l.size(), 114u);
    EXPECT_EQ(l[13], "header 13");
    EXPECT_EQ(l[14], "old 51");
    EXPECT_EQ(l[112], "old 149");
    EXPECT_EQ(l[113], "new  13:05:09  03-07-2024");

    // A last line cut short of its line end does not swallow the next entry.
    {
        std::ofstream f(lv::log_path(), std::ios::binary);
        for (int i = 0; i < 14; ++i) f << "header " << i << "\r\n";
        f << "cut";
    }
    lv::write_log("after");
    l = lines();
    ASSERT_EQ(l.size(), 16u);
    EXPECT_EQ(l[14], "cut");
    EXPECT_EQ(l[15], "after  13:05:09  03-07-2024");

    // Nowhere to write: the call returns quietly.
    lv::program().windows_dir = dir_.string() + "/missing/";
    lv::write_log("lost");
    EXPECT_FALSE(fs::exists(lv::log_path()));
}

// The process keeps the log's lines between entries; whatever another
// process or the user does to the file in between is still taken into
// account by the next entry.
TEST_F(Log, ChangesToTheFileBetweenEntriesAreSeen) {
    for (int i = 1; i <= 120; ++i) lv::write_log("entry " + std::to_string(i));
    ASSERT_EQ(lines().size(), 114u);

    // Replaced by a shorter log: the next entry is appended to it.
    {
        std::ofstream f(lv::log_path(), std::ios::binary);
        for (int i = 0; i < 14; ++i) f << "head " << i << "\r\n";
        for (int i = 0; i < 50; ++i) f << "other " << i << "\r\n";
    }
    lv::write_log("after replace");
    auto l = lines();
    ASSERT_EQ(l.size(), 65u);
    EXPECT_EQ(l[0], "head 0");
    EXPECT_EQ(l[64], "after replace  13:05:09  03-07-2024");

    // Lines appended by someone else count towards the limit.
    {
        std::ofstream f(lv::log_path(), std::ios::binary | std::ios::app);
        for (int i = 0; i < 60; ++i) f << "appended " << i << "\r\n";
    }
    lv::write_log("after append");
    l = lines();
    ASSERT_EQ(l.size(), 114u);
    EXPECT_EQ(l[13], "head 13");
    EXPECT_EQ(l[112], "appended 59");
    EXPECT_EQ(l[113], "after append  13:05:09  03-07-2024");

    // Deleted (the options screen's reset): a fresh header.
    fs::remove(lv::log_path());
    lv::write_log("after reset");
    l = lines();
    ASSERT_EQ(l.size(), 15u);
    EXPECT_EQ(l[0], "Lumivane Log File  13:05:09  03-07-2024");
    EXPECT_EQ(l[14], "after reset  13:05:09  03-07-2024");

    // Another folder: another file.
    const fs::path other = dir_ / "other";
    fs::create_directories(other);
    lv::program().windows_dir = other.string() + "/";
    lv::write_log("elsewhere");
    EXPECT_EQ(lines().size(), 15u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);   // no temporaries
}

// Whatever stands at the log's path between two entries, the next entry
// neither trusts what this process remembers nor breaks anything.
TEST_F(Log, SomethingElseInTheLogsPlaceIsLeftAlone) {
    for (int i = 1; i <= 101; ++i) lv::write_log("entry " + std::to_string(i));
    fs::remove(lv::log_path());
    fs::create_directory(lv::log_path());
    lv::write_log("entry 102");
    EXPECT_TRUE(fs::is_empty(lv::log_path()));
    fs::remove(lv::log_path());
    lv::write_log("entry 103");
    const auto l = lines();
    ASSERT_EQ(l.size(), 15u);
    EXPECT_EQ(l[14], "entry 103  13:05:09  03-07-2024");
}

// Killed at any moment while it writes entries to a full log, a process
// never leaves the log empty or without its header, and the next entry
// brings it back to the header and the 100 newest entries.
TEST_F(Log, AKillWhileWritingNeverEmptiesTheLog) {
    for (int i = 1; i <= 100; ++i) lv::write_log("entry " + std::to_string(i));
    const auto full = lines();
    const std::vector<std::string> header(full.begin(), full.begin() + 14);
    std::mt19937 gen(5);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) lv::write_log(std::string(i % 50, 'x') + " child entry " + std::to_string(i));
        }
        ::usleep(static_cast<useconds_t>(1000 + gen() % 5000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        std::string bytes;
        ASSERT_TRUE(lv::read_file_bytes(lv::log_path(), bytes));
        ASSERT_GT(bytes.size(), 1000u) << "round " << round;
        ASSERT_EQ(bytes.compare(0, header[0].size(), header[0]), 0) << "round " << round;

        lv::write_log("parent " + std::to_string(round));
        const auto l = lines();
        ASSERT_EQ(l.size(), 114u) << "round " << round;
        EXPECT_EQ(std::vector<std::string>(l.begin(), l.begin() + 14), header);
        EXPECT_EQ(l[113], "parent " + std::to_string(round) + "  13:05:09  03-07-2024");
    }
}
