#include "custom_editor/picker_common.h"

#include "core/file_names.h"
#include "core/fit_picture.h"
#include "core/hooks.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "platform/media/audio.h"
#include "platform/desktop/desktop_services.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "platform/desktop/focus_keep.h"
#include "platform/desktop/screen_fit.h"

#include <QBoxLayout>
#include <QDir>
#include <QDirIterator>
#include <QEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cctype>

namespace lv {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

QString clean_folder(const QString& folder) { return QDir::cleanPath(QDir(folder).absolutePath()); }

bool folder_readable(const QString& folder) {
    const QFileInfo info(folder);
    return info.exists() && info.isDir() && info.isReadable() && info.isExecutable();
}

}  // namespace

// ---------------------------------------------------------------- patterns

QStringList pattern_filters(const QString& pattern) {
    QStringList out;
    for (const QString& part : pattern.split(QLatin1Char(';'))) {
        const QString p = part.trimmed();
        if (!p.isEmpty() && !out.contains(p, Qt::CaseInsensitive)) out << p;
    }
    return out;
}

// ---------------------------------------------------------------- Drive1

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    const std::string home = s(clean_folder(QDir::homePath()));
    QFileIconProvider icons;
    for (const storage_place& place : place_list()) {
        const bool is_home = place.path == home;
        addItem(icons.icon(is_home ? QFileIconProvider::Folder : QFileIconProvider::Drive), q(place.label),
                q(place.path));
    }
    keep_narrow(this);
}

std::string DriveList::drive() const { return s(currentData().toString()); }

void DriveList::set_drive_of(const std::string& folder) {
    const int i = findData(q(storage_place_of(folder)));
    if (i >= 0) setCurrentIndex(i);
}

// ---------------------------------------------------------------- Dir1

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { emit entry_clicked(item->data(Qt::UserRole).toString()); });
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { open_entry(row(item)); });
}

bool FolderList::set_path(const std::string& folder) {
    if (folder.empty()) return false;
    const QString f = clean_folder(q(folder));
    if (!folder_readable(f)) return false;
    const bool changed = s(f) != path_;
    path_ = s(f);
    fill();
    if (changed) emit path_changed();
    return true;
}

std::string FolderList::entry_path(int r) const {
    const QListWidgetItem* it = item(r);
    return it ? s(it->data(Qt::UserRole).toString()) : std::string();
}

bool FolderList::open_entry(int r) {
    const std::string p = entry_path(r);
    return !p.empty() && set_path(p);
}

void FolderList::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        open_entry(currentRow());
        e->accept();
        return;
    }
    QListWidget::keyPressEvent(e);
}

void FolderList::showEvent(QShowEvent* e) {
    QListWidget::showEvent(e);
    show_open_folder();
}

void FolderList::show_open_folder() {
    QListWidgetItem* open = currentItem();
    if (!open) return;
    doItemsLayout();   // the scroll ranges of the rows just filled in
    scrollToItem(open, QAbstractItemView::PositionAtCenter);
    // A deep folder's name is indented far to the right. Where the start of
    // its name shows, the list stays at its left edge; otherwise it scrolls
    // to just before that start, so that the name and its sub-folders' names
    // (one step further in) read from their beginning, however long the
    // longest of them is.
    QScrollBar* bar = horizontalScrollBar();
    const QFontMetrics fm = fontMetrics();
    const QString text = open->text();
    qsizetype indent = 0;
    while (indent < text.size() && text[indent] == QLatin1Char(' ')) ++indent;
    const int icon =
        iconSize().isValid() ? iconSize().width() : style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    const int name_x = visualItemRect(open).left() + bar->value() + icon + fm.horizontalAdvance(text.left(indent));
    const int some_letters = 10 * fm.averageCharWidth();
    const int lead = fm.horizontalAdvance(QStringLiteral("  "));
    bar->setValue(name_x + some_letters <= viewport()->width() ? 0 : name_x - lead);
}

