#include "simple_editor/frmRandom.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/file_names.h"
#include "core/simple_builder.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "platform/desktop/launch.h"
#include "platform/desktop/places.h"
#include "platform/desktop/desktop_services.h"
#include "platform/desktop/frmPopmessage.h"
#include "platform/desktop/screen_fit.h"
#include "player/frmSlideshow.h"

#include "custom_editor/frmCaptionSettings.h"
#include "custom_editor/FrmBorder.h"
#include "custom_editor/picker_common.h"

namespace lv {

namespace {

// What each panel's file list shows; it sets the browser's display only.
const char* const file_patterns[3] = {
    "*.gif;*.jpg;*.bmp;*.avi;*.mpg;*.dib;*.pic;*.jif;*.kqp;*.pcx;*.png;*.rle;*.tga;*.tif;*.wmf;*.wpg",
    "*.gif;*.jpg;*.bmp;*.dib;*.pic;*.jif;*.kqp;*.pcx;*.png;*.rle;*.tga;*.tif;*.wmf;*.wpg",
    "*.mid;*.rmi;*.wav;*.mp3;*.cda",
};

const char* const frame_captions[3] = {
    "Select Image Folders",
    "Select Background Folders (Tiled Background)",
    "Select Audio Folders",
};

const char* const list_tips[3] = {
    " This is a list of selected folders. Your slideshow will consist of images found in these folders. ",
    " This is a list of selected folders. Your background images will consist of images found in these folders. ",
    " This is a list of selected folders. Your list of background music will consist of audio files found in these folders. ",
};

const char* const display_positions[13] = {
    "Center Full Screen 100%", "Center Full Screen 75%", "Center Full Screen 50%",
    "Tile To Screen",          "Top Justify Left",       "Top Justify Middle",
    "Top Justify Right",       "Middle Justify Left",    "Middle Justify Middle",
    "Middle Justify Right",    "Bottom Justify Left",    "Bottom Justify Middle",
    "Bottom Justify Right",
};

// Characters the name box refuses: the name becomes a file name and a text
// field of the file.
bool refused_name_char(QChar c) { return refused_in_slideshow_name(c.unicode()); }

// The new text less the refused characters among those the edit brought in
// (the part between what old and new share at either end). Characters the
// name already had stay: a stored name is the user's to keep. cursor is set
// to just after the inserted part.
QString without_refused_insert(const QString& old, const QString& now, int& cursor) {
    const qsizetype most = std::min(old.size(), now.size());
    qsizetype head = 0;
    while (head < most && old[head] == now[head]) ++head;
    qsizetype tail = 0;
    while (tail < most - head && old[old.size() - 1 - tail] == now[now.size() - 1 - tail]) ++tail;
    QString inserted;
    for (const QChar c : now.mid(head, now.size() - head - tail))
        if (!refused_name_char(c)) inserted += c;
    cursor = static_cast<int>(head + inserted.size());
    return now.left(head) + inserted + now.right(tail);
}

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string home_folder() { return with_slash(QDir::homePath().toStdString()); }

bool readable_folder(const std::string& folder) {
    const QFileInfo fi(QString::fromStdString(folder));
    return !folder.empty() && fi.isDir() && fi.isReadable() && fi.isExecutable();
}

// The remembered folder of a panel, or the nearest folder above it that still
// exists, or home: a panel always opens on something it can show.
std::string usable_folder(const std::string& remembered) {
    if (!remembered.empty() && remembered.front() == '/') {
        std::string p = with_slash(QDir::cleanPath(QString::fromStdString(remembered)).toStdString());
        while (true) {
            if (readable_folder(p)) return p;
            if (p == "/") break;
            p.pop_back();                          // the trailing "/"
            p.erase(p.find_last_of('/') + 1);      // the last folder's name
        }
    }
    return home_folder();
}

// Set on a folder tree while its open folder is to be kept in view.
constexpr const char* reveal_key = "lv_reveal_open_folder";

void reveal_folder(QTreeView* tree) {
    if (!tree || !tree->property(reveal_key).toBool()) return;
    const QModelIndex open = tree->currentIndex();
    if (open.isValid()) tree->scrollTo(open, QAbstractItemView::PositionAtCenter);
}

// The folder a panel opens on: its remembered one, or, while that is still
// the program's own folder with nothing of the panel's kind in it, the
// user's Pictures or Music folder.
std::string panel_start(int k) {
    const auto& p = program();
    return opening_folder(p.last_random_folders[static_cast<std::size_t>(k)], p.program_folder,
                          k == 2 ? media_kind::sounds : media_kind::pictures,
                          QString::fromLatin1(file_patterns[k]).split(u';'));
}

// Holds a form's busy flag for the length of a command, across every yield.
struct busy_hold {
    int& flag;
    explicit busy_hold(int& f) : flag(f) { ++flag; }
    ~busy_hold() { --flag; }
};

}  // namespace

std::function<void()> frmRandom::play_preview = [] { frmSlideshow::show_modal(); };
std::function<bool(const std::string&, const std::string&, const std::string&)> frmRandom::launcher =
    desktop_open_file;

// ---------------------------------------------------------------------------
// drives

std::vector<std::string> frmRandom::drive_roots() {
    // The same places as the custom editor's file pickers offer.
    std::vector<std::string> roots;
    for (const std::string& p : storage_places()) roots.push_back(with_slash(p));
    return roots;
}

std::string frmRandom::drive_of(const std::string& folder, const std::vector<std::string>& roots) {
    const std::string f = with_slash(folder);
    std::string best = "/";
    for (const std::string& r : roots)
        if (f.rfind(r, 0) == 0 && r.size() > best.size()) best = r;
    return best;
}

// ---------------------------------------------------------------------------
// construction

frmRandom::frmRandom(QWidget* parent) : QWidget(parent, Qt::Window) {
    keep_on_screen(this);
    setAttribute(Qt::WA_DeleteOnClose);
    roots_ = drive_roots();

    auto* top = new QVBoxLayout(this);
    auto* panels = new QHBoxLayout;
    top->addLayout(panels, 1);
    for (int k = 0; k < 3; ++k) {
        build_panel(k);
        panels->addWidget(Frame1[k], 1);
    }

    auto* bottom = new QHBoxLayout;
    top->addLayout(bottom);

    Frame2 = new QGroupBox(QStringLiteral("Options"), this);
    auto* og = new QGridLayout(Frame2);
    Label2 = new QLabel(QStringLiteral("Video Effects"), Frame2);
    og->addWidget(Label2, 0, 0);
    auto* speeds = new QButtonGroup(this);
    const char* const speed_caps[3] = {"Slow", "Normal", "Fast"};
    const char* const speed_tips[3] = {" Slow effects ", " Normal effects ", " Fast effects "};
    for (int i = 0; i < 3; ++i) {
        Option1[i] = new QRadioButton(QString::fromLatin1(speed_caps[i]), Frame2);
        Option1[i]->setToolTip(QString::fromLatin1(speed_tips[i]));
        speeds->addButton(Option1[i], i);
        og->addWidget(Option1[i], 0, 1 + i);
    }
    Check1 = new QCheckBox(QStringLiteral("Display Border"), Frame2);
    Check1->setToolTip(QStringLiteral(" Place a check here to display a border around each image "));
    Command3 = new QPushButton(QStringLiteral("Config"), Frame2);
    Command3->setToolTip(QStringLiteral(" Click here to edit the border settings "));
    og->addWidget(Check1, 1, 0, 1, 2);
    og->addWidget(Command3, 1, 2);
    Check2 = new QCheckBox(QStringLiteral("Show  File Names"), Frame2);
    Check2->setToolTip(QStringLiteral(" Place a check here to display filenames during your slideshow "));
    Command4 = new QPushButton(QStringLiteral("Config"), Frame2);
    Command4->setToolTip(QStringLiteral(" Click here to edit the file name font settings "));
    og->addWidget(Check2, 2, 0, 1, 2);
    og->addWidget(Command4, 2, 2);
    Label3 = new QLabel(QStringLiteral("Delay Between Images  (Seconds)"), Frame2);
    Label3->setToolTip(QStringLiteral(" How long to view each image during your slideshow "));
    og->addWidget(Label3, 3, 0, 1, 4);
    HScroll1 = new QScrollBar(Qt::Horizontal, Frame2);
    HScroll1->setRange(1, 120);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(10);
    Label1 = new QLabel(Frame2);
    Label1->setMinimumWidth(30);
    og->addWidget(HScroll1, 4, 0, 1, 3);
    og->addWidget(Label1, 4, 3);
    Label4 = new QLabel(QStringLiteral("Display Images"), Frame2);
    og->addWidget(Label4, 5, 0, 1, 4);
    Combo1 = new QComboBox(Frame2);
    Combo1->setToolTip(QStringLiteral(" Choose the display settings for your slideshow "));
    og->addWidget(Combo1, 6, 0, 1, 4);
    bottom->addWidget(Frame2, 1);

    auto* right = new QVBoxLayout;
    bottom->addLayout(right, 1);
    Label24 = new QLabel(QStringLiteral("Enter A Name For This SlideShow:"), this);
    Text3 = new QLineEdit(this);
    Text3->setToolTip(QStringLiteral(" Enter a name for this slideshow "));
    right->addWidget(Label24);
    right->addWidget(Text3);
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    right->addLayout(buttons);
    Command7 = new QToolButton(this);
    Command7->setIcon(QIcon::fromTheme(QStringLiteral("help-browser"),
                                       style()->standardIcon(QStyle::SP_MessageBoxQuestion)));
    Command7->setToolTip(QStringLiteral(" Open The Help File "));
    Command22 = new QPushButton(QStringLiteral("&Preview"), this);
    Command22->setToolTip(QStringLiteral(" Click here to preview your slideshow "));
    Command20 = new QPushButton(QStringLiteral("&Cancel And Exit"), this);
    Command20->setToolTip(QStringLiteral(" Cancel and exit without saving "));
    Command21 = new QPushButton(QStringLiteral("&Save And Exit"), this);
    Command21->setToolTip(QStringLiteral(" Click here to save the current slideshow settings and exit "));
    buttons->addWidget(Command7);
    buttons->addStretch(1);
    buttons->addWidget(Command22);
    buttons->addWidget(Command20);
    buttons->addWidget(Command21);

    Timer1 = new QTimer(this);
    Timer1->setInterval(200);

    // Values the user changes go into the definition at once.
    // Typing and pasting both pass the filter. A validator would also rewrite
    // the name a stored file brings in when the form sets it, and Save would
    // then write a second file, so the filter runs on user edits only.
    // textEdited comes before textChanged, so the definition still holds the
    // name as it was before this edit.
    connect(Text3, &QLineEdit::textEdited, this, [this](const QString& t) {
        int cursor = 0;
        const QString kept = without_refused_insert(QString::fromStdString(doc().random_name), t, cursor);
        if (kept.size() == t.size()) return;
        Text3->setText(kept);
        Text3->setCursorPosition(cursor);
    });
    // The box, not the signal's text: when the filter above rewrites an edit,
    // the edit's own textChanged still arrives afterwards with the raw text.
    connect(Text3, &QLineEdit::textChanged, this,
            [this] { doc().random_name = Text3->text().toStdString(); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) {
        doc().random_image_delay = v;
        Label1->setText(QString::number(v));
    });

    connect(Command3, &QPushButton::clicked, this, &frmRandom::border_config);
    connect(Command4, &QPushButton::clicked, this, &frmRandom::caption_config);
    connect(Command7, &QToolButton::clicked, this, &frmRandom::help);
    connect(Command20, &QPushButton::clicked, this, &frmRandom::cancel_and_exit);
    connect(Command21, &QPushButton::clicked, this, &frmRandom::save_and_exit);
    connect(Command22, &QPushButton::clicked, this, &frmRandom::preview);
    connect(Timer1, &QTimer::timeout, this, &frmRandom::timer1_tick);

    // F1..F12 reach the window whichever control has the focus.
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

    resize(1000, 720);
    form_load();
}

frmRandom::~frmRandom() { form_unload(); }

void frmRandom::build_panel(int k) {
    Frame1[k] = new QGroupBox(QString::fromLatin1(frame_captions[k]), this);
    auto* v = new QVBoxLayout(Frame1[k]);

    Drive1[k] = new QComboBox(Frame1[k]);
    for (const storage_place& p : place_list())
        Drive1[k]->addItem(QString::fromStdString(p.label), QString::fromStdString(with_slash(p.path)));
    keep_narrow(Drive1[k]);
    v->addWidget(Drive1[k]);

    dir_model_[k] = new QFileSystemModel(this);
    dir_model_[k]->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    dir_model_[k]->setReadOnly(true);
    Dir1[k] = new QTreeView(Frame1[k]);
    Dir1[k]->setModel(dir_model_[k]);
    for (int c = 1; c < dir_model_[k]->columnCount(); ++c) Dir1[k]->hideColumn(c);
    Dir1[k]->header()->hide();
    Dir1[k]->setSortingEnabled(true);
    Dir1[k]->sortByColumn(0, Qt::AscendingOrder);
    Dir1[k]->setSelectionMode(QAbstractItemView::SingleSelection);
    v->addWidget(Dir1[k], 3);

    File1[k] = new QListWidget(Frame1[k]);
    File1[k]->setSelectionMode(QAbstractItemView::SingleSelection);
    File1[k]->setToolTip(QStringLiteral(
        " To add a folder to your slideshow simply click on it to highlight it and then click on ADD FOLDER "));
    v->addWidget(File1[k], 2);

    Command1[k] = new QPushButton(QStringLiteral("Add Folder"), Frame1[k]);
    Command1[k]->setToolTip(QStringLiteral(" Click here to add the selected folder "));
    v->addWidget(Command1[k]);

    List1[k] = new QListWidget(Frame1[k]);
    List1[k]->setSelectionMode(QAbstractItemView::SingleSelection);
    List1[k]->setToolTip(QString::fromLatin1(list_tips[k]));
    v->addWidget(List1[k], 2);

    auto* row = new QHBoxLayout;
    Command2[k] = new QPushButton(QStringLiteral("Remove Selected Folder"), Frame1[k]);
    Command2[k]->setToolTip(QStringLiteral(" Click here to remove the selected folder "));
    Command5[k] = new QToolButton(Frame1[k]);
    Command5[k]->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    Command5[k]->setToolTip(QStringLiteral(" Click here to move the selected folder up one in the list "));
    Command6[k] = new QToolButton(Frame1[k]);
    Command6[k]->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    Command6[k]->setToolTip(QStringLiteral(" Click here to move the selected folder down one in the list "));
    row->addWidget(Command2[k], 1);
    row->addWidget(Command5[k]);
    row->addWidget(Command6[k]);
    v->addLayout(row);

    connect(Drive1[k], &QComboBox::activated, this,
            [this, k](int i) { set_drive(k, Drive1[k]->itemData(i).toString().toStdString()); });
    // A click on a folder shows its files at once; so does moving through the
    // folders with the keyboard. Moves made by the form itself are not the
    // user's and are left alone.
    auto pick = [this, k](const QModelIndex& idx) {
        if (dir_guard_ || !idx.isValid()) return;
        file_path_[k] = with_slash(dir_model_[k]->filePath(idx).toStdString());
        fill_files(k);
    };
    connect(Dir1[k], &QTreeView::clicked, this, pick);
    connect(Dir1[k]->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [pick](const QModelIndex& cur, const QModelIndex&) { pick(cur); });
    // The model reads folders in the background and sorts them afterwards,
    // which moves the rows under the open folder: it is scrolled back into
    // view until the user takes over the tree.
    auto reveal = [this, k] { reveal_folder(Dir1[k]); };
    connect(dir_model_[k], &QFileSystemModel::directoryLoaded, this, reveal);
    connect(dir_model_[k], &QAbstractItemModel::layoutChanged, this, reveal);
    connect(dir_model_[k], &QAbstractItemModel::rowsInserted, this, reveal);
    connect(Command1[k], &QPushButton::clicked, this, [this, k] { add_folder(k); });
    connect(Command2[k], &QPushButton::clicked, this, [this, k] { remove_folder(k); });
    connect(Command5[k], &QToolButton::clicked, this, [this, k] { move_up(k); });
    connect(Command6[k], &QToolButton::clicked, this, [this, k] { move_down(k); });
}

void frmRandom::form_load() {
    auto& d = doc();
    setWindowTitle(QStringLiteral("Lumivane - Simple SlideShow Editor"));

    for (int k = 0; k < 3; ++k) show_dir(k, usable_folder(panel_start(k)));

    for (const char* p : display_positions) Combo1->addItem(QString::fromLatin1(p));

    // Only an existing slideshow brings its folders; a new one starts empty
    // whatever the definition in memory still holds behind its counts.
    if (editors().editing_existing == 1) {
        for (int k = 0; k < 3; ++k) {
            const int n = std::clamp(d.random_folder_counts[k], 0, max_folders);
            for (int j = 1; j <= n; ++j)
                List1[k]->addItem(QString::fromStdString(d.random_folders[k][j]));
        }
    }

    Text3->setText(QString::fromStdString(d.random_name));
    Check2->setChecked(d.random_show_file_names == 1);
    Check1->setChecked(d.border.border_off == 0);
    // A value the controls cannot show (from a hand-made file) selects
    // nothing and is kept as it is, rather than being forced to something.
    if (d.random_effect_speed >= 0 && d.random_effect_speed <= 2)
        Option1[d.random_effect_speed]->setChecked(true);
    HScroll1->setValue(d.random_image_delay);
    Label1->setText(QString::number(HScroll1->value()));
    Combo1->setCurrentIndex(d.random_display_position >= 0 && d.random_display_position <= 12
                                ? d.random_display_position
                                : -1);

    timer1_tick();
    Timer1->start();
}

void frmRandom::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // The trees have their real height only now.
    QTimer::singleShot(0, this, [this] {
        for (QTreeView* t : Dir1) reveal_folder(t);
    });
    if (!activated_) {
        activated_ = true;
        // After the window is up and painted: help pop-up 6, once per opening.
        QTimer::singleShot(0, this, [this] { first_activation(); });
    }
}

