// Helpers of the key tests: the fixture files of make_key_fixtures.sh,
// openssl and python as peers, owners of what the library hands out.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <zunCore/keys.h>
#include <zunCore/pkcs8.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>

#include "CoreHelpers.h"

namespace keytest {

using coretest::Buf;

// The fixtures are made once per build tree (every test program of these
// suites runs in its own process, and RSA keys take a while to make): under
// a lock, again whenever the scripts change.
inline const std::string& dir() {
    static const std::string d = [] {
        const std::string src = zqtest::sourceDir() + "/tests/core/";
        const std::string stamp = std::to_string(std::hash<std::string>{}(
            zqtest::readFile(src + "make_key_fixtures.sh") + zqtest::readFile(src + "kisa_key.py")));
        const std::string base = zqtest::binaryDir() + "/tests/core/key-fixtures";
        zqtest::makeDirs(zqtest::binaryDir() + "/tests/core");
        const int fd = ::open((base + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) ::flock(fd, LOCK_EX);
        if (!zqtest::fileExists(base + "/stamp") || zqtest::readFile(base + "/stamp") != stamp) {
            zqtest::run({"rm", "-rf", base});
            zqtest::makeDirs(base);
            if (zqtest::run({src + "make_key_fixtures.sh", base}).status == 0)
                zqtest::writeFile(base + "/stamp", stamp);
        }
        if (fd >= 0) ::close(fd);
        return base;
    }();
    return d;
}
inline std::string path(const std::string& name) { return dir() + "/" + name; }
inline std::string file(const std::string& name) { return zqtest::readFile(path(name)); }

inline const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
const unsigned char* u(std::string&&) = delete;
inline int n(const std::string& s) { return static_cast<int>(s.size()); }

// openssl with the legacy provider where asked; the environment keeps the
// host's configuration out.
inline zqtest::RunResult openssl(std::vector<std::string> args, const std::string& input = {}, bool legacy = false) {
    args.insert(args.begin(), "openssl");
    if (legacy) args.insert(args.end(), {"-provider", "legacy", "-provider", "default"});
    return zqtest::run(args, input, {"OPENSSL_CONF=/dev/null"});
}

// A temporary file holding bytes, for peers that read files.
inline std::string temp(const std::string& name, const std::string& bytes) {
    static zqtest::TempDir t("keytmp");
    const std::string p = t / name;
    zqtest::writeFile(p, bytes);
    return p;
}

inline std::string hex(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline std::string trimmed(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
}

// A key the library opened, freed at the end of the scope.
struct Key {
    ASYMMETRIC_KEY* p = nullptr;
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() { free_ASYMMETRIC_KEY(p); }
    ASYMMETRIC_KEY** out() {
        free_ASYMMETRIC_KEY(p);
        p = nullptr;
        return &p;
    }
    RSA_UNIT* rsa() const { return p && p->kind == ASYMMETRIC_KEY_RSA ? static_cast<RSA_UNIT*>(p->key) : nullptr; }
};

// The modulus of a key as lower-case hex without leading zeros.
inline std::string modulusHex(const RSA_UNIT* rsa) {
    if (!rsa || !rsa->n) return {};
    char* h = VSC_BIGINT_To_HEX(rsa->n);
    std::string out = h ? h : "";
    VSC_Free(h, __FILE__, __LINE__);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (out.size() > 1 && out[0] == '0') out.erase(0, 1);
    return out;
}

// openssl's modulus of a key or certificate file ("Modulus=..." in hex).
inline std::string opensslModulus(const std::vector<std::string>& args, const std::string& input = {}) {
    auto r = openssl(args, input);
    const auto at = r.output.find("Modulus=");
    if (at == std::string::npos) return {};
    std::string m = r.output.substr(at + 8);
    m = m.substr(0, m.find('\n'));
    for (char& c : m) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (m.size() > 1 && m[0] == '0') m.erase(0, 1);
    return m;
}

// Releases an array of credentials the library handed out.
struct Records {
    PKISTRINFO* p = nullptr;
    int count = 0;
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records() {
        VCL_PK1_Free_PKISTRINFOS(p, count);
        std::free(p);
    }
    std::string cert(int i) const { return std::string(reinterpret_cast<const char*>(p[i].cert), p[i].cert_len); }
    std::string key(int i) const { return std::string(reinterpret_cast<const char*>(p[i].key), p[i].key_len); }
};

struct KcdsaFiles {
    std::string key;   // encrypted PKCS#8 DER (row 780)
    std::string cert;  // a certificate over its public key
};

// The 1024-bit example key of the KCDSA standard as a key file
// (pbeWithSHA1AndSEED-CBC under pw), and the certificate cert.der with its
// public key replaced by it.
inline KcdsaFiles kcdsaFiles(const char* pw) {
    const auto r =
        zqtest::run({zqtest::kPython, "-c",
                     "import json,sys\n"
                     "c=[c for c in json.load(open(sys.argv[1]))['cases'] if c['sizes'].startswith('A1024')][0]\n"
                     "print(c['P'],c['Q'],c['G'],c['X'])",
                     zqtest::sourceDir() + "/tests/platform/zunCrypto/vectors/kcdsa-ttak.json"});
    std::istringstream in(r.output);
    std::string p, q, g, x;
    in >> p >> q >> g >> x;
    const auto info =
        openssl({"asn1parse", "-genconf", "-", "-out", "/dev/stdout", "-noout"},
                "asn1 = SEQUENCE:pki\n[pki]\nv = INTEGER:0\nalg = SEQUENCE:alg\nkey = OCTWRAP,INTEGER:0x" + x +
                    "\n[alg]\noid = OID:1.2.410.200004.1.21\nd = SEQUENCE:d\n[d]\np = INTEGER:0x" + p +
                    "\nq = INTEGER:0x" + q + "\ng = INTEGER:0x" + g + "\n");
    KcdsaFiles out;
    ASN1_UNIT* infoNode = decodeToDERSequence(u(info.output), n(info.output));
    P8_PRIV_KEY_INFO* plain = nullptr;
    EXPECT_EQ(Seq_to_P8_PRIV_KEY_INFO(infoNode, &plain), 0);
    PKCS8* enc = nullptr;
    EXPECT_EQ(encrypt_PKCS5(plain, &enc, pw, static_cast<int>(std::strlen(pw)), nullptr, 0, 2048, VCL_PBE_SEED_CBC), 0);
    ASN1_UNIT* encNode = nullptr;
    EXPECT_EQ(P8_ENCRYPTED_KEY_to_Seq(enc, &encNode), 0);
    unsigned char* encBytes = nullptr;
    const int encLen = ASN1_to_binary(encNode, &encBytes);
    out.key.assign(reinterpret_cast<char*>(encBytes), static_cast<size_t>(encLen > 0 ? encLen : 0));
    VSC_Free(encBytes, __FILE__, __LINE__);
    free_ASN1_UNIT(encNode);
    free_PKCS8(enc);
    free_P8_PRIV_KEY_INFO(plain);
    free_ASN1_UNIT(infoNode);

    Key key;
    EXPECT_EQ(VCL_PK1_priv_convert_keyunit(u(out.key), n(out.key), pw, static_cast<int>(std::strlen(pw)), key.out()),
              0);
    if (!key.p) return out;
    const std::string der = file("cert.der");
    ASN1_UNIT* node = decodeToDERSequence(u(der), n(der));
    X509_CERT* cert = nullptr;
    EXPECT_EQ(Seq_to_X509_CERT(node, &cert), 0);
    X509_PUBKEY* pub = new_X509_PUBKEY();
    EXPECT_EQ(set_X509_PUBKEY_kcdsa(pub, static_cast<KCDSA_UNIT*>(key.p->key)), 0);
    EXPECT_EQ(set_X509_pub_key(cert, pub), 0);
    ASN1_UNIT* encoded = nullptr;
    EXPECT_EQ(X509_CERT_to_Seq(cert, &encoded), 0);
    unsigned char* bytes = nullptr;
    const int n2 = ASN1_to_binary(encoded, &bytes);
    out.cert.assign(reinterpret_cast<char*>(bytes), static_cast<size_t>(n2 > 0 ? n2 : 0));
    VSC_Free(bytes, __FILE__, __LINE__);
    free_ASN1_UNIT(encoded);
    free_X509_PUBKEY(pub);
    free_X509_CERT(cert);
    free_ASN1_UNIT(node);
    return out;
}

}  // namespace keytest
