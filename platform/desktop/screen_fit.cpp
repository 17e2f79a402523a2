#include "platform/desktop/screen_fit.h"

#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

namespace lv {

namespace {

constexpr const char* content_name = "screen_fit_content";

// The frame around the window. A window manager tells it only once the
// window has been mapped; before that, leave room for a usual title bar and
// border.
QMargins frame_allowance(const QWidget* w) {
    if (const QWindow* h = w->windowHandle(); h && !h->frameMargins().isNull()) return h->frameMargins();
    if (QGuiApplication::platformName().startsWith(QLatin1String("offscreen"))) return {};
    return {4, 30, 4, 4};
}

QRect available_area(const QWidget* w) {
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

// The least size the window can take without cutting anything off.
QSize least_size(const QWidget* w) {
    QSize least = w->minimumSize();
    if (const QLayout* l = w->layout()) least = least.expandedTo(l->totalMinimumSize());
    return least;
}

// Moves the window's layout and child controls into a scroll area that fills
// the window. Controls keep their places and their shown or hidden state.
void wrap_in_scroll_area(QWidget* w, QSize design) {
    std::vector<std::pair<QWidget*, bool>> kids;
    for (QObject* o : w->children())
        if (auto* c = qobject_cast<QWidget*>(o); c && !c->isWindow()) kids.emplace_back(c, !c->isHidden());

    auto* content = new QWidget;
    content->setObjectName(QLatin1String(content_name));
    QLayout* layout = w->layout();
    if (layout) content->setLayout(layout);   // takes the layout and its controls along
    for (auto& [c, shown] : kids) {
        if (c->parentWidget() != content) {
            const QPoint at = c->pos();
            c->setParent(content);
            c->move(at);
        }
        c->setVisible(shown);
    }

    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    if (layout) {
        // The layout still stretches the controls over whatever room there is.
        content->setMinimumSize(least_size(w).expandedTo(layout->totalMinimumSize()));
        scroll->setWidgetResizable(true);
    } else {
        content->setFixedSize(design);
    }
    scroll->setWidget(content);

    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    auto* outer = new QVBoxLayout(w);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
}

void fit(QWidget* w) {
    if (!w->isWindow() || w->isFullScreen() || w->isMaximized()) return;
    const QRect area = available_area(w).marginsRemoved(frame_allowance(w));
    if (area.isEmpty()) return;
    const QSize design = w->size();
    const bool wrapped = w->findChild<QWidget*>(QLatin1String(content_name)) != nullptr;
    const QSize least = least_size(w);
    // A window that lays out its controls itself as it is resized keeps doing
    // so; the others get a scroll area when they cannot shrink enough.
    const bool fixed = w->minimumSize() == w->maximumSize();
    const bool can_wrap = w->layout() != nullptr || fixed;
    if (!wrapped && can_wrap && (least.width() > area.width() || least.height() > area.height())) {
        wrap_in_scroll_area(w, design);
        // Room for the scroll bars, so that only the cut side needs one.
        const int bar = w->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        w->resize((design + QSize(bar, bar)).boundedTo(area.size()));
    } else if (design.width() > area.width() || design.height() > area.height()) {
        w->resize(design.boundedTo(area.size()));
    }

    // Keep the whole frame on the screen.
    const QMargins frame = frame_allowance(w);
    QRect outer(w->pos(), w->size() + QSize(frame.left() + frame.right(), frame.top() + frame.bottom()));
    const QRect screen = available_area(w);
    const int x = std::clamp(outer.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - outer.width()));
    const int y = std::clamp(outer.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - outer.height()));
    if (x != outer.x() || y != outer.y()) w->move(x, y);
}

class screen_fitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Show comes before the window is mapped, so the user never sees it
        // at a size the screen cannot hold.
        if (event->type() == QEvent::Show && watched == parent()) fit(static_cast<QWidget*>(watched));
        return false;
    }
};

}  // namespace

void keep_narrow(QComboBox* box) {
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(16);
}

void keep_on_screen(QWidget* window) {
    if (!window) return;
    window->installEventFilter(new screen_fitter(window));
}

}  // namespace lv
