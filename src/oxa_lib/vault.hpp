#pragma once
// The vault: a directory whose "wallets" subdirectory holds one JSON file per
// wallet, named by the wallet's id. The only code that touches wallet files.
//
// Writes are crash-safe (temporary file, fsync, rename, fsync of the
// directory) and serialized between processes by an exclusive flock on the
// wallets directory; readers take no lock and always see whole files.
//
// The default vault (no path given) is used only if its directories belong
// to the effective user: a directory another user made, in the shared /tmp
// above all, could be emptied or filled by them.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "oxa_core/wallet_file.hpp"
#include "types.hpp"

namespace oxa_lib {

using VaultPath = std::optional<std::filesystem::path>;

/// The given path as it is, or ".oxa" under the home directory.
std::filesystem::path resolve_vault_path(const VaultPath& vault);

/// The wallets directory, each missing directory on the way created with mode
/// 0700; set_dir_permissions applied to it and to the vault directory on every
/// call. A default vault or wallets directory that default_dir_refusal
/// refuses is an Io error naming it, and nothing is created inside it.
LibResult<std::filesystem::path> wallets_dir(const VaultPath& vault);

/// Sets mode 0700 on a directory of the effective user without the sticky
/// bit (a failure only warns: "warning: failed to set permissions on ...")
/// and returns true. Any other directory, someone else's or a shared one such
/// as /tmp, keeps its mode and gets check_vault_permissions' warning; false.
bool set_dir_permissions(const std::filesystem::path& dir);

/// Writes "warning: <dir> has permissions 0NNN, expected 0700" when they differ.
void check_vault_permissions(const std::filesystem::path& dir);

// Every reading function below reads the vault in one pass and keeps only
// what it returns. Damaged ".json" files are skipped with a warning.

/// Every readable wallet, oldest created_at first (stable: equal times keep
/// directory order).
LibResult<std::vector<oxa_core::EncryptedWallet>> list_encrypted_wallets(const VaultPath& vault);

/// The public summaries of the same listing, in the same order.
LibResult<std::vector<WalletInfo>> list_wallet_infos(const VaultPath& vault);

/// A wallet as found in the vault, with the file it was read from: a copied
/// or hand-renamed file need not be called "<id>.json", and changing the
/// wallet must change that file, not another one carrying the same id.
struct StoredWallet {
    oxa_core::EncryptedWallet wallet;
    std::string file_name;  // an entry of the wallets directory
};

/// An exact id match wins (the oldest, should several files carry the id);
/// otherwise exactly one wallet of that name.
LibResult<StoredWallet> load_wallet_by_name_or_id(std::string_view name_or_id,
                                                  const VaultPath& vault);

LibResult<bool> wallet_name_exists(std::string_view name, const VaultPath& vault);

struct WalletAndNameCheck {
    StoredWallet found;
    bool name_taken;  // some wallet, the found one included, is called `name`
};

/// load_wallet_by_name_or_id and wallet_name_exists(name) in the same pass.
LibResult<WalletAndNameCheck> load_wallet_checking_name(std::string_view name_or_id,
                                                        std::string_view name,
                                                        const VaultPath& vault);

/// Replaces (or creates) the file "<id>.json" atomically, with mode 0600
/// from the start whatever the umask. An id that is not a plain file-name
/// stem is refused. A failed sync of the directory after the rename is an
/// Io error: the file is in place but may not survive a crash.
LibStatus save_encrypted_wallet(const oxa_core::EncryptedWallet& wallet, const VaultPath& vault);

/// Replaces the file the wallet was read from, as save_encrypted_wallet does.
LibStatus replace_stored_wallet(const StoredWallet& stored, const VaultPath& vault);

/// Removes the file the wallet was read from; WalletNotFound with the id if
/// it is gone or the id is not a plain file-name stem. A failed sync of the
/// directory afterwards is an Io error.
LibStatus delete_wallet_file(const StoredWallet& stored, const VaultPath& vault);

/// The exclusive writer lock of one vault, held for the lifetime of the
/// object. Writers take it before their name check and keep it until their
/// file is saved or deleted. Taking it removes the temporary files that
/// writers killed mid-save left behind (each a whole sealed wallet), once
/// they are a few minutes old. Where the file system cannot lock (network
/// file systems answer EBADF, ENOLCK or EOPNOTSUPP) the process warns once
/// and writes without the lock.
class VaultWriteLock {
public:
    static LibResult<VaultWriteLock> acquire(const VaultPath& vault);
    VaultWriteLock(VaultWriteLock&& other) noexcept;
    VaultWriteLock(const VaultWriteLock&) = delete;
    VaultWriteLock& operator=(const VaultWriteLock&) = delete;
    VaultWriteLock& operator=(VaultWriteLock&&) = delete;
    ~VaultWriteLock();

private:
    explicit VaultWriteLock(int fd) noexcept : m_fd(fd) {}
    int m_fd;
};

}  // namespace oxa_lib
