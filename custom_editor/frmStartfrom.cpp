#include "custom_editor/frmStartfrom.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "core/document.h"
#include "core/file_names.h"
#include "core/hooks.h"
#include "core/state.h"
#include "platform/desktop/screen_fit.h"

namespace lv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The fields of sequence n that the dialog shows; empty for a number outside
// the document.
std::string image_title(int n) {
    const auto& d = doc();
    if (n < 1 || n > d.image_count || static_cast<std::size_t>(n) >= d.sequences.size()) return {};
    return file_title(d.sequences.image_file[static_cast<std::size_t>(n)]);
}

std::string caption_of(int n) {
    const auto& d = doc();
    if (n < 1 || n > d.image_count || static_cast<std::size_t>(n) >= d.sequences.size()) return {};
    return d.sequences.caption_text[static_cast<std::size_t>(n)];
}

// A label that shows as much of its text as its place in the dialog holds,
// with an ellipsis for the rest, and the whole text in its tooltip: a long
// file name or caption must not widen the dialog past the screen.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    void set_full_text(const QString& text) {
        full_ = text;
        setToolTip(text);
        elide();
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QLabel::resizeEvent(e);
        elide();
    }

private:
    void elide() {
        // Until the dialog is laid out the label has no width of its own.
        const bool placed = testAttribute(Qt::WA_WState_Visible) || testAttribute(Qt::WA_Resized);
        setText(placed ? fontMetrics().elidedText(full_, mode_, contentsRect().width()) : full_);
    }

    Qt::TextElideMode mode_;
    QString full_;
};

}  // namespace

frmStartfrom::frmStartfrom(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setWindowTitle(QStringLiteral("Preview SlideShow"));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("  What Image Would You Like To Start The SlideShow From?  "), this);
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    Label3 = new QLabel(this);
    Label2 = new QLabel(this);
    Label4 = new QLabel(this);
    Label4->setAlignment(Qt::AlignCenter);
    Label6 = new QLabel(QStringLiteral("Image:"), this);
    auto* image = new ElidedLabel(Qt::ElideMiddle, this);   // the file's type stays in view
    Label5 = image;
    Label8 = new QLabel(QStringLiteral("Caption:"), this);
    auto* caption = new ElidedLabel(Qt::ElideRight, this);
    Label7 = caption;
    Command21 = new QPushButton(QStringLiteral("&Ok"), this);
    Command21->setToolTip(QStringLiteral(" Exit and start the slideshow from selected setting "));
    Command21->setDefault(true);
    Command20 = new QPushButton(QStringLiteral("&Cancel And Exit"), this);
    Command20->setToolTip(QStringLiteral(" Cancel and exit "));

    auto* scroll_row = new QHBoxLayout;
    scroll_row->addWidget(Label3);
    scroll_row->addWidget(HScroll1, 1);
    scroll_row->addWidget(Label2);

    auto* details = new QGridLayout;
    details->addWidget(Label6, 0, 0);
    details->addWidget(Label5, 0, 1);
    details->addWidget(Label8, 1, 0);
    details->addWidget(Label7, 1, 1);
    details->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command21);
    buttons->addWidget(Command20);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(scroll_row);
    layout->addWidget(Label4);
    layout->addLayout(details);
    layout->addLayout(buttons);

    // The load.
    const int count = std::max(1, doc().image_count);
    Label3->setText(QStringLiteral("1"));
    Label2->setText(QString::number(doc().image_count));
    HScroll1->setMinimum(1);
    HScroll1->setMaximum(count);
    HScroll1->setPageStep(std::max(1, count / 10));
    const int start = std::clamp(run().start_image, 1, count);
    HScroll1->setValue(start);
    Label4->setText(QString::number(HScroll1->value()));
    image->set_full_text(qs(image_title(start)));
    caption->set_full_text(qs(caption_of(start)));

    connect(HScroll1, &QScrollBar::valueChanged, this, &frmStartfrom::scroll_changed);
    connect(Command21, &QPushButton::clicked, this, [this] {
        run().start_image = HScroll1->value();
        accept();
    });
    connect(Command20, &QPushButton::clicked, this, [this] {
        run().start_image = 0;
        reject();
    });
    // Esc and the window's close box count as "&Cancel And Exit": a user who
    // closes the chooser does not expect the show to start.
    connect(this, &QDialog::rejected, this, [] { run().start_image = 0; });
}

void frmStartfrom::scroll_changed(int v) {
    Label4->setText(QString::number(v));
    static_cast<ElidedLabel*>(Label5)->set_full_text(qs(image_title(v)));
    static_cast<ElidedLabel*>(Label7)->set_full_text(qs(caption_of(v)));
    yield_events();
}

}  // namespace lv
