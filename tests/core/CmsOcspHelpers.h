// Helpers of the MAC, CMS and OCSP tests: the files of
// make_cms_ocsp_fixtures.sh, signer credentials, openssl as a peer, and the
// whole OCSP responder cycle (shared with core_cms_ocsp_helper, which runs it
// under other time zones).
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <zunCore/cms.h>
#include <zunCore/keys.h>
#include <zunCore/ocsp.h>
#include <zunCore/util.h>

#include "TestSupport.h"

namespace cotest {

// The fixtures are made once per build tree under a lock (the CMS and OCSP
// programs run at once), again whenever the script changes.
inline const std::string& dir() {
    static const std::string d = [] {
        const std::string script = zqtest::sourceDir() + "/tests/core/make_cms_ocsp_fixtures.sh";
        const std::string stamp = std::to_string(std::hash<std::string>{}(zqtest::readFile(script)));
        const std::string base = zqtest::binaryDir() + "/tests/core/cms-ocsp-fixtures";
        zqtest::makeDirs(zqtest::binaryDir() + "/tests/core");
        const int fd = ::open((base + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) ::flock(fd, LOCK_EX);
        if (!zqtest::fileExists(base + "/stamp") || zqtest::readFile(base + "/stamp") != stamp) {
            zqtest::run({"rm", "-rf", base});
            zqtest::makeDirs(base);
            if (zqtest::run({script, base}).status == 0) zqtest::writeFile(base + "/stamp", stamp);
        }
        if (fd >= 0) ::close(fd);
        return base;
    }();
    return d;
}
inline std::string path(const std::string& name) { return dir() + "/" + name; }
inline std::string file(const std::string& name) { return zqtest::readFile(path(name)); }

inline int n(const std::string& s) { return static_cast<int>(s.size()); }
inline const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
const unsigned char* u(std::string&&) = delete;
inline unsigned rc(int result) { return static_cast<unsigned>(result); }

// openssl without the host's configuration; the legacy provider where asked.
inline zqtest::RunResult openssl(std::vector<std::string> args, const std::string& input = {}, bool legacy = false,
                                 std::vector<std::string> env = {}) {
    args.insert(args.begin(), "openssl");
    if (legacy) args.insert(args.end(), {"-provider", "legacy", "-provider", "default"});
    env.push_back("OPENSSL_CONF=/dev/null");
    return zqtest::run(args, input, env);
}

// The same with its standard error after its output (openssl ocsp writes
// its verdict there).
inline zqtest::RunResult opensslWithErrors(std::vector<std::string> args) {
    args.insert(args.begin(), {"sh", "-c", "exec openssl \"$@\" 2>&1", "sh"});
    return zqtest::run(args, {}, {"OPENSSL_CONF=/dev/null"});
}

// A file in the program's temporary folder holding bytes; its path.
inline std::string temp(const std::string& name, const std::string& bytes) {
    static zqtest::TempDir t("cmsocsp");
    const std::string p = t / name;
    zqtest::writeFile(p, bytes);
    return p;
}

inline std::string hex(const std::string& s) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}
inline std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}
inline std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A buffer the library handed out (VCL_Free), as bytes.
struct Out {
    char* p = nullptr;
    int len = 0;
    Out() = default;
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;
    ~Out() { VCL_Free(p, len); }
    char** ptr() {
        VCL_Free(p, len);
        p = nullptr;
        len = 0;
        return &p;
    }
    unsigned char** uptr() { return reinterpret_cast<unsigned char**>(ptr()); }
    std::string str() const { return p ? std::string(p, static_cast<size_t>(len)) : std::string(); }
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(p); }
};

// Credentials held for a test.
struct Signer {
    PKISTRINFO* p = VCL_PK1_New_PKISTRINFO();
    Signer(const std::string& cert, const std::string& key, const char* pw = "pw") {
        VCL_PK1_Set_PKISTRINFO(p, cert.data(), n(cert), key.data(), n(key), pw);
    }
    Signer(const Signer&) = delete;
    Signer& operator=(const Signer&) = delete;
    ~Signer() { VCL_PK1_Free_PKISTRINFO(p); }
    operator const PKISTRINFO*() const { return p; }
};

// ---- The OCSP responder cycle -------------------------------------------------

struct CycleEntry {
    std::string serial, keyHash;
};
struct Cycle {
    int rc = -1;
    std::string step;      // the call that failed
    std::string response;  // DER
    std::vector<CycleEntry> entries;
};
// Revoked serials (as VCL_Get_single_requet_info writes them): the local
// revocation time text and the reason code.
using RevokedList = std::map<std::string, std::pair<std::string, int>>;

// Parsing, init, one update per single request (revoked or good), the key
// made a PrivateKeyInfo, final signing.
inline Cycle respond(const std::string& request, const std::string& responderDer, const std::string& responderKey,
                     const RevokedList& revoked, int digestId = 0x5000300) {
    Cycle c;
    auto fail = [&](int rc, const char* step) {
        c.rc = rc;
        c.step = step;
        return c;
    };
    Out signer, nonce, rd;
    int count = 0;
    if (int r = VCL_Parsing_OCSP_request(request.data(), n(request), 1, signer.uptr(), &signer.len, nonce.uptr(),
                                         &nonce.len, &count);
        r != 0)
        return fail(r, "parse");
    if (int r = VCL_Make_OCSP_response_init(responderDer.data(), n(responderDer), nonce.bytes(), nonce.len, rd.uptr(),
                                            &rd.len);
        r != 0)
        return fail(r, "init");
    for (int i = 0; i < count; ++i) {
        Out single, serial, keyHash, info, next;
        if (int r = VCL_Get_OCSP_request_from_list(request.data(), n(request), i, single.uptr(), &single.len); r != 0)
            return fail(r, "list");
        if (int r = VCL_Get_single_requet_info(single.p, single.len, serial.ptr(), keyHash.ptr()); r != 0)
            return fail(r, "single");
        c.entries.push_back({serial.p, keyHash.p});
        int status = 0;
        if (auto it = revoked.find(serial.p); it != revoked.end()) {
            if (int r = VCL_Make_revoke_info(it->second.first.c_str(), it->second.second, info.uptr(), &info.len);
                r != 0)
                return fail(r, "revoke");
            status = 1;
        }
        if (int r = VCL_Make_OCSP_response_update(rd.p, rd.len, single.p, single.len, info.p, info.len, status,
                                                  next.uptr(), &next.len);
            r != 0)
            return fail(r, "update");
        std::swap(rd.p, next.p);
        std::swap(rd.len, next.len);
    }
    unsigned char* key = nullptr;
    int keyLen = 0;
    if (int r = VCL_Priv_to_key_unit(responderKey.data(), n(responderKey), "pw", &key, &keyLen); r != 0)
        return fail(r, "key");
    Out resp;
    const int r = VCL_Make_OCSP_response_final(rd.p, rd.len, responderDer.data(), n(responderDer), key, keyLen,
                                               digestId, 0, resp.uptr(), &resp.len);
    VSC_Free(key, __FILE__, __LINE__);
    if (r != 0) return fail(r, "final");
    c.rc = 0;
    c.response = resp.str();
    return c;
}

}  // namespace cotest
