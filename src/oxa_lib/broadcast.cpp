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

std::string json_rpc_body(const char* method, std::string param) {
    return compact(
        Json{{"id", 1}, {"jsonrpc", "2.0"}, {"method", method}, {"params", Json::array({param})}});
}

std::string trim(std::string_view text) {
    constexpr std::string_view BLANKS = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(BLANKS);
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

LibResult<std::string> curl_post(std::string_view url, std::string_view body,
                                 std::string_view content_type) {
    // curl would read a leading "-" as an option and stop a URL at a NUL.
    if (url.starts_with('-')) {
        return Err{OxaLibError::invalid_input("RPC URL must not begin with '-': '" +
                                              std::string(url) + "'")};
    }
    if (url.find('\0') != std::string_view::npos) {
        return Err{OxaLibError::invalid_input("RPC URL must not contain a NUL character")};
    }
    auto run = run_process({"curl", "-fsSL", "-X", "POST", "-H",
                            "Content-Type: " + std::string(content_type), "-d", std::string(body),
                            std::string(url)});
    if (!run) {
        return Err{
            OxaLibError::broadcast_failed("failed to run curl: " + os_error_text(run.error()))};
    }
    if (!run.value().succeeded) {
        return Err{OxaLibError::broadcast_failed(oxa_core::utf8_lossy(run.value().standard_error))};
    }
    return oxa_core::utf8_lossy(run.value().standard_output);
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
    switch (family) {
        case oxa_core::ChainType::Evm: {
            auto response = curl_post_json(
                url,
                json_rpc_body("eth_sendRawTransaction", "0x" + oxa_signer::hex_encode(signed_tx)));
            if (!response) return response;
            return extract_json_field(response.value(), "result");
        }
        case oxa_core::ChainType::Solana: {
            auto response = curl_post_json(
                url, json_rpc_body("sendTransaction", oxa_signer::base64_encode(signed_tx)));
            if (!response) return response;
            return extract_json_field(response.value(), "result");
        }
        case oxa_core::ChainType::Cosmos: {
            const std::string body =
                compact(Json{{"mode", "BROADCAST_MODE_SYNC"},
                             {"tx_bytes", oxa_signer::base64_encode(signed_tx)}});
            auto response =
                curl_post_json(without_trailing_slashes(url) + "/cosmos/tx/v1beta1/txs", body);
            if (!response) return response;
            return nested_string(response.value(), "tx_response", "txhash",
                                 "no txhash in response: ");
        }
        case oxa_core::ChainType::Bitcoin: {
            auto response = curl_post(without_trailing_slashes(url) + "/tx",
                                      oxa_signer::hex_encode(signed_tx), "text/plain");
            if (!response) return response;
            std::string txid = trim(response.value());
            if (txid.empty()) {
                return Err{OxaLibError::broadcast_failed("empty response from broadcast")};
            }
            return txid;
        }
        case oxa_core::ChainType::Tron: {
            const std::string body =
                compact(Json{{"transaction", oxa_signer::hex_encode(signed_tx)}});
            auto response =
                curl_post_json(without_trailing_slashes(url) + "/wallet/broadcasthex", body);
            if (!response) return response;
            return extract_json_field(response.value(), "txid");
        }
        case oxa_core::ChainType::Ton: {
            const std::string body = compact(Json{{"boc", oxa_signer::base64_encode(signed_tx)}});
            auto response = curl_post_json(without_trailing_slashes(url) + "/sendBoc", body);
            if (!response) return response;
            return nested_string(response.value(), "result", "hash", "no hash in response: ");
        }
    }
    return Err{OxaLibError::invalid_input("unknown chain family")};
}

}  // namespace oxa_lib
