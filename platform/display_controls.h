#pragma once
// The picture, label and video controls every window shows its content
// through. Each draws its own face and reveals a new face over what lies
// beneath with one of the numbered transitions.
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
//  - set_updates(false) disarms: the control keeps showing its last face
//    while its content changes; set_updates(true) arms it again, and the
//    old face stays up until the reveal that shows the new one.
//  - A reveal runs when an armed control is shown after being hidden, or is
//    shown or refreshed after its face changed while it was disarmed or
//    hidden, or after set_effect armed a transition. Plain show() counts as
//    show_with_effect(). A reveal starts from what lies beneath the control
//    (its parent and the siblings below it), never from its own old face.
//  - Changes to an armed, visible control redraw it at once, without effect.
//  - Colours are 0x00BBGGRR (red in the low byte) everywhere.
//  - Geometry is in pixels of the host window.
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

class Transition;   // platform/transitions.h
class picture_job;  // platform/picture_job.h

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
    int total_width() const;   // 0 when off
};

// Paints the border bands inside r, from the outer edge in; the content
// goes inside r shrunk by total_width() on every side.
void paint_border(QPainter& painter, const QRect& r, const control_border& b);

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
    // The face of the given part of the control (area lies within rect()),
    // as an image of area's size. The default cuts it from render_face();
    // controls that can grow far beyond the screen render only the area.
    virtual QImage render_face_area(const QRect& area);
    // The face of face_rect() as last rendered (cached until face_changed,
    // a resize, or a move that changes face_rect()).
    const QImage& current_face();

private:
    void start_reveal();
    void tick();
    void end_reveal();
    QImage grab_beneath(const QRect& part);   // part: in the control's coordinates
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
    QPoint frozen_origin_, reveal_origin_;  // where frozen_face_ / the reveal frames go
    bool face_dirty_ = true;
    QTimer* timer_ = nullptr;
    qint64 started_ms_ = 0;
    int duration_ms_ = 0;
    QPointF cancel_origin_;
    bool press_inside_ = false;
};

class PictureControl : public EffectControl {
    Q_OBJECT
public:
    enum draw_mode { natural = 1, stretched = 2, tiled = 3 };
    explicit PictureControl(QWidget* parent = nullptr);

    // Loads the file; returns the load result (0 or more loaded, -1..-7 failed).
    // "" empties the control. decode_hint is the box the picture will be
    // stretched into, so large photos decode straight to about that size;
    // give it only for stretched pictures. A picture held reduced (for the
    // hint, or larger than picture_limits::max_kept_pixels) and drawn at its
    // own size or tiled shows its own pixels all the same: the part of it on
    // the screen is decoded again at full size when the control is shown, or
    // else when first drawn (the whole picture when it may be kept whole).
    int set_file_name(const QString& path, QSize decode_hint = QSize());
    // Starts decoding a picture (platform/picture_job.h), for the
    // set_file_name with the same path and hint that is expected next, which
    // then takes the decoded picture instead of decoding it again. Any other
    // next set_file_name decodes as usual, and so does one after an early
    // decode that failed for any reason but its time or memory limits; the
    // early decode is then stopped and dropped.
    void predecode(const QString& path, QSize decode_hint = QSize());
    // For a control whose loads the window's thread waits for: set_file_name
    // then serves events while the picture decodes, and gives the load up as
    // soon as `abandoned` says so (the decode is stopped, the control left
    // empty, and it returns load_abandoned).
    void set_abandon_check(std::function<bool()> abandoned) { abandoned_ = std::move(abandoned); }
    static constexpr int load_abandoned = -100;
    QString file_name() const { return file_name_; }
    int load_result() const { return load_result_; }
    void set_picture(const QImage& image);
    const QImage& picture() const { return image_; }
    void set_draw_mode(int mode);
    int draw_mode() const { return draw_mode_; }
    int picture_width() const;    // natural size of the loaded picture
    int picture_height() const;
    void set_transparent(bool on, std::int32_t bgr_color);
    void set_border(const control_border& b);
    const control_border& border() const { return border_; }
    void set_palette(bool on, int type);
    int palette_type() const { return palette_type_; }
    bool palette_on() const { return palette_on_; }
    void set_preview_value(int v) { preview_value_ = v; }