void FolderList::fill() {
    const QSignalBlocker quiet(this);
    clear();
    QFileIconProvider icons;
    const QIcon folder_icon = icons.icon(QFileIconProvider::Folder);

    // The chain of open folders, root first.
    QStringList chain;
    for (QDir d(q(path_));; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp()) break;
    }
    int depth = 0;
    for (const QString& f : chain) {
        const QString name = QDir(f).isRoot() ? f : QFileInfo(f).fileName();
        auto* it = new QListWidgetItem(folder_icon, QString(depth * 2, QLatin1Char(' ')) + name, this);
        it->setData(Qt::UserRole, clean_folder(f));
        ++depth;
    }
    const int current = count() - 1;

    const QDir here(q(path_));
    const QStringList subs = here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& sub : subs) {
        auto* it = new QListWidgetItem(folder_icon, QString(depth * 2, QLatin1Char(' ')) + sub, this);
        it->setData(Qt::UserRole, clean_folder(here.filePath(sub)));
    }
    setCurrentRow(current);
    if (isVisible()) show_open_folder();
}

// ---------------------------------------------------------------- File1

FileList::FileList(bool multi_select, QWidget* parent) : QListWidget(parent), multi_(multi_select) {
    setSelectionMode(multi_select ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    // One line per name: thousands of rows are laid out without measuring each.
    setUniformItemSizes(true);
}

void FileList::set_pattern(const QString& pattern) {
    pattern_ = pattern;
    if (!path_.empty()) refresh();
}

void FileList::set_path(const std::string& folder) {
    path_ = folder.empty() ? folder : s(clean_folder(q(folder)));
    refresh();
}

void FileList::refresh() {
    const QSignalBlocker quiet(this);
    clear();
    if (path_.empty()) return;
    // What QDir's name filters and its case-blind name sort give, without a
    // pattern match per file and name: a folder of thousands of pictures
    // opens at once. Patterns of the form "*.ext" compare the ending; any
    // other pattern goes through QDir::match.
    const QStringList filters = pattern_filters(pattern_);
    QStringList endings;
    bool plain = true;
    for (const QString& f : filters) {
        const QString ending = f.mid(1);
        if (!f.startsWith(QLatin1String("*.")) || ending.contains(QLatin1Char('*')) ||
            ending.contains(QLatin1Char('?')) || ending.contains(QLatin1Char('[')))
            plain = false;
        endings << ending.toLower();
    }
    struct entry {
        QString key, name;
    };
    std::vector<entry> found;
    QDirIterator it(q(path_), QDir::Files);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        const QString lower = name.toLower();
        bool wanted = false;
        if (plain) {
            for (const QString& e : endings)
                if (lower.size() > e.size() && lower.endsWith(e)) {
                    wanted = true;
                    break;
                }
        } else {
            wanted = QDir::match(filters, name);
        }
        if (wanted) found.push_back({lower, name});
    }
    std::sort(found.begin(), found.end(), [](const entry& a, const entry& b) {
        const int c = a.key.compare(b.key);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    QStringList names;
    names.reserve(static_cast<qsizetype>(found.size()));
    for (entry& e : found) names << std::move(e.name);
    addItems(names);
    setCurrentRow(-1);
}

int FileList::current_entry() const {
    if (multi_) return currentRow();
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.first());
}

std::string FileList::file_name(int r) const {
    const QListWidgetItem* it = item(r);
    return it ? s(it->text()) : std::string();
}

std::string FileList::full_path(int r) const {
    const std::string name = file_name(r);
    return name.empty() ? std::string() : join_path(path_, name);
}

std::string FileList::current_full_path() const { return full_path(current_entry()); }

bool FileList::is_selected(int r) const {
    const QListWidgetItem* it = item(r);
    return it && it->isSelected();
}

// ---------------------------------------------------------------- the frame

picker_frame::picker_frame(QWidget* parent, const QString& caption, const QString& pattern, std::string& remembered,
                           bool multi_select)
    : QDialog(parent), remembered_(remembered) {
    keep_on_screen(this);
    setWindowTitle(caption);
    setModal(true);

    Drive1 = new DriveList(this);
    Dir1 = new FolderList(this);
    File1 = new FileList(multi_select, this);
    Dir1->setMinimumSize(220, 260);
    File1->setMinimumSize(220, 260);

    auto* main = new QVBoxLayout(this);
    content_row_ = new QHBoxLayout;
    auto* browse = new QVBoxLayout;
    browse->addWidget(Drive1);
    browse->addWidget(Dir1, 1);
    content_row_->addLayout(browse);
    content_row_->addWidget(File1);
    button_row_ = new QHBoxLayout;
    main->addLayout(content_row_, 1);
    main->addLayout(button_row_);

    // The file list follows the folder list; a click on a folder shows its
    // files at once, before the folder is opened.
    connect(Dir1, &FolderList::path_changed, this, [this] { File1->set_path(Dir1->path()); });
    connect(Dir1, &FolderList::entry_clicked, this, [this](const QString& f) { File1->set_path(s(f)); });
    // activated: the user's choice only, never a programmatic change.
    connect(Drive1, &QComboBox::activated, this, [this](int) { drive_chosen(); });
    connect(File1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
        if (!busy()) preview_current();
    });

    File1->set_pattern(pattern);
    show_remembered();
    yield_events();
}

