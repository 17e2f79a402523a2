#include "core/file_names.h"

#include <cctype>
#include <filesystem>
#include <system_error>

namespace lv {

std::string file_title(const std::string& path) {
    if (path.empty()) return "";
    if (path.find("CD Track") != std::string::npos) return path;
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return path;
    return path.substr(cut + 1);
}

bool file_exists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    const std::filesystem::path p(path);
    if (!std::filesystem::is_regular_file(p, ec) || ec) return false;
    const auto size = std::filesystem::file_size(p, ec);
    return !ec && size > 1;
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + "/" + name;
}

std::string file_type(const std::string& name) {
    if (name.size() < 3) return "";
    std::string t = name.substr(name.size() - 3);
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t;
}

bool is_video_file(const std::string& name) {
    const std::string t = file_type(name);
    return t == "AVI" || t == "MPG";
}

namespace {
bool no_file_name_char(char32_t c) { return c == U'/' || c == U'\\' || c < 0x20; }
}  // namespace

bool usable_file_name(const std::string& name) {
    for (char c : name)
        if (no_file_name_char(static_cast<unsigned char>(c))) return false;
    return true;
}

bool refused_in_slideshow_name(char32_t c) {
    return no_file_name_char(c) || c == U'.' || c == U',' || c == U'"';
}

}  // namespace lv
