// Signing and verifying to-be-signed DER with RSA and KCDSA keys.
#include "x509/x509_signing.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/rsa_param.h>
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_sig.h>

using namespace zpki::asn1;
namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;

namespace {

constexpr int kRowMgf1 = 833;
constexpr int kRowPSpecified = 834;

using String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;

PKI_ERROR fail(unsigned libFunc, unsigned reason) { return static_cast<PKI_ERROR>(libFunc | reason); }

int rowOf(const OBJECT_IDENTIFIER* oid) { return index_from_OBJECT_IDENTIFIER(oid); }

bool hasPrefix(const OBJECT_IDENTIFIER* oid, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return oid && oid->data && static_cast<size_t>(oid->length) > n && std::memcmp(oid->data, prefix, n) == 0;
}

bool isOid(const OBJECT_IDENTIFIER* oid, const char* text) {
    const size_t n = std::strlen(text);
    return oid && oid->data && static_cast<size_t>(oid->length) == n && std::memcmp(oid->data, text, n) == 0;
}

// Signature algorithms whose AlgorithmIdentifier carries no parameters.
bool parametersAbsent(const OBJECT_IDENTIFIER* oid) {
    return hasPrefix(oid, "1.2.840.10045.4.") ||     // ecdsa-with-*
           isOid(oid, "1.2.840.10040.4.3") ||        // dsa-with-sha1
           hasPrefix(oid, "2.16.840.1.101.3.4.3.");  // dsa-with-sha2, ecdsa-with-sha3
}

bool dataLengthOk(const uint8_t* data, size_t len) { return data && len <= static_cast<size_t>(INT_MAX); }

// The digest a hash AlgorithmIdentifier names; 0 for none.
int digestOf(const X509_ALGO_IDENTIFIER* alg) { return alg ? get_DigestID_from_OID(rowOf(alg->algorithm)) : 0; }

// The digest of an AlgorithmIdentifier held as a SEQUENCE's contents (the
// parameters of MGF1).
int digestOfParameters(const ASN1_STRING* params) {
    Node node = zpki::asn1::sequenceOf(params);
    X509_ALGO_IDENTIFIER* alg = nullptr;
    if (!node || Seq_to_X509_ALGO_IDENTIFIER(node.get(), &alg) != 0) return 0;
    Owned<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER> owned(alg);
    return digestOf(alg);
}

// A small non-negative BIGINT, or fallback when absent; -1 when too large
// or negative (the word of a negative value is its magnitude).
long smallValue(const BIGINT* v, long fallback) {
    if (!v) return fallback;
    const int bits = VSC_Get_BIGINT_Bits_Length(v);
    if (bits > 16 || (bits > 0 && VSC_Cmp_BIGINT(v, VSC_Value_One_BIGINT()) < 0)) return -1;
    return static_cast<long>(VSC_Get_BIGINT_Word(v));
}

struct Pss {
    int digest = VSC_DIGEST_SHA1;
    int mgfDigest = VSC_DIGEST_SHA1;
    long salt = 20;
    long trailer = 1;
};

// Largest salt length taken: a salt must fit the encoded message, and the
// largest modulus the crypto library takes (16384 bits) holds 2048 bytes.
constexpr long kMaxSalt = 0xffff;

// RSASSA-PSS-params; null parameters are all defaults.
bool readPss(const ASN1_STRING* params, Pss& out) {
    if (!params) return true;
    Node node = zpki::asn1::sequenceOf(params);
    RSASSA_PSS_PARAM* pss = nullptr;
    if (!node || Seq_to_RSASSA_PSS_PARAM(node.get(), &pss) != 0) return false;
    Owned<RSASSA_PSS_PARAM, free_RSASSA_PSS_PARAM> owned(pss);
    if (pss->hashAlgorithm && !(out.digest = digestOf(pss->hashAlgorithm))) return false;
    if (const X509_ALGO_IDENTIFIER* mgf = pss->maskGenAlgorithm) {
        if (rowOf(mgf->algorithm) != kRowMgf1 || !(out.mgfDigest = digestOfParameters(mgf->parameters))) return false;
    }
    out.salt = smallValue(pss->saltLength, 20);
    out.trailer = smallValue(pss->trailerField, 1);
    return out.salt >= 0;
}

bool isRsaFamily(int cipherId) { return (cipherId & 0xf0000000) == VSC_PKEY_RSA; }

// The scheme of a signature algorithm; false when the algorithm is not one
// an RSA key can serve (PSS only to verify: its parameters come with it).
bool rsaScheme(const OBJECT_IDENTIFIER* alg, const ASN1_STRING* params, bool signing, zpki::x509::RsaScheme& out) {
    const int row = rowOf(alg);
    const int cipher = get_CipherID_from_OID(row);
    if (!isRsaFamily(cipher)) return false;
    if (cipher == VSC_PKEY_RSA_PSS) return !signing && zpki::x509::pssScheme(params, out);
    // The RSA-with-digest rows, and the older ones filed under plain RSA
    // (sha1WithRSA, md5WithRSA): PKCS#1 v1.5.
    out = {get_DigestID_from_OID(row), false, 0};
    const int scheme = cipher & 0xff;
    return out.digest != 0 && (scheme == VSC_RSASSA_DEFAULT || scheme == VSC_RSASSA_PKCS1_V15);
}

// Starts a KCDSA unit under the digest the algorithm's row names (SHA-1 for
// kcdsa1WithSHA1 whatever the key's size), or the library's choice for the
// key when the row names none.
int initKcdsa(KCDSA_UNIT* key, int row, bool signing) {
    const int digest = get_DigestID_from_OID(row);
    return digest ? VSC_Init_KCDSA_Ex(key, signing ? 1 : 0, digest) : VSC_Init_KCDSA(key, signing ? 1 : 0);
}

bool bytesToBitString(const unsigned char* bytes, int len, BIT_STRING** out) {
    BIT_STRING* bits = binaryToBIT_STRING(bytes, len);
    if (!bits) return false;
    bits->extra = 0;
    *out = bits;
    return true;
}

}  // namespace

