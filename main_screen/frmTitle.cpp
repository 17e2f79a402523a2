#include "main_screen/frmTitle.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/file_names.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/simple_builder.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "custom_editor/frmCustom.h"
#include "main_screen/frmOptions.h"
#include "main_screen/frm_About.h"
#include "platform/media/audio.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/desktop/frmPopmessage.h"
#include "platform/desktop/screen_fit.h"
#include "player/frmSlideshow.h"
#include "simple_editor/frmRandom.h"


namespace fs = std::filesystem;

namespace lv {

// ---------------------------------------------------------------------------
// services

std::function<QWidget*()> frmTitle::open_custom_editor = []() -> QWidget* {
    auto* editor = new frmCustom();
    editor->show();
    return editor;
};

std::function<QWidget*()> frmTitle::open_random_editor = []() -> QWidget* {
    auto* editor = new frmRandom();
    editor->show();
    return editor;
};

std::function<void()> frmTitle::play_show = [] { frmSlideshow::show_modal(); };

std::function<bool(const std::string&, const std::string&, const std::string&)> frmTitle::open_file =
    desktop_open_file;

std::function<double()> frmTitle::color_count_source;

// Slow enough to be seen, short enough not to keep the user waiting.
const std::array<frmTitle::reveal_effect, 4> frmTitle::picture_reveals = {{
    {3, 4, 4}, {20, 4, 4}, {8, 4, 4}, {27, 4, 4},
}};
const std::array<frmTitle::reveal_effect, 7> frmTitle::label_reveals = {{
    {0, 0, 1}, {2, 1, 2}, {2, 1, 2}, {2, 1, 2}, {2, 1, 2}, {2, 1, 2}, {2, 1, 2},
}};

std::string no_hot_key_text(int k) {
    return "There is no file assoicated with the F" + std::to_string(k + 1) +
           " key.\n\nPlease go to the OPTIONS screen to edit the hot key settings.";
}

std::string launch_error_text(const std::string& file) {
    return "Error Launching Program!\n" + file + "\nPlease check the source file.";
}

std::string launch_folder(const std::string& file) {
    return file.substr(0, file.size() - file_title(file).size());
}

bool is_slideshow_file_name(const std::string& name) {
    if (name.size() < 3) return false;
    std::string end = name.substr(name.size() - 3);
    for (char& c : end) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return end == "LMV";
}

// ---------------------------------------------------------------------------
// the form's artwork

namespace {

constexpr int form_width = 640, form_height = 470;
constexpr int face_width = 132, face_height = 112;

// The backdrop: a deep gradient with the product name.
class Backdrop : public QWidget {
public:
    explicit Backdrop(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(18, 24, 64));
        g.setColorAt(0.6, QColor(52, 26, 86));
        g.setColorAt(1, QColor(12, 10, 30));
        p.fillRect(rect(), g);
        // A few soft rings behind the title.
        for (int r = 0; r < 5; ++r) {
            p.setPen(QPen(QColor(255, 255, 255, 18 + r * 6), 2));
            p.drawEllipse(QPointF(width() * 0.82, 70), 40.0 + r * 22, 40.0 + r * 22);
        }
        QFont title(QStringLiteral("Arial"), 34, QFont::Bold);
        title.setItalic(true);
        QPainterPath text;
        text.addText(32, 78, title, QStringLiteral("Lumivane"));
        QLinearGradient tg(0, 30, 0, 80);
        tg.setColorAt(0, QColor(255, 236, 150));
        tg.setColorAt(1, QColor(230, 140, 40));
        p.fillPath(text.translated(3, 3), QColor(0, 0, 0, 120));
        p.fillPath(text, tg);
        p.setPen(QColor(200, 200, 235));
        p.setFont(QFont(QStringLiteral("Arial"), 11));
        p.drawText(QPoint(36, 104), QStringLiteral("Multimedia slideshows and screen saver"));
        p.setPen(QColor(170, 170, 210));
        p.setFont(QFont(QStringLiteral("Arial"), 9));
        p.drawText(QPoint(32, 296), QStringLiteral("Active slideshow:"));
    }
};

// A picture button's face: a rounded tile with a small emblem and its title.
QImage make_face(int i, bool pressed) {
    static const std::array<QColor, 4> tints = {QColor(40, 140, 90), QColor(50, 100, 190), QColor(190, 120, 30),
                                                QColor(170, 40, 70)};
    static const std::array<const char*, 4> titles = {"Create Simple\nSlideshow", "Create Custom\nSlideshow",
                                                      "Edit\nSlideshow", "Play\nSlideshow"};
    QImage img(face_width, face_height, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const int shift = pressed ? 2 : 0;
    const QRectF tile(3 + shift, 3 + shift, face_width - 8, face_height - 8);
    if (!pressed) p.fillPath([&] {
        QPainterPath s;
        s.addRoundedRect(tile.translated(3, 3), 14, 14);
        return s;
    }(), QColor(0, 0, 0, 110));
    QColor base = pressed ? tints[static_cast<std::size_t>(i)].darker(140) : tints[static_cast<std::size_t>(i)];
    QLinearGradient g(tile.topLeft(), tile.bottomLeft());
    g.setColorAt(0, base.lighter(150));
    g.setColorAt(1, base.darker(130));
    QPainterPath shape;
    shape.addRoundedRect(tile, 14, 14);
    p.fillPath(shape, g);
    p.setPen(QPen(QColor(255, 255, 255, pressed ? 90 : 160), 2));
    p.drawPath(shape);

    // Emblem.
    const QPointF c(tile.center().x(), tile.top() + 32);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    switch (i) {
        case 0: {   // a star: quick and simple
            QPainterPath star;
            for (int k = 0; k < 10; ++k) {
                const double a = -M_PI / 2 + k * M_PI / 5;
                const double r = (k % 2 == 0) ? 18 : 8;
                const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
                if (k == 0) star.moveTo(pt);
                else star.lineTo(pt);
            }
            star.closeSubpath();
            p.drawPath(star);
            break;
        }
        case 1:   // a stack of frames: one picture after another
            for (int k = 2; k >= 0; --k) {
                p.setBrush(QColor(255, 255, 255, 120 + k * 50));
                p.drawRect(QRectF(c.x() - 18 + k * 5, c.y() - 14 + k * 4, 26, 18));
            }
            break;
        case 2: {   // a pencil
            QPainterPath pen;
            pen.moveTo(c.x() - 18, c.y() + 14);
            pen.lineTo(c.x() - 14, c.y() + 4);
            pen.lineTo(c.x() + 10, c.y() - 20);
            pen.lineTo(c.x() + 18, c.y() - 12);
            pen.lineTo(c.x() - 6, c.y() + 12);
            pen.closeSubpath();
            p.drawPath(pen);
            break;
        }
        default: {   // play
            QPainterPath tri;
            tri.moveTo(c.x() - 12, c.y() - 16);
            tri.lineTo(c.x() + 18, c.y());
            tri.lineTo(c.x() - 12, c.y() + 16);
            tri.closeSubpath();
            p.drawPath(tri);
            break;
        }
    }
    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("Arial"), 10, QFont::Bold));
    p.drawText(QRectF(tile.left(), tile.top() + 54, tile.width(), 44), Qt::AlignHCenter | Qt::AlignTop,
               QString::fromLatin1(titles[static_cast<std::size_t>(i)]));
    return img;
}

