#pragma once
// Which of its roles the process plays, decided from the command line alone.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lv {

enum class launch_mode {
    play_file,        // the command line is a slideshow file: play it after the splash
    main_screen,      // "/C" or nothing
    screensaver,      // "/S"
    preview,          // "/P" and a window to embed into
    change_password,  // "/A" and a parent window
    none,             // anything else: end at once
};

struct launch_decision {
    launch_mode mode = launch_mode::none;
    std::int32_t parent_window = 0;   // "/P" and "/A" only
};

// command_line is the text after the program's own name, unsplit and with any
// quotes kept.
launch_decision decide_launch(std::string_view command_line);

// The leading number of text: blanks skipped, reading stops at the first
// character that cannot continue a number, no number gives 0; rounded to a
// whole number (halves to even). Empty when it does not fit 32 bits.
std::optional<std::int32_t> leading_number_32(std::string_view text);

// The program's arguments joined with single blanks (argv[0] excluded).
std::string join_arguments(int argc, const char* const* argv);

}  // namespace lv
