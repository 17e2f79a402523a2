#pragma once
// The label control: a caption with font, relief and colour gradient, a
// full-window gradient background, or the face of a text button.
#include "platform/controls/effect_control.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace lv {

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

}  // namespace lv
