// The roaming server of the tests: the relay stub (relay_stub.py, HTTPS on
// 127.0.0.1 with the test CA, answers per form Action, every body recorded,
// silent on demand) at its own path, with the roaming protocol's answers.
// Start one per server a test needs; it ends with the object, by its pid.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "RelayStub.h"

namespace agenttest {

class RoamingStub : public RelayStub {
public:
    std::string roamingUrl() const { return url("/roaming"); }

    // IMPORT gives "OK$" + the Base64 PKCS#12 + "$".
    void answerImport(const std::string& base64) { answer("IMPORT", 200, "OK$" + base64 + "$"); }
    // EXPORT gives "OK$" + the code.
    void answerExport(const std::string& code) { answer("EXPORT", 200, "OK$" + code); }
    void answerStatus() {
        answer("SET_STATUS", 200, "OK");
        answer("GET_STATUS", 200, "OK");
    }

    // The recorded bodies of one Action, in order.
    std::vector<std::string> bodies(const std::string& action) const {
        std::vector<std::string> out;
        for (const RelayRequest& r : requests())
            if (r.body.rfind("Action=" + action + "&", 0) == 0) out.push_back(r.body);
        return out;
    }

    // A form's fields, URL-decoded.
    static std::map<std::string, std::string> fields(const std::string& body) {
        std::map<std::string, std::string> out;
        size_t at = 0;
        while (at <= body.size()) {
            const size_t end = std::min(body.find('&', at), body.size());
            const std::string pair = body.substr(at, end - at);
            const size_t eq = pair.find('=');
            out[pair.substr(0, eq)] = eq == std::string::npos ? "" : decode(pair.substr(eq + 1));
            at = end + 1;
        }
        return out;
    }

    static std::string decode(const std::string& s) {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '+') {
                out += ' ';
            } else if (s[i] == '%' && i + 2 < s.size()) {
                out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += s[i];
            }
        }
        return out;
    }
};

}  // namespace agenttest
