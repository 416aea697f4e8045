// The texts of a certificate's extensions in the information record.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <zunCore/error.h>
#include <zunCore/x509_info.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/vid.h>
#include <zunPKI/x509/x509v3_constraints.h>
#include <zunPKI/x509/x509v3_crldp.h>
#include <zunPKI/x509/x509v3_gn.h>
#include <zunPKI/x509/x509v3_policy.h>

#include "crypto/x509_internal.hpp"
#include "util/core_internal.hpp"

using namespace zcore::x509;

namespace {

constexpr int code(int reason) { return VCL_CORE_CODE(VCL_CAT_X509_MK_EXTSTR, reason); }

// What a body gave: its text, or nothing (it does not decode, holds what no
// C text can carry, or outgrows its limit), which leaves the field NULL.
using Text = std::optional<std::string>;

// An extension body decoded by its typed decoder; null when it does not.
template <typename T, void (*Free)(T*)>
Own<T, Free> body(const OCTET_STRING* value, PKI_ERROR (*decoder)(const ASN1_UNIT*, T**)) {
    if (!value || !value->data || value->length <= 0) return Own<T, Free>();
    Node node(decodeToDERSequence(value->data, value->length));
    T* made = nullptr;
    if (!node || decoder(node.get(), &made) != 0) {
        Free(made);
        return Own<T, Free>();
    }
    return Own<T, Free>(made);
}

// The characters of a string that no NUL interrupts.
bool plain(const ASN1_STRING* s, std::string& out) {
    out.clear();
    if (!s) return false;
    if (!s->data || s->length <= 0) return true;
    if (std::memchr(s->data, 0, static_cast<size_t>(s->length))) return false;
    out.assign(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length));
    return true;
}

const char* dotted(const OBJECT_IDENTIFIER* oid) {
    const OID_TABLE* row = OID_LIST(oid ? index_from_OBJECT_IDENTIFIER(oid) : 0);
    return row && row->oid ? row->oid : OID_LIST(0)->oid;
}

std::string dotted(const ASN1_STRING* oid, bool asGiven) {
    if (asGiven && oid && oid->data) return std::string(reinterpret_cast<const char*>(oid->data), oid->length);
    return dotted(oid);
}

std::string dumpBig(const BIGINT* n) {
    zcore::VscPtr<char> text(n ? VSC_Dump_BIGINT(n) : nullptr);
    return text ? std::string(text.get()) : std::string();
}

void addItem(std::string& text, char sep, std::string_view item) {
    if (!text.empty()) text += sep;
    text += item;
}

// ---- The bodies ------------------------------------------------------------

Text keyIdentifier(const OCTET_STRING* value) {
    if (!value || !value->data) return std::nullopt;
    String id(decodeToDEROctetString(value->data, value->length));
    if (!id) return std::nullopt;
    return hexJoined(id->data, id->length);
}

Text keyUsage(const OCTET_STRING* value) {
    if (!value || !value->data) return std::nullopt;
    String bits(decodeToDERBitString(value->data, value->length));
    if (!bits) return std::nullopt;
    return hexJoined(bits->data, bits->length);
}

// The identity data's text: "KISA_ID_DATA", its holder's name, then with an
// idType the VID's parts.
Text identityText(const OTHERNAME* name, char sep) {
    const ASN1_STRING* v = name->value;
    if (!v || !v->data || v->length <= 0) return std::string();
    Node node(decodeToDERSequence(v->data, v->length));
    KISA_IDENTIFY_DATA* raw = nullptr;
    if (!node || Seq_to_KISA_IDENTIFY_DATA(node.get(), &raw) != 0) {
        free_KISA_IDENTIFY_DATA(raw);
        return std::string();  // an otherName that is not identity data shows nothing
    }
    Own<KISA_IDENTIFY_DATA, free_KISA_IDENTIFY_DATA> data(raw);
    std::string realName;
    if (!valueText(data->realName, realName)) return std::nullopt;
    std::string text = "KISA_ID_DATA";
    text += sep;
    text += realName;
    text += sep;
    if (data->idType) {
        const OID_TABLE* row = OID_LIST(index_from_OBJECT_IDENTIFIER(data->idType));
        const VID* vid = data->vid;
        text += dotted(data->idType, true);
        text += sep;
        text += "VID";
        text += sep;
        if (vid && vid->hashAlgorithm) text += dotted(vid->hashAlgorithm, true);
        text += sep;
        text += row && row->sn ? row->sn : OID_LIST(0)->sn;
        text += sep;
        if (vid && vid->virtualID) text += hexJoined(vid->virtualID->data, vid->virtualID->length);
    }
    return text;
}

