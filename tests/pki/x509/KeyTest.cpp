// SubjectPublicKeyInfo, key BIT STRINGs, algorithm identifiers and key pairs,
// against what openssl and python3-cryptography make.
#include "KeyTestUtil.h"

using namespace keytest;
using pkitest::fromHex;
using pkitest::genconf;
using pkitest::toHex;

namespace {

constexpr int kRowRsa = 6, kRowEc = 408, kRowP256 = 415, kRowKcdsa = 782;

int rowOf(const OBJECT_IDENTIFIER* oid) { return index_from_OBJECT_IDENTIFIER(oid); }

// A KCDSA SubjectPublicKeyInfo of worked example 0, written by openssl's
// generator; the parameters carry what `params` lists.
std::string kcdsaConf(const std::map<std::string, std::string>& v, const std::string& params, bool withG = true) {
    return "asn1=SEQUENCE:spki\n[spki]\nalg=SEQUENCE:alg\nkey=BITWRAP,INTEGER:0x" + v.at("Y") +
           "\n[alg]\noid=OID:1.2.410.200004.1.21\nparams=SEQUENCE:params\n[params]\np=INTEGER:0x" + v.at("P") +
           "\nq=INTEGER:0x" + v.at("Q") + "\n" + (withG ? "g=INTEGER:0x" + v.at("G") + "\n" : "") + params +
           "[gen]\nseed=FORMAT:HEX,OCTETSTRING:" + v.at("Seedb") + "\ncount=INTEGER:" + v.at("Count") + "\n";
}

// An RSA SPKI with the given algorithm lines and key SEQUENCE members.
std::string rsaConf(const std::string& alg, const std::string& members) {
    return "asn1=SEQUENCE:spki\n[spki]\nalg=SEQUENCE:alg\nkey=BITWRAP,SEQUENCE:key\n[alg]\n"
           "oid=OID:1.2.840.113549.1.1.1\n" +
           alg + "[key]\n" + members;
}

bool copySeedFromVector(KCDSA_UNIT* k, const std::string& seedHex) {
    const Bytes seed = fromHex(seedHex);
    k->seed = static_cast<unsigned char*>(VSC_MALLOC(seed.size()));
    if (!k->seed) return false;
    std::memcpy(k->seed, seed.data(), seed.size());
    k->seed_len = static_cast<int>(seed.size());
    return true;
}

std::string rsaMembers(const std::vector<std::string>& v, size_t count) {
    std::string m;
    for (size_t i = 0; i < count; ++i) m += "v" + std::to_string(i) + "=INTEGER:0x" + v[i % v.size()] + "\n";
    return m;
}

}  // namespace

// SPKIs that openssl writes decode and re-encode byte for byte; copies too.
TEST(X509PubKey, OpensslSpkisRoundTrip) {
    const auto rsaValues = fixtureLines("rsa.txt");
    const auto ecValues = fixtureLines("ec.txt");
    struct Case {
        const char* file;
        int row, kind;
    } cases[] = {{"rsa.spki.der", kRowRsa, ASYMMETRIC_KEY_RSA}, {"ec.spki.der", kRowEc, ASYMMETRIC_KEY_EC}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes der = fixture(c.file);
        X509_PUBKEY* raw = nullptr;
        ASSERT_EQ(decode(der, Seq_to_X509_PUBKEY, &raw), 0);
        PubKey pk(raw);
        EXPECT_EQ(rowOf(pk->algorithm), c.row);
        ASSERT_EQ(pk->key->kind, c.kind);
        EXPECT_EQ(toHex(encode(pk.get(), X509_PUBKEY_to_Seq)), toHex(der));
        PubKey copy(dup_X509_PUBKEY(pk.get()));
        ASSERT_TRUE(copy);
        EXPECT_EQ(cmp_X509_PUBKEY(pk.get(), copy.get()), 0);
        EXPECT_EQ(cmp_ASYMMETRIC_KEY(pk->key, copy->key), 0);
        EXPECT_EQ(toHex(encode(copy.get(), X509_PUBKEY_to_Seq)), toHex(der));
    }
    X509_PUBKEY* raw = nullptr;
    ASSERT_EQ(decode(fixture("rsa.spki.der"), Seq_to_X509_PUBKEY, &raw), 0);
    PubKey rsa(raw);
    auto* unit = static_cast<RSA_UNIT*>(rsa->key->key);
    EXPECT_TRUE(sameValue(unit->n, rsaValues[0]) && sameValue(unit->e, rsaValues[1]));
    EXPECT_EQ(unit->flag, VSC_RSA_FLAG_PUBLIC);
    EXPECT_EQ(unit->d, nullptr);
    raw = nullptr;
    ASSERT_EQ(decode(fixture("ec.spki.der"), Seq_to_X509_PUBKEY, &raw), 0);
    PubKey ec(raw);
    auto* point = static_cast<ECC_KEY*>(ec->key->key)->point;
    EXPECT_TRUE(sameValue(point->x, ecValues[1]) && sameValue(point->y, ecValues[2]));
    EXPECT_STREQ(static_cast<ECC_KEY*>(ec->key->key)->curve->name, "prime256v1");
}

