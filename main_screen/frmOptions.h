#pragma once
// The options screen: edits the program-wide settings, opens the effects,
// hot-key and password dialogs, starts the desktop's volume control and
// offers the diagnostic log tools (size check, view, reset). There is no
// cancel: whatever way the screen closes, every setting is written.
#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace lv {

// How the options screen reaches the desktop. The defaults open the log in
// the desktop's own text viewer (QDesktopServices) and start the first
// volume control found on the PATH; tests replace them.
struct options_desktop {
    // Opens a document with the desktop's viewer; false when that failed.
    std::function<bool(const QString& path)> open_document;
    // Starts the volume control; the result is not checked.
    std::function<void()> start_volume_control;
};
options_desktop& options_desktop_hooks();

// Says in a "Lumivane" box over parent that what (the options, the hot keys)
// could not be saved because the settings file cannot be written, and what
// follows from that (consequence, a sentence).
void report_unsaved_settings(QWidget* parent, const QString& what, const QString& consequence);

// A log of this many bytes or more is offered for reset when the screen opens.
constexpr std::int64_t log_reset_threshold = 100000;

// The log's length in bytes, 0 when file_exists says there is none.
std::int64_t log_file_size();
// Deletes the log file (only that directory entry; a folder of the same name
// is left alone). False when there was nothing to delete or it failed.
bool delete_log_file();

// The leading number of a text box: blanks skipped, then a sign, digits, a
// point and an exponent as far as they go; 0 when the text starts otherwise.
double leading_value(const QString& text);
// A number as the settings store keeps a variant: "5", "2.5".
std::string number_text(double v);

class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);

    // Offers to reset a log of 100000 bytes or more (run once, at the
    // screen's first activation).
    void check_log_size();

    // The writes of the closing, then every setting to the store. Runs on
    // every way of closing (the exit button, the close box, Esc).
    void done(int r) override;

    // Sound
    QRadioButton* Option2 = nullptr;   // On
    QRadioButton* Option1 = nullptr;   // Off
    QPushButton* Command3 = nullptr;   // &Audio
    // Save As Wallpaper?
    QRadioButton* Option10 = nullptr;  // Yes
    QRadioButton* Option11 = nullptr;  // No
    // Cancel Video Effect When:
    QRadioButton* Option15 = nullptr;  // any key (4)
    QRadioButton* Option16 = nullptr;  // a mouse move (7)
    QRadioButton* Option17 = nullptr;  // either (9)
    // Display Images:
    QRadioButton* Option18 = nullptr;  // sequential
    QRadioButton* Option19 = nullptr;  // random
    QCheckBox* Check1 = nullptr;       // random starting position
    // Screen Saver SlideShow
    QRadioButton* Option3 = nullptr;   // active slideshow
    QRadioButton* Option4 = nullptr;   // random slideshow
    // Presentation Mode
    QRadioButton* Option21 = nullptr;  // On
    QRadioButton* Option20 = nullptr;  // Off
    // Navigational Buttons
    QRadioButton* Option5 = nullptr;
    QRadioButton* Option6 = nullptr;
    QRadioButton* Option7 = nullptr;
    QRadioButton* Option8 = nullptr;
    // Image Rendering
    std::array<QRadioButton*, 3> Option9{};
    QPushButton* Command9 = nullptr;   // &More Info
    // Music List Playback
    QCheckBox* Check3 = nullptr;
    QScrollBar* HScroll2 = nullptr;
    QLabel* Label9 = nullptr;
    // Mouse Exit Sensitivity
    QScrollBar* HScroll1 = nullptr;
    // MCI Device Driver Names
    QLineEdit* Text1 = nullptr;        // .Wav Files
    QLineEdit* Text2 = nullptr;        // .MID && .RMI Files
    QLineEdit* Text3 = nullptr;        // MPG Video
    QLineEdit* Text5 = nullptr;        // AVI Video
    QPushButton* Command4 = nullptr;   // &Defaults
    // Logging
    QCheckBox* Check2 = nullptr;
    QPushButton* Command5 = nullptr;   // &View Log
    QPushButton* Command6 = nullptr;   // &Reset Log
    // Screen Saver Power Saver
    QCheckBox* Check4 = nullptr;
    QLineEdit* Text7 = nullptr;        // hours, 1-20
    // Picture Transitions / Auto Stop
    QCheckBox* Check5 = nullptr;
    QCheckBox* Check6 = nullptr;
    // Dialogs and exit
    QPushButton* Command7 = nullptr;   // &Random Effects Editor
    QPushButton* Command8 = nullptr;   // &Hot Key Settings
    QPushButton* Command2 = nullptr;   // Change &Password
    QPushButton* Command1 = nullptr;   // &Click Here To Exit

    // The handlers, callable as the controls call them.
    void view_log();                   // Command5
    void reset_log();                  // Command6
    void start_audio();                // Command3
    void device_defaults();            // Command4
    void more_info();                  // Command9
    void text7_lost_focus();
    void open_effects_editor();        // Command7
    void open_hot_keys();              // Command8
    void change_password();            // Command2

    int activated = 0;
    int presentation_from_load = 0;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_controls();
    void form_load();
    void first_activation();
    void option21_click();
    bool loading_ = false;   // control changes made by the load itself
    bool closed_ = false;
};

}  // namespace lv
