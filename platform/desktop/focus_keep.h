#pragma once
// Disabling a control in the middle of a handler without losing the keyboard.
//
// Qt moves the focus away from a widget the moment it is disabled: to the
// next widget in the tab chain, which in a form is often a command button.
// A key the user types next then runs that command. A handler that greys a
// control out only while it works (a list while it shows its record, a
// button while its command runs) holds it through this guard instead:
//
//     focus_keeping_disable hold(List1);   // disabled, focus parked
//     ... the handler, yields included ...
//     hold.enable_again(image_count > 0);  // or let the guard go: enabled
//
// While the control is disabled the focus rests on its window itself, which
// runs no command, so keys typed meanwhile reach no button. When the control
// is enabled again and the focus is still where the guard parked it, the
// control (or the widget inside it that had the focus) gets it back. Focus
// that the user moved elsewhere meanwhile stays where the user put it. A
// control that stays disabled hands the focus on to the next control of the
// tab chain, as Qt would have done.
//
// Disabling a whole window works the same way: the window's focus widget is
// remembered and gets the focus back once the window is enabled again.
#include <QPointer>
#include <QWidget>

namespace lv {

class focus_keeping_disable {
public:
    explicit focus_keeping_disable(QWidget* control);
    // Enables the control again unless enable_again() has already ended the hold.
    ~focus_keeping_disable();
    focus_keeping_disable(const focus_keeping_disable&) = delete;
    focus_keeping_disable& operator=(const focus_keeping_disable&) = delete;

    // Ends the hold: the control's enabled state becomes `enabled`, and the
    // focus goes back (or on) as described above. Later calls do nothing.
    void enable_again(bool enabled = true);

private:
    QPointer<QWidget> control_;
    QPointer<QWidget> window_;
    QPointer<QWidget> had_focus_;   // the widget that had the focus, inside the control
    bool parked_ = false;           // the focus was moved to the window by us
    bool done_ = false;
};

}  // namespace lv