// nullopt with *undecodable set when the names do not decode.
Text subjectAltName(const OCTET_STRING* value, char sep, bool& undecodable) {
    auto names = body<GENERAL_NAMES, free_GENERAL_NAMES>(value, Seq_to_GENERAL_NAMES);
    if (!names) {
        undecodable = true;
        return std::nullopt;
    }
    std::string text;
    const int count = get_STACK_count(names.get());
    for (int i = 0; i < count; ++i) {
        if (i) text += sep;
        const auto* gn = static_cast<const GENERAL_NAME*>(get_STACK_value(names.get(), i));
        if (!gn || !gn->value) continue;
        if (gn->type == GENERAL_NAME_URI) {
            std::string uri;
            if (!plain(static_cast<const ASN1_STRING*>(gn->value), uri)) return std::nullopt;
            const std::string_view trimmed = zcore::trimmed(uri);
            if (trimmed.size() > VCL_X509_URI_MAX) return std::nullopt;
            text += "URI";
            text += sep;
            text += trimmed;
        } else if (gn->type == GENERAL_NAME_OTHER_NAME) {
            const auto* on = static_cast<const OTHERNAME*>(gn->value);
            if (!on->typeId || !on->typeId->data ||
                std::string_view(reinterpret_cast<const char*>(on->typeId->data),
                                 static_cast<size_t>(on->typeId->length)) != kIdentityDataOid)
                continue;
            Text identity = identityText(on, sep);
            if (!identity) return std::nullopt;
            text += *identity;
        }
    }
    return text;
}

// The policies' text; policyIds the identifiers one after another (nullopt
// past its limit).
Text policies(const OCTET_STRING* value, char sep, Text& ids) {
    auto list = body<CERTIFICATE_POLICIES, free_CERTIFICATE_POLICIES>(value, Seq_to_CERTIFICATE_POLICIES);
    ids = std::nullopt;
    if (!list) return std::nullopt;
    std::string text, idText, part;
    const int count = get_STACK_count(list.get());
    for (int i = 0; i < count; ++i) {
        const auto* pi = static_cast<const POLICY_INFO*>(get_STACK_value(list.get(), i));
        if (!pi || !pi->policyIdentifier) return std::nullopt;
        const std::string id = dotted(pi->policyIdentifier, true);
        if (i) text += sep;
        text += "PI=" + id;
        idText += id;
        const int nq = get_STACK_count(pi->qualifiers);
        for (int q = 0; q < nq; ++q) {
            const auto* pq = static_cast<const POLICY_QUALIFIER_INFO*>(get_STACK_value(pi->qualifiers, q));
            if (!pq || !pq->qualifier) continue;
            // What the qualifier holds decides, not what its identifier says.
            const int row = index_from_OBJECT_IDENTIFIER(pq->policyQualifierId);
            if (row == kRowCps && pq->kind == POLICY_QUALIFIER_CPS) {
                if (!plain(static_cast<const ASN1_STRING*>(pq->qualifier), part)) return std::nullopt;
                text += ",CPS=" + part;
            } else if (row == kRowUserNotice && pq->kind == POLICY_QUALIFIER_USER_NOTICE) {
                const auto* notice = static_cast<const USER_NOTICE*>(pq->qualifier);
                text += ",USER_NOTICE=";
                if (const NOTICE_REFERENCE* ref = notice->noticeRef) {
                    if (!valueText(ref->organization, part)) return std::nullopt;
                    text += ",O=" + part;
                    const int nn = get_STACK_count(ref->noticeNumbers);
                    for (int k = 0; k < nn; ++k)
                        text += dumpBig(static_cast<const BIGINT*>(get_STACK_value(ref->noticeNumbers, k)));
                }
                if (notice->explicitText) {
                    if (!valueText(notice->explicitText, part)) return std::nullopt;
                    text += ",Text=" + part;
                }
            }
        }
    }
    if (idText.size() <= VCL_X509_POLICY_IDS_MAX) ids = idText;
    return text;
}

