#pragma once
// The simple slideshow editor: three folder lists (pictures and videos,
// backgrounds, background music) and the options every generated sequence
// shares. The main screen shows it modeless and waits on
// editors().random_editor_open, which the window clears however it closes;
// the window deletes itself once closed.
//
// There are no drives on Linux: each panel's drive box offers the file-system
// root, the home folder and the removable or extra volumes mounted under
// /media, /mnt and /run/media.
#include <QWidget>

#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;
class QToolButton;
class QTreeView;

namespace lv {

class frmRandom : public QWidget {
    Q_OBJECT
public:
    // ---- replaceable services (tests) ---------------------------------------
    // Plays the document in memory for the preview; frmSlideshow::show_modal
    // by default.
    static std::function<void()> play_preview;
    // The desktop's open action: true when the file was handed over. By
    // default an executable runs with the parameters, anything else opens
    // with its associated application.
    static std::function<bool(const std::string& file, const std::string& parameters,
                              const std::string& working_folder)> launcher;

    explicit frmRandom(QWidget* parent = nullptr);
    ~frmRandom() override;

    // ---- public operations ------------------------------------------------------
    void launch_file(const std::string& file, const std::string& parameters,
                     const std::string& ignored = std::string());
    void collect_folders();
    void get_values();
    int save_random(const std::string& path);

    // ---- the commands (what each button does) -------------------------------------
    void add_folder(int k);            // Command1(k)
    void remove_folder(int k);         // Command2(k)
    void move_up(int k);               // Command5(k)
    void move_down(int k);             // Command6(k)
    void border_config();              // Command3
    void caption_config();             // Command4
    void cancel_and_exit();            // Command20
    void save_and_exit();              // Command21
    void preview();                    // Command22
    void help();                       // Command7
    // F1..F12 (key codes of Qt); true when the key was one of them.
    bool hot_key(int key);
    // One tick of Timer1: which buttons may be pressed.
    void timer1_tick();

    // ---- folder browsing ------------------------------------------------------------
    // The folder File1(k) shows (ends in "/").
    std::string file_folder(int k) const { return file_path_[k]; }
    // Drive1(k) changed to drive (a root path); an unreadable drive sends the
    // panel back to its remembered folder.
    void set_drive(int k, const std::string& drive);
    // Dir1(k) changed to folder: File1(k) shows its files.
    void set_folder(int k, const std::string& folder);
    // The drive entries the panels offer (root paths, "/" first).
    static std::vector<std::string> drive_roots();
    // The drive entry a folder lies on: the longest root that holds it.
    static std::string drive_of(const std::string& folder, const std::vector<std::string>& roots);

    // Index of the selected entry of List1(k), -1 for none.
    int selected_index(int k) const;
    bool busy() const { return busy_ != 0; }

    // ---- controls, named as the form names them ------------------------------------
    std::array<QGroupBox*, 3> Frame1{};
    std::array<QComboBox*, 3> Drive1{};
    std::array<QTreeView*, 3> Dir1{};
    std::array<QListWidget*, 3> File1{};
    std::array<QListWidget*, 3> List1{};
    std::array<QPushButton*, 3> Command1{};
    std::array<QPushButton*, 3> Command2{};
    std::array<QToolButton*, 3> Command5{};
    std::array<QToolButton*, 3> Command6{};
    QGroupBox* Frame2 = nullptr;
    QLabel* Label2 = nullptr;
    std::array<QRadioButton*, 3> Option1{};
    QCheckBox* Check1 = nullptr;
    QPushButton* Command3 = nullptr;
    QCheckBox* Check2 = nullptr;
    QPushButton* Command4 = nullptr;
    QLabel* Label3 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* Label24 = nullptr;
    QLineEdit* Text3 = nullptr;
    QToolButton* Command7 = nullptr;
    QPushButton* Command20 = nullptr;
    QPushButton* Command21 = nullptr;
    QPushButton* Command22 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_panel(int k);
    void form_load();
    void first_activation();
    void form_unload();
    void show_dir(int k, const std::string& folder);
    void fill_files(int k);
    void swap_entries(int k, int a, int b);
    // A box with an OK button, title "Lumivane" unless given.
    void message(const std::string& text, const std::string& title = "Lumivane");

    std::array<QFileSystemModel*, 3> dir_model_{};
    std::array<std::string, 3> file_path_{};
    std::vector<std::string> roots_;
    bool activated_ = false;
    bool unloaded_ = false;
    int busy_ = 0;         // a command is running and may yield
    int dir_guard_ = 0;    // programmatic moves of a folder view
};

}  // namespace lv
