#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "oxa_lib/vault.hpp"
#include "scratch_dir.hpp"
#include "user_dirs.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using oxa_core::EncryptedWallet;
using oxa_lib::OxaLibError;
using oxa_lib::VaultPath;

constexpr std::size_t MAX_WALLET_FILE_BYTES = 1 << 20;

EncryptedWallet make_wallet(std::string id, std::string name,
                            std::string created_at = "2025-01-01T00:00:00+00:00") {
    EncryptedWallet wallet;
    wallet.id = std::move(id);
    wallet.name = std::move(name);
    wallet.created_at = std::move(created_at);
    wallet.accounts = {{"eip155:1:0xabc", "0xabc", "eip155:1", "m/44'/60'/0'/0/0"}};
    // A stand-in for the sealed envelope: the vault never looks inside it.
    wallet.crypto = oxa_core::RawJson(nlohmann::json{{"cipher", "aes-256-gcm"}, {"sealed", "00"}});
    return wallet;
}

unsigned mode_of(const fs::path& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

void write_file(const fs::path& path, std::string_view content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

/// Entry names in the order the system lists them.
std::vector<std::string> directory_order(const fs::path& dir) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.c_str()), ::closedir);
    while (const dirent* entry = ::readdir(stream.get())) names.push_back(entry->d_name);
    return names;
}

/// Every path under `root` with the content of files, to prove nothing changed.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        tree[entry.path()] = entry.is_regular_file() ? read_file(entry.path()) : "<directory>";
    }
    return tree;
}

template <class Result>
std::optional<OxaLibError> error_of(const Result& result) {
    if (result) return std::nullopt;
    return result.error();
}

std::vector<std::string> ids_of(const std::vector<EncryptedWallet>& wallets) {
    std::vector<std::string> ids;
    for (const auto& wallet : wallets) ids.push_back(wallet.id);
    return ids;
}

std::vector<std::string> sorted_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class Vault : public testing::Test {
protected:
    fs::path scratch() const { return m_scratch.path(); }
    fs::path root() const { return scratch() / "vault"; }
    fs::path wallets() const { return root() / "wallets"; }
    VaultPath vault() const { return root(); }

    void save(const EncryptedWallet& wallet) {
        const auto saved = oxa_lib::save_encrypted_wallet(wallet, vault());
        ASSERT_TRUE(saved) << saved.error().display();
    }
    std::vector<EncryptedWallet> list() {
        auto listed = oxa_lib::list_encrypted_wallets(vault());
        if (!listed) ADD_FAILURE() << listed.error().display();
        return listed ? std::move(listed).value() : std::vector<EncryptedWallet>{};
    }

private:
    oxa_test::ScratchDir m_scratch;
};

// Layout and modes ------------------------------------------------------------

TEST_F(Vault, FirstListingMakesOwnerOnlyDirsAndFindsNothing) {
    const fs::path deep = scratch() / "not" / "yet" / "vault";
    testing::internal::CaptureStderr();
    const auto listed = oxa_lib::list_encrypted_wallets(deep);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(listed) << listed.error().display();
    EXPECT_TRUE(listed.value().empty());
    EXPECT_EQ(mode_of(deep), 0700u);
    EXPECT_EQ(mode_of(deep / "wallets"), 0700u);
}

TEST_F(Vault, RelativeVaultPathIsTakenFromTheWorkingDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(scratch());
    const auto listed = oxa_lib::list_encrypted_wallets(fs::path("relative"));
    fs::current_path(before);
    ASSERT_TRUE(listed) << listed.error().display();
    EXPECT_TRUE(fs::is_directory(scratch() / "relative" / "wallets"));
}

TEST_F(Vault, VaultPathWithNulIsRefused) {
    const auto listed = oxa_lib::list_encrypted_wallets(fs::path(scratch().string() + "/a\0b"s));
    ASSERT_FALSE(listed);
    EXPECT_EQ(listed.error().kind(), OxaLibError::Kind::InvalidInput);
    EXPECT_FALSE(fs::exists(scratch() / "a"));
}

