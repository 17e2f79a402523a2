#pragma once
// The browsing frame the five file pickers of the custom editor share: a
// place list (Drive1), a folder list (Dir1) and a file list (File1) that
// shows the current folder's files of the picker's pattern; the folder the
// picker remembers while the program runs; a picture-and-video preview box
// for the picture pickers and a sound preview for the audio pickers.
//
// Linux has no drive letters: the place list (platform/desktop/places.h, shared with
// the simple editor) offers "/", mounted volumes and the home folder instead.
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop/places.h"

class QBoxLayout;
class QFrame;
class QPushButton;
class QTimer;

namespace lv {

class PictureControl;
class VideoControl;

// The file patterns of the pickers ("*.avi" twice, as it always was).
inline constexpr const char* picture_file_pattern =
    "*.gif;*.jpg;*.bmp;*.mpg;*.avi;*.avi;*.dib;*.pic;*.jif;*.kqp;*.pcx;*.png;*.rle;*.tga;*.tif;*.wmf;*.wpg";
inline constexpr const char* background_file_pattern = "*.gif;*.jpg;*.bmp";
inline constexpr const char* sound_file_pattern = "*.wav;*.mp3;*.rmi;*.mid";
inline constexpr const char* music_file_pattern = "*.mid;*.rmi;*.mp3;*.wav";

// "*.gif;*.jpg" -> {"*.gif", "*.jpg"}; blanks and empty parts dropped.
QStringList pattern_filters(const QString& pattern);

// Drive1: one entry per storage place; the entry's data is the place's path.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);
    std::string drive() const;
    // Selects the place the folder lies in (no signal of ours is raised).
    void set_drive_of(const std::string& folder);
};

// Dir1: the open folders from the root down to the current one, then the
// current folder's sub-folders. A click on an entry reports it; a double
// click (or Enter) opens it.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);
    // Opens the folder; false (and nothing changes) when it cannot be read.
    // Raises path_changed when the path changed.
    bool set_path(const std::string& folder);
    const std::string& path() const { return path_; }
    // The full path of row r ("" out of range).
    std::string entry_path(int row) const;
    // Opens the folder of row r, as a double click does.
    bool open_entry(int row);

signals:
    void path_changed();
    void entry_clicked(const QString& folder);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    // The open folder is scrolled into view once the list has its size.
    void showEvent(QShowEvent* e) override;

private:
    void fill();
    void show_open_folder();
    std::string path_;
};

// File1: the names of the files of one folder that match the pattern
// (case-insensitive, hidden files left out), sorted by name.
class FileList : public QListWidget {
    Q_OBJECT
public:
    FileList(bool multi_select, QWidget* parent = nullptr);
    void set_pattern(const QString& pattern);
    QString pattern() const { return pattern_; }
    // Lists the folder; it then has no current entry.
    void set_path(const std::string& folder);
    const std::string& path() const { return path_; }
    // Lists the folder again (files may have come or gone).
    void refresh();

    // The current entry's row, -1 for none. A single-choice list counts only
    // a chosen (highlighted) entry as current.
    int current_entry() const;
    std::string file_name(int row) const;
    // folder + name, with one "/" between them.
    std::string full_path(int row) const;
    // The current entry's full path, "" when there is none.
    std::string current_full_path() const;
    bool is_selected(int row) const;

private:
    QString pattern_;
    std::string path_;
    bool multi_ = false;
};

// The common frame of every picker. It loads as it is built: the file list's
// pattern, the remembered folder shown, one yield. Every way of closing ends
// in done(): the preview stops and the file list's folder is remembered.
class picker_frame : public QDialog {
    Q_OBJECT
public:
    DriveList* Drive1 = nullptr;
    FolderList* Dir1 = nullptr;
    FileList* File1 = nullptr;
    // The Select timer (200 ms), for the pickers that return one file.
    QTimer* Timer1 = nullptr;

    void done(int r) override;
    // The remembered folder this picker reads when it loads and writes when it closes.
    std::string& remembered_folder() const { return remembered_; }

