// The job side's one HTTP client. libcurl stays inside this file; each
// exchange has its own easy handle, so no connection, cookie or TLS session
// outlives it.
#include <curl/curl.h>

#include <strings.h>

#include <cstdlib>
#include <memory>

#include "job/IRelayClient.h"

namespace {

// Connecting, and the whole exchange: a silent server ends the exchange
// instead of holding the job (and the page's getResult) forever.
constexpr long kConnectSeconds = 10;
constexpr long kExchangeSeconds = 30;

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

struct Sink {
    std::string* body;
    size_t cap;
    bool overCap = false;
};

// Appends a block unless it would pass the cap; 0 makes libcurl end the
// transfer with a write error, which fails the exchange.
size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    if (n > sink->cap - sink->body->size()) {
        sink->overCap = true;
        return 0;
    }
    try {
        sink->body->append(data, n);
    } catch (...) {
        return 0;
    }
    return n;
}

class CurlRelayClient final : public IRelayClient {
public:
    Transfer Post(HttpExchange& x) override { return exchange(x, true); }
    Transfer Get(HttpExchange& x) override { return exchange(x, false); }

private:
    static Transfer exchange(HttpExchange& x, bool post) {
        x.status = 0;
        x.body.clear();
        x.error.clear();
        if (!RelayTargetIsSafe(x.url, x.cookie)) {
            x.error = "refused url or cookie";
            return Transfer::SetupFailed;
        }
        Easy easy(curl_easy_init());
        if (!easy) {
            x.error = "curl_easy_init failed";
            return Transfer::SetupFailed;
        }
        CURL* h = easy.get();
        Sink sink{&x.body, x.cap};
        char errorText[CURL_ERROR_SIZE] = {};
        bool ok = curl_easy_setopt(h, CURLOPT_URL, x.url.c_str()) == CURLE_OK;
        // https only, also for redirects, and none are followed.
        ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)) == CURLE_OK;
        // Tests point this at their own CA; users have the system bundle.
        if (const char* caFile = std::getenv("QUILLETEX_RELAY_CAFILE"); caFile && *caFile)
            ok = ok && curl_easy_setopt(h, CURLOPT_CAINFO, caFile) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectSeconds) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_TIMEOUT, kExchangeSeconds) == CURLE_OK;
        // The job runs on the daemon's main thread beside the server thread:
        // no signals for name-lookup time-outs.
        ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(x.cap)) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK;
        if (!x.cookie.empty()) ok = ok && curl_easy_setopt(h, CURLOPT_COOKIE, x.cookie.c_str()) == CURLE_OK;
        if (post) {
            ok = ok &&
                 curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(x.form.size())) == CURLE_OK;
            ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDS, x.form.c_str()) == CURLE_OK;
        }
        if (!ok) {
            x.error = "client set-up failed";
            return Transfer::SetupFailed;
        }
        const CURLcode rc = curl_easy_perform(h);
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &x.status);
        if (rc != CURLE_OK) {
            x.error = sink.overCap ? "reply over its cap" : (errorText[0] ? errorText : curl_easy_strerror(rc));
            x.body.clear();
            return Transfer::TransferFailed;
        }
        return Transfer::Ok;
    }
};

}  // namespace

bool RelayTargetIsSafe(const std::string& url, const std::string& cookie) {
    static const char kScheme[] = "https://";
    if (url.size() <= 8 || strncasecmp(url.c_str(), kScheme, 8) != 0) return false;
    for (const char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    for (const char c : cookie)
        if (c == '\r' || c == '\n' || c == '\0') return false;
    return true;
}

IRelayClient& DefaultRelayClient() {
    static CurlRelayClient client;
    return client;
}
