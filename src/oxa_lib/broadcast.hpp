#pragma once
// Sending signed transactions to a chain's RPC endpoint through curl.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "error.hpp"
#include "oxa_core/chain.hpp"

namespace oxa_lib {

/// POSTs the signed transaction in the family's request format and returns
/// the transaction hash the endpoint reports. Once curl has started, a
/// failure may still mean the node took the transaction; texts that cannot
/// tell say so.
LibResult<std::string> broadcast(oxa_core::ChainType family, std::string_view url,
                                 std::span<const std::uint8_t> signed_tx);

/// Runs curl -fsSL -g -X POST with the body and content type; the response
/// body on success, curl's standard error as BroadcastFailed otherwise. curl
/// is stopped when it prints more than a few MiB or its output cannot be
/// read. When its exit status is lost (the process ignores SIGCHLD), a
/// non-empty answer without an error report from curl counts as success.
LibResult<std::string> curl_post(std::string_view url, std::string_view body,
                                 std::string_view content_type);

inline LibResult<std::string> curl_post_json(std::string_view url, std::string_view body) {
    return curl_post(url, body, "application/json");
}

/// The string member `field` of a JSON-RPC style response; an "error" member
/// of any value is reported as "RPC error: " + its compact JSON.
LibResult<std::string> extract_json_field(std::string_view response, std::string_view field);

}  // namespace oxa_lib
