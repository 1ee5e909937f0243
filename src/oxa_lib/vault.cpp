#include "vault.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "os_error.hpp"
#include "oxa_core/home_dir.hpp"
#include "oxa_core/internal_abort.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/random.hpp"

namespace oxa_lib {

namespace fs = std::filesystem;

namespace {

// Wallet files are a few kilobytes; anything far larger is not one of ours
// and is not read into memory.
constexpr std::size_t MAX_WALLET_FILE_BYTES = 1 << 20;

std::string display(const fs::path& path) { return oxa_core::utf8_lossy(path.native()); }

void warn(const std::string& line) { std::fprintf(stderr, "warning: %s\n", line.c_str()); }

/// An owned file descriptor.
class Fd {
public:
    explicit Fd(int fd) noexcept : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }
    /// Closes now and reports the result (a failed close can lose written data).
    bool close() noexcept { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

OxaLibError io_error(int err) { return OxaLibError::io(os_error_text(err)); }

/// A name a file can safely be given: no directory part, no hidden or
/// special name, nothing the system would truncate.
bool is_plain_file_stem(std::string_view id) {
    return !id.empty() && id.front() != '.' && id.find('/') == std::string_view::npos &&
           id.find('\0') == std::string_view::npos;
}

/// Mirrors how a path's extension is read: "x.json" and "..json" qualify,
/// ".json" (a hidden file without extension) does not.
bool has_json_extension(std::string_view name) {
    constexpr std::string_view EXT = ".json";
    return name.size() > EXT.size() && name.ends_with(EXT);
}

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

/// Makes a completed rename or unlink in `dir` durable. Until this succeeds
/// a crash can undo the change, so a failure is the caller's error.
LibStatus sync_directory(const fs::path& dir, std::string_view change) {
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd && ::fsync(fd.get()) == 0) return oxa_core::OK;
    const int err = errno;
    // File systems that cannot sync a directory (EINVAL) have nothing to flush.
    if (fd && err == EINVAL) return oxa_core::OK;
    return Err{
        OxaLibError::io(std::string(change) + ", but syncing " + display(dir) +
                        " failed, so the change may not survive a crash: " + os_error_text(err))};
}

constexpr std::size_t TEMPORARY_NONCE_BYTES = 8;

std::string temporary_name() {
    std::array<std::uint8_t, TEMPORARY_NONCE_BYTES> nonce{};
    oxa_signer::random_fill(nonce);
    // Starts with a dot and ends in ".tmp": never taken for a wallet file. The
    // id stays out of it, so any id whose file name fits also fits here.
    std::string name = ".";
    name += oxa_signer::hex_encode(nonce);
    name += ".tmp";
    return name;
}

/// Exactly the names temporary_name makes: nothing else is ever removed as one.
bool is_temporary_name(std::string_view name) {
    constexpr std::string_view EXT = ".tmp";
    constexpr std::size_t HEX_DIGITS = 2 * TEMPORARY_NONCE_BYTES;
    if (name.size() != 1 + HEX_DIGITS + EXT.size() || name.front() != '.' || !name.ends_with(EXT)) {
        return false;
    }
    return std::all_of(name.begin() + 1, name.begin() + 1 + HEX_DIGITS,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A save lasts milliseconds; a temporary file this old lost its writer.
constexpr std::chrono::seconds STALE_TEMPORARY_AGE{5 * 60};

/// Removes our temporary files older than STALE_TEMPORARY_AGE: a writer
/// killed between creating one and renaming it leaves a whole sealed copy of
/// the wallet, which would outlive even the wallet's deletion.
void remove_stale_temporaries(const fs::path& dir) {
    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.c_str()), ::closedir);
    if (!stream) return;
    const int dir_fd = ::dirfd(stream.get());
    const std::time_t cutoff = std::time(nullptr) - STALE_TEMPORARY_AGE.count();
    while (const dirent* entry = ::readdir(stream.get())) {
        if (!is_temporary_name(entry->d_name)) continue;
        struct stat st{};
        if (::fstatat(dir_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_mtime > cutoff) continue;
        if (::unlinkat(dir_fd, entry->d_name, 0) != 0 && errno != ENOENT) {
            warn("failed to remove the stale temporary file " + display(dir / entry->d_name) +
                 ": " + os_error_text(errno));
        }
    }
}

/// Lock errors of file systems that cannot lock at all (NFS without a lock
/// service, some FUSE mounts), as opposed to a lock that failed.
bool locking_unsupported(int err) { return err == EBADF || err == ENOLCK || err == EOPNOTSUPP; }

void warn_once_unlocked(const fs::path& dir, int err) {
    static std::atomic<bool> warned{false};
    if (warned.exchange(true)) return;
    warn("cannot lock " + display(dir) + ": " + os_error_text(err) +
         "; writing without the lock, so keep to one writing process at a time on this vault");
}

/// Creates `dir` and any missing parent, each with mode 0700 from the start:
/// a directory born with the umask's permissions would be open to others
/// until it is chmodded. An existing entry is left for the caller to judge.
int make_directories(const fs::path& dir) {
    if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return 0;
    if (errno != ENOENT) return errno;
    const fs::path parent = dir.parent_path();
    if (parent.empty() || parent == dir) return ENOENT;
    if (const int err = make_directories(parent); err != 0) return err;
    if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return 0;
    return errno;
}

/// Where the vault is, and whether the system chose it (then it must be ours).
struct VaultLocation {
    fs::path root;
    bool is_default;
    bool shared_tmp;
};

VaultLocation locate_vault(const VaultPath& vault) {
    if (vault) return {*vault, false, false};
    const oxa_core::HomeDir home = oxa_core::find_home_dir();
    return {home.oxa_dir(), true, home.shared_tmp};
}

/// Creates `dir` if missing and checks that it is a directory the vault may use.
LibStatus prepare_directory(const fs::path& dir, const VaultLocation& location) {
    if (const int err = make_directories(dir); err != 0) return Err{io_error(err)};
    if (location.is_default) {
        if (auto refusal = oxa_core::default_dir_refusal(dir, location.shared_tmp)) {
            return Err{OxaLibError::io("refusing to use " + display(dir) + ": it " + *refusal +
                                       "; set HOME to your own home directory, or pass a vault "
                                       "path")};
        }
    }
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0) return Err{io_error(errno)};
    if (!S_ISDIR(st.st_mode)) return Err{io_error(ENOTDIR)};
    return oxa_core::OK;
}

struct WalletsDir {
    fs::path path;
    bool mode_reported;  // set_dir_permissions already warned about its mode
};

LibResult<WalletsDir> prepare_wallets_dir(const VaultPath& vault) {
    const VaultLocation location = locate_vault(vault);
    if (location.root.native().find('\0') != std::string::npos) {
        return Err{OxaLibError::invalid_input("vault path must not contain a NUL character")};
    }
    fs::path dir = location.root / "wallets";
    // The vault directory is judged before anything is made inside it.
    for (const fs::path& each : {location.root, dir}) {
        if (auto prepared = prepare_directory(each, location); !prepared) {
            return Err{std::move(prepared).error()};
        }
    }
    set_dir_permissions(location.root);
    const bool mode_reported = !set_dir_permissions(dir);
    return WalletsDir{std::move(dir), mode_reported};
}

/// Writes `wallet` to `file_name` in `dir` through a temporary file: a crash
/// leaves the old file or the new one, never a part.
LibStatus write_wallet_file(const fs::path& dir, const std::string& file_name,
                            const oxa_core::EncryptedWallet& wallet) {
    const std::string text = oxa_core::serialize_encrypted_wallet(wallet);
    // The listing skips a file above the cap: written, it would be a wallet
    // nobody can open again.
    if (text.size() > MAX_WALLET_FILE_BYTES) {
        return Err{OxaLibError::invalid_input("wallet file would be larger than " +
                                              std::to_string(MAX_WALLET_FILE_BYTES) + " bytes")};
    }
    const fs::path target = dir / file_name;
    const fs::path temporary = dir / temporary_name();

    // Created 0600 and exclusive: the file never exists with wider permissions.
    Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) return Err{io_error(errno)};
    // The umask may have narrowed 0600 down to a file its owner cannot read.
    const bool written = ::fchmod(fd.get(), 0600) == 0 && write_all(fd.get(), text) &&
                         ::fsync(fd.get()) == 0 && fd.close();
    const int write_errno = errno;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        const int err = written ? errno : write_errno;
        ::unlink(temporary.c_str());
        return Err{io_error(err)};
    }
    return sync_directory(dir, "the wallet file " + display(target) + " was written");
}

