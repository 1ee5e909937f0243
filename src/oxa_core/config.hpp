#pragma once
// Where the vault lives and which RPC endpoint serves each chain: built-in
// defaults, optionally overridden by the user's .oxa/config.json.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "result.hpp"

namespace oxa_core {

/// Carried from the file; nothing acts on it.
struct BackupConfig {
    std::filesystem::path path;
    std::optional<bool> auto_backup;
    std::optional<std::uint32_t> max_backups;

    bool operator==(const BackupConfig&) const = default;
};

struct Config {
    std::filesystem::path vault_path;
    std::map<std::string, std::string> rpc;  // CAIP-2 chain id -> endpoint URL
    std::map<std::string, nlohmann::json> plugins;
    std::optional<BackupConfig> backup;

    /// The vault under the home directory (find_home_dir().oxa_dir()), the
    /// default endpoints, no plugins, no backup.
    static Config default_config();
    /// One public mainnet endpoint per known chain (https, no trailing slash).
    static std::map<std::string, std::string> default_rpc();
    /// load_or_default_from(find_home_dir().oxa_dir() / "config.json"), unless the
    /// ".oxa" directory is one that default_dir_refusal refuses: then the
    /// built-in configuration, with one warning on standard error if the file
    /// is there (another user could have planted it to redirect broadcasts).
    static Config load_or_default();
    /// The built-in configuration merged with the file at `file`: its `rpc`
    /// entries replace or add to the defaults, its `plugins` and `backup`
    /// replace theirs. A missing, unreadable or invalid file (one without
    /// `vault_path` included) yields the built-in configuration. Never fails,
    /// never prints. The vault path stays the built-in one: nothing reads the
    /// file's.
    static Config load_or_default_from(const std::filesystem::path& file);

    bool operator==(const Config&) const = default;
};

/// Reads a configuration file's text with the wallet file's reading rules:
/// `vault_path` is required, the other members may be missing (missing maps
/// are empty), unknown keys are skipped and repeated keys refused; within the
/// `rpc` and `plugins` maps the last of a repeated key wins.
Result<Config, std::string> parse_config(std::string_view text);

}  // namespace oxa_core
