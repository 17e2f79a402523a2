#pragma once
// Small helpers shared by the source files of the custom editor window.
#include <QString>

#include <cstddef>
#include <string>

#include "core/document.h"

namespace lv {

class frmCustom;

// Holds the editor busy while a handler runs: a close that arrives while a
// handler yields unloads the window at once but deletes it only after the
// outermost handler has returned.
class busy_scope {
public:
    explicit busy_scope(frmCustom* w);
    ~busy_scope();
    busy_scope(const busy_scope&) = delete;
    busy_scope& operator=(const busy_scope&) = delete;

private:
    frmCustom* w_;
};

namespace custom_detail {

inline QString qs(const std::string& s) { return QString::fromStdString(s); }

// Whether i names a sequence of the open document.
inline bool valid_image(int i) {
    const auto& d = doc();
    return i >= 1 && i <= d.image_count && static_cast<std::size_t>(i) < d.sequences.size();
}

inline std::size_t at(int i) { return static_cast<std::size_t>(i); }

// A leading decimal number of a text, as a numeric conversion reads it
// ("12abc" gives 12, "" or "x" give 0).
int leading_number(const std::string& text);

constexpr const char* product_name = "Lumivane";

}  // namespace custom_detail
}  // namespace lv