// An SPKI holds n and e only, whatever the key object carries.
TEST(X509PubKey, PrivateRsaKeyGivesPublicSpki) {
    const Bytes expected = fixture("rsa.spki.der");
    zpki::Owned<RSA_UNIT, VSC_Free_RSA> priv(rsaFrom(fixtureLines("rsa.txt"), true));
    ASSERT_EQ(priv->flag, VSC_RSA_FLAG_FULL);

    EXPECT_EQ(toHex(encode(priv.get(), RSA_KEY_to_Seq)), toHex(expected));

    PubKey direct(new_X509_PUBKEY());
    direct->algorithm = index_to_OBJECT_IDENTIFIER(kRowRsa);
    direct->key = new_ASYMMETRIC_KEY();
    ASSERT_EQ(RSA_UNIT_to_ASYMMETRIC_KEY(priv.get(), direct->key), 0);
    EXPECT_EQ(toHex(encode(direct.get(), X509_PUBKEY_to_Seq)), toHex(expected));

    PubKey set(new_X509_PUBKEY());
    ASSERT_EQ(set_X509_PUBKEY_rsa(set.get(), priv.get()), 0);
    auto* pub = static_cast<RSA_UNIT*>(set->key->key);
    EXPECT_EQ(pub->d, nullptr);
    EXPECT_EQ(pub->is_private, 0);
    EXPECT_EQ(toHex(encode(set.get(), X509_PUBKEY_to_Seq)), toHex(expected));

    // The BIT STRING form itself still writes what the object holds.
    BIT_STRING* bits = nullptr;
    ASSERT_EQ(RSA_KEY_to_BITSTRING(priv.get(), &bits), 0);
    RSA_UNIT* back = nullptr;
    ASSERT_EQ(BITSTRING_to_RSA_KEY(bits, &back), 0);
    EXPECT_EQ(back->flag, VSC_RSA_FLAG_FULL);
    EXPECT_EQ(VSC_Cmp_BIGINT(back->qInv, priv->qInv), 0);
    VSC_Free_RSA(back);
    free_BIT_STRING(bits);
}

TEST(X509PubKey, RsaWithoutParametersReencodesWithNull) {
    const auto v = fixtureLines("rsa.txt");
    const Bytes absent = genconf(rsaConf("", rsaMembers(v, 2)));
    ASSERT_FALSE(absent.empty());
    X509_PUBKEY* raw = nullptr;
    ASSERT_EQ(decode(absent, Seq_to_X509_PUBKEY, &raw), 0);
    PubKey pk(raw);
    EXPECT_EQ(toHex(encode(pk.get(), X509_PUBKEY_to_Seq)), toHex(fixture("rsa.spki.der")));
}

