#pragma once
// "Add Background Music To Your SlideShow": edits the open slideshow's
// background music list (music_files / music_count) in place. List2 shows
// the list, row r standing for music_files[r + 1]. Previews play on the
// sound channel.
#include "custom_editor/picker_common.h"

#include <string>

class QGroupBox;

namespace lv {

class frmAddmusic : public sound_picker {
    Q_OBJECT
public:
    explicit frmAddmusic(QWidget* parent = nullptr);

    QPushButton* Command1 = nullptr;   // "Add &Selected Files Only"
    QPushButton* Command2 = nullptr;   // "&Add All Files"
    QPushButton* Command3 = nullptr;   // "&Ok"
    QPushButton* Command4 = nullptr;   // "&Preview Music File"
    QPushButton* Command5 = nullptr;   // "&Remove Selected Music File(s)"
    QGroupBox* Frame1 = nullptr;       // "Selected Music Files To Play"
    QListWidget* List2 = nullptr;

    // Appends the file list's entries (only the selected ones when
    // selected_only) while there is room; the window stays open.
    void add_clicked(bool selected_only);
    // Removes the selected rows of List2 and their music entries.
    void remove_clicked();
    // Plays the music entry of List2's current row.
    void list_clicked();

    // play_sound_file(path).
    void play_music(const std::string& path);
    // stop_sound().
    void audio_off();

    static constexpr int max_music = 10000;

protected:
    void play(const std::string& path) override { play_music(path); }
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;

private:
    void activation();
    bool activated_ = false;
};

}  // namespace lv
