#include "core/text_file.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

#if __has_include(<unistd.h>)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#define LV_HAVE_FSYNC 1
#endif

namespace lv {

namespace fs = std::filesystem;

bool is_valid_utf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        // Nearly every byte of our files is ASCII: step over eight at a time.
        while (n - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) != 0) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;   // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;          // no overlong forms
            if (c == 0xED) hi = 0x9F;          // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;          // nothing above U+10FFFF
        } else {
            return false;
        }
        if (n - i < len) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

namespace {

// Windows-1252 0x80..0x9F; the undefined five keep their own number.
constexpr std::array<char16_t, 32> cp1252_high = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string cp1252_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0)
            append_utf8(out, cp1252_high[c - 0x80]);
        else
            append_utf8(out, c);   // 0xA0..0xFF are Latin-1
    }
    return out;
}

std::string decode_text(std::string_view bytes) {
    if (is_valid_utf8(bytes)) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        return std::string(bytes);
    }
    return cp1252_to_utf8(bytes);
}

namespace {

// Opens path for reading when it is a regular file of at most max_bytes;
// size receives its length. Nothing else is opened in a way that can block.
std::FILE* open_regular_file(const std::string& path, std::size_t max_bytes, std::size_t& size) {
#if LV_HAVE_FSYNC
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer
    // for ever. Only regular files are read, so the flag changes nothing else.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > max_bytes) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    size = static_cast<std::size_t>(st.st_size);
    return f;
#else
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || ec) return nullptr;
    const auto length = fs::file_size(path, ec);
    if (ec || length > max_bytes) return nullptr;
    size = static_cast<std::size_t>(length);
    return std::fopen(path.c_str(), "rb");
#endif
}

// Appends up to limit bytes of f to bytes; false on a read error.
// at_end tells whether the file ended within them.
bool read_into(std::FILE* f, std::string& bytes, std::size_t limit, bool& at_end) {
    std::array<char, 65536> buf;
    at_end = false;
    while (bytes.size() <= limit) {
        // Up to one byte past the limit, so that a longer file shows itself.
        const std::size_t room = limit - bytes.size();
        const std::size_t want = room >= buf.size() ? buf.size() : room + 1;
        const std::size_t got = std::fread(buf.data(), 1, want, f);
        bytes.append(buf.data(), got);
        if (got < want) {
            at_end = true;
            return !std::ferror(f);
        }
    }
    return true;
}

}  // namespace

bool read_file_bytes(const std::string& path, std::string& bytes, std::size_t max_bytes) {
    bytes.clear();
    std::size_t size = 0;
    std::FILE* f = open_regular_file(path, max_bytes, size);
    if (!f) return false;
    bytes.reserve(size);
    bool at_end = false;
    // One byte past max_bytes still read means the file grew while it was read.
    const bool ok = read_into(f, bytes, max_bytes, at_end) && at_end && bytes.size() <= max_bytes;
    std::fclose(f);
    if (!ok) bytes.clear();
    return ok;
}

bool read_file_head(const std::string& path, std::string& bytes, std::size_t head_bytes, std::size_t max_bytes,
                    bool& whole) {
    bytes.clear();
    whole = false;
    std::size_t size = 0;
    std::FILE* f = open_regular_file(path, max_bytes, size);
    if (!f) return false;
    bytes.reserve(std::min(size, head_bytes));
    bool at_end = false;
    const bool ok = read_into(f, bytes, head_bytes, at_end);
    std::fclose(f);
    if (!ok) {
        bytes.clear();
        return false;
    }
    whole = at_end && bytes.size() <= head_bytes;
    if (bytes.size() > head_bytes) bytes.resize(head_bytes);
    return true;
}

bool read_text_file(const std::string& path, std::string& text, std::size_t max_bytes) {
    std::string bytes;
    if (!read_file_bytes(path, bytes, max_bytes)) {
        text.clear();
        return false;
    }
    if (is_valid_utf8(bytes)) {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
        text = std::move(bytes);   // the common case: no second copy of a large file
    } else {
        text = cp1252_to_utf8(bytes);
    }
    return true;
}

namespace {

// Nobody names a file of their own like this, so a file that carries it can
// only be a temporary file of ours.
constexpr std::string_view temp_marker = ".lumivane-tmp-";
constexpr std::size_t temp_max_digits = 9;   // the number is below 10^9

// A fresh, hidden name beside the target, opened exclusively so that two
// writers can never share one temporary file.
std::FILE* open_temp_beside(const fs::path& target, fs::path& temp) {
    static std::mt19937_64 gen{std::random_device{}()};
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = ".";
        name += target.filename().string();
        name += temp_marker;
        name += std::to_string(gen() % 1000000000ULL);
        temp = folder.empty() ? fs::path(name) : folder / name;
        if (std::FILE* f = std::fopen(temp.c_str(), "wbx")) return f;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

}  // namespace

bool is_temp_file_name(std::string_view name) {
    if (name.size() < 2 || name.front() != '.') return false;
    const std::size_t at = name.find(temp_marker, 2);
    if (at == std::string_view::npos) return false;
    std::string_view rest = name.substr(at + temp_marker.size());
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits == 0 || digits > temp_max_digits) return false;
    rest.remove_prefix(digits);
    // What a writer working on our temporary file adds beside it.
    return rest.empty() || (rest.size() > 1 && rest.front() == '.');
}

