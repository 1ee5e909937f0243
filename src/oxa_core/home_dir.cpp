#include "home_dir.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "utf8.hpp"

namespace oxa_core {

namespace {

// Entries are a few hundred bytes; a database answering ERANGE beyond this is broken.
constexpr std::size_t MAX_PASSWD_BUFFER_BYTES = 1 << 20;

/// A home directory is used only as an absolute UTF-8 path: a relative one
/// would put the vault wherever the program happens to run.
bool is_usable_home(std::string_view dir) {
    return !dir.empty() && dir.front() == '/' && !utf8_error(dir);
}

std::optional<std::filesystem::path> password_database_home() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int err = 0;
    while ((err = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found)) ==
           ERANGE) {
        if (buffer.size() >= MAX_PASSWD_BUFFER_BYTES) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    if (err != 0 || found == nullptr || found->pw_dir == nullptr) return std::nullopt;
    if (!is_usable_home(found->pw_dir)) return std::nullopt;
    return std::filesystem::path(found->pw_dir);
}

}  // namespace

HomeDir find_home_dir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && !utf8_error(std::string_view(home))) return {home, false};
    if (auto from_database = password_database_home()) return {std::move(*from_database), false};
    return {"/tmp", true};
}

std::optional<std::string> default_dir_refusal(const std::filesystem::path& dir, bool shared_tmp) {
    struct stat st{};
    // Anyone can plant a link in /tmp; the directory it leads to proves nothing.
    if (shared_tmp && ::lstat(dir.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        return "is a symbolic link in the shared /tmp";
    }
    if (::stat(dir.c_str(), &st) != 0) return std::nullopt;
    const uid_t self = ::geteuid();
    if (st.st_uid == self) return std::nullopt;
    return "belongs to uid " + std::to_string(st.st_uid) + ", not to the current user (uid " +
           std::to_string(self) + ")";
}

}  // namespace oxa_core
