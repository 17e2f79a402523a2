#include "platform/desktop/focus_keep.h"

namespace lv {

namespace {

bool inside(const QWidget* container, const QWidget* w) {
    return w && (w == container || container->isAncestorOf(w));
}

// The next widget after `from` in its window's tab chain that can take the
// focus, outside `from` itself; nullptr when there is none.
QWidget* next_focusable(QWidget* from, QWidget* window) {
    for (QWidget* n = from->nextInFocusChain(); n && n != from; n = n->nextInFocusChain()) {
        if (n == window || n->window() != window || from->isAncestorOf(n)) continue;
        if (n->isEnabled() && n->isVisibleTo(window) && (n->focusPolicy() & Qt::TabFocus) != 0) return n;
    }
    return nullptr;
}

}  // namespace

focus_keeping_disable::focus_keeping_disable(QWidget* control) : control_(control) {
    if (!control) {
        done_ = true;
        return;
    }
    window_ = control->window();
    // The window's focus widget, whether or not the window is active now.
    QWidget* focus = window_->focusWidget();
    if (inside(control, focus)) {
        had_focus_ = focus;
        if (control != window_) {
            // Park the focus on the window before Qt moves it on to a button.
            window_->setFocus(Qt::OtherFocusReason);
            parked_ = true;
        }
    }
    control->setEnabled(false);
}

focus_keeping_disable::~focus_keeping_disable() { enable_again(true); }

void focus_keeping_disable::enable_again(bool enabled) {
    if (done_) return;
    done_ = true;
    if (!control_) return;
    control_->setEnabled(enabled);
    if (!had_focus_ && !parked_) return;   // the focus was never ours to keep
    if (!window_) return;

    // Only focus that still rests where the disable left it comes back: the
    // window itself when we parked it there, nowhere when the whole window
    // was disabled. Focus the user moved meanwhile stays.
    QWidget* now = window_->focusWidget();
    const bool untouched = parked_ ? now == window_ : (now == nullptr || now == window_);
    if (!untouched) return;

    if (enabled) {
        QWidget* target = had_focus_ && had_focus_->isEnabled() && had_focus_->isVisibleTo(window_)
                              ? had_focus_.data()
                              : control_.data();
        if (target->isEnabled()) target->setFocus(Qt::OtherFocusReason);
    } else if (parked_) {
        if (QWidget* next = next_focusable(control_, window_)) next->setFocus(Qt::TabFocusReason);
    }
}

}  // namespace lv
