#pragma once
// The custom slideshow editor: one modeless window that edits the open
// document (lv::doc()) in place, sequence by sequence. Every change made in a
// control is written into the sequence columns at once; nothing is copied.
//
// The main screen sets editors().custom_editor_open = 1 (and editing_existing),
// creates the window with new and shows it; the window drops the flag to 0
// when it unloads, however it is closed, and then deletes itself.
//
// Other windows of the editor reach it through frmCustom::instance(): the
// image picker appends its rows to List1, the live preview window reads
// current_image and places itself over the editor, the printout reads the
// name box and the texts of the choice lists.
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

#include "platform/media/audio.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QAction;
class QPushButton;
class QToolButton;

namespace lv {

class frmCustom : public QWidget {
    Q_OBJECT
public:
    // The window load: caption, selection reset, preview rectangle reset and,
    // when an existing slideshow is edited, one list row per sequence.
    explicit frmCustom(QWidget* parent = nullptr);
    ~frmCustom() override;

    // The editor that is loaded now, or nullptr.
    static frmCustom* instance();

    // ---- replaceable services (tests) ---------------------------------------
    // Plays the document in memory full screen and returns when the show has
    // ended; frmSlideshow::show_modal by default.
    static std::function<void()>& player();
    // Asks the desktop to open a file; false when it could not. By default
    // the desktop's open action for an existing file.
    static std::function<bool(const std::string& file, const std::string& parameters,
                              const std::string& folder)>&
    shell_open();
    // Runs the print command (print options, then the printout). By default
    // the printout of the custom slideshow.
    static std::function<void()>& printout();

    // ---- public operations ---------------------------------------------------
    void launch_file(const std::string& file, const std::string& parameters);
    void audio_off();
    void play_wav(const std::string& file);
    int play_cd_track(int track);
    void interface_off();
    void interface_on();
    // Writes the open custom slideshow to path: 0 written, 2 refused as too
    // large to load again, 1 failed otherwise.
    int save_custom(const std::string& path);
    void setup_interface();
    void store_display(int index);
    void update_display(int index);
    void update_totals();

    // ---- the first activation (runs once, posted by the first show) ---------
    void form_activate();

    // ---- commands --------------------------------------------------------------
    void list_click();                 // List1: show the row's sequence
    void toggle_preview();             // Command25
    void preview_audio();              // Command28
    void hot_key(int k);               // F1 (k = 0) .. F12 (k = 11)
    void help();                       // Command3
    void cancel_and_exit();            // Command20
    void save_and_exit();              // Command21
    void add_images();                 // Command4
    void remove_image();               // Command24
    void move_down();                  // Command5
    void move_up();                    // Command6
    void preview_slideshow();          // Command22
    void print_slideshow();            // Command34
    void create_music_list();          // Command1
    void edit_border();                // Command2
    void caption_font();               // Command23
    void select_audio();               // Command7
    void select_background();          // Command8
    void select_new_image();           // Command9
    // The menu entries.
    void popup_1_click();              // image settings to all
    void popup_1a_click();             // display position to all
    void popup_2_click();              // display time to all
    void popup_6_click();              // effect, speed, grain to all
    void popup_7_click();              // transparent colour
    void popup_3_click();              // file names to all captions
    void popup_4_click();              // caption text, position, font to all
    void popup_5_click();              // caption effect, speed, grain to all
    void popup_8_click();              // background settings to all

    // Sets List1's current row and runs the list click for it, as a user's
    // choice of that row would.
    void select_row(int row);

    // Whether the window has unloaded (it is then deleted soon after).
    bool unloaded() const { return unloaded_; }

    // ---- editor state ----------------------------------------------------------
    int current_image = -1;            // 1-based; -1 = nothing selected
    int activated = 0;
    int list_guard = 0;
    int display_guard = 0;