void frmRandom::first_activation() {
    repaint();
    show_message(6);
}

// ---------------------------------------------------------------------------
// closing

void frmRandom::closeEvent(QCloseEvent* e) {
    // A command that yields (the build, the save, the preview, a dialog) still
    // runs on this window: it closes when that command is done.
    if (busy_) {
        e->ignore();
        return;
    }
    form_unload();
    e->accept();
}

void frmRandom::form_unload() {
    if (unloaded_) return;
    unloaded_ = true;
    if (Timer1) Timer1->stop();
    editors().random_editor_open = 0;
    for (int k = 0; k < 3; ++k)
        if (!file_path_[k].empty()) program().last_random_folders[k] = file_path_[k];
}

void frmRandom::cancel_and_exit() {
    if (busy_) return;
    close();
}

// ---------------------------------------------------------------------------
// folder browsing

void frmRandom::show_dir(int k, const std::string& folder_in) {
    const std::string folder = with_slash(folder_in);
    const std::string drive = drive_of(folder, roots_);
    const int di = Drive1[k]->findData(QString::fromStdString(drive));
    Drive1[k]->setCurrentIndex(di);

    ++dir_guard_;
    QFileSystemModel* m = dir_model_[k];
    const QString root = QString::fromStdString(drive);
    m->setRootPath(root);
    Dir1[k]->setRootIndex(m->index(root));
    const QModelIndex idx = m->index(QString::fromStdString(folder));
    if (idx.isValid()) {
        for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent()) Dir1[k]->expand(p);
        Dir1[k]->setCurrentIndex(idx);
        Dir1[k]->setProperty(reveal_key, true);
        reveal_folder(Dir1[k]);
    } else {
        Dir1[k]->setCurrentIndex(QModelIndex());
    }
    --dir_guard_;

    file_path_[k] = folder;
    fill_files(k);
}