// KCDSA parameters: p q g, then j, then SEQUENCE { seed, count }.
TEST(X509PubKey, KcdsaParameterForms) {
    const auto v = kcdsaVector(0);
    const std::string gen = "gen=SEQUENCE:gen\n", j = "j=INTEGER:0x" + v.at("J") + "\n";
    struct Case {
        const char* name;
        std::string params;
        PKI_ERROR rc;
        bool hasJ, hasSeed, withG = true;
    } cases[] = {
        {"p q g", "", 0, false, false},
        {"p q g j", j, 0, true, false},
        {"p q g j seed count", j + gen, 0, true, true},
        {"seed and count in place of j", gen, 0x46130104, false, false},
        {"count too large for an int", j + "gen=SEQUENCE:big\n[big]\ns=OCTETSTRING:x\nc=INTEGER:0x80000000\n",
         0x46130104, false, false},
        {"g missing", "", 0x46130104, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes der = genconf(kcdsaConf(v, c.params, c.withG));
        ASSERT_FALSE(der.empty());
        X509_PUBKEY* raw = nullptr;
        ASSERT_EQ(decode(der, Seq_to_X509_PUBKEY, &raw), c.rc);
        PubKey pk(raw);
        if (c.rc) continue;
        ASSERT_EQ(pk->key->kind, ASYMMETRIC_KEY_KCDSA);
        auto* k = static_cast<KCDSA_UNIT*>(pk->key->key);
        EXPECT_TRUE(sameValue(k->p, v.at("P")) && sameValue(k->q, v.at("Q")) && sameValue(k->g, v.at("G")) &&
                    sameValue(k->y, v.at("Y")));
        EXPECT_EQ(k->j != nullptr, c.hasJ);
        EXPECT_EQ(k->seed_len, c.hasSeed ? static_cast<int>(v.at("Seedb").size() / 2) : 0);
        EXPECT_EQ(k->count, c.hasSeed ? std::stoi(v.at("Count")) : 0);
        EXPECT_EQ(toHex(encode(pk.get(), X509_PUBKEY_to_Seq)), toHex(der));
        // The bare-key forms agree with the record's.
        EXPECT_EQ(toHex(encode(k, KCDSA_KEY_to_Seq)), toHex(der));
        KCDSA_UNIT* bare = nullptr;
        ASSERT_EQ(decode(der, Seq_to_KCDSA_KEY, &bare), 0);
        EXPECT_EQ(toHex(encode(bare, KCDSA_KEY_to_Seq)), toHex(der));
        VSC_Free_KCDSA(bare);
    }
    // A key with j and an empty seed writes no seed-and-count SEQUENCE.
    X509_PUBKEY* raw = nullptr;
    ASSERT_EQ(decode(genconf(kcdsaConf(v, j + gen)), Seq_to_X509_PUBKEY, &raw), 0);
    PubKey pk(raw);
    auto* k = static_cast<KCDSA_UNIT*>(pk->key->key);
    VSC_FREE(k->seed);
    k->seed = nullptr;
    k->seed_len = 0;
    EXPECT_EQ(toHex(encode(pk.get(), X509_PUBKEY_to_Seq)), toHex(genconf(kcdsaConf(v, j))));
    // Without j the seed and count are not written: the fourth element would
    // be taken for j when read back.
    ASSERT_TRUE(copySeedFromVector(k, v.at("Seedb")));
    VSC_Free_BIGINT(k->j);
    k->j = nullptr;
    EXPECT_EQ(toHex(encode(pk.get(), X509_PUBKEY_to_Seq)), toHex(genconf(kcdsaConf(v, ""))));
}

TEST(X509PubKey, RefusedKeysGiveCodes) {
    const auto rsaValues = fixtureLines("rsa.txt");
    Bytes offCurve = fixture("ec.spki.der");
    offCurve.back() ^= 0x01;
    Bytes extraChild = fixture("rsa.spki.der");
    extraChild.insert(extraChild.end(), {0x05, 0x00});
    extraChild[3] += 2;  // 30 82 LL LL: the outer length grows by the NULL
    struct Case {
        const char* name;
        Bytes der;
        PKI_ERROR rc;
    } cases[] = {
        {"secp384r1", fixture("p384.spki.der"), 0x46130104},
        {"explicit curve parameters", fixture("explicit.spki.der"), 0x46130104},
        {"vectors' ec_no_named_curve", fixture("no-named-curve.spki.der"), 0x46130104},
        {"compressed point", fixture("compressed.spki.der"), 0x46130038},
        {"point not on the curve", offCurve, 0x46130038},
        {"DSA", fixture("dsa.spki.der"), 0x46130104},
        {"RSA key of five INTEGERs", genconf(rsaConf("p=NULL\n", rsaMembers(rsaValues, 5))), 0x46130038},
        {"element after the BIT STRING", extraChild, 0x46130104},
    };
    // The caller's record is left as it was.
    X509_PUBKEY* raw = nullptr;
    ASSERT_EQ(decode(fixture("ec.spki.der"), Seq_to_X509_PUBKEY, &raw), 0);
    PubKey kept(raw);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.der.empty());
        X509_PUBKEY* fresh = nullptr;
        EXPECT_EQ(decode(c.der, Seq_to_X509_PUBKEY, &fresh), c.rc);
        EXPECT_EQ(fresh, nullptr);
        X509_PUBKEY* into = kept.get();
        EXPECT_EQ(decode(c.der, Seq_to_X509_PUBKEY, &into), c.rc);
        EXPECT_EQ(toHex(encode(kept.get(), X509_PUBKEY_to_Seq)), toHex(fixture("ec.spki.der")));
    }
    EXPECT_EQ(Seq_to_X509_PUBKEY(nullptr, &raw), 0x46130049);
}

// The encoder refuses a key object of another kind than the algorithm says.
TEST(X509PubKey, EncoderChecksKindAgainstAlgorithm) {
    X509_PUBKEY* raw = nullptr;
    ASSERT_EQ(decode(fixture("rsa.spki.der"), Seq_to_X509_PUBKEY, &raw), 0);
    PubKey pk(raw);
    free_OBJECT_IDENTIFIER(pk->algorithm);
    pk->algorithm = index_to_OBJECT_IDENTIFIER(kRowKcdsa);
    PKI_ERROR rc = 0;
    EXPECT_TRUE(encode(pk.get(), X509_PUBKEY_to_Seq, &rc).empty());
    EXPECT_EQ(rc, 0x4614002b);
    EXPECT_EQ(X509_PUBKEY_to_Seq(nullptr, nullptr), 0x46140049);
}

