#include "platform/desktop/print_text.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>

namespace lv {

bool default_printer_available() { return !QPrinterInfo::defaultPrinter().isNull(); }

bool print_lines(QPrinter& printer, const std::vector<print_line>& lines, const QString& family) {
    if (printer.printerState() == QPrinter::Error) return false;
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    // The one further setting the printout makes: lines drawn on the page
    // (none at present) are 2 units wide.
    QPen pen(Qt::black);
    pen.setWidth(2);
    painter.setPen(pen);

    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int page_height = page.height();
    int y = 0;
    for (const print_line& line : lines) {
        QFont font(family);
        font.setPointSize(line.font_size > 0 ? line.font_size : 10);
        painter.setFont(font);
        QFontMetrics fm(font, &printer);
        if (y > 0 && y + fm.height() > page_height) {
            if (!printer.newPage()) {
                painter.end();
                return false;
            }
            y = 0;
        }
        painter.drawText(0, y + fm.ascent(), QString::fromStdString(line.text));
        y += fm.lineSpacing();
        if (printer.printerState() == QPrinter::Error) {
            painter.end();
            return false;
        }
    }
    if (!painter.end()) return false;
    return printer.printerState() != QPrinter::Error;
}

}  // namespace lv