Text authorityKeyId(const OCTET_STRING* value) {
    auto akid = body<AUTHORITY_KEYID, free_AUTHORITY_KEYID>(value, Seq_to_AUTHORITY_KEYID);
    if (!akid) return std::nullopt;
    std::string text;
    if (akid->keyIdentifier) text = "KeyID=" + hexJoined(akid->keyIdentifier->data, akid->keyIdentifier->length);
    // The bar belongs to the text, whatever the record's separator.
    if (akid->authorityCertSerialNumber) text += "|Serial=" + dumpBig(akid->authorityCertSerialNumber);
    const auto* first = static_cast<const GENERAL_NAME*>(get_STACK_value(akid->authorityCertIssuer, 0));
    if (first && first->type == GENERAL_NAME_DIRECTORY && first->value) {
        std::string dn;
        if (nameText(static_cast<const X509_NAME*>(first->value), dn) != 0) return std::nullopt;
        text += dn;
    }
    return text;
}

// The URIs of general names, each as prefix and URI; false for a URI no C
// text can carry.
bool uris(const GENERAL_NAMES* names, const char* prefix, char sep, std::string& text) {
    const int count = get_STACK_count(names);
    std::string uri;
    for (int i = 0; i < count; ++i) {
        const auto* gn = static_cast<const GENERAL_NAME*>(get_STACK_value(names, i));
        if (!gn || gn->type != GENERAL_NAME_URI || !gn->value) continue;
        if (!plain(static_cast<const ASN1_STRING*>(gn->value), uri)) return false;
        addItem(text, sep, prefix + uri);
    }
    return true;
}

Text crlDistPoints(const OCTET_STRING* value, char sep) {
    if (!value || !value->data || value->length <= 0) return std::nullopt;
    Node node(decodeToDERSequence(value->data, value->length));
    if (!node) return std::nullopt;
    std::string text, part;
    const int count = getSequenceChildNum(node.get());
    for (int i = 0; i < count; ++i) {
        // Each element alone: one that does not decode is passed over.
        Node element(static_cast<ASN1_UNIT*>(getDERChildAt(node.get(), i, ASN1_TAG_SEQUENCE)));
        CRL_DIST_POINTS* raw = nullptr;
        if (!element || Seq_to_CRL_DIST_POINTS(element.get(), &raw) != 0) {
            free_CRL_DIST_POINTS(raw);
            continue;
        }
        Own<CRL_DIST_POINTS, free_CRL_DIST_POINTS> points(raw);
        for (int p = 0; p < get_STACK_count(points.get()); ++p) {
            const auto* dp = static_cast<const DIST_POINT*>(get_STACK_value(points.get(), p));
            if (!dp) continue;
            if (const DIST_POINT_NAME* name = dp->distributionPoint) {
                if (name->type == DIST_POINT_FULL_NAME) {
                    if (!uris(static_cast<const GENERAL_NAMES*>(name->value), "DP=", sep, text)) return std::nullopt;
                } else if (name->type == DIST_POINT_RELATIVE_NAME) {
                    addItem(text, sep, "RELATIVE=");
                    const auto* rdn = static_cast<const X509_NAME*>(name->value);
                    for (int c = 0; c < get_X509_NAME_count(rdn); ++c) {
                        const X509_NAME_CHILD* e = get_X509_NAME_CHILD(rdn, c);
                        if (!e || !valueText(e->value, part)) return std::nullopt;
                        text += sep;
                        text += part;
                    }
                }
            }
            if (dp->reasons) addItem(text, sep, "REASON=" + hexJoined(dp->reasons->data, dp->reasons->length));
            if (!uris(dp->cRLIssuer, "CRLISSUER=", sep, text)) return std::nullopt;
        }
    }
    return text;
}

Text extKeyUsage(const OCTET_STRING* value, char sep) {
    auto purposes = body<EXTENDED_KEY_USAGE, free_EXTENDED_KEY_USAGE>(value, Seq_to_EXTENDED_KEY_USAGE);
    if (!purposes) return std::nullopt;
    std::string text;
    const int count = get_STACK_count(purposes.get());
    for (int i = 0; i < count; ++i) {
        if (i) text += sep;
        text += dotted(static_cast<const OBJECT_IDENTIFIER*>(get_STACK_value(purposes.get(), i)));
    }
    return text;
}

