#include "core/file_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

TEST(FileTitle, TakesTheTextAfterTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(lv::file_title(""), "");
    EXPECT_EQ(lv::file_title("C:\\Pictures\\Beach.jpg"), "Beach.jpg");
    EXPECT_EQ(lv::file_title("/home/ann/Pictures/Beach.jpg"), "Beach.jpg");
    EXPECT_EQ(lv::file_title("/mixed\\dir/sub\\Beach.jpg"), "Beach.jpg");
    EXPECT_EQ(lv::file_title("C:\\mixed/dir\\x.png"), "x.png");
    EXPECT_EQ(lv::file_title("Beach.jpg"), "Beach.jpg");
    EXPECT_EQ(lv::file_title("C:\\Pictures\\"), "");
    EXPECT_EQ(lv::file_title("/home/ann/"), "");
    // CD-track labels are shown as they are, even when they hold a separator.
    EXPECT_EQ(lv::file_title("CD Track 03"), "CD Track 03");
    EXPECT_EQ(lv::file_title("CD Track 03/side"), "CD Track 03/side");
    EXPECT_EQ(lv::file_title("/music/cd track 03"), "cd track 03");
}

TEST(FileExists, OnlyRegularFilesLongerThanOneByte) {
    const fs::path dir = fs::temp_directory_path() / ("lv_fn_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const auto make = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    };
    EXPECT_FALSE(lv::file_exists(make("empty", "")));
    EXPECT_FALSE(lv::file_exists(make("one", "x")));
    EXPECT_TRUE(lv::file_exists(make("two", "xy")));
    EXPECT_FALSE(lv::file_exists((dir / "missing").string()));
    EXPECT_FALSE(lv::file_exists(""));
    fs::create_directories(dir / "folder.jpg");
    EXPECT_FALSE(lv::file_exists((dir / "folder.jpg").string()));
    // A link to a real file is that file; a dangling link is nothing.
    fs::create_symlink(dir / "two", dir / "link");
    EXPECT_TRUE(lv::file_exists((dir / "link").string()));
    fs::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_FALSE(lv::file_exists((dir / "dangling").string()));
    fs::remove_all(dir);
}

TEST(JoinPath, AddsASeparatorOnlyWhenMissing) {
    EXPECT_EQ(lv::join_path("/a/", "b.jpg"), "/a/b.jpg");
    EXPECT_EQ(lv::join_path("/a", "b.jpg"), "/a/b.jpg");
    EXPECT_EQ(lv::join_path("C:\\a\\", "b.jpg"), "C:\\a\\b.jpg");
    EXPECT_EQ(lv::join_path("", "b.jpg"), "b.jpg");
}