LibStatus check_file_stem(const oxa_core::EncryptedWallet& wallet) {
    if (is_plain_file_stem(wallet.id)) return oxa_core::OK;
    return Err{
        OxaLibError::invalid_input("wallet id '" + wallet.id + "' cannot be used as a file name")};
}

// A wallet file fits in one read of this size, so the reading buffer, kept
// across the files of one scan, rarely grows.
constexpr std::size_t FIRST_READ_BYTES = 64 * 1024;

std::string too_large_text() {
    return "file is larger than " + std::to_string(MAX_WALLET_FILE_BYTES) + " bytes";
}

/// Reads the wallet file `name` of the directory `dir_fd` into `buffer`,
/// which is reused between files and only grows, and returns the text read
/// (a view into `buffer`), or the text of the read failure. `regular` is
/// the directory's word that the entry is a plain file: then a read that
/// returns less than asked ends the file, and no fstat is needed.
oxa_core::Result<std::string_view, std::string> read_wallet_text(int dir_fd, const char* name,
                                                                 bool regular,
                                                                 std::string& buffer) {
    // Non-blocking, so that a FIFO named like a wallet file cannot stall the listing.
    Fd fd(::openat(dir_fd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return oxa_core::Err{os_error_text(errno)};
    if (!regular) {
        struct stat st{};
        if (::fstat(fd.get(), &st) != 0) return oxa_core::Err{os_error_text(errno)};
        if (S_ISDIR(st.st_mode)) return oxa_core::Err{os_error_text(EISDIR)};
        if (static_cast<std::size_t>(st.st_size) > MAX_WALLET_FILE_BYTES) {
            return oxa_core::Err{too_large_text()};
        }
        regular = S_ISREG(st.st_mode);
    }
    if (buffer.size() < FIRST_READ_BYTES) buffer.resize(FIRST_READ_BYTES);
    std::size_t filled = 0;
    for (;;) {
        if (filled == buffer.size()) {
            // Read up to one byte past the cap, to tell a full file from a larger one.
            if (buffer.size() > MAX_WALLET_FILE_BYTES) break;
            buffer.resize(std::min(buffer.size() * 2, MAX_WALLET_FILE_BYTES + 1));
        }
        const std::size_t wanted = buffer.size() - filled;
        const ssize_t n = ::read(fd.get(), buffer.data() + filled, wanted);
        if (n < 0) {
            if (errno == EINTR) continue;
            return oxa_core::Err{os_error_text(errno)};
        }
        filled += static_cast<std::size_t>(n);
        if (n == 0 || (regular && static_cast<std::size_t>(n) < wanted)) break;
    }
    if (filled > MAX_WALLET_FILE_BYTES) return oxa_core::Err{too_large_text()};
    const std::string_view text(buffer.data(), filled);
    if (oxa_core::utf8_error(text)) {
        return oxa_core::Err{std::string("stream did not contain valid UTF-8")};
    }
    return text;
}

/// What a scan's visitor answers for one file: nothing when it took the
/// wallet, or why the file is skipped (the reader's error).
using Skipped = std::optional<std::string>;

/// The one pass over the wallets directory that every reading operation
/// makes. `visit` gets each file's text (valid UTF-8, valid until the next
/// file is read) and name, and reads what it needs of it: the whole record, or
/// only its summary, which checks every rule as well, so that the same files
/// are skipped with the same warnings.
template <class Visit>
LibStatus scan_wallets(const VaultPath& vault, Visit&& visit) {
    auto prepared = prepare_wallets_dir(vault);
    if (!prepared) return Err{std::move(prepared).error()};
    const fs::path& dir = prepared.value().path;
    if (!prepared.value().mode_reported) check_vault_permissions(dir);

    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.c_str()), ::closedir);
    if (!stream) {
        if (errno == ENOENT) return oxa_core::OK;
        return Err{io_error(errno)};
    }
    const int dir_fd = ::dirfd(stream.get());
    std::string buffer;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) {
            if (errno != 0) return Err{io_error(errno)};
            break;
        }
        if (!has_json_extension(entry->d_name)) continue;
        const auto skip = [&](const std::string& why) {
            warn("skipping " + display(dir / entry->d_name) + ": " + why);
        };
        auto text = read_wallet_text(dir_fd, entry->d_name, entry->d_type == DT_REG, buffer);
        if (!text) {
            skip(text.error());
            continue;
        }
        if (const Skipped skipped = visit(text.value(), entry->d_name)) skip(*skipped);
    }
    return oxa_core::OK;
}

