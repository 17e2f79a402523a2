#pragma once
// The windows are laid out for a design size, and a small or scaled screen
// can offer less than that. keep_on_screen makes a window fit the screen's
// available area each time it is shown: it keeps its design size where the
// screen allows it, shrinks where its layout can, and otherwise shows its
// content in a scroll area so that every control stays reachable.
class QWidget;

namespace lv {

// Call once, from the window's constructor.
void keep_on_screen(QWidget* window);

}  // namespace lv