TEST_F(Vault, EveryAccessSetsLooseDirectoriesBackTo0700) {
    save(make_wallet("kept", "kept"));
    const std::vector<std::pair<const char*, std::function<bool()>>> accesses = {
        {"list", [&] { return oxa_lib::list_encrypted_wallets(vault()).ok(); }},
        {"lookup", [&] { return oxa_lib::load_wallet_by_name_or_id("kept", vault()).ok(); }},
        {"name check", [&] { return oxa_lib::wallet_name_exists("kept", vault()).ok(); }},
        {"save",
         [&] { return oxa_lib::save_encrypted_wallet(make_wallet("w", "w"), vault()).ok(); }},
        {"delete",
         [&] {
             return oxa_lib::delete_wallet_file({make_wallet("w", "w"), "w.json"}, vault()).ok();
         }},
        {"lock", [&] { return oxa_lib::VaultWriteLock::acquire(vault()).ok(); }},
    };
    for (const auto& [name, access] : accesses) {
        SCOPED_TRACE(name);
        fs::permissions(root(), fs::perms(0755));
        fs::permissions(wallets(), fs::perms(0755));
        testing::internal::CaptureStderr();
        EXPECT_TRUE(access());
        // Modes are mended before they are checked, so there is nothing to warn about.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(mode_of(root()), 0700u);
        EXPECT_EQ(mode_of(wallets()), 0700u);
    }
}

struct ModeCase {
    unsigned mode;
    const char* shown;  // nullptr: no warning
};

TEST(VaultPermissions, CheckWarnsExactlyWhenNot0700) {
    const ModeCase cases[] = {{0755, "0755"}, {0777, "0777"},  {0500, "0500"},  {0070, "0070"},
                              {0000, "0000"}, {0700, nullptr}, {01700, nullptr}};
    oxa_test::ScratchDir scratch;
    const fs::path dir = scratch.path() / "d";
    fs::create_directory(dir);
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(::chmod(dir.c_str(), c.mode), 0);
        testing::internal::CaptureStderr();
        oxa_lib::check_vault_permissions(dir);
        const std::string expected = c.shown ? "warning: " + dir.string() + " has permissions " +
                                                   c.shown + ", expected 0700\n"
                                             : "";
        EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    }
    ::chmod(dir.c_str(), 0700);
}

TEST(VaultPermissions, CheckIsSilentForAMissingDirectory) {
    oxa_test::ScratchDir scratch;
    testing::internal::CaptureStderr();
    oxa_lib::check_vault_permissions(scratch.path() / "missing");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(VaultPermissions, FailedChmodOnlyWarns) {
    oxa_test::ScratchDir scratch;
    const fs::path missing = scratch.path() / "missing";
    testing::internal::CaptureStderr();
    oxa_lib::set_dir_permissions(missing);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "warning: failed to set permissions on " + missing.string() +
                  ": No such file or directory (os error 2)\n");
}

struct KeptModeCase {
    const char* what;
    bool needs_root;
    std::function<fs::path(const fs::path& root)> make;  // returns the directory left alone
    unsigned mode;
};

TEST_F(Vault, SharedOrForeignDirsKeepTheirModeAndWarn) {
    const auto sticky = [](const fs::path& dir) {
        fs::create_directories(dir);
        ::chmod(dir.c_str(), 01777);
        return dir;
    };
    const KeptModeCase cases[] = {
        {"sticky vault directory", false, sticky, 01777},
        {"sticky wallets directory", false,
         [&](const fs::path& root) { return sticky(root / "wallets"); }, 01777},
        {"vault directory of another user", true,
         [](const fs::path& root) {
             oxa_test::make_foreign_dir(root, 0770);
             return root;
         },
         0770},
    };
    for (const KeptModeCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needs_root && !oxa_test::can_make_foreign_dirs()) continue;
        fs::remove_all(root());
        const fs::path kept = c.make(root());
        char shown[8];
        std::snprintf(shown, sizeof shown, "%04o", c.mode & 0777);
        testing::internal::CaptureStderr();
        list();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "warning: " + kept.string() + " has permissions " + shown + ", expected 0700\n");
        EXPECT_EQ(mode_of(kept), c.mode);
        // What is ours and not shared is still closed.
        for (const fs::path& dir : {root(), wallets()}) {
            if (dir != kept) {
                EXPECT_EQ(mode_of(dir), 0700u) << dir;
            }
        }
    }
}