    static constexpr int select_timer_ms = 200;

protected:
    picker_frame(QWidget* parent, const QString& caption, const QString& pattern, std::string& remembered,
                 bool multi_select);

    // Where members place their own controls: the row that holds the three
    // lists (members add to its right) and the row of buttons below it.
    QBoxLayout* content_row() const { return content_row_; }
    QBoxLayout* button_row() const { return button_row_; }
    // Starts Timer1: on every tick `select` is enabled exactly while File1
    // has a current entry.
    void start_select_timer(QPushButton* select);

    // Yields once; false when the window closed meanwhile (the caller then
    // stops what it was doing).
    bool yield_open();
    bool closing() const { return closing_; }

    // Walks the file list from its first entry to its last and calls add(path)
    // for each entry (only the selected ones when selected_only) while
    // room() is true. The window takes no input meanwhile. Entries whose
    // path a slideshow file cannot store are left out, and one message names
    // them after the walk. Nothing happens when the list is empty; returns
    // false then.
    bool add_files(bool selected_only, const std::function<bool()>& room,
                   const std::function<void(const std::string&)>& add);
    bool busy() const { return busy_ > 0; }

    // What a double click on a file does (the member's preview).
    virtual void preview_current() {}
    // Stops the member's preview when the window closes.
    virtual void stop_preview() {}

    // A button with the caption and tooltip the pickers give it.
    QPushButton* make_button(const QString& caption, const QString& tooltip);

private:
    void drive_chosen();
    void show_remembered();

    std::string& remembered_;
    std::string opened_with_;   // the folder shown at load: where a failed drive change returns
    QBoxLayout* content_row_ = nullptr;
    QBoxLayout* button_row_ = nullptr;
    QPushButton* select_button_ = nullptr;
    bool closing_ = false;
    int busy_ = 0;
    bool close_pending_ = false;
    int pending_result_ = 0;
};

// The three picture pickers: a preview box holding the picture control
// FXImage1 and the video control FXVid1.
class picture_picker : public picker_frame {
    Q_OBJECT
public:
    PictureControl* FXImage1 = nullptr;
    VideoControl* FXVid1 = nullptr;
    QFrame* preview_box = nullptr;

    // Previews File1's current entry: a video (AVI, MPG) plays, anything
    // else is shown as a picture. Paths of 3 characters or fewer are ignored.
    void preview_image();
    // Plays a video file in the preview area.
    void preview_video(const std::string& path);
    // The area the preview fills, in the box's coordinates.
    QRect preview_area() const;

    static constexpr int preview_width = 320, preview_height = 240;

protected:
    picture_picker(QWidget* parent, const QString& caption, const QString& pattern, const QString& file_tooltip,
                   bool multi_select = false);
    void preview_current() override { preview_image(); }
    void stop_preview() override;
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    // Runs once, at the first activation (help pop-ups).
    virtual void first_activation() {}

private:
    void activation();
    void stop_video();
    bool activated_ = false;
    bool previewing_ = false;
};

// The two audio pickers: previews play on the sound channel.
class sound_picker : public picker_frame {
    Q_OBJECT
public:
    // Plays File1's current entry when its path is longer than 3 characters.
    void preview_sound();

protected:
    using picker_frame::picker_frame;
    void preview_current() override { preview_sound(); }
    void stop_preview() override;
    // The member's own play procedure (play_wav / play_music).
    virtual void play(const std::string& path) = 0;
};

// The message box a picker shows: product name as title, one OK button, no icon.
void picker_message(QWidget* parent, const QString& text);

// A chosen file whose full path a slideshow file cannot store (a double quote
// or a line break in a file or folder name) is refused when it is chosen, not
// at the save: false, after a message that names the file.
bool storable_choice(QWidget* parent, const std::string& path);
// The same message for the files a walk of the file list left out.
void unstorable_message(QWidget* parent, const std::vector<std::string>& paths);
// A path as a message shows it: line breaks written as \r and \n.
std::string printable_path(const std::string& path);

}  // namespace lv
