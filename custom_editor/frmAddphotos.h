#pragma once
// "Add Images To Your SlideShow": appends pictures and videos as new
// sequences of the open slideshow, each with the settings of a new sequence,
// and a row for each to the custom editor's sequence list.
//
// The editor hands over its list before showing the dialog, either as the
// list widget itself or as a function that appends one row:
//     frmAddphotos dlg(this);
//     dlg.set_sequence_list(List1);            // or dlg.append_to_list = ...
//     dlg.exec();
#include "custom_editor/picker_common.h"

#include <functional>
#include <string>

namespace lv {

class frmAddphotos : public picture_picker {
    Q_OBJECT
public:
    explicit frmAddphotos(QWidget* parent = nullptr);

    QPushButton* Command1 = nullptr;   // "Add &Selected Files Only"
    QPushButton* Command2 = nullptr;   // "&Add All Files"
    QPushButton* Command3 = nullptr;   // "&Cancel"
    QPushButton* Command4 = nullptr;   // "&Preview Image"

    // The editor's sequence list: gets file_title(path) for every added sequence.
    std::function<void(const std::string& title)> append_to_list;
    // Appends the rows to this list widget (sets append_to_list).
    void set_sequence_list(QListWidget* list);

    // Adds the file list's entries (only the selected ones when selected_only)
    // as new sequences while there is room, then closes. An empty file list
    // does nothing and the window stays.
    void add_clicked(bool selected_only);
    // Every field of the newest sequence but image_file takes its default.
    void reset_othervars();

    static constexpr int max_sequences = 32000;

protected:
    void first_activation() override;
};

}  // namespace lv