// The delete button's icon: a small bin.
QIcon delete_icon() {
    QImage img(28, 28, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 20, 20), 2));
    p.setBrush(QColor(230, 90, 80));
    p.drawRect(QRectF(8, 9, 12, 15));
    p.drawLine(QPointF(5, 7), QPointF(23, 7));
    p.drawLine(QPointF(11, 4), QPointF(17, 4));
    p.drawLine(QPointF(12, 12), QPointF(12, 21));
    p.drawLine(QPointF(16, 12), QPointF(16, 21));
    return QIcon(QPixmap::fromImage(img));
}

// The dotted frame around the picture or text button that has the keyboard
// focus. The buttons draw their own faces, so the mark lies over them and lets
// the mouse through.
class FocusMark : public QWidget {
public:
    explicit FocusMark(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(Qt::white, 2, Qt::DotLine));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// load

frmTitle::frmTitle(QWidget* parent) : QWidget(parent, Qt::Window) {
    keep_on_screen(this);
    setFixedSize(form_width, form_height);
    set_claimed_title(this, title_claim_, program().version_caption);

    Image1 = new Backdrop(this);
    Image1->setGeometry(0, 0, form_width, form_height);
    Image1->installEventFilter(this);

    for (int i = 0; i < 4; ++i) {
        Picture1[static_cast<std::size_t>(2 * i)] = make_face(i, false);
        Picture1[static_cast<std::size_t>(2 * i + 1)] = make_face(i, true);
        auto* c = new PictureControl(this);
        FXImage1[static_cast<std::size_t>(i)] = c;
        c->setGeometry(28 + i * 148, 130, face_width, face_height);
        c->set_draw_mode(PictureControl::natural);
        c->set_picture(Picture1[static_cast<std::size_t>(2 * i)]);
        const reveal_effect& fx = picture_reveals[static_cast<std::size_t>(i)];
        c->set_effect(fx.number, fx.speed, fx.grain);
        c->hide();
        connect(c, &EffectControl::mouse_pressed, this, [this, i](QPoint, Qt::MouseButton b) {
            if (b == Qt::LeftButton) picture_mouse_down(i);
        });
        connect(c, &EffectControl::mouse_released, this, [this, i](QPoint pos, Qt::MouseButton b) {
            if (b == Qt::LeftButton) picture_mouse_up(i, pos);
        });
        connect(c, &EffectControl::mouse_moved, this, [this, i](QPoint) { picture_mouse_move(i); });
        connect(c, &EffectControl::effect_done, this, [this, i] { picture_effect_done(i); });
    }

    Combo1 = new QComboBox(this);
    Combo1->setGeometry(30, 302, 470, 30);
    Combo1->setToolTip(QStringLiteral(" This is a list of installed slideshows "));
    Combo1->installEventFilter(this);
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int) { combo_click(); });
    connect(Combo1, &QComboBox::activated, this, [this](int) { combo_click(); });

    Command9 = new QToolButton(this);
    Command9->setGeometry(510, 300, 34, 34);
    Command9->setIcon(delete_icon());
    Command9->setIconSize(QSize(28, 28));
    Command9->setToolTip(QStringLiteral(" Click here to delete the active slideshow. "));
    Command9->installEventFilter(this);
    connect(Command9, &QToolButton::clicked, this, [this] { delete_selected(); });

    static const std::array<const char*, 7> captions = {"",     "Tavrel Software Products", "Options", "About",
                                                        "Help", "Exit",                     "Packager"};
    static const std::array<const char*, 7> tips = {
        "",
        " Click here to learn about other Tavrel Software products ",
        " Click here to view the options screen ",
        " Click here to learn more about this program ",
        " Click here to view the help file ",
        " Click here to exit this program ",
        ""};
    static const std::array<QPoint, 7> places = {QPoint(0, 0),     QPoint(30, 360),  QPoint(300, 360), QPoint(420, 360),
                                                 QPoint(530, 360), QPoint(530, 410), QPoint(30, 410)};
    for (int i = 1; i <= 6; ++i) {
        auto* l = new LabelControl(this);
        label_button[static_cast<std::size_t>(i)] = l;
        l->set_font(QStringLiteral("Arial"), 14, true, false);
        l->set_text_color(0x00FFFFFF);
        l->set_fill_mode(2);
        l->set_gradient_kind(2);
        l->set_gradient_colors(0x0080ECFF, 0x002890E6);
        l->set_relief(6, 2);
        l->set_caption(QString::fromLatin1(captions[static_cast<std::size_t>(i)]));
        l->move(places[static_cast<std::size_t>(i)]);
        if (*tips[static_cast<std::size_t>(i)]) l->setToolTip(QString::fromLatin1(tips[static_cast<std::size_t>(i)]));
        l->setCursor(Qt::PointingHandCursor);
        const reveal_effect& fx = label_reveals[static_cast<std::size_t>(i)];
        l->set_effect(fx.number, fx.speed, fx.grain);
        l->hide();
        connect(l, &EffectControl::mouse_pressed, this, [this, i](QPoint, Qt::MouseButton b) {
            if (b == Qt::LeftButton) label_mouse_down(i);
        });
        connect(l, &EffectControl::mouse_released, this, [this, i](QPoint, Qt::MouseButton b) {
            if (b == Qt::LeftButton) label_mouse_up(i);
        });
        connect(l, &EffectControl::mouse_moved, this, [this, i](QPoint) { label_mouse_move(i); });
        connect(l, &EffectControl::effect_done, this, [this, i] { label_effect_done(i); });
    }

    get_slideshows();
    activated = 0;
    highlighted_button = -1;
    intro_finished = 0;
    Image1->lower();   // the backdrop lies under every control

    // The picture and text buttons are reached with Tab and pressed with
    // Enter or Space; a mouse click gives them no focus, so the screen looks
    // as it always did for mouse users.
    focus_mark_ = new FocusMark(this);
    QWidget* previous = nullptr;
    const auto chain = [&previous](QWidget* w) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    };
    for (auto* c : FXImage1) {
        c->setFocusPolicy(Qt::TabFocus);
        c->installEventFilter(this);
        chain(c);
    }
    chain(Combo1);
    chain(Command9);
    for (int i : {1, 2, 3, 4, 6, 5}) {   // left to right, top to bottom
        auto* l = label_button[static_cast<std::size_t>(i)];
        l->setFocusPolicy(Qt::TabFocus);
        l->installEventFilter(this);
        chain(l);
    }
}

