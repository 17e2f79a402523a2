#include "core/state.h"

namespace lv {

config_settings& settings() {
    static config_settings s;
    return s;
}

program_state& program() {
    static program_state p;
    return p;
}

run_flags& run() {
    static run_flags r;
    return r;
}

}  // namespace lv

#include "core/editor_state.h"

namespace lv {

editor_state& editors() {
    static editor_state e;
    return e;
}

}  // namespace lv
