// The object-identifier table against OpenSSL's, its lookups and the rows'
// mapping to the crypto library's algorithm ids.
#include <zunPKI/asn1/asn1_objects.h>

#include "PkiHelpers.h"
#include "TestSupport.h"

#include <zunCrypto/algid.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>

namespace {

struct Oid {
    OBJECT_IDENTIFIER* p;
    explicit Oid(OBJECT_IDENTIFIER* o) : p(o) {}
    ~Oid() { free_OBJECT_IDENTIFIER(p); }
    std::string text() const {
        return p == nullptr ? "<null>" : std::string(reinterpret_cast<char*>(p->data), static_cast<size_t>(p->length));
    }
};

// Row -> OpenSSL's dotted text ("-" when OpenSSL knows the name but gives it
// no identifier), for the rows whose short or long name OpenSSL knows.
std::map<int, std::string> opensslIdentifiers() {
    const char* script = R"(
import sys, _ssl
for line in sys.stdin:
    row, sn, ln = line.rstrip('\n').split('\t')
    for name in (sn, ln):
        if not name:
            continue
        try:
            obj = _ssl.txt2obj(name, True)
        except ValueError:
            continue
        print(row, obj[3] or '-')
        break
)";
    std::string input;
    for (int row = 0; row < OID_TABLE_ROWS; ++row) {
        const OID_TABLE* r = OID_LIST(row);
        input += std::to_string(row) + "\t" + (r->sn ? r->sn : "") + "\t" + (r->ln ? r->ln : "") + "\n";
    }
    auto result = zqtest::run({zqtest::kPython, "-c", script}, input);
    EXPECT_EQ(result.status, 0);
    std::map<int, std::string> known;
    std::istringstream lines(result.output);
    int row;
    std::string oid;
    while (lines >> row >> oid) known[row] = oid;
    return known;
}

// Digits and dots, at least two arcs, the first 0-2 and the second below 40
// under 0 and 1: what an OBJECT IDENTIFIER can encode.
bool encodable(const std::string& text) {
    std::vector<unsigned long> arcs;
    std::istringstream in(text);
    std::string arc;
    while (std::getline(in, arc, '.')) {
        if (arc.empty() || arc.find_first_not_of("0123456789") != std::string::npos || arc.size() > 10) return false;
        arcs.push_back(std::stoul(arc));
    }
    return text.back() != '.' && arcs.size() >= 2 && arcs[0] <= 2 && (arcs[0] == 2 || arcs[1] < 40);
}

TEST(OidTable, RowsMatchOpenSsl) {
    auto known = opensslIdentifiers();
    ASSERT_GT(known.size(), 700u) << "the peer answered for too few rows";
    for (auto& [row, oid] : known) {
        const char* ours = OID_LIST(row)->oid;
        EXPECT_EQ(ours != nullptr ? ours : "-", oid) << "row " << row << " " << OID_LIST(row)->sn;
    }
    // The rows that older tables carried under other arcs.
    EXPECT_STREQ(OID_LIST(391)->oid, "0.9.2342.19200300.100.1.25");  // domainComponent
    EXPECT_STREQ(OID_LIST(458)->oid, "0.9.2342.19200300.100.1.1");   // userId
    EXPECT_STREQ(OID_LIST(735)->oid, "2.23.43.1.4.1");
    EXPECT_STREQ(OID_LIST(778)->oid, "1.2.410.200004.1.6");  // SEED-OFB
    EXPECT_STREQ(OID_LIST(779)->oid, "1.2.410.200004.1.5");  // SEED-CFB
}

TEST(OidTable, EveryDottedTextEncodes) {
    for (int row = 1; row < OID_TABLE_ROWS; ++row) {
        const char* oid = OID_LIST(row)->oid;
        if (oid == nullptr || row == 794)  // 794: a private marker text, never encoded
            continue;
        EXPECT_TRUE(encodable(oid)) << "row " << row << " " << oid;
        Oid made(index_to_OBJECT_IDENTIFIER(row));
        EXPECT_EQ(made.text(), oid) << "row " << row;
    }
    // Our two rows: distinct, under our arc, found again by their text.
    std::string random = OID_LIST(836)->oid, device = OID_LIST(839)->oid;
    EXPECT_NE(random, device);
    EXPECT_EQ(random.rfind(ZUNPKI_OWN_OID_ARC ".", 0), 0u);
    EXPECT_EQ(index_from_oid_string(random.c_str(), pkitest::len(random)), 836);
    EXPECT_EQ(index_from_oid_string(device.c_str(), pkitest::len(device)), 839);
    EXPECT_EQ(index_from_sn("veridan-encrypted-device-info", 29), 839);
}

