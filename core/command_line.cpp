#include "core/command_line.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace lv {

namespace {

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::int32_t> leading_number_32(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;

    // Longest prefix of the form [sign] digits [. digits] [e [sign] digits].
    std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissa = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i;
    }
    bool has_digit = false;
    for (std::size_t k = mantissa; k < i; ++k) has_digit = has_digit || is_digit(text[k]);
    if (!has_digit) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && is_digit(text[e])) {
            while (e < text.size() && is_digit(text[e])) ++e;
            i = e;
        }
    }

    std::string number(text.substr(start, i - start));
    bool negative = false;
    if (number.front() == '+' || number.front() == '-') {
        negative = number.front() == '-';
        number.erase(0, 1);
    }
    double value = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                     std::chars_format::general);
    if (ec != std::errc{} || !std::isfinite(value)) return std::nullopt;
    (void)end;
    if (negative) value = -value;

    double whole = std::floor(value);
    double rest = value - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole < -2147483648.0 || whole > 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(whole);
}

launch_decision decide_launch(std::string_view command_line) {
    launch_decision d;

    // A slideshow file: only the last three characters count, so the dot is
    // not needed and a quoted path (ending in the quote) does not match.
    if (command_line.size() >= 3) {
        std::string_view tail = command_line.substr(command_line.size() - 3);
        if (upper(tail[0]) == 'L' && upper(tail[1]) == 'M' && upper(tail[2]) == 'V') {
            d.mode = launch_mode::play_file;
            return d;
        }
    }

    // Only the first two characters select the switch: "/s 123", "/S:" and
    // "/Sxyz" are all "/S".
    std::string sw;
    for (std::size_t i = 0; i < command_line.size() && i < 2; ++i) sw.push_back(upper(command_line[i]));

    if (command_line.empty() || sw == "/C") {
        d.mode = launch_mode::main_screen;
    } else if (sw == "/S") {
        d.mode = launch_mode::screensaver;
    } else if (sw == "/P" || sw == "/A") {
        d.mode = sw == "/P" ? launch_mode::preview : launch_mode::change_password;
        // A number too large for a window handle names no window.
        d.parent_window = leading_number_32(command_line.substr(2)).value_or(0);
    }
    return d;
}

std::string join_arguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line.push_back(' ');
        if (argv[i]) line += argv[i];
    }
    return line;
}

}  // namespace lv
