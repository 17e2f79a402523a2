#pragma once
// Prints lines of text, each in its own point size, top to bottom on the
// pages of a printer. Used for the help pop-ups' printout.
#include <QString>
#include <vector>

#include "core/help_messages.h"

class QPrinter;

namespace lv {

// The system's default printer is known (it may still fail when printing).
bool default_printer_available();

// Prints the lines in font family (default "Arial") on printer, starting a
// new page when one is full, and sends the document. False when the printer
// could not be opened or reported an error at any point.
bool print_lines(QPrinter& printer, const std::vector<print_line>& lines,
                 const QString& family = QStringLiteral("Arial"));

}  // namespace lv
