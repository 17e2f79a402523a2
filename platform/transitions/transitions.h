#pragma once
// The numbered transitions that reveal a control's new face over its old one.
// Effect numbers are those of the effect table (1-50, 52-81, 90-113); any
// other number has no transition and shows at once.
#include <QImage>
#include <memory>

namespace lv {

bool has_transition(int effect_number);

// How long a run takes for the given speed and grain (speed 0..255, larger
// values run slower; a fractional speed from the random choice is honoured).
int transition_duration_ms(int effect_number, double speed, int grain);

class Transition {
public:
    // nullptr when the number has no transition. size is the control's size.
    static std::unique_ptr<Transition> create(int effect_number, int grain, QSize size);
    virtual ~Transition();
    // Paints the frame at progress p (0 = old face, 1 = new face) into out,
    // which has the size given at creation; old_face and new_face have it too.
    virtual void paint(QImage& out, const QImage& old_face, const QImage& new_face, double p) = 0;
    // False while the run still prepares on another thread (the cells of a
    // large grid): a frame painted now would wait for it.
    virtual bool ready() const;
    // True while another thread still makes what later frames read (the
    // shrunken copies of a zooming face); frames painted meanwhile make what
    // they show themselves, so frames painted back to back cost more than
    // frames a display tick apart.
    virtual bool preparing() const;
};

}  // namespace lv
