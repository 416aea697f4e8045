// One bare libcurl POST to the stub relay: the network floor the job
// benchmarks compare with.
#pragma once

#include <curl/curl.h>

#include <string>

#include "RelayStub.h"

namespace bench {

// Counts the answer's bytes into got.
inline CURLcode relayPost(const std::string& url, const std::string& form, size_t& got) {
    auto sink = [](char*, size_t size, size_t count, void* user) {
        *static_cast<size_t*>(user) += size * count;
        return size * count;
    };
    CURL* h = curl_easy_init();
    got = 0;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CAINFO, agenttest::RelayStub::caFile().c_str());
    curl_easy_setopt(h, CURLOPT_COOKIE, "JSESSIONID=abc");
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, +sink);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &got);
    const CURLcode rc = curl_easy_perform(h);
    curl_easy_cleanup(h);
    return rc;
}

}  // namespace bench
