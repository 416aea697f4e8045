// KCDSA and ECDSA signature values, against openssl and python3-cryptography.
#include "KeyTestUtil.h"

#include <memory>
#include <set>

using namespace keytest;
using pkitest::fromHex;
using pkitest::genconf;
using pkitest::toHex;

namespace {

struct Decoded {
    PKI_ERROR rc;
    Bytes r, s;
};

// Decodes into heap buffers of exactly the given sizes, so that a write past
// either is a sanitizer report.
Decoded decodeWith(PKI_ERROR (*fn)(unsigned char*, int*, unsigned char*, int*, const unsigned char*, int),
                   const Bytes& der, int rRoom, int sRoom) {
    auto r = std::make_unique<unsigned char[]>(static_cast<size_t>(rRoom));
    auto s = std::make_unique<unsigned char[]>(static_cast<size_t>(sRoom));
    int rLen = rRoom, sLen = sRoom;
    const PKI_ERROR rc = fn(r.get(), &rLen, s.get(), &sLen, der.data(), static_cast<int>(der.size()));
    if (rc) return {rc, {}, {}};
    return {rc, Bytes(r.get(), r.get() + rLen), Bytes(s.get(), s.get() + sLen)};
}

Bytes encodeEcdsa(const Bytes& r, const Bytes& s, PKI_ERROR* rc = nullptr) {
    unsigned char* der = nullptr;
    int len = 0;
    const PKI_ERROR code = encode_ECDSASignatureValue(&der, &len, r.data(), static_cast<int>(r.size()), s.data(),
                                                      static_cast<int>(s.size()));
    if (rc) *rc = code;
    Bytes out = code == 0 ? Bytes(der, der + len) : Bytes{};
    VSC_FREE(der);
    return out;
}

Bytes encodeKcdsa(int (*fn)(unsigned char**, const unsigned char*, int, const unsigned char*, int), const Bytes& r,
                  const Bytes& s, int* result = nullptr) {
    unsigned char* der = nullptr;
    const int n = fn(&der, r.data(), static_cast<int>(r.size()), s.data(), static_cast<int>(s.size()));
    if (result) *result = n;
    Bytes out = n > 0 && der ? Bytes(der, der + n) : Bytes{};
    VSC_FREE(der);
    return out;
}

// INTEGER contents of a python hex value: (bits + 8) / 8 bytes.
Bytes contentsOf(const std::string& hexValue) {
    std::string h = hexValue.size() % 2 ? "0" + hexValue : hexValue;
    if (h[0] >= '8') h = "00" + h;
    return fromHex(h);
}

Bytes unsignedOf(Bytes contents) {
    if (contents.size() > 1 && contents[0] == 0) contents.erase(contents.begin());
    return contents;
}

}  // namespace

TEST(EcdsaSignatureValue, PeerValuesDecodeAndReencode) {
    const Bytes fromOpenssl = fixture("ecdsa.sig");
    const Decoded d = decodeWith(decode_ECDSASignatureValue, fromOpenssl, 33, 33);
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(toHex(encodeEcdsa(unsignedOf(d.r), unsignedOf(d.s))), toHex(fromOpenssl));

    // Python's values of many signatures: every length and top bit of r and s.
    const auto lines = fixtureLines("ecdsa.txt");
    ASSERT_EQ(lines.size(), 64u);
    std::set<size_t> lengths;
    for (const auto& line : lines) {
        std::istringstream in(line);
        std::string derHex, rHex, sHex;
        in >> derHex >> rHex >> sHex;
        SCOPED_TRACE(derHex);
        const Bytes der = fromHex(derHex);
        const Decoded v = decodeWith(decode_ECDSASignatureValue, der, 33, 33);
        ASSERT_EQ(v.rc, 0);
        EXPECT_EQ(toHex(v.r), toHex(contentsOf(rHex)));
        EXPECT_EQ(toHex(v.s), toHex(contentsOf(sHex)));
        EXPECT_EQ(toHex(encodeEcdsa(unsignedOf(v.r), unsignedOf(v.s))), derHex);
        lengths.insert(v.r.size());
    }
    EXPECT_GE(lengths.size(), 2u);  // 33-byte (top bit set) and shorter values both seen
}