namespace zpki::x509 {

PKI_ERROR signRsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, RSA_UNIT* key, BIT_STRING** sig,
                  unsigned libFunc) {
    if (!dataLengthOk(data, len) || !alg || !key || !sig) return fail(libFunc, ERR_R_NULL_ARGUMENT);
    RsaScheme scheme;
    if (!rsaScheme(alg, nullptr, true, scheme)) return fail(libFunc, ERR_R_INVALID_ELEMENT);
    return signRsaScheme(data, len, scheme, key, sig, libFunc);
}

PKI_ERROR signRsaScheme(const uint8_t* data, size_t len, const RsaScheme& scheme, RSA_UNIT* key, BIT_STRING** sig,
                        unsigned libFunc) {
    if (!dataLengthOk(data, len) || !key || !sig) return fail(libFunc, ERR_R_NULL_ARGUMENT);
    if (scheme.digest == 0 || (scheme.pss && (scheme.saltLength < 0 || scheme.saltLength > kMaxSalt)))
        return fail(libFunc, ERR_R_INVALID_ELEMENT);
    if (int rc = startRsaScheme(key, scheme, true)) return rc;
    if (int rc = VSC_Update_RSASSA(key, data, static_cast<int>(len))) return rc;
    const int modulus = VSC_Get_RSA_Length(key);
    if (modulus <= 0) return fail(libFunc, ERR_R_INVALID_ELEMENT);
    ber::Bytes buffer(static_cast<size_t>(modulus) + 1);
    int outLen = static_cast<int>(buffer.size());
    if (int rc = VSC_Final_RSASSA(key, buffer.data(), &outLen)) return rc;
    if (outLen <= 0 || outLen > modulus) return fail(libFunc, ERR_ASN1_ENCODING);
    return bytesToBitString(buffer.data(), outLen, sig) ? 0 : fail(libFunc, ERR_R_ALLOC_3C);
}

