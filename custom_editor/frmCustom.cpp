// The custom editor window: building the controls, showing and storing the
// selected sequence, the change handlers, the audio preview, hot keys, help
// and closing. The list commands and the dialogs are in frmCustom_commands,
// saving, the slideshow preview and the printout in frmCustom_save.
#include "custom_editor/frmCustom.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/effects.h"
#include "core/file_names.h"
#include "core/hooks.h"
#include "core/state.h"
#include "custom_editor/frmCustom_detail.h"
#include "platform/desktop/focus_keep.h"
#include "platform/desktop/frmPopmessage.h"
#include "platform/desktop/launch.h"
#include "platform/desktop/screen_fit.h"

namespace lv {

using namespace custom_detail;

namespace {

frmCustom* g_instance = nullptr;

const char* const display_positions[] = {
    "Center Full Screen 100%", "Center Full Screen 75%", "Center Full Screen 50%", "Tile To Screen",
    "Top Justify Left",        "Top Justify Middle",     "Top Justify Right",      "Middle Justify Left",
    "Middle Justify Middle",   "Middle Justify Right",   "Bottom Justify Left",    "Bottom Justify Middle",
    "Bottom Justify Right"};

const char* const audio_modes[] = {"Play One Time Only", "Repeat During This Image Only",
                                   "Repeat The Entire Slideshow", "Display Image Until Audio Is Done"};

// The keys each text box refuses; the name box's are the slideshow name's.
bool refused_by(const QLineEdit* box, const QLineEdit* name_box, QChar c) {
    if (box == name_box) return refused_in_slideshow_name(c.unicode());
    return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// A combo box's index, or the old value when the box shows nothing.
int index_or(const QComboBox* c, int old) {
    const int i = c->currentIndex();
    return i < 0 ? old : i;
}

int label_value(const QLabel* l) { return leading_number(l->text().toStdString()); }

void set_label_number(QLabel* l, int v) { l->setText(QString::number(v)); }

void set_combo(QComboBox* c, int v) {
    // A stored value outside the list shows no entry.
    c->setCurrentIndex(v >= 0 && v < c->count() ? v : -1);
}

// Holds one widget and draws the sunken panel around it, a pixel inside its
// own edge. At a fractional scale (1.25) a frame drawn on a widget's own edge
// loses the sides that fall on half a pixel; drawn inside a holder, clear of
// both the holder's edge and the held widget, every side shows.
class frame_holder : public QWidget {
public:
    explicit frame_holder(QWidget* inner) {
        auto* l = new QHBoxLayout(this);
        l->setContentsMargins(2, 2, 2, 2);
        l->addWidget(inner);
        setSizePolicy(inner->sizePolicy());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QStyleOptionFrame opt;
        opt.initFrom(this);
        opt.rect = rect().adjusted(1, 1, -1, -1);
        opt.frameShape = QFrame::StyledPanel;
        opt.lineWidth = 1;
        opt.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_Frame, &opt, &p, this);
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// helpers

int custom_detail::leading_number(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && v < 1000000)
        v = v * 10 + (text[i++] - '0');
    return static_cast<int>(negative ? -v : v);
}

busy_scope::busy_scope(frmCustom* w) : w_(w) { ++w_->busy_depth_; }

busy_scope::~busy_scope() {
    if (--w_->busy_depth_ == 0 && w_->delete_pending_) {
        w_->delete_pending_ = false;
        w_->deleteLater();
    }
}

void editor_box(QWidget* parent, const std::string& title, const std::string& text) {
    QMessageBox box(parent);
    box.setWindowTitle(qs(title));
    box.setText(qs(text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

// ---------------------------------------------------------------------------
// services

std::function<void()>& frmCustom::player() {
    static std::function<void()> f;
    return f;
}

std::function<bool(const std::string&, const std::string&, const std::string&)>& frmCustom::shell_open() {
    static std::function<bool(const std::string&, const std::string&, const std::string&)> f = desktop_open_file;
    return f;
}

frmCustom* frmCustom::instance() { return g_instance; }

// ---------------------------------------------------------------------------
// load

frmCustom::frmCustom(QWidget* parent) : QWidget(parent, Qt::Window) {
    keep_on_screen(this);
    g_instance = this;
    build_controls();
    connect_controls();

    // The window load.
    setWindowTitle(QStringLiteral("Lumivane - Custom SlideShow Editor"));
    current_image = -1;
    activated = 0;
    auto& ed = editors();
    ed.image_preview_left = ed.image_preview_top = -1;
    ed.image_preview_width = ed.image_preview_height = -1;
    const auto& d = doc();
    {
        // The name box shows the name the slideshow already has, without
        // its change handler running.
        const QSignalBlocker block(Text3);
        Text3->setText(qs(d.custom_name));
    }
    if (ed.editing_existing == 1) {
        list_guard = 1;
        for (int i = 1; i <= d.image_count && valid_image(i); ++i)
            List1->addItem(qs(file_title(d.sequences.image_file[at(i)])));
        list_guard = 0;
    }
    Label2->setText(QStringLiteral("Total Images=0"));
    Label10->setText(QStringLiteral("Image: 0"));
}

frmCustom::~frmCustom() {
    if (!unloaded_) {
        // Deleted without closing: the same unload, without yielding.
        unloaded_ = true;
        MMControl1.stop_and_close();
        if (preview_window_) delete preview_window_.data();
        editors().image_preview_open = 0;
        editors().custom_editor_open = 0;
    }
    if (g_instance == this) g_instance = nullptr;
}

void frmCustom::build_controls() {
    auto tip = [](QWidget* w, const char* text) { w->setToolTip(QString::fromUtf8(text)); };
    auto button = [this, &tip](const char* caption, const char* tooltip) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        tip(b, tooltip);
        return b;
    };
    auto step = [this](Qt::ArrowType arrow) {
        auto* b = new QToolButton(this);
        b->setArrowType(arrow);
        b->setAutoRepeat(true);
        return b;
    };
    auto value_label = [this] {
        auto* l = new QLabel(QStringLiteral("0"), this);
        l->setMinimumWidth(26);   // inside a frame_holder
        l->setAlignment(Qt::AlignCenter);
        return l;
    };
    auto file_label = [this] {
        auto* l = new QLabel(this);
        l->setFrameShape(QFrame::StyledPanel);
        // Narrow enough that two frames fit side by side on a small
        // screen; a long name is clipped and shown whole in its tooltip.
        l->setMinimumWidth(100);
        l->installEventFilter(this);
        return l;
    };
    // A value label with its up and down steps.
    auto stepper = [](QLabel* value, QToolButton* up, QToolButton* down) {
        auto* h = new QHBoxLayout;
        h->setSpacing(2);
        h->addWidget(new frame_holder(value));
        auto* v = new QVBoxLayout;
        v->setSpacing(0);
        v->addWidget(up);
        v->addWidget(down);
        h->addLayout(v);
        h->addStretch(1);
        return h;
    };
    auto text = [](const char* s) { return new QLabel(QString::fromUtf8(s)); };

    List1 = new QListWidget(this);
    List1->setMinimumWidth(200);
    // Every row is one line of text: the list need not measure each of
    // thousands of rows again whenever it lays them out.
    List1->setUniformItemSizes(true);

    Command4 = button("&Add Images", " Click here to add images to your slideshow ");
    Command24 = button("&Remove", " Remove the selected image from your slideshow ");
    Command5 = button("Move &Down", " Move the selected image down one sequence ");
    Command6 = button("Move &Up", " Move the selected image up one sequence ");
    Command25 = button("Preview &Window", " Toggle the preview window from open or closed ");
    Command22 = button("&Preview", " Click here to preview your slideshow ");
    Command34 = button("&Print", " Click here to create a print out of your Custom SlideShow Information ");
    Command3 = button("&Help", " Click here to open the help file ");
    Command21 = button("&Save And Exit", " Click here to save your slideshow settings and exit ");
    Command20 = button("&Cancel And Exit", " Cancel and exit without saving ");
    Command1 = button("Create &Music List",
                      " Click here to create a music list that will get played in the background during your "
                      "slideshow ");
    Command2 = button("Edit &Border", " Edit the border settings for your slideshow ");
    Command9 = button("...", " Select a new image for this sequence ");
    Command23 = button("Font...", " Select the font settings for this caption ");
    Command7 = button("...", " Select an audio file to play when this image is shown ");
    Command28 = button(">", " Preview audio file ");
    Command8 = button("...", " Select a background picture or gradient background for this image ");
    Command26 = button("Menu", " Click for menu ");
    Command27 = button("Menu", " Click for menu ");
    Command33 = button("Menu", " Click for menu ");

    // The small buttons beside a field are as wide as their captions, not
    // as wide as the style's usual push button.
    for (QPushButton* b : {Command9, Command23, Command7, Command28, Command8, Command26, Command27, Command33})
        b->setMaximumWidth(b->fontMetrics().horizontalAdvance(b->text()) + 24);

    Command10 = step(Qt::UpArrow);
    Command11 = step(Qt::DownArrow);
    Command13 = step(Qt::UpArrow);
    Command12 = step(Qt::DownArrow);
    Command19 = step(Qt::UpArrow);
    Command18 = step(Qt::DownArrow);
    Command17 = step(Qt::UpArrow);
    Command16 = step(Qt::DownArrow);
    Command14 = step(Qt::UpArrow);
    Command15 = step(Qt::DownArrow);
    Command32 = step(Qt::UpArrow);
    Command31 = step(Qt::DownArrow);
    Command29 = step(Qt::UpArrow);
    Command30 = step(Qt::DownArrow);

    Label19 = file_label();
    Label17 = file_label();
    Label18 = file_label();
    Label13 = value_label();
    Label14 = value_label();
    Label21 = value_label();
    Label7 = value_label();
    Label6 = value_label();
    Label30 = value_label();
    Label29 = value_label();
    Label2 = new QLabel(this);
    Label10 = new QLabel(this);

    Combo1 = new QComboBox(this);
    Combo2 = new QComboBox(this);
    Combo3 = new QComboBox(this);
    Combo4 = new QComboBox(this);
    Combo5 = new QComboBox(this);
    Combo6 = new QComboBox(this);
    Combo7 = new QComboBox(this);
    // The lists may be narrower than their longest entry; each opens as wide
    // as its entries.
    for (QComboBox* c : {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6, Combo7}) {
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(12);
    }

    Text1 = new QLineEdit(this);
    tip(Text1, " This is the text that will get displayed when this image is shown ");
    Text2 = new QLineEdit(this);
    tip(Text2, " Enter any comments you may have about this image ");
    Text3 = new QLineEdit(this);
    tip(Text3, " Enter a name for this slideshow ");
    for (QLineEdit* t : {Text1, Text2, Text3}) t->installEventFilter(this);

    // Image frame.
    Frame1 = new QGroupBox(QStringLiteral("Image"), this);
    {
        auto* g = new QGridLayout(Frame1);
        auto* file_row = new QHBoxLayout;
        file_row->addWidget(Label19, 1);
        file_row->addWidget(Command9);
        file_row->addWidget(Command26);
        g->addWidget(text("Image File:"), 0, 0);
        g->addLayout(file_row, 0, 1, 1, 3);
        g->addWidget(text("Display Position:"), 1, 0);
        g->addWidget(Combo1, 1, 1, 1, 3);
        g->addWidget(text("Display Effect:"), 2, 0);
        g->addWidget(Combo2, 2, 1, 1, 3);
        g->addWidget(text("Effect Speed:"), 3, 0);
        g->addLayout(stepper(Label13, Command10, Command11), 3, 1);
        g->addWidget(text("Effect Grain:"), 3, 2);
        g->addLayout(stepper(Label14, Command13, Command12), 3, 3);
        g->addWidget(text("Display Time:"), 4, 0);
        g->addLayout(stepper(Label21, Command19, Command18), 4, 1);
        g->addWidget(text("Notes:"), 5, 0);
        g->addWidget(Text2, 5, 1, 1, 3);
    }
    // Caption frame.
    Frame2 = new QGroupBox(QStringLiteral("Caption"), this);
    {
        auto* g = new QGridLayout(Frame2);
        auto* text_row = new QHBoxLayout;
        text_row->addWidget(Text1, 1);
        text_row->addWidget(Command23);
        text_row->addWidget(Command27);
        g->addWidget(text("Text:"), 0, 0);
        g->addLayout(text_row, 0, 1, 1, 3);
        g->addWidget(text("Display Position:"), 1, 0);
        g->addWidget(Combo3, 1, 1, 1, 3);
        g->addWidget(text("Display Effect:"), 2, 0);
        g->addWidget(Combo4, 2, 1, 1, 3);
        g->addWidget(text("Effect Speed"), 3, 0);
        g->addLayout(stepper(Label7, Command17, Command16), 3, 1);
        g->addWidget(text("Effect Grain"), 3, 2);
        g->addLayout(stepper(Label6, Command14, Command15), 3, 3);
    }
    // Audio frame.
    Frame3 = new QGroupBox(QStringLiteral("Audio"), this);
    {
        auto* g = new QGridLayout(Frame3);
        auto* file_row = new QHBoxLayout;
        file_row->addWidget(Label17, 1);
        file_row->addWidget(Command7);
        file_row->addWidget(Command28);
        g->addLayout(file_row, 0, 0, 1, 2);
        g->addWidget(text("Audio Mode:"), 1, 0);
        g->addWidget(Combo5, 1, 1);
        g->setColumnStretch(1, 1);   // the list of modes, not its label, takes the room
    }
    // Background frame.
    Frame4 = new QGroupBox(QStringLiteral("Background"), this);
    {
        auto* g = new QGridLayout(Frame4);
        auto* file_row = new QHBoxLayout;
        file_row->addWidget(Label18, 1);
        file_row->addWidget(Command8);
        file_row->addWidget(Command33);
        g->addWidget(text("Background Picture:"), 0, 0);
        g->addLayout(file_row, 0, 1, 1, 3);
        g->addWidget(text("Display Position:"), 1, 0);
        g->addWidget(Combo6, 1, 1, 1, 3);
        g->addWidget(text("Display Effect:"), 2, 0);
        g->addWidget(Combo7, 2, 1, 1, 3);
        g->addWidget(text("Effect Speed:"), 3, 0);
        g->addLayout(stepper(Label30, Command32, Command31), 3, 1);
        g->addWidget(text("Effect Grain:"), 3, 2);
        g->addLayout(stepper(Label29, Command29, Command30), 3, 3);
    }

    // Left column: name, list, counters, list commands.
    auto* left = new QVBoxLayout;
    left->addWidget(text("Enter A Name For This SlideShow:"));
    left->addWidget(Text3);
    List1->setFrameShape(QFrame::NoFrame);   // its holder draws the frame
    left->addWidget(new frame_holder(List1), 1);
    auto* counters = new QHBoxLayout;
    counters->addWidget(Label2);
    counters->addStretch(1);
    counters->addWidget(Label10);
    left->addLayout(counters);
    auto* list_buttons = new QGridLayout;
    list_buttons->addWidget(Command4, 0, 0);
    list_buttons->addWidget(Command24, 0, 1);
    list_buttons->addWidget(Command6, 1, 0);
    list_buttons->addWidget(Command5, 1, 1);
    left->addLayout(list_buttons);

    auto* frames = new QGridLayout;
    frames->addWidget(Frame1, 0, 0);
    frames->addWidget(Frame2, 0, 1);
    frames->addWidget(Frame3, 1, 0);
    frames->addWidget(Frame4, 1, 1);

    // The commands in two rows under the frames, the slideshow's own above,
    // leaving the editor below, so that the window fits a small screen.
    auto* commands = new QHBoxLayout;
    for (QPushButton* b : {Command1, Command2, Command25, Command22, Command34, Command3})
        commands->addWidget(b);
    commands->addStretch(1);
    auto* exits = new QHBoxLayout;
    exits->addStretch(1);
    exits->addWidget(Command21);
    exits->addWidget(Command20);

    auto* right = new QVBoxLayout;
    right->addLayout(frames, 1);
    right->addLayout(commands);
    right->addLayout(exits);

    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(right, 1);

    // The three pop-up menus.
    popup1 = new QMenu(QStringLiteral("&menu1"), this);
    popup_1 = popup1->addAction(QStringLiteral("Copy This Image's Settings To All"));
    popup_1a = popup1->addAction(QStringLiteral("Copy This Image's Display Position To All"));
    popup_2 = popup1->addAction(QStringLiteral("Copy This Image's Display Time To All"));
    popup_6 = popup1->addAction(QStringLiteral("Copy This Image's Effect, Effect Speed, Effect Grain To All"));
    popup_7 = popup1->addAction(QStringLiteral("Select Transparent Color For This Image"));
    popup1->addSeparator();
    exit1 = popup1->addAction(QStringLiteral("Exit"));
    popup2 = new QMenu(QStringLiteral("&menu2"), this);
    popup_3 = popup2->addAction(QStringLiteral("Add Filenames To All Captions"));
    popup_4 = popup2->addAction(QStringLiteral("Copy This Caption's Text, Display Position, Font Settings To All"));
    popup_5 = popup2->addAction(QStringLiteral("Copy This Caption's Effect, Effect Speed, Effect Grain To All"));
    popup2->addSeparator();
    exit2 = popup2->addAction(QStringLiteral("Exit"));
    popup3 = new QMenu(QStringLiteral("&menu3"), this);
    popup_8 = popup3->addAction(QStringLiteral("Copy This Background's Settings To All"));
    popup3->addSeparator();
    exit3 = popup3->addAction(QStringLiteral("Exit"));
}

void frmCustom::connect_controls() {
    // Every handler holds the window busy, so that a close arriving while it
    // yields does not delete the window under it.
    auto on = [this](auto* sender, auto signal, auto fn) {
        connect(sender, signal, this, [this, fn] {
            busy_scope busy(this);
            fn();
        });
    };
    using B = QAbstractButton;
    on(Command4, &B::clicked, [this] { add_images(); });
    on(Command24, &B::clicked, [this] { remove_image(); });
    on(Command5, &B::clicked, [this] { move_down(); });
    on(Command6, &B::clicked, [this] { move_up(); });
    on(Command25, &B::clicked, [this] { toggle_preview(); });
    on(Command22, &B::clicked, [this] { preview_slideshow(); });
    on(Command34, &B::clicked, [this] { print_slideshow(); });
    on(Command3, &B::clicked, [this] { help(); });
    on(Command21, &B::clicked, [this] { save_and_exit(); });
    on(Command20, &B::clicked, [this] { cancel_and_exit(); });
    on(Command1, &B::clicked, [this] { create_music_list(); });
    on(Command2, &B::clicked, [this] { edit_border(); });
    on(Command9, &B::clicked, [this] { select_new_image(); });
    on(Command23, &B::clicked, [this] { caption_font(); });
    on(Command7, &B::clicked, [this] { select_audio(); });
    on(Command28, &B::clicked, [this] { preview_audio(); });
    on(Command8, &B::clicked, [this] { select_background(); });
    on(Command26, &B::clicked, [this] { popup1->exec(QCursor::pos()); });
    on(Command27, &B::clicked, [this] { popup2->exec(QCursor::pos()); });
    on(Command33, &B::clicked, [this] { popup3->exec(QCursor::pos()); });

    // Step buttons: field number, direction.
    const std::pair<QToolButton*, std::pair<int, int>> steps[] = {
        {Command10, {0, 1}}, {Command11, {0, -1}}, {Command13, {1, 1}}, {Command12, {1, -1}},
        {Command19, {2, 1}}, {Command18, {2, -1}}, {Command17, {3, 1}}, {Command16, {3, -1}},
        {Command14, {4, 1}}, {Command15, {4, -1}}, {Command32, {5, 1}}, {Command31, {5, -1}},
        {Command29, {6, 1}}, {Command30, {6, -1}}};
    for (const auto& [b, s] : steps) {
        const int which = s.first, delta = s.second;
        on(b, &B::clicked, [this, which, delta] { step_field(which, delta); });
    }

    using A = QAction;
    on(popup_1, &A::triggered, [this] { popup_1_click(); });
    on(popup_1a, &A::triggered, [this] { popup_1a_click(); });
    on(popup_2, &A::triggered, [this] { popup_2_click(); });
    on(popup_6, &A::triggered, [this] { popup_6_click(); });
    on(popup_7, &A::triggered, [this] { popup_7_click(); });
    on(popup_3, &A::triggered, [this] { popup_3_click(); });
    on(popup_4, &A::triggered, [this] { popup_4_click(); });
    on(popup_5, &A::triggered, [this] { popup_5_click(); });
    on(popup_8, &A::triggered, [this] { popup_8_click(); });

    on(List1, &QListWidget::currentRowChanged, [this] { list_click(); });

    using C = QComboBox;
    auto& ed = editors();
    // While a selected sequence is being shown the lists change by
    // themselves: that is no edit, and the list click asks for the redraw.
    on(Combo1, &C::currentIndexChanged, [this, &ed] {
        store_display(current_image);
        if (display_guard == 0) ed.image_preview_refresh = 2;
    });
    on(Combo2, &C::currentIndexChanged, [this] { effect_changed(Combo2, Label13, Label14, 1); });
    on(Combo3, &C::currentIndexChanged, [this, &ed] {
        store_display(current_image);
        if (display_guard == 0) ed.image_preview_refresh = 2;
    });
    on(Combo4, &C::currentIndexChanged, [this] { effect_changed(Combo4, Label7, Label6, 1); });
    on(Combo5, &C::currentIndexChanged, [this] { store_display(current_image); });
    on(Combo6, &C::currentIndexChanged, [this, &ed] {
        store_display(current_image);
        if (display_guard == 0) ed.image_preview_refresh = 2;
    });
    on(Combo7, &C::currentIndexChanged, [this] { effect_changed(Combo7, Label30, Label29, 1); });

    for (QLineEdit* t : {Text1, Text2, Text3}) {
        on(t, &QLineEdit::textEdited, [this, t] { text_edited(t); });
        on(t, &QLineEdit::textChanged, [this, t] { text_changed(t); });
    }
}

// ---------------------------------------------------------------------------
// first activation

void frmCustom::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (first_show_) {
        first_show_ = false;
        QTimer::singleShot(0, this, [this] {
            busy_scope busy(this);
            form_activate();
        });
    }
}

void frmCustom::form_activate() {
    if (activated != 0 || unloaded_) return;
    raise();
    activateWindow();
    activated = 1;
    setup_interface();
    if (doc().image_count == 0)
        interface_off();
    else
        interface_on();
    update_totals();
    if (editors().editing_existing == 1 && List1->count() > 0) {
        select_row(0);
        yield_events();
    }
    if (unloaded_) return;
    repaint();
    show_message(2);
}

void frmCustom::setup_interface() {
    // Filling the lists is no user's choice: their change handlers stay quiet.
    const QSignalBlocker b1(Combo1), b2(Combo2), b3(Combo3), b4(Combo4), b5(Combo5), b6(Combo6), b7(Combo7);
    Combo1->clear();
    for (const char* p : display_positions) Combo1->addItem(QString::fromUtf8(p));
    for (QComboBox* c : {Combo2, Combo4, Combo7}) {
        c->clear();
        for (int r = 0; r < effect_rows; ++r) c->addItem(QString::fromUtf8(effect_names[static_cast<std::size_t>(r)]));
    }
    Combo3->clear();
    for (int p = 4; p <= 12; ++p) Combo3->addItem(QString::fromUtf8(display_positions[p]));
    Combo5->clear();
    Combo6->clear();
    for (const char* m : audio_modes) Combo5->addItem(QString::fromUtf8(m));
    Combo6->addItem(QStringLiteral("Tile To Screen"));
    Combo6->addItem(QStringLiteral("Stretch To Screen"));
}

// ---------------------------------------------------------------------------
// showing and storing a record

bool frmCustom::selected() const { return valid_image(current_image); }

void frmCustom::store_display(int index) {
    if (display_guard == 1) return;
    auto& d = doc();
    if (index >= 1 && valid_image(index)) {
        auto& s = d.sequences;
        const std::size_t x = at(index);
        s.display_position[x] = index_or(Combo1, s.display_position[x]);
        s.display_effect[x] = index_or(Combo2, s.display_effect[x]);
        s.effect_speed[x] = label_value(Label13);
        s.effect_grain[x] = label_value(Label14);
        s.display_time[x] = label_value(Label21);
        s.notes[x] = Text2->text().toStdString();
        s.caption_text[x] = Text1->text().toStdString();
        s.caption_position[x] = index_or(Combo3, s.caption_position[x]);
        s.caption_effect[x] = index_or(Combo4, s.caption_effect[x]);
        s.caption_speed[x] = label_value(Label7);
        s.caption_grain[x] = label_value(Label6);
        const auto& cs = d.caption_settings;
        apply_caption_settings(s, x, cs);
        s.audio_mode[x] = index_or(Combo5, s.audio_mode[x]);
        s.background_placement[x] = index_or(Combo6, s.background_placement[x]);
        s.background_effect[x] = index_or(Combo7, s.background_effect[x]);
        s.background_speed[x] = label_value(Label30);
        s.background_grain[x] = label_value(Label29);
    }
    d.custom_name = Text3->text().toStdString();
    yield_events();
}

void frmCustom::update_display(int index) {
    if (!valid_image(index)) return;
    auto& d = doc();
    // Read each field as it is shown: the handlers that run on the way may
    // yield, and the document is read afresh after each.
    auto seq = []() -> sequence_columns& { return doc().sequences; };
    const std::size_t x = at(index);
    Label19->setText(qs(file_title(seq().image_file[x])));
    set_combo(Combo1, seq().display_position[x]);
    if (!valid_image(index)) return;
    set_combo(Combo2, seq().display_effect[x]);
    if (!valid_image(index)) return;
    set_label_number(Label13, seq().effect_speed[x]);
    set_label_number(Label14, seq().effect_grain[x]);
    set_label_number(Label21, seq().display_time[x]);
    Text2->setText(qs(seq().notes[x]));
    if (!valid_image(index)) return;
    Text1->setText(qs(seq().caption_text[x]));
    if (!valid_image(index)) return;
    set_combo(Combo3, seq().caption_position[x]);
    if (!valid_image(index)) return;
    set_combo(Combo4, seq().caption_effect[x]);
    if (!valid_image(index)) return;
    set_label_number(Label7, seq().caption_speed[x]);
    set_label_number(Label6, seq().caption_grain[x]);
    auto& cs = d.caption_settings;
    cs.caption_settings_font_name = seq().caption_font_name[x];
    cs.caption_settings_bold = seq().caption_bold[x];
    cs.caption_settings_italic = seq().caption_italic[x];
    cs.caption_settings_font_size = seq().caption_font_size[x];
    cs.caption_settings_style = seq().caption_style[x];
    cs.caption_settings_shadow_size = seq().caption_shadow_size[x];
    cs.caption_settings_color = seq().caption_color[x];
    cs.caption_settings_color_scheme = seq().caption_color_scheme[x];
    Label17->setText(qs(file_title(seq().audio_file[x])));
    set_combo(Combo5, seq().audio_mode[x]);
    if (!valid_image(index)) return;
    Label18->setText(qs(file_title(seq().background_file[x])));
    set_combo(Combo6, seq().background_placement[x]);
    if (!valid_image(index)) return;
    set_combo(Combo7, seq().background_effect[x]);
    if (!valid_image(index)) return;
    set_label_number(Label30, seq().background_speed[x]);
    set_label_number(Label29, seq().background_grain[x]);
    Text3->setText(qs(d.custom_name));
    yield_events();
    update_totals();
    yield_events();
}

void frmCustom::update_totals() {
    const int n = std::max(0, doc().image_count);
    const int k = std::max(0, current_image);
    Label2->setText(QStringLiteral("Total Images=") + QString::number(n));
    Label10->setText(QStringLiteral("Image: ") + QString::number(k));
    yield_events();
}

// ---------------------------------------------------------------------------
// change handlers

void frmCustom::effect_changed(QComboBox* combo, QLabel* speed, QLabel* grain, int refresh) {
    const int row = combo->currentIndex();
    if (row >= 0 && row < effect_rows) {
        const effect_row& e = effect_table()[static_cast<std::size_t>(row)];
        set_label_number(speed, e.speed);
        set_label_number(grain, e.grain);
    }
    store_display(current_image);
    if (display_guard == 0) editors().image_preview_refresh = refresh;
}

void frmCustom::text_edited(QLineEdit* box) {
    // The key filter keeps these characters out of typed text; pasted text
    // gets the same treatment, or a double quote would make the save fail.
    const QString text = box->text();
    QString clean;
    clean.reserve(text.size());
    for (QChar c : text)
        if (!refused_by(box, Text3, c)) clean.append(c);
    if (clean != text) {
        const int cursor = std::min<int>(box->cursorPosition(), static_cast<int>(clean.size()));
        box->setText(clean);   // its change handler stores it
        box->setCursorPosition(cursor);
    }
}

void frmCustom::text_changed(QLineEdit*) { store_display(current_image); }

void frmCustom::step_field(int which, int delta) {
    if (!selected()) return;
    auto& s = doc().sequences;
    const std::size_t x = at(current_image);
    struct range {
        std::vector<int>* column;
        int low, high;
    };
    const range fields[] = {{&s.effect_speed, 0, 255},  {&s.effect_grain, 1, 255},     {&s.display_time, 1, 240},
                            {&s.caption_speed, 0, 255}, {&s.caption_grain, 1, 255},    {&s.background_speed, 0, 255},
                            {&s.background_grain, 1, 255}};
    if (which < 0 || which > 6) return;
    const range& f = fields[which];
    int& v = (*f.column)[x];
    if (delta > 0 && v < f.high) v += 1;
    if (delta < 0 && v > f.low) v -= 1;
    update_display(current_image);
}

// ---------------------------------------------------------------------------
// selecting a sequence

void frmCustom::select_row(int row) {
    list_guard = 1;
    List1->setCurrentRow(row);
    list_guard = 0;
    list_click();
}

void frmCustom::list_click() {
    if (list_guard == 1) return;
    const int row = List1->currentRow();
    if (row < 0 || !valid_image(row + 1)) return;
    // The list is greyed out while it shows the record; the keyboard stays
    // with it, so the next arrow key moves on through the list.
    focus_keeping_disable hold(List1);
    display_guard = 1;
    current_image = row + 1;
    update_totals();
    update_display(current_image);
    if (valid_image(current_image)) {
        if (!file_exists(doc().sequences.image_file[at(current_image)]))
            file_not_found_box(current_image);
        else
            editors().image_preview_refresh = 2;
    }
    display_guard = 0;
    // The interface may have gone off meanwhile (the last sequence removed).
    hold.enable_again(doc().image_count > 0);
}

void frmCustom::file_not_found_box(int image) {
    editor_box(this, "File Not Found! (Image " + std::to_string(image) + ")",
               "The file for this image cannot be found. Please select a new image.");
}

// ---------------------------------------------------------------------------
// interface on and off

void frmCustom::set_interface_enabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             List1,     Frame1,    Frame2,    Frame3,    Frame4,    Command25, Command24, Command5,  Command6,
             Command1,  Command2,  Command22, Command21, Command7,  Command8,  Command9,  Command23, Command26,
             Command27, Command10, Command11, Command12, Command13, Command14, Command15, Command16, Command17,
             Command18, Command19, Command28, Command29, Command30, Command31, Command32, Command33, Command34})
        w->setEnabled(on);
}

void frmCustom::interface_off() {
    set_interface_enabled(false);
    current_image = -1;
    yield_events();
    if (editors().image_preview_open == 1) close_image_preview();
}

void frmCustom::interface_on() { set_interface_enabled(true); }

// ---------------------------------------------------------------------------
// audio preview on the editor's own player

void frmCustom::audio_off() {
    MMControl1.stop_and_close();   // "Stop" and "Close"
    yield_events();
    yield_events();
}

void frmCustom::play_wav(const std::string& file) {
    if (file.find("CD Track") == std::string::npos) {
        MMControl1.stop_and_close();
        const std::string ext = file_type(file);
        if (ext == "WAV")
            MMControl1.device_type = "WaveAudio";
        else if (ext == "MP3")
            MMControl1.device_type = "MPEGVideo";
        else if (ext == "MID" || ext == "RMI")
            MMControl1.device_type = "Sequencer";
        MMControl1.open_and_play(file);
    } else {
        play_cd_track(leading_number(file.size() > 9 ? file.substr(9) : std::string()));
    }
}

int frmCustom::play_cd_track(int track) { return lv::play_cd_track(MMControl1, track); }

void frmCustom::preview_audio() {
    focus_keeping_disable hold(Command28);
    yield_events();
    audio_off();
    if (selected()) {
        const std::string file = doc().sequences.audio_file[at(current_image)];
        if (file.empty())
            editor_box(this, product_name, "There is no audio file selected for this image.");
        else
            play_wav(file);
    }
    hold.enable_again(!unloaded_ && doc().image_count > 0);
    yield_events();
}

// ---------------------------------------------------------------------------
// keys, tooltips, help, shell

bool frmCustom::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* box = qobject_cast<QLineEdit*>(watched);
        if (box == Text1 || box == Text2 || box == Text3) {
            auto* k = static_cast<QKeyEvent*>(event);
            const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
            bool refused = enter;
            // A key is refused for the character it would type. Backspace,
            // Tab and the Ctrl letters carry control characters that type
            // nothing, so they reach the box; line breaks are refused keys.
            for (QChar c : k->text())
                if ((c.isPrint() || c == QLatin1Char('\r') || c == QLatin1Char('\n')) && refused_by(box, Text3, c))
                    refused = true;
            if (refused) {
                // Enter in the caption box only asks the preview for a redraw.
                if (box == Text1 && enter) editors().image_preview_refresh = 2;
                return true;
            }
        }
    } else if (event->type() == QEvent::ToolTip) {
        // The file labels show the full path of the selected sequence's file.
        std::string path;
        const bool known = watched == Label19 || watched == Label17 || watched == Label18;
        if (known && current_image > 0 && selected()) {
            const auto& s = doc().sequences;
            const std::size_t x = at(current_image);
            path = watched == Label19 ? s.image_file[x] : watched == Label17 ? s.audio_file[x] : s.background_file[x];
        }
        if (known) {
            auto* help = static_cast<QHelpEvent*>(event);
            if (path.empty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), qs(path), static_cast<QWidget*>(watched));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmCustom::keyPressEvent(QKeyEvent* e) {
    const int k = e->key() - Qt::Key_F1;
    if (k >= 0 && k <= 11) {
        busy_scope busy(this);
        hot_key(k);
        return;
    }
    QWidget::keyPressEvent(e);
}

void frmCustom::hot_key(int k) {
    if (k < 0 || k > 11) return;
    const std::string file = settings().hot_keys[static_cast<std::size_t>(k)];
    if (!file.empty()) {
        launch_file(file, "");
        return;
    }
    editor_box(this, "Hot Key",
               "There is no file assoicated with the F" + std::to_string(k + 1) +
                   " key.\n\nPlease go to the OPTIONS screen to edit the hot key settings.");
}

void frmCustom::launch_file(const std::string& file, const std::string& parameters) {
    const std::string folder = file.substr(0, file.size() - file_title(file).size());
    const auto& open = shell_open();
    if (!open || !open(file, parameters, folder))
        editor_box(this, product_name, "Error Launching Program!\n" + file + "\nPlease check the source file.");
}

void frmCustom::help() { launch_file(join_path(settings().install_path, "help.hlp"), ""); }

// ---------------------------------------------------------------------------
// closing

void frmCustom::cancel_and_exit() { close(); }

void frmCustom::closeEvent(QCloseEvent* e) {
    unload();
    e->accept();
    if (busy_depth_ > 0)
        delete_pending_ = true;
    else
        deleteLater();
}

void frmCustom::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    audio_off();
    if (editors().image_preview_open == 1 || preview_window_) {
        close_image_preview();
        yield_events();
    }
    editors().custom_editor_open = 0;
    if (g_instance == this) g_instance = nullptr;
}

}  // namespace lv
