#include "custom_editor/frmImagePreview.h"

#include "core/document.h"
#include "core/editor_state.h"
#include "core/file_names.h"
#include "core/state.h"
#include "platform/media/video_control.h"
#include "platform/desktop/screen_fit.h"
#include "player/renderer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <string>

namespace lv {

namespace {

// A redraw needs a sequence that exists: the editor clears its selection
// and yields before it closes this window, and edits run while we yield.
bool is_sequence(int i) {
    const slideshow_document& d = doc();
    return i >= 1 && i <= d.image_count && static_cast<std::size_t>(i) < d.sequences.size();
}

// Stops the video at once, without yielding (for paths that must not let
// other events run: the destructor, the end of a redraw after a close).
void stop_video_now(VideoControl* vid) {
    vid->command(11);
    vid->command(1);
    vid->set_file_name(QString());
}

// Where a window of the given outer size first opens: beside the editor where
// the screen has room (to its right, else its left, else below or above it),
// else centred over it.
QPoint place_beside(const QRect& editor, QSize outer, const QRect& screen) {
    const auto clamp_x = [&](int x) {
        return std::clamp(x, screen.left(), std::max(screen.left(), screen.right() + 1 - outer.width()));
    };
    const auto clamp_y = [&](int y) {
        return std::clamp(y, screen.top(), std::max(screen.top(), screen.bottom() + 1 - outer.height()));
    };
    if (editor.right() + outer.width() <= screen.right()) return {editor.right() + 1, clamp_y(editor.top())};
    if (editor.left() - outer.width() >= screen.left()) return {editor.left() - outer.width(), clamp_y(editor.top())};
    if (editor.bottom() + outer.height() <= screen.bottom()) return {clamp_x(editor.left()), editor.bottom() + 1};
    if (editor.top() - outer.height() >= screen.top()) return {clamp_x(editor.left()), editor.top() - outer.height()};
    return {editor.x() + editor.width() / 2 - outer.width() / 2, editor.y() + editor.height() / 2 - outer.height() / 2};
}

}  // namespace

QSize frmImagePreview::design_size() {
    const int tx = std::max(1, program().twips_per_pixel_x);
    const int ty = std::max(1, program().twips_per_pixel_y);
    return {3510 / tx, 2505 / ty};
}

frmImagePreview::frmImagePreview(QWidget* editor) : QWidget(editor, Qt::Tool) {
    keep_on_screen(this);
    setObjectName(QStringLiteral("frmImagePreview"));
    setWindowTitle(QStringLiteral("Lumivane - Preview"));
    // Whatever no layer covers is black.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    renderer_ = std::make_unique<Renderer>(this);
    blackarea_ = QImage(16, 16, QImage::Format_RGB32);
    blackarea_.fill(Qt::black);
    Renderer::options& o = renderer_->opts;
    o.log = false;
    o.power_saver = false;
    o.effects_off = [] { return editors().image_preview_refresh == 2; };
    o.no_background_picture = blackarea_;
    o.preview_caption_yields = true;
    // Not the player's run values: a show that ended before leaves them set.
    o.abandon_load = [this] { return unloaded_; };

    Timer1 = new QTimer(this);
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &frmImagePreview::Timer1_Timer);

    // Form_Load.
    editor_state& e = editors();
    e.image_preview_open = 1;
    renderer_->adjust_color_render();
    if (e.image_preview_left == -1) {
        const QSize own = design_size();
        QPoint at;
        if (editor) {
            // The frame is not known before the window is shown: the editor's
            // stands in for it.
            const QRect frame = editor->frameGeometry();
            const QSize outer = own + frame.size() - editor->size();
            const QScreen* s = editor->screen();
            at = place_beside(frame, outer, s ? s->availableGeometry() : frame);
        } else if (QScreen* s = QGuiApplication::primaryScreen()) {
            const QRect over = s->availableGeometry();
            at = {over.x() + over.width() / 2 - own.width() / 2, over.y() + over.height() / 2 - own.height() / 2};
        }
        e.image_preview_left = at.x();
        e.image_preview_top = at.y();
        e.image_preview_width = own.width();
        e.image_preview_height = own.height();
    }
    move(e.image_preview_left, e.image_preview_top);
    // A rectangle that cannot be a window's (never saved by us) opens at the
    // design size.
    if (e.image_preview_width > 0 && e.image_preview_height > 0)
        resize(e.image_preview_width, e.image_preview_height);
    else
        resize(design_size());
    Timer1->start();
}

frmImagePreview::~frmImagePreview() {
    // Deleted without being closed: the same closing work, without yielding
    // inside the destructor.
    if (!unloaded_) {
        unloaded_ = true;
        Timer1->stop();
        stop_video_now(renderer_->image_video());
        editor_state& e = editors();
        e.image_preview_left = x();
        e.image_preview_top = y();
        e.image_preview_width = width();
        e.image_preview_height = height();
        e.image_preview_open = 0;
    }
}

void frmImagePreview::set_current_image_source(std::function<int()> source) {
    current_source_ = std::move(source);
}

int frmImagePreview::current_image() const { return current_source_ ? current_source_() : -1; }

void frmImagePreview::Timer1_Timer() {
    if (timer_busy) return;
    timer_busy = 1;
    if (editors().image_preview_refresh > 0) {
        update_image();
        // Requests posted during the redraw are carried out by it.
        editors().image_preview_refresh = 0;
    }
    timer_busy = 0;
    if (delete_when_idle_) deleteLater();
}

void frmImagePreview::update_image() {
    Renderer& r = *renderer_;
    // Each step reads the selection when it runs: an edit during a yield
    // may change it, and a close during a yield ends the redraw.
    auto still_drawing = [&] {
        if (unloaded_) return false;
        const int i = current_image();
        if (!is_sequence(i)) return false;
        r.image_index = i;
        return true;
    };
    if (!still_drawing()) return;
    r.video_off();
    if (still_drawing()) {
        r.display_background();
        if (still_drawing()) {
            if (is_video_file(doc().sequences.image_file[static_cast<std::size_t>(r.image_index)]))
                r.display_video();
            else
                r.display_picture();
            if (still_drawing()) r.display_caption();
        }
    }
    // A video started after the window was closed must not play on unseen.
    if (unloaded_) stop_video_now(r.image_video());
}

void frmImagePreview::form_unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer1->stop();
    editor_state& e = editors();
    // Saved before the video is stopped: stopping yields, and the editor
    // may look at the flag meanwhile.
    e.image_preview_left = x();
    e.image_preview_top = y();
    e.image_preview_width = width();
    e.image_preview_height = height();
    e.image_preview_open = 0;
    renderer_->video_off();
}

void frmImagePreview::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (!unloaded_) editors().image_preview_refresh = 2;
}

void frmImagePreview::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!unloaded_) editors().image_preview_refresh = 2;
}

void frmImagePreview::closeEvent(QCloseEvent* e) {
    e->accept();
    if (unloaded_) return;
    form_unload();
    // A redraw under way still uses this window: it goes once that returns.
    if (timer_busy)
        delete_when_idle_ = true;
    else
        deleteLater();
}

void frmImagePreview::mousePressEvent(QMouseEvent* e) {
    e->accept();   // a click on the preview does nothing
}

}  // namespace lv
