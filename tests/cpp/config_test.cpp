#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "oxa_core/chain.hpp"
#include "oxa_core/config.hpp"
#include "test_support.hpp"
#include "user_dirs.hpp"

using oxa_core::Config;
using oxa_test::HomeOverride;
namespace fs = std::filesystem;

namespace {

// A fresh directory, removed with its content at the end of the test.
class TempDir {
public:
    TempDir()
        : m_path(fs::temp_directory_path() /
                 ("oxa-config-test-" + std::to_string(oxa_test::test_rng()()))) {
        fs::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

Config load_text(const std::string& text) {
    TempDir dir;
    write_file(dir.path() / "config.json", text);
    return Config::load_or_default_from(dir.path() / "config.json");
}

}  // namespace

TEST(Config, DefaultRpcHasOneHttpsEndpointPerKnownChain) {
    const auto rpc = Config::default_rpc();
    ASSERT_EQ(rpc.size(), oxa_core::KNOWN_CHAINS.size());
    for (const oxa_core::Chain& chain : oxa_core::KNOWN_CHAINS) {
        const auto entry = rpc.find(std::string(chain.chain_id));
        ASSERT_NE(entry, rpc.end()) << chain.chain_id;
        EXPECT_TRUE(entry->second.starts_with("https://")) << entry->second;
        EXPECT_FALSE(entry->second.ends_with("/")) << entry->second;
    }
    EXPECT_TRUE(rpc.at("eip155:42161").ends_with("/rpc"));
    EXPECT_TRUE(rpc.at("eip155:43114").ends_with("/ext/bc/C/rpc"));
    EXPECT_TRUE(rpc.at("bip122:000000000019d6689c085ae165831e93").ends_with("/api"));
    EXPECT_TRUE(rpc.at("ton:mainnet").ends_with("/api/v2"));
}

TEST(Config, DefaultIsTheVaultUnderHomeWithDefaultEndpoints) {
    TempDir home;
    HomeOverride override_home(home.path().c_str());
    const Config config = Config::default_config();
    EXPECT_EQ(config.vault_path, home.path() / ".oxa");
    EXPECT_EQ(config.rpc, Config::default_rpc());
    EXPECT_TRUE(config.plugins.empty());
    EXPECT_FALSE(config.backup);
}

TEST(Config, MissingFileGivesTheDefault) {
    TempDir dir;
    EXPECT_EQ(Config::load_or_default_from(dir.path() / "config.json"), Config::default_config());
}

TEST(Config, LoadOrDefaultReadsTheFileUnderHome) {
    TempDir home;
    HomeOverride override_home(home.path().c_str());
    write_file(home.path() / ".oxa" / "config.json",
               R"({"vault_path": "/elsewhere", "rpc": {"eip155:1": "https://example.org/rpc"}})");
    const Config config = Config::load_or_default();
    EXPECT_EQ(config.rpc.at("eip155:1"), "https://example.org/rpc");
    EXPECT_EQ(config.vault_path, home.path() / ".oxa");
}

TEST(Config, FileInAnotherUsersDirIsIgnoredWithAWarning) {
    if (!oxa_test::can_make_foreign_dirs()) GTEST_SKIP() << "only root can make another user's";
    TempDir home;
    HomeOverride override_home(home.path().c_str());
    const fs::path dir = home.path() / ".oxa";
    const fs::path file = dir / "config.json";
    write_file(file, R"({"vault_path": "/v", "rpc": {"eip155:1": "https://planted.example/rpc"}})");
    oxa_test::make_foreign_dir(dir, 0777);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Config::load_or_default(), Config::default_config());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "warning: ignoring " + file.string() + ": " + dir.string() + " belongs to uid " +
                  std::to_string(oxa_test::OTHER_UID) +
                  ", not to the current user (uid 0); the built-in RPC endpoints are used\n");
    // Without a file there is nothing to ignore, and nothing to say.
    fs::remove(file);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Config::load_or_default(), Config::default_config());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Config, FileEntriesReplaceAndAddToTheDefaultEndpoints) {
    const Config config = load_text(
        R"({"vault_path": "/other", "rpc": {"eip155:1": "https://example.org/eth", "eip155:5": "https://example.org/goerli"}})");
    auto expected = Config::default_rpc();
    expected["eip155:1"] = "https://example.org/eth";
    expected["eip155:5"] = "https://example.org/goerli";
    EXPECT_EQ(config.rpc, expected);
    EXPECT_EQ(config.vault_path, Config::default_config().vault_path);
}

TEST(Config, PluginsAndBackupAreTakenFromTheFile) {
    const Config config = load_text(R"({
        "vault_path": "/v",
        "plugins": {"p": {"b": [1, 2], "a": null}, "q": 3},
        "backup": {"path": "/backups", "auto_backup": true, "max_backups": 4, "other": 1},
        "unknown": {"ignored": true}
    })");
    EXPECT_EQ(config.plugins.at("p"), nlohmann::json({{"a", nullptr}, {"b", {1, 2}}}));
    EXPECT_EQ(config.plugins.at("q"), 3);
    ASSERT_TRUE(config.backup);
    EXPECT_EQ(config.backup->path, fs::path("/backups"));
    EXPECT_EQ(config.backup->auto_backup, true);
    EXPECT_EQ(config.backup->max_backups, 4u);
    EXPECT_EQ(config.rpc, Config::default_rpc());
}

TEST(Config, NullOptionalMembersReadAsAbsent) {
    const Config config = load_text(
        R"({"vault_path": "/v", "backup": {"path": "/b", "auto_backup": null, "max_backups": null}})");
    ASSERT_TRUE(config.backup);
    EXPECT_FALSE(config.backup->auto_backup);
    EXPECT_FALSE(config.backup->max_backups);
    EXPECT_FALSE(load_text(R"({"vault_path": "/v", "backup": null})").backup);
}

class ConfigIgnoredFile : public ::testing::TestWithParam<const char*> {};

TEST_P(ConfigIgnoredFile, GivesTheDefault) {
    EXPECT_EQ(load_text(GetParam()), Config::default_config());
}
INSTANTIATE_TEST_SUITE_P(
    Config, ConfigIgnoredFile,
    ::testing::Values(
        R"({"rpc": {"eip155:1": "https://example.org/eth"}})",
        R"({"vault_path": "/v", "rpc": {"eip155:1": "https://example.org/eth"},})",
        R"({"vault_path": "/v", "backup": {"auto_backup": true}, "rpc": {"eip155:1": "x"}})",
        R"({"vault_path": "/v", "vault_path": "/w", "rpc": {"eip155:1": "x"}})",
        R"({"vault_path": 5, "rpc": {"eip155:1": "x"}})",
        R"({"vault_path": "/v", "rpc": {"eip155:1": 5}})", R"({"vault_path": "/v", "rpc": ["x"]})",
        R"({"vault_path": "/v", "backup": {"path": "/b", "max_backups": -1}})",
        R"({"vault_path": "/v", "rpc": {"eip155:1": "x"}} trailing)", "", "\xff", "[\"/v\"]"),
    oxa_test::by_index);

TEST(Config, DirectoryInPlaceOfTheFileGivesTheDefault) {
    TempDir dir;
    fs::create_directories(dir.path() / "config.json");
    EXPECT_EQ(Config::load_or_default_from(dir.path() / "config.json"), Config::default_config());
}

TEST(Config, FifoAsTheFileGivesTheDefaultWithoutBlocking) {
    TempDir dir;
    const fs::path file = dir.path() / "config.json";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(Config::load_or_default_from(file), Config::default_config());
}

TEST(Config, ParseErrorsCarryTheReadersText) {
    auto missing = oxa_core::parse_config(R"({"rpc": {}})");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), "missing field `vault_path` at line 1 column 11");
    auto wrong = oxa_core::parse_config(R"({"vault_path": 5})");
    ASSERT_FALSE(wrong);
    EXPECT_EQ(wrong.error(), "invalid type: integer `5`, expected path string at line 1 column 16");
    auto short_array = oxa_core::parse_config(R"(["/v"])");
    ASSERT_FALSE(short_array);
    EXPECT_EQ(short_array.error(),
              "invalid length 1, expected struct Config with 4 elements at line 1 column 6");
}
