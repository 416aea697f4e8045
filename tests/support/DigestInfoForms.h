// Byte forms of one SHA-256 DigestInfo for the RSA verifiers' tests: its DER
// and forms a lenient DigestInfo reader would take for the same value, each
// signed raw (PKCS#1 v1.5 block type 1 around exactly those bytes) by openssl
// pkeyutl. Only the DER form may verify.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace zqtest {

struct DigestInfoForm {
    const char* name;
    std::string bytes;
};

// digest: the 32 bytes of a SHA-256 digest. The first form is the DER one.
inline std::vector<DigestInfoForm> sha256DigestInfoForms(const std::string& digest) {
    const auto hex = [](const char* h) {
        std::string out;
        for (; h[0] && h[1]; h += 2) out += static_cast<char>(std::stoi(std::string(h, 2), nullptr, 16));
        return out;
    };
    const std::string oid = hex("0609608648016503040201");
    const std::string der = hex("3031300d") + oid + hex("05000420") + digest;
    return {
        {"DER", der},
        {"wrapper SEQUENCE", hex("3033") + der},
        {"long-form outer length", hex("308131300d") + oid + hex("05000420") + digest},
        {"long-form algorithm length", hex("303230810d") + oid + hex("05000420") + digest},
        {"long-form digest length", hex("3032300d") + oid + hex("0500048120") + digest},
        {"long-form NULL length", hex("3032300e") + oid + hex("0581000420") + digest},
        {"no NULL", hex("302f300b") + oid + hex("0420") + digest},
        {"trailing bytes", der + hex("0000")},
        {"indefinite outer length", hex("3080300d") + oid + hex("05000420") + digest + hex("0000")},
    };
}

// The RSA private-key operation of openssl pkeyutl on block with PKCS#1 v1.5
// signature padding and no DigestInfo of its own; empty when it fails.
inline std::string signRawBlock(const std::string& keyPath, const std::string& block) {
    const RunResult r =
        run({"openssl", "pkeyutl", "-sign", "-inkey", keyPath, "-pkeyopt", "rsa_padding_mode:pkcs1"}, block);
    return r.status == 0 ? r.output : std::string();
}

// What openssl pkeyutl -verify says of sig over a SHA-256 digest under the
// private key at keyPath (its public half).
inline bool opensslVerifiesSha256(const std::string& keyPath, const std::string& digest, const std::string& sig) {
    TempDir dir("diverify");
    writeFile(dir / "digest", digest);
    writeFile(dir / "sig", sig);
    return run({"openssl", "pkeyutl", "-verify", "-inkey", keyPath, "-in", dir / "digest", "-sigfile", dir / "sig",
                "-pkeyopt", "digest:sha256"})
               .status == 0;
}

}  // namespace zqtest
