#pragma once
// The picture control: a picture file or an in-memory picture, drawn at its
// natural size, stretched or tiled, with a border, a transparent colour and
// a palette.
#include "platform/controls/effect_control.h"
#include "platform/picture/picture_decode.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace lv {

class picture_job;  // platform/picture/picture_job.h

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
    // own_size: where a picture shown at its own size or tiled will lie on
    // the screen; a picture held reduced then comes with that part in the
    // same decode.
    int set_file_name(const QString& path, QSize decode_hint = QSize(), const own_size_place& own_size = {});
    // Starts decoding a picture (platform/picture/picture_job.h), for the
    // set_file_name with the same path and hint that is expected next, which
    // then takes the decoded picture instead of decoding it again. Any other
    // next set_file_name decodes as usual, and so does one after an early
    // decode that failed for any reason but its time or memory limits; the
    // early decode is then stopped and dropped.
    void predecode(const QString& path, QSize decode_hint = QSize(), const own_size_place& own_size = {});
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
    // Natural size of the loaded picture, in the window's units: a picture
    // from a file has one of the screen's pixels to each of its own; an
    // in-memory picture keeps its own devicePixelRatio.
    int picture_width() const;
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
    // Draws what falls in part (pixels of the face) of a copy of the whole
    // picture placed at `placed`.
    void draw_part(QPainter& p, const QRect& part, const QRect& placed, const QImage& held);
    double picture_ratio() const;   // the picture's pixels to a unit of the window
    QSize placed_size() const;      // the picture at its own size, in the screen's pixels
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
    double own_ratio_ = 0;         // an in-memory picture's devicePixelRatio; 0 for a file's
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

}  // namespace lv
