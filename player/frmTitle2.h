#pragma once
// The player of a slideshow file opened from the desktop: a small splash
// ("Initializing...please wait.") for three seconds, then the file is
// checked, loaded and played full screen.
#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QTimer;

namespace lv {

class frmTitle2 : public QDialog {
    Q_OBJECT
public:
    // path: the whole command line, blanks and all.
    explicit frmTitle2(std::string path, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QTimer* Timer1 = nullptr;   // 3000 ms, one tick

    static constexpr int splash_ms = 3000;

    // Checks, loads and plays one slideshow file; failures are reported in a
    // message box. The window closes afterwards.
    void play_selected(const std::string& path);
    const std::string& path() const { return path_; }

    // Plays the document in memory modally (the player); tests replace it.
    static std::function<void()> play_show;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void timer_tick();
    void report(const QString& text);
    std::string path_;
    bool played_ = false;
};

// The messages of a file that cannot be played.
inline constexpr const char* file_not_found_text = "SlideShow File Not Found!";
inline constexpr const char* load_error_text = "Error loading SlideShow data! Please check file.";
inline constexpr const char* build_error_text =
    "Error trying to build SlideShow data! Cannot display SlideShow!";

}  // namespace lv
