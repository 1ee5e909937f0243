#include "secp256k1_context.hpp"

#include <memory>

#include "oxa_core/internal_abort.hpp"
#include "random.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {
namespace {

constexpr std::size_t RANDOMIZE_SEED_BYTES = 32;

struct ContextDestroy {
    void operator()(secp256k1_context* ctx) const noexcept { secp256k1_context_destroy(ctx); }
};
using OwnedContext = std::unique_ptr<secp256k1_context, ContextDestroy>;

// SIGN | VERIFY keeps the context usable for both on any library version
// (since 0.2.0 every context can do both).
OwnedContext randomized_context() {
    OwnedContext ctx(secp256k1_context_create(SECP256K1_CONTEXT_SIGN | SECP256K1_CONTEXT_VERIFY));
    if (!ctx) throw oxa_core::InternalAbort("secp256k1 context creation should not fail");
    SecretArray<RANDOMIZE_SEED_BYTES> seed;
    random_fill(seed.mutable_bytes());
    if (secp256k1_context_randomize(ctx.get(), seed.data()) != 1) {
        throw oxa_core::InternalAbort("secp256k1 context randomization should not fail");
    }
    return ctx;
}

}  // namespace

const secp256k1_context* shared_secp256k1_context() {
    // A function-local static: built once, race-free, retried if it threw.
    static const OwnedContext shared = randomized_context();
    return shared.get();
}

}  // namespace oxa_signer