TEST(KeyBitStrings, RsaForms) {
    const auto v = fixtureLines("rsa.txt");
    struct Case {
        size_t count;
        PKI_ERROR rc;
        int flag;
    } cases[] = {{0, 0x4609002b, 0}, {2, 0, VSC_RSA_FLAG_PUBLIC}, {3, 0, VSC_RSA_FLAG_PRIVATE},
                 {5, 0x46090104, 0}, {8, 0, VSC_RSA_FLAG_FULL},   {9, 0x46090104, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        const Bytes seq = c.count ? genconf("asn1=SEQUENCE:key\n[key]\n" + rsaMembers(v, c.count)) : Bytes{0x30, 0x00};
        pkitest::String bits(binaryToBIT_STRING(seq.data(), static_cast<int>(seq.size())));
        RSA_UNIT* rsa = VSC_New_RSA();
        ASSERT_EQ(BITSTRING_to_RSA_KEY(bits.get(), &rsa), c.rc);
        ASSERT_NE(rsa, nullptr);  // the caller's object stays, cleaned on failure
        if (c.rc == 0) {
            EXPECT_EQ(rsa->flag, c.flag);
            EXPECT_EQ(rsa->is_private, c.count > 2);
            BIT_STRING* again = nullptr;
            ASSERT_EQ(RSA_KEY_to_BITSTRING(rsa, &again), 0);
            EXPECT_EQ(toHex(again->data, again->length), toHex(seq));
            free_BIT_STRING(again);
        } else {
            EXPECT_EQ(rsa->n, nullptr);
        }
        VSC_Free_RSA(rsa);
    }
    RSA_UNIT* none = VSC_New_RSA();
    BIT_STRING* bits = nullptr;
    EXPECT_EQ(RSA_KEY_to_BITSTRING(none, &bits), 0x460a002b);
    VSC_Free_RSA(none);
}

TEST(KeyBitStrings, EcPoints) {
    auto bitsOf = [](const Bytes& b, int unused = 0) {
        BIT_STRING* s = binaryToBIT_STRING(b.data(), static_cast<int>(b.size()));
        s->extra = unused;
        return pkitest::String(s);
    };
    Bytes full(65, 0x11);
    full[0] = 0x04;
    struct Case {
        const char* name;
        Bytes bytes;
        int unused;
        PKI_ERROR rc;
    } cases[] = {
        {"uncompressed", full, 0, 0},
        {"64 bytes after 04", Bytes(full.begin(), full.end() - 1), 0, 0x462c002b},
        {"66 bytes after 04",
         [&] {
             Bytes b = full;
             b.push_back(0);
             return b;
         }(),
         0, 0x462c002b},
        {"compressed", Bytes(full.begin(), full.begin() + 33), 0, 0x462c002b},
        {"hybrid form",
         [&] {
             Bytes b = full;
             b[0] = 0x06;
             return b;
         }(),
         0, 0x462c002b},
        {"unused bits", full, 1, 0x462c002b},
        {"point at infinity", Bytes{0x00}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ECC_KEY* key = nullptr;
        auto bits = bitsOf(c.bytes, c.unused);
        ASSERT_EQ(BITSTRING_to_ECC_KEY(bits.get(), &key), c.rc);
        if (c.rc) {
            EXPECT_EQ(key, nullptr);
            continue;
        }
        ASSERT_EQ(set_ECURVE_from_list(&key->curve, kRowP256), 0);
        BIT_STRING* out = nullptr;
        ASSERT_EQ(ECC_KEY_to_BITSTRING(key, &out), 0);
        EXPECT_EQ(toHex(out->data, out->length), toHex(c.bytes));
        free_BIT_STRING(out);
        VSC_Free_ECC_Key(key);
    }
    // An x with a leading zero byte is written left-padded: 65 bytes.
    ECC_KEY* key = VSC_New_ECC_Key();
    ASSERT_EQ(set_ECURVE_from_list(&key->curve, kRowP256), 0);
    key->point = VSC_New_ECPOINT();
    VSC_Set_BIGINT_Word(key->point->x, 0x1234);
    VSC_Set_BIGINT_Word(key->point->y, 7);
    BIT_STRING* out = nullptr;
    ASSERT_EQ(ECC_KEY_to_BITSTRING(key, &out), 0);
    ASSERT_EQ(out->length, 65);
    EXPECT_EQ(toHex(out->data, 3), "040000");
    EXPECT_EQ(toHex(out->data + 31, 2), "1234");
    EXPECT_EQ(out->data[64], 7);
    free_BIT_STRING(out);
    VSC_Free_ECC_Key(key);
}

TEST(AlgorithmIdentifier, ParametersOfAnyKindRoundTrip) {
    const std::string head = "asn1=SEQUENCE:alg\n[alg]\noid=OID:1.2.840.113549.1.1.11\n";
    for (const std::string params :
         {"", "p=NULL\n", "p=OID:1.2.840.10045.3.1.7\n", "p=SEQUENCE:s\n[s]\na=INTEGER:5\nb=OCTETSTRING:xy\n",
          "p=OCTETSTRING:salt\n", "p=INTEGER:0x7f\n", "p=INTEGER:-1\n", "p=IMPLICIT:0,OCTETSTRING:ctx\n"}) {
        SCOPED_TRACE(params);
        const Bytes der = genconf(head + params);
        ASSERT_FALSE(der.empty());
        X509_ALGO_IDENTIFIER* alg = nullptr;
        ASSERT_EQ(decode(der, Seq_to_X509_ALGO_IDENTIFIER, &alg), 0);
        EXPECT_EQ(alg->parameters != nullptr, !params.empty());
        EXPECT_EQ(toHex(encode(alg, X509_ALGO_IDENTIFIER_to_Seq)), toHex(der));
        X509_ALGO_IDENTIFIER* copy = dup_X509_ALGO_IDENTIFIER(alg);
        EXPECT_EQ(cmp_X509_ALGO_IDENTIFIER(alg, copy), 0);
        free_X509_ALGO_IDENTIFIER(alg);
        EXPECT_EQ(toHex(encode(copy, X509_ALGO_IDENTIFIER_to_Seq)), toHex(der));
        free_X509_ALGO_IDENTIFIER(copy);
    }
    X509_ALGO_IDENTIFIER* alg = nullptr;
    EXPECT_EQ(decode(genconf(head + "p=NULL\nq=NULL\n"), Seq_to_X509_ALGO_IDENTIFIER, &alg), 0x4626002b);
    EXPECT_EQ(decode(genconf("asn1=SEQUENCE:a\n[a]\np=NULL\n"), Seq_to_X509_ALGO_IDENTIFIER, &alg), 0x46260104);
    EXPECT_EQ(alg, nullptr);
    EXPECT_EQ(Seq_to_X509_ALGO_IDENTIFIER(nullptr, &alg), 1);

    alg = new_X509_ALGO_IDENTIFIER();
    PKI_ERROR rc = 0;
    EXPECT_TRUE(encode(alg, X509_ALGO_IDENTIFIER_to_Seq, &rc).empty());
    EXPECT_EQ(rc, 0x4625002b);
    pkitest::String oid(index_to_OBJECT_IDENTIFIER(672));
    ASSERT_EQ(set_X509_ALGO_IDENTIFIER_value(alg, oid.get(), nullptr), 0);
    EXPECT_EQ(alg->parameters->type, ASN1_TAG_NULL);
    EXPECT_EQ(toHex(encode(alg, X509_ALGO_IDENTIFIER_to_Seq)), "300d06096086480165030402010500");
    EXPECT_EQ(set_X509_ALGO_IDENTIFIER_value(alg, nullptr, nullptr), 1);
    free_X509_ALGO_IDENTIFIER(alg);
}

TEST(AlgorithmIdentifier, SetOfList) {
    const Bytes two = genconf(
        "asn1=SET:l\n[l]\na=SEQUENCE:a\nb=SEQUENCE:b\n[a]\noid=OID:2.16.840.1.101.3.4.2.1\nn=NULL\n"
        "[b]\noid=OID:1.3.14.3.2.26\n");
    X509_ALGO_IDENTIFIERS* list = nullptr;
    ASSERT_EQ(decode(two, Seq_to_X509_ALGO_IDENTIFIERS, &list), 0);
    ASSERT_EQ(get_STACK_count(list), 2);
    // openssl sorts the SET's elements by their encoding; the order is kept.
    EXPECT_EQ(rowOf(static_cast<X509_ALGO_IDENTIFIER*>(get_STACK_value(list, 0))->algorithm), 64);
    EXPECT_EQ(rowOf(static_cast<X509_ALGO_IDENTIFIER*>(get_STACK_value(list, 1))->algorithm), 672);
    // The copy owns its elements: both lists are freed.
    X509_ALGO_IDENTIFIERS* copy = dup_X509_ALGO_IDENTIFIERS(list);
    free_X509_ALGO_IDENTIFIERS(list);
    EXPECT_EQ(toHex(encode(copy, X509_ALGO_IDENTIFIERS_to_Seq)), toHex(two));

    struct Case {
        const char* name;
        std::string conf;
        PKI_ERROR rc;
    } refused[] = {
        {"an element that is no SEQUENCE", "asn1=SET:l\n[l]\na=INTEGER:1\n", 0x46280104},
        {"an element of three children", "asn1=SET:l\n[l]\na=SEQUENCE:a\n[a]\no=OID:1.2.3\np=NULL\nq=NULL\n",
         0x4626002b},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        X509_ALGO_IDENTIFIERS* into = copy;
        EXPECT_EQ(decode(genconf(c.conf), Seq_to_X509_ALGO_IDENTIFIERS, &into), c.rc);
        EXPECT_EQ(get_STACK_count(copy), 2);  // unchanged
    }
    // Decoding into a list appends to it.
    X509_ALGO_IDENTIFIERS* into = copy;
    ASSERT_EQ(decode(two, Seq_to_X509_ALGO_IDENTIFIERS, &into), 0);
    EXPECT_EQ(get_STACK_count(copy), 4);
    free_X509_ALGO_IDENTIFIERS(copy);
    X509_ALGO_IDENTIFIERS* empty = nullptr;
    ASSERT_EQ(decode(Bytes{0x31, 0x00}, Seq_to_X509_ALGO_IDENTIFIERS, &empty), 0);
    EXPECT_EQ(get_STACK_count(empty), 0);
    EXPECT_EQ(toHex(encode(empty, X509_ALGO_IDENTIFIERS_to_Seq)), "3100");
    free_X509_ALGO_IDENTIFIERS(empty);
}

// The DigestInfo inside an RSA signature that openssl made.
TEST(DigestInfo, RecoveredFromRsaSignature) {
    const Bytes der = fixture("digestinfo.der");
    X509_SIGN* sign = nullptr;
    ASSERT_EQ(decode(der, Seq_to_X509_SIGN, &sign), 0);
    EXPECT_EQ(rowOf(sign->digestAlgorithm->algorithm), 672);
    EXPECT_EQ(sign->digestAlgorithm->parameters->type, ASN1_TAG_NULL);
    EXPECT_EQ(sign->digest->length, 32);
    EXPECT_EQ(toHex(encode(sign, X509_SIGN_to_Seq)), toHex(der));
    free_X509_SIGN(sign);

    Bytes wrapped{0x30, static_cast<unsigned char>(der.size())};
    wrapped.insert(wrapped.end(), der.begin(), der.end());
    sign = nullptr;
    ASSERT_EQ(decode(wrapped, Seq_to_X509_SIGN, &sign), 0);
    EXPECT_EQ(toHex(encode(sign, X509_SIGN_to_Seq)), toHex(der));
    free_X509_SIGN(sign);

    const Bytes noNull =
        genconf("asn1=SEQUENCE:d\n[d]\na=SEQUENCE:a\nv=FORMAT:HEX,OCTETSTRING:00112233\n[a]\no=OID:1.3.14.3.2.26\n");
    sign = nullptr;
    ASSERT_EQ(decode(noNull, Seq_to_X509_SIGN, &sign), 0);
    EXPECT_EQ(toHex(encode(sign, X509_SIGN_to_Seq)), toHex(noNull));
    free_X509_SIGN(sign);

    sign = nullptr;
    EXPECT_EQ(decode(genconf("asn1=SEQUENCE:d\n[d]\nv=OCTETSTRING:x\n"), Seq_to_X509_SIGN, &sign), 0x47530104);
    EXPECT_EQ(decode(Bytes{0x30, 0x00}, Seq_to_X509_SIGN, &sign), 0x4753002b);
    EXPECT_EQ(sign, nullptr);
}

TEST(KeyPair, Checks) {
    X509_PUBKEY *rsaRaw = nullptr, *ecRaw = nullptr, *kcdsaRaw = nullptr;
    ASSERT_EQ(decode(fixture("rsa.spki.der"), Seq_to_X509_PUBKEY, &rsaRaw), 0);
    ASSERT_EQ(decode(fixture("ec.spki.der"), Seq_to_X509_PUBKEY, &ecRaw), 0);
    const auto v = kcdsaVector(0);
    ASSERT_EQ(decode(genconf(kcdsaConf(v, "j=INTEGER:0x" + v.at("J") + "\n")), Seq_to_X509_PUBKEY, &kcdsaRaw), 0);
    PubKey rsaPub(rsaRaw), ecPub(ecRaw), kcdsaPub(kcdsaRaw);

    // KCDSA private keys from the worked example's x, and from another x.
    auto kcdsaPriv = [&](const std::string& x) {
        Big p(hex(v.at("P"))), q(hex(v.at("Q"))), g(hex(v.at("G"))), xv(hex(x));
        KCDSA_UNIT* k = VSC_New_KCDSA();
        EXPECT_EQ(VSC_Set_KCDSA_Params(k, p.get(), q.get(), g.get(), xv.get(), nullptr), VSC_OK);
        return holding(ASYMMETRIC_KEY_KCDSA, k);
    };
    // A private key whose stored y is right but whose x is not: x decides.
    auto kcdsaWrongX = [&] {
        ASYMMETRIC_KEY* k = kcdsaPriv("1234567");
        auto* unit = static_cast<KCDSA_UNIT*>(k->key);
        VSC_Free_BIGINT(unit->y);
        unit->y = hex(v.at("Y"));
        return k;
    };
    // An EC "private" key without d: its point is compared.
    auto ecPointOnly = [](const char* file) { return holding(ASYMMETRIC_KEY_EC, ecFrom(fixtureLines(file), false)); };

    struct Case {
        const char* name;
        const X509_PUBKEY* pub;
        ASYMMETRIC_KEY* priv;
        int expected;
    } cases[] = {
        {"RSA pair", rsaPub.get(), holding(ASYMMETRIC_KEY_RSA, rsaFrom(fixtureLines("rsa.txt"), true)), 0},
        {"RSA of another key", rsaPub.get(), holding(ASYMMETRIC_KEY_RSA, rsaFrom(fixtureLines("rsa2.txt"), true)), 1},
        {"EC pair", ecPub.get(), holding(ASYMMETRIC_KEY_EC, ecFrom(fixtureLines("ec.txt"), true)), 0},
        {"EC of another key", ecPub.get(), holding(ASYMMETRIC_KEY_EC, ecFrom(fixtureLines("ec2.txt"), true)), 1},
        {"EC point, same", ecPub.get(), ecPointOnly("ec.txt"), 0},
        {"EC point, another", ecPub.get(), ecPointOnly("ec2.txt"), 1},
        {"KCDSA pair", kcdsaPub.get(), kcdsaPriv(v.at("X")), 0},
        {"KCDSA of another x", kcdsaPub.get(), kcdsaPriv("1234567"), 1},
        {"KCDSA with a borrowed y", kcdsaPub.get(), kcdsaWrongX(), 1},
        {"RSA private, KCDSA public", kcdsaPub.get(),
         holding(ASYMMETRIC_KEY_RSA, rsaFrom(fixtureLines("rsa.txt"), true)), 1},
        {"EC private, RSA public", rsaPub.get(), holding(ASYMMETRIC_KEY_EC, ecFrom(fixtureLines("ec.txt"), true)), 1},
        {"empty private key", rsaPub.get(), new_ASYMMETRIC_KEY(), 1},
        {"missing public key", nullptr, new_ASYMMETRIC_KEY(), 1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(check_X509_keypair(c.pub, c.priv), c.expected);
        free_ASYMMETRIC_KEY(c.priv);
    }
}

// A copy is a copy: a decoded KCDSA key whose values would not pass the
// setter's domain checks (g not of order q, y of 1) still copies, whole.
TEST(AsymmetricKey, CopyOfKeyThatFailsTheDomainChecks) {
    auto v = kcdsaVector(0);
    for (const char* field : {"G", "Y"}) {
        SCOPED_TRACE(field);
        auto changed = v;
        changed[field] = "02";
        X509_PUBKEY* raw = nullptr;
        ASSERT_EQ(decode(genconf(kcdsaConf(changed, "j=INTEGER:0x" + v.at("J") + "\ngen=SEQUENCE:gen\n")),
                         Seq_to_X509_PUBKEY, &raw),
                  0);
        PubKey pk(raw);
        PubKey copy(dup_X509_PUBKEY(pk.get()));
        ASSERT_TRUE(copy);
        EXPECT_EQ(cmp_X509_PUBKEY(pk.get(), copy.get()), 0);
        EXPECT_EQ(cmp_ASYMMETRIC_KEY(pk->key, copy->key), 0);
        EXPECT_EQ(toHex(encode(copy.get(), X509_PUBKEY_to_Seq)), toHex(encode(pk.get(), X509_PUBKEY_to_Seq)));
    }
}

TEST(AsymmetricKey, CopiesComparisonsAndConversions) {
    const auto v = kcdsaVector(0);
    X509_PUBKEY* raw = nullptr;
    ASSERT_EQ(
        decode(genconf(kcdsaConf(v, "j=INTEGER:0x" + v.at("J") + "\ngen=SEQUENCE:gen\n")), Seq_to_X509_PUBKEY, &raw),
        0);
    PubKey kcdsaPub(raw);
    X509_PUBKEY* otherRaw = nullptr;
    const auto w = kcdsaVector(1);
    ASSERT_EQ(decode(genconf(kcdsaConf(w, "")), Seq_to_X509_PUBKEY, &otherRaw), 0);
    PubKey otherKcdsa(otherRaw);
    Key keys[] = {Key(holding(ASYMMETRIC_KEY_RSA, rsaFrom(fixtureLines("rsa.txt"), true))),
                  Key(dup_ASYMMETRIC_KEY(kcdsaPub->key)),
                  Key(holding(ASYMMETRIC_KEY_EC, ecFrom(fixtureLines("ec.txt"), true)))};
    Key others[] = {Key(holding(ASYMMETRIC_KEY_RSA, rsaFrom(fixtureLines("rsa2.txt"), true))),
                    Key(dup_ASYMMETRIC_KEY(otherKcdsa->key)),
                    Key(holding(ASYMMETRIC_KEY_EC, ecFrom(fixtureLines("ec2.txt"), true)))};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(keys[i]->kind);
        Key copy(dup_ASYMMETRIC_KEY(keys[i].get()));
        ASSERT_TRUE(copy);
        EXPECT_NE(copy->key, keys[i]->key);
        EXPECT_EQ(cmp_ASYMMETRIC_KEY(keys[i].get(), copy.get()), 0);
        EXPECT_NE(cmp_ASYMMETRIC_KEY(keys[i].get(), others[i].get()), 0);
    }
    EXPECT_EQ(dup_ASYMMETRIC_KEY(nullptr), nullptr);
    EXPECT_EQ(cmp_ASYMMETRIC_KEY(keys[0].get(), nullptr), 1);

    // The RSA unit receives what the completeness word says.
    auto* full = static_cast<RSA_UNIT*>(keys[0]->key);
    for (int flag : {VSC_RSA_FLAG_PUBLIC, VSC_RSA_FLAG_PRIVATE, VSC_RSA_FLAG_FULL}) {
        SCOPED_TRACE(flag);
        full->flag = flag;
        RSA_UNIT* out = VSC_New_RSA();
        ASSERT_EQ(ASYMMETRIC_KEY_to_RSA_UNIT(keys[0].get(), out), 0);
        EXPECT_EQ(out->flag, flag);
        EXPECT_EQ(out->is_private, flag != VSC_RSA_FLAG_PUBLIC);
        EXPECT_EQ(out->d != nullptr, flag != VSC_RSA_FLAG_PUBLIC);
        EXPECT_EQ(out->qInv != nullptr, flag == VSC_RSA_FLAG_FULL);
        VSC_Free_RSA(out);
    }
    KCDSA_UNIT* kout = VSC_New_KCDSA();
    ASSERT_EQ(ASYMMETRIC_KEY_to_KCDSA_UNIT(keys[1].get(), kout), 0);
    EXPECT_EQ(kout->is_private, 0);
    EXPECT_EQ(kout->count, std::stoi(v.at("Count")));
    EXPECT_EQ(ASYMMETRIC_KEY_to_RSA_UNIT(keys[1].get(), full), 1);  // not an RSA key

    // A key record changes kind whole: the old object is freed, not reused.
    Key switching(dup_ASYMMETRIC_KEY(keys[1].get()));
    ASSERT_EQ(RSA_UNIT_to_ASYMMETRIC_KEY(full, switching.get()), 0);
    EXPECT_EQ(switching->kind, ASYMMETRIC_KEY_RSA);
    ASSERT_EQ(KCDSA_UNIT_to_ASYMMETRIC_KEY(kout, switching.get()), 0);
    EXPECT_EQ(switching->kind, ASYMMETRIC_KEY_KCDSA);
    VSC_Free_KCDSA(kout);

    // The setters replace a decoded key of another kind, and the received
    // BIT STRING with it; records built by them compare by their keys.
    X509_PUBKEY* rsaRaw = nullptr;
    ASSERT_EQ(decode(fixture("rsa.spki.der"), Seq_to_X509_PUBKEY, &rsaRaw), 0);
    PubKey pk(rsaRaw);
    ASSERT_EQ(set_X509_PUBKEY_kcdsa(pk.get(), static_cast<KCDSA_UNIT*>(kcdsaPub->key->key)), 0);
    EXPECT_EQ(pk->key->kind, ASYMMETRIC_KEY_KCDSA);
    EXPECT_EQ(pk->subjectPublicKey, nullptr);
    EXPECT_EQ(rowOf(pk->algorithm), kRowKcdsa);
    EXPECT_EQ(toHex(encode(pk.get(), X509_PUBKEY_to_Seq)), toHex(encode(kcdsaPub.get(), X509_PUBKEY_to_Seq)));
    EXPECT_EQ(cmp_X509_PUBKEY(pk.get(), kcdsaPub.get()), 0);
    PubKey a(new_X509_PUBKEY()), b(new_X509_PUBKEY());
    zpki::Owned<RSA_UNIT, VSC_Free_RSA> other(rsaFrom(fixtureLines("rsa2.txt"), false));
    ASSERT_EQ(set_X509_PUBKEY_rsa(a.get(), full), 0);
    ASSERT_EQ(set_X509_PUBKEY_rsa(b.get(), other.get()), 0);
    EXPECT_EQ(cmp_X509_PUBKEY(a.get(), b.get()), -1);
    EXPECT_EQ(cmp_X509_PUBKEY(a.get(), nullptr), 1);
    EXPECT_EQ(set_X509_PUBKEY_rsa(a.get(), nullptr), 1);
}

// The one named curve, checked against the explicit parameters openssl
// writes for P-256.
TEST(NamedCurves, P256) {
    const Bytes explicitSpki = fixture("explicit.spki.der");
    Node spki(decodeToDERSequence(explicitSpki.data(), static_cast<int>(explicitSpki.size())));
    Node alg(static_cast<ASN1_UNIT*>(getBERChildAt(spki.get(), 0, ASN1_TAG_SEQUENCE)));
    Node params(static_cast<ASN1_UNIT*>(getBERChildAt(alg.get(), 1, ASN1_TAG_SEQUENCE)));
    Node field(static_cast<ASN1_UNIT*>(getBERChildAt(params.get(), 1, ASN1_TAG_SEQUENCE)));
    Node curveSeq(static_cast<ASN1_UNIT*>(getBERChildAt(params.get(), 2, ASN1_TAG_SEQUENCE)));
    ASSERT_TRUE(field && curveSeq);
    Big p(static_cast<BIGINT*>(getBERChildAt(field.get(), 1, ASN1_TAG_INTEGER)));
    Big n(static_cast<BIGINT*>(getBERChildAt(params.get(), 4, ASN1_TAG_INTEGER)));
    pkitest::String a(static_cast<ASN1_STRING*>(getBERChildAt(curveSeq.get(), 0, ASN1_TAG_OCTET_STRING)));
    pkitest::String b(static_cast<ASN1_STRING*>(getBERChildAt(curveSeq.get(), 1, ASN1_TAG_OCTET_STRING)));
    pkitest::String base(static_cast<ASN1_STRING*>(getBERChildAt(params.get(), 3, ASN1_TAG_OCTET_STRING)));
    ASSERT_TRUE(p && n && a && b && base && base->length == 65);

    ECURVE* curve = nullptr;
    ASSERT_EQ(set_ECURVE_from_list(&curve, kRowP256), 0);
    auto same = [](const BIGINT* v, const unsigned char* bytes, int len) {
        Big w(VSC_Binary_To_BIGINT(nullptr, bytes, len));
        return VSC_Cmp_BIGINT(v, w.get()) == 0;
    };
    EXPECT_EQ(VSC_Cmp_BIGINT(curve->p, p.get()), 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(curve->n, n.get()), 0);
    EXPECT_TRUE(same(curve->a, a->data, a->length));
    EXPECT_TRUE(same(curve->b, b->data, b->length));
    EXPECT_TRUE(same(curve->G->x, base->data + 1, 32) && same(curve->G->y, base->data + 33, 32));
    EXPECT_EQ(curve->field_length, 32);
    EXPECT_STREQ(curve->name, "prime256v1");

    pkitest::String secp384(index_to_OBJECT_IDENTIFIER(715));
    EXPECT_EQ(set_ECURVE_from_list_ex(&curve, secp384.get()), 1);
    EXPECT_EQ(set_ECURVE_from_list(&curve, kRowEc), 1);
    VSC_Free_ECURVE(curve);

    OBJECT_IDENTIFIER* oid = new_OBJECT_IDENTIFIER("1.2.3", 5);
    ASSERT_EQ(get_ECURVE_OID_from_name(&oid, "prime256v1"), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(oid->data), "1.2.840.10045.3.1.7");
    EXPECT_EQ(get_ECURVE_OID_from_name(&oid, "PRIME256V1"), 1);
    EXPECT_EQ(get_ECURVE_OID_from_name(&oid, nullptr), 1);
    free_OBJECT_IDENTIFIER(oid);
}
