#include "core/slideshow_file.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/document.h"
#include "core/hooks.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/text_file.h"

namespace lv {

namespace {

constexpr std::int64_t i16_min = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t i16_max = std::numeric_limits<std::int16_t>::max();
constexpr std::int64_t i32_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t i32_max = std::numeric_limits<std::int32_t>::max();

constexpr int header_fields = 12;

// ---------------------------------------------------------------------------
// Reading. Fields are read one after another whatever line they stand on:
// a field ends at a comma or a line end, a quoted field at its closing quote
// (which may come on a later line); blanks before a field are skipped.
class record_reader {
public:
    explicit record_reader(std::string_view text) : s_(text) {}

    // A text field: the characters between the quotes, or of an unquoted
    // field everything up to its comma or line end.
    bool text(std::string& out) {
        std::string_view raw;
        bool quoted;
        if (!next(raw, quoted)) return false;
        out.assign(raw);
        return true;
    }

    // A whole number within [lo, hi]; an empty field reads as 0. Anything
    // else (letters, a fraction, a value out of range) fails and leaves out
    // as it was.
    template <typename T>
    bool number(T& out, std::int64_t lo, std::int64_t hi) {
        // Nearly every number field is plain digits, perhaps after a minus,
        // right up to its delimiter: read those in one pass. Anything else
        // (blanks, a plus sign, an empty field, letters, more digits than
        // any field can hold) takes the general way below, which gives the
        // same answer.
        const std::size_t n = s_.size();
        std::size_t q = pos_;
        const bool negative = q < n && s_[q] == '-';
        if (negative) ++q;
        const std::size_t first_digit = q;
        std::int64_t acc = 0;
        while (q < n && q - first_digit < 10 && s_[q] >= '0' && s_[q] <= '9') acc = acc * 10 + (s_[q++] - '0');
        if (q > first_digit && (q == n || s_[q] == ',' || s_[q] == '\r' || s_[q] == '\n')) {
            const std::int64_t v = negative ? -acc : acc;
            if (v < lo || v > hi) return false;
            pos_ = q;
            end_field();
            out = static_cast<T>(v);
            return true;
        }

        std::string_view raw;
        bool quoted;
        if (!next(raw, quoted)) return false;
        std::int64_t v;
        if (!parse_integer(raw, v) || v < lo || v > hi) return false;
        out = static_cast<T>(v);
        return true;
    }
    bool n16(int& out) { return number(out, i16_min, i16_max); }
    bool n32(std::int32_t& out) { return number(out, i32_min, i32_max); }

    // How far into the text the reader has come.
    std::size_t position() const { return pos_; }

    bool skip(int n) {
        std::string_view raw;
        bool quoted;
        for (int k = 0; k < n; ++k)
            if (!next(raw, quoted)) return false;
        return true;
    }

private:
    static bool is_blank(char c) { return c == ' ' || c == '\t'; }

    static bool parse_integer(std::string_view raw, std::int64_t& v) {
        std::size_t i = 0, n = raw.size();
        while (i < n && is_blank(raw[i])) ++i;
        while (n > i && is_blank(raw[n - 1])) --n;
        if (i == n) {
            v = 0;
            return true;
        }
        bool negative = false;
        if (raw[i] == '-' || raw[i] == '+') {
            negative = raw[i] == '-';
            ++i;
        }
        if (i == n) return false;
        std::int64_t acc = 0;
        for (; i < n; ++i) {
            const char c = raw[i];
            if (c < '0' || c > '9') return false;
            acc = acc * 10 + (c - '0');
            if (acc > i32_max + 1) return false;   // far beyond every field's range
        }
        v = negative ? -acc : acc;
        return true;
    }