void frmRandom::set_folder(int k, const std::string& folder) {
    if (k < 0 || k > 2) return;
    show_dir(k, folder);
}

void frmRandom::set_drive(int k, const std::string& drive) {
    if (k < 0 || k > 2) return;
    if (readable_folder(drive)) {
        show_dir(k, drive);
        return;
    }
    // The drive cannot be read: back to the panel's remembered folder.
    show_dir(k, usable_folder(panel_start(k)));
}

void frmRandom::fill_files(int k) {
    File1[k]->clear();
    QDir d(QString::fromStdString(file_path_[k]));
    // Name filters without QDir::CaseSensitive match in any letter case.
    const QStringList names = d.entryList(QString::fromLatin1(file_patterns[k]).split(u';'),
                                          QDir::Files, QDir::Name | QDir::IgnoreCase);
    File1[k]->addItems(names);
}

// ---------------------------------------------------------------------------
// the folder lists

int frmRandom::selected_index(int k) const {
    const int row = List1[k]->currentRow();
    if (row < 0) return -1;
    QListWidgetItem* it = List1[k]->item(row);
    return it && it->isSelected() ? row : -1;
}

void frmRandom::add_folder(int k) {
    if (k < 0 || k > 2) return;
    const QString path = QString::fromStdString(with_slash(file_path_[k]));
    for (int i = 0; i < List1[k]->count(); ++i)
        if (List1[k]->item(i)->text() == path) return;   // already there, same letter case
    // Refused now, with its name, rather than at the save.
    if (!storable_choice(this, path.toStdString())) return;
    if (List1[k]->count() < max_folders) {
        List1[k]->addItem(path);
        return;
    }
    message("You can only add up to 100 folders!", "Folder Capacity Reached!");
}

