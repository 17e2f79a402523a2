#include "core/log.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#if __has_include(<sys/stat.h>)
#include <sys/stat.h>
#define LV_LOG_HAVE_STAT 1
#endif

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

// What this process knows of the log: its lines and the identity of the
// file it last wrote (device, inode, size and modification time). While the
// file is still that one, a new entry needs neither a read nor a count.
struct log_lines {
    std::vector<std::string> lines;
    bool open_line = false;   // the last line has no line end yet
    std::size_t bytes = 0;    // the file's size when remembered
    bool known = false;
    std::string path;
    std::uintmax_t device = 0, inode = 0;
    std::int64_t modified_ns = 0;

    void forget() {
        known = false;
        lines.clear();
    }
    bool stat_file(const std::string& p, std::uintmax_t& dev, std::uintmax_t& ino, std::size_t& size,
                   std::int64_t& mtime_ns) const;
    bool matches(const std::string& p) const {
        if (!known || p != path) return false;
        std::uintmax_t dev = 0, ino = 0;
        std::size_t size = 0;
        std::int64_t mtime = 0;
        return stat_file(p, dev, ino, size, mtime) && dev == device && ino == inode && size == bytes &&
               mtime == modified_ns;
    }
    void remember(const std::string& p) {
        path = p;
        known = stat_file(p, device, inode, bytes, modified_ns);
        if (!known) lines.clear();
    }
    bool load(const std::string& p);
};

log_lines& cached_log() {
    static log_lines cache;
    return cache;
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

bool log_lines::stat_file(const std::string& p, std::uintmax_t& dev, std::uintmax_t& ino, std::size_t& size,
                          std::int64_t& mtime_ns) const {
#if LV_LOG_HAVE_STAT
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    dev = static_cast<std::uintmax_t>(st.st_dev);
    ino = static_cast<std::uintmax_t>(st.st_ino);
    size = static_cast<std::size_t>(st.st_size);
    mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
#else
    (void)p, (void)dev, (void)ino, (void)size, (void)mtime_ns;
    return false;   // no identity: the file is read every time
#endif
}

bool log_lines::load(const std::string& p) {
    forget();
    std::string text;
    // A log this program wrote is a few kilobytes; one grown beyond reason
    // is left alone (the options screen offers to reset it).
    constexpr std::size_t max_log_bytes = std::size_t{16} * 1024 * 1024;
    if (!read_text_file(p, text, max_log_bytes)) return false;
    lines = split_lines(text);
    open_line = !text.empty() && text.back() != '\n' && text.back() != '\r';
    // What was read is what is on disk only if the file did not change
    // meanwhile; remember() after the next write settles it either way.
    return true;
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
    log_lines& cache = cached_log();

    if (!file_exists(path)) {
        cache.forget();
        if (!append_to(path, header_text(path, t))) return;
    }
    // The lines are read from the file only when it is not the one this
    // process last wrote (first call, another process, a hand edit).
    if (!cache.matches(path) && !cache.load(path)) return;

    const std::string entry = one_line(message) + "  " + stamp(t);
    if (static_cast<int>(cache.lines.size()) < log_max_lines) {
        // A last line cut short of its line end must not swallow the entry.
        if (!append_to(path, (cache.open_line ? "\r\n" : "") + entry + "\r\n")) {
            cache.forget();
            return;
        }
        cache.open_line = false;
        cache.lines.push_back(entry);
        cache.remember(path);
        return;
    }
    // Full: keep the header and the newest entries, dropping the oldest. A
    // file that grew past the limit some other way is cut back the same way
    // instead of never being written again. The new file replaces the old
    // one by a rename, so a crash leaves one or the other, never a
    // truncated log; it is not flushed to the disk each time, since this
    // runs many times a second while a show plays.
    std::vector<std::string>& lines = cache.lines;
    lines.erase(lines.begin() + log_header_lines,
                lines.end() - static_cast<std::ptrdiff_t>(log_max_entries - 1));
    lines.push_back(entry);
    std::string out;
    out.reserve(cache.bytes + entry.size() + 2);
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    if (!replace_file(path, out, file_durability::unsynced)) {
        cache.forget();
        return;
    }
    cache.open_line = false;
    cache.remember(path);
}

}  // namespace lv
