#pragma once
// "Add A Border To Your SlideShow": the slideshow-wide picture border, ten
// values on scroll bars with a live sample, and a check box that switches
// the border off.
//
// "&Save And Exit" writes the ten values into doc().border and clears
// doc().border_use_defaults; every way of closing (save, cancel, Esc, the
// window's close box) stores the check box in doc().border.border_off.
#include <QDialog>
#include <array>

#include "platform/controls/picture_control.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace lv {

class FrmBorder : public QDialog {
    Q_OBJECT
public:
    explicit FrmBorder(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;   // "Inner Color 1"
    QLabel* Label2 = nullptr;   // "Inner Color 2"
    QLabel* Label3 = nullptr;   // "Inner Style"
    QLabel* Label4 = nullptr;   // "Inner Width"
    QLabel* Label5 = nullptr;   // "Outer Color 1"
    QLabel* Label6 = nullptr;   // "Outer Color 2"
    QLabel* Label7 = nullptr;   // "Outer Style"
    QLabel* Label8 = nullptr;   // "Outer Width"
    QLabel* Label9 = nullptr;   // "Middle Color"
    QLabel* Label10 = nullptr;  // "Middle Width"
    QLabel* Label11 = nullptr;  // the explanation
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* HScroll2 = nullptr;
    QScrollBar* HScroll3 = nullptr;
    QScrollBar* HScroll4 = nullptr;
    QScrollBar* HScroll5 = nullptr;
    QScrollBar* HScroll6 = nullptr;
    QScrollBar* HScroll7 = nullptr;
    QScrollBar* HScroll8 = nullptr;
    QScrollBar* HScroll9 = nullptr;
    QScrollBar* HScroll10 = nullptr;
    PictureControl* FXImage1 = nullptr;   // the sample
    QCheckBox* Check1 = nullptr;          // "Do &not display border"
    QPushButton* Command1 = nullptr;      // "&Defaults"
    QPushButton* Command2 = nullptr;      // "&Save And Exit"
    QPushButton* Command3 = nullptr;      // "&Cancel"

    // HScroll1..HScroll10 by number (1-10).
    QScrollBar* HScroll(int n) const { return bars_[static_cast<std::size_t>(n - 1)]; }

    // The default border: 8, 15, 1, 3, 8, 15, 2, 4, 1, 2.
    static constexpr std::array<int, 10> default_values{8, 15, 1, 3, 8, 15, 2, 4, 1, 2};

    // Puts the default border on the scroll bars and the sample; leaves the
    // check box alone.
    void get_borderdefaults();

    // The first activation: fills the scroll bars and the sample. Runs by
    // itself shortly after the dialog is first shown; later calls do nothing.
    void Form_Activate();

    void Command1_Click();   // Defaults
    void Command2_Click();   // Save And Exit
    void Command3_Click();   // Cancel

    // Every way of closing passes here: stores the check box.
    void done(int result) override;

    static constexpr int inner_width_twips = 8970;
    static constexpr int inner_height_twips = 6765;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void Form_Load();
    void HScroll_Change(int n);
    void set_sample_value(int n, int value);

    std::array<QScrollBar*, 10> bars_{};
    control_border sample_border_;
    int activated = 0;
};

}  // namespace lv
