#include "error.hpp"

namespace oxa_core {

std::string OxaError::display() const {
    switch (kind) {
        case Kind::WalletNotFound: return "wallet not found: " + text;
        case Kind::ChainNotSupported: return "chain not supported: " + text;
        case Kind::InvalidPassphrase: return "invalid passphrase";
        case Kind::InvalidInput: return "invalid input: " + text;
        case Kind::CaipParse: return "CAIP parse error: " + text;
    }
    return text;
}

}  // namespace oxa_core
