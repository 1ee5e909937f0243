#pragma once
// Test helpers for the default locations: a scoped HOME, and directories that
// belong to another user.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace oxa_test {

/// Owns the directories handed to "another user" (the conventional nobody).
inline constexpr uid_t OTHER_UID = 65534;

/// Sets or unsets HOME for one scope and restores it afterwards.
class HomeOverride {
public:
    explicit HomeOverride(const char* value) {
        if (const char* old = std::getenv("HOME")) m_saved = old;
        if (value != nullptr) {
            ::setenv("HOME", value, 1);
        } else {
            ::unsetenv("HOME");
        }
    }
    ~HomeOverride() {
        if (m_saved) {
            ::setenv("HOME", m_saved->c_str(), 1);
        } else {
            ::unsetenv("HOME");
        }
    }
    HomeOverride(const HomeOverride&) = delete;
    HomeOverride& operator=(const HomeOverride&) = delete;

private:
    std::optional<std::string> m_saved;
};

/// Only root can hand a directory to another user.
inline bool can_make_foreign_dirs() { return ::geteuid() == 0; }

/// Creates `dir` with `mode` (umask aside) and gives it to OTHER_UID.
inline void make_foreign_dir(const std::filesystem::path& dir, mode_t mode) {
    std::filesystem::create_directories(dir);
    if (::chmod(dir.c_str(), mode) != 0 || ::chown(dir.c_str(), OTHER_UID, OTHER_UID) != 0) {
        throw std::runtime_error("cannot hand " + dir.string() + " to another user");
    }
}

}  // namespace oxa_test