/// Resolves a name or id while the wallets stream past as summaries, reading
/// in full only the candidates: the answer a search of the sorted listing
/// would give.
class WalletResolver {
public:
    explicit WalletResolver(std::string_view name_or_id) : m_wanted(name_or_id) {}

    void offer(const oxa_core::WalletSummary& summary, std::string_view text,
               std::string_view file_name) {
        // The sorted listing puts the oldest first, equal times in directory order.
        if (summary.id == m_wanted &&
            (!m_by_id || summary.created_at < m_by_id->wallet.created_at)) {
            m_by_id = stored(text, file_name);
            return;
        }
        if (summary.name != m_wanted) return;
        if (++m_name_matches == 1) m_by_name = stored(text, file_name);
    }

    LibResult<StoredWallet> result() && {
        if (m_by_id) return std::move(*m_by_id);
        if (m_name_matches == 0) return Err{OxaLibError::wallet_not_found(std::string(m_wanted))};
        if (m_name_matches > 1) {
            return Err{OxaLibError::ambiguous_wallet(std::string(m_wanted), m_name_matches)};
        }
        return std::move(*m_by_name);
    }

private:
    static StoredWallet stored(std::string_view text, std::string_view file_name) {
        auto wallet = oxa_core::parse_encrypted_wallet(text);
        // The summary was read by the same rules, so the whole record reads too.
        if (!wallet) throw oxa_core::InternalAbort("a wallet file read as a summary but not whole");
        return StoredWallet{std::move(wallet).value(), std::string(file_name)};
    }

