#pragma once
// Reading and replacing whole text files.
//
// Files are written as UTF-8. A file that is not valid UTF-8 is read as
// Windows-1252 and converted, so names held in that single-byte code page
// are read and kept; callers always get UTF-8.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace lv {

bool is_valid_utf8(std::string_view bytes);
// Every byte as its Windows-1252 character, in UTF-8. The five bytes that
// code page leaves undefined map to the C1 control of the same number.
std::string cp1252_to_utf8(std::string_view bytes);
// The text of a file's bytes: UTF-8 as it is (a leading byte-order mark is
// dropped), anything else converted from Windows-1252.
std::string decode_text(std::string_view bytes);

// Files larger than this are never read whole: nothing the program reads
// itself comes near it, and a hostile file must not exhaust memory.
inline constexpr std::size_t no_read_limit = static_cast<std::size_t>(-1);

// The whole file as bytes; false when it cannot be opened or read, when it is
// not a regular file (a FIFO, a device or a folder is refused without
// blocking on its open) or when it holds more than max_bytes.
bool read_file_bytes(const std::string& path, std::string& bytes, std::size_t max_bytes = no_read_limit);
// The first head_bytes of a regular file of at most max_bytes (refused like
// read_file_bytes otherwise); whole tells whether that was the whole file.
bool read_file_head(const std::string& path, std::string& bytes, std::size_t head_bytes, std::size_t max_bytes,
                    bool& whole);
// The whole file as UTF-8 text (decode_text); false when unreadable or
// larger than max_bytes.
bool read_text_file(const std::string& path, std::string& text, std::size_t max_bytes = no_read_limit);

// Replaces the file at path with bytes, never leaving a half-written file:
// the bytes go to a new file in the same folder, which is flushed and closed
// and only then renamed over the old one. On any failure the old file is
// left as it was, the temporary file is removed and the result is false.
bool replace_file(const std::string& path, std::string_view bytes);

// The temporary files of the program are named "." + the target's name +
// ".lumivane-tmp-" + a number, perhaps followed by "." and what a writer
// working on such a file adds (its own temporary file or lock). Nothing else
// is ever taken for one.
bool is_temp_file_name(std::string_view name);
// Makes a new, empty temporary file of that name beside target; false when
// none can be made there.
bool create_temp_beside(const std::string& target, std::string& temp);

// Removes those temporary files of folder left behind by a process that died
// mid-write, when they are a minute old or older (by their modification time,
// against now); nothing else in folder is touched. Returns how many went.
int remove_stale_temp_files(const std::string& folder, std::filesystem::file_time_type now);

// The same for the files of folder whose names ours accepts: only regular
// files (never a link, whatever it points to) a minute old or older.
int remove_stale_files(const std::string& folder, std::filesystem::file_time_type now,
                       const std::function<bool(std::string_view name)>& ours);

}  // namespace lv