TEST(EcdsaSignatureValue, RefusesOversizedAndMalformed) {
    const Bytes big(100, 0x7f);
    const Bytes oversized = encodeEcdsa(big, Bytes{0x01});
    const Bytes good = fixture("ecdsa.sig");
    Bytes trailing = good;
    trailing.push_back(0x00);
    const Bytes truncated(good.begin(), good.end() - 1);
    struct Case {
        const char* name;
        Bytes der;
        int rRoom, sRoom;
        PKI_ERROR rc;
    } cases[] = {
        {"r larger than its buffer", oversized, 33, 33, 0x462f002b},
        {"s larger than its buffer", encodeEcdsa(Bytes{0x01}, big), 33, 33, 0x462f002b},
        {"a buffer one byte short", good, 1, 1, 0x462f002b},
        {"negative r", genconf("asn1=SEQUENCE:s\n[s]\nr=INTEGER:-5\ns=INTEGER:5\n"), 33, 33, 0x462f0104},
        {"three INTEGERs", genconf("asn1=SEQUENCE:s\n[s]\nr=INTEGER:5\ns=INTEGER:5\nt=INTEGER:5\n"), 33, 33,
         0x462f0104},
        {"a KCDSA value", genconf("asn1=SEQUENCE:s\n[s]\nr=FORMAT:HEX,BITSTRING:0102\ns=INTEGER:5\n"), 33, 33,
         0x462f0104},
        {"a byte after the SEQUENCE", trailing, 33, 33, 0x462f0104},
        {"a byte short", truncated, 33, 33, 0x462f0104},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.der.empty());
        EXPECT_EQ(decodeWith(decode_ECDSASignatureValue, c.der, c.rRoom, c.sRoom).rc, c.rc);
    }
    EXPECT_EQ(decodeWith(decode_ECDSASignatureValue, oversized, 101, 33).rc, 0);
    unsigned char r[4], s[4];
    int rLen = 4, sLen = 4;
    EXPECT_EQ(decode_ECDSASignatureValue(r, &rLen, s, &sLen, nullptr, 0), 0x462f0049);
    PKI_ERROR rc = 0;
    encodeEcdsa(Bytes{}, Bytes{0x01}, &rc);
    EXPECT_EQ(rc, 0x462e0049);
}

// r is a byte string kept whole; s an INTEGER with a sign byte when needed.
TEST(KcdsaSignatureValue, EncodesLikeThePeer) {
    Bytes r(20, 0x5a), s(20, 0x33);
    r[0] = 0x00;
    s[0] = 0x80;
    const Bytes expected =
        genconf("asn1=SEQUENCE:v\n[v]\nr=FORMAT:HEX,BITSTRING:" + toHex(r) + "\ns=INTEGER:0x" + toHex(s) + "\n");
    int result = 0;
    const Bytes der = encodeKcdsa(encode_KCDSASignatureValue, r, s, &result);
    EXPECT_EQ(toHex(der), toHex(expected));
    EXPECT_EQ(result, static_cast<int>(expected.size()));
    EXPECT_EQ(toHex(encodeKcdsa(encode_KCDSASignatrueValue, r, s)), toHex(expected));

    for (auto fn : {decode_KCDSASignatureValue, decode_KCDSASignatrueValue}) {
        const Decoded d = decodeWith(fn, der, 20, 21);
        ASSERT_EQ(d.rc, 0);
        EXPECT_EQ(toHex(d.r), toHex(r));
        ASSERT_EQ(d.s.size(), 21u);
        EXPECT_EQ(d.s[0], 0x00);
        EXPECT_EQ(toHex(Bytes(d.s.begin() + 1, d.s.end())), toHex(s));
    }
}

