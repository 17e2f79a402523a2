#pragma once
// The windows are laid out for a design size, and a small or scaled screen
// can offer less than that. keep_on_screen makes a window fit the screen's
// available area each time it is shown: it keeps its design size where the
// screen allows it, shrinks where its layout can, and otherwise shows its
// content in a scroll area so that every control stays reachable.
class QComboBox;
class QWidget;

namespace lv {

// Call once, from the window's constructor.
void keep_on_screen(QWidget* window);

// A combo box whose entries can be of any length (a place list naming a home
// folder deep in the file system) would otherwise widen its window to its
// longest entry, past any screen. It keeps a modest width instead; its list
// still opens as wide as its entries.
void keep_narrow(QComboBox* box);

}  // namespace lv
