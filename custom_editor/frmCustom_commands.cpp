// The custom editor's commands that change the list of sequences or more
// than the controls show: adding, removing and moving sequences, the copy
// menus, the transparent colour, and the visits to the pickers and dialogs.
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>

#include <utility>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/file_names.h"
#include "core/hooks.h"
#include "core/slideshow_file.h"
#include "custom_editor/FrmBorder.h"
#include "custom_editor/frmAddmusic.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmAddwav.h"
#include "custom_editor/frmCaptionSettings.h"
#include "custom_editor/frmCustom.h"
#include "custom_editor/frmCustom_detail.h"
#include "custom_editor/frmGetbackground.h"
#include "custom_editor/frmGetimage.h"
#include "custom_editor/frmImagePreview.h"
#include "platform/desktop/desktop_services.h"
#include "platform/desktop/focus_keep.h"
#include "platform/desktop/frmPopmessage.h"

namespace lv {

using namespace custom_detail;

// ---------------------------------------------------------------------------
// adding, removing, moving

void frmCustom::add_images() {
    audio_off();
    // The picker appends a row per sequence it adds. They reach List1 in one
    // batch once the picker is done: the document yields after every added
    // sequence, and a list that grew by a row at each yield would lay out
    // all its rows again each time, which makes adding thousands slow.
    QStringList pending;
    {
        frmAddphotos dlg(this);
        dlg.append_to_list = [&pending](const std::string& title) { pending.append(qs(title)); };
        dlg.exec();
    }
    if (unloaded_) return;
    hourglass_on();
    // One row per sequence, whatever the picker managed to append.
    list_guard = 1;
    const auto& d = doc();
    const int had = List1->count();
    if (had + pending.size() == d.image_count) {
        List1->addItems(pending);
    } else {
        while (List1->count() > d.image_count && List1->count() > 0) delete List1->takeItem(List1->count() - 1);
        QStringList rows;
        for (int i = List1->count() + 1; i <= d.image_count && valid_image(i); ++i)
            rows.append(qs(file_title(d.sequences.image_file[at(i)])));
        List1->addItems(rows);
    }
    list_guard = 0;
    hourglass_off();

    if (doc().image_count > 0) {
        interface_on();
        if (current_image == -1) {
            current_image = 0;
            select_row(0);
            yield_events();
        }
    } else {
        interface_off();
    }
    update_totals();
}

void frmCustom::remove_image() {
    if (current_image < 1 || !selected()) return;
    focus_keeping_disable hold(Command24);
    auto& d = doc();
    const int n = current_image;
    const bool was_last = n == d.image_count;
    if (!was_last) {
        auto& s = d.sequences;
        for (int i = n + 1; i <= d.image_count; ++i) s.set(i - 1, s.get(i));
        yield_events();
    }
    list_guard = 1;
    if (n - 1 < List1->count()) delete List1->takeItem(n - 1);
    list_guard = 0;
    d.image_count -= 1;

    if (d.image_count > 0)
        select_row(was_last ? d.image_count - 1 : n - 1);
    else
        interface_off();
    yield_events();
    redim_slides(doc().image_count);
    hold.enable_again(doc().image_count > 0);
    yield_events();
    update_totals();
}

namespace {

// Exchanges all fields of two sequences.
void swap_sequences(int a, int b) {
    auto& s = doc().sequences;
    const sequence_record ra = s.get(a);
    s.set(a, s.get(b));
    s.set(b, ra);
}

}  // namespace

void frmCustom::move_down() {
    const int i = List1->currentRow();
    if (!selected() || i < 0 || i >= doc().image_count - 1 || i + 1 >= List1->count()) return;
    const int a = i + 1;
    swap_sequences(a, a + 1);
    QListWidgetItem* x = List1->item(i);
    QListWidgetItem* y = List1->item(i + 1);
    const QString t = x->text();
    x->setText(y->text());
    y->setText(t);
    yield_events();
    select_row(i + 1);
    yield_events();
}

void frmCustom::move_up() {
    const int i = List1->currentRow();
    if (!selected() || i <= 0 || i >= List1->count() || !valid_image(i + 1)) return;
    const int a = i + 1;
    swap_sequences(a, a - 1);
    QListWidgetItem* x = List1->item(i);
    QListWidgetItem* y = List1->item(i - 1);
    const QString t = x->text();
    x->setText(y->text());
    y->setText(t);
    yield_events();
    select_row(i - 1);
    yield_events();
}

// ---------------------------------------------------------------------------
// copy menus

void frmCustom::copy_group_to_all(void (*copy)(int from, int to)) {
    if (!selected()) return;
    const int from = current_image;
    for (int i = 1; i <= doc().image_count; ++i) copy(from, i);
    yield_events();
}

void frmCustom::popup_1_click() {
    if (!selected()) return;
    list_guard = 1;
    const int keep = List1->currentRow();
    auto& s = doc().sequences;
    const sequence_record src = s.get(current_image);
    const QString title = qs(file_title(src.image_file));
    for (int i = 1; i <= doc().image_count; ++i) {
        const std::size_t x = at(i);
        s.image_file[x] = src.image_file;
        s.display_position[x] = src.display_position;
        s.display_effect[x] = src.display_effect;
        s.effect_speed[x] = src.effect_speed;
        s.effect_grain[x] = src.effect_grain;
        s.display_time[x] = src.display_time;
        s.notes[x] = src.notes;
        s.transparent_color[x] = src.transparent_color;
        if (QListWidgetItem* row = List1->item(i - 1)) row->setText(title);
    }
    yield_events();
    List1->setCurrentRow(keep);
    list_guard = 0;
}

void frmCustom::popup_1a_click() {
    list_guard = 1;
    copy_group_to_all([](int from, int to) {
        auto& s = doc().sequences;
        s.display_position[at(to)] = s.display_position[at(from)];
    });
    list_guard = 0;
}

void frmCustom::popup_2_click() {
    copy_group_to_all([](int from, int to) {
        auto& s = doc().sequences;
        s.display_time[at(to)] = s.display_time[at(from)];
    });
}

void frmCustom::popup_6_click() {
    copy_group_to_all([](int from, int to) {
        auto& s = doc().sequences;
        s.display_effect[at(to)] = s.display_effect[at(from)];
        s.effect_speed[at(to)] = s.effect_speed[at(from)];
        s.effect_grain[at(to)] = s.effect_grain[at(from)];
    });
}

void frmCustom::popup_4_click() {
    copy_group_to_all([](int from, int to) {
        auto& s = doc().sequences;
        const std::size_t f = at(from), t = at(to);
        s.caption_text[t] = s.caption_text[f];
        s.caption_position[t] = s.caption_position[f];
        s.caption_font_name[t] = s.caption_font_name[f];
        s.caption_font_size[t] = s.caption_font_size[f];
        s.caption_bold[t] = s.caption_bold[f];
        s.caption_italic[t] = s.caption_italic[f];
        s.caption_style[t] = s.caption_style[f];
        s.caption_shadow_size[t] = s.caption_shadow_size[f];
        s.caption_color[t] = s.caption_color[f];
        s.caption_color_scheme[t] = s.caption_color_scheme[f];
    });
}

void frmCustom::popup_5_click() {
    copy_group_to_all([](int from, int to) {
        auto& s = doc().sequences;
        s.caption_effect[at(to)] = s.caption_effect[at(from)];
        s.caption_speed[at(to)] = s.caption_speed[at(from)];
        s.caption_grain[at(to)] = s.caption_grain[at(from)];
    });
}

void frmCustom::popup_8_click() {
    copy_group_to_all([](int from, int to) {
        auto& s = doc().sequences;
        const std::size_t f = at(from), t = at(to);
        s.background_file[t] = s.background_file[f];
        s.background_placement[t] = s.background_placement[f];
        s.background_effect[t] = s.background_effect[f];
        s.background_speed[t] = s.background_speed[f];
        s.background_grain[t] = s.background_grain[f];
    });
}

void frmCustom::popup_3_click() {
    auto& s = doc().sequences;
    // A name the slideshow file cannot store would only make the save fail:
    // that sequence keeps its caption.
    for (int i = 1; i <= doc().image_count && valid_image(i); ++i) {
        std::string title = file_title(s.image_file[at(i)]);
        if (storable_in_slideshow(title)) s.caption_text[at(i)] = std::move(title);
    }
    if (selected()) Text1->setText(qs(s.caption_text[at(current_image)]));   // its handler stores
    yield_events();
}

void frmCustom::popup_7_click() {
    if (!selected()) return;
    if (is_video_file(doc().sequences.image_file[at(current_image)])) {
        editor_box(this, product_name, "Video Files Can Not Be Displayed Transparent.");
        return;
    }
    show_message(7);
    QColorDialog dlg(this);
    dlg.setOption(QColorDialog::DontUseNativeDialog);
    const unsigned int c = last_color_;
    dlg.setCurrentColor(QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                               static_cast<int>((c >> 16) & 0xFF)));
    if (dlg.exec() != QDialog::Accepted) return;
    const QColor chosen = dlg.selectedColor();
    if (!chosen.isValid() || !selected()) return;
    const unsigned int value = static_cast<unsigned int>(chosen.red()) |
                               (static_cast<unsigned int>(chosen.green()) << 8) |
                               (static_cast<unsigned int>(chosen.blue()) << 16);
    last_color_ = value;
    doc().sequences.transparent_color[at(current_image)] = static_cast<std::int32_t>(value + 1);
}