TEST(KcdsaSignatureValue, Refusals) {
    const Bytes r(20, 0x11), s(20, 0x22);
    const Bytes der = encodeKcdsa(encode_KCDSASignatureValue, r, s);
    ASSERT_FALSE(der.empty());
    Bytes trailing = der;
    trailing.push_back(0x00);
    struct Case {
        const char* name;
        Bytes der;
        int rRoom, sRoom;
    } cases[] = {
        {"an ECDSA value", fixture("ecdsa.sig"), 64, 64},
        {"r larger than its buffer", der, 19, 20},
        {"s larger than its buffer", der, 20, 19},
        {"r with unused bits", genconf("asn1=SEQUENCE:v\n[v]\nr=FORMAT:BITLIST,BITSTRING:0,1\ns=INTEGER:5\n"), 20, 20},
        {"negative s", genconf("asn1=SEQUENCE:v\n[v]\nr=FORMAT:HEX,BITSTRING:0102\ns=INTEGER:-5\n"), 20, 20},
        {"a byte after the SEQUENCE", trailing, 20, 20},
        {"a byte short", Bytes(der.begin(), der.end() - 1), 20, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.der.empty());
        EXPECT_EQ(decodeWith(decode_KCDSASignatureValue, c.der, c.rRoom, c.sRoom).rc, 1);
    }
    EXPECT_EQ(decodeWith(decode_KCDSASignatureValue, der, 20, 20).rc, 0);

    int result = 0;
    encodeKcdsa(encode_KCDSASignatureValue, Bytes{}, s, &result);
    EXPECT_EQ(result, 0x4f00002b);
    encodeKcdsa(encode_KCDSASignatureValue, Bytes(SIGNATURE_VALUE_MAX_PART + 1, 1), s, &result);
    EXPECT_EQ(result, 0x4f00002b);
    EXPECT_EQ(encode_KCDSASignatureValue(nullptr, r.data(), 20, s.data(), 20), 0x4f00002b);
}

