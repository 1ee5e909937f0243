#include "vault.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "oxa_core/config.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/random.hpp"
#include "os_error.hpp"

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

/// Makes a completed rename or unlink in `dir` durable.
void sync_directory(const fs::path& dir) {
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.get());
}

std::string temporary_name() {
    std::array<std::uint8_t, 8> nonce{};
    oxa_signer::random_fill(nonce);
    // Starts with a dot and ends in ".tmp": never taken for a wallet file. The
    // id stays out of it, so any id whose file name fits also fits here.
    std::string name = ".";
    name += oxa_signer::hex_encode(nonce);
    name += ".tmp";
    return name;
}

/// Reads a wallet file, or returns the text of the read failure.
oxa_core::Result<std::string, std::string> read_wallet_text(const fs::path& path) {
    // Non-blocking, so that a FIFO named like a wallet file cannot stall the listing.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return oxa_core::Err{os_error_text(errno)};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return oxa_core::Err{os_error_text(errno)};
    if (S_ISDIR(st.st_mode)) return oxa_core::Err{os_error_text(EISDIR)};
    if (static_cast<std::size_t>(st.st_size) > MAX_WALLET_FILE_BYTES) {
        return oxa_core::Err{"file is larger than " + std::to_string(MAX_WALLET_FILE_BYTES) +
                             " bytes"};
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == text.size()) {
            // The file may have grown since fstat; read what follows, within the cap.
            if (text.size() >= MAX_WALLET_FILE_BYTES) break;
            text.resize(std::min(text.size() * 2 + 4096, MAX_WALLET_FILE_BYTES + 1));
        }
        const ssize_t n = ::read(fd.get(), text.data() + filled, text.size() - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            return oxa_core::Err{os_error_text(errno)};
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    text.resize(filled);
    if (text.size() > MAX_WALLET_FILE_BYTES) {
        return oxa_core::Err{"file is larger than " + std::to_string(MAX_WALLET_FILE_BYTES) +
                             " bytes"};
    }
    if (oxa_core::utf8_error(text)) return oxa_core::Err{std::string("stream did not contain valid UTF-8")};
    return text;
}

}  // namespace

fs::path resolve_vault_path(const VaultPath& vault) {
    if (vault) return *vault;
    return oxa_core::Config::default_config().vault_path;
}

void set_dir_permissions(const fs::path& dir) {
    if (::chmod(dir.c_str(), 0700) != 0) {
        warn("failed to set permissions on " + display(dir) + ": " + os_error_text(errno));
    }
}

void check_vault_permissions(const fs::path& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return;
    const unsigned mode = st.st_mode & 0777;
    if (mode == 0700) return;
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode);
    warn(display(dir) + " has permissions " + octal + ", expected 0700");
}

LibResult<fs::path> wallets_dir(const VaultPath& vault) {
    const fs::path root = resolve_vault_path(vault);
    if (root.native().find('\0') != std::string::npos) {
        return Err{OxaLibError::invalid_input("vault path must not contain a NUL character")};
    }
    fs::path dir = root / "wallets";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return Err{io_error(ec.value())};
    set_dir_permissions(root);
    set_dir_permissions(dir);
    return dir;
}

LibResult<std::vector<oxa_core::EncryptedWallet>> list_encrypted_wallets(const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    check_vault_permissions(dir.value());

    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.value().c_str()), ::closedir);
    if (!stream) {
        if (errno == ENOENT) return std::vector<oxa_core::EncryptedWallet>{};
        return Err{io_error(errno)};
    }
    std::vector<oxa_core::EncryptedWallet> wallets;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) {
            if (errno != 0) return Err{io_error(errno)};
            break;
        }
        if (!has_json_extension(entry->d_name)) continue;
        const fs::path path = dir.value() / entry->d_name;
        auto text = read_wallet_text(path);
        if (!text) {
            warn("skipping " + display(path) + ": " + text.error());
            continue;
        }
        auto wallet = oxa_core::parse_encrypted_wallet(text.value());
        if (!wallet) {
            warn("skipping " + display(path) + ": " + wallet.error());
            continue;
        }
        wallets.push_back(std::move(wallet).value());
    }
    std::stable_sort(wallets.begin(), wallets.end(), [](const auto& a, const auto& b) {
        return a.created_at < b.created_at;
    });
    return wallets;
}

