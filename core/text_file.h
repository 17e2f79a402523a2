#pragma once
// Reading and replacing whole text files.
//
// Files are written as UTF-8. A file that is not valid UTF-8 is read as
// Windows-1252 and converted, so names held in that single-byte code page
// are read and kept; callers always get UTF-8.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// Every file the program saves is saved the same way: the whole content
// goes to a new file beside the file saved, which is flushed to disk and
// only then renamed over the old one, so that a process killed at any moment
// leaves the old file or the new one, never a mix. A file that is a symbolic
// link is saved where the link leads and the link stays, also when the file
// it names does not exist yet.

// Where a save of path lands: path itself or, when it is a symbolic link,
// the file at the end of its chain of links (a relative target is read from
// the folder of the link that holds it), whether or not that file exists.
// Empty when the chain does not end.
std::string save_target(const std::string& path);

// Saves the file at path (see save_target): fill gets the name of a new,
// empty temporary file beside the target and writes the whole content into
// it, saying whether that worked. The old file's permissions are kept. With
// make_folders, the target's missing folders are made first. On any failure
// the old file is left as it was, the temporary file is removed and the
// result is false.
bool save_file(const std::string& path, const std::function<bool(const std::string& temp)>& fill,
               bool make_folders = false);
// Saves bytes as the whole file at path, as save_file does.
bool replace_file(const std::string& path, std::string_view bytes, bool make_folders = false);

// The lock of saves of the file named file_name, beside it:
// "." + file_name + ".lumivane-lock".
std::string save_lock_name(std::string_view file_name);

// The lock that keeps two processes from saving the same file at once, for
// a save that reads the file before replacing it. It is waited for no
// longer than wait, so no save hangs on it. It is the lock file beside the
// target (save_lock_name), which goes when the lock is given back; the lock
// itself is the kernel's, so a file left by a process that died (empty,
// say) holds nothing. When something no save can lock stands at that name
// (a folder, a FIFO, a link, a file that cannot be opened), the target's
// folder is locked instead, as every save that meets it does.
class save_lock {
public:
    save_lock(const std::string& target, std::chrono::milliseconds wait);
    ~save_lock();
    save_lock(const save_lock&) = delete;
    save_lock& operator=(const save_lock&) = delete;
    // False when another save held it for the whole wait, or when neither
    // the lock file nor the folder could be opened.
    bool held() const { return held_; }

private:
    int fd_ = -1;
    std::string lock_file_;   // set while the lock file is what is held
    bool held_ = false;
};

// The temporary files of the program are named "." + the target's name +
// ".lumivane-tmp-" + a number, perhaps followed by "." and what a writer
// working on such a file adds (its own temporary file or lock). Nothing else
// is ever taken for one.
bool is_temp_file_name(std::string_view name);

// Removes those temporary files of folder left behind by a process that died
// mid-write, when they are a minute old or older (by their modification time,
// against now); nothing else in folder is touched. Returns how many went.
int remove_stale_temp_files(const std::string& folder, std::filesystem::file_time_type now);

// The same for the files of folder whose names ours accepts: only regular
// files (never a link, whatever it points to) a minute old or older.
int remove_stale_files(const std::string& folder, std::filesystem::file_time_type now,
                       const std::function<bool(std::string_view name)>& ours);

// The folders, other than folder itself, where the saves of the links in
// folder write (the folders of their save_target), where those temporary
// files lie.
std::vector<std::string> folders_linked_from(const std::string& folder);

}  // namespace lv