TEST(OidTable, Lookups) {
    EXPECT_EQ(index_from_oid_string("1.2.840.113549.1.7.2", 20), 22);
    EXPECT_EQ(index_from_oid_string("1.2.840.113549.1.7.2", 19), 0);  // only a prefix
    EXPECT_EQ(index_from_oid_string("1.2.840.113549.1.7.25", 21), 0);
    EXPECT_EQ(index_from_oid_string("1.3.6.1.5.5.7.48.1.2", 20), 366);  // shared with 831: first wins
    EXPECT_EQ(index_from_oid_string("2.5.4.3", 0), 0);
    EXPECT_EQ(index_from_oid_string(nullptr, 7), 0);
    EXPECT_EQ(index_from_sn("SHA256", 6), 672);
    EXPECT_EQ(index_from_sn("SHA2567", 6), 672);  // length-bounded
    EXPECT_EQ(index_from_sn("sha256", 6), 0);     // exact case
    EXPECT_EQ(index_from_ln("sha256WithRSAEncryption", 23), 668);
    EXPECT_EQ(index_from_sn("(null)", 6), 0);
    EXPECT_EQ(index_from_ln("undefined", 9), 0);

    EXPECT_EQ(Oid(get_OBJECT_IDENTIFIER("SHA256", 0)).text(), "2.16.840.1.101.3.4.2.1");
    EXPECT_EQ(Oid(get_OBJECT_IDENTIFIER("sha256WithRSAEncryption", 0)).text(), "1.2.840.113549.1.1.11");
    EXPECT_EQ(Oid(get_OBJECT_IDENTIFIER("ignored", 13)).text(), "2.5.4.3");
    EXPECT_EQ(get_OBJECT_IDENTIFIER("no such name", 0), nullptr);
    EXPECT_EQ(get_OBJECT_IDENTIFIER(nullptr, 0), nullptr);
    EXPECT_EQ(index_to_OBJECT_IDENTIFIER(33), nullptr);  // DES-EDE3 has no identifier
    EXPECT_EQ(index_to_OBJECT_IDENTIFIER(0), nullptr);
    EXPECT_EQ(index_to_OBJECT_IDENTIFIER(842), nullptr);

    EXPECT_STREQ(sn_from_index(13), "CN");
    EXPECT_STREQ(ln_from_index(841), "kcdsa1WithSHA256");
    EXPECT_EQ(sn_from_index(0), nullptr);
    EXPECT_EQ(sn_from_index(842), nullptr);
    EXPECT_EQ(ln_from_index(-1), nullptr);
    EXPECT_STREQ(OID_LIST(0)->ln, "undefined");
    EXPECT_EQ(OID_LIST(842), OID_LIST(0));
    EXPECT_EQ(OID_LIST(-5), OID_LIST(0));

    Oid cn(index_to_OBJECT_IDENTIFIER(13));
    EXPECT_EQ(index_from_OBJECT_IDENTIFIER(cn.p), 13);
    EXPECT_EQ(index_from_OBJECT_IDENTIFIER(nullptr), 0);
    Oid copy(dup_OBJECT_IDENTIFIER(cn.p));
    EXPECT_EQ(cmp_OBJECT_IDENTIFIER(cn.p, copy.p), 0);
    EXPECT_NE(copy.p, cn.p);
    Oid longer(index_to_OBJECT_IDENTIFIER(82));  // 2.5.29.14
    EXPECT_LT(cmp_OBJECT_IDENTIFIER(cn.p, longer.p), 0);
    Oid o(index_to_OBJECT_IDENTIFIER(17)), ou(index_to_OBJECT_IDENTIFIER(18));  // 2.5.4.10 and 2.5.4.11
    EXPECT_LT(cmp_OBJECT_IDENTIFIER(o.p, ou.p), 0);
    EXPECT_EQ(dup_OBJECT_IDENTIFIER(nullptr), nullptr);
}