PKI_ERROR signKcdsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, KCDSA_UNIT* key, BIT_STRING** sig,
                    unsigned libFunc) {
    if (!dataLengthOk(data, len) || !alg || !key || !sig) return fail(libFunc, ERR_R_NULL_ARGUMENT);
    const int row = rowOf(alg);
    if (get_DigestID_from_OID(row) == 0 || get_CipherID_from_OID(row) != VSC_PKEY_KCDSA)
        return fail(libFunc, ERR_R_INVALID_ELEMENT);
    // R is at most a digest long, S as long as q: room for either, whatever
    // digest the key's q brings (20 bytes for HAS-160, 32 for SHA-256, ...).
    const int q = VSC_Get_KCDSA_Length(key);
    if (q <= 0) return fail(libFunc, ERR_R_INVALID_ELEMENT);
    const size_t room = std::max<size_t>(2 * static_cast<size_t>(q) + 1, VSC_MAX_DIGEST_LENGTH);
    ber::Bytes r(room), s(room);
    int rLen = static_cast<int>(room), sLen = static_cast<int>(room);
    if (int rc = initKcdsa(key, row, true)) return rc;
    if (int rc = VSC_Update_KCDSA(key, data, static_cast<int>(len))) return rc;
    if (int rc = VSC_Final_KCDSA(key, r.data(), &rLen, s.data(), &sLen)) return rc;
    if (rLen <= 0 || sLen <= 0 || static_cast<size_t>(rLen) > room || static_cast<size_t>(sLen) > room)
        return fail(libFunc, ERR_ASN1_ENCODING);
    unsigned char* value = nullptr;
    const int n = encode_KCDSASignatureValue(&value, r.data(), rLen, s.data(), sLen);
    VscPtr<unsigned char> owned(value);
    if (!value || n <= 0) return fail(libFunc, ERR_ASN1_ENCODING);
    return bytesToBitString(value, n, sig) ? 0 : fail(libFunc, ERR_R_ALLOC_3C);
}

PKI_ERROR verifyRsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, const ASN1_STRING* params,
                    const BIT_STRING* sig, RSA_UNIT* key, unsigned libFunc) {
    if (!dataLengthOk(data, len) || !alg || !sig || !key) return fail(libFunc, ERR_R_NULL_ARGUMENT);
    RsaScheme scheme;
    if (!rsaScheme(alg, params, false, scheme) || sig->extra != 0 || sig->length <= 0 || !sig->data)
        return fail(libFunc, ERR_R_INVALID_ELEMENT);
    if (int rc = startRsaScheme(key, scheme, false)) return rc;
    if (int rc = VSC_Update_RSASSA(key, data, static_cast<int>(len))) return rc;
    int sigLen = sig->length;
    return VSC_Final_RSASSA(key, sig->data, &sigLen);
}

PKI_ERROR verifyKcdsa(const uint8_t* data, size_t len, const OBJECT_IDENTIFIER* alg, const BIT_STRING* sig,
                      KCDSA_UNIT* key, unsigned libFunc) {
    if (!dataLengthOk(data, len) || !alg || !sig || !key) return fail(libFunc, ERR_R_NULL_ARGUMENT);
    const int row = rowOf(alg);
    if (get_CipherID_from_OID(row) != VSC_PKEY_KCDSA) return fail(libFunc, ERR_R_INVALID_ELEMENT);
    const int q = VSC_Get_KCDSA_Length(key);
    if (q <= 0) return fail(libFunc, ERR_R_INVALID_ELEMENT);
    const size_t room = std::max<size_t>(2 * static_cast<size_t>(q) + 1, VSC_MAX_DIGEST_LENGTH);
    ber::Bytes r(room), s(room);
    int rLen = static_cast<int>(room), sLen = static_cast<int>(room);
    if (sig->extra != 0 || sig->length <= 0 || !sig->data ||
        decode_KCDSASignatureValue(r.data(), &rLen, s.data(), &sLen, sig->data, sig->length) != 0)
        return fail(libFunc, ERR_ASN1_DECODING);
    if (int rc = initKcdsa(key, row, false)) return rc;
    if (int rc = VSC_Update_KCDSA(key, data, static_cast<int>(len))) return rc;
    return VSC_Final_KCDSA(key, r.data(), &rLen, s.data(), &sLen);
}

