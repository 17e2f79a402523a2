#include "core/simple_builder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cctype>
#include <exception>
#include <filesystem>
#include <string_view>

#if __has_include(<dirent.h>)
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#define LV_HAVE_DIRENT 1
#else
#define LV_HAVE_DIRENT 0
#endif

#include "core/document.h"
#include "core/file_names.h"
#include "core/hooks.h"
#include "core/state.h"

namespace lv {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 14> picture_types = {
    "BMP", "DIB", "PIC", "GIF", "JPG", "JIF", "KQP", "PCX", "PNG", "RLE", "TGA", "TIF", "WMF", "WPG"};
constexpr std::array<std::string_view, 2> video_types = {"AVI", "MPG"};
constexpr std::array<std::string_view, 4> music_types = {"WAV", "MID", "RMI", "MP3"};

// file_type without building a string: it runs for every file listed.
template <std::size_t N>
bool has_type(const std::string& name, const std::array<std::string_view, N>& types) {
    if (name.size() < 3) return false;
    char t[3];
    for (std::size_t k = 0; k < 3; ++k)
        t[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[name.size() - 3 + k])));
    const std::string_view type(t, 3);
    return std::find(types.begin(), types.end(), type) != types.end();
}

// Orders names as std::tolower folds them, byte by byte, in the current C
// locale; shorter first on a common prefix, and names that differ only in
// case by their bytes, so the order is fixed on every machine. The fold is
// looked up in a table taken from std::tolower when the listing starts:
// calling it for every character of every comparison was most of the cost
// of a large folder, and the table gives exactly the same answers.
class name_order {
public:
    using fold_table = std::array<unsigned char, 256>;
    static fold_table current_fold() {
        fold_table t{};
        for (int c = 0; c < 256; ++c) t[static_cast<std::size_t>(c)] = static_cast<unsigned char>(std::tolower(c));
        return t;
    }
    explicit name_order(const fold_table& fold) : fold_(&fold) {}
    bool operator()(std::string_view a, std::string_view b) const {
        const std::size_t n = std::min(a.size(), b.size());
        const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
        const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
        const fold_table& fold = *fold_;
        for (std::size_t i = 0; i < n; ++i) {
            if (pa[i] == pb[i]) continue;   // the common case: a shared prefix
            const int ca = fold[pa[i]];
            const int cb = fold[pb[i]];
            if (ca != cb) return ca < cb;
        }
        if (a.size() != b.size()) return a.size() < b.size();
        return a < b;
    }

private:
    const fold_table* fold_;
};