    // ---- controls (named as on the form) -------------------------------------------
    QListWidget* List1 = nullptr;
    QGroupBox *Frame1 = nullptr, *Frame2 = nullptr, *Frame3 = nullptr, *Frame4 = nullptr;
    QLabel *Label19 = nullptr, *Label13 = nullptr, *Label14 = nullptr, *Label21 = nullptr;
    QLabel *Label7 = nullptr, *Label6 = nullptr, *Label17 = nullptr, *Label18 = nullptr;
    QLabel *Label30 = nullptr, *Label29 = nullptr, *Label2 = nullptr, *Label10 = nullptr;
    QComboBox *Combo1 = nullptr, *Combo2 = nullptr, *Combo3 = nullptr, *Combo4 = nullptr;
    QComboBox *Combo5 = nullptr, *Combo6 = nullptr, *Combo7 = nullptr;
    QLineEdit *Text1 = nullptr, *Text2 = nullptr, *Text3 = nullptr;
    QPushButton *Command1 = nullptr, *Command2 = nullptr, *Command3 = nullptr, *Command4 = nullptr;
    QPushButton *Command20 = nullptr, *Command21 = nullptr, *Command22 = nullptr, *Command34 = nullptr;
    QPushButton *Command24 = nullptr, *Command5 = nullptr, *Command6 = nullptr, *Command25 = nullptr;
    QPushButton *Command7 = nullptr, *Command8 = nullptr, *Command9 = nullptr, *Command23 = nullptr;
    QPushButton *Command26 = nullptr, *Command27 = nullptr, *Command33 = nullptr, *Command28 = nullptr;
    // The step buttons of the numeric fields.
    QToolButton *Command10 = nullptr, *Command11 = nullptr, *Command12 = nullptr, *Command13 = nullptr;
    QToolButton *Command14 = nullptr, *Command15 = nullptr, *Command16 = nullptr, *Command17 = nullptr;
    QToolButton *Command18 = nullptr, *Command19 = nullptr, *Command29 = nullptr, *Command30 = nullptr;
    QToolButton *Command31 = nullptr, *Command32 = nullptr;
    // The three pop-up menus and their entries.
    QMenu *popup1 = nullptr, *popup2 = nullptr, *popup3 = nullptr;
    QAction *popup_1 = nullptr, *popup_1a = nullptr, *popup_2 = nullptr, *popup_6 = nullptr;
    QAction *popup_7 = nullptr, *popup_3 = nullptr, *popup_4 = nullptr, *popup_5 = nullptr;
    QAction *popup_8 = nullptr;
    QAction *exit1 = nullptr, *exit2 = nullptr, *exit3 = nullptr;

    // The editor's own player for the audio preview.
    audio_control MMControl1;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class busy_scope;
    void build_controls();
    void connect_controls();
    // The change handlers of the choice lists and boxes.
    void effect_changed(QComboBox* combo, QLabel* speed, QLabel* grain, int refresh);
    void text_changed(QLineEdit* box);
    // Takes out of a box what its key filter refuses (pasted text).
    void text_edited(QLineEdit* box);
    // One step of a numeric field of the selected sequence.
    void step_field(int which, int delta);
    // Every sequence's group of fields := the selected sequence's.
    void copy_group_to_all(void (*copy)(int from, int to));
    // The box of the list click for a missing picture.
    void file_not_found_box(int image);
    // Closes the live preview window when it is open.
    void close_image_preview();
    // The work of every way of closing; runs once.
    void unload();
    bool selected() const;
    void set_interface_enabled(bool on);

    bool unloaded_ = false;
    int busy_depth_ = 0;
    bool delete_pending_ = false;
    bool first_show_ = true;
    unsigned int last_color_ = 0;      // the colour dialog's colour (0x00BBGGRR)
    QPointer<QWidget> preview_window_;   // the live preview window while it is open
};

// The boxes of the custom editor: an OK button, no icon.
void editor_box(QWidget* parent, const std::string& title, const std::string& text);

}  // namespace lv
