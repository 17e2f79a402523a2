#include "player/renderer.h"

#include "core/caption_schemes.h"
#include "core/document.h"
#include "core/effects.h"
#include "core/file_names.h"
#include "core/fit_picture.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/state.h"
#include "platform/desktop/desktop_services.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

namespace lv {

namespace {

constexpr std::array<std::int32_t, 16> palette16 = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// Numbers in log lines: whole values without a decimal point, fractions in
// their shortest exact form (a halved speed of 15 is written 7.5).
std::string number_text(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return std::to_string(static_cast<long long>(v));
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

int px(double v) { return static_cast<int>(std::lround(v)); }

// Left and top of the nine anchors ("Top Justify Left" .. "Bottom Justify
// Right", row by row), exact halves rounded to the nearest pixel; nothing is
// clamped, so an element larger than the window gets negative coordinates.
QPoint anchor_point(int anchor, double W, double H, double w, double h) {
    const int col = anchor % 3, row = anchor / 3;
    const double left = col == 0 ? 0.0 : col == 1 ? W / 2 - w / 2 : W - w;
    const double top = row == 0 ? 0.0 : row == 1 ? H / 2 - h / 2 : H - h;
    return {px(left), px(top)};
}

// The effect row rule shared by every element. A row outside the table
// (only a hand-edited file holds one) shows like "No Effect". Speed and grain
// of the sequence are kept within what the editors produce.
void apply_effect_rule(EffectControl* c, int row, int speed, int grain, const Renderer::options& o) {
    if (row == 0) {
        const effect_choice ch = pick_random_effect();
        c->set_effect(ch.effect_number, ch.speed, ch.grain);
    } else {
        const int number = (row >= 1 && row < effect_rows) ? effect_table()[row].effect_number : 0;
        c->set_effect_number(number);
        if (c->effect_number() >= 1) {
            c->set_effect_speed(std::clamp(speed, 0, 255));
            c->set_effect_grain(std::clamp(grain, 1, 255));
        }
    }
    if (o.power_saver && run().power_saver_active == 1) c->set_effect(0, 1, 1);
    if (o.effects_off && o.effects_off()) c->set_effect_number(0);
}

std::string effect_text(const EffectControl* c) {
    return number_text(c->effect_number()) + " " + number_text(c->effect_grain()) + " " +
           number_text(c->effect_speed());
}

// The slideshow-wide border in the control's terms; border_off zeroes the
// middle width and both styles and leaves the rest as the control had it.
control_border border_for(const control_border& current) {
    const border_record& b = doc().border;
    control_border r = current;
    if (b.border_off == 1) {
        r.middle_width = 0;
        r.inner_style = 0;
        r.outer_style = 0;
        r.on = false;
        return r;
    }
    r.on = true;
    r.inner_color_1 = palette16_color(b.border_inner_color_1);
    r.inner_color_2 = palette16_color(b.border_inner_color_2);
    r.inner_width = std::clamp(b.border_inner_width, 1, 30);
    r.inner_style = std::clamp(b.border_inner_style, 0, 2);
    r.outer_color_1 = palette16_color(b.border_outer_color_1);
    r.outer_color_2 = palette16_color(b.border_outer_color_2);
    r.outer_width = std::clamp(b.border_outer_width, 1, 30);
    r.outer_style = std::clamp(b.border_outer_style, 0, 2);
    r.middle_color = palette16_color(b.border_middle_color);
    r.middle_width = std::clamp(b.border_middle_width, 0, 30);
    return r;
}

// Relief styles the label knows: 0-4, 6 and 7; anything else draws plain.
int relief_style(int s) {
    if (s < 0 || s > 7 || s == 5) return 0;
    return s;
}

// The box a picture is decoded for: fitted pictures never show larger than
// the window; any other placement decodes at full size.
QSize picture_decode_hint(const sequence_record& r, double W, double H) {
    return r.display_position >= 0 && r.display_position <= 2 ? QSize(px(W), px(H)) : QSize();
}

// Where a picture shown at its own size (positions 3 to 12) or tiled lies
// on the window, in the screen's pixels: a picture larger than is kept then
// comes with that part at full size from the same decode.
own_size_place own_size_for(int position, const QWidget* host) {
    own_size_place place;
    if (position < 3 || position > 12) return place;
    place.anchor = position == 3 ? own_size_place::tiled : position - 4;
    const double ratio = host->devicePixelRatioF();
    place.screen = QSize(px(host->width() * ratio), px(host->height() * ratio));
    return place;
}

QImage stand_in_placeholder() {
    QImage img(320, 240, QImage::Format_RGB32);
    img.fill(QColor(40, 40, 40));
    QPainter p(&img);
    p.setPen(QColor(200, 200, 200));
    p.drawRect(0, 0, img.width() - 1, img.height() - 1);
    p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("Lumivane"));
    return img;
}

}  // namespace

std::int32_t palette16_color(int index) {
    return palette16[static_cast<std::size_t>(std::clamp(index, 0, 15))];
}

QRect fit_rect(int W, int H, double w, double h, double percent) {
    const fit_result f = fit_picture(0, 0, H, W, h, w, percent);
    if (!f.ok || !(w > 0) || !(h > 0)) return QRect(0, 0, W, H);   // no shape to keep
    return QRect(px(f.left), px(f.top), px(f.width), px(f.height));
}

std::string load_result_text(int code) {
    switch (code) {
        case -1: return "Cannot find the image file.";
        case -2: return "The image file type is unknown.";
        case -3: return "A memory error occured,";
        case -4: return "Cannot dither the image.";
        case -5: return "Cannot quantize the image palette.";
        case -6: return "Cannot read the image file.";
        case -7: return "Cannot allocate memory for the image";
        default: return "";
    }
}

struct Renderer::impl {
    QWidget* host = nullptr;
    PictureControl* image_background = nullptr;
    LabelControl* gradient = nullptr;
    PictureControl* image_picture = nullptr;
    VideoControl* image_video = nullptr;
    LabelControl* image_caption = nullptr;
    LabelControl* error_banner = nullptr;
    // The video control does not report its border back; kept here so that
    // "border off" changes only the three values it concerns.
    control_border video_border;