// ---------------------------------------------------------------------------
// dialogs and pickers

void frmCustom::create_music_list() {
    audio_off();
    {
        frmAddmusic dlg(this);
        dlg.exec();
    }
    editors().image_preview_refresh = 2;
}

void frmCustom::edit_border() {
    {
        FrmBorder dlg(this);
        dlg.exec();
    }
    editors().image_preview_refresh = 2;
}

void frmCustom::caption_font() {
    doc().caption_sample_text = Text1->text().toStdString();
    {
        frmCaptionSettings dlg(this);
        dlg.exec();
    }
    if (selected()) {
        auto& s = doc().sequences;
        const auto& cs = doc().caption_settings;
        const std::size_t x = at(current_image);
        apply_caption_settings(s, x, cs);
    }
    editors().image_preview_refresh = 1;
}

void frmCustom::select_audio() {
    audio_off();
    auto& ed = editors();
    ed.offer_clear_file = selected() && !doc().sequences.audio_file[at(current_image)].empty() ? 1 : 0;
    {
        frmAddwav dlg(this);
        dlg.exec();
    }
    if (selected()) {
        auto& s = doc().sequences;
        if (!ed.picked_sound.empty()) {
            s.audio_file[at(current_image)] = ed.picked_sound;
            Label17->setText(qs(file_title(ed.picked_sound)));
            store_display(current_image);
        }
        if (ed.offer_clear_file == 1 && selected()) {
            s.audio_file[at(current_image)].clear();
            Label17->clear();
            store_display(current_image);
        }
    }
    ed.offer_clear_file = 0;
}

