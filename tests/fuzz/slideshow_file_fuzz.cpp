// Feeds arbitrary bytes to both slideshow loaders. Besides crashes and
// sanitizer reports it checks that the document stays consistent with its
// arrays, and that whatever loads and can be written again is a fixed point
// of write-load-write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/document.h"
#include "core/slideshow_file.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void check_document() {
    const auto& d = lv::doc();
    check(d.image_count >= 0 && d.image_count <= lv::max_file_images);
    check(d.sequences.size() >= static_cast<std::size_t>(d.image_count) + 1);
    check(d.music_count >= 0 && d.music_count <= lv::max_file_music);
    check(d.music_files.size() >= static_cast<std::size_t>(d.music_count) + 1);
    for (int c : d.random_folder_counts) check(c >= 0 && c <= lv::max_folders);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    lv::new_custom_defaults();
    lv::new_random_defaults();
    const int custom = lv::load_custom_text(bytes);
    check(custom == 0 || custom == 1);
    check_document();
    if (custom == 0) {
        if (const auto text = lv::custom_file_text()) {
            lv::new_custom_defaults();
            check(lv::load_custom_text(*text) == 0);
            check(lv::custom_file_text() == text);
        }
    }

    lv::new_random_defaults();
    const int simple = lv::load_random_text(bytes);
    check(simple == 0 || simple == 1);
    check_document();
    if (simple == 0) {
        if (const auto text = lv::random_file_text()) {
            lv::new_random_defaults();
            check(lv::load_random_text(*text) == 0);
            check(lv::random_file_text() == text);
        }
    }
    return 0;
}
