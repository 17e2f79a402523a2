#include "player/frmPreview.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWindow>

#include "platform/desktop/x11_desktop.h"

namespace lv {

namespace {

// The fixed preview picture: a small scene of slides over a gradient with the
// program's name, drawn to whatever size the host window has.
class PreviewPicture : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = rect();
        QLinearGradient sky(r.topLeft(), r.bottomLeft());
        sky.setColorAt(0, QColor(16, 24, 72));
        sky.setColorAt(1, QColor(96, 32, 112));
        p.fillRect(r, sky);

        const double w = r.width(), h = r.height();
        const QColor slides[] = {QColor(230, 160, 40), QColor(60, 170, 120), QColor(70, 130, 220)};
        for (int i = 0; i < 3; ++i) {
            p.save();
            p.translate(w * (0.28 + 0.22 * i), h * 0.42);
            p.rotate(-12 + 12 * i);
            QRectF card(-w * 0.13, -h * 0.16, w * 0.26, h * 0.32);
            p.setPen(QPen(Qt::white, std::max(1.0, w / 120)));
            p.setBrush(slides[i]);
            p.drawRect(card);
            p.restore();
        }
        QFont f(QStringLiteral("Arial"));
        f.setBold(true);
        f.setPixelSize(std::max(8, static_cast<int>(h * 0.14)));
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, h * 0.72, w, h * 0.24), Qt::AlignCenter, QStringLiteral("Lumivane"));
    }
};

}  // namespace

bool frmPreview::can_embed_into(std::uint32_t window) {
    // Embedding needs Qt itself on X11, not just an X server to ask.
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    return !client_size(window).isEmpty();
}

QSize frmPreview::client_size(std::uint32_t window) {
    int w = 0, h = 0;
    if (window == 0 || !x11::window_size(window, &w, &h)) return {0, 0};
    return {w, h};
}

frmPreview::frmPreview(std::uint32_t parent_window) : parent_window_(parent_window) {
    Timer1 = new QTimer(this);
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, &frmPreview::timer_tick);

    // The window load.
    const QSize size = client_size(parent_window_);
    if (size.isEmpty()) {
        unload();
        return;
    }
    host_ = QWindow::fromWinId(static_cast<WId>(parent_window_));
    Picture1 = new PreviewPicture(nullptr);
    Picture1->setAttribute(Qt::WA_NativeWindow);
    Picture1->setAttribute(Qt::WA_DontCreateNativeAncestors);
    Picture1->winId();
    Picture1->windowHandle()->setParent(host_);
    Picture1->setGeometry(0, 0, size.width(), size.height());
    Picture1->show();
    preview_embedded = -1;
    Timer1->start();
}

frmPreview::~frmPreview() {
    delete Picture1;
    delete host_;
}

void frmPreview::timer_tick() {
    if (unloaded_) return;
    const QSize size = client_size(parent_window_);
    if (size.isEmpty() || preview_embedded != -1 || !Picture1 || !Picture1->isVisible()) {
        preview_embedded = 0;
        unload();
        return;
    }
    if (Picture1->size() != size) Picture1->setGeometry(0, 0, size.width(), size.height());
}

void frmPreview::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer1->stop();
    emit unloaded_signal();
}

int run_preview(std::int32_t window) {
    const auto id = static_cast<std::uint32_t>(window);
    if (!frmPreview::can_embed_into(id)) return 0;
    frmPreview form(id);
    if (!form.unloaded()) {
        QEventLoop loop;
        QObject::connect(&form, &frmPreview::unloaded_signal, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // The host took our window down with it; Qt's complaints about a window
    // that is already gone are of no interest.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.xcb.warning=false"));
    return 0;
}

}  // namespace lv
