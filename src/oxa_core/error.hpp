#pragma once
// The core error of the wallet model.

#include <string>

namespace oxa_core {

struct OxaError {
    enum class Kind {
        WalletNotFound,
        ChainNotSupported,
        InvalidPassphrase,
        InvalidInput,
        CaipParse
    };
    Kind kind;
    std::string text;  // empty for InvalidPassphrase

    std::string display() const;
};

}  // namespace oxa_core
