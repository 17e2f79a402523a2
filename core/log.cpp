#include "core/log.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "core/file_names.h"
#include "core/hooks.h"
#include "core/state.h"
#include "core/text_file.h"

namespace lv {

namespace {

constexpr int log_max_lines = log_header_lines + log_max_entries;

std::string two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string one_line(const std::string& message) {
    std::string out;
    out.reserve(message.size());
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            out += ' ';
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string stamp(const wall_time& t) { return log_time_text(t) + "  " + log_date_text(t); }

std::string header_text(const std::string& path, const wall_time& t) {
    const std::string rule(58, '-');
    const screen_facts sf = screen();
    const std::string lines[log_header_lines] = {
        "Lumivane Log File  " + stamp(t),
        rule,
        "The location of this log file is:",
        path,
        " ",
        "This file can be used for diagnosing any problems that",
        "may occur while a slideshow is running. In the event that",
        "you are experiencing problems with this product please",
        "take the time to copy the text from this log and email it",
        "along with a description of your problem to:",
        " ",
        support_email,
        rule,
        "Resolution=" + std::to_string(sf.width) + "/" + std::to_string(sf.height) +
            "  Total Colors=" + std::to_string(sf.color_count),
    };
    std::string out;
    for (const auto& line : lines) out += line + "\r\n";
    return out;
}

bool append_to(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t stop = text.find_first_of("\r\n", pos);
        if (stop == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        lines.emplace_back(text.substr(pos, stop - pos));
        pos = stop + 1;
        if (text[stop] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

}  // namespace

std::string log_path() { return program().windows_dir + "Lumivane Log.txt"; }

std::string log_time_text(const wall_time& t) { return two(t.hour) + ":" + two(t.minute) + ":" + two(t.second); }

std::string log_date_text(const wall_time& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", t.month, t.day, t.year);
    return buf;
}

void write_log(const std::string& message) {
    if (settings().logging == 0) return;
    const std::string path = log_path();
    const wall_time t = now();

    if (!file_exists(path) && !append_to(path, header_text(path, t))) return;

    std::string text;
    if (!read_text_file(path, text)) return;
    std::vector<std::string> lines = split_lines(text);
    const std::string entry = one_line(message) + "  " + stamp(t);

    if (static_cast<int>(lines.size()) < log_max_lines) {
        // A last line cut short of its line end must not swallow the entry.
        const bool open_line = !text.empty() && text.back() != '\n' && text.back() != '\r';
        append_to(path, (open_line ? "\r\n" : "") + entry + "\r\n");
        return;
    }
    // Full: keep the header and the newest entries, dropping the oldest. A
    // file that grew past the limit some other way is cut back the same way
    // instead of never being written again.
    std::string out;
    for (int i = 0; i < log_header_lines; ++i) out += lines[static_cast<std::size_t>(i)] + "\r\n";
    for (std::size_t i = lines.size() - (log_max_entries - 1); i < lines.size(); ++i) out += lines[i] + "\r\n";
    out += entry + "\r\n";
    replace_file(path, out);
}

}  // namespace lv
