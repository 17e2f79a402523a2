#include "core/log.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#if __has_include(<unistd.h>)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#define LV_LOG_POSIX 1
#else
#define LV_LOG_POSIX 0
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

// Which file a path named when this process last wrote it: while the
// device, inode, size and modification time are unchanged, nobody else has
// touched it since.
struct file_identity {
    std::uintmax_t device = 0, inode = 0, size = 0;
    std::int64_t modified_ns = 0;
    bool operator==(const file_identity&) const = default;
};

#if LV_LOG_POSIX
file_identity identity_of(const struct stat& st) {
    return {static_cast<std::uintmax_t>(st.st_dev), static_cast<std::uintmax_t>(st.st_ino),
            static_cast<std::uintmax_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// The identity of the regular file at path; false for anything else.
bool identify(const std::string& path, file_identity& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    id = identity_of(st);
    return true;
}

bool write_all(int fd, std::string_view text, off_t offset) {
    while (!text.empty()) {
        const ssize_t n = ::pwrite(fd, text.data(), text.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return true;
}

// Opens the log for writing (created when missing with create); a FIFO or
// anything else that is no regular file is refused without blocking.
int open_log(const std::string& path, bool create) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Adds text at the end of the file; id receives the file's identity after.
bool append_to(const std::string& path, std::string_view text, file_identity& id) {
    const int fd = open_log(path, true);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && write_all(fd, text, st.st_size) && ::fstat(fd, &st) == 0;
    if (ok) id = identity_of(st);
    ok = ::close(fd) == 0 && ok;
    return ok;
}

// Puts text in place of the file's contents: written over the old bytes
// from the start, then cut to its length. A new file renamed over the old
// one costs the file system far more, many times a second while a show
// plays; this way, too, the log is never left empty: a crash halfway leaves
// old lines behind the new ones, which the next entry trims away.
bool overwrite(const std::string& path, std::string_view text, file_identity& id) {
    const int fd = open_log(path, false);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = write_all(fd, text, 0) && ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 &&
              ::fstat(fd, &st) == 0;
    if (ok) id = identity_of(st);
    ok = ::close(fd) == 0 && ok;
    return ok;
}
#else
// Without POSIX files there is no identity: the log is read on every entry.
bool identify(const std::string& path, file_identity&) { return file_exists(path); }

bool append_to(const std::string& path, std::string_view text, file_identity&) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

bool overwrite(const std::string& path, std::string_view text, file_identity&) {
    return replace_file(path, text);
}
#endif

// What this process knows of the log: its lines, and the identity of the
// file it last wrote. While the file is still that one, a new entry needs
// neither a read nor a count of the lines.
struct log_lines {
    std::vector<std::string> lines;
    bool open_line = false;   // the last line has no line end yet
    bool known = false;
    std::string path;
    file_identity id;

    void forget() {
        known = false;
        lines.clear();
    }
    void remember(const std::string& p, const file_identity& written) {
        known = LV_LOG_POSIX;
        path = p;
        id = written;
    }
    // Reads the file again; false when it cannot be read.
    bool load(const std::string& p) {
        forget();
        std::string text;
        // A log this program wrote is a few kilobytes; one grown beyond
        // reason is left alone (the options screen offers to reset it).
        constexpr std::size_t max_log_bytes = std::size_t{16} * 1024 * 1024;
        if (!read_text_file(p, text, max_log_bytes)) return false;
        lines = split_lines(text);
        open_line = !text.empty() && text.back() != '\n' && text.back() != '\r';
        return true;
    }
};

log_lines& cached_log() {
    static log_lines cache;
    return cache;
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

    // No file, or one of 0 or 1 byte (which counts as none): a new header,
    // after whatever byte is there.
    file_identity id;
    const bool exists = identify(path, id) && id.size > 1;
    if (!exists) {
        cache.forget();
        if (!append_to(path, header_text(path, t), id)) return;
    }
    // Read from the file only when it is not the one this process last
    // wrote (the first entry, another process, a hand edit, a reset).
    if (!(exists && cache.known && cache.path == path && cache.id == id) && !cache.load(path)) return;

    const std::string entry = one_line(message) + "  " + stamp(t);
    if (static_cast<int>(cache.lines.size()) < log_max_lines) {
        // A last line cut short of its line end must not swallow the entry.
        if (!append_to(path, (cache.open_line ? "\r\n" : "") + entry + "\r\n", id)) {
            cache.forget();
            return;
        }
        cache.open_line = false;
        cache.lines.push_back(entry);
        cache.remember(path, id);
        return;
    }
    // Full: keep the header and the newest entries, dropping the oldest. A
    // file that grew past the limit some other way is cut back the same way
    // instead of never being written again.
    std::vector<std::string>& lines = cache.lines;
    lines.erase(lines.begin() + log_header_lines,
                lines.end() - static_cast<std::ptrdiff_t>(log_max_entries - 1));
    lines.push_back(entry);
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    if (!overwrite(path, out, id)) {
        cache.forget();
        return;
    }
    cache.open_line = false;
    cache.remember(path, id);
}

}  // namespace lv
