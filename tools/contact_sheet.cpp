// Developer tool: renders every transition of the effect table at 25, 50 and
// 75 percent of its run into one labelled PNG, to check at a glance that each
// one looks like its name.
//   QT_QPA_PLATFORM=offscreen contact_sheet out.png
#include "core/effects.h"
#include "platform/transitions/transitions.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QSize render_size(640, 360);   // each frame is drawn at this size, then scaled down
const QSize thumb_size(256, 144);
constexpr int label_width = 250;
constexpr int gap = 6;
constexpr int header_height = 28;
constexpr int groups = 4;   // the rows are laid out in this many side-by-side groups

// The old face: cool colours, a grid and a big "A", so that motion shows.
QImage old_face(QSize size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor(20, 40, 120));
    g.setColorAt(1, QColor(40, 160, 200));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(QColor(220, 230, 255), 2));
    for (int x = 0; x < size.width(); x += 40) p.drawLine(x, 0, x, size.height());
    for (int y = 0; y < size.height(); y += 40) p.drawLine(0, y, size.width(), y);
    QFont f("DejaVu Sans", size.height() / 2, QFont::Bold);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(img.rect(), Qt::AlignCenter, "A");
    return img;
}

// The new face: warm colours, rings and a big "B".
QImage new_face(QSize size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QRadialGradient g(size.width() / 2.0, size.height() / 2.0, size.width() / 1.5);
    g.setColorAt(0, QColor(255, 220, 80));
    g.setColorAt(1, QColor(200, 60, 20));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(QColor(90, 20, 0), 3));
    p.setRenderHint(QPainter::Antialiasing);
    for (int r = 30; r < size.width(); r += 45)
        p.drawEllipse(QPointF(size.width() / 2.0, size.height() / 2.0), r, r);
    QFont f("DejaVu Sans", size.height() / 2, QFont::Bold);
    p.setFont(f);
    p.setPen(QColor(60, 0, 60));
    p.drawText(img.rect(), Qt::AlignCenter, "B");
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: contact_sheet out.png\n");
        return 2;
    }
    lv::reset_effect_table();
    const QImage before = old_face(render_size), after = new_face(render_size);
    const double steps[] = {0.25, 0.5, 0.75};

    const int first_row = 2, last_row = lv::effect_rows - 1;
    const int count = last_row - first_row + 1;
    const int per_group = (count + groups - 1) / groups;
    const int cell_h = thumb_size.height() + gap;
    const int group_w = label_width + 3 * (thumb_size.width() + gap) + 2 * gap;
    QImage sheet(groups * group_w, header_height + per_group * cell_h + gap, QImage::Format_RGB32);
    sheet.fill(QColor(40, 40, 40));
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QFont label_font("DejaVu Sans", 10);
    painter.setFont(label_font);
    painter.setPen(Qt::white);
    for (int g = 0; g < groups; ++g)
        for (int i = 0; i < 3; ++i)
            painter.drawText(QRect(g * group_w + label_width + i * (thumb_size.width() + gap), 0, thumb_size.width(),
                                   header_height),
                             Qt::AlignCenter, QString("%1 %").arg(int(steps[i] * 100)));

    int failures = 0;
    for (int row = first_row; row <= last_row; ++row) {
        const int index = row - first_row;
        const int x0 = (index / per_group) * group_w + gap;
        const int y0 = header_height + (index % per_group) * cell_h;
        const int number = lv::effect_number_for_row(row);
        const int grain = lv::effect_table()[std::size_t(row)].grain;
        painter.setPen(Qt::white);
        painter.drawText(QRect(x0, y0, label_width - 2 * gap, thumb_size.height()), Qt::AlignVCenter | Qt::TextWordWrap,
                         QString("%1  (%2)\n%3").arg(row).arg(number).arg(QString::fromLatin1(lv::effect_names[std::size_t(row)])));
        auto transition = lv::Transition::create(number, grain, render_size);
        if (!transition) {
            std::fprintf(stderr, "row %d: effect %d has no transition\n", row, number);
            ++failures;
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            QImage frame(render_size, QImage::Format_ARGB32_Premultiplied);
            transition->paint(frame, before, after, steps[i]);
            painter.drawImage(QRect(QPoint(x0 + label_width - gap + i * (thumb_size.width() + gap), y0), thumb_size),
                              frame);
        }
    }
    painter.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
