#pragma once
// "Select A Background Type": picks the background picture of the selected
// sequence, or the random gradient. Hands back editors().picked_file (a path,
// "Gradient Background" or "") and, when clearing was offered and chosen,
// editors().offer_clear_file = 1.
#include "custom_editor/picker_common.h"

namespace lv {

class frmGetbackground : public picture_picker {
    Q_OBJECT
public:
    // Loads: picked_file := ""; "Cancel And Clear &File" shown only when
    // offer_clear_file was 1, which is then reset to 0.
    explicit frmGetbackground(QWidget* parent = nullptr);

    QPushButton* Command1 = nullptr;   // "&Select This Image And Exit"
    QPushButton* Command2 = nullptr;   // "Cancel And Clear &File"
    QPushButton* Command3 = nullptr;   // "&Cancel"
    QPushButton* Command4 = nullptr;   // "&Preview Image"
    QPushButton* Command5 = nullptr;   // "Use A &Random Gradient Background For This Image"

    void select_clicked();
    void clear_clicked();
    void gradient_clicked();
};

}  // namespace lv
