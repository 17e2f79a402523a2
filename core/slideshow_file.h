#pragma once
// The slideshow files (".lmv"): a custom slideshow stores every sequence, a
// simple slideshow its folder lists and options. Both are comma-separated
// text records, lines ended by CR LF, behind a common header line whose third
// field names the kind ("Custom" or "Simple").
//
// Loaders return 0 when the file was read and 1 on any failure; the player's
// variants (c_load_*) also return 2 when the show was asked to end
// (run().time_to_end == 1) while they were loading. A failed load keeps the
// fields it had read before the failure; a count that is out of range is
// never stored, so the document stays consistent with its arrays.
//
// Writers return 0 when the file was written, 2 when it would be longer than
// max_slideshow_file_bytes (no loader would read it back) and 1 on any other
// failure; the old file survives any failure untouched.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lv {

constexpr int max_file_images = 32000;    // sequences a custom file may hold
constexpr int max_file_music = 10000;     // music entries a custom file may hold
// A show file longer than this is refused as a failed load, unread, so that a
// hostile huge file cannot exhaust memory or hold the window's thread, which
// runs the load. The format itself sets no such bound (names, captions and
// notes have no length limit), so the writers refuse to produce a longer file
// rather than save a show that could never be opened again.
constexpr std::size_t max_slideshow_file_bytes = std::size_t{64} * 1024 * 1024;

// Field 3 of the file's header: "Custom", "Simple" or whatever the file says.
// nullopt when the file cannot be read, is longer than
// max_slideshow_file_bytes or its header is too short; callers treat that as
// a failed load. Only the file's head is read when it decides the kind.
std::optional<std::string> read_slideshow_kind(const std::string& path);

// Fill the custom / simple slideshow of doc() from a file (see above).
int load_custom_file(const std::string& path);
int load_random_file(const std::string& path);

// The player's variants. After each sequence and each music line (custom)
// or after each folder line and each list (simple) they yield to the
// message loop when a few milliseconds have passed since they last did,
// and give up with 2 when time_to_end is 1 at one of those points.
// c_load_custom calls show_loading_label once, right after the 501st
// sequence has been read (may be empty).
int c_load_custom(const std::string& path, const std::function<void()>& show_loading_label);
int c_load_random(const std::string& path);

// The same loads from text already in memory (the bytes of a file).
int load_custom_text(std::string_view bytes);
int load_random_text(std::string_view bytes);

// Whether a text field (a file or folder name, a caption, a name) can be
// stored in a slideshow file: the format has no way to carry a double quote,
// a carriage return or a line feed, nor bytes that are not UTF-8.
bool storable_in_slideshow(std::string_view text);

// Write the simple / custom slideshow of doc() to path. A text field holding
// a double quote, CR or LF (which the format cannot carry), a number outside
// what the loader accepts or a count that does not match the arrays makes
// the write fail with 1 instead of producing a file that loads differently;
// a file longer than the loaders read fails with 2.
int save_random(const std::string& path);
int write_custom_file(const std::string& path);

// The exact file contents the writers would produce; nullopt where they fail.
std::optional<std::string> custom_file_text();
std::optional<std::string> random_file_text();

// The writing program's version as it appears in the header ("6.0.11").
std::string file_version_text();

}  // namespace lv
