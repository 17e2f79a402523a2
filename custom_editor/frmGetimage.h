#pragma once
// "Change Current Image": picks the picture or video that replaces the
// selected sequence's. Hands back editors().picked_file ("" = nothing chosen).
#include "custom_editor/picker_common.h"

namespace lv {

class frmGetimage : public picture_picker {
    Q_OBJECT
public:
    // Loads: picked_file := "", the remembered folder (last_folder) shown.
    explicit frmGetimage(QWidget* parent = nullptr);

    QPushButton* Command1 = nullptr;   // "&Select This Image And Exit"
    QPushButton* Command3 = nullptr;   // "&Cancel"
    QPushButton* Command4 = nullptr;   // "&Preview Image"

    // picked_file := the chosen file's full path ("" when none is chosen), close.
    void select_clicked();
};

}  // namespace lv
