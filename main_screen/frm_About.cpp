#include "main_screen/frm_About.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include "core/startup.h"
#include "platform/controls/label_control.h"
#include "platform/desktop/screen_fit.h"

namespace lv {

const char* const frm_About::sysinfo_tools[] = {"hardinfo2", "hardinfo", "kinfocenter", nullptr};

std::function<std::string()> frm_About::find_sysinfo_tool = [] {
    for (const char* const* t = sysinfo_tools; *t; ++t) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(*t));
        if (!path.isEmpty()) return path.toStdString();
    }
    return std::string();
};

std::function<bool(const std::string&)> frm_About::start_program = [](const std::string& program) {
    return QProcess::startDetached(QString::fromStdString(program), {});
};

std::function<bool(const QUrl&)> frm_About::open_url = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

std::string about_version_text() {
    return "Version " + std::to_string(version_major) + "." + std::to_string(version_minor) + "." +
           std::to_string(version_revision);
}

namespace {

// The about box's picture: a lens flare over a dusk sky.
QPixmap about_picture() {
    QImage img(96, 96, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 96);
    sky.setColorAt(0, QColor(24, 30, 80));
    sky.setColorAt(1, QColor(200, 90, 60));
    p.setBrush(sky);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 2, 92, 92), 14, 14);
    QRadialGradient sun(QPointF(48, 58), 30);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(0.4, QColor(255, 200, 90, 220));
    sun.setColorAt(1, QColor(255, 120, 40, 0));
    p.setBrush(sun);
    p.drawEllipse(QPointF(48, 58), 30, 30);
    return QPixmap::fromImage(img);
}

}  // namespace

frm_About::frm_About(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setModal(true);
    setWindowTitle(QStringLiteral("About ") + QStringLiteral("Lumivane"));

    Image1 = new QLabel(this);
    Image1->setPixmap(about_picture());

    FXLabel1 = new LabelControl(this);
    FXLabel1->set_font(QStringLiteral("Arial"), 24, true, true);
    FXLabel1->set_fill_mode(2);
    FXLabel1->set_gradient_kind(2);
    FXLabel1->set_gradient_colors(0x00B4501E, 0x0078285A);
    FXLabel1->set_relief(6, 2);
    FXLabel1->set_caption(QStringLiteral("Lumivane"));
    FXLabel1->set_effect(2, 1, 2);
    FXLabel2 = new LabelControl(this);
    FXLabel2->set_font(QStringLiteral("Arial"), 12, true, false);
    FXLabel2->set_text_color(0x00503C28);
    FXLabel2->set_caption(QString::fromStdString(about_version_text()));
    for (LabelControl* l : {FXLabel1, FXLabel2}) l->setMinimumSize(l->caption_size());

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setToolTip(QStringLiteral(" Click Here To View Your System Information "));
    Command1 = new QPushButton(QStringLiteral("&Tavrel Software Home Page"), this);
    Command1->setToolTip(QStringLiteral(
        " Click Here To Visit The Tavrel Software Website For The Latest Screen Savers And Multimedia Tools! "));
    Command2 = new QPushButton(QStringLiteral("Lumivane &Home Page"), this);
    Command2->setToolTip(QStringLiteral(" Click Here To Visit The Lumivane Home Page On The Internet "));
    for (QPushButton* b : {cmdSysInfo, Command1, Command2}) b->setAutoDefault(false);

    connect(cmdOK, &QPushButton::clicked, this, [this] { accept(); });
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(); });
    connect(Command1, &QPushButton::clicked, this, [this] { open_web_page(maker_home_page); });
    connect(Command2, &QPushButton::clicked, this, [this] { open_web_page(product_home_page); });

    auto* text = new QVBoxLayout;
    text->addWidget(FXLabel1);
    text->addWidget(FXLabel2);
    text->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addWidget(cmdSysInfo);
    buttons->addWidget(cmdOK);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addSpacing(12);
    layout->addLayout(buttons);
}

void frm_About::show_box(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

void frm_About::StartSysInfo() {
    const std::string tool = find_sysinfo_tool ? find_sysinfo_tool() : std::string();
    if (tool.empty() || !start_program || !start_program(tool)) {
        show_box(QStringLiteral("Lumivane"), QString::fromLatin1(sysinfo_unavailable_text));
    }
}

void frm_About::open_web_page(const char* address) {
    const bool ok = open_url && open_url(QUrl(QString::fromLatin1(address)));
    if (!ok) show_box(QStringLiteral("Error!"), QString::fromLatin1(browser_error_text));
}

}  // namespace lv