    std::string_view m_wanted;
    std::optional<StoredWallet> m_by_id;
    std::optional<StoredWallet> m_by_name;
    std::size_t m_name_matches = 0;
};

}  // namespace

fs::path resolve_vault_path(const VaultPath& vault) { return locate_vault(vault).root; }

bool set_dir_permissions(const fs::path& dir) {
    struct stat st{};
    // A directory we cannot even stat gets chmod's own explanation below.
    if (::stat(dir.c_str(), &st) == 0 &&
        (st.st_uid != ::geteuid() || (st.st_mode & S_ISVTX) != 0)) {
        check_vault_permissions(dir);
        return false;
    }
    if (::chmod(dir.c_str(), 0700) != 0) {
        warn("failed to set permissions on " + display(dir) + ": " + os_error_text(errno));
    }
    return true;
}

void check_vault_permissions(const fs::path& dir) {
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0) return;
    const unsigned mode = st.st_mode & 0777;
    if (mode == 0700) return;
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode);
    warn(display(dir) + " has permissions " + octal + ", expected 0700");
}

LibResult<fs::path> wallets_dir(const VaultPath& vault) {
    auto prepared = prepare_wallets_dir(vault);
    if (!prepared) return Err{std::move(prepared).error()};
    return std::move(prepared.value().path);
}

LibResult<std::vector<oxa_core::EncryptedWallet>> list_encrypted_wallets(const VaultPath& vault) {
    std::vector<oxa_core::EncryptedWallet> wallets;
    auto scanned = scan_wallets(vault, [&](std::string_view text, std::string_view) -> Skipped {
        auto wallet = oxa_core::parse_encrypted_wallet(text);
        if (!wallet) return std::move(wallet).error();
        wallets.push_back(std::move(wallet).value());
        return std::nullopt;
    });
    if (!scanned) return Err{std::move(scanned).error()};
    std::stable_sort(wallets.begin(), wallets.end(),
                     [](const auto& a, const auto& b) { return a.created_at < b.created_at; });
    return wallets;
}