// The descriptions' text; uri the last URI among them.
Text authorityInfoAccess(const OCTET_STRING* value, char sep, Text& uri) {
    auto list = body<AUTHORITY_INFO_ACCESS, free_AUTHORITY_INFO_ACCESS>(value, Seq_to_AUTHORITY_INFO_ACCESS);
    uri = std::nullopt;
    if (!list) return std::nullopt;
    std::string text, location;
    const int count = get_STACK_count(list.get());
    for (int i = 0; i < count; ++i) {
        const auto* ad = static_cast<const ACCESS_DESCRIPTION*>(get_STACK_value(list.get(), i));
        if (!ad) continue;
        if (i) text += sep;
        // The long name: "OCSP", "CA Issuers", as openssl shows them.
        const OID_TABLE* row = OID_LIST(index_from_OBJECT_IDENTIFIER(ad->accessMethod));
        text += row && row->ln ? row->ln : OID_LIST(0)->ln;
        text += '=';
        const GENERAL_NAME* gn = ad->accessLocation;
        if (gn && gn->type == GENERAL_NAME_URI && gn->value) {
            if (!plain(static_cast<const ASN1_STRING*>(gn->value), location)) return std::nullopt;
            text += location;
            uri = location;
        }
    }
    return text;
}

// A field takes the text of the last occurrence of its extension: a text,
// or NULL for one that gave nothing or passed its limit.
bool store(char*& field, const Text& text, size_t limit = VCL_X509_EXT_TEXT_MAX) {
    if (!text || text->size() > limit) {
        std::free(field);
        field = nullptr;
        return true;
    }
    return setField(field, *text);
}

}  // namespace

extern "C" {

VCL_API int VCL_X509_mk_extstr(const X509_EXTENSION* ext, X509_Info* info) {
    if (!ext || !ext->extnID || !ext->extnID->data) return code(VCL_R_NULL_PARAM);
    if (!info) return code(VCL_R_OUTPUT_NULL);
    const int row = index_from_oid_string(reinterpret_cast<const char*>(ext->extnID->data), ext->extnID->length);
    const OCTET_STRING* value = ext->extnValue;
    const char sep = info->separator;
    bool ok = true;
    switch (row) {
        case kRowSubjectKeyId:
            ok = store(info->subjectKeyId, keyIdentifier(value));
            break;
        case kRowKeyUsage:
            ok = store(info->keyUsage, keyUsage(value));
            break;
        case kRowSubjectAltName: {
            bool undecodable = false;
            const Text text = subjectAltName(value, sep, undecodable);
            if (undecodable) return code(VCL_R_GENERAL_NAMES);
            ok = store(info->subjectAltName, text);
            break;
        }
        case kRowPolicies: {
            Text ids;
            const Text text = policies(value, sep, ids);
            ok = store(info->policies, text) && store(info->policyIds, text ? ids : std::nullopt);
            break;
        }
        case kRowAuthorityKeyId:
            ok = store(info->authorityKeyId, authorityKeyId(value));
            break;
        case kRowCrlDistPoints:
            ok = store(info->crlDistPoints, crlDistPoints(value, sep));
            break;
        case kRowExtKeyUsage:
            ok = store(info->extKeyUsage, extKeyUsage(value, sep));
            break;
        case kRowAuthorityInfoAccess: {
            Text uri;
            Text text = authorityInfoAccess(value, sep, uri);
            if (!text || text->size() > VCL_X509_EXT_TEXT_MAX) uri = std::nullopt;
            ok = store(info->authorityInfoAccess, text) && store(info->authorityInfoURI, uri);
            break;
        }
        default:
            // Constraints, mappings and the rest have no field.
            break;
    }
    return ok ? 0 : code(VCL_R_MALLOC);
}

VCL_API int VCL_X509_parse_extensions(const X509_EXTENSIONS* list, X509_Info* info) {
    const auto fail = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_PARSE_EXTENSIONS, r); };
    if (!list) return fail(VCL_R_NULL_PARAM);
    if (!info) return fail(VCL_R_OUTPUT_NULL);
    const int count = get_X509_EXTENSION_count(list);
    for (int i = 0; i < count; ++i) {
        const int rc = VCL_X509_mk_extstr(get_X509_EXTENSION(list, i), info);
        if (rc != 0) return rc;
    }
    return 0;
}

}  // extern "C"
