#pragma once
// The screen-saver preview ("/P <window>"): a picture that lives inside a
// window of another program (the desktop's screen-saver settings) and fills
// its client area. The form itself is never shown; it watches the host
// window every 50 ms and unloads itself once the host is gone.
#include <QWidget>
#include <cstdint>

class QTimer;
class QWindow;

namespace lv {

class frmPreview : public QWidget {
    Q_OBJECT
public:
    // The window load: embeds Picture1 into parent_window, sized to its
    // client area, and starts watching. Check can_embed_into first.
    explicit frmPreview(std::uint32_t parent_window);
    ~frmPreview() override;

    QWidget* Picture1 = nullptr;   // the preview picture
    QTimer* Timer1 = nullptr;      // 50 ms watch

    // True (-1) while the picture sits inside the host window, 0 once it
    // was taken back.
    int preview_embedded = 0;
    bool unloaded() const { return unloaded_; }

    // The host window is an existing window of a display we can reach.
    static bool can_embed_into(std::uint32_t window);
    // Client size of a window in pixels; (0, 0) when it is no window.
    static QSize client_size(std::uint32_t window);

    // The 50 ms tick: unloads when the host window has gone or the picture
    // is no longer embedded.
    void timer_tick();

signals:
    void unloaded_signal();

private:
    void unload();
    std::uint32_t parent_window_ = 0;
    QWindow* host_ = nullptr;
    bool unloaded_ = false;
};

// The "/P" mode: embeds the preview and runs until the host window goes.
// Returns at once (without opening any window) when window is not one.
int run_preview(std::int32_t window);

}  // namespace lv
