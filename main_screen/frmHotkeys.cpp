#include "main_screen/frmHotkeys.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QVBoxLayout>

#include "core/file_names.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "main_screen/frmOptions.h"
#include "platform/desktop/screen_fit.h"

namespace lv {

const std::array<const char*, 8> hotkey_file_filters = {
    "Executable Files (*.exe)",
    "Batch Files (*.bat)",
    "Text Files (*.txt *.doc)",
    "Picture Files (*.jpg *.gif *.bmp *.tif *.mic)",
    "Audio Files (*.wav *.mid *.rmi)",
    "Movie Files (*.avi *.mov)",
    "HTML Files (*.htm *.html)",
    "All Files (*)",
};

namespace {

// The dialog's picture: a small key cap.
QPixmap key_picture() {
    QImage img(56, 56, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 90), 2));
    p.setBrush(QColor(225, 225, 240));
    p.drawRoundedRect(QRectF(4, 4, 48, 44), 8, 8);
    p.setBrush(QColor(245, 245, 255));
    p.drawRoundedRect(QRectF(9, 7, 38, 32), 6, 6);
    p.setPen(QColor(40, 40, 120));
    p.setFont(QFont(QStringLiteral("Arial"), 13, QFont::Bold));
    p.drawText(QRectF(9, 7, 38, 32), Qt::AlignCenter, QStringLiteral("F1"));
    return QPixmap::fromImage(img);
}

// Linux programs carry the execute bit, not an ".exe" ending. While the
// executables entry is chosen, the dialog's model lists every name and this
// proxy keeps the folders and the files that can be run (or end in ".exe").
class executable_filter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void set_active(bool on) {
        if (on == active_) return;
        active_ = on;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        if (!active_) return true;
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files) return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isExecutable() || info.suffix().compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0;
    }

private:
    bool active_ = false;
};

}  // namespace

frmHotkeys::frmHotkeys(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setWindowTitle(QStringLiteral("Configure Hot Keys  (F1 - F12)"));
    setModal(true);

    auto* grid = new QGridLayout;
    for (int k = 0; k < 12; ++k) {
        const auto i = static_cast<std::size_t>(k);
        Label1[i] = new QLabel(QStringLiteral("F%1").arg(k + 1), this);
        Text1[i] = new QLineEdit(this);
        Text1[i]->setMinimumWidth(360);
        Command1[i] = new QPushButton(QStringLiteral("..."), this);
        Command1[i]->setToolTip(QStringLiteral(" Select a new file for this hot key "));
        Command1[i]->setFixedWidth(32);
        Command1[i]->setAutoDefault(false);
        connect(Command1[i], &QPushButton::clicked, this, [this, k] { choose_file(k); });
        grid->addWidget(Label1[i], k, 0);
        grid->addWidget(Text1[i], k, 1);
        grid->addWidget(Command1[i], k, 2);
    }

    auto* picture = new QLabel(this);
    picture->setPixmap(key_picture());
    Label2 = new QLabel(QStringLiteral(
                            "Hot Keys are available from the main configuration screen, the Simple SlideShow Editor "
                            "and the Custom SlideShow Editor. All you have to do is press F1 - F12 to launch that "
                            "associated program."),
                        this);
    Label2->setWordWrap(true);
    Command21 = new QPushButton(QStringLiteral("&Ok"), this);
    Command21->setDefault(true);
    connect(Command21, &QPushButton::clicked, this, [this] { accept(); });

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(Label2, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(Command21);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid);
    layout->addLayout(bottom);

    CommonDialog1 = new QFileDialog(this);
    CommonDialog1->setFileMode(QFileDialog::ExistingFile);
    CommonDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    CommonDialog1->setOption(QFileDialog::DontUseNativeDialog, true);
    CommonDialog1->setProxyModel(new executable_filter(CommonDialog1));
    connect(CommonDialog1, &QFileDialog::filterSelected, this, &frmHotkeys::use_filter);

    // Load: the current bindings.
    for (int k = 0; k < 12; ++k)
        Text1[static_cast<std::size_t>(k)]->setText(QString::fromStdString(settings().hot_keys[static_cast<std::size_t>(k)]));
}

std::string frmHotkeys::get_file() {
    QStringList filters;
    for (const char* f : hotkey_file_filters) filters << QString::fromLatin1(f);
    CommonDialog1->setNameFilters(filters);
    CommonDialog1->selectNameFilter(filters.front());
    use_filter(filters.front());   // selecting the entry already shown signals nothing
    // A name picked in an earlier run stays selected in the list and would win
    // over what the user types now.
    CommonDialog1->selectFile(QString());
    // A cancelled dialog names no file: the last pick belongs to another key.
    std::string name;
    if (CommonDialog1->exec() == QDialog::Accepted && !CommonDialog1->selectedFiles().isEmpty())
        name = CommonDialog1->selectedFiles().front().toStdString();
    return file_exists(name) ? name : std::string();
}

void frmHotkeys::use_filter(const QString& entry) {
    const bool exe = entry == QLatin1String(hotkey_file_filters.front());
    // Runs after the dialog has given its model the entry's patterns.
    if (exe)
        if (auto* files = CommonDialog1->findChild<QFileSystemModel*>()) files->setNameFilters({});
    if (auto* proxy = dynamic_cast<executable_filter*>(CommonDialog1->proxyModel())) proxy->set_active(exe);
}

void frmHotkeys::choose_file(int k) {
    if (k < 0 || k > 11) return;
    const std::string f = get_file();
    Text1[static_cast<std::size_t>(k)]->setText(f.size() < 2 ? QString() : QString::fromStdString(f));
    yield_events();
}

void frmHotkeys::done(int r) {
    if (!unloaded_) {
        unloaded_ = true;
        // Stored exactly as typed, checked or not.
        for (int k = 0; k < 12; ++k)
            settings().hot_keys[static_cast<std::size_t>(k)] = Text1[static_cast<std::size_t>(k)]->text().toStdString();
        if (!save_settings())
            report_unsaved_settings(this, QStringLiteral("The hot keys"),
                                    QStringLiteral("They last only until Lumivane ends."));
    }
    QDialog::done(r);
}

}  // namespace lv
