#pragma once
// The main configuration screen: lists the slideshows of the data folder and
// keeps the selected one as the active slideshow, creates, edits, plays and
// deletes slideshows, opens the options and about screens and the help, and
// starts the files bound to F1-F12. On its first activation it reveals its
// buttons one after another and, while no colour rendering mode has been
// chosen yet, chooses one from the colours of the display.
//
// main shows it with show_modal(); when that returns the settings have been
// saved and the audio channels unloaded, and the program ends.
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop/launch.h"
#include "platform/desktop/startup_services.h"

class QComboBox;
class QImage;
class QToolButton;

namespace lv {

class LabelControl;
class PictureControl;

class frmTitle : public QWidget {
    Q_OBJECT
public:
    // ---- replaceable services (tests put their own in) -------------------
    // Opens the custom / simple editor modeless; returns its window (or
    // nullptr). The caller has already set the editor's open flag to 1 and
    // waits until it drops.
    static std::function<QWidget*()> open_custom_editor;
    static std::function<QWidget*()> open_random_editor;
    // Plays the document in memory full screen and returns when the player
    // has closed.
    static std::function<void()> play_show;
    // Asks the desktop to open a file (a program is started, a document opens
    // in its application); false when it could not be done.
    static std::function<bool(const std::string& file, const std::string& parameters,
                              const std::string& working_folder)>
        open_file;
    // Colours the display shows at once; by default 2^(depth of the window).
    static std::function<double()> color_count_source;

    explicit frmTitle(QWidget* parent = nullptr);
    ~frmTitle() override;

    // Shows the screen and returns once it has been closed and unloaded.
    void show_modal();

    // ---- controls ----------------------------------------------------------
    QWidget* Image1 = nullptr;                       // backdrop
    std::array<PictureControl*, 4> FXImage1{};       // picture buttons
    std::array<QImage, 8> Picture1;                  // faces: 2i normal, 2i+1 pressed
    QComboBox* Combo1 = nullptr;
    QToolButton* Command9 = nullptr;                 // delete
    std::array<LabelControl*, 7> label_button{};     // 1..6; 0 unused

    // ---- fields ------------------------------------------------------------
    static constexpr int max_slideshows = 1000;
    std::vector<std::string> slideshow_files;        // 1-based, entry 0 unused
    int slideshow_count = 0;
    int activated = 0;
    int highlighted_button = -1;
    int intro_finished = 0;

    // ---- procedures --------------------------------------------------------
    void get_slideshows();
    void create_new_simple();
    void create_new_custom();
    void edit_selected();
    void play_selected();
    void delete_selected();                          // Command9
    void exit_program();
    void about();
    void options();
    void help();
    void tavrel_software_products();
    void launch_publisher();
    void launch_file(const std::string& file, const std::string& parameters);
    void button_up();
    // F1-F12 (a Qt key code); other keys are ignored. True when handled.
    bool hot_key(int key);
    // The first activation: reveal, help pop-up 1, colour rendering choice.
    void first_activation();
    double get_color_count() const;

    // The picture and text buttons' events, as the controls report them.
    void picture_mouse_down(int i);
    void picture_mouse_up(int i, QPoint pos);
    void picture_mouse_move(int i);
    void picture_effect_done(int i);
    void label_mouse_move(int i);
    void label_mouse_down(int i);
    void label_mouse_up(int i);
    void label_effect_done(int i);

    bool unloaded() const { return unloaded_; }

    // Transition (number, speed, grain) each button appears with.
    struct reveal_effect {
        int number, speed, grain;
    };
    static const std::array<reveal_effect, 4> picture_reveals;
    static const std::array<reveal_effect, 7> label_reveals;

signals:
    void unloaded_signal();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void combo_click();
    void open_editor(int& flag, const std::function<QWidget*()>& opener);
    // Sleeps in the message loop for ms milliseconds; false when the window
    // went away meanwhile.
    bool wait_ms(int ms);
    void form_unload();
    void show_box(const QString& title, const QString& text);
    bool selected_path(std::string& path);

    // Tab focus and Enter / Space on the picture and text buttons; true when
    // the event was handled.
    bool keyboard_button(QObject* watched, QEvent* event);

    window_title_claim title_claim_;
    QWidget* focus_mark_ = nullptr;
    bool list_guard_ = false;
    bool activation_scheduled_ = false;
    bool unloaded_ = false;
    bool busy_ = false;   // an editor or the player is open from here
};

// The texts the main screen shows.
inline constexpr const char* main_load_error_text = "Error loading SlideShow data! Please check file.";
inline constexpr const char* main_build_error_text =
    "Error trying to build SlideShow data! Cannot display SlideShow!";

// Shared with the editors' hot keys: the "Hot Key" box text for key F(k+1).
std::string no_hot_key_text(int k);
// "Error Launching Program!" + the path + "Please check the source file.".
std::string launch_error_text(const std::string& file);
// The folder part of a path (keeps its trailing separator; "" without one).
std::string launch_folder(const std::string& file);

// Whether a data-folder name is a slideshow file: its last three characters,
// in any case, are "LMV".
bool is_slideshow_file_name(const std::string& name);

}  // namespace lv
