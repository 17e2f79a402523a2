#pragma once
// A memory figure of a process from /proc/<pid>/status ("VmRSS:", the peak
// "VmHWM:", ...) in bytes; -1 when the process or the field is not there.
#include <cstdint>
#include <fstream>
#include <string>

namespace lvtest {

inline std::int64_t proc_status_bytes(const char* field, const std::string& pid = "self") {
    std::ifstream status("/proc/" + pid + "/status");
    std::string key;
    while (status >> key) {
        std::int64_t kb = 0;
        if (key == field && status >> kb) return kb * 1024;
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

}  // namespace lvtest
