#pragma once
// Environment variables (HOME, the XDG folders, PATH, ...) changed for a
// scope: each goes back to what it was, set or unset, when the scope ends,
// whichever way the test leaves it. A member of a fixture restores after
// TearDown; a local one at the end of its block.
#include <QByteArray>
#include <QtGlobal>

#include <vector>

namespace lvtest {

class scoped_env {
public:
    scoped_env() = default;
    scoped_env(const char* name, const QByteArray& value) { set(name, value); }
    ~scoped_env() { restore(); }
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

    scoped_env& set(const char* name, const QByteArray& value) {
        remember(name);
        qputenv(name, value);
        return *this;
    }
    scoped_env& unset(const char* name) {
        remember(name);
        qunsetenv(name);
        return *this;
    }
    // Puts every variable back now; the scope's end then changes nothing.
    void restore() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->was_set) qputenv(it->name.constData(), it->value);
            else qunsetenv(it->name.constData());
        }
        saved_.clear();
    }

private:
    struct saved {
        QByteArray name, value;
        bool was_set;
    };
    // Only the value from before the first change counts.
    void remember(const char* name) {
        for (const saved& s : saved_)
            if (s.name == name) return;
        saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    }
    std::vector<saved> saved_;
};

}  // namespace lvtest