TEST_F(Vault, DefaultVaultOfAnotherUserIsRefused) {
    if (!oxa_test::can_make_foreign_dirs()) GTEST_SKIP() << "only root can make another user's";
    const fs::path home = scratch() / "home";
    const fs::path elsewhere = scratch() / "elsewhere";
    oxa_test::HomeOverride override_home(home.c_str());
    const std::pair<const char*, std::function<fs::path()>> cases[] = {
        {"vault directory",
         [&] {
             oxa_test::make_foreign_dir(home / ".oxa", 0777);
             return home / ".oxa";
         }},
        {"wallets directory",
         [&] {
             fs::create_directories(home / ".oxa");
             oxa_test::make_foreign_dir(home / ".oxa" / "wallets", 0777);
             return home / ".oxa" / "wallets";
         }},
        {"link to another user's directory",
         [&] {
             oxa_test::make_foreign_dir(elsewhere, 0777);
             fs::create_directories(home);
             fs::create_directory_symlink(elsewhere, home / ".oxa");
             return home / ".oxa";
         }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        fs::remove_all(home);
        fs::remove_all(elsewhere);
        const fs::path refused = make();
        const std::string expected =
            "I/O error: refusing to use " + refused.string() + ": it belongs to uid " +
            std::to_string(oxa_test::OTHER_UID) +
            ", not to the current user (uid 0); set HOME to your own home directory, or pass a "
            "vault path";
        const auto before = snapshot(scratch());
        const std::vector<std::pair<const char*, std::function<std::optional<OxaLibError>()>>>
            accesses = {
                {"list", [] { return error_of(oxa_lib::list_encrypted_wallets(std::nullopt)); }},
                {"save",
                 [] {
                     return error_of(
                         oxa_lib::save_encrypted_wallet(make_wallet("w", "w"), std::nullopt));
                 }},
                {"lock", [] { return error_of(oxa_lib::VaultWriteLock::acquire(std::nullopt)); }},
        };
        for (const auto& [access, refusal] : accesses) {
            SCOPED_TRACE(access);
            testing::internal::CaptureStderr();
            const std::optional<OxaLibError> error = refusal();
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            ASSERT_TRUE(error) << "the vault was used";
            EXPECT_EQ(error->kind(), OxaLibError::Kind::Io);
            EXPECT_EQ(error->display(), expected);
        }
        EXPECT_EQ(snapshot(scratch()), before);
        EXPECT_EQ(mode_of(refused), 0777u);
    }
}

TEST_F(Vault, DefaultVaultLinkedToAnOwnDirectoryIsUsed) {
    const fs::path home = scratch() / "home";
    const fs::path target = scratch() / "dotfiles" / "oxa";
    fs::create_directories(target);
    fs::create_directories(home);
    fs::create_directory_symlink(target, home / ".oxa");
    oxa_test::HomeOverride override_home(home.c_str());
    const auto saved = oxa_lib::save_encrypted_wallet(make_wallet("w", "w"), std::nullopt);
    ASSERT_TRUE(saved) << saved.error().display();
    EXPECT_EQ(names_in(target / "wallets"), std::vector<std::string>{"w.json"});
}

// Saving ----------------------------------------------------------------------

TEST_F(Vault, SaveWritesOneOwnerOnlyFileThatReadsBack) {
    const EncryptedWallet wallet = make_wallet("6f1c8a52-0d7e-4b1a-9c3e-2f4d5a6b7c8d", "main");
    save(wallet);
    // Nothing but the wallet file: the temporary file was renamed into place.
    EXPECT_EQ(names_in(wallets()), std::vector<std::string>{wallet.id + ".json"});
    const fs::path file = wallets() / (wallet.id + ".json");
    EXPECT_EQ(mode_of(file), 0600u);
    EXPECT_EQ(read_file(file), oxa_core::serialize_encrypted_wallet(wallet));
    const auto loaded = oxa_lib::load_wallet_by_name_or_id(wallet.id, vault());
    ASSERT_TRUE(loaded) << loaded.error().display();
    EXPECT_EQ(loaded.value().wallet, wallet);
    EXPECT_EQ(loaded.value().file_name, wallet.id + ".json");
}

TEST_F(Vault, SaveReplacesTheWalletsOwnFileWithMode0600) {
    EncryptedWallet wallet = make_wallet("w1", "before");
    save(wallet);
    fs::permissions(wallets() / "w1.json", fs::perms(0644));
    wallet.name = "after";
    save(wallet);
    EXPECT_EQ(names_in(wallets()), std::vector<std::string>{"w1.json"});
    EXPECT_EQ(mode_of(wallets() / "w1.json"), 0600u);
    const auto listed = list();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "after");
}

