// The extension print.
#include <zunPKI/x509/x509v3_print.h>

#include <cstdio>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/pki_mem.hpp"
#include <zunPKI/asn1/utils.h>
#include <zunPKI/x509/x509v3_constraints.h>
#include <zunPKI/x509/x509v3_crldp.h>
#include <zunPKI/x509/x509v3_policy.h>

using zpki::Owned;

namespace {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;

// The extension's body decoded by fromSeq; null when it does not decode.
template <class T, void (*Free)(T*)>
Owned<T, Free> body(const X509_EXTENSION* ext, PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**)) {
    Node node(decodeToDERSequence(ext->extnValue->data, ext->extnValue->length));
    T* made = nullptr;
    if (!node || fromSeq(node.get(), &made) != 0) return Owned<T, Free>();
    return Owned<T, Free>(made);
}

template <class T>
T* item(const STACK* list, int i) {
    return static_cast<T*>(get_STACK_value(list, i));
}

int count(const STACK* list) { return list ? list->count : 0; }

const char* dotted(const OBJECT_IDENTIFIER* oid) {
    return oid && oid->data ? reinterpret_cast<const char*>(oid->data) : "";
}

void printNumber(const char* label, const BIGINT* n) {
    if (!n) return;
    std::printf("%s\n", label);
    VSC_Print_BIGINT(n);
}

// Each URI of a name list, after its label.
void printUris(const GENERAL_NAMES* names, const char* label) {
    for (int i = 0; i < count(names); ++i) {
        const GENERAL_NAME* gn = item<GENERAL_NAME>(names, i);
        if (gn->type != GENERAL_NAME_URI || !gn->value) continue;
        std::printf("%s", label);
        print_ASN1STRING(static_cast<const ASN1_STRING*>(gn->value));
    }
}

void printEntries(const X509_NAME* name, const char* prefix) {
    for (int i = 0; i < get_X509_NAME_count(name); ++i) {
        std::printf("%s", prefix);
        print_ASN1STRING(get_X509_NAME_CHILD(name, i)->value);
    }
}

void printSubjectKeyId(const X509_EXTENSION* ext) {
    Owned<OCTET_STRING, free_OCTET_STRING> id(decodeToDEROctetString(ext->extnValue->data, ext->extnValue->length));
    if (!id) return;
    std::printf("  * SKey Id (VSC_SHA1 Hash Value) : ");
    print_ASN1STRING(id.get());
}

void printKeyUsage(const X509_EXTENSION* ext) {
    Owned<BIT_STRING, free_BIT_STRING> bits(decodeToDERBitString(ext->extnValue->data, ext->extnValue->length));
    if (!bits) return;
    std::printf("  * key_usage : ");
    VKL_print_hex(bits->data, bits->length);
}

void printAltName(const X509_EXTENSION* ext) {
    auto names = body<GENERAL_NAMES, free_GENERAL_NAMES>(ext, Seq_to_GENERAL_NAMES);
    for (int i = 0; i < count(names.get()); ++i) {
        const GENERAL_NAME* gn = item<GENERAL_NAME>(names.get(), i);
        if (gn->type == GENERAL_NAME_OTHER_NAME && gn->value)
            std::printf("  * OID = %s \n", dotted(static_cast<const OTHERNAME*>(gn->value)->typeId));
    }
}

void printBasicConstraints(const X509_EXTENSION* ext) {
    auto bc = body<BASIC_CONSTRAINTS, free_BASIC_CONSTRAINTS>(ext, Seq_to_BASIC_CONSTRAINTS);
    if (!bc) return;
    std::printf("  * BasicConstraints, CA = %x\n", static_cast<unsigned>(bc->cA));
    printNumber("  * BasicConstraints, pathLenConstraint", bc->pathLenConstraint);
}

void printPolicies(const X509_EXTENSION* ext) {
    auto policies = body<CERTIFICATE_POLICIES, free_CERTIFICATE_POLICIES>(ext, Seq_to_CERTIFICATE_POLICIES);
    for (int i = 0; i < count(policies.get()); ++i) {
        std::printf("  * Policy Mapping, issuerDomainPolicy\n");
        std::printf("%s=\n", dotted(item<POLICY_INFO>(policies.get(), i)->policyIdentifier));
    }
}

void printAuthorityKeyId(const X509_EXTENSION* ext) {
    auto akid = body<AUTHORITY_KEYID, free_AUTHORITY_KEYID>(ext, Seq_to_AUTHORITY_KEYID);
    if (!akid) return;
    if (akid->keyIdentifier) {
        std::printf("  * Key Id : ");
        VKL_print_hex(akid->keyIdentifier->data, akid->keyIdentifier->length);
    }
    if (akid->authorityCertSerialNumber) {
        std::printf("  * Serial : ");
        VSC_Print_BIGINT(akid->authorityCertSerialNumber);
    }
    const GENERAL_NAME* first =
        count(akid->authorityCertIssuer) ? item<GENERAL_NAME>(akid->authorityCertIssuer, 0) : nullptr;
    if (first && first->type == GENERAL_NAME_DIRECTORY)
        printEntries(static_cast<const X509_NAME*>(first->value), "      * ");
}