void frmRandom::remove_folder(int k) {
    if (k < 0 || k > 2) return;
    const int idx = selected_index(k);
    if (idx < 0) return;
    delete List1[k]->takeItem(idx);
    // Nothing is selected afterwards, so a second click removes nothing more.
    List1[k]->setCurrentRow(-1);
    List1[k]->clearSelection();
}

void frmRandom::swap_entries(int k, int a, int b) {
    QListWidgetItem* ia = List1[k]->item(a);
    QListWidgetItem* ib = List1[k]->item(b);
    const QString ta = ia->text();
    ia->setText(ib->text());
    ib->setText(ta);
}

void frmRandom::move_up(int k) {
    if (k < 0 || k > 2) return;
    const int idx = selected_index(k);
    if (idx > 0) {
        swap_entries(k, idx - 1, idx);
        List1[k]->setCurrentRow(idx - 1);
    }
}

void frmRandom::move_down(int k) {
    if (k < 0 || k > 2) return;
    const int idx = selected_index(k);
    if (idx >= 0 && idx + 1 < List1[k]->count()) {
        swap_entries(k, idx, idx + 1);
        List1[k]->setCurrentRow(idx + 1);
    }
}

void frmRandom::timer1_tick() {
    // Qt hands the focus of a button it greys out to the next control of the
    // tab chain, where the next Space would press whatever that is. The
    // folder list the button works on is the harmless place for it.
    const auto set_enabled = [](QWidget* button, bool on, QWidget* list) {
        if (!on && button->hasFocus()) list->setFocus(Qt::OtherFocusReason);
        button->setEnabled(on);
    };
    for (int k = 0; k < 3; ++k) {
        const bool sel = selected_index(k) >= 0;
        set_enabled(Command2[k], sel, List1[k]);
        const bool movable = sel && List1[k]->count() > 1;
        set_enabled(Command5[k], movable, List1[k]);
        set_enabled(Command6[k], movable, List1[k]);
    }
    const bool any_images = List1[0]->count() >= 1;
    Command21->setEnabled(any_images);
    Command22->setEnabled(any_images);
}