TEST_F(Vault, LongestIdThatFitsAFileNameCanBeSaved) {
    // 250 characters + ".json" is the longest name the file system takes.
    const EncryptedWallet wallet = make_wallet(std::string(250, 'i'), "long");
    save(wallet);
    EXPECT_EQ(names_in(wallets()), std::vector<std::string>{wallet.id + ".json"});
}

TEST_F(Vault, FailedSaveLeavesNoTemporaryFile) {
    fs::create_directories(wallets() / "w1.json" / "occupied");
    const auto saved = oxa_lib::save_encrypted_wallet(make_wallet("w1", "w"), vault());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().kind(), OxaLibError::Kind::Io);
    EXPECT_EQ(saved.error().display(), "I/O error: Is a directory (os error 21)");
    EXPECT_EQ(names_in(wallets()), std::vector<std::string>{"w1.json"});
}

// Listing ---------------------------------------------------------------------

TEST_F(Vault, ListingIsOldestFirstWithTiesInDirectoryOrder) {
    const std::string tie = "2024-01-01T00:00:00+00:00";
    // File names run against the creation order on purpose.
    save(make_wallet("a-newest", "n", "2024-03-01T00:00:00+00:00"));
    save(make_wallet("b-later-fraction", "n", "2024-01-01T00:00:00.5+00:00"));
    save(make_wallet("c-tie", "n", tie));
    save(make_wallet("k-tie", "n", tie));
    save(make_wallet("q-tie", "n", tie));
    save(make_wallet("t-tie", "n", tie));
    save(make_wallet("y-date-only", "n", "2024-01-01"));
    save(make_wallet("z-oldest", "n", "2023-12-31T23:59:59+00:00"));

    std::vector<std::string> expected = {"z-oldest", "y-date-only"};
    for (const std::string& name : directory_order(wallets())) {
        if (name.find("-tie.json") != std::string::npos) expected.push_back(name.substr(0, 5));
    }
    expected.insert(expected.end(), {"b-later-fraction", "a-newest"});
    EXPECT_EQ(ids_of(list()), expected);
}

TEST_F(Vault, SummariesComeInTheListingsOrder) {
    const std::string tie = "2024-01-01T00:00:00+00:00";
    for (const char* id : {"d-tie", "a-later", "c-tie", "b-tie"}) {
        save(make_wallet(id, id, id[0] == 'a' ? "2024-02-01T00:00:00+00:00" : tie));
    }
    const auto summaries = oxa_lib::list_wallet_infos(vault());
    ASSERT_TRUE(summaries) << summaries.error().display();
    std::vector<std::string> ids;
    for (const auto& info : summaries.value()) ids.push_back(info.id);
    EXPECT_EQ(ids, ids_of(list()));
}