TEST(OidAlgorithms, KindsAndIds) {
    struct Case {
        int row, kind, digest, cipher;
    } cases[] = {
        {0, 0, 0, 0},
        {672, OID_ALGOR_DIGEST, VSC_DIGEST_SHA256, 0},
        {668, OID_ALGOR_PKEY, VSC_DIGEST_SHA256, VSC_PKEY_RSA_SIG},
        {6, OID_ALGOR_PKEY, 0, VSC_PKEY_RSA},
        {777, OID_ALGOR_CIPHER, 0, VSC_CIPHER_SEED_CBC},
        {824, OID_ALGOR_CIPHER, 0, VSC_CIPHER_ARIA128_CBC},
        {780, OID_ALGOR_PBE, VSC_DIGEST_SHA1, VSC_CIPHER_SEED_CBC},
        {146, OID_ALGOR_PBE, VSC_DIGEST_SHA1, VSC_CIPHER_DES_EDE3_CBC},
        {841, OID_ALGOR_PKEY, VSC_DIGEST_SHA256, VSC_PKEY_KCDSA},
        {783, OID_ALGOR_PKEY, VSC_DIGEST_HAS160, VSC_PKEY_KCDSA},
        {163, OID_ALGOR_DIGEST, VSC_HMAC_SHA1, 0},
        {13, 0, 0, 0},
        {842, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(get_AlgorType_from_OID(c.row), c.kind) << "row " << c.row;
        EXPECT_EQ(get_DigestID_from_OID(c.row), c.digest) << "row " << c.row;
        EXPECT_EQ(get_CipherID_from_OID(c.row), c.cipher) << "row " << c.row;
    }
}

TEST(OidAlgorithms, IdToRowGivesThePlainAlgorithmRow) {
    // Each id maps to a row of that algorithm itself, never to a signature or
    // password-based row that merely uses it.
    for (int digest : {VSC_DIGEST_SHA1, VSC_DIGEST_SHA224, VSC_DIGEST_SHA256, VSC_DIGEST_SHA384, VSC_DIGEST_SHA512,
                       VSC_DIGEST_MD5, VSC_DIGEST_HAS160, VSC_HMAC_SHA1}) {
        int row = get_OID_from_DigestID(digest);
        EXPECT_EQ(get_DigestID_from_OID(row), digest) << std::hex << digest;
        EXPECT_EQ(get_AlgorType_from_OID(row), OID_ALGOR_DIGEST) << "row " << row;
    }
    int ciphers = 0;
    for (int alg : {VSC_CIPHER_AES128, VSC_CIPHER_AES192, VSC_CIPHER_AES256, VSC_CIPHER_DES, VSC_CIPHER_DES_EDE,
                    VSC_CIPHER_DES_EDE3, VSC_CIPHER_DES_EDE_2KEY, VSC_CIPHER_ARIA128, VSC_CIPHER_SEED, VSC_CIPHER_RC5,
                    VSC_CIPHER_BF, VSC_CIPHER_RC2_128, VSC_CIPHER_RC2_40}) {
        for (int mode : {VSC_CIPHER_MODE_ECB, VSC_CIPHER_MODE_CBC, VSC_CIPHER_MODE_CFB, VSC_CIPHER_MODE_OFB}) {
            int id = alg | mode;
            int row = get_OID_from_CipherID(id);
            if (row == 0) continue;
            ++ciphers;
            EXPECT_EQ(get_CipherID_from_OID(row), id) << std::hex << id;
            EXPECT_EQ(get_AlgorType_from_OID(row), OID_ALGOR_CIPHER) << "row " << row << " for " << std::hex << id;
        }
    }
    EXPECT_EQ(ciphers, 39);
    EXPECT_EQ(get_OID_from_CipherID(VSC_CIPHER_DES_CBC), 31);
    EXPECT_EQ(get_OID_from_CipherID(VSC_CIPHER_DES_EDE3_CBC), 44);
    EXPECT_EQ(get_OID_from_CipherID(VSC_CIPHER_AES128 | VSC_CIPHER_MODE_CFB), 421);
    EXPECT_EQ(get_OID_from_CipherID(VSC_CIPHER_DES_EDE3), 0);
    EXPECT_EQ(get_OID_from_CipherID(VSC_PBE_RC2_128_CBC), 0);
    EXPECT_EQ(get_OID_from_DigestID(0), 0);
}

}  // namespace
