// Saving the custom slideshow, the full-screen preview from a chosen
// sequence, and the print command.
#include <QLineEdit>

#include <utility>
#include <vector>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/file_names.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "custom_editor/custom_printout.h"
#include "custom_editor/frmCustom.h"
#include "custom_editor/frmCustom_detail.h"
#include "custom_editor/frmStartfrom.h"
#include "custom_editor/picker_common.h"
#include "platform/desktop/desktop_services.h"
#include "player/frmSlideshow.h"

namespace lv {

using namespace custom_detail;

namespace {

// The text fields of the open slideshow that a slideshow file cannot store,
// each named with its sequence ("Image 3: audio file") and its value.
std::vector<std::pair<std::string, std::string>> unstorable_fields() {
    std::vector<std::pair<std::string, std::string>> found;
    const auto& d = doc();
    auto check = [&found](const std::string& where, const std::string& value) {
        if (!storable_in_slideshow(value)) found.emplace_back(where, value);
    };
    check("Slideshow name", d.custom_name);
    const auto& s = d.sequences;
    for (int i = 1; i <= d.image_count && valid_image(i); ++i) {
        const std::string image = "Image " + std::to_string(i) + ": ";
        const std::size_t x = at(i);
        check(image + "picture or video file", s.image_file[x]);
        check(image + "notes", s.notes[x]);
        check(image + "caption text", s.caption_text[x]);
        check(image + "caption font", s.caption_font_name[x]);
        check(image + "audio file", s.audio_file[x]);
        check(image + "background picture", s.background_file[x]);
    }
    for (int m = 1; m <= d.music_count && static_cast<std::size_t>(m) < d.music_files.size(); ++m)
        check("Background music file " + std::to_string(m), d.music_files[static_cast<std::size_t>(m)]);
    return found;
}

}  // namespace

int frmCustom::save_custom(const std::string& path) {
    hourglass_on();
    // The writer replaces the file only once the whole text is on disk, so a
    // failure leaves an existing slideshow of that name as it was.
    const int result = write_custom_file(path);
    hourglass_off();
    return result;
}

void frmCustom::save_and_exit() {
    const auto& d = doc();
    if (d.image_count <= 0) return;
    bool missing = false;
    for (int i = 1; i <= doc().image_count && valid_image(i); ++i) {
        const std::string file = doc().sequences.image_file[at(i)];
        if (!file_exists(file)) {
            editor_box(this, "File Not Found! (Image " + std::to_string(i) + ")",
                       file + "\n\nThis file is missing! Please select a new image.");
            missing = true;
        }
    }
    if (missing || unloaded_) return;
    // The name box and the document agree after every change; read the box
    // once more in case its last change has not been stored yet.
    doc().custom_name = Text3->text().toStdString();
    const std::string name = doc().custom_name;
    if (name.empty()) {
        editor_box(this, product_name, "Please enter a name for this slideshow!");
        return;
    }
    // A field the file cannot hold is no fault of the storage medium: say
    // which one it is, and of which sequence.
    if (const auto refused = unstorable_fields(); !refused.empty()) {
        constexpr std::size_t shown = 10;
        std::string text;
        for (std::size_t i = 0; i < refused.size() && i < shown; ++i)
            text += refused[i].first + "\n    " + printable_path(refused[i].second) + "\n";
        if (refused.size() > shown) text += "... and " + std::to_string(refused.size() - shown) + " more\n";
        text += "\nThe slideshow file cannot store a double quote or a line break. Please choose another file "
                "or change the text, then save again.";
        editor_box(this, product_name, text);
        return;
    }
    // A stored name the box never filtered may still hold a separator: it
    // must not put the file into another folder.
    const int result = usable_file_name(name) ? save_custom(program().data_folder + name + ".lmv") : 1;
    if (result == 2) {
        // Saved, it could never be opened again: keep the user's last file.
        editor_box(this, product_name,
                   "This slideshow is too large to save: its file would be larger than " +
                       std::to_string(max_slideshow_file_bytes / (1024 * 1024)) +
                       " MB, the most Lumivane can open. Please shorten captions or notes, or split the "
                       "slideshow in two, then save again.\n\nNothing was saved; an earlier file of this "
                       "name is kept as it was.");
        return;
    }
    if (result != 0) {
        editor_box(this, product_name, "Error During File Save! Please check storage media.");
        return;
    }
    settings().active_slideshow = name + ".lmv";
    close();
}

// ---------------------------------------------------------------------------
// preview from a chosen sequence

void frmCustom::preview_slideshow() {
    auto& st = settings();
    auto& rf = run();
    const int kept_presentation_mode = st.presentation_mode;
    st.presentation_mode = 0;
    audio_off();
    rf.start_image = 1;
    rf.screensaver_slideshow_path.clear();
    rf.show_origin = 2;
    if (doc().image_count > 1) {
        frmStartfrom dlg(this);
        dlg.exec();
    }
    if (rf.start_image > 0 && doc().image_count > 0) {
        const auto& play = player();
        if (play)
            play();
        else
            frmSlideshow::show_modal();
    }
    rf.start_image = 0;
    rf.show_origin = 0;
    st.presentation_mode = kept_presentation_mode;
    editors().image_preview_refresh = 2;
}

// ---------------------------------------------------------------------------
// printout

std::function<void()>& frmCustom::printout() {
    static std::function<void()> f;
    return f;
}

void frmCustom::print_slideshow() {
    if (doc().image_count <= 0) return;
    const auto& print = printout();
    if (print)
        print();
    else
        print_custom_slideshow(this, Text3->text().toStdString());
}

}  // namespace lv