TEST_F(Vault, ListingUsesTheIdInsideTheFile) {
    const EncryptedWallet wallet = make_wallet("inner-id", "n");
    list();
    write_file(wallets() / "outer-name.json", oxa_core::serialize_encrypted_wallet(wallet));
    EXPECT_EQ(ids_of(list()), std::vector<std::string>{"inner-id"});
}

TEST_F(Vault, DamagedJsonFilesAreSkippedWithAWarning) {
    save(make_wallet("good", "good"));
    struct Damaged {
        const char* name;
        std::string content;
        std::string reason;  // empty: the wallet reader's own message
    };
    const Damaged damaged[] = {
        {"broken.json", "{", ""},
        {"empty.json", "", ""},
        {"foreign.json", R"({"hello":"world"})", ""},
        {"array.json", "[1,2]", ""},
        {"..json", "null", ""},
        {"latin1.json", "{\"name\":\"caf\xe9\"}", "stream did not contain valid UTF-8"},
    };
    std::vector<std::string> expected;
    for (const Damaged& d : damaged) {
        write_file(wallets() / d.name, d.content);
        const std::string reason =
            d.reason.empty() ? oxa_core::parse_encrypted_wallet(d.content).error() : d.reason;
        expected.push_back("warning: skipping " + (wallets() / d.name).string() + ": " + reason);
    }
    fs::create_directory(wallets() / "folder.json");
    expected.push_back("warning: skipping " + (wallets() / "folder.json").string() +
                       ": Is a directory (os error 21)");
    std::sort(expected.begin(), expected.end());

    testing::internal::CaptureStderr();
    const auto listed = list();
    EXPECT_EQ(sorted_lines(testing::internal::GetCapturedStderr()), expected);
    EXPECT_EQ(ids_of(listed), std::vector<std::string>{"good"});
}

TEST_F(Vault, FilesWithoutTheJsonExtensionAreIgnoredSilently) {
    save(make_wallet("good", "good"));
    for (const char* name : {"notes.txt", "wallet.JSON", ".json", "wallet.json.bak", "json",
                             "w.jsonx", ".0123456789abcdef.tmp"}) {
        write_file(wallets() / name, "{");
    }
    testing::internal::CaptureStderr();
    const auto listed = list();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ids_of(listed), std::vector<std::string>{"good"});
}

TEST_F(Vault, FileLargerThanOneMebibyteIsNotRead) {
    const std::string text = oxa_core::serialize_encrypted_wallet(make_wallet("big", "big"));
    list();
    // Trailing blanks keep the document valid, so only the size decides.
    write_file(wallets() / "at-cap.json",
               text + std::string(MAX_WALLET_FILE_BYTES - text.size(), ' '));
    write_file(wallets() / "over-cap.json",
               text + std::string(MAX_WALLET_FILE_BYTES + 1 - text.size(), ' '));
    testing::internal::CaptureStderr();
    const auto listed = list();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "warning: skipping " +
                                                          (wallets() / "over-cap.json").string() +
                                                          ": file is larger than 1048576 bytes\n");
    EXPECT_EQ(ids_of(listed), std::vector<std::string>{"big"});
}

TEST_F(Vault, FifoNamedLikeAWalletFileDoesNotStallTheListing) {
    list();
    const fs::path fifo = wallets() / "pipe.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should the listing wait for a writer, this one arrives after a while and
    // the elapsed time tells.
    std::promise<void> listed_promise;
    std::thread writer([&fifo, done = listed_promise.get_future()] {
        if (done.wait_for(std::chrono::seconds(3)) == std::future_status::ready) return;
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    });
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    const auto listed = list();
    const std::string warnings = testing::internal::GetCapturedStderr();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    listed_promise.set_value();
    writer.join();
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_TRUE(listed.empty());
    EXPECT_EQ(warnings, "warning: skipping " + fifo.string() + ": " +
                            oxa_core::parse_encrypted_wallet("").error() + "\n");
}

