#pragma once
// A memory figure of a process from /proc/<pid>/status ("VmRSS:", the peak
// "VmHWM:", ...) in bytes; -1 when the process or the field is not there.
// And the living children of a process by name, from /proc/<pid>/stat.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// "pid (name) state parent ...": the name (at most 15 characters), state and parent.
struct proc_stat {
    std::string name;
    char state = 0;
    long long parent = 0;
};

inline bool read_proc_stat(long long pid, proc_stat& out) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return false;
    const auto open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    out.name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    return bool(rest >> out.state >> out.parent);
}

// Children of `parent` whose name starts with `name`, zombies left out.
inline std::vector<long long> living_children(long long parent, const std::string& name) {
    std::vector<long long> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string id = entry.path().filename().string();
        if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) continue;
        proc_stat s;
        if (read_proc_stat(std::stoll(id), s) && s.parent == parent && s.state != 'Z' && s.name.rfind(name, 0) == 0)
            found.push_back(std::stoll(id));
    }
    return found;
}

inline bool process_gone(long long pid) {
    proc_stat s;
    return !read_proc_stat(pid, s) || s.state == 'Z';
}

}  // namespace lvtest