void picker_frame::show_remembered() {
    // The picture pickers share last_folder; the sound pickers keep their own.
    const media_kind kind = &remembered_ == &program().last_folder ? media_kind::pictures : media_kind::sounds;
    const QStringList patterns = pattern_filters(File1->pattern());
    const std::string& prog = program().program_folder;
    // A remembered folder that went away (a removed medium) cannot be shown:
    // the program's folder, then the user's folder for the kind, then the
    // home folder, then the root take its place.
    for (const std::string& f : {opening_folder(remembered_, prog, kind, patterns),
                                 opening_folder(prog, prog, kind, patterns), user_media_folder(kind),
                                 s(QDir::homePath()), std::string("/")}) {
        if (Dir1->set_path(f)) break;
    }
    Drive1->set_drive_of(Dir1->path());
    opened_with_ = Dir1->path();
    if (File1->path() != Dir1->path()) File1->set_path(Dir1->path());
}

void picker_frame::drive_chosen() {
    if (busy()) return;
    if (Dir1->set_path(Drive1->drive())) return;
    // The place cannot be opened: back to the folder the window opened with,
    // without a message.
    Drive1->set_drive_of(opened_with_);
    Dir1->set_path(opened_with_);
}

void picker_frame::start_select_timer(QPushButton* select) {
    select_button_ = select;
    Timer1 = new QTimer(this);
    Timer1->setInterval(select_timer_ms);
    connect(Timer1, &QTimer::timeout, this, [this] {
        if (select_button_) select_button_->setEnabled(File1->current_entry() >= 0);
    });
    select->setEnabled(File1->current_entry() >= 0);
    Timer1->start();
}

bool picker_frame::yield_open() {
    QPointer<picker_frame> self(this);
    yield_events();
    return self && !closing_;
}

bool picker_frame::add_files(bool selected_only, const std::function<bool()>& room,
                             const std::function<void(const std::string&)>& add) {
    if (File1->count() == 0 || busy_) return false;
    std::vector<std::string> paths;
    for (int r = 0; r < File1->count(); ++r)
        if (!selected_only || File1->is_selected(r)) paths.push_back(File1->full_path(r));

    // Adding yields (the document grows one entry at a time): the window
    // takes no input until the walk is over, and a close asked for meanwhile
    // waits for its end.
    QPointer<picker_frame> self(this);
    ++busy_;
    focus_keeping_disable hold(this);
    std::vector<std::string> refused;
    // Thousands of files take a moment: the busy pointer says so.
    hourglass_on();
    for (const std::string& p : paths) {
        if (!room()) continue;   // beyond the limit: skipped without a message
        if (!storable_in_slideshow(p)) {
            refused.push_back(p);
            continue;
        }
        add(p);
    }
    hourglass_off();
    if (!self) return true;
    hold.enable_again(true);
    if (!refused.empty()) unstorable_message(this, refused);
    if (!self) return true;
    --busy_;
    if (close_pending_) {
        close_pending_ = false;
        done(pending_result_);
    }
    return true;
}