    QImage render_face() override;
    void setVisible(bool visible) override;

protected:
    QImage render_face_area(const QRect& area) override;

private:
    const QImage& shown_image();   // image_ through the palette and the transparent colour
    QImage with_looks(const QImage& picture, const QImage& paletted) const;
    int repalette();               // remakes paletted_ (0 or -4 / -5) and detail_paletted_
    void drop_detail();
    // The part of the picture, in its own pixels, that the area of the
    // control shows at full size while only a reduced copy is held; empty
    // when the picture shows as it is held.
    QRect detail_wanted(const QRect& area) const;
    bool detail_missing(const QRect& want) const;
    // Decodes what detail_wanted asks for the part that can show (see await).
    void fetch_detail();
    void draw_part(QPainter& p, const QRect& part, QPoint origin, const QImage& held);
    // Waits for the decode (see set_abandon_check); false when the load was
    // given up, taken over by a later load, or the control went away.
    bool await(picture_job& job, unsigned load);
    std::shared_ptr<picture_job> early_;
    std::weak_ptr<picture_job> awaited_;   // the decode a set_file_name waits for
    std::function<bool()> abandoned_;
    unsigned loads_ = 0;           // set_file_name and set_picture calls so far
    QString file_name_;
    int load_result_ = 0;
    QImage image_;                 // as decoded (may be smaller than natural_size_)
    QImage paletted_;              // image_ through the palette; null in true colour
    QImage shown_;
    bool shown_dirty_ = true;
    QSize natural_size_;
    // Part of a picture held reduced, at full size: its pixels, through the
    // palette, as shown, and where it lies in the picture.
    QImage detail_, detail_paletted_, detail_shown_;
    QRect detail_rect_;
    QRect detail_asked_;           // the last part asked for in this load
    bool detail_refused_ = false;  // a decode of it ran out of time or memory
    bool fetching_ = false, fetch_queued_ = false;
    int draw_mode_ = natural;
    bool transparent_on_ = false;
    std::int32_t transparent_color_ = 0;
    control_border border_;
    bool palette_on_ = false;
    int palette_type_ = 0;
    int preview_value_ = 0;
};

class LabelControl : public EffectControl {
    Q_OBJECT
public:
    explicit LabelControl(QWidget* parent = nullptr);

    void set_caption(const QString& text);
    QString caption() const { return caption_; }
    void set_font(const QString& name, int point_size, bool bold, bool italic);
    void set_text_color(std::int32_t bgr);
    void set_relief(int style, int shadow_size);   // styles 0-4, 6, 7; shadow 1-10
    void set_fill_mode(int mode);                   // 0 plain, 2 colour gradient
    void set_gradient_kind(int kind);
    void set_gradient_colors(std::int32_t c1, std::int32_t c2);
    void set_layout_value(int v);
    void set_auto_size(bool on);                    // size follows the caption at once
    // Full-window gradient background: colour, style 0-19, setting (200).
    void set_background_gradient(std::int32_t bgr, int style, int setting);
    void clear_background_gradient();
    void set_button_look(int look);                 // 0 normal, 1 pressed, 2 highlighted
    int button_look() const { return button_look_; }
    void set_transparent_background(bool on);
    void set_back_color(std::int32_t bgr);          // fill when not transparent
    // The size the caption takes with the current font and relief.
    QSize caption_size() const;

    QImage render_face() override;

protected:
    QImage render_face_area(const QRect& area) override;

private:
    // The caption measured once per text and font. A line too long to shape
    // whole is kept as pieces at their offsets, so that drawing a part of it
    // shapes only the pieces that can show.
    struct caption_piece {
        int start = 0, length = 0;
        qreal x = 0;
    };
    struct caption_line {
        QString text;
        std::vector<caption_piece> pieces;
        qreal width = 0;
    };
    struct caption_layout {
        bool valid = false;
        QString caption;
        QFont font;
        std::vector<caption_line> lines;
        QSize text_size;   // without the relief's room
    };
    const caption_layout& layout() const;
    mutable caption_layout layout_;
    void resize_to_caption();
    void looks_changed();
    QString caption_;
    QFont font_;
    std::int32_t text_color_ = 0xFFFFFF;
    int relief_ = 0, shadow_ = 1;
    int fill_mode_ = 0, gradient_kind_ = 0;
    std::int32_t grad1_ = 0, grad2_ = 0;
    bool auto_size_ = true;
    bool bg_gradient_ = false;
    std::int32_t bg_color_ = 0;
    int bg_style_ = 0, bg_setting_ = 0;
    int button_look_ = 0;
    bool transparent_background_ = true;
    std::int32_t back_color_ = 0;
    int layout_value_ = 0;
};

class VideoControl : public EffectControl {
    Q_OBJECT
public:
    explicit VideoControl(QWidget* parent = nullptr);
    ~VideoControl() override;

    void set_initial_setting(int v);
    void set_device_type(const QString& t);
    void set_avi(bool on);
    void set_media_mode(int m);
    // Opens the file and returns the open result (below 0 = failed); "" closes.
    int set_file_name(const QString& path);
    int open_result() const { return open_result_; }
    void set_size_mode(int m);       // 1 natural, 2 stretched
    // 3 accept (natural size known afterwards), 1 before showing / after
    // stopping, 5 play, 11 stop.
    void command(int c);
    QString status() const;          // "PLAYING" while playing
    void set_mute(bool on);
    void set_border(const control_border& b);
    void set_standard_palette(bool on);
    QSize natural_size() const;
    bool muted() const;

    QImage render_face() override;

protected:
    bool live_face() const override;

private:
    void make_player();  // the media player, its video sink and audio output, on first use
    void drop_player();  // gives the media player back (release_media_player)
    bool load_fresh();   // loads the open file again, ready to play from its start
    struct impl;
    std::unique_ptr<impl> d_;
    int open_result_ = 0;
    int size_mode_ = 1;
    control_border border_;
};

}  // namespace lv
