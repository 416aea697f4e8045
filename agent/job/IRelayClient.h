// Every outbound HTTPS exchange of the job side: the relay's getFunc and
// setResult, image downloads, and plain form posts (roaming server,
// certificate requests). One implementation over libcurl (RelayClient.cpp).
#pragma once

#include <cstddef>
#include <string>

// Caps on what an exchange takes in; more fails the exchange.
inline constexpr size_t kRelayReplyCap = 1u << 20;  // 1 MiB
inline constexpr size_t kImageReplyCap = 2u << 20;  // 2 MiB

struct HttpExchange {
    // In.
    std::string url;     // https only
    std::string cookie;  // sent as the whole Cookie value; empty for none
    std::string form;    // the POST body (form-encoded); unused for a GET
    size_t cap = kRelayReplyCap;
    // Out.
    long status = 0;
    std::string body;
    std::string error;  // why the exchange failed
};

enum class Transfer {
    Ok,
    SetupFailed,     // refused before any connection (bad url or cookie, no client)
    TransferFailed,  // connection, TLS, time-out, cap
};

class IRelayClient {
public:
    virtual ~IRelayClient() = default;
    virtual Transfer Post(HttpExchange& exchange) = 0;
    virtual Transfer Get(HttpExchange& exchange) = 0;
};

// The libcurl client: TLS 1.2 or later with peer and host verified against
// the system's CA bundle (or the PEM file QUILLETEX_RELAY_CAFILE names), no
// redirects, 10 s to connect and 30 s for the whole exchange.
IRelayClient& DefaultRelayClient();

// True when the url is https and holds no blank or control character, and
// the cookie holds no CR, LF or NUL.
bool RelayTargetIsSafe(const std::string& url, const std::string& cookie);
