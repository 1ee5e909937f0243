#include "config.hpp"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "chain.hpp"
#include "home_dir.hpp"
#include "json_reader.hpp"
#include "utf8.hpp"

namespace oxa_core {

namespace {

enum ConfigField : std::size_t { VaultPath, Rpc, Plugins, Backup };
constexpr std::array<JsonField, 4> CONFIG_FIELDS = {{
    {"vault_path", true},
    {"rpc", false},
    {"plugins", false},
    {"backup", false},
}};

enum BackupField : std::size_t { BackupPath, AutoBackup, MaxBackups };
constexpr std::array<JsonField, 3> BACKUP_FIELDS = {{
    {"path", true},
    {"auto_backup", false},
    {"max_backups", false},
}};

constexpr std::string_view PATH_EXPECTING = "path string";

Status<JsonError> read_path(JsonReader& reader, std::filesystem::path& path) {
    auto text = reader.read_string(PATH_EXPECTING);
    if (!text) return Err{std::move(text).error()};
    path = std::move(text).value();
    return OK;
}

// An optional member: null and absence read the same.
template <class T, class ReadValue>
Status<JsonError> read_optional(JsonReader& reader, std::optional<T>& target,
                                ReadValue&& read_value) {
    auto is_null = reader.read_null();
    if (!is_null) return Err{std::move(is_null).error()};
    if (is_null.value()) {
        target.reset();
        return OK;
    }
    auto value = read_value();
    if (!value) return Err{std::move(value).error()};
    target = std::move(value).value();
    return OK;
}

Status<JsonError> read_backup(JsonReader& reader, BackupConfig& backup) {
    return reader.read_struct("BackupConfig", BACKUP_FIELDS, [&](std::size_t field) {
        switch (static_cast<BackupField>(field)) {
            case BackupPath: return read_path(reader, backup.path);
            case AutoBackup:
                return read_optional(reader, backup.auto_backup,
                                     [&] { return reader.read_bool(); });
            case MaxBackups:
                return read_optional(reader, backup.max_backups, [&] { return reader.read_u32(); });
        }
        return Status<JsonError>(OK);
    });
}

Status<JsonError> read_rpc(JsonReader& reader, std::map<std::string, std::string>& rpc) {
    return reader.read_map([&](std::string chain_id) -> Status<JsonError> {
        auto url = reader.read_string();
        if (!url) return Err{std::move(url).error()};
        rpc.insert_or_assign(std::move(chain_id), std::move(url).value());
        return OK;
    });
}

Status<JsonError> read_plugins(JsonReader& reader, std::map<std::string, nlohmann::json>& plugins) {
    return reader.read_map([&](std::string name) -> Status<JsonError> {
        auto value = reader.read_raw();
        if (!value) return Err{std::move(value).error()};
        plugins.insert_or_assign(std::move(name), value.value().parse());
        return OK;
    });
}

Status<JsonError> read_config(JsonReader& reader, Config& config) {
    return reader.read_struct("Config", CONFIG_FIELDS, [&](std::size_t field) {
        switch (static_cast<ConfigField>(field)) {
            case VaultPath: return read_path(reader, config.vault_path);
            case Rpc: return read_rpc(reader, config.rpc);
            case Plugins: return read_plugins(reader, config.plugins);
            case Backup:
                return read_optional(reader, config.backup,
                                     [&]() -> Result<BackupConfig, JsonError> {
                                         BackupConfig backup;
                                         if (auto read = read_backup(reader, backup); !read) {
                                             return Err{std::move(read).error()};
                                         }
                                         return backup;
                                     });
        }
        return Status<JsonError>(OK);
    });
}

std::optional<std::string> read_file(const std::filesystem::path& file) {
    std::error_code error;
    // Only a regular file is read: opening a FIFO would block the call.
    if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(content).str();
}

}  // namespace

Config Config::default_config() {
    return Config{find_home_dir().oxa_dir(), default_rpc(), {}, std::nullopt};
}

std::map<std::string, std::string> Config::default_rpc() {
    std::map<std::string, std::string> rpc;
    for (const Chain& chain : KNOWN_CHAINS) rpc.emplace(chain.chain_id, chain.default_rpc);
    return rpc;
}

Config Config::load_or_default() {
    const HomeDir home = find_home_dir();
    const std::filesystem::path dir = home.oxa_dir();
    const std::filesystem::path file = dir / "config.json";
    const std::optional<std::string> refusal = default_dir_refusal(dir, home.shared_tmp);
    if (!refusal) return load_or_default_from(file);
    struct stat st{};
    if (::lstat(file.c_str(), &st) == 0) {
        std::fprintf(stderr, "warning: ignoring %s: %s %s; the built-in RPC endpoints are used\n",
                     utf8_lossy(file.native()).c_str(), utf8_lossy(dir.native()).c_str(),
                     refusal->c_str());
    }
    return default_config();
}

Config Config::load_or_default_from(const std::filesystem::path& file) {
    Config config = default_config();
    const std::optional<std::string> text = read_file(file);
    if (!text) return config;
    auto parsed = parse_config(*text);
    if (!parsed) return config;
    Config& from_file = parsed.value();
    for (auto& [chain_id, url] : from_file.rpc) {
        config.rpc.insert_or_assign(chain_id, std::move(url));
    }
    config.plugins = std::move(from_file.plugins);
    config.backup = std::move(from_file.backup);
    return config;
}

Result<Config, std::string> parse_config(std::string_view text) {
    JsonReader reader(text);
    Config config;
    if (auto read = read_config(reader, config); !read) return Err{read.error().display()};
    if (auto end = reader.finish(); !end) return Err{end.error().display()};
    return config;
}

}  // namespace oxa_core