    // Steps over the comma or line end that closes a field.
    void end_field() {
        if (pos_ >= s_.size()) {
            after_comma_ = false;
            return;
        }
        const char c = s_[pos_];
        if (c == ',') {
            ++pos_;
            after_comma_ = true;
            return;
        }
        after_comma_ = false;
        if (c == '\r') {
            ++pos_;
            if (pos_ < s_.size() && s_[pos_] == '\n') ++pos_;
        } else if (c == '\n') {
            ++pos_;
        }
    }

    bool next(std::string_view& raw, bool& quoted) {
        while (pos_ < s_.size() && is_blank(s_[pos_])) ++pos_;
        if (pos_ >= s_.size()) {
            // A comma right before the end still opens one (empty) field.
            if (!after_comma_) return false;
            after_comma_ = false;
            raw = {};
            quoted = false;
            return true;
        }
        quoted = s_[pos_] == '"';
        if (quoted) {
            const std::size_t close = s_.find('"', pos_ + 1);
            if (close == std::string_view::npos) return false;   // the quote never closes
            raw = s_.substr(pos_ + 1, close - pos_ - 1);
            // Whatever stands between the closing quote and the delimiter is dropped.
            pos_ = delimiter_from(close + 1);
        } else {
            const std::size_t end = delimiter_from(pos_);
            raw = s_.substr(pos_, end - pos_);
            pos_ = end;
        }
        end_field();
        return true;
    }