LibResult<std::size_t> find_wallet(const std::vector<oxa_core::EncryptedWallet>& wallets,
                                   std::string_view name_or_id) {
    // Ids win over names: a wallet named like another's id is reached by its own id only.
    for (std::size_t i = 0; i < wallets.size(); ++i) {
        if (wallets[i].id == name_or_id) return i;
    }
    std::size_t found = 0;
    std::size_t matches = 0;
    for (std::size_t i = 0; i < wallets.size(); ++i) {
        if (wallets[i].name != name_or_id) continue;
        found = i;
        ++matches;
    }
    if (matches == 0) return Err{OxaLibError::wallet_not_found(std::string(name_or_id))};
    if (matches > 1) return Err{OxaLibError::ambiguous_wallet(std::string(name_or_id), matches)};
    return found;
}

bool name_taken(const std::vector<oxa_core::EncryptedWallet>& wallets, std::string_view name) {
    return std::any_of(wallets.begin(), wallets.end(),
                       [&](const auto& wallet) { return wallet.name == name; });
}

LibResult<oxa_core::EncryptedWallet> load_wallet_by_name_or_id(std::string_view name_or_id,
                                                               const VaultPath& vault) {
    auto wallets = list_encrypted_wallets(vault);
    if (!wallets) return Err{std::move(wallets).error()};
    auto found = find_wallet(wallets.value(), name_or_id);
    if (!found) return Err{std::move(found).error()};
    return std::move(wallets.value()[found.value()]);
}

LibResult<bool> wallet_name_exists(std::string_view name, const VaultPath& vault) {
    auto wallets = list_encrypted_wallets(vault);
    if (!wallets) return Err{std::move(wallets).error()};
    return name_taken(wallets.value(), name);
}

LibStatus save_encrypted_wallet(const oxa_core::EncryptedWallet& wallet, const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    if (!is_plain_file_stem(wallet.id)) {
        return Err{OxaLibError::invalid_input("wallet id '" + wallet.id +
                                              "' cannot be used as a file name")};
    }
    const std::string text = oxa_core::serialize_encrypted_wallet(wallet);
    const fs::path target = dir.value() / (wallet.id + ".json");
    const fs::path temporary = dir.value() / temporary_name();

    // Created 0600 and exclusive: the file never exists with wider permissions.
    Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) return Err{io_error(errno)};
    const bool written = write_all(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.close();
    const int write_errno = errno;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        const int err = written ? errno : write_errno;
        ::unlink(temporary.c_str());
        return Err{io_error(err)};
    }
    sync_directory(dir.value());
    return oxa_core::OK;
}

LibStatus delete_wallet_file(std::string_view id, const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    // An id that is not a plain name never names a file of ours.
    if (!is_plain_file_stem(id)) return Err{OxaLibError::wallet_not_found(std::string(id))};
    const fs::path path = dir.value() / (std::string(id) + ".json");
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return Err{OxaLibError::wallet_not_found(std::string(id))};
    if (::unlink(path.c_str()) != 0) return Err{io_error(errno)};
    sync_directory(dir.value());
    return oxa_core::OK;
}

LibResult<VaultWriteLock> VaultWriteLock::acquire(const VaultPath& vault) {
    auto dir = wallets_dir(vault);
    if (!dir) return Err{std::move(dir).error()};
    const int fd = ::open(dir.value().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Err{io_error(errno)};
    VaultWriteLock lock(fd);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return Err{io_error(errno)};
    }
    return lock;
}

VaultWriteLock::VaultWriteLock(VaultWriteLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

VaultWriteLock::~VaultWriteLock() {
    if (m_fd >= 0) ::close(m_fd);  // closing the descriptor releases the flock
}

}  // namespace oxa_lib
