#pragma once
// "Caption Font Properties": the look of a caption (font, relief, shadow
// size, solid colour or colour gradient) with a live sample.
//
// The caller fills doc().caption_settings and doc().caption_sample_text,
// runs the dialog modally and reads doc().caption_settings afterwards. The
// dialog edits a working copy; only "Save And Exit" writes it back, every
// other way of closing leaves doc().caption_settings as it was.
#include <QColor>
#include <QDialog>
#include <QString>
#include <array>

#include "core/document.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace lv {

class LabelControl;

class frmCaptionSettings : public QDialog {
    Q_OBJECT
public:
    explicit frmCaptionSettings(QWidget* parent = nullptr);

    // Controls, named as the form has always named them.
    QGroupBox* Frame1 = nullptr;                // "Font Color"
    QPushButton* Command4 = nullptr;            // "Select Solid Color"
    std::array<QRadioButton*, 9> Option1{};     // colour scheme 0-8
    QGroupBox* Frame2 = nullptr;                // "Font Style"
    QPushButton* Command3 = nullptr;            // "Select Font Style"
    std::array<QRadioButton*, 7> Option2{};     // relief style options
    QLabel* Label1 = nullptr;                   // "Shadow / Block Size"
    QScrollBar* HScroll1 = nullptr;             // shadow or block size, 1-10
    LabelControl* FXLabel1 = nullptr;           // the sample
    QPushButton* Command1 = nullptr;            // "Save And Exit"
    QPushButton* Command2 = nullptr;            // "Cancel"

    // The values being edited and the sample's text.
    const caption_settings_record& working_copy() const { return caption_working_copy; }
    const QString& sample() const { return sample_text; }
    bool is_loading() const { return loading != 0; }

    // Option index 0-6 -> style 0-4, 6, 7; anything else changes nothing.
    void update_style(int x);
    // 0 solid, 1-8 a gradient scheme; anything else changes nothing.
    void update_gradient(int x);
    // Redraws the sample from the working copy (not while loading).
    void update_display();

    // The first activation: draws the sample. Runs by itself shortly after
    // the dialog is first shown; calling it again does nothing.
    void Form_Activate();

    void Command1_Click();   // Save And Exit
    void Command2_Click();   // Cancel
    void Command3_Click();   // font dialog
    void Command4_Click();   // colour dialog

    // Dialog inner size in twips.
    static constexpr int inner_width_twips = 5370;
    static constexpr int inner_height_twips = 4770;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void Form_Load();
    void HScroll1_Change();
    void set_look(const QString& caption);
    void draw_sample();

    caption_settings_record caption_working_copy;
    QString sample_text;
    int loading = 1;
    int activated = 0;
    bool drawing_ = false;        // update_display runs (it yields)
    bool redraw_again_ = false;   // a change arrived while it ran
    QColor last_color_{Qt::black};   // where the colour dialog opens next
};

}  // namespace lv
