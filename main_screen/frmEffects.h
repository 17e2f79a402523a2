#pragma once
// The random effect editor: tunes the speed and grain of each transition of
// the effect table and whether the random choice may use it. It works on a
// private copy, plays the selected transition on a sample picture, and only
// "&Ok" copies the table back and stores it.
#include <QDialog>
#include <QImage>
#include <array>

#include "core/effects.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace lv {

class PictureControl;

// The sample the transitions are played on, drawn at the given size.
QImage effects_sample_picture(int width = 320, int height = 240);

class frmEffects : public QDialog {
    Q_OBJECT
public:
    explicit frmEffects(QWidget* parent = nullptr);

    // Copies the working table into the effect table and stores grain,
    // speed and disabled of every row (318 keys).
    void save_effects();

    // The selected row, -1 for none.
    int selected_index() const;

    QListWidget* List1 = nullptr;
    PictureControl* FXImage1 = nullptr;
    QCheckBox* Check1 = nullptr;       // Disable This Effect
    QLabel* Label12 = nullptr;         // "Speed:"
    QLabel* Label13 = nullptr;         // the speed
    QLabel* Label15 = nullptr;         // "Grain:"
    QLabel* Label14 = nullptr;         // the grain
    QPushButton* Command4 = nullptr;   // speed down
    QPushButton* Command5 = nullptr;   // speed up
    QPushButton* Command6 = nullptr;   // grain down
    QPushButton* Command7 = nullptr;   // grain up
    QPushButton* Command8 = nullptr;   // Enable &All
    QPushButton* Command9 = nullptr;   // &Disable All
    QPushButton* Command3 = nullptr;   // &Refresh
    QPushButton* Command1 = nullptr;   // &Ok
    QPushButton* Command2 = nullptr;   // &Cancel
    QTimer* Timer1 = nullptr;          // 100 ms: the editing controls' enabled state

    std::array<effect_row, effect_rows> working_effects{};
    float min_width = 0, min_height = 0;
    int activated = 0;

    // The handlers, callable as the controls call them.
    void list_click();
    void check1_click();
    void speed_down();
    void speed_up();
    void grain_down();
    void grain_up();
    void enable_all();
    void disable_all();
    void replay();
    void timer1_tick();

    // How many previews have started (tests watch the sample through it).
    int previews_started() const { return previews_started_; }

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void preview(int row);
    void show_values(int row);
    void form_resize();
    bool timer_busy_ = false;
    int preview_generation_ = 0;
    int previews_started_ = 0;
    int row_floor_width_ = 0;   // the width the bottom row of controls needs
};

}  // namespace lv