// ---------------------------------------------------------------------------
// public operations

void frmRandom::collect_folders() {
    auto& d = doc();
    for (int k = 0; k < 3; ++k) {
        const int n = std::min(List1[k]->count(), max_folders);
        d.random_folder_counts[k] = n;
        for (int j = 1; j <= n; ++j) d.random_folders[k][j] = List1[k]->item(j - 1)->text().toStdString();
    }
}

void frmRandom::get_values() {
    auto& d = doc();
    for (int i = 0; i < 3; ++i)
        if (Option1[i]->isChecked()) d.random_effect_speed = i;
    d.border.border_off = Check1->isChecked() ? 0 : 1;
    d.random_show_file_names = Check2->isChecked() ? 1 : 0;
    d.random_image_delay = HScroll1->value();
    if (Combo1->currentIndex() >= 0) d.random_display_position = Combo1->currentIndex();
}

int frmRandom::save_random(const std::string& path) {
    hourglass_on();
    const int r = lv::save_random(path);
    hourglass_off();
    return r;
}

void frmRandom::launch_file(const std::string& file, const std::string& parameters, const std::string&) {
    const std::string title = file_title(file);
    const std::string folder = file.substr(0, file.size() - title.size());
    const bool ok = launcher && launcher(file, parameters, folder);
    if (!ok) message("Error Launching Program!\n" + file + "\nPlease check the source file.");
}

