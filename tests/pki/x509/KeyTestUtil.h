// Helpers of the key and signature-value tests: fixtures made by
// make_key_fixtures.sh, codec round trips, key objects from peer values.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/PkiTestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/pki_mem.hpp"
#include <zunPKI/x509/x509.h>

namespace keytest {

using pkitest::Bytes;
using pkitest::Node;
using PubKey = zpki::Owned<X509_PUBKEY, free_X509_PUBKEY>;
using Key = zpki::Owned<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY>;
using Big = zpki::Owned<BIGINT, VSC_Free_BIGINT>;

// The folder the fixture script filled, once per test program.
inline const std::string& fixtureDir() {
    static zqtest::TempDir dir("keyfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/x509/make_key_fixtures.sh", dir);
    return path;
}

inline Bytes fixture(const std::string& name) {
    EXPECT_FALSE(fixtureDir().empty()) << "fixture script failed";
    return pkitest::readBytes(fixtureDir() + "/" + name);
}

inline std::vector<std::string> fixtureLines(const std::string& name) {
    std::istringstream in(zqtest::readFile(fixtureDir() + "/" + name));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// Decodes bytes with a Seq_to_X decoder into *out (a new record when null).
template <class T>
PKI_ERROR decode(const Bytes& der, PKI_ERROR (*fn)(const ASN1_UNIT*, T**), T** out) {
    Node node(decodeToDERSequence(der.data(), static_cast<int>(der.size())));
    if (!node) return -1;
    return fn(node.get(), out);
}

// The bytes an X_to_Seq encoder writes; empty on failure (rc says why).
template <class T>
Bytes encode(const T* value, PKI_ERROR (*fn)(const T*, ASN1_UNIT**), PKI_ERROR* rc = nullptr) {
    ASN1_UNIT* made = nullptr;
    const PKI_ERROR r = fn(value, &made);
    Node node(made);
    if (rc) *rc = r;
    return r == 0 ? pkitest::bytesOf(node.get()) : Bytes{};
}

inline BIGINT* hex(const std::string& h) { return VSC_HEX_To_BIGINT(h.c_str()); }

inline bool sameValue(const BIGINT* a, const std::string& h) {
    Big b(hex(h));
    return a && b && VSC_Cmp_BIGINT(a, b.get()) == 0;
}

// An RSA object from the eight values python wrote (n e d p q dP dQ qInv).
inline RSA_UNIT* rsaFrom(const std::vector<std::string>& v, bool withPrivate) {
    std::vector<Big> b;
    for (const auto& h : v) b.emplace_back(hex(h));
    RSA_UNIT* rsa = VSC_New_RSA();
    const int rc = withPrivate ? VSC_Set_RSA_Params(rsa, b[0].get(), b[1].get(), b[2].get(), b[3].get(), b[4].get(),
                                                    b[5].get(), b[6].get(), b[7].get())
                               : VSC_Set_RSA_Public_Params(rsa, b[0].get(), b[1].get());
    EXPECT_EQ(rc, VSC_OK);
    return rsa;
}

// A P-256 key from d x y; d left out when withPrivate is false.
inline ECC_KEY* ecFrom(const std::vector<std::string>& v, bool withPrivate) {
    ECC_KEY* k = VSC_New_ECC_Key();
    EXPECT_EQ(set_ECURVE_from_list(&k->curve, 415), 0);
    k->point = VSC_New_ECPOINT();
    VSC_Free_BIGINT(k->point->x);
    VSC_Free_BIGINT(k->point->y);
    k->point->x = hex(v[1]);
    k->point->y = hex(v[2]);
    if (withPrivate) {
        k->d = hex(v[0]);
        k->is_private = 1;
    }
    return k;
}

inline ASYMMETRIC_KEY* holding(int kind, void* object) {
    ASYMMETRIC_KEY* k = new_ASYMMETRIC_KEY();
    k->kind = kind;
    k->key = object;
    return k;
}

// One worked example of the KCDSA standard (P Q G J Seedb Count X Y ...).
inline std::map<std::string, std::string> kcdsaVector(int index) {
    const std::string script =
        "import json,sys\n"
        "c=json.load(open(sys.argv[1]))['cases'][int(sys.argv[2])]\n"
        "for k,v in c.items(): print(k, v)\n";
    const std::string file = zqtest::sourceDir() + "/tests/platform/zunCrypto/vectors/kcdsa-ttak.json";
    auto r = zqtest::run({zqtest::kPython, "-c", script, file, std::to_string(index)});
    EXPECT_EQ(r.status, 0);
    std::map<std::string, std::string> out;
    std::istringstream in(r.output);
    for (std::string k, v; in >> k >> v;) out[k] = v;
    return out;
}

}  // namespace keytest