frmTitle::~frmTitle() = default;

void frmTitle::show_modal() {
    show();
    if (unloaded_) return;
    QEventLoop loop;
    connect(this, &frmTitle::unloaded_signal, &loop, &QEventLoop::quit);
    loop.exec();
}

void frmTitle::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (activated == 0 && !activation_scheduled_) {
        activation_scheduled_ = true;
        // A timer rather than a posted call: the activation waits in nested
        // loops, and those must still see the events posted meanwhile.
        QTimer::singleShot(1, this, [this] { first_activation(); });
    }
}

// ---------------------------------------------------------------------------
// the list

void frmTitle::get_slideshows() {
    list_guard_ = true;
    slideshow_count = 0;
    slideshow_files.assign(1, std::string());
    Combo1->clear();

    QPointer<frmTitle> self(this);
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(program().data_folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code type_ec;
        // Ordinary files only: no folders, no hidden files.
        const bool ordinary = it->is_regular_file(type_ec) && !type_ec && !name.empty() && name[0] != '.';
        if (ordinary && is_slideshow_file_name(name)) names.push_back(std::move(name));
        yield_events();
        if (!self) return;
    }
    // The folder's own order, made stable: by name, letter case aside.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const auto lower = [](std::string s) {
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        const std::string la = lower(a), lb = lower(b);
        return la != lb ? la < lb : a < b;
    });
    // The list has room for max_slideshows; any further file stays unlisted.
    if (names.size() > static_cast<std::size_t>(max_slideshows)) names.resize(static_cast<std::size_t>(max_slideshows));
    for (const std::string& name : names) {
        ++slideshow_count;
        slideshow_files.push_back(name);
        Combo1->addItem(QString::fromStdString(name.substr(0, name.size() >= 4 ? name.size() - 4 : 0)));
    }

    if (slideshow_count > 0) {
        int found = -1;
        for (int i = 1; i <= slideshow_count; ++i) {
            if (slideshow_files[static_cast<std::size_t>(i)] == settings().active_slideshow) found = i - 1;
        }
        if (found < 0) {
            found = 0;
            settings().active_slideshow = slideshow_files[1];
        }
        Combo1->setCurrentIndex(found);
    }
    list_guard_ = false;
}

