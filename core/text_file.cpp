#include "core/text_file.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#if __has_include(<unistd.h>)
#include <fcntl.h>
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

bool read_file_bytes(const std::string& path, std::string& bytes, std::size_t max_bytes) {
    bytes.clear();
#if LV_HAVE_FSYNC
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer
    // for ever. Only regular files are read, so the flag changes nothing else.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > max_bytes) {
        ::close(fd);
        return false;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return false;
    }
    bytes.reserve(static_cast<std::size_t>(st.st_size));
#else
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > max_bytes || ec) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
#endif
    std::array<char, 65536> buf;
    bool ok = true;
    for (;;) {
        const std::size_t got = std::fread(buf.data(), 1, buf.size(), f);
        bytes.append(buf.data(), got);
        if (bytes.size() > max_bytes) {   // the file grew while it was read
            ok = false;
            break;
        }
        if (got < buf.size()) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok) bytes.clear();
    return ok;
}

bool read_text_file(const std::string& path, std::string& text) {
    std::string bytes;
    if (!read_file_bytes(path, bytes)) {
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

// A fresh, hidden name beside the target, opened exclusively so that two
// writers can never share one temporary file.
std::FILE* open_temp_beside(const fs::path& target, fs::path& temp) {
    static std::mt19937_64 gen{std::random_device{}()};
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = ".";
        name += target.filename().string();
        name += ".tmp";
        name += std::to_string(gen() % 1000000000ULL);
        temp = folder.empty() ? fs::path(name) : folder / name;
        if (std::FILE* f = std::fopen(temp.c_str(), "wbx")) return f;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

}  // namespace

bool replace_file(const std::string& path, std::string_view bytes) {
    const fs::path target(path);
    if (target.filename().empty()) return false;
    std::error_code ec;
    if (fs::is_directory(target, ec)) return false;

    fs::path temp;
    std::FILE* f = open_temp_beside(target, temp);
    if (!f) return false;

    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
#ifdef LV_HAVE_FSYNC
    // The rename must not reach the disk before the data does.
    ok = ::fsync(::fileno(f)) == 0 && ok;
#endif
    ok = std::fclose(f) == 0 && ok;

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

}  // namespace lv