std::string save_target(const std::string& path) {
    fs::path p(path);
    // As many links as the kernel itself follows before it gives up.
    for (int links = 0; links <= 40; ++links) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec)) || ec) return p.string();
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) return p.string();
        // Joined, not normalised: ".." after a linked folder is the kernel's to resolve.
        p = to.is_absolute() || p.parent_path().empty() ? to : p.parent_path() / to;
    }
    return {};
}

namespace {

// The whole of bytes into the file at path, which is ours and new.
bool write_whole(const std::string& path, std::string_view bytes) {
#if LV_HAVE_FSYNC
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    while (ok && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::close(fd) == 0 && ok;
#else
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
#endif
}

}  // namespace

bool save_file(const std::string& path, const std::function<bool(const std::string&)>& fill, bool make_folders) {
    const fs::path target(save_target(path));
    if (target.filename().empty()) return false;
    std::error_code ec;
    if (fs::is_directory(target, ec)) return false;
    if (make_folders && target.has_parent_path()) {
        fs::create_directories(target.parent_path(), ec);
        if (ec) return false;
    }

    fs::path temp;
    std::FILE* f = open_temp_beside(target, temp);
    if (!f) return false;
    bool ok = std::fclose(f) == 0;
    ok = ok && fill(temp.string());
#if LV_HAVE_FSYNC
    if (ok) {
        // The rename must not reach the disk before the data does.
        const int fd = ::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        ok = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0) ::close(fd);
    }
#endif
    if (ok) {
        // Keep the permissions the user gave the old file.
        const fs::file_status old = fs::status(target, ec);
        if (!ec && fs::is_regular_file(old)) fs::permissions(temp, old.permissions(), ec);
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) fs::remove(temp, ec);
    return ok;
}

bool replace_file(const std::string& path, std::string_view bytes, bool make_folders) {
    return save_file(path, [bytes](const std::string& temp) { return write_whole(temp, bytes); }, make_folders);
}

std::string save_lock_name(std::string_view file_name) {
    std::string name = ".";
    name += file_name;
    name += ".lumivane-lock";
    return name;
}

save_lock::save_lock(const std::string& target, std::chrono::milliseconds wait) {
#if LV_HAVE_FSYNC
    const fs::path t(target);
    const fs::path folder = t.parent_path().empty() ? fs::path(".") : t.parent_path();
    const std::string lock_file = (folder / save_lock_name(t.filename().string())).string();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // A short pause before the next try; false once the wait is over.
    auto pause = [deadline] {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    };
    // Whether flock failed only because another holds the lock. A file
    // system without locks makes the lock a formality, as it always was there.
    auto taken = [] { return errno == EWOULDBLOCK || errno == EINTR; };
    for (;;) {
        // Never blocking: a FIFO at the name would otherwise wait for a writer.
        const int fd = ::open(lock_file.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EINTR) continue;
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0) ::close(fd);
            break;   // no lock file can be had: the folder instead
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || !taken()) {
            // Fresh, so that the start-up's clean-up of old locks leaves it.
            ::futimens(fd, nullptr);
            // The save that held it before removes it as it lets go: only
            // the file still at the name is the lock.
            struct stat now {};
            if (::stat(lock_file.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
                fd_ = fd;
                lock_file_ = lock_file;
                held_ = true;
                return;
            }
            ::close(fd);
            continue;
        }
        ::close(fd);
        if (!pause()) return;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0 && taken()) {
        if (!pause()) {
            ::close(fd);
            return;
        }
    }
    fd_ = fd;
    held_ = true;
#else
    (void)target;
    (void)wait;
    held_ = true;
#endif
}

save_lock::~save_lock() {
#if LV_HAVE_FSYNC
    if (fd_ < 0) return;
    // Removed while still held, so that a save waiting on this file finds it
    // gone and makes a new one.
    struct stat mine {}, now {};
    if (!lock_file_.empty() && ::fstat(fd_, &mine) == 0 && ::stat(lock_file_.c_str(), &now) == 0 &&
        now.st_dev == mine.st_dev && now.st_ino == mine.st_ino)
        ::unlink(lock_file_.c_str());
    ::close(fd_);
#endif
}

int remove_stale_temp_files(const std::string& folder, fs::file_time_type now) {
    return remove_stale_files(folder, now, is_temp_file_name);
}

int remove_stale_files(const std::string& folder, fs::file_time_type now,
                       const std::function<bool(std::string_view)>& ours) {
    int removed = 0;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec);
    if (ec) return 0;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (!ours(name)) continue;
        std::error_code e;
        // Never follow a link: only a plain file of ours is ever removed.
        if (!it->is_regular_file(e) || e || it->is_symlink(e)) continue;
        const auto written = it->last_write_time(e);
        if (e || now - written < std::chrono::minutes(1)) continue;   // maybe still being written
        if (fs::remove(it->path(), e) && !e) ++removed;
    }
    return removed;
}

std::vector<std::string> folders_linked_from(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec);
    if (ec) return found;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code e;
        if (!it->is_symlink(e) || e) continue;
        const std::string target = save_target(it->path().string());
        if (target.empty()) continue;
        if (fs::is_directory(target, e)) continue;   // only files are saved
        const fs::path there = fs::path(target).parent_path();
        if (there.empty() || fs::equivalent(there, folder, e)) continue;
        if (std::find(found.begin(), found.end(), there.string()) == found.end()) found.push_back(there.string());
    }
    return found;
}

}  // namespace lv