    double W() const { return host->width(); }
    double H() const { return host->height(); }
};

Renderer::Renderer(QWidget* host) : d_(new impl) {
    d_->host = host;
    // Created bottom to top, so that the stacking starts in this order.
    d_->image_background = new PictureControl(host);
    d_->image_background->setObjectName(QStringLiteral("image_background"));
    d_->gradient = new LabelControl(host);
    d_->gradient->setObjectName(QStringLiteral("gradient"));
    d_->gradient->set_auto_size(false);
    d_->image_picture = new PictureControl(host);
    d_->image_picture->setObjectName(QStringLiteral("image_picture"));
    d_->image_video = new VideoControl(host);
    d_->image_video->setObjectName(QStringLiteral("image_video"));
    d_->image_caption = new LabelControl(host);
    d_->image_caption->setObjectName(QStringLiteral("image_caption"));
    d_->error_banner = new LabelControl(host);
    d_->error_banner->setObjectName(QStringLiteral("error_banner"));
    // The banner's look: bold yellow text on an opaque black strip.
    d_->error_banner->set_font(QStringLiteral("Arial"), 12, true, false);
    d_->error_banner->set_text_color(0x00FFFF);
    d_->error_banner->set_back_color(0x000000);
    d_->error_banner->set_transparent_background(false);
    // The window keeps serving keys while a picture decodes; a key that ends
    // the show, or the window going away, stops the decode.
    opts.abandon_load = [] { return run().time_to_end == 1 || run().show_finished == 1; };
    for (PictureControl* p : {d_->image_background, d_->image_picture})
        p->set_abandon_check([this] { return opts.abandon_load && opts.abandon_load(); });
    for (QWidget* w : {static_cast<QWidget*>(d_->image_background), static_cast<QWidget*>(d_->gradient),
                       static_cast<QWidget*>(d_->image_picture), static_cast<QWidget*>(d_->image_video),
                       static_cast<QWidget*>(d_->image_caption), static_cast<QWidget*>(d_->error_banner)})
        w->hide();
}

Renderer::~Renderer() {
    delete d_;   // the controls are the host's children
}

PictureControl* Renderer::image_background() const { return d_->image_background; }
LabelControl* Renderer::gradient() const { return d_->gradient; }
PictureControl* Renderer::image_picture() const { return d_->image_picture; }
VideoControl* Renderer::image_video() const { return d_->image_video; }
LabelControl* Renderer::image_caption() const { return d_->image_caption; }
LabelControl* Renderer::error_banner() const { return d_->error_banner; }
QWidget* Renderer::host() const { return d_->host; }

namespace {
std::optional<sequence_record> current_record(int index) {
    const sequence_columns& s = doc().sequences;
    if (index < 1 || static_cast<std::size_t>(index) >= s.size()) return std::nullopt;
    return s.get(index);
}
}  // namespace

void Renderer::updates_off() {
    d_->image_background->set_updates(false);
    d_->image_picture->set_updates(false);
    d_->image_caption->set_updates(false);
    d_->error_banner->set_updates(false);
    d_->gradient->set_updates(false);
    d_->image_video->hide();
    // A banner belongs to the sequence that failed; the next one starts
    // without it (display_error_banner shows it again when needed).
    d_->error_banner->hide();
}

bool Renderer::show_ending() const { return opts.abandon_load && opts.abandon_load(); }

void Renderer::display_background() {
    const auto rec = current_record(image_index);
    PictureControl* bg = d_->image_background;
    const bool stand_in = !opts.no_background_picture.isNull();
    if (!rec || (!stand_in && (rec->background_file.empty() || settings().ignore_background == 1))) {
        d_->image_picture->set_updates(true);
        bg->set_updates(false);
        bg->hide();
        d_->gradient->hide();   // no gradient of an earlier sequence under this one
        return;
    }
    bg->set_updates(false);
    if (rec->background_file == gradient_background) {
        if (opts.log) write_log("Display Gradient:");
        display_gradient();
        return;
    }
    apply_effect_rule(bg, rec->background_effect, rec->background_speed, rec->background_grain, opts);
    if (opts.log) write_log("Display Background: " + rec->background_file + " " + effect_text(bg));
    bg->set_draw_mode(rec->background_placement == 1 ? PictureControl::stretched : PictureControl::tiled);
    bg->setGeometry(0, 0, px(d_->W()), px(d_->H()));
    // A stretched background is decoded straight to about the window's size.
    const bool stretched = rec->background_placement == 1;
    const QSize hint = stretched ? QSize(px(d_->W()), px(d_->H())) : QSize();
    int result = 0;
    if (rec->background_file.empty()) {
        bg->set_picture(opts.no_background_picture);   // only with a stand-in does an empty name get here
    } else {
        result = bg->set_file_name(QString::fromStdString(rec->background_file), hint,
                                   own_size_for(stretched ? -1 : 3, d_->host));
    }
    // The show is ending: no banner for a picture nobody waits for, and the
    // screen stays as it was (it may become the wallpaper).
    if (result == PictureControl::load_abandoned || show_ending()) return;
    if (result < 0) {
        load_error = 1;
        load_error_text = rec->background_file + " - Could not be loaded!";
        bg->set_file_name(QString());
        bg->hide();
        d_->gradient->hide();
        return;
    }
    bg->raise();
    bg->set_updates(true);
    bg->show_with_effect();
    if (show_ending()) return;   // given up while its part on the screen decoded
    bg->refresh();
    // The new background covers the window; an earlier gradient goes.
    d_->gradient->hide();
    yield_events();
    bg->set_effect_number(0);
}

void Renderer::display_gradient() {
    const auto rec = current_record(image_index);
    LabelControl* g = d_->gradient;
    g->set_updates(false);
    g->setGeometry(0, 0, px(d_->W()), px(d_->H()));
    const std::int32_t colour = palette16_color(static_cast<int>(std::floor(8 * rnd())) + 1);
    const int style = static_cast<int>(std::floor(20 * rnd()));
    g->set_background_gradient(colour, style, 200);
    if (rec) apply_effect_rule(g, rec->background_effect, rec->background_speed, rec->background_grain, opts);
    g->raise();
    g->set_updates(true);
    g->show_with_effect();
    yield_events();
    g->set_effect_number(0);
}

void Renderer::display_picture() {
    const auto rec = current_record(image_index);
    if (!rec) return;
    PictureControl* pic = d_->image_picture;
    pic->set_updates(false);
    pic->set_transparent(false, 0);
    if (rec->transparent_color > 0) pic->set_transparent(true, rec->transparent_color - 1);
    apply_effect_rule(pic, rec->display_effect, rec->effect_speed, rec->effect_grain, opts);
    pic->set_border(border_for(pic->border()));

    const double W = d_->W(), H = d_->H();
    pic->set_draw_mode(PictureControl::natural);
    pic->setGeometry(0, 0, px(W), px(H));

    int result;
    if (no_images_mode == 1) {
        pic->set_picture(no_images_picture.isNull() ? stand_in_placeholder() : no_images_picture);
        result = 0;
    } else {
        result = pic->set_file_name(QString::fromStdString(rec->image_file), picture_decode_hint(*rec, W, H),
                                    own_size_for(rec->display_position, d_->host));
    }
    if (result == PictureControl::load_abandoned) return;   // as in display_background
    if (result < 0) {
        load_error = 1;
        load_error_text = rec->image_file + " - Could not be loaded!   Error# = " + std::to_string(result) +
                          "  " + load_result_text(result);
        pic->set_file_name(QString());
        pic->hide();   // not the previous sequence's picture under this one's banner
        return;
    }

    const int pos = rec->display_position;
    if (pos >= 0 && pos <= 2) {
        pic->set_draw_mode(PictureControl::natural);
        yield_events();
        const double w = pic->picture_width(), h = pic->picture_height();
        pic->set_draw_mode(PictureControl::stretched);
        pic->setGeometry(fit_rect(px(W), px(H), std::round(w), std::round(h), pos == 0 ? 100 : pos == 1 ? 75 : 50));
    } else if (pos == 3) {
        pic->set_draw_mode(PictureControl::tiled);
        yield_events();
        pic->setGeometry(0, 0, px(W), px(H));
    } else if (pos >= 4 && pos <= 12) {
        pic->set_draw_mode(PictureControl::natural);
        yield_events();
        const double w = pic->picture_width(), h = pic->picture_height();
        if (w <= 0 || h <= 0) {
            pic->set_draw_mode(PictureControl::stretched);
            pic->setGeometry(0, 0, px(W), px(H));
        } else {
            // The control takes the picture's own size at its anchor: a
            // window-sized control would cut off the part of a larger picture
            // beyond the window's size, and its transition would sweep over
            // empty space.
            pic->setGeometry(QRect(anchor_point(pos - 4, W, H, w, h), QSize(px(w), px(h))));
        }
    }

    if (opts.log) write_log("Display Picture: " + rec->image_file + " " + effect_text(pic));
    if (show_ending()) return;
    pic->raise();
    pic->set_updates(true);
    pic->show_with_effect();
    if (show_ending()) return;   // as in display_background
    pic->refresh();
    yield_events();
    pic->set_effect_number(0);
}

void Renderer::predecode_picture(int index) {
    const auto rec = current_record(index);
    if (!rec || no_images_mode == 1 || rec->image_file.empty() || is_video_file(rec->image_file)) return;
    d_->image_picture->predecode(QString::fromStdString(rec->image_file), picture_decode_hint(*rec, d_->W(), d_->H()),
                                 own_size_for(rec->display_position, d_->host));
}

void Renderer::display_video() {
    const auto rec = current_record(image_index);
    if (!rec) return;
    VideoControl* vid = d_->image_video;
    const std::string f = rec->image_file;
    vid->set_initial_setting(0);
    vid->move(-20000, -20000);
    vid->show();
    yield_events();
    vid->hide();
    yield_events();
    apply_effect_rule(vid, rec->display_effect, rec->effect_speed, rec->effect_grain, opts);
    if (opts.log) write_log("Display Video: " + f + " " + effect_text(vid));
    d_->video_border = border_for(d_->video_border);
    vid->set_border(d_->video_border);

    const std::string kind = file_type(f);
    if (kind == "AVI") {
        vid->set_avi(true);
        vid->set_media_mode(2);
        vid->set_device_type(QString::fromStdString(settings().avi_devicename));
    } else if (kind == "MPG") {
        vid->set_avi(false);
        vid->set_media_mode(2);
        vid->set_device_type(QString::fromStdString(settings().mpg_devicename));
    }

    if (vid->set_file_name(QString::fromStdString(f)) < 0) {
        load_error = 1;
        load_error_text = f + " - Could not be loaded!";
        vid->set_file_name(QString());
        vid->hide();
        return;
    }
    vid->set_size_mode(1);
    yield_events();
    vid->command(3);
    yield_events();
    QSize natural = vid->natural_size();
    const double w = natural.isValid() ? natural.width() : vid->width();
    const double h = natural.isValid() ? natural.height() : vid->height();

    const double W = d_->W(), H = d_->H();
    const int pos = rec->display_position;
    if (pos >= 0 && pos <= 12 && (w <= 0 || h <= 0)) {
        vid->setGeometry(0, 0, px(W), px(H));   // size unknown: use the whole window
        vid->set_size_mode(2);
    } else if (pos >= 0 && pos <= 3) {
        vid->setGeometry(fit_rect(px(W), px(H), w, h, pos == 1 ? 75 : pos == 2 ? 50 : 100));
        vid->set_size_mode(2);
    } else if (pos >= 4 && pos <= 12) {
        vid->resize(px(w), px(h));
        vid->move(anchor_point(pos - 4, W, H, w, h));
    }

    vid->set_mute(settings().audio_on == 0);
    vid->raise();
    vid->command(1);
    yield_events();
    if (show_ending()) return;   // the screen stays as it was
    vid->show_with_effect();
    yield_events();
    vid->command(5);
    yield_events();
    vid->set_effect_number(0);
    yield_events();
}

namespace {
void set_caption_look(LabelControl* l, const sequence_record& r, int font_size) {
    l->set_text_color(r.caption_color);
    const int scheme = r.caption_color_scheme;
    if (scheme >= 1 && scheme <= 8) {
        const caption_scheme& s = caption_schemes()[static_cast<std::size_t>(scheme)];
        l->set_gradient_kind(2);
        l->set_text_color(s.text_color);
        l->set_gradient_colors(s.gradient_color_1, s.gradient_color_2);
        l->set_fill_mode(2);
    } else {
        // Scheme 0, and any number without a row, draws in the solid colour.
        l->set_fill_mode(0);
    }
    l->set_font(QString::fromStdString(r.caption_font_name), font_size, r.caption_bold == 1,
                r.caption_italic == 1);
    l->set_relief(relief_style(r.caption_style), std::clamp(r.caption_shadow_size, 1, 10));
}
}  // namespace

void Renderer::display_caption() {
    LabelControl* cap = d_->image_caption;
    cap->set_updates(true);
    cap->hide();
    yield_events();
    const auto rec = current_record(image_index);
    if (!rec || rec->caption_text.empty()) return;

    const QString name = QString::fromStdString(rec->caption_font_name);
    const int size = std::clamp(rec->caption_font_size, 1, 500);
    const bool bold = rec->caption_bold == 1, italic = rec->caption_italic == 1;
    const QString text = QStringLiteral("  ") + QString::fromStdString(rec->caption_text) + QStringLiteral("  ");
    const double W = d_->W(), H = d_->H();

    // Measuring pass: the label sizes itself to its caption and font while
    // at most two pixel rows of it are on the screen.
    cap->set_layout_value(0);
    cap->set_effect_number(0);
    cap->set_font(name, size, bold, italic);
    yield_events();
    cap->set_font(name, size, bold, italic);
    yield_events();
    cap->set_caption(QStringLiteral(" "));
    yield_events();
    cap->set_caption(text);
    if (opts.preview_caption_yields) yield_events();
    set_caption_look(cap, *rec, size);
    cap->move(0, px(H - 2));
    cap->raise();
    cap->show();
    yield_events();
    yield_events();
    cap->hide();
    yield_events();
    if (!opts.preview_caption_yields) yield_events();

    apply_effect_rule(cap, rec->caption_effect, rec->caption_speed, rec->caption_grain, opts);

    // Showing pass.
    cap->set_font(name, size, bold, italic);
    yield_events();
    cap->set_font(name, size, bold, italic);
    yield_events();
    cap->set_caption(text);
    set_caption_look(cap, *rec, size);

    const double w = cap->width();
    yield_events();
    const double h = cap->height();
    yield_events();
    const int pos = rec->caption_position;
    if (pos >= 0 && pos <= 8) cap->move(anchor_point(pos, W, H, w, h));

    if (opts.log) write_log("Display Caption: " + effect_text(cap));
    cap->raise();
    cap->show_with_effect();
    yield_events();
    cap->set_effect_number(0);
}

void Renderer::display_error_banner() {
    LabelControl* b = d_->error_banner;
    b->set_caption(QString::fromStdString(load_error_text));
    if (opts.log) write_log("Display Error Banner: ");
    const int h = b->height();
    b->setGeometry(0, px(d_->H()) - h, px(d_->W()), h);
    b->set_updates(true);
    b->raise();
    b->show_with_effect();
    yield_events();
}

void Renderer::reset_foreground() {
    PictureControl* pic = d_->image_picture;
    pic->set_file_name(QString());
    pic->set_effect_number(0);
    pic->show_with_effect();
    pic->set_updates(true);
    pic->refresh();
}

void Renderer::video_off() {
    VideoControl* vid = d_->image_video;
    vid->command(11);
    yield_events();
    vid->command(1);
    yield_events();
    vid->set_file_name(QString());
    yield_events();
}

void Renderer::adjust_color_render() {
    int& mode = settings().display_mode;
    if (mode == 0) mode = get_color_count() < 70000 ? 1 : 3;
    switch (mode) {
        case 1:
            d_->image_background->set_palette(true, 1);
            d_->image_picture->set_palette(true, 1);
            d_->image_video->set_standard_palette(true);
            break;
        case 2:
            d_->image_background->set_palette(true, 5);
            d_->image_picture->set_palette(true, 5);
            d_->image_video->set_standard_palette(false);
            break;
        case 3:
            d_->image_background->set_palette(false, 5);
            d_->image_picture->set_palette(false, 5);
            d_->image_video->set_standard_palette(false);
            break;
        default:
            break;
    }
}

}  // namespace lv
