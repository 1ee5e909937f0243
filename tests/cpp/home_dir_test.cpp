#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "oxa_core/config.hpp"
#include "oxa_core/home_dir.hpp"
#include "scratch_dir.hpp"
#include "user_dirs.hpp"

namespace {

namespace fs = std::filesystem;
using oxa_core::find_home_dir;
using oxa_test::HomeOverride;

std::optional<fs::path> database_home() {
    const passwd* entry = ::getpwuid(::geteuid());
    if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] != '/')
        return std::nullopt;
    return fs::path(entry->pw_dir);
}

/// A uid the password database does not know.
uid_t unknown_uid() {
    uid_t uid = 3'999'999'999u;
    while (::getpwuid(uid) != nullptr) --uid;
    return uid;
}

TEST(HomeDir, HomeVariableIsTakenAsItIs) {
    HomeOverride home("/home/jürgen");
    const oxa_core::HomeDir found = find_home_dir();
    EXPECT_EQ(found.path, fs::path("/home/jürgen"));
    EXPECT_FALSE(found.shared_tmp);
    EXPECT_EQ(oxa_core::Config::default_config().vault_path, fs::path("/home/jürgen/.oxa"));
}

TEST(HomeDir, UnsetOrNotUtf8HomeIsReadFromPasswd) {
    const std::optional<fs::path> expected = database_home();
    if (!expected) GTEST_SKIP() << "the effective user has no home in the password database";
    for (const char* value : {static_cast<const char*>(nullptr), "/home/\xff"}) {
        SCOPED_TRACE(value == nullptr ? "unset" : "not UTF-8");
        HomeOverride home(value);
        const oxa_core::HomeDir found = find_home_dir();
        EXPECT_EQ(found.path, *expected);
        EXPECT_FALSE(found.shared_tmp);
        EXPECT_EQ(oxa_core::Config::default_config().vault_path, *expected / ".oxa");
    }
}

TEST(HomeDir, SharedTmpOnlyWithoutHomeAndDatabaseEntry) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run a child under an unknown uid";
    const uid_t uid = unknown_uid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::unsetenv("HOME");
        if (::setresuid(uid, uid, uid) != 0) ::_exit(2);
        const oxa_core::HomeDir found = find_home_dir();
        ::_exit(found.path == fs::path("/tmp") && found.shared_tmp ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: setresuid failed; 1: not the shared /tmp";
}

struct RefusalCase {
    const char* what;
    bool needs_root;
    bool shared_tmp;
    std::function<fs::path(const fs::path& scratch)> make;  // returns the directory to judge
    std::string refusal;  // empty: may be used
};

TEST(HomeDir, DefaultDirectoriesMustBeTheUsersOwn) {
    const std::string foreign = "belongs to uid " + std::to_string(oxa_test::OTHER_UID) +
                                ", not to the current user (uid " + std::to_string(::geteuid()) +
                                ")";
    const std::string link_in_tmp = "is a symbolic link in the shared /tmp";
    const auto own = [](const fs::path& scratch) {
        fs::create_directory(scratch / "own");
        return scratch / "own";
    };
    const auto link_to = [](const fs::path& target) {
        fs::create_directory_symlink(target, target.parent_path() / "link");
        return target.parent_path() / "link";
    };
    const auto other_users = [](const fs::path& scratch) {
        oxa_test::make_foreign_dir(scratch / "other", 0777);
        return scratch / "other";
    };
    const RefusalCase cases[] = {
        {"own directory", false, false, own, ""},
        {"own directory in /tmp", false, true, own, ""},
        {"missing directory", false, true, [](const fs::path& s) { return s / "missing"; }, ""},
        {"link to an own directory", false, false,
         [&](const fs::path& s) { return link_to(own(s)); }, ""},
        {"link to an own directory in /tmp", false, true,
         [&](const fs::path& s) { return link_to(own(s)); }, link_in_tmp},
        {"dangling link in /tmp", false, true,
         [&](const fs::path& s) { return link_to(s / "missing"); }, link_in_tmp},
        {"another user's directory", true, false, other_users, foreign},
        {"another user's directory in /tmp", true, true, other_users, foreign},
        {"link to another user's directory", true, false,
         [&](const fs::path& s) { return link_to(other_users(s)); }, foreign},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needs_root && !oxa_test::can_make_foreign_dirs()) continue;
        oxa_test::ScratchDir scratch;
        const fs::path dir = c.make(scratch.path());
        const std::optional<std::string> refusal = oxa_core::default_dir_refusal(dir, c.shared_tmp);
        EXPECT_EQ(refusal.value_or(""), c.refusal);
    }
}

}  // namespace
