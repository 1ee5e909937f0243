#include "broadcast.hpp"

#include <nlohmann/json.hpp>

#include "os_error.hpp"
#include "oxa_core/json_reader.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/encoding/base64.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "process.hpp"

namespace oxa_lib {

namespace {

using Json = nlohmann::json;

/// Parses a response, with the JSON reader's message on failure.
LibResult<Json> parse_response(std::string_view response) {
    auto raw = oxa_core::RawJson::from_text(response);
    if (!raw) return Err{OxaLibError::json(raw.error().display())};
    return raw.value().parse();
}

std::string compact(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

/// `response[outer][inner]` when it is a string.
LibResult<std::string> nested_string(std::string_view response, const char* outer,
                                     const char* inner, const char* missing_text) {
    auto value = parse_response(response);
    if (!value) return Err{std::move(value).error()};
    const Json& root = value.value();
    if (root.is_object() && root.contains(outer) && root[outer].is_object() &&
        root[outer].contains(inner) && root[outer][inner].is_string()) {
        return root[outer][inner].get<std::string>();
    }
    return Err{OxaLibError::broadcast_failed(missing_text + std::string(response))};
}

std::string without_trailing_slashes(std::string_view url) {
    while (url.ends_with('/')) url.remove_suffix(1);
    return std::string(url);
}

std::string json_rpc_body(const char* method, Json params) {
    return compact(
        Json{{"id", 1}, {"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

std::string trim(std::string_view text) {
    constexpr std::string_view BLANKS = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(BLANKS);
    return std::string(text.substr(first, last - first + 1));
}

// Plenty for any node's answer; an endpoint that sends more is broken or hostile.
constexpr std::size_t CURL_OUTPUT_LIMIT_BYTES = std::size_t{8} << 20;
constexpr const char* MAYBE_SENT =
    "the transaction may have been sent: check the chain before sending it again";

/// Runs curl once for a POST and captures what it prints. Fails when the URL
/// would be misread, curl cannot start, prints too much or cannot be read.
LibResult<ProcessOutput> run_curl(std::string_view url, std::string_view body,
                                  std::string_view content_type) {
    // curl would read a leading "-" as an option and stop a URL at a NUL.
    if (url.starts_with('-')) {
        return Err{OxaLibError::invalid_input("RPC URL must not begin with '-': '" +
                                              std::string(url) + "'")};
    }
    if (url.find('\0') != std::string_view::npos) {
        return Err{OxaLibError::invalid_input("RPC URL must not contain a NUL character")};
    }
    // -g: braces and brackets in the URL are plain characters, not a list of
    // URLs that would each get the transaction.
    auto run = run_process(
        {"curl", "-fsSL", "-g", "-X", "POST", "-H", "Content-Type: " + std::string(content_type),
         "-d", std::string(body), std::string(url)},
        CURL_OUTPUT_LIMIT_BYTES);
    if (run) return std::move(run).value();
    const ProcessFailure failure = run.error();
    if (failure.kind == ProcessFailure::Kind::NotStarted) {
        return Err{OxaLibError::broadcast_failed("failed to run curl: " +
                                                 os_error_text(failure.os_error))};
    }
    if (failure.kind == ProcessFailure::Kind::OutputTooLarge) {
        return Err{OxaLibError::broadcast_failed("response too large: curl printed more than " +
                                                 std::to_string(CURL_OUTPUT_LIMIT_BYTES >> 20) +
                                                 " MiB and was stopped; " + MAYBE_SENT)};
    }
    return Err{OxaLibError::broadcast_failed(
        "reading curl's output failed: " + os_error_text(failure.os_error) +
        "; curl was stopped and " + MAYBE_SENT)};
}

OxaLibError curl_failed(const ProcessOutput& run) {
    return OxaLibError::broadcast_failed(oxa_core::utf8_lossy(run.standard_error));
}

/// curl ended but its exit status is lost, and what it printed is no answer.
OxaLibError exit_status_unknown(const ProcessOutput& run) {
    const std::string why =
        !run.standard_error.empty()
            ? "curl reported: " + trim(oxa_core::utf8_lossy(run.standard_error))
        : run.standard_output.empty()
            ? "the answer was empty"
            : "the answer holds no transaction hash: " + oxa_core::utf8_lossy(run.standard_output);
    return OxaLibError::broadcast_failed(
        "the exit status of curl is unknown (this process ignores SIGCHLD, or something else "
        "reaped curl) and " +
        why + "; " + MAYBE_SENT);
}

using HashReader = LibResult<std::string> (*)(std::string_view response);

LibResult<std::string> result_member(std::string_view response) {
    return extract_json_field(response, "result");
}

LibResult<std::string> txid_member(std::string_view response) {
    return extract_json_field(response, "txid");
}

LibResult<std::string> cosmos_txhash(std::string_view response) {
    return nested_string(response, "tx_response", "txhash", "no txhash in response: ");
}

LibResult<std::string> ton_hash(std::string_view response) {
    return nested_string(response, "result", "hash", "no hash in response: ");
}

LibResult<std::string> trimmed_text(std::string_view response) {
    std::string txid = trim(response);
    if (txid.empty()) return Err{OxaLibError::broadcast_failed("empty response from broadcast")};
    return txid;
}

/// POSTs the request and takes the hash from the answer. When curl's exit
/// status is lost, a hash in its answer still shows that the node took it.
LibResult<std::string> post_for_hash(std::string_view url, std::string_view body,
                                     std::string_view content_type, HashReader read_hash) {
    auto run = run_curl(url, body, content_type);
    if (!run) return Err{std::move(run).error()};
    const ProcessOutput& output = run.value();
    if (output.status == ExitStatus::Failed) return Err{curl_failed(output)};
    auto hash = read_hash(oxa_core::utf8_lossy(output.standard_output));
    if (!hash && output.status == ExitStatus::Unknown) return Err{exit_status_unknown(output)};
    return hash;
}

}  // namespace

LibResult<std::string> curl_post(std::string_view url, std::string_view body,
                                 std::string_view content_type) {
    auto run = run_curl(url, body, content_type);
    if (!run) return Err{std::move(run).error()};
    const ProcessOutput& output = run.value();
    switch (output.status) {
        case ExitStatus::Succeeded: break;
        case ExitStatus::Failed: return Err{curl_failed(output)};
        case ExitStatus::Unknown:
            // curl -S reports every failure on standard error: an answer
            // without such a report came whole.
            if (!output.standard_error.empty() || output.standard_output.empty()) {
                return Err{exit_status_unknown(output)};
            }
            break;
    }
    return oxa_core::utf8_lossy(output.standard_output);
}

LibResult<std::string> extract_json_field(std::string_view response, std::string_view field) {
    auto value = parse_response(response);
    if (!value) return Err{std::move(value).error()};
    const Json& root = value.value();
    if (root.is_object()) {
        if (const auto error = root.find("error"); error != root.end()) {
            return Err{OxaLibError::broadcast_failed("RPC error: " + compact(*error))};
        }
        if (const auto member = root.find(field); member != root.end() && member->is_string()) {
            return member->get<std::string>();
        }
    }
    return Err{OxaLibError::broadcast_failed("no '" + std::string(field) +
                                             "' in response: " + std::string(response))};
}

LibResult<std::string> broadcast(oxa_core::ChainType family, std::string_view url,
                                 std::span<const std::uint8_t> signed_tx) {
    constexpr std::string_view JSON_TYPE = "application/json";
    switch (family) {
        case oxa_core::ChainType::Evm:
            return post_for_hash(
                url,
                json_rpc_body("eth_sendRawTransaction",
                              Json::array({"0x" + oxa_signer::hex_encode(signed_tx)})),
                JSON_TYPE, result_member);
        case oxa_core::ChainType::Solana:
            // Validator RPC servers read a transaction without this option as Base58.
            return post_for_hash(
                url,
                json_rpc_body("sendTransaction",
                              Json::array({oxa_signer::base64_encode(signed_tx),
                                           Json::object({{"encoding", "base64"}})})),
                JSON_TYPE, result_member);
        case oxa_core::ChainType::Cosmos:
            return post_for_hash(without_trailing_slashes(url) + "/cosmos/tx/v1beta1/txs",
                                 compact(Json{{"mode", "BROADCAST_MODE_SYNC"},
                                              {"tx_bytes", oxa_signer::base64_encode(signed_tx)}}),
                                 JSON_TYPE, cosmos_txhash);
        case oxa_core::ChainType::Bitcoin:
            return post_for_hash(without_trailing_slashes(url) + "/tx",
                                 oxa_signer::hex_encode(signed_tx), "text/plain", trimmed_text);
        case oxa_core::ChainType::Tron:
            return post_for_hash(without_trailing_slashes(url) + "/wallet/broadcasthex",
                                 compact(Json{{"transaction", oxa_signer::hex_encode(signed_tx)}}),
                                 JSON_TYPE, txid_member);
        case oxa_core::ChainType::Ton:
            return post_for_hash(without_trailing_slashes(url) + "/sendBoc",
                                 compact(Json{{"boc", oxa_signer::base64_encode(signed_tx)}}),
                                 JSON_TYPE, ton_hash);
    }
    return Err{OxaLibError::invalid_input("unknown chain family")};
}

}  // namespace oxa_lib
