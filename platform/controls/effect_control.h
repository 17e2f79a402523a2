#pragma once
// What the picture, label and video controls every window shows its content
// through have in common (picture_control.h, label_control.h and
// platform/media/video_control.h): each draws its own face and reveals a new
// face over what lies beneath with one of the numbered transitions.
//
// Common protocol (what callers rely on):
//  - set_effect(number, speed, grain) arms a transition; it runs the next time
//    the control is shown (show()/arm()) or refreshed. Setting the number back
//    to 0 afterwards does not stop a transition that is already running.
//  - effect_done() is emitted once after every reveal: after a transition that
//    ran to its end, after a cancelled one, and after an immediate show
//    (number 0 or a number without a transition).
//  - cancel mode: 4 any key, 7 a mouse move, 9 either; a cancelled transition
//    jumps to its last frame.
//  - set_updates(false) disarms: the control keeps showing its last face,
//    where it was on the screen, while its content and geometry change;
//    set_updates(true) arms it again, and the old face stays up until the
//    reveal that shows the new one.
//  - A reveal runs when an armed control is shown after being hidden, or is
//    shown or refreshed after its face changed while it was disarmed or
//    hidden, or after set_effect armed a transition. Plain show() counts as
//    show_with_effect(). A reveal starts from what lies beneath the control
//    (its parent and the siblings below it), never from its own old face.
//  - Changes to an armed, visible control redraw it at once, without effect.
//  - Colours are 0x00BBGGRR (red in the low byte) everywhere.
//  - Geometry is in the host window's units. Transitions run in the
//    screen's pixels (devicePixelRatio of them to a unit), and a face may be
//    drawn in them (render_face_area).
//  - Only the part of a control inside its parent is ever rendered
//    (face_rect()): a caption or picture far larger than the screen costs
//    no more than one that fits it.
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QTimer;

namespace lv {

class Transition;   // platform/transitions/transitions.h

QColor color_from_bgr(std::int32_t bgr);
std::int32_t bgr_from_color(const QColor& c);

// The ten border values, in the order the picture and video controls take them.
struct control_border {
    bool on = false;
    std::int32_t inner_color_1 = 0, inner_color_2 = 0;
    int inner_width = 1, inner_style = 0;
    std::int32_t outer_color_1 = 0, outer_color_2 = 0;
    int outer_width = 1, outer_style = 0;
    std::int32_t middle_color = 0;
    int middle_width = 0;
    // 0 when off; scale: pixels drawn per unit of width.
    int total_width(double scale = 1) const;
};

// Paints the border bands inside r, from the outer edge in; the content
// goes inside r shrunk by total_width(scale) on every side. Each band is
// drawn in whole pixels of the painter, scale of them to a unit of width.
void paint_border(QPainter& painter, const QRect& r, const control_border& b, double scale = 1);

class EffectControl : public QWidget {
    Q_OBJECT
public:
    explicit EffectControl(QWidget* parent = nullptr);
    ~EffectControl() override;

    void set_effect(int effect_number, double speed, int grain);
    void set_effect_number(int n);
    void set_effect_speed(double speed) { effect_speed_ = speed; }
    void set_effect_grain(int grain) { effect_grain_ = grain; }
    int effect_number() const { return effect_number_; }
    double effect_speed() const { return effect_speed_; }
    int effect_grain() const { return effect_grain_; }
    void set_cancel_mode(int mode) { cancel_mode_ = mode; }
    int cancel_mode() const { return cancel_mode_; }

    void set_updates(bool on);
    bool updates() const { return updates_; }

    // Shows the control; when armed, reveals its face with the pending effect.
    void show_with_effect();
    void setVisible(bool visible) override;
    // Redraws now; when armed with a pending effect, runs it.
    void refresh();

    bool transition_running() const;
    // Stops a running transition at its last frame (what a cancel does).
    void finish_transition();
    // Test hook: the frame the running transition would paint at progress p.
    QImage transition_frame_at(double p);

    // The face the control shows when no transition runs, at its own size.
    virtual QImage render_face() = 0;
    // The part of the control that can show: its rectangle cut to its
    // parent's (its whole rectangle when it has no parent); may be empty.
    QRect face_rect() const;

signals:
    void effect_done();
    void clicked();
    void mouse_moved(QPoint pos);
    void mouse_pressed(QPoint pos, Qt::MouseButton button);
    void mouse_released(QPoint pos, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void moveEvent(QMoveEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Subclasses call this whenever their face changed: an armed, visible
    // control redraws at once; otherwise the change waits for the reveal.
    void face_changed();
    // True while the face changes by itself (a playing video): a running
    // transition then reveals the current face on every frame.
    virtual bool live_face() const { return false; }
    // The part r of the control in the screen's pixels, counted from the
    // control's corner (r itself at scale 1).
    QRect device_rect(const QRect& r) const;
    // The face of the given part of the control (area lies within rect()),
    // as an image of area's size: in the window's units, or in the screen's
    // pixels (device_rect(area)'s size) with the devicePixelRatio set. The
    // default cuts it from render_face(); controls that can grow far beyond
    // the screen render only the area.
    virtual QImage render_face_area(const QRect& area);
    // The face of face_rect() as last rendered (cached until face_changed,
    // a resize, or a move that changes face_rect()).
    const QImage& current_face();

private:
    void start_reveal();
    void tick();
    void end_reveal();
    // part: in the control's coordinates; pixels: its size on the screen.
    QImage grab_beneath(const QRect& part, QSize pixels);
    QPoint place() const;   // the control's corner in its parent (0, 0 for a window)
    QImage compose_new_face();

    int effect_number_ = 0;
    double effect_speed_ = 0;
    int effect_grain_ = 1;
    int cancel_mode_ = 9;
    bool updates_ = true;
    bool shown_ = false;          // shown by the program (not merely not hidden)
    bool pending_reveal_ = false;
    bool frozen_until_reveal_ = false;   // changed while disarmed: the old face stays up
    std::unique_ptr<Transition> transition_;
    QImage old_face_, new_face_, frame_;
    QImage face_cache_, frozen_face_;
    QRect face_cache_rect_;                 // the part face_cache_ shows
    double face_cache_ratio_ = 0;           // the screen's pixels per unit it was made for
    QPoint frozen_origin_;                  // where frozen_face_ goes, in the parent
    QPoint reveal_origin_;                  // where the reveal frames go
    bool face_dirty_ = true;
    QTimer* timer_ = nullptr;
    qint64 started_ms_ = 0;
    int duration_ms_ = 0;
    QPointF cancel_origin_;
    bool press_inside_ = false;
};

}  // namespace lv