void printDistPoints(const X509_EXTENSION* ext) {
    auto points = body<CRL_DIST_POINTS, free_CRL_DIST_POINTS>(ext, Seq_to_CRL_DIST_POINTS);
    for (int i = 0; i < count(points.get()); ++i) {
        const DIST_POINT* dp = item<DIST_POINT>(points.get(), i);
        if (const DIST_POINT_NAME* name = dp->distributionPoint) {
            if (name->type == DIST_POINT_FULL_NAME) {
                printUris(static_cast<const GENERAL_NAMES*>(name->value), "  * DISTPOINT URI : ");
            } else {
                std::printf("  * DISTPOINT->relativename\n");
                printEntries(static_cast<const X509_NAME*>(name->value), "  * ");
            }
        }
        if (dp->reasons) {
            std::printf("  * Reason Flags\n");
            VKL_print_hex(dp->reasons->data, dp->reasons->length);
        }
        printUris(dp->cRLIssuer, "  * CRLissuer->URI\n");
    }
}

void printInfoAccess(const X509_EXTENSION* ext) {
    auto access = body<AUTHORITY_INFO_ACCESS, free_AUTHORITY_INFO_ACCESS>(ext, Seq_to_AUTHORITY_INFO_ACCESS);
    for (int i = 0; i < count(access.get()); ++i) {
        const ACCESS_DESCRIPTION* ad = item<ACCESS_DESCRIPTION>(access.get(), i);
        std::printf("  * OID = %s / %s\n", dotted(ad->accessMethod),
                    OID_LIST(index_from_OBJECT_IDENTIFIER(ad->accessMethod))->ln);
        const GENERAL_NAME* at = ad->accessLocation;
        if (at && at->type == GENERAL_NAME_URI && at->value) {
            std::printf("  * AuthorityInfoAccess uri : ");
            print_ASN1STRING(static_cast<const ASN1_STRING*>(at->value));
        }
    }
}

void printPolicyConstraints(const X509_EXTENSION* ext) {
    auto pc = body<POLICY_CONSTRAINTS, free_POLICY_CONSTRAINTS>(ext, Seq_to_POLICY_CONSTRAINTS);
    if (!pc) return;
    std::printf("  * PolicyConstraints : \n");
    printNumber("    PolicyConstraints->requireExplicitPolicy", pc->requireExplicitPolicy);
    printNumber("    PolicyConstraints->inhibitPolicyMapping", pc->inhibitPolicyMapping);
    if (!pc->requireExplicitPolicy && !pc->inhibitPolicyMapping) std::printf("    PolicyConstraints has no data\n");
}

void printNameConstraints(const X509_EXTENSION* ext) {
    auto nc = body<NAME_CONSTRAINTS, free_NAME_CONSTRAINTS>(ext, Seq_to_NAME_CONSTRAINTS);
    if (!nc) return;
    std::printf("  * NameConstraints : \n");
    if (count(nc->permittedSubtrees) == 0) return;
    std::printf("    NameConstraints->permittedSubtrees\n");
    for (int i = 0; i < count(nc->permittedSubtrees); ++i) {
        const GENERAL_SUBTREE* st = item<GENERAL_SUBTREE>(nc->permittedSubtrees, i);
        if (st->base && st->base->type == GENERAL_NAME_DNS && st->base->value) {
            std::printf("  * permittedSubtrees->DNS\n");
            print_ASN1STRING(static_cast<const ASN1_STRING*>(st->base->value));
        }
        if (st->minimum) VSC_Print_BIGINT(st->minimum);
        if (st->maximum) VSC_Print_BIGINT(st->maximum);
    }
}

void printPolicyMappings(const X509_EXTENSION* ext) {
    auto mappings = body<POLICY_MAPPINGS, free_POLICY_MAPPINGS>(ext, Seq_to_POLICY_MAPPINGS);
    for (int i = 0; i < count(mappings.get()); ++i) {
        std::printf("  * Policy Mapping, issuerDomainPolicy\n");
        std::printf(
            "%s=\n",
            OID_LIST(index_from_OBJECT_IDENTIFIER(item<POLICY_MAPPING>(mappings.get(), i)->issuerDomainPolicy))->sn);
    }
}

void printIssuingDistPoint(const X509_EXTENSION* ext) {
    auto idp = body<ISSUING_DIST_POINT, free_ISSUING_DIST_POINT>(ext, Seq_to_issuing_DIST_POINT);
    if (idp) std::printf("  * IssuingDistrubutionPoint : \n");
}

// The body printers by object-identifier row.
struct Printer {
    int row;
    void (*print)(const X509_EXTENSION*);
};
constexpr Printer kPrinters[] = {
    {82, printSubjectKeyId},     {83, printKeyUsage},        {85, printAltName},
    {87, printBasicConstraints}, {89, printPolicies},        {90, printAuthorityKeyId},
    {103, printDistPoints},      {177, printInfoAccess},     {401, printPolicyConstraints},
    {666, printNameConstraints}, {747, printPolicyMappings}, {770, printIssuingDistPoint},
};

}  // namespace

extern "C" {

ZUNPKI_API int print_X509_Extension(const X509_CERT* cert) {
    if (!cert || !cert->tbs || !cert->tbs->extensions) return 0;
    const X509_EXTENSIONS* list = cert->tbs->extensions;
    for (int i = 0; i < list->count; ++i) {
        const auto* ext = static_cast<const X509_EXTENSION*>(list->items[i]);
        if (!ext) continue;
        const int row = index_from_OBJECT_IDENTIFIER(ext->extnID);
        std::printf("\n - Extension (%d) : %s / %s\n", i, dotted(ext->extnID), OID_LIST(row)->ln);
        if (!ext->extnValue) continue;
        for (const Printer& p : kPrinters)
            if (p.row == row) p.print(ext);
    }
    std::fflush(stdout);
    return list->count;
}

}  // extern "C"