LibResult<std::vector<WalletInfo>> list_wallet_infos(const VaultPath& vault) {
    std::vector<WalletInfo> infos;
    auto scanned = scan_wallets(vault, [&](std::string_view text, std::string_view) -> Skipped {
        auto wallet = oxa_core::parse_encrypted_wallet(text);
        if (!wallet) return std::move(wallet).error();
        infos.push_back(wallet_to_info(std::move(wallet).value()));
        return std::nullopt;
    });
    if (!scanned) return Err{std::move(scanned).error()};
    std::stable_sort(infos.begin(), infos.end(),
                     [](const auto& a, const auto& b) { return a.created_at < b.created_at; });
    return infos;
}

namespace {

/// Scans the vault as summaries (one record whose buffers serve every file),
/// handing each wallet that reads to `take` with its text and file name.
template <class Take>
LibStatus scan_summaries(const VaultPath& vault, Take&& take) {
    oxa_core::WalletSummary summary;
    return scan_wallets(vault, [&](std::string_view text, std::string_view file_name) -> Skipped {
        if (auto read = oxa_core::parse_wallet_summary(text, summary); !read) {
            return std::move(read).error();
        }
        take(summary, text, file_name);
        return std::nullopt;
    });
}

}  // namespace

LibResult<StoredWallet> load_wallet_by_name_or_id(std::string_view name_or_id,
                                                  const VaultPath& vault) {
    WalletResolver resolver(name_or_id);
    auto scanned = scan_summaries(vault, [&](const auto& summary, auto text, auto file_name) {
        resolver.offer(summary, text, file_name);
    });
    if (!scanned) return Err{std::move(scanned).error()};
    return std::move(resolver).result();
}

LibResult<WalletAndNameCheck> load_wallet_checking_name(std::string_view name_or_id,
                                                        std::string_view name,
                                                        const VaultPath& vault) {
    WalletResolver resolver(name_or_id);
    bool taken = false;
    auto scanned = scan_summaries(vault, [&](const auto& summary, auto text, auto file_name) {
        taken = taken || summary.name == name;
        resolver.offer(summary, text, file_name);
    });
    if (!scanned) return Err{std::move(scanned).error()};
    auto wallet = std::move(resolver).result();
    if (!wallet) return Err{std::move(wallet).error()};
    return WalletAndNameCheck{std::move(wallet).value(), taken};
}

LibResult<bool> wallet_name_exists(std::string_view name, const VaultPath& vault) {
    bool taken = false;
    auto scanned = scan_summaries(
        vault, [&](const auto& summary, auto, auto) { taken = taken || summary.name == name; });
    if (!scanned) return Err{std::move(scanned).error()};
    return taken;
}

LibStatus save_encrypted_wallet(const oxa_core::EncryptedWallet& wallet, const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    if (auto plain = check_file_stem(wallet); !plain) return plain;
    return write_wallet_file(dir.value(), wallet.id + ".json", wallet);
}

LibStatus replace_stored_wallet(const StoredWallet& stored, const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    if (auto plain = check_file_stem(stored.wallet); !plain) return plain;
    return write_wallet_file(dir.value(), stored.file_name, stored.wallet);
}

LibStatus delete_wallet_file(const StoredWallet& stored, const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    const std::string& id = stored.wallet.id;
    // A wallet whose id is not a plain name is not ours to remove.
    if (!is_plain_file_stem(id)) return Err{OxaLibError::wallet_not_found(id)};
    const fs::path path = dir.value() / stored.file_name;
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return Err{OxaLibError::wallet_not_found(id)};
    if (::unlink(path.c_str()) != 0) return Err{io_error(errno)};
    return sync_directory(dir.value(), "the wallet file " + display(path) + " was removed");
}

LibResult<VaultWriteLock> VaultWriteLock::acquire(const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    const int fd = ::open(dir.value().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Err{io_error(errno)};
    VaultWriteLock lock(fd);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        if (!locking_unsupported(errno)) return Err{io_error(errno)};
        // No lock is worse than none only if it stops every write.
        warn_once_unlocked(dir.value(), errno);
        break;
    }
    remove_stale_temporaries(dir.value());
    return lock;
}

VaultWriteLock::VaultWriteLock(VaultWriteLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

VaultWriteLock::~VaultWriteLock() {
    if (m_fd >= 0) ::close(m_fd);  // closing the descriptor releases the flock
}

}  // namespace oxa_lib