namespace {

enum class Len { Short, Long, Padded, Indefinite };

// An element with its length in the given form: DER's short form, the long
// form (0x81 n), the long form with a leading zero octet (0x82 00 n), or
// indefinite with an end-of-contents pair.
Bytes tlv(unsigned char id, const Bytes& contents, Len form = Len::Short) {
    Bytes out{id};
    const auto n = static_cast<unsigned char>(contents.size());
    switch (form) {
        case Len::Short:
            out.push_back(n);
            break;
        case Len::Long:
            out.insert(out.end(), {0x81, n});
            break;
        case Len::Padded:
            out.insert(out.end(), {0x82, 0x00, n});
            break;
        case Len::Indefinite:
            out.push_back(0x80);
            break;
    }
    out.insert(out.end(), contents.begin(), contents.end());
    if (form == Len::Indefinite) out.insert(out.end(), {0x00, 0x00});
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Variant {
    std::string name;
    Bytes der;
};

// Non-DER and malformed forms of the value SEQUENCE { r, s }: r is the whole
// element, s the INTEGER's contents (DER).
std::vector<Variant> variantsOf(const Bytes& r, const Bytes& s) {
    const Bytes sElement = tlv(0x02, s);
    const Bytes body = cat({r, sElement});
    const Bytes der = tlv(0x30, body);
    Bytes negative = unsignedOf(s);
    negative[0] |= 0x80;
    return {
        {"SEQUENCE length in the long form", tlv(0x30, body, Len::Long)},
        {"SEQUENCE length with a leading zero octet", tlv(0x30, body, Len::Padded)},
        {"indefinite SEQUENCE", tlv(0x30, body, Len::Indefinite)},
        {"s length in the long form", tlv(0x30, cat({r, tlv(0x02, s, Len::Long)}))},
        {"s length with a leading zero octet", tlv(0x30, cat({r, tlv(0x02, s, Len::Padded)}))},
        {"s with an extra leading zero", tlv(0x30, cat({r, tlv(0x02, cat({{0x00}, s}))}))},
        {"negative s", tlv(0x30, cat({r, tlv(0x02, negative)}))},
        {"empty s", tlv(0x30, cat({r, tlv(0x02, {})}))},
        {"s as an ENUMERATED", tlv(0x30, cat({r, tlv(0x0a, s)}))},
        {"a SET", tlv(0x31, body)},
        {"s missing", tlv(0x30, r)},
        {"a third element", tlv(0x30, cat({body, tlv(0x02, {0x01})}))},
        {"a byte after the SEQUENCE", cat({der, {0x00}})},
        {"end-of-contents after the SEQUENCE", cat({der, {0x00, 0x00}})},
        {"a byte short", Bytes(der.begin(), der.end() - 1)},
    };
}

}  // namespace

// One signature, one byte form: every other encoding of a valid value is
// refused, whatever a BER reader would make of it.
TEST(SignatureValues, OnlyTheDerFormDecodes) {
    // ECDSA: python3-cryptography's first value (r and s of 33 bytes).
    std::string derHex, rHex, sHex;
    for (const auto& line : fixtureLines("ecdsa.txt")) {
        std::istringstream(line) >> derHex >> rHex >> sHex;
        if (contentsOf(rHex).size() == 33 && contentsOf(sHex).size() == 33) break;
    }
    const Bytes ecR = contentsOf(rHex), ecS = contentsOf(sHex);
    const Bytes ecdsa = fromHex(derHex);
    ASSERT_EQ(toHex(tlv(0x30, cat({tlv(0x02, ecR), tlv(0x02, ecS)}))), derHex);
    std::vector<Variant> ecdsaCases = variantsOf(tlv(0x02, ecR), ecS);
    Bytes negativeR = unsignedOf(ecR);
    negativeR[0] |= 0x80;
    const Bytes ecsElement = tlv(0x02, ecS);
    ecdsaCases.insert(ecdsaCases.end(),
                      {
                          {"r length in the long form", tlv(0x30, cat({tlv(0x02, ecR, Len::Long), ecsElement}))},
                          {"r with an extra leading zero", tlv(0x30, cat({tlv(0x02, cat({{0x00}, ecR})), ecsElement}))},
                          {"r of 1 with a leading zero", fromHex("300702020001020102")},
                          {"negative r", tlv(0x30, cat({tlv(0x02, negativeR), ecsElement}))},
                          {"r as a BIT STRING", tlv(0x30, cat({tlv(0x03, cat({{0x00}, ecR})), ecsElement}))},
                          {"r as a constructed INTEGER", tlv(0x30, cat({tlv(0x22, tlv(0x02, ecR)), ecsElement}))},
                      });

    // KCDSA: the standard's 2048/224 example with SHA-256 (S has its top bit
    // set, so its INTEGER carries a sign octet).
    const auto v = keytest::kcdsaVector(1);
    const Bytes kR = fromHex(v.at("R")), kS = contentsOf(v.at("S"));
    const Bytes kcdsa =
        genconf("asn1=SEQUENCE:v\n[v]\nr=FORMAT:HEX,BITSTRING:" + v.at("R") + "\ns=INTEGER:0x" + v.at("S") + "\n");
    const Bytes kBits = cat({{0x00}, kR});
    ASSERT_EQ(toHex(tlv(0x30, cat({tlv(0x03, kBits), tlv(0x02, kS)}))), toHex(kcdsa));
    std::vector<Variant> kcdsaCases = variantsOf(tlv(0x03, kBits), kS);
    const Bytes ksElement = tlv(0x02, kS);
    kcdsaCases.insert(
        kcdsaCases.end(),
        {
            {"r length in the long form", tlv(0x30, cat({tlv(0x03, kBits, Len::Long), ksElement}))},
            {"r length with a leading zero octet", tlv(0x30, cat({tlv(0x03, kBits, Len::Padded), ksElement}))},
            {"r as a constructed BIT STRING", tlv(0x30, cat({tlv(0x23, tlv(0x03, kBits)), ksElement}))},
            {"r with unused bits", tlv(0x30, cat({tlv(0x03, cat({{0x01}, kR})), ksElement}))},
            {"r empty", tlv(0x30, cat({tlv(0x03, {0x00}), ksElement}))},
            {"r as an OCTET STRING", tlv(0x30, cat({tlv(0x04, kR), ksElement}))},
            {"r as an INTEGER (an ECDSA value)", tlv(0x30, cat({tlv(0x02, kR), ksElement}))},
            {"r as a context tag", tlv(0x30, cat({tlv(0x83, kBits), ksElement}))},
        });

    // The originals decode, to the values, and encode back to the same bytes.
    const Decoded ec = decodeWith(decode_ECDSASignatureValue, ecdsa, 33, 33);
    ASSERT_EQ(ec.rc, 0);
    EXPECT_EQ(toHex(ec.r), toHex(ecR));
    EXPECT_EQ(toHex(encodeEcdsa(unsignedOf(ec.r), unsignedOf(ec.s))), derHex);
    const Decoded kc = decodeWith(decode_KCDSASignatureValue, kcdsa, 28, 29);
    ASSERT_EQ(kc.rc, 0);
    EXPECT_EQ(toHex(kc.r), v.at("R"));
    EXPECT_EQ(toHex(kc.s), toHex(kS));
    EXPECT_EQ(toHex(encodeKcdsa(encode_KCDSASignatureValue, kc.r, kc.s)), toHex(kcdsa));

    for (const auto& c : ecdsaCases) {
        SCOPED_TRACE("ECDSA: " + c.name + " " + toHex(c.der));
        EXPECT_NE(c.der, ecdsa);
        EXPECT_EQ(decodeWith(decode_ECDSASignatureValue, c.der, 64, 64).rc, 0x462f0104);
    }
    for (const auto& c : kcdsaCases) {
        SCOPED_TRACE("KCDSA: " + c.name + " " + toHex(c.der));
        EXPECT_NE(c.der, kcdsa);
        EXPECT_EQ(decodeWith(decode_KCDSASignatureValue, c.der, 64, 64).rc, 1);
        EXPECT_EQ(decodeWith(decode_KCDSASignatrueValue, c.der, 64, 64).rc, 1);
    }
}

// Lengths from 128 bytes on take the long form, and values longer than the
// encoders take are refused.
TEST(SignatureValues, LongFormLengthsAndTheLargestValues) {
    const Bytes r(SIGNATURE_VALUE_MAX_PART, 0x5a), s(200, 0x33);
    const Bytes kcdsa = encodeKcdsa(encode_KCDSASignatureValue, r, s);
    ASSERT_FALSE(kcdsa.empty());
    const Decoded d = decodeWith(decode_KCDSASignatureValue, kcdsa, SIGNATURE_VALUE_MAX_PART, 201);
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(d.r, r);
    const Bytes ecdsa = encodeEcdsa(r, s);
    ASSERT_FALSE(ecdsa.empty());
    EXPECT_EQ(decodeWith(decode_ECDSASignatureValue, ecdsa, SIGNATURE_VALUE_MAX_PART + 1, 201).rc, 0);

    const Bytes tooLong(SIGNATURE_VALUE_MAX_PART + 1, 0x5a);
    const Bytes sElement = tlv(0x02, Bytes{0x01});
    const auto seqOf = [](const Bytes& body) {
        Bytes out{0x30, 0x82, static_cast<unsigned char>(body.size() >> 8), static_cast<unsigned char>(body.size())};
        out.insert(out.end(), body.begin(), body.end());
        return out;
    };
    const auto longElement = [](unsigned char id, const Bytes& contents) {
        Bytes out{id, 0x82, static_cast<unsigned char>(contents.size() >> 8),
                  static_cast<unsigned char>(contents.size())};
        out.insert(out.end(), contents.begin(), contents.end());
        return out;
    };
    const int room = SIGNATURE_VALUE_MAX_PART + 8;
    EXPECT_EQ(decodeWith(decode_ECDSASignatureValue, seqOf(cat({longElement(0x02, tooLong), sElement})), room, room).rc,
              0x462f002b);
    EXPECT_EQ(decodeWith(decode_KCDSASignatureValue, seqOf(cat({longElement(0x03, cat({{0x00}, tooLong})), sElement})),
                         room, room)
                  .rc,
              1);
}
