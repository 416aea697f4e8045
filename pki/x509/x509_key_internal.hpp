// Keys inside the library: what the files of key records, key BIT STRINGs,
// SubjectPublicKeyInfo, curves and key-pair checks share.
#pragma once

#include <zunPKI/x509/x509_key.h>

#include <initializer_list>
#include <utility>

#include "asn1/asn1_struct.hpp"

namespace zpki::x509::keys {

using namespace zpki::asn1;
using zpki::Owned;
namespace ber = zpki::ber;
namespace der = zpki::der;

constexpr int kRowRsa = 6;
constexpr int kRowEcPublicKey = 408;
constexpr int kRowPrime256v1 = 415;
constexpr int kRowKcdsa = 782;

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Big = Owned<BIGINT, VSC_Free_BIGINT>;
using Rsa = Owned<RSA_UNIT, VSC_Free_RSA>;
using Kcdsa = Owned<KCDSA_UNIT, VSC_Free_KCDSA>;
using Ec = Owned<ECC_KEY, VSC_Free_ECC_Key>;
using Point = Owned<ECPOINT, VSC_Free_ECPOINT>;
using Curve = Owned<ECURVE, VSC_Free_ECURVE>;

constexpr PKI_ERROR x509Err(unsigned func, unsigned reason) { return PKI_ERR(L_X509, func, reason); }

// Elements and key BIT STRINGs (x509_key_bits.cpp).
bool soleElement(const uint8_t* p, size_t n, der::Element& e);
bool bitStringElement(const BIT_STRING* bits, der::Element& e);
bool isInteger(const der::Element& e);
BIGINT* integerOf(const der::Element& e);
void putBig(BIGINT*& slot, BIGINT* v);
bool bytesToBitString(const uint8_t* bytes, size_t len, BIT_STRING** bits);
bool integersToBitString(std::initializer_list<const BIGINT*> values, BIT_STRING** bits);
// The subjectPublicKey of a key object: public values only.
bool publicBits(int kind, const void* key, BIT_STRING** bits);

// Key objects by kind (x509_key_object.cpp).
void freeKeyObject(int kind, void* key);
void installKey(ASYMMETRIC_KEY* key, int kind, void* object);
bool dupInto(BIGINT*& slot, const BIGINT* v);
bool copySeed(KCDSA_UNIT* to, const unsigned char* seed, int len);
bool copyKcdsaGeneration(const KCDSA_UNIT* from, KCDSA_UNIT* to);
bool copyKcdsaValues(const KCDSA_UNIT* from, KCDSA_UNIT* to);
KCDSA_UNIT* dupKcdsa(const KCDSA_UNIT* from);
KCDSA_UNIT* kcdsaThroughSetter(const KCDSA_UNIT* from);
bool copyPoint(const ECPOINT* from, ECPOINT* to);
ECC_KEY* dupEcKey(const ECC_KEY* from);
int cmpBigs(std::initializer_list<std::pair<const BIGINT*, const BIGINT*>> pairs);
int cmpPoints(const ECPOINT* a, const ECPOINT* b);
int cmpCurves(const ECURVE* a, const ECURVE* b);
int cmpKeyObjects(int kind, const void* x, const void* y);

}  // namespace zpki::x509::keys
