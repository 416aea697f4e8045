// Identity data and the VID check.
#include <zunPKI/x509/vid.h>

#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "x509/x509v3_body.hpp"

using namespace zpki::asn1;
using namespace zpki::x509v3;
using zpki::Owned;

namespace {

constexpr int kRowSubjectAltName = 85;

// An AlgorithmIdentifier of which only the OID is kept: written as
// SEQUENCE { OID }, read whatever parameters follow.
struct AlgorithmOid : Oid {
    static bool matches(uint8_t id) { return id == 0x30; }
    static bool decodeContents(const Element& e, Value& out) {
        if (!e.constructed()) return false;
        Decoder d(zpki::der::Cursor(e.contents, e.contentsSize));
        Element oid;
        return d.next(oid) && Oid::matches(oid.identifier) && Oid::decodeContents(oid, out);
    }
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        ASN1_UNIT* node = new_ASN1_UNIT();
        if (!node || !Oid::encode(v, node)) {
            free_ASN1_UNIT(node);
            return false;
        }
        node->tag[0] = 0x30;
        return appendNode(parent, node);
    }
};

}  // namespace

template <>
struct zpki::asn1::Describe<VID> {
    using Shape =
        Sequence<Field<&VID::hashAlgorithm, AlgorithmOid>, Field<&VID::virtualID, Optional<Explicit<0, OctetString>>>>;
};
// The record's members; the wire form is written by hand below.
template <>
struct zpki::asn1::Describe<KISA_IDENTIFY_DATA> {
    using Shape =
        Sequence<Field<&KISA_IDENTIFY_DATA::realName, Utf8String>, Field<&KISA_IDENTIFY_DATA::idType, Optional<Oid>>,
                 Field<&KISA_IDENTIFY_DATA::vid, Optional<Sub<VID>>>>;
};
ZPKI_STRUCT_LIFECYCLE(VID)
ZPKI_STRUCT_LIFECYCLE(KISA_IDENTIFY_DATA)

