#pragma once
// Small path procedures used wherever a file is shown or tested.
#include <string>

namespace lv {

// The file-name part of a path: the text after the last "/" or "\"; the
// whole path when it has neither, "" when it ends in one. A CD-track label
// ("CD Track 03") is returned as it is.
std::string file_title(const std::string& path);

// True only for an existing regular file longer than 1 byte: a folder, a
// missing file, an empty or 1-byte file or any error give false.
bool file_exists(const std::string& path);

// folder & name, with a "/" between them only when folder does not already
// end in a separator (and none when folder is empty).
std::string join_path(const std::string& folder, const std::string& name);

// A file's type: its last three characters upper-cased (so "x.jpeg" is
// "PEG" and matches nothing). Shorter names have no type.
std::string file_type(const std::string& name);

// A video by its type: AVI or MPG, in any letter case.
bool is_video_file(const std::string& name);

// Whether a slideshow's name can name its file in the data folder: no folder
// separator ("/", or "\", which file_title cuts at too) and no control
// character (NUL and line breaks among them).
bool usable_file_name(const std::string& name);

// The characters the slideshow name boxes drop as they are typed or pasted:
// those usable_file_name refuses, the full stop (the file's type is added to
// the name) and the comma and double quote the file's name field cannot carry.
bool refused_in_slideshow_name(char32_t c);

}  // namespace lv
