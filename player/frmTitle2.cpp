#include "player/frmTitle2.h"

#include <QLabel>
#include <QMessageBox>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "core/file_names.h"
#include "core/hooks.h"
#include "core/simple_builder.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "platform/desktop/desktop_services.h"
#include "player/frmSlideshow.h"

namespace lv {

std::function<void()> frmTitle2::play_show = [] { frmSlideshow::show_modal(); };

frmTitle2::frmTitle2(std::string path, QWidget* parent) : QDialog(parent), path_(std::move(path)) {
    setWindowTitle(QStringLiteral("Lumivane - SlideShow Player"));
    setModal(true);
    Label1 = new QLabel(QStringLiteral("Initializing...please wait."), this);
    Label1->setAlignment(Qt::AlignCenter);
    QFont f = Label1->font();
    f.setPointSize(f.pointSize() + 4);
    Label1->setFont(f);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    setMinimumSize(360, 120);
    // Sized and centred before it is shown: a window that takes its size
    // only when it is shown can reach the X server at the default size and
    // stay there, off the centre it was placed at.
    adjustSize();
    center_form(this);

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(splash_ms);
    connect(Timer1, &QTimer::timeout, this, &frmTitle2::timer_tick);
}

void frmTitle2::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!played_ && !Timer1->isActive()) Timer1->start();
}

void frmTitle2::timer_tick() {
    if (played_) return;
    played_ = true;
    play_selected(path_);
}

void frmTitle2::report(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Lumivane"), text, QMessageBox::Ok, this);
    box.exec();
}

void frmTitle2::play_selected(const std::string& path) {
    auto play = [] {
        yield_events();
        run().screensaver_slideshow_path.clear();   // play the document just loaded
        run().show_origin = 1;
        yield_events();
        if (play_show) play_show();
        run().show_origin = 0;
    };

    if (!file_exists(path)) {
        report(QString::fromLatin1(file_not_found_text) + QStringLiteral("\n\n") + QString::fromStdString(path));
    } else if (auto kind = read_slideshow_kind(path); !kind) {
        // There, but not readable (permissions, a folder, a cut header).
        report(QString::fromLatin1(load_error_text));
    } else if (*kind == "Custom") {
        if (load_custom_file(path) == 1) {
            report(QString::fromLatin1(load_error_text));
        } else {
            play();
        }
    } else if (load_random_file(path) == 1) {
        report(QString::fromLatin1(load_error_text));
    } else if (build_random_slideshow() == 1) {
        report(QString::fromLatin1(build_error_text));
    } else {
        // A build that found nothing (2) still plays: the player shows its
        // placeholder.
        play();
    }
    yield_events();
    accept();
}

}  // namespace lv
