#pragma once
// The custom editor's live preview: a small modeless window that draws the
// editor's selected sequence the way the player draws a sequence. The editor
// never draws into it; it posts a request in editors().image_preview_refresh
// (1 with transitions, 2 at once) and the window's 250 ms timer carries the
// request out.
//
// Opening (the constructor) sets editors().image_preview_open to 1, applies
// the colour rendering mode and places the window: beside the editor at its
// design size while editors().image_preview_left is -1, else at the
// rectangle saved when it last closed. The rectangle is kept in pixels: left
// and top of the frame, width and height of the inner area.
//
// Close it with close() (any way of closing ends the same: the video stops,
// the rectangle is saved, image_preview_open drops to 0, and the window
// deletes itself). A close that arrives while a redraw yields is safe: the
// window goes once the redraw has returned.
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QTimer;

namespace lv {

class Renderer;

class frmImagePreview : public QWidget {
    Q_OBJECT
public:
    // editor: the window that owns it and that it opens beside the first time
    // (may be null: then centred on the screen). The preview is a modeless
    // tool window of the editor, so it stays above the editor while the user
    // works in it, and goes with it.
    explicit frmImagePreview(QWidget* editor = nullptr);
    ~frmImagePreview() override;

    // Where the selected sequence (1-based, -1 for none) is read at every
    // drawing step. The custom editor sets it to read its current_image.
    void set_current_image_source(std::function<int()> source);
    int current_image() const;

    // Redraws the selected sequence: video off, background, picture or
    // video, caption. Nothing is drawn while the selection is not a sequence.
    void update_image();

    // The drawing steps (the renderer's procedures on this window).
    Renderer& renderer() { return *renderer_; }

    QTimer* Timer1 = nullptr;   // 250 ms, carries out image_preview_refresh
    int timer_busy = 0;
    // One tick of Timer1: carries out a pending request unless a redraw is
    // already under way.
    void Timer1_Timer();

    // The inner size the window opens with the first time: 3510 x 2505
    // twips in pixels.
    static QSize design_size();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    void form_unload();

    std::unique_ptr<Renderer> renderer_;
    std::function<int()> current_source_;
    QImage blackarea_;   // the background of a sequence without one
    bool unloaded_ = false;
    bool delete_when_idle_ = false;
};

}  // namespace lv