void picker_frame::done(int r) {
    if (busy_) {
        close_pending_ = true;
        pending_result_ = r;
        return;
    }
    if (closing_) {
        QDialog::done(r);
        return;
    }
    closing_ = true;
    if (Timer1) Timer1->stop();
    remembered_ = File1->path();
    QPointer<picker_frame> self(this);
    stop_preview();
    if (self) QDialog::done(r);
}

QPushButton* picker_frame::make_button(const QString& caption, const QString& tooltip) {
    auto* b = new QPushButton(caption, this);
    b->setToolTip(tooltip);
    // Enter in a list belongs to the list, never to a button.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

// ---------------------------------------------------------------- pictures

picture_picker::picture_picker(QWidget* parent, const QString& caption, const QString& pattern,
                               const QString& file_tooltip, bool multi_select)
    : picker_frame(parent, caption, pattern, program().last_folder, multi_select) {
    Drive1->setToolTip(QStringLiteral("Choose which storage device to use"));
    File1->setToolTip(file_tooltip);

    preview_box = new QFrame(this);
    preview_box->setFrameShape(QFrame::StyledPanel);
    preview_box->setFrameShadow(QFrame::Sunken);
    const int fw = preview_box->frameWidth();
    preview_box->setFixedSize(preview_width + 2 * fw, preview_height + 2 * fw);
    content_row()->addWidget(preview_box, 0, Qt::AlignTop);

    FXImage1 = new PictureControl(preview_box);
    FXImage1->setGeometry(preview_area());
    FXImage1->hide();
    FXVid1 = new VideoControl(preview_box);
    FXVid1->setGeometry(preview_area());
    FXVid1->hide();
}

QRect picture_picker::preview_area() const {
    const int fw = preview_box->frameWidth();
    return QRect(fw, fw, preview_width, preview_height);
}

void picture_picker::showEvent(QShowEvent* e) {
    picker_frame::showEvent(e);
    // Not every window system reports the activation of a new window.
    if (!activated_) QTimer::singleShot(0, this, [this] { activation(); });
}

bool picture_picker::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) QTimer::singleShot(0, this, [this] { activation(); });
    return picker_frame::event(e);
}

void picture_picker::activation() {
    if (closing()) return;
    FXImage1->refresh();
    FXImage1->set_preview_value(3);
    FXImage1->refresh();
    if (!yield_open()) return;
    // A video being previewed keeps the box to itself.
    if (!FXVid1->isVisible()) FXImage1->show();
    if (!activated_) {
        activated_ = true;
        first_activation();
    }
}

void picture_picker::stop_video() {
    FXVid1->command(11);
    if (!yield_open()) return;
    FXVid1->command(1);
    yield_open();
}

void picture_picker::preview_image() {
    if (previewing_ || closing() || busy()) return;
    previewing_ = true;
    QPointer<picture_picker> self(this);
    auto done_previewing = qScopeGuard([&] {
        if (self) previewing_ = false;
    });

    // Nothing current gives no path at all (rather than the bare folder).
    const std::string path = File1->current_full_path();
    stop_video();
    if (!self || closing() || path.size() <= 3) return;
    if (is_video_file(path)) {
        preview_video(path);
        return;
    }
    FXVid1->hide();
    if (!yield_open()) return;
    FXImage1->set_updates(false);
    FXImage1->hide();
    if (!yield_open()) return;
    // The box shows the whole picture, as large as fits, centred; a picture
    // that cannot be loaded leaves the box empty, without a message.
    const QRect area = preview_area();
    const int result = FXImage1->set_file_name(q(path), area.size());
    const fit_result fit = result >= 0 ? fit_picture(area.top(), area.left(), area.height(), area.width(),
                                                     FXImage1->picture_height(), FXImage1->picture_width(), 100)
                                       : fit_result{};
    if (fit.ok) {
        FXImage1->setGeometry(QRectF(fit.left, fit.top, fit.width, fit.height).toRect().intersected(area));
        FXImage1->set_draw_mode(PictureControl::stretched);
    } else {
        FXImage1->setGeometry(area);
        FXImage1->set_draw_mode(PictureControl::natural);
    }
    if (!yield_open()) return;
    FXImage1->set_updates(true);
    if (!yield_open()) return;
    FXImage1->show();
    yield_open();
}