void frmRandom::help() { launch_file(settings().install_path + "help.hlp", ""); }

bool frmRandom::hot_key(int key) {
    if (key < Qt::Key_F1 || key > Qt::Key_F12) return false;
    const int k = key - Qt::Key_F1;
    const std::string& bound = settings().hot_keys[static_cast<std::size_t>(k)];
    if (!bound.empty()) {
        launch_file(bound, "");
    } else {
        message("There is no file assoicated with the F" + std::to_string(k + 1) +
                    " key.\n\nPlease go to the OPTIONS screen to edit the hot key settings.",
                "Hot Key");
    }
    return true;
}

void frmRandom::keyPressEvent(QKeyEvent* e) {
    if (!hot_key(e->key())) QWidget::keyPressEvent(e);
}

bool frmRandom::eventFilter(QObject* watched, QEvent* event) {
    // The user's own click, key or wheel in a folder tree ends the scrolling
    // back to the open folder.
    const QEvent::Type t = event->type();
    if (t == QEvent::MouseButtonPress || t == QEvent::KeyPress || t == QEvent::Wheel)
        for (QTreeView* tree : Dir1)
            if (tree && (watched == tree || tree->isAncestorOf(qobject_cast<QWidget*>(watched))))
                tree->setProperty(reveal_key, false);
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() >= Qt::Key_F1 && ke->key() <= Qt::Key_F12) {
            hot_key(ke->key());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmRandom::message(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.exec();
}

// ---------------------------------------------------------------------------
// the dialogs

void frmRandom::border_config() {
    if (busy_) return;
    busy_hold hold(busy_);
    get_values();
    {
        FrmBorder dlg(this);
        dlg.exec();
    }
    // The dialog may have switched the border on or off.
    Check1->setChecked(doc().border.border_off == 0);
}

void frmRandom::caption_config() {
    if (busy_) return;
    busy_hold hold(busy_);
    get_values();
    frmCaptionSettings dlg(this);
    dlg.exec();
}

// ---------------------------------------------------------------------------
// save and preview

void frmRandom::save_and_exit() {
    if (busy_) return;
    bool saved = false;
    {
        busy_hold hold(busy_);
        const std::string name = doc().random_name;
        if (name.empty()) {
            message("Please enter a name for this slideshow!");
            return;
        }
        get_values();
        collect_folders();
        // The build yields while it scans: the name must not change under it.
        Text3->setReadOnly(true);
        const int r = build_random_slideshow();
        Text3->setReadOnly(false);
        if (r == 1) {
            message("Error trying to build SlideShow data! Cannot save SlideShow!");
            return;
        }
        if (r == 2) {
            message("No images to display were found! Please select a folder(s) with images in them.");
            return;
        }
        // A stored name the box never filtered may still hold a separator:
        // it must not put the file into another folder.
        const int w = usable_file_name(name) ? save_random(program().data_folder + name + ".lmv") : 1;
        if (w != 0) {
            message("Error During File Save! Please check storage media.");
            return;
        }
        settings().active_slideshow = name + ".lmv";
        saved = true;
    }
    if (saved) close();
}

void frmRandom::preview() {
    if (busy_) return;
    busy_hold hold(busy_);
    auto& st = settings();
    auto& d = doc();
    const int remembered = st.presentation_mode;
    get_values();
    collect_folders();
    const int r = build_random_slideshow();
    if (r == 1) {
        message("Error trying to build SlideShow data! Cannot display SlideShow!");
        return;
    }
    if (r == 2) {
        message("No images to display were found! Please select a folder(s) with images in them.");
        return;
    }
    st.presentation_mode = 0;
    run().screensaver_slideshow_path.clear();
    run().show_origin = 2;
    if (play_preview) play_preview();
    run().show_origin = 0;
    d.music_count = 0;
    redim_music(0);
    d.image_count = 0;
    redim_slides(0);
    st.presentation_mode = remembered;
}

}  // namespace lv
