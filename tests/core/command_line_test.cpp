#include "core/command_line.h"

#include <gtest/gtest.h>

namespace {

using lv::launch_mode;

launch_mode mode_of(const char* cmd) { return lv::decide_launch(cmd).mode; }

TEST(CommandLine, MainScreenSwitches) {
    EXPECT_EQ(mode_of(""), launch_mode::main_screen);
    EXPECT_EQ(mode_of("/C"), launch_mode::main_screen);
    EXPECT_EQ(mode_of("/c"), launch_mode::main_screen);
    EXPECT_EQ(mode_of("/C:1234"), launch_mode::main_screen);
    EXPECT_EQ(mode_of("/cfoo"), launch_mode::main_screen);
}

TEST(CommandLine, ScreenSaverTakesOnlyTheFirstTwoCharacters) {
    for (const char* cmd : {"/S", "/s", "/S 123", "/S:", "/Sxyz"}) {
        EXPECT_EQ(mode_of(cmd), launch_mode::screensaver) << cmd;
    }
    EXPECT_EQ(mode_of(" /S"), launch_mode::none);   // a leading blank is not a switch
}

TEST(CommandLine, SlideshowFileIsRecognisedByItsLastThreeCharacters) {
    EXPECT_EQ(mode_of("/home/ann/Lumivane Data/Trip.lmv"), launch_mode::play_file);
    EXPECT_EQ(mode_of("/home/ann/Trip.LmV"), launch_mode::play_file);
    EXPECT_EQ(mode_of("TripLMV"), launch_mode::play_file);   // no dot needed
    EXPECT_EQ(mode_of("lmv"), launch_mode::play_file);
    EXPECT_EQ(mode_of("/Slmv"), launch_mode::play_file);     // the file test comes first
    // A quoted path ends in the quote: neither a file nor a switch.
    EXPECT_EQ(mode_of("\"/home/ann/Trip.lmv\""), launch_mode::none);
    EXPECT_EQ(mode_of("/home/ann/Trip.lmv.bak"), launch_mode::none);
    EXPECT_EQ(mode_of("mv"), launch_mode::none);
}

TEST(CommandLine, OtherSwitchesEndTheProcess) {
    for (const char* cmd : {"/X", "/", "C", "-s", "/?", "help", "x"}) {
        EXPECT_EQ(mode_of(cmd), launch_mode::none) << cmd;
    }
}

TEST(CommandLine, PreviewAndPasswordCarryTheParentWindow) {
    auto d = lv::decide_launch("/p 1234");
    EXPECT_EQ(d.mode, launch_mode::preview);
    EXPECT_EQ(d.parent_window, 1234);
    d = lv::decide_launch("/P1234");
    EXPECT_EQ(d.parent_window, 1234);
    d = lv::decide_launch("/p:1234");   // the colon stops the number
    EXPECT_EQ(d.mode, launch_mode::preview);
    EXPECT_EQ(d.parent_window, 0);
    d = lv::decide_launch("/A   77abc");
    EXPECT_EQ(d.mode, launch_mode::change_password);
    EXPECT_EQ(d.parent_window, 77);
    d = lv::decide_launch("/a");
    EXPECT_EQ(d.mode, launch_mode::change_password);
    EXPECT_EQ(d.parent_window, 0);
    EXPECT_EQ(lv::decide_launch("/S 1234").parent_window, 0);
}

TEST(CommandLine, ParentWindowNumberForms) {
    EXPECT_EQ(lv::decide_launch("/P -5").parent_window, -5);
    EXPECT_EQ(lv::decide_launch("/P 12.5").parent_window, 12);   // halves to even
    EXPECT_EQ(lv::decide_launch("/P 13.5").parent_window, 14);
    EXPECT_EQ(lv::decide_launch("/P 1e3").parent_window, 1000);
    EXPECT_EQ(lv::decide_launch("/P 12e").parent_window, 12);
    EXPECT_EQ(lv::decide_launch("/P\t42").parent_window, 42);
    EXPECT_EQ(lv::decide_launch("/P 2147483647").parent_window, 2147483647);
    EXPECT_EQ(lv::decide_launch("/P -2147483648").parent_window, -2147483647 - 1);
}

// A handle too large for 32 bits names no window instead of wrapping around.
TEST(CommandLine, OverflowingParentWindowIsZero) {
    EXPECT_EQ(lv::decide_launch("/P 2147483648").parent_window, 0);
    EXPECT_EQ(lv::decide_launch("/A 99999999999999999999").parent_window, 0);
    EXPECT_EQ(lv::decide_launch("/P -2147483649").parent_window, 0);
    EXPECT_EQ(lv::decide_launch("/P 1e400").parent_window, 0);
    EXPECT_EQ(lv::leading_number_32("4294967297"), std::nullopt);
    EXPECT_EQ(lv::leading_number_32("  "), 0);
    EXPECT_EQ(lv::leading_number_32("-"), 0);
    EXPECT_EQ(lv::leading_number_32("."), 0);
}

TEST(CommandLine, ArgumentsAreJoinedWithSingleBlanks) {
    const char* argv[] = {"lumivane", "/P", "1234"};
    EXPECT_EQ(lv::join_arguments(3, argv), "/P 1234");
    const char* one[] = {"lumivane"};
    EXPECT_EQ(lv::join_arguments(1, one), "");
    const char* path[] = {"lumivane", "/home/ann/My  Show.lmv"};
    EXPECT_EQ(lv::join_arguments(2, path), "/home/ann/My  Show.lmv");
}

}  // namespace
