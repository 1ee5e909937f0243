#include "oxa_lib/ops.hpp"

#include <map>

#include "oxa_core/config.hpp"
#include "oxa_lib/broadcast.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_lib {

namespace {

using RpcTable = std::map<std::string, std::string>;

const std::string* exact_entry(const RpcTable& table, std::string_view chain_id) {
    const auto it = table.find(std::string(chain_id));
    return it == table.end() ? nullptr : &it->second;
}

const std::string* namespace_entry(const RpcTable& table, std::string_view prefix) {
    for (const auto& [key, url] : table) {
        if (key.starts_with(prefix)) return &url;
    }
    return nullptr;
}

/// The argument, else the configuration file's entry, else the default; then
/// any entry of the family's namespace, file before defaults.
LibResult<std::string> choose_endpoint(const oxa_core::Chain& chain, OptText rpc_url) {
    if (rpc_url) return std::string(*rpc_url);
    const oxa_core::Config config = oxa_core::Config::load_or_default();
    const RpcTable defaults = oxa_core::Config::default_rpc();
    const std::string_view prefix = oxa_core::chain_namespace(chain.chain_type);
    for (const std::string* url :
         {exact_entry(config.rpc, chain.chain_id), exact_entry(defaults, chain.chain_id),
          namespace_entry(config.rpc, prefix), namespace_entry(defaults, prefix)}) {
        if (url != nullptr) return *url;
    }
    return Err{OxaLibError::invalid_input("no RPC URL configured for chain '" +
                                          std::string(chain.chain_id) + "'")};
}

}  // namespace

LibResult<std::string> sign_encode_and_broadcast(std::span<const std::uint8_t> private_key,
                                                 std::string_view chain_text,
                                                 std::span<const std::uint8_t> tx,
                                                 OptText rpc_url) {
    auto chain = oxa_core::parse_chain(chain_text);
    if (!chain) return Err{OxaLibError::invalid_input(chain.error())};
    const auto signer = oxa_signer::signer_for_chain(chain.value().chain_type);
    auto signable = signer->extract_signable_bytes(tx);
    if (!signable) return Err{OxaLibError(signable.error())};
    auto output = signer->sign_transaction(private_key, signable.value());
    if (!output) return Err{OxaLibError(output.error())};
    auto signed_tx = signer->encode_signed_transaction(tx, output.value());
    if (!signed_tx) return Err{OxaLibError(signed_tx.error())};
    auto url = choose_endpoint(chain.value(), rpc_url);
    if (!url) return Err{std::move(url).error()};
    return broadcast(chain.value().chain_type, url.value(), signed_tx.value());
}

LibResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain,
                                     std::string_view tx_hex, OptText passphrase, OptIndex index,
                                     OptText rpc_url, const VaultPath& vault) {
    auto parsed = oxa_core::parse_chain(chain);
    if (!parsed) return Err{OxaLibError::invalid_input(parsed.error())};
    auto tx = decode_transaction_hex(tx_hex);
    if (!tx) return Err{std::move(tx).error()};
    auto key = decrypt_signing_key(wallet, parsed.value().chain_type, passphrase.value_or(""),
                                   index, vault);
    if (!key) return Err{std::move(key).error()};
    return sign_encode_and_broadcast(key.value().bytes(), chain, tx.value(), rpc_url);
}

}  // namespace oxa_lib