void frmTitle::combo_click() {
    if (list_guard_) return;
    const int idx = Combo1->currentIndex();
    if (idx >= 0 && idx < slideshow_count) settings().active_slideshow = slideshow_files[static_cast<std::size_t>(idx + 1)];
}

bool frmTitle::selected_path(std::string& path) {
    const int idx = Combo1->currentIndex();
    if (idx < 0 || idx >= slideshow_count) return false;
    settings().active_slideshow = slideshow_files[static_cast<std::size_t>(idx + 1)];
    path = program().data_folder + settings().active_slideshow;
    return true;
}

// ---------------------------------------------------------------------------
// create, edit, play, delete

void frmTitle::open_editor(int& flag, const std::function<QWidget*()>& opener) {
    busy_ = true;
    QPointer<frmTitle> self(this);
    flag = 1;
    QPointer<QWidget> editor = opener ? opener() : nullptr;
    const bool watched = !editor.isNull();
    if (!opener) flag = 0;   // no editor in this build: nothing to wait for
    while (flag == 1) {
        // An editor that went away without saying so must not hold us forever.
        if (watched && editor.isNull()) {
            flag = 0;
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!self) return;
    busy_ = false;
    get_slideshows();
    if (self) show();
}

void frmTitle::create_new_simple() {
    if (busy_) return;
    hide();
    new_random_defaults();
    editors().editing_existing = 0;
    open_editor(editors().random_editor_open, open_random_editor);
}

void frmTitle::create_new_custom() {
    if (busy_) return;
    hide();
    new_custom_defaults();
    editors().editing_existing = 0;
    open_editor(editors().custom_editor_open, open_custom_editor);
}

void frmTitle::edit_selected() {
    if (busy_) return;
    std::string path;
    if (!selected_path(path)) return;
    const auto kind = read_slideshow_kind(path);
    const bool custom = kind && *kind == "Custom";
    const int r = !kind ? 1 : (custom ? load_custom_file(path) : load_random_file(path));
    if (r == 1) {
        show_box(QStringLiteral("Lumivane"), QString::fromLatin1(main_load_error_text));
        return;
    }
    editors().editing_existing = 1;
    hide();
    if (custom) open_editor(editors().custom_editor_open, open_custom_editor);
    else open_editor(editors().random_editor_open, open_random_editor);
}

void frmTitle::play_selected() {
    if (busy_) return;
    std::string path;
    if (!selected_path(path)) return;
    const auto kind = read_slideshow_kind(path);
    const bool custom = kind && *kind == "Custom";
    const int r = !kind ? 1 : (custom ? load_custom_file(path) : load_random_file(path));
    if (r == 1) {
        show_box(QStringLiteral("Lumivane"), QString::fromLatin1(main_load_error_text));
        return;
    }
    // A build that found nothing (2) still plays: the player shows its
    // placeholder.
    if (!custom && build_random_slideshow() == 1) {
        show_box(QStringLiteral("Lumivane"), QString::fromLatin1(main_build_error_text));
        return;
    }
    busy_ = true;
    QPointer<frmTitle> self(this);
    hide();
    if (custom) yield_events();
    run().show_origin = 1;
    if (custom) yield_events();
    run().screensaver_slideshow_path.clear();   // the player plays the document just loaded
    if (play_show) play_show();
    run().show_origin = 0;
    if (!self) return;
    busy_ = false;
    show();
}

void frmTitle::delete_selected() {
    if (busy_) return;
    std::string path;
    if (!selected_path(path)) return;
    const std::string& name = settings().active_slideshow;
    const std::string shown = name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Delete Slideshow"),
                    QStringLiteral("Would you like to delete this slideshow?\n\n") + QString::fromStdString(shown) +
                        QStringLiteral("\n"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) return;
    std::error_code ec;
    if (!fs::remove(path, ec) || ec) return;   // left as it was, without a word
    QPointer<frmTitle> self(this);
    yield_events();
    if (self) get_slideshows();
}

// ---------------------------------------------------------------------------
// the text buttons' actions

void frmTitle::exit_program() {
    if (intro_finished == 0) return;
    QPointer<frmTitle> self(this);
    show_message(11);
    if (self) close();
}

void frmTitle::about() {
    frm_About dlg(this);
    dlg.exec();
}

void frmTitle::options() {
    frmOptions dlg(this);
    dlg.exec();
}

void frmTitle::help() { launch_file(settings().install_path + "help.hlp", ""); }

void frmTitle::tavrel_software_products() { launch_file(settings().install_path + "Tavrel_Products.exe", ""); }

void frmTitle::launch_publisher() {
    launch_file(settings().publisher_path, "");
    yield_events();
}

void frmTitle::launch_file(const std::string& file, const std::string& parameters) {
    const bool ok = open_file && open_file(file, parameters, launch_folder(file));
    if (!ok) show_box(QStringLiteral("Lumivane"), QString::fromStdString(launch_error_text(file)));
}

void frmTitle::show_box(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

// ---------------------------------------------------------------------------
// hot keys

bool frmTitle::hot_key(int key) {
    const int k = key - Qt::Key_F1;
    if (k < 0 || k > 11) return false;
    const std::string& file = settings().hot_keys[static_cast<std::size_t>(k)];
    if (!file.empty()) launch_file(file, "");
    else show_box(QStringLiteral("Hot Key"), QString::fromStdString(no_hot_key_text(k)));
    return true;
}

void frmTitle::keyPressEvent(QKeyEvent* e) {
    if (!hot_key(e->key())) QWidget::keyPressEvent(e);
}

bool frmTitle::eventFilter(QObject* watched, QEvent* event) {
    if (keyboard_button(watched, event)) return true;
    if (watched == Image1 && event->type() == QEvent::MouseMove) {
        button_up();
    } else if (watched == Combo1 && event->type() == QEvent::KeyPress) {
        // The screen sees the function keys before its controls do.
        if (hot_key(static_cast<QKeyEvent*>(event)->key())) return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// the buttons

bool frmTitle::keyboard_button(QObject* watched, QEvent* event) {
    int picture = -1, label = -1;
    for (int i = 0; i < 4; ++i)
        if (watched == FXImage1[static_cast<std::size_t>(i)]) picture = i;
    for (int i = 1; i <= 6; ++i)
        if (watched == label_button[static_cast<std::size_t>(i)]) label = i;
    // The delete button is a plain button, but marked and pressed as the
    // picture and text buttons are.
    const bool bin = watched == Command9;
    if (picture < 0 && label < 0 && !bin) return false;
    auto* w = static_cast<QWidget*>(watched);
    switch (event->type()) {
        case QEvent::FocusIn:
            focus_mark_->setGeometry(w->geometry().adjusted(-4, -4, 4, 4));
            focus_mark_->raise();
            focus_mark_->show();
            return false;
        case QEvent::FocusOut:
        case QEvent::Hide:
            focus_mark_->hide();
            return false;
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(event);
            if (hot_key(k->key())) return true;
            const bool press = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Space;
            if (!press) return false;
            if (k->isAutoRepeat()) return true;
            // The same road as a click released inside the button.
            if (bin) {
                Command9->click();
            } else if (picture >= 0) {
                picture_mouse_down(picture);
                picture_mouse_up(picture, QPoint(w->width() / 2, w->height() / 2));
            } else {
                label_mouse_down(label);
                label_button[static_cast<std::size_t>(label)]->set_button_look(0);
                label_mouse_up(label);
            }
            return true;
        }
        default:
            return false;
    }
}

void frmTitle::picture_mouse_down(int i) {
    PictureControl* c = FXImage1[static_cast<std::size_t>(i)];
    c->set_updates(false);
    c->set_picture(Picture1[static_cast<std::size_t>(2 * i + 1)]);
    c->set_updates(true);
    c->refresh();
    yield_events();
}

void frmTitle::picture_mouse_up(int i, QPoint pos) {
    PictureControl* c = FXImage1[static_cast<std::size_t>(i)];
    c->set_updates(false);
    c->set_picture(Picture1[static_cast<std::size_t>(2 * i)]);
    c->set_updates(true);
    c->refresh();
    // Released on the button itself, not on its edge or beyond it.
    if (!(pos.x() > 0 && pos.x() < c->width() && pos.y() > 0 && pos.y() < c->height())) return;
    switch (i) {
        case 0: create_new_simple(); break;
        case 1: create_new_custom(); break;
        case 2: edit_selected(); break;
        case 3: play_selected(); break;
        default: break;
    }
}

void frmTitle::picture_mouse_move(int i) {
    static const std::array<const char*, 4> tips = {
        " Click here to create a simple slideshow. You can have a slideshow up and running in a matter of minutes! ",
        " Click here to create a custom slideshow. Perfect for making a presentation or more advanced slideshow. ",
        " Click here to edit the active slideshow. ",
        " Click here to play the active slideshow. "};
    button_up();
    FXImage1[static_cast<std::size_t>(i)]->setToolTip(QString::fromLatin1(tips[static_cast<std::size_t>(i)]));
}

void frmTitle::picture_effect_done(int i) {
    FXImage1[static_cast<std::size_t>(i)]->set_effect_number(0);
    if (i == 3) intro_finished = 1;
}

void frmTitle::label_mouse_move(int i) {
    if (highlighted_button == i) return;
    if (highlighted_button == -1) highlighted_button = i;
    LabelControl* old = label_button[static_cast<std::size_t>(highlighted_button)];
    old->set_button_look(0);
    old->refresh();
    highlighted_button = i;
    LabelControl* now = label_button[static_cast<std::size_t>(i)];
    now->set_button_look(2);
    now->refresh();
}

void frmTitle::label_mouse_down(int i) {
    label_button[static_cast<std::size_t>(i)]->set_button_look(1);
    yield_events();
}

void frmTitle::label_mouse_up(int i) {
    switch (i) {
        case 1: tavrel_software_products(); break;
        case 2: options(); break;
        case 3: about(); break;
        case 4: help(); break;
        case 5: exit_program(); break;
        case 6: launch_publisher(); break;
        default: break;
    }
}

void frmTitle::label_effect_done(int i) { label_button[static_cast<std::size_t>(i)]->set_effect_number(0); }

void frmTitle::button_up() {
    if (highlighted_button < 1 || highlighted_button > 6) return;
    LabelControl* l = label_button[static_cast<std::size_t>(highlighted_button)];
    if (l->button_look() == 1 || l->button_look() == 2) {
        l->set_button_look(0);
        l->refresh();
        highlighted_button = -1;
    }
}

// ---------------------------------------------------------------------------
// first activation

bool frmTitle::wait_ms(int ms) {
    QPointer<frmTitle> self(this);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return !self.isNull();
}

double frmTitle::get_color_count() const {
    if (color_count_source) return color_count_source();
    return std::pow(2.0, depth());
}

void frmTitle::first_activation() {
    if (activated != 0) return;
    QPointer<frmTitle> self(this);
    update();
    yield_events();
    if (!self) return;
    activated = 1;

    for (int i = 1; i <= 5; ++i) label_button[static_cast<std::size_t>(i)]->show();
    if (!settings().publisher_path.empty()) label_button[6]->show();

    // The four picture buttons appear 0.35 seconds apart.
    for (int i = 0; i < 4; ++i) {
        FXImage1[static_cast<std::size_t>(i)]->show();
        if (!wait_ms(350)) return;
    }
    while (intro_finished == 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!self) return;
    }

    show_message(1);
    if (!self) return;

    // The colour rendering mode, chosen once from the display's colours.
    const double c = get_color_count();
    auto& s = settings();
    if (s.display_mode == 0 && c < 300) {
        s.display_mode = 1;
        config_store().write("display_mode", "1");
        help_popup().hide_never_again_check = 1;
        show_message(3);
    }
    if (s.display_mode == 0 && c > 256 && c < 70000) {
        s.display_mode = 2;
        config_store().write("display_mode", "2");
        help_popup().hide_never_again_check = 1;
        show_message(4);
    }
    if (s.display_mode == 0 && c > 70000) {
        s.display_mode = 3;
        config_store().write("display_mode", "3");
    }
}

// ---------------------------------------------------------------------------
// closing

void frmTitle::closeEvent(QCloseEvent* e) {
    // Nothing closes the screen before its buttons have appeared, nor while
    // an editor or the player runs from it.
    if (intro_finished == 0 || busy_) {
        e->ignore();
        return;
    }
    form_unload();
    e->accept();
}

void frmTitle::form_unload() {
    if (unloaded_) return;
    unloaded_ = true;
    // The chosen slideshow is among what is saved here; losing it must not
    // pass without a word.
    if (!save_settings())
        report_unsaved_settings(this, QStringLiteral("The settings"),
                                QStringLiteral("The chosen slideshow and the changes made since Lumivane "
                                               "started are lost."));
    for (int i = 0; i < 100; ++i) yield_events();
    audio_unload();
    title_claim_.release();
    emit unloaded_signal();
}

}  // namespace lv
