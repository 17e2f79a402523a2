#pragma once
// Values the editors and their dialogs hand to each other: what a picker
// chose, which editor is open, where the live preview window stands.
#include <string>

namespace lv {

struct editor_state {
    // Picker results.
    std::string picked_file;       // a path, "Gradient Background", or "" = nothing chosen
    std::string picked_sound;
    int offer_clear_file = 0;
    int picker_for_background = 0;

    // Editor hand-off flags of the main screen.
    int custom_editor_open = 0;
    int random_editor_open = 0;
    int editing_existing = 0;

    // The custom editor's live preview window.
    int image_preview_open = 0;
    int image_preview_refresh = 0;
    int image_preview_left = 0, image_preview_top = 0;
    int image_preview_width = 0, image_preview_height = 0;
};

editor_state& editors();

}  // namespace lv