void picture_picker::preview_video(const std::string& path) {
    if (closing()) return;
    const QRect area = preview_area();
    FXVid1->hide();
    FXVid1->command(11);
    if (!yield_open()) return;
    FXVid1->command(1);
    if (!yield_open()) return;
    FXVid1->set_file_name(QString());
    if (!yield_open()) return;

    const std::string kind = file_type(path);
    if (kind == "AVI") {
        FXVid1->set_avi(true);
        FXVid1->set_media_mode(2);
        FXVid1->set_device_type(q(settings().avi_devicename));
    } else if (kind == "MPG") {
        FXVid1->set_avi(false);
        FXVid1->set_media_mode(2);
        FXVid1->set_device_type(q(settings().mpg_devicename));
    }
    FXVid1->set_size_mode(1);
    const int opened = FXVid1->set_file_name(q(path));
    if (!yield_open()) return;
    FXImage1->set_updates(false);
    FXImage1->hide();
    if (!yield_open()) return;

    if (opened < 0) {
        // Nothing to play: leave the box empty rather than show a dead control.
        FXVid1->hide();
        picker_message(this, QStringLiteral("Error trying to open video device!"));
        return;
    }

    FXVid1->command(3);
    if (!yield_open()) return;
    const QSize natural = FXVid1->natural_size();
    const fit_result fit = natural.isValid() ? fit_picture(area.top(), area.left(), area.height(), area.width(),
                                                           natural.height(), natural.width(), 100)
                                             : fit_result{};
    FXVid1->setGeometry(fit.ok ? QRectF(fit.left, fit.top, fit.width, fit.height).toRect().intersected(area) : area);
    FXVid1->set_size_mode(2);
    FXVid1->command(1);
    if (!yield_open()) return;
    FXVid1->set_mute(settings().audio_on == 0);
    FXVid1->raise();
    FXVid1->show();
    if (!yield_open()) return;
    FXVid1->command(5);
    if (!yield_open()) return;
    if (FXVid1->open_result() != 0)
        picker_message(this, QStringLiteral("Error trying to open video device!"));
}

void picture_picker::stop_preview() {
    FXVid1->command(11);
    FXVid1->command(1);
    FXVid1->set_file_name(QString());
    FXVid1->hide();
}

// ---------------------------------------------------------------- sounds

void sound_picker::preview_sound() {
    if (closing() || busy()) return;
    const std::string path = File1->current_full_path();
    if (path.size() > 3) play(path);
}

void sound_picker::stop_preview() { stop_sound(); }

// ---------------------------------------------------------------- messages

void picker_message(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Lumivane"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::string printable_path(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool storable_choice(QWidget* parent, const std::string& path) {
    if (storable_in_slideshow(path)) return true;
    unstorable_message(parent, {path});
    return false;
}

void unstorable_message(QWidget* parent, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    constexpr std::size_t shown = 10;
    std::string list;
    for (std::size_t i = 0; i < paths.size() && i < shown; ++i) list += printable_path(paths[i]) + "\n";
    if (paths.size() > shown) list += "... and " + std::to_string(paths.size() - shown) + " more\n";
    const std::string text =
        paths.size() == 1
            ? list + "\nThe slideshow file cannot store this name: it holds a double quote or a line break. "
                     "Please rename the file or its folder, then choose it again."
            : list + "\nThe slideshow file cannot store these names: each holds a double quote or a line break. "
                     "They were not added. Please rename the files or their folder, then add them again.";
    picker_message(parent, QString::fromStdString(text));
}

}  // namespace lv
