#include "core/text_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

// The byte-at-a-time check the eight-byte fast path must agree with.
bool reference_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (s.size() - i < len) return false;
        const auto c1 = static_cast<unsigned char>(s[i + 1]);
        if (c1 < lo || c1 > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lv_text_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string make(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return path(name);
    }
    fs::path dir_;
};

}  // namespace

// Non-ASCII bytes at every offset of the eight-byte words, sequences cut by
// a word boundary and by the end of the text: the fast path must give the
// byte-at-a-time answer for all of them.
TEST(IsValidUtf8, AgreesWithTheByteAtATimeCheck) {
    const std::vector<std::string> pieces = {
        "a", "abcdefgh", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC0\xAF", "\xED\xA0\x80",
        "\xE2\x82", "\x80", "\xFF", "\xF4\x90\x80\x80", "\xE0\x9F\xBF", "0123456"};
    std::mt19937 gen(7);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        const int n = static_cast<int>(gen() % 6);
        for (int k = 0; k < n; ++k) s += pieces[gen() % pieces.size()];
        ASSERT_EQ(lv::is_valid_utf8(s), reference_utf8(s)) << ::testing::PrintToString(s);
    }
    std::string ascii(64, 'x');
    for (std::size_t at = 0; at < ascii.size(); ++at) {
        std::string bad = ascii;
        bad[at] = '\x80';
        EXPECT_FALSE(lv::is_valid_utf8(bad)) << at;
        std::string good = ascii.substr(0, at) + "\xC3\xA9" + ascii.substr(at);
        EXPECT_TRUE(lv::is_valid_utf8(good)) << at;
    }
    EXPECT_TRUE(lv::is_valid_utf8(ascii));
    EXPECT_TRUE(lv::is_valid_utf8(""));
}

TEST_F(TempDir, TheHeadOfAFileAndWhetherThatWasAll) {
    const std::string small = make("small.txt", "0123456789");
    const std::string big = make("big.txt", std::string(200000, 'y') + "end");
    std::string bytes;
    bool whole = true;
    ASSERT_TRUE(lv::read_file_head(small, bytes, 10, lv::no_read_limit, whole));
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_TRUE(whole);
    ASSERT_TRUE(lv::read_file_head(small, bytes, 4, lv::no_read_limit, whole));
    EXPECT_EQ(bytes, "0123");
    EXPECT_FALSE(whole);
    ASSERT_TRUE(lv::read_file_head(big, bytes, 100000, lv::no_read_limit, whole));
    EXPECT_EQ(bytes.size(), 100000u);
    EXPECT_FALSE(whole);
    ASSERT_TRUE(lv::read_file_head(big, bytes, 1000000, lv::no_read_limit, whole));
    EXPECT_EQ(bytes.size(), 200003u);
    EXPECT_TRUE(whole);

    // Refused as a whole read would be: too large, not a regular file.
    EXPECT_FALSE(lv::read_file_head(big, bytes, 10, 200002, whole));
    EXPECT_TRUE(bytes.empty());
    const std::string fifo = path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(lv::read_file_head(fifo, bytes, 10, lv::no_read_limit, whole));
    EXPECT_FALSE(lv::read_file_head(path("missing"), bytes, 10, lv::no_read_limit, whole));

    std::string text;
    EXPECT_FALSE(lv::read_text_file(big, text, 1000));
    EXPECT_TRUE(lv::read_text_file(big, text, 200003));
    EXPECT_EQ(text.size(), 200003u);
}

// What a process killed during a save leaves behind goes at the next start;
// anything that is not exactly one of our temporaries, or may still be
// being written, stays.
TEST_F(TempDir, OnlyOurOldTemporaryFilesAreRemoved) {
    const auto now = fs::file_time_type::clock::now();
    const auto old = now - std::chrono::minutes(5);
    const auto age = [&](const std::string& name, fs::file_time_type when) {
        const std::string p = make(name, std::string(100, 'z'));
        fs::last_write_time(p, when);
        return p;
    };
    const std::string ours_old = age(".Trip.lmv.lumivane-tmp-123456789", old);
    const std::string ours_old_log = age(".Lumivane Log.txt.lumivane-tmp-7", old);
    const std::string ours_fresh = age(".Trip.lmv.lumivane-tmp-42", now - std::chrono::seconds(20));
    // What a writer working on one of ours adds beside it is ours too.
    const std::string ours_old_derived = age(".Trip.ini.lumivane-tmp-42.AbCdEf", old);
    const std::vector<std::string> users = {
        age(".Trip.lmv.tmp123456789", old),             // a person's own, named alike
        age(".Trip.lmv.lumivane-tmp-", old),            // no number
        age(".Trip.lmv.lumivane-tmp-12a", old),         // not only digits
        age(".Trip.lmv.lumivane-tmp-1234567890", old),  // longer than ours ever are
        age("Trip.lmv.lumivane-tmp-123", old),          // not hidden
        age("..lumivane-tmp-123", old),                 // no name before the marker
        age("Trip.lmv", old),
    };
    fs::create_directory(dir_ / ".Folder.lumivane-tmp-99");
    fs::last_write_time(dir_ / ".Folder.lumivane-tmp-99", old);
    fs::create_symlink(users.back(), dir_ / ".Link.lmv.lumivane-tmp-5");

    // replace_file's own temporaries carry the marker.
    ASSERT_TRUE(lv::replace_file(path("Made.lmv"), "x"));
    std::string made;
    // One as a save killed before its rename leaves it.
    EXPECT_FALSE(lv::save_file(path("Made.lmv"), [&made](const std::string& temp) {
        made = temp;
        return false;
    }));
    std::ofstream(made) << "half";
    EXPECT_TRUE(lv::is_temp_file_name(fs::path(made).filename().string())) << made;
    fs::last_write_time(made, old);

    EXPECT_EQ(lv::remove_stale_temp_files(dir_.string(), now), 4);
    EXPECT_FALSE(fs::exists(made));
    EXPECT_FALSE(fs::exists(ours_old_derived));
    EXPECT_FALSE(fs::exists(ours_old));
    EXPECT_FALSE(fs::exists(ours_old_log));
    EXPECT_TRUE(fs::exists(ours_fresh));
    for (const auto& p : users) EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_TRUE(fs::is_directory(dir_ / ".Folder.lumivane-tmp-99"));
    EXPECT_TRUE(fs::is_symlink(dir_ / ".Link.lmv.lumivane-tmp-5"));

    // Later the fresh one is stale too; a missing folder is no error.
    EXPECT_EQ(lv::remove_stale_temp_files(dir_.string(), now + std::chrono::minutes(2)), 1);
    EXPECT_FALSE(fs::exists(ours_fresh));
    EXPECT_EQ(lv::remove_stale_temp_files(path("missing"), now), 0);
}