void frmCustom::select_background() {
    auto& ed = editors();
    ed.offer_clear_file = selected() && !doc().sequences.background_file[at(current_image)].empty() ? 1 : 0;
    ed.picker_for_background = 1;
    {
        frmGetbackground dlg(this);
        dlg.exec();
    }
    ed.picker_for_background = 0;
    if (selected()) {
        auto& s = doc().sequences;
        if (!ed.picked_file.empty()) {
            s.background_file[at(current_image)] = ed.picked_file;
            Label18->setText(qs(file_title(ed.picked_file)));
            store_display(current_image);
            ed.image_preview_refresh = 1;
        }
        if (ed.offer_clear_file == 1 && selected()) {
            s.background_file[at(current_image)].clear();
            Label18->clear();
            store_display(current_image);
            ed.image_preview_refresh = 2;
        }
    }
    ed.offer_clear_file = 0;
}

void frmCustom::select_new_image() {
    auto& ed = editors();
    ed.offer_clear_file = 0;
    ed.picker_for_background = 0;
    {
        frmGetimage dlg(this);
        dlg.exec();
    }
    if (!ed.picked_file.empty() && selected()) {
        doc().sequences.image_file[at(current_image)] = ed.picked_file;
        const QString title = qs(file_title(ed.picked_file));
        Label19->setText(title);
        store_display(current_image);
        if (QListWidgetItem* row = List1->item(current_image - 1)) row->setText(title);
        ed.image_preview_refresh = 1;
    }
}

// ---------------------------------------------------------------------------
// the live preview window

void frmCustom::toggle_preview() {
    if (List1->currentRow() < 0 || !selected()) return;
    audio_off();
    focus_keeping_disable hold(Command25);
    auto& ed = editors();
    if (ed.image_preview_open == 1) {
        close_image_preview();
        yield_events();
    } else if (!file_exists(doc().sequences.image_file[at(current_image)])) {
        file_not_found_box(current_image);
    } else {
        show_message(13);
        if (!unloaded_) {
            ed.image_preview_open = 1;
            auto* w = new frmImagePreview(this);
            QPointer<frmCustom> self(this);
            w->set_current_image_source([self] { return self ? self->current_image : -1; });
            preview_window_ = w;
            w->show();
            yield_events();
        }
    }
    hold.enable_again(!unloaded_ && doc().image_count > 0);
}

void frmCustom::close_image_preview() {
    if (preview_window_) preview_window_->close();
    preview_window_ = nullptr;
    editors().image_preview_open = 0;
}

}  // namespace lv