namespace {

// IdentifyData: realName, then the first UserInfo of userInfos.
int identifyDataFrom(const Element& e, KISA_IDENTIFY_DATA& r) {
    const int n = childCount(e);
    if (n != 1 && n != 2) return ERR_R_INVALID_ELEMENT;
    Decoder d(zpki::der::Cursor(e.contents, e.contentsSize));
    Element name;
    if (!d.next(name) || !Utf8String::matches(name.identifier) || !Utf8String::decodeContents(name, r.realName))
        return ERR_ASN1_DECODING;
    if (n == 1) return 0;
    Element infos, info, idType, vid;
    if (!d.next(infos) || infos.identifier != 0x30) return ERR_ASN1_DECODING;
    Decoder entries(zpki::der::Cursor(infos.contents, infos.contentsSize));
    if (!entries.next(info) || info.identifier != 0x30) return ERR_ASN1_DECODING;
    Decoder fields(zpki::der::Cursor(info.contents, info.contentsSize));
    if (!fields.next(idType) || !Oid::matches(idType.identifier) || !Oid::decodeContents(idType, r.idType))
        return ERR_ASN1_DECODING;
    if (!fields.more()) return 0;
    if (!fields.next(vid) || !Sub<VID>::matches(vid.identifier)) return ERR_ASN1_DECODING;
    const int parts = childCount(vid);
    if (parts != 1 && parts != 2) return PKI_ERR(L_X509V3, F_SEQ_TO_VID, ERR_R_INVALID_ELEMENT);
    return Sub<VID>::decodeContents(vid, r.vid) ? 0 : PKI_ERR(L_X509V3, F_SEQ_TO_VID, ERR_ASN1_DECODING);
}

int identifyDataInto(const KISA_IDENTIFY_DATA& r, ASN1_UNIT* node) {
    if (!r.realName || (r.vid && !r.idType)) return ERR_R_INVALID_ELEMENT;
    if (!Utf8String::encode(r.realName, node)) return ERR_ASN1_ENCODING;
    if (!r.idType) return 0;
    // userInfos SEQUENCE { UserInfo SEQUENCE { idType, VID } }
    Owned<ASN1_UNIT, free_ASN1_UNIT> info(new_ASN1_UNIT()), infos(new_ASN1_UNIT());
    if (!info || !infos) return ERR_R_ALLOC_3C;
    if (!Oid::encode(r.idType, info.get()) || (r.vid && !Sub<VID>::encode(r.vid, info.get()))) return ERR_ASN1_ENCODING;
    info->tag[0] = 0x30;
    if (!appendNode(infos.get(), info.release())) return ERR_ASN1_ENCODING;
    infos->tag[0] = 0x30;
    return appendNode(node, infos.release()) ? 0 : ERR_ASN1_ENCODING;
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR Seq_to_VID(const ASN1_UNIT* node, VID** vid) {
    return fromSeqCounted(node, vid, L_X509V3 | F_SEQ_TO_VID, 1, 2);
}

ZUNPKI_API PKI_ERROR VID_to_Seq(const VID* vid, ASN1_UNIT** node) {
    return Family<VID>::toSeq(vid, node, L_X509V3 | F_VID_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_KISA_IDENTIFY_DATA(const ASN1_UNIT* node, KISA_IDENTIFY_DATA** data) {
    return decodeRecord<KISA_IDENTIFY_DATA, free_KISA_IDENTIFY_DATA, clean_KISA_IDENTIFY_DATA>(
        node, data, L_X509V3 | F_SEQ_TO_KISA_IDENTIFY_DATA, identifyDataFrom);
}

ZUNPKI_API PKI_ERROR KISA_IDENTIFY_DATA_to_Seq(const KISA_IDENTIFY_DATA* data, ASN1_UNIT** node) {
    constexpr unsigned kEncode = L_X509V3 | F_KISA_IDENTIFY_DATA_TO_SEQ;
    if (!data || !node) return code(kEncode, ERR_R_NULL_ARGUMENT);
    return zpki::x509::encodeInto(node, kEncode, 0x30,
                                  [data](ASN1_UNIT* target) { return identifyDataInto(*data, target); });
}

ZUNPKI_API PKI_ERROR get_KISA_IDENTIFY_DATA_from_extensions(const X509_EXTENSIONS* extensions,
                                                            KISA_IDENTIFY_DATA** data) {
    constexpr unsigned kCheck = L_X509V3 | F_CHECK_VID;
    if (!extensions || !data) return code(kCheck, ERR_R_NULL_ARGUMENT);
    using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
    for (int i = 0; i < extensions->count; ++i) {
        const auto* ext = static_cast<const X509_EXTENSION*>(extensions->items[i]);
        if (!ext || !ext->extnValue || index_from_OBJECT_IDENTIFIER(ext->extnID) != kRowSubjectAltName) continue;
        Node body(decodeToDERSequence(ext->extnValue->data, ext->extnValue->length));
        GENERAL_NAMES* decoded = nullptr;
        if (!body || Seq_to_GENERAL_NAMES(body.get(), &decoded) != 0) continue;
        Owned<GENERAL_NAMES, free_GENERAL_NAMES> names(decoded);
        // Each otherName in turn: its type is not looked at, its value decides.
        for (int j = 0; j < names->count; ++j) {
            const auto* gn = static_cast<const GENERAL_NAME*>(names->items[j]);
            const auto* other =
                gn->type == GENERAL_NAME_OTHER_NAME ? static_cast<const OTHERNAME*>(gn->value) : nullptr;
            if (!other || !other->value) continue;
            Node value(decodeToDERSequence(other->value->data, other->value->length));
            KISA_IDENTIFY_DATA* found = nullptr;
            if (value && Seq_to_KISA_IDENTIFY_DATA(value.get(), &found) == 0) {
                *data = found;
                return 0;
            }
        }
    }
    return code(kCheck, ERR_NOT_FOUNDED);
}

ZUNPKI_API PKI_ERROR check_VID_extensions(const X509_EXTENSIONS* extensions, const unsigned char* random, int randomLen,
                                          const char* idn, int idnLen) {
    constexpr unsigned kCheck = L_X509V3 | F_CHECK_VID;
    if (!extensions || !random || !idn || randomLen < 0 || idnLen < 0) return code(kCheck, ERR_R_NULL_ARGUMENT);
    KISA_IDENTIFY_DATA* found = nullptr;
    if (const PKI_ERROR rc = get_KISA_IDENTIFY_DATA_from_extensions(extensions, &found)) return rc;
    Owned<KISA_IDENTIFY_DATA, free_KISA_IDENTIFY_DATA> data(found);
    const VID* vid = data->vid;
    if (!vid || !vid->virtualID) return code(kCheck, ERR_NOT_FOUNDED);
    const char* hashName = ln_from_index(index_from_OBJECT_IDENTIFIER(vid->hashAlgorithm));
    if (!hashName) return code(kCheck, ERR_NOT_FOUNDED);

    // The hash input: DER of SEQUENCE { idn PrintableString, random BIT STRING }.
    // It carries the identification number, so every copy of it is wiped when
    // freed (the crypto layer's allocator zeroes what it releases).
    Owned<ASN1_STRING, free_ASN1_STRING> number(new_PRINTABLE_STRING(idn, idnLen));
    if (!number) return code(kCheck, ERR_R_ALLOC_3C);
    Owned<ASN1_STRING, free_ASN1_STRING> bits(binaryToBIT_STRING(random, randomLen));
    Owned<ASN1_UNIT, free_ASN1_UNIT> input(new_ASN1_UNIT());
    if (!bits || !input) return code(kCheck, ERR_R_ALLOC_3C);
    zpki::ber::Bytes der;
    // Both elements always: a list append of an empty value would empty the
    // SEQUENCE and leave the idn out of the hash.
    if (addToDERSequence(input.get(), ASN1_TAG_PRINTABLE_STRING, number.get(), number->length) != 0 ||
        addToDERSequence(input.get(), ASN1_TAG_BIT_STRING, bits.get(), bits->length) != 0 ||
        !zpki::ber::serialize(input.get(), der))
        return code(kCheck, ERR_ASN1_DECODING);

    const int id = VSC_Get_DIGEST_Alg_ID_By_Name(hashName);
    const int length = id ? VSC_Get_DIGEST_Length(id) : -1;
    if (length <= 0) return code(kCheck, 0x22);
    zpki::VscPtr<unsigned char> once(static_cast<unsigned char*>(PKI_CALLOC(static_cast<size_t>(length) + 1, 1)));
    zpki::VscPtr<unsigned char> twice(static_cast<unsigned char*>(PKI_CALLOC(static_cast<size_t>(length) + 1, 1)));
    if (!once || !twice) return code(kCheck, ERR_R_ALLOC);
    Owned<DIGEST_UNIT, VSC_Free_DIGEST_Unit> unit(VSC_New_DIGEST_Unit());
    if (!unit) return code(kCheck, ERR_R_ALLOC_3C);
    int onceLen = 0, twiceLen = 0;
    if (VSC_Init_DIGEST(unit.get(), id) != VSC_OK) return code(kCheck, 0x22);
    if (VSC_Update_DIGEST(unit.get(), der.data(), static_cast<int>(der.size())) != VSC_OK) return code(kCheck, 0x5b);
    if (VSC_Final_DIGEST(unit.get(), once.get(), &onceLen) != VSC_OK) return code(kCheck, 0x18);
    // The finish leaves the unit started again: the second pass hashes the first.
    if (VSC_Update_DIGEST(unit.get(), once.get(), onceLen) != VSC_OK) return code(kCheck, 0x5b);
    if (VSC_Final_DIGEST(unit.get(), twice.get(), &twiceLen) != VSC_OK) return code(kCheck, 0x18);

    if (vid->virtualID->length != twiceLen) return code(kCheck, ERR_INVALID_VID_LENGTH);
    if (std::memcmp(vid->virtualID->data, twice.get(), static_cast<size_t>(twiceLen)) != 0)
        return code(kCheck, ERR_INVALID_VID_DATA);
    return 0;
}

ZUNPKI_API PKI_ERROR check_VID(const X509_CERT* cert, const unsigned char* random, int randomLen, const char* idn,
                               int idnLen) {
    if (!cert || !cert->tbs || !cert->tbs->extensions) return PKI_ERR(L_X509V3, F_CHECK_VID, ERR_R_NULL_ARGUMENT);
    return check_VID_extensions(cert->tbs->extensions, random, randomLen, idn, idnLen);
}

}  // extern "C"
