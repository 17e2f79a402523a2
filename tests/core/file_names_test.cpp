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

TEST(FileType, VideosAreAviOrMpgInAnyLetterCase) {
    EXPECT_TRUE(lv::is_video_file("/v/Clip.Avi"));
    EXPECT_TRUE(lv::is_video_file("C:\\v\\clip.mpg"));
    EXPECT_FALSE(lv::is_video_file("clip.mpeg"));   // its type is "PEG"
    EXPECT_FALSE(lv::is_video_file("clip.mp3"));
    EXPECT_FALSE(lv::is_video_file("vi"));
}

#include <sys/stat.h>
#include <unistd.h>

#include "core/text_file.h"

// A file that travels with a slideshow can be anything the sender made: a FIFO
// would block a plain open for ever, and a huge file must not be read whole.
TEST(ReadFileBytes, RefusesWhatIsNotASmallRegularFile) {
    const fs::path dir = fs::temp_directory_path() / ("lv_read_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string plain = (dir / "plain.bin").string();
    { std::ofstream(plain, std::ios::binary) << std::string(1000, 'x'); }
    const std::string fifo = (dir / "pipe.mid").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    std::string bytes = "stale";
    EXPECT_TRUE(lv::read_file_bytes(plain, bytes));
    EXPECT_EQ(bytes.size(), 1000u);
    EXPECT_TRUE(lv::read_file_bytes(plain, bytes, 1000));
    EXPECT_FALSE(lv::read_file_bytes(plain, bytes, 999));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(lv::read_file_bytes(fifo, bytes));   // returns at once, no writer needed
    EXPECT_FALSE(lv::read_file_bytes(dir.string(), bytes));
    EXPECT_FALSE(lv::read_file_bytes((dir / "missing").string(), bytes));
    fs::remove_all(dir);
}