bool pssScheme(const ASN1_STRING* params, RsaScheme& out) {
    Pss pss;
    // Our crypto library masks with the message digest. The salt length is
    // checked exactly, 0 included: a verifier that took any length would
    // pass signatures the parameters rule out.
    if (!readPss(params, pss) || pss.mgfDigest != pss.digest || pss.trailer != 1 || pss.salt > kMaxSalt) return false;
    out = {pss.digest, true, static_cast<int>(pss.salt)};
    return true;
}

int startRsaScheme(RSA_UNIT* key, const RsaScheme& scheme, bool sign) {
    return scheme.pss ? VSC_Init_RSASSA_PSS(key, scheme.digest, scheme.saltLength, sign ? 1 : 0)
                      : VSC_Init_RSASSA(key, scheme.digest, VSC_RSASSA_PKCS1_V15, sign ? 1 : 0);
}

bool oaepDigest(const ASN1_STRING* params, int& digest) {
    digest = VSC_DIGEST_SHA1;
    if (!params || params->type == ASN1_TAG_NULL) return true;
    Node node = zpki::asn1::sequenceOf(params);
    RSAES_OAEP_PARAM* oaep = nullptr;
    if (!node || Seq_to_RSAES_OAEP_PARAM(node.get(), &oaep) != 0) return false;
    Owned<RSAES_OAEP_PARAM, free_RSAES_OAEP_PARAM> owned(oaep);
    int mgfDigest = VSC_DIGEST_SHA1;
    if (oaep->hashAlgorithm && !(digest = digestOf(oaep->hashAlgorithm))) return false;
    if (const X509_ALGO_IDENTIFIER* mgf = oaep->maskGenAlgorithm) {
        if (rowOf(mgf->algorithm) != kRowMgf1 || !(mgfDigest = digestOfParameters(mgf->parameters))) return false;
    }
    if (const X509_ALGO_IDENTIFIER* source = oaep->pSourceAlgorithm) {
        const ASN1_STRING* label = source->parameters;
        if (rowOf(source->algorithm) != kRowPSpecified || !label || label->type != ASN1_TAG_OCTET_STRING ||
            label->length != 0)
            return false;
    }
    return mgfDigest == digest;
}

bool appendAlgorithm(ASN1_UNIT* parent, const OBJECT_IDENTIFIER* oid, const ASN1_STRING* params) {
    Node alg(new_ASN1_UNIT());
    if (!alg || !oid || !Oid::encode(const_cast<OBJECT_IDENTIFIER*>(oid), alg.get())) return false;
    if (params) {
        if (!AnyString::encode(const_cast<ASN1_STRING*>(params), alg.get())) return false;
    } else if (!parametersAbsent(oid)) {
        if (addToDERSequence(alg.get(), ASN1_TAG_NULL, nullptr, 0) != 0) return false;
    }
    return appendNode(parent, alg.release());
}

bool writeAlgorithm(asn1::Writer& w, const OBJECT_IDENTIFIER* oid, const ASN1_STRING* params) {
    if (!oid) return false;
    const size_t start = w.open(0x30);
    if (!Oid::write(const_cast<OBJECT_IDENTIFIER*>(oid), w)) return false;
    if (params) {
        if (!AnyString::write(const_cast<ASN1_STRING*>(params), w)) return false;
    } else if (!parametersAbsent(oid) && !w.element(ASN1_TAG_NULL, nullptr, 0)) {
        return false;
    }
    return w.close(start);
}

bool readAlgorithm(const der::Element& e, OBJECT_IDENTIFIER*& oid, ASN1_STRING*& params) {
    if (e.identifier != 0x30) return false;
    Decoder d(der::Cursor(e.contents, e.contentsSize));
    der::Element o, p;
    if (!d.next(o) || !Oid::matches(o.identifier)) return false;
    const bool hasParams = d.more();
    if (hasParams && (!d.next(p) || d.more())) return false;
    String madeOid, madeParams;
    ASN1_STRING* x = nullptr;
    if (!Oid::decodeContents(o, x)) return false;
    madeOid.reset(x);
    if (hasParams) {
        x = nullptr;
        if (!AnyString::decodeContents(p, x)) return false;
        madeParams.reset(x);
    }
    oid = madeOid.release();
    params = madeParams.release();
    return true;
}

}  // namespace zpki::x509