// Lookup ----------------------------------------------------------------------

struct LookupCase {
    std::string text;
    std::string id;  // the wallet found, or empty
    std::string display;  // the error otherwise
    OxaLibError::Kind kind = OxaLibError::Kind::WalletNotFound;
};

TEST_F(Vault, LookupPrefersIdsThenExactNames) {
    save(make_wallet("id-1", "main", "2024-01-01T00:00:01+00:00"));
    save(make_wallet("id-2", "main", "2024-01-01T00:00:02+00:00"));
    save(make_wallet("id-3", "id-1", "2024-01-01T00:00:03+00:00"));
    save(make_wallet("id-4", "Solo", "2024-01-01T00:00:04+00:00"));
    save(make_wallet("id-5", " spaced ", "2024-01-01T00:00:05+00:00"));
    const LookupCase cases[] = {
        {"id-1", "id-1", ""},
        {"id-2", "id-2", ""},
        {"id-3", "id-3", ""},
        {"Solo", "id-4", ""},
        {" spaced ", "id-5", ""},
        {"main", "", "ambiguous wallet name 'main' matches 2 wallets; use the wallet ID instead",
         OxaLibError::Kind::AmbiguousWallet},
        {"solo", "", "wallet not found: 'solo'"},
        {"ID-1", "", "wallet not found: 'ID-1'"},
        {"spaced", "", "wallet not found: 'spaced'"},
        {"", "", "wallet not found: ''"},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.text);
        const auto found = oxa_lib::load_wallet_by_name_or_id(c.text, vault());
        if (!c.id.empty()) {
            ASSERT_TRUE(found) << found.error().display();
            EXPECT_EQ(found.value().wallet.id, c.id);
            continue;
        }
        ASSERT_FALSE(found);
        EXPECT_EQ(found.error().kind(), c.kind);
        EXPECT_EQ(found.error().display(), c.display);
    }
}

TEST_F(Vault, IdInTwoFilesFindsTheWalletListedFirst) {
    list();
    const std::pair<const char*, const char*> copies[] = {
        {"copy-new", "2024-02-01T00:00:00+00:00"},
        {"copy-tie-1", "2024-01-01T00:00:00+00:00"},
        {"copy-tie-2", "2024-01-01T00:00:00+00:00"},
    };
    for (const auto& [name, created_at] : copies) {
        write_file(wallets() / (std::string(name) + ".json"),
                   oxa_core::serialize_encrypted_wallet(make_wallet("twin", name, created_at)));
    }
    const auto found = oxa_lib::load_wallet_by_name_or_id("twin", vault());
    ASSERT_TRUE(found) << found.error().display();
    EXPECT_EQ(found.value().wallet.name, list().front().name);
    EXPECT_EQ(found.value().file_name, found.value().wallet.name + ".json");
}

TEST_F(Vault, LookupWithNameCheckAnswersBothInOnePass) {
    save(make_wallet("id-1", "main"));
    save(make_wallet("id-2", "other"));
    const std::pair<const char*, bool> names[] = {{"other", true}, {"main", true}, {"new", false}};
    for (const auto& [name, taken] : names) {
        SCOPED_TRACE(name);
        const auto found = oxa_lib::load_wallet_checking_name("main", name, vault());
        ASSERT_TRUE(found) << found.error().display();
        EXPECT_EQ(found.value().found.wallet.id, "id-1");
        EXPECT_EQ(found.value().found.file_name, "id-1.json");
        EXPECT_EQ(found.value().name_taken, taken);
    }
    const auto missing = oxa_lib::load_wallet_checking_name("gone", "main", vault());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().display(), "wallet not found: 'gone'");
}