    // The first comma, CR or LF from pos on (the end when there is none).
    // A plain loop: fields are short, and a general set search cost more
    // than the rest of the load together.
    std::size_t delimiter_from(std::size_t pos) const {
        const char* p = s_.data();
        const std::size_t n = s_.size();
        while (pos < n) {
            const char c = p[pos];
            if (c == ',' || c == '\n' || c == '\r') break;
            ++pos;
        }
        return pos;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    bool after_comma_ = false;
};

bool read_border(record_reader& r, border_record& b) {
    return r.n16(b.border_off) && r.n16(b.border_inner_color_1) && r.n16(b.border_inner_color_2) &&
           r.n16(b.border_inner_style) && r.n16(b.border_inner_width) && r.n16(b.border_outer_color_1) &&
           r.n16(b.border_outer_color_2) && r.n16(b.border_outer_style) && r.n16(b.border_outer_width) &&
           r.n16(b.border_middle_color) && r.n16(b.border_middle_width);
}

// The nine lines of sequence i, straight into the columns.
bool read_sequence(record_reader& r, sequence_columns& s, std::size_t i) {
    return r.text(s.image_file[i]) && r.n16(s.display_position[i]) && r.n16(s.display_effect[i]) &&
           r.n16(s.effect_speed[i]) && r.n16(s.effect_grain[i]) &&
           r.n16(s.display_time[i]) && r.text(s.notes[i]) && r.text(s.caption_text[i]) &&
           r.n16(s.caption_position[i]) && r.n16(s.caption_effect[i]) &&
           r.n16(s.caption_speed[i]) && r.n16(s.caption_grain[i]) && r.text(s.caption_font_name[i]) &&
           r.n16(s.caption_font_size[i]) &&
           r.n16(s.caption_bold[i]) && r.n16(s.caption_italic[i]) && r.n16(s.caption_style[i]) &&
           r.n16(s.caption_shadow_size[i]) &&
           r.n32(s.caption_color[i]) && r.n16(s.caption_color_scheme[i]) && r.text(s.audio_file[i]) &&
           r.n16(s.audio_mode[i]) &&
           r.text(s.background_file[i]) && r.n16(s.background_placement[i]) && r.n16(s.background_effect[i]) &&
           r.n16(s.background_speed[i]) && r.n16(s.background_grain[i]) &&
           r.n32(s.transparent_color[i]) &&
           r.skip(10);
}

// The player's loaders let the window breathe between records, every few
// milliseconds rather than after each one (a pass of the message loop costs
// more than reading a sequence), and stop as soon as the show has been
// asked to end.
class player_pace {
public:
    explicit player_pace(bool player) : player_(player) {}
    bool asked_to_end() {
        if (!player_) return false;
        pacer_.maybe_yield();
        return run().time_to_end == 1;
    }
    // Right after the loading label appears, so that it is painted.
    void yield_now() {
        if (player_) yield_events();
    }

private:
    bool player_;
    yield_pacer pacer_;
};

int load_custom_impl(std::string_view text, bool player, const std::function<void()>* show_loading_label) {
    auto& d = doc();
    record_reader r(text);
    if (!r.skip(header_fields)) return 1;
    if (!r.text(d.custom_name)) return 1;
    if (!read_border(r, d.border)) return 1;
    int count = 0;
    if (!r.number(count, 0, max_file_images)) return 1;
    d.image_count = count;
    redim_slides(count);
    player_pace pace(player);
    for (int i = 1; i <= count; ++i) {
        if (!read_sequence(r, d.sequences, static_cast<std::size_t>(i))) return 1;
        if (player) {
            if (i == 501 && show_loading_label && *show_loading_label) {
                (*show_loading_label)();
                pace.yield_now();
            }
            if (pace.asked_to_end()) return 2;
        }
    }
    if (!r.n16(d.cd_track)) return 1;
    int music = 0;
    if (!r.number(music, 0, max_file_music)) return 1;
    d.music_count = music;
    redim_music(music);
    for (int j = 1; j <= music; ++j) {
        if (!r.text(d.music_files[static_cast<std::size_t>(j)]) || !r.skip(5)) return 1;
        if (pace.asked_to_end()) return 2;
    }
    return 0;
}

int load_random_impl(std::string_view text, bool player) {
    auto& d = doc();
    record_reader r(text);
    if (!r.skip(header_fields)) return 1;
    if (!r.text(d.random_name)) return 1;
    if (!read_border(r, d.border)) return 1;
    if (!r.n16(d.random_effect_speed) || !r.n16(d.random_show_file_names) || !r.n16(d.random_image_delay) ||
        !r.n16(d.random_display_position))
        return 1;
    auto& c = d.caption_settings;
    if (!r.n16(c.caption_settings_bold) || !r.n16(c.caption_settings_italic) ||
        !r.n16(c.caption_settings_font_size) || !r.text(c.caption_settings_font_name) ||
        !r.n16(c.caption_settings_style) || !r.n16(c.caption_settings_shadow_size) ||
        !r.n32(c.caption_settings_color) || !r.n16(c.caption_settings_color_scheme))
        return 1;
    player_pace pace(player);
    for (std::size_t k = 0; k < 3; ++k) {
        int count = 0;
        if (!r.number(count, 0, max_folders)) return 1;
        d.random_folder_counts[k] = count;
        for (int j = 1; j <= count; ++j) {
            if (!r.text(d.random_folders[k][static_cast<std::size_t>(j)])) return 1;
            if (pace.asked_to_end()) return 2;
        }
        if (pace.asked_to_end()) return 2;
    }
    if (!r.n16(d.cd_track)) return 1;
    if (!r.skip(10)) return 1;
    return 0;
}

int load_file(const std::string& path, const std::function<int(std::string_view)>& load) {
    std::string text;
    if (!read_text_file(path, text, max_slideshow_file_bytes)) return 1;
    return load(text);
}

// The header's three fields from the decoded text.
std::optional<std::string> kind_of(std::string_view text, std::size_t* consumed = nullptr) {
    record_reader r(text);
    std::string kind;
    if (!r.skip(2) || !r.text(kind)) return std::nullopt;
    if (consumed) *consumed = r.position();
    return kind;
}

}  // namespace

bool storable_in_slideshow(std::string_view text) {
    return text.find_first_of("\"\r\n") == std::string_view::npos && is_valid_utf8(text);
}

namespace {

// ---------------------------------------------------------------------------
// Writing. Every value is checked against what the loader accepts, so that a
// written file always loads back to the same document.
class record_writer {
public:
    void text(std::string_view s) {
        if (!storable_in_slideshow(s)) ok_ = false;
        separate();
        out_ += '"';
        out_ += s;
        out_ += '"';
    }
    void number(std::int64_t v, std::int64_t lo, std::int64_t hi) {
        if (v < lo || v > hi) ok_ = false;
        separate();
        out_ += std::to_string(v);
    }
    void n16(int v) { number(v, i16_min, i16_max); }
    void n32(std::int32_t v) { number(v, i32_min, i32_max); }
    void blanks(int n) {
        for (int k = 0; k < n; ++k) text(" ");
    }
    void end_line() {
        out_ += "\r\n";
        first_ = true;
    }
    void fail() { ok_ = false; }
    std::optional<std::string> result() { return ok_ ? std::optional<std::string>(std::move(out_)) : std::nullopt; }

private:
    void separate() {
        if (!first_) out_ += ',';
        first_ = false;
    }
    std::string out_;
    bool ok_ = true;
    bool first_ = true;
};

void write_header(record_writer& w, const char* kind) {
    w.text("Lumivane");
    w.text(file_version_text());
    w.text(kind);
    w.blanks(9);
    w.end_line();
}

void write_border(record_writer& w, const border_record& b) {
    for (int v : {b.border_off, b.border_inner_color_1, b.border_inner_color_2, b.border_inner_style,
                  b.border_inner_width, b.border_outer_color_1, b.border_outer_color_2, b.border_outer_style,
                  b.border_outer_width, b.border_middle_color, b.border_middle_width})
        w.n16(v);
    w.end_line();
}

int write_text(const std::string& path, const std::optional<std::string>& text) {
    if (!text) return 1;
    if (text->size() > max_slideshow_file_bytes) return 2;
    return replace_file(path, *text) ? 0 : 1;
}

}  // namespace

std::string file_version_text() {
    return std::to_string(version_major) + "." + std::to_string(version_minor) + "." +
           std::to_string(version_revision);
}

std::optional<std::string> read_slideshow_kind(const std::string& path) {
    // The kind stands in the first line: read only the file's head, so that
    // choosing the loader never costs a second read of a large show. The
    // head decides when its third field ends inside it and everything up to
    // there is ASCII (then the file's encoding cannot change the text);
    // anything else is read whole, as the loaders would.
    constexpr std::size_t head_bytes = 4096;
    std::string head;
    bool whole = false;
    if (!read_file_head(path, head, head_bytes, max_slideshow_file_bytes, whole)) return std::nullopt;
    if (whole) return kind_of(decode_text(head));
    // (A byte-order mark is not ASCII either: whether it is dropped depends
    // on the rest of the file.)
    std::size_t consumed = 0;
    std::optional<std::string> kind = kind_of(head, &consumed);
    if (kind && consumed < head.size() &&
        std::all_of(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(consumed),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return kind;
    std::string text;
    if (!read_text_file(path, text, max_slideshow_file_bytes)) return std::nullopt;
    return kind_of(text);
}

int load_custom_text(std::string_view bytes) {
    return load_custom_impl(decode_text(bytes), false, nullptr);
}

int load_random_text(std::string_view bytes) {
    return load_random_impl(decode_text(bytes), false);
}

int load_custom_file(const std::string& path) {
    return load_file(path, [](std::string_view t) { return load_custom_impl(t, false, nullptr); });
}

int load_random_file(const std::string& path) {
    return load_file(path, [](std::string_view t) { return load_random_impl(t, false); });
}

int c_load_custom(const std::string& path, const std::function<void()>& show_loading_label) {
    return load_file(path, [&](std::string_view t) { return load_custom_impl(t, true, &show_loading_label); });
}

int c_load_random(const std::string& path) {
    return load_file(path, [](std::string_view t) { return load_random_impl(t, true); });
}

std::optional<std::string> custom_file_text() {
    const auto& d = doc();
    const auto& s = d.sequences;
    record_writer w;
    write_header(w, "Custom");
    w.text(d.custom_name);
    w.end_line();
    write_border(w, d.border);
    // A count beyond the arrays would read past them.
    if (d.image_count < 0 || d.image_count > max_file_images ||
        (d.image_count > 0 && s.size() <= static_cast<std::size_t>(d.image_count)))
        return std::nullopt;
    w.number(d.image_count, 0, max_file_images);
    w.end_line();
    for (std::size_t i = 1; i <= static_cast<std::size_t>(d.image_count); ++i) {
        w.text(s.image_file[i]); w.n16(s.display_position[i]); w.n16(s.display_effect[i]);
        w.n16(s.effect_speed[i]); w.n16(s.effect_grain[i]);
        w.end_line();
        w.n16(s.display_time[i]); w.text(s.notes[i]); w.text(s.caption_text[i]);
        w.n16(s.caption_position[i]); w.n16(s.caption_effect[i]);
        w.end_line();
        w.n16(s.caption_speed[i]); w.n16(s.caption_grain[i]); w.text(s.caption_font_name[i]);
        w.n16(s.caption_font_size[i]);
        w.end_line();
        w.n16(s.caption_bold[i]); w.n16(s.caption_italic[i]); w.n16(s.caption_style[i]);
        w.n16(s.caption_shadow_size[i]);
        w.end_line();
        w.n32(s.caption_color[i]); w.n16(s.caption_color_scheme[i]); w.text(s.audio_file[i]);
        w.n16(s.audio_mode[i]);
        w.end_line();
        w.text(s.background_file[i]); w.n16(s.background_placement[i]); w.n16(s.background_effect[i]);
        w.end_line();
        w.n16(s.background_speed[i]); w.n16(s.background_grain[i]);
        w.end_line();
        w.n32(s.transparent_color[i]);
        w.end_line();
        w.blanks(10);
        w.end_line();
    }
    w.n16(d.cd_track);
    w.end_line();
    if (d.music_count < 0 || d.music_count > max_file_music ||
        (d.music_count > 0 && d.music_files.size() <= static_cast<std::size_t>(d.music_count)))
        return std::nullopt;
    w.number(d.music_count, 0, max_file_music);
    w.end_line();
    for (std::size_t j = 1; j <= static_cast<std::size_t>(d.music_count); ++j) {
        w.text(d.music_files[j]);
        w.blanks(5);
        w.end_line();
    }
    return w.result();
}

std::optional<std::string> random_file_text() {
    const auto& d = doc();
    record_writer w;
    write_header(w, "Simple");
    w.text(d.random_name);
    w.end_line();
    write_border(w, d.border);
    w.n16(d.random_effect_speed); w.n16(d.random_show_file_names); w.n16(d.random_image_delay);
    w.n16(d.random_display_position);
    w.end_line();
    const auto& c = d.caption_settings;
    w.n16(c.caption_settings_bold); w.n16(c.caption_settings_italic); w.n16(c.caption_settings_font_size);
    w.text(c.caption_settings_font_name); w.n16(c.caption_settings_style); w.n16(c.caption_settings_shadow_size);
    w.n32(c.caption_settings_color); w.n16(c.caption_settings_color_scheme);
    w.end_line();
    for (std::size_t k = 0; k < 3; ++k) {
        const int count = d.random_folder_counts[k];
        if (count < 0 || count > max_folders) return std::nullopt;
        w.number(count, 0, max_folders);
        w.end_line();
        for (std::size_t j = 1; j <= static_cast<std::size_t>(count); ++j) {
            w.text(d.random_folders[k][j]);
            w.end_line();
        }
    }
    w.n16(d.cd_track);
    w.end_line();
    w.blanks(10);
    w.end_line();
    return w.result();
}

int save_random(const std::string& path) { return write_text(path, random_file_text()); }

int write_custom_file(const std::string& path) { return write_text(path, custom_file_text()); }

}  // namespace lv