// Sorts names in name_order. Most comparisons are settled by a number: the
// first eight folded bytes after the prefix that every name shares byte for
// byte (which cannot decide any comparison), with zeros past a name's end,
// read as one big-endian integer. Only names whose numbers are equal are
// compared in full, so the order is exactly name_order's.
std::vector<std::string> sorted_by_name(std::vector<std::string> names) {
    const name_order::fold_table fold = name_order::current_fold();
    const name_order less(fold);
    // A zero fold of another byte would make padding ambiguous.
    bool keys_work = true;
    for (std::size_t c = 1; c < fold.size(); ++c) keys_work = keys_work && fold[c] != 0;

    std::size_t shared = names.empty() ? 0 : names.front().size();
    for (const std::string& n : names) {
        const std::string& first = names.front();
        shared = std::min(shared, n.size());
        std::size_t i = 0;
        while (i < shared && n[i] == first[i]) ++i;
        shared = i;
    }
    struct keyed {
        std::uint64_t key;
        std::uint32_t index;
    };
    std::vector<keyed> order(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::uint64_t key = 0;
        if (keys_work) {
            const std::string& n = names[i];
            for (std::size_t k = 0; k < 8; ++k) {
                const std::size_t at = shared + k;
                key = (key << 8) | (at < n.size() ? fold[static_cast<unsigned char>(n[at])] : 0);
            }
        }
        order[i] = {key, static_cast<std::uint32_t>(i)};
    }
    // By key in linear time (a stable radix sort, one pass per key byte
    // that is not the same in every key), then each run of equal keys by
    // the full comparison.
    std::vector<keyed> scratch(order.size());
    for (unsigned shift = 0; shift < 64; shift += 8) {
        std::array<std::size_t, 257> start{};
        for (const keyed& k : order) ++start[((k.key >> shift) & 0xFF) + 1];
        if (std::find(start.begin() + 1, start.end(), order.size()) != start.end()) continue;
        for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        for (const keyed& k : order) scratch[start[(k.key >> shift) & 0xFF]++] = k;
        order.swap(scratch);
    }
    for (auto run = order.begin(); run != order.end();) {
        const auto end = std::find_if(run, order.end(), [&](const keyed& k) { return k.key != run->key; });
        if (end - run > 1)
            std::sort(run, end, [&](const keyed& a, const keyed& b) { return less(names[a.index], names[b.index]); });
        run = end;
    }
    // Into that order in place, cycle by cycle: position j takes the name
    // that was at order[j].index.
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i].index == i) continue;
        std::string held = std::move(names[i]);
        std::size_t j = i;
        while (order[j].index != i) {
            const std::size_t from = order[j].index;
            names[j] = std::move(names[from]);
            order[j].index = static_cast<std::uint32_t>(j);
            j = from;
        }
        names[j] = std::move(held);
        order[j].index = static_cast<std::uint32_t>(j);
    }
    return names;
}

// How the two variants differ: the player's yields, can be stopped and
// shows its loading label.
struct build_mode {
    bool player = false;
    const std::function<void()>* show_loading_label = nullptr;

    // Yields every few milliseconds rather than at every step: a pass of
    // the message loop costs more than looking at a file name.
    mutable yield_pacer pacer{};

    // True when the show has been asked to end (player only).
    bool stop() const {
        if (!player) return false;
        pacer.maybe_yield();
        return run().time_to_end == 1;
    }
};

enum class outcome { done, failed, stopped };

// The ordinary files of every folder of list k whose type fits, in order,
// handed to add() until it says the cap is reached.
template <typename Fits, typename Add>
outcome scan_list(std::size_t k, const build_mode& mode, bool stop_before_file, bool stop_after_folder,
                  Fits fits, Add add) {
    auto& d = doc();
    const int count = std::clamp(d.random_folder_counts[k], 0, max_folders);
    for (int f = 1; f <= count; ++f) {
        if (!stop_after_folder && mode.stop()) return outcome::stopped;   // start of each folder
        const std::string& folder = d.random_folders[k][static_cast<std::size_t>(f)];
        std::error_code ec;
        const std::vector<std::string> names = list_ordinary_files(folder, ec);
        if (ec) return outcome::failed;
        for (const std::string& name : names) {
            if (stop_before_file && mode.stop()) return outcome::stopped;
            if (fits(name) && !add(join_path(folder, name))) return outcome::done;   // cap reached
            if (!stop_before_file && mode.stop()) return outcome::stopped;
        }
        if (stop_after_folder && mode.stop()) return outcome::stopped;
    }
    return outcome::done;
}

