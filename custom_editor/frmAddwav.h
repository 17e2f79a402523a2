#pragma once
// "Select An Audio File To Play When This Image Is Displayed": picks the
// sound of the selected sequence. Hands back editors().picked_sound
// ("" = nothing chosen) and, when clearing was offered and chosen,
// editors().offer_clear_file = 1. Previews play on the sound channel.
#include "custom_editor/picker_common.h"

#include <string>

namespace lv {

class frmAddwav : public sound_picker {
    Q_OBJECT
public:
    // Loads: picked_sound := ""; "Cancel And Clear &File" shown only when
    // offer_clear_file was 1, which is then reset to 0.
    explicit frmAddwav(QWidget* parent = nullptr);

    QPushButton* Command1 = nullptr;   // "Cancel And Clear &File"
    QPushButton* Command2 = nullptr;   // "&Select This File And Exit"
    QPushButton* Command3 = nullptr;   // "&Cancel"
    QPushButton* Command4 = nullptr;   // "&Preview Audio File"

    void select_clicked();
    void cancel_clicked();
    void clear_clicked();
    // play_sound_file(path).
    void play_wav(const std::string& path);

protected:
    void play(const std::string& path) override { play_wav(path); }
};

}  // namespace lv