TEST_F(Vault, NameCheckIsExactAndIgnoresIds) {
    save(make_wallet("id-1", "Main"));
    const std::pair<const char*, bool> cases[] = {
        {"Main", true}, {"main", false}, {"Main ", false}, {"id-1", false}, {"", false}};
    for (const auto& [name, taken] : cases) {
        SCOPED_TRACE(name);
        const auto exists = oxa_lib::wallet_name_exists(name, vault());
        ASSERT_TRUE(exists) << exists.error().display();
        EXPECT_EQ(exists.value(), taken);
    }
}

// Deleting --------------------------------------------------------------------

TEST_F(Vault, DeleteRemovesOnlyThatWalletsFile) {
    save(make_wallet("w1", "one"));
    save(make_wallet("w2", "two"));
    const auto deleted =
        oxa_lib::delete_wallet_file({make_wallet("w1", "one"), "w1.json"}, vault());
    ASSERT_TRUE(deleted) << deleted.error().display();
    EXPECT_EQ(names_in(wallets()), std::vector<std::string>{"w2.json"});
}

TEST_F(Vault, DeletingAFileThatIsGoneReportsTheId) {
    save(make_wallet("w1", "one"));
    for (const char* file_name : {"w2.json", "W1.json", "w1.json.json"}) {
        SCOPED_TRACE(file_name);
        const auto deleted =
            oxa_lib::delete_wallet_file({make_wallet("w1", "one"), file_name}, vault());
        ASSERT_FALSE(deleted);
        EXPECT_EQ(deleted.error().kind(), OxaLibError::Kind::WalletNotFound);
        EXPECT_EQ(deleted.error().display(), "wallet not found: 'w1'");
    }
    EXPECT_EQ(names_in(wallets()), std::vector<std::string>{"w1.json"});
}

TEST_F(Vault, CopiedWalletFileIsReplacedAndDeletedItself) {
    // The same wallet twice: its own file and a copy under another name.
    save(make_wallet("inner", "original"));
    const std::string original = read_file(wallets() / "inner.json");
    write_file(wallets() / "copy.json",
               oxa_core::serialize_encrypted_wallet(make_wallet("inner", "copy")));

    auto found = oxa_lib::load_wallet_by_name_or_id("copy", vault());
    ASSERT_TRUE(found) << found.error().display();
    EXPECT_EQ(found.value().file_name, "copy.json");
    found.value().wallet.name = "renamed";
    const auto replaced = oxa_lib::replace_stored_wallet(found.value(), vault());
    ASSERT_TRUE(replaced) << replaced.error().display();
    EXPECT_EQ(read_file(wallets() / "copy.json"),
              oxa_core::serialize_encrypted_wallet(found.value().wallet));
    EXPECT_EQ(mode_of(wallets() / "copy.json"), 0600u);

    const auto deleted = oxa_lib::delete_wallet_file(found.value(), vault());
    ASSERT_TRUE(deleted) << deleted.error().display();
    EXPECT_EQ(names_in(wallets()), std::vector<std::string>{"inner.json"});
    EXPECT_EQ(read_file(wallets() / "inner.json"), original);
}

TEST_F(Vault, IdThatIsNotAPlainFileStemNeverBuildsAPath) {
    list();
    // A file wherever each id would lead if it were used as a path.
    const std::string absolute = (scratch() / "absolute").string();
    fs::create_directories(wallets() / "a");
    for (const fs::path& target :
         {wallets() / ".json", wallets() / "..json", wallets() / "...json", wallets() / ".x.json",
          wallets() / "a" / "b.json", root() / "x.json", scratch() / "escape.json",
          fs::path(absolute + ".json"), wallets() / "held.json"}) {
        write_file(target, "sentinel");
    }
    const std::string ids[] = {"",       ".",    "..", ".x", "a/b", "../x", "../../escape",
                               absolute, "a\0b"s};
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        const auto before = snapshot(scratch());
        const auto saved = oxa_lib::save_encrypted_wallet(make_wallet(id, "n"), vault());
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.error().kind(), OxaLibError::Kind::InvalidInput);
        EXPECT_EQ(saved.error().display(),
                  "invalid input: wallet id '" + id + "' cannot be used as a file name");
        // Even read from a file of its own, such a wallet is not removed.
        const auto deleted =
            oxa_lib::delete_wallet_file({make_wallet(id, "n"), "held.json"}, vault());
        ASSERT_FALSE(deleted);
        EXPECT_EQ(deleted.error().kind(), OxaLibError::Kind::WalletNotFound);
        EXPECT_EQ(deleted.error().display(), "wallet not found: '" + id + "'");
        EXPECT_EQ(snapshot(scratch()), before);
    }
}