int build(const build_mode& mode) {
    auto& d = doc();
    try {
        // Backgrounds, used in turn by the sequences.
        std::vector<std::string> backgrounds;
        outcome o = scan_list(1, mode, false, true, is_background_type, [&](std::string path) {
            backgrounds.push_back(std::move(path));
            return backgrounds.size() < static_cast<std::size_t>(max_built_backgrounds);
        });
        if (o == outcome::failed) return 1;
        if (o == outcome::stopped) return 2;

        // The counts go with their arrays, so that a build that stops early
        // never leaves a count beyond what the arrays hold.
        redim_slides(0);
        redim_music(0);
        d.image_count = 0;
        d.music_count = 0;
        const auto& cs = d.caption_settings;
        std::size_t turn = 0;
        o = scan_list(0, mode, true, false, is_picture_or_video_type, [&](std::string path) {
            if (d.image_count >= max_built_images) return false;
            const int n = d.image_count + 1;
            d.image_count = n;
            redim_slides(n);
            auto& s = d.sequences;
            const auto i = static_cast<std::size_t>(n);
            s.display_position[i] = d.random_display_position;
            s.display_time[i] = d.random_image_delay;
            s.display_effect[i] = s.effect_speed[i] = s.effect_grain[i] = 0;
            s.notes[i].clear();
            s.transparent_color[i] = 0;
            s.caption_text[i] = d.random_show_file_names == 1 ? file_title(path) : std::string();
            s.caption_position[i] = 7;
            s.caption_effect[i] = s.caption_speed[i] = s.caption_grain[i] = 0;
            apply_caption_settings(s, i, cs);
            s.audio_file[i].clear();
            s.audio_mode[i] = 0;
            s.background_file[i].clear();
            if (!backgrounds.empty()) {
                if (++turn > backgrounds.size()) turn = 1;
                s.background_file[i] = backgrounds[turn - 1];
            }
            s.background_placement[i] = s.background_effect[i] = 0;
            s.background_speed[i] = s.background_grain[i] = 0;
            s.image_file[i] = std::move(path);
            if (mode.player && n == 501 && mode.show_loading_label && *mode.show_loading_label)
                (*mode.show_loading_label)();
            return d.image_count < max_built_images;
        });
        if (o == outcome::failed) return 1;
        if (o == outcome::stopped) return 2;

        o = scan_list(2, mode, true, false, is_music_type, [&](std::string path) {
            if (d.music_count >= max_built_music) return false;
            const int n = d.music_count + 1;
            d.music_count = n;
            redim_music(n);
            d.music_files[static_cast<std::size_t>(n)] = std::move(path);
            return d.music_count < max_built_music;
        });
        if (o == outcome::failed) return 1;
        if (o == outcome::stopped) return 2;
    } catch (const std::exception&) {
        return 1;
    }
    if (d.image_count == 0) return mode.player ? 1 : 2;
    return 0;
}

}  // namespace

bool is_background_type(const std::string& name) { return has_type(name, picture_types); }

bool is_picture_or_video_type(const std::string& name) {
    return has_type(name, video_types) || has_type(name, picture_types);
}

bool is_music_type(const std::string& name) { return has_type(name, music_types); }

std::vector<std::string> list_ordinary_files(const std::string& folder, std::error_code& ec) {
    ec.clear();
    std::vector<std::string> names;
    if (folder.empty()) return names;
#if LV_HAVE_DIRENT
    // readdir directly: std::filesystem builds a full path for every entry,
    // which cost as much as the rest of the listing.
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        // A folder that has gone away simply holds nothing any more.
        if (errno != ENOENT && errno != ENOTDIR) ec.assign(errno, std::generic_category());
        return names;
    }
    const int dir_fd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) ec.assign(errno, std::generic_category());
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '\0' || name[0] == '.') continue;   // hidden, and "." and ".."
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // What a link points at, or a file system that does not say.
            struct stat st {};
            regular = ::fstatat(dir_fd, name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) names.emplace_back(name);   // not folders, devices or dangling links
    }
    ::closedir(dir);
#else
    fs::directory_iterator it(fs::path(folder), ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) ec.clear();
        return names;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return names;
        std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code type_ec;
        if (!it->is_regular_file(type_ec)) continue;
        names.push_back(std::move(name));
    }
#endif
    if (ec) return names;
    return sorted_by_name(std::move(names));
}

int build_random_slideshow() { return build(build_mode{}); }

int c_create_random_slideshow(const std::function<void()>& show_loading_label) {
    return build(build_mode{true, &show_loading_label});
}

}  // namespace lv
