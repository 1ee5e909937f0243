#pragma once
// Where the user's files live when no path is given, and whether a directory
// found there may be trusted with them.

#include <filesystem>
#include <optional>
#include <string>

namespace oxa_core {

struct HomeDir {
    std::filesystem::path path;
    bool shared_tmp;  // the "/tmp" fallback, where every local user can create entries

    /// ".oxa" under it: the default vault and the directory of config.json.
    std::filesystem::path oxa_dir() const { return path / ".oxa"; }
};

/// $HOME; when it is unset or not valid UTF-8, the effective user's home
/// directory from the password database; "/tmp" only when that fails too.
HomeDir find_home_dir();

/// Why a directory chosen by default (never one a caller named) must not be
/// used, as the end of a sentence about it: it belongs to another user than
/// the effective one (judged on the directory itself, after following a
/// symbolic link), or, under the shared "/tmp", it is a symbolic link at all.
/// Nothing when it may be used or does not exist.
std::optional<std::string> default_dir_refusal(const std::filesystem::path& dir, bool shared_tmp);

}  // namespace oxa_core