// Writer lock -----------------------------------------------------------------

/// Whether a separate process can take the exclusive lock on `dir` right now.
bool another_process_can_lock(const fs::path& dir) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) ::_exit(2);
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::_exit(0);
        ::_exit(errno == EWOULDBLOCK ? 1 : 3);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        ADD_FAILURE() << "the locking child did not run";
        return false;
    }
    EXPECT_LT(WEXITSTATUS(status), 2) << "the locking child failed";
    return WEXITSTATUS(status) == 0;
}

TEST_F(Vault, WriteLockExcludesAnotherProcessUntilReleased) {
    list();
    EXPECT_TRUE(another_process_can_lock(wallets()));
    {
        auto lock = oxa_lib::VaultWriteLock::acquire(vault());
        ASSERT_TRUE(lock) << lock.error().display();
        EXPECT_FALSE(another_process_can_lock(wallets()));
        {
            const oxa_lib::VaultWriteLock moved = std::move(lock.value());
            EXPECT_FALSE(another_process_can_lock(wallets()));
        }
        // The moved-from lock no longer holds anything.
        EXPECT_TRUE(another_process_can_lock(wallets()));
    }
    EXPECT_TRUE(another_process_can_lock(wallets()));
    auto again = oxa_lib::VaultWriteLock::acquire(vault());
    ASSERT_TRUE(again) << again.error().display();
    EXPECT_FALSE(another_process_can_lock(wallets()));
}

TEST_F(Vault, WriteLockRemovesOnlyOurOwnStaleTemporaryFiles) {
    list();
    const std::string ours = ".0123456789abcdef.tmp";
    const std::vector<std::string> kept = {
        ".0123456789ABCDEF.tmp", ".0123456789abcde.tmp",  ".0123456789abcdef0.tmp",
        "0123456789abcdef.tmp",  ".0123456789abcdeg.tmp", ".0123456789abcdef.tmp.bak",
    };
    for (const std::string& name : kept) write_file(wallets() / name, "{");
    write_file(wallets() / ours, "{");
    fs::create_directory(wallets() / ".fedcba9876543210.tmp");
    fs::create_symlink(wallets() / ours, wallets() / ".00112233aabbccdd.tmp");
    const auto age = [&](const std::string& name, std::chrono::minutes minutes) {
        const std::time_t then = std::time(nullptr) - minutes.count() * 60;
        const timespec times[2] = {{then, 0}, {then, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (wallets() / name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    };
    for (const auto& entry : fs::directory_iterator(wallets())) {
        age(entry.path().filename(), std::chrono::minutes(60));
    }
    const std::string fresh = ".aaaaaaaaaaaaaaaa.tmp";
    write_file(wallets() / fresh, "{");
    age(fresh, std::chrono::minutes(4));

    const auto before = names_in(wallets());
    list();
    EXPECT_EQ(names_in(wallets()), before) << "readers leave temporary files alone";
    {
        const auto lock = oxa_lib::VaultWriteLock::acquire(vault());
        ASSERT_TRUE(lock) << lock.error().display();
    }
    std::vector<std::string> expected = before;
    std::erase(expected, ours);
    EXPECT_EQ(names_in(wallets()), expected);
}

}  // namespace
