// Path validation against a caller's list of CA certificates, with each
// certificate's CRL fetched over LDAP or HTTP from its distribution point.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <zunCore/error.h>
#include <zunCore/net.h>
#include <zunCore/util.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_cpv.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509_crl.h>
#include <zunPKI/x509/x509v3_constraints.h>
#include <zunPKI/x509/x509v3_crldp.h>

#include "crypto/x509_cpv_internal.hpp"
#include "crypto/x509_internal.hpp"
#include "services/net_internal.hpp"

using namespace zcore::x509;

namespace zcore::cpv {

namespace {

constexpr int pathCode(int reason) { return VCL_CORE_CODE(VCL_CAT_X509_CPV_VERIFY_CERT_PATH, reason); }
constexpr int certCode(int reason) { return VCL_CORE_CODE(VCL_CAT_X509_CPV_VERIFY_CERT, reason); }
constexpr int crlCode(int reason) { return VCL_CORE_CODE(VCL_CAT_X509_CPV_CHECK_CRL, reason); }

constexpr char kBasicConstraints[] = "2.5.29.19";
constexpr char kKeyUsage[] = "2.5.29.15";
constexpr char kSubjectKeyId[] = "2.5.29.14";
constexpr char kAuthorityKeyId[] = "2.5.29.35";
constexpr char kCrlDistPoints[] = "2.5.29.31";
constexpr char kDeltaCrlIndicator[] = "2.5.29.27";
constexpr char kIssuingDistPoint[] = "2.5.29.28";
// Key usage bits in the first byte.
constexpr unsigned char kKeyCertSign = 0x04;
constexpr unsigned char kCrlSign = 0x02;

bool oidIs(const OBJECT_IDENTIFIER* oid, std::string_view text) {
    return oid && oid->data && static_cast<size_t>(oid->length) == text.size() &&
           std::memcmp(oid->data, text.data(), text.size()) == 0;
}

const X509_EXTENSION* extension(const X509_EXTENSIONS* list, std::string_view oid) {
    for (int i = 0; i < get_X509_EXTENSION_count(list); ++i)
        if (oidIs(get_X509_EXTENSION(list, i)->extnID, oid)) return get_X509_EXTENSION(list, i);
    return nullptr;
}

const X509_EXTENSIONS* extensionsOf(const X509_CERT* c) { return c && c->tbs ? c->tbs->extensions : nullptr; }

template <typename T, PKI_ERROR (*Decode)(const ASN1_UNIT*, T**), void (*Free)(T*)>
Own<T, Free> decodeBody(const X509_EXTENSION* ext) {
    if (!ext || !ext->extnValue) return nullptr;
    Node node(decodeToDERSequence(ext->extnValue->data, ext->extnValue->length));
    T* value = nullptr;
    if (!node || Decode(node.get(), &value) != 0) {
        Free(value);
        return nullptr;
    }
    return Own<T, Free>(value);
}

// The first byte of keyUsage; nullopt-like -1 when the certificate has none,
// 0 for one that does not read (it then allows nothing).
int keyUsageByte(const X509_CERT* c) {
    const X509_EXTENSION* ext = extension(extensionsOf(c), kKeyUsage);
    if (!ext) return -1;
    String bits(decodeToDERBitString(ext->extnValue->data, ext->extnValue->length));
    return bits && bits->length > 0 ? bits->data[0] : 0;
}

bool isCa(const X509_CERT* c) {
    auto bc = decodeBody<BASIC_CONSTRAINTS, Seq_to_BASIC_CONSTRAINTS, free_BASIC_CONSTRAINTS>(
        extension(extensionsOf(c), kBasicConstraints));
    return bc && bc->cA;
}

// A CA that may issue certificates here: v3, cA TRUE, keyCertSign when it has
// keyUsage, and no more intermediates below it than its pathLenConstraint.
bool mayIssue(const X509_CERT* c, int intermediatesBelow) {
    if ((get_X509_version(c) & 0xff) != 2) return false;
    auto bc = decodeBody<BASIC_CONSTRAINTS, Seq_to_BASIC_CONSTRAINTS, free_BASIC_CONSTRAINTS>(
        extension(extensionsOf(c), kBasicConstraints));
    if (!bc || !bc->cA) return false;
    const int ku = keyUsageByte(c);
    if (ku >= 0 && !(ku & kKeyCertSign)) return false;
    if (bc->pathLenConstraint && VSC_Get_BIGINT_Bits_Length(bc->pathLenConstraint) < 31 &&
        static_cast<long>(VSC_Get_BIGINT_Word(bc->pathLenConstraint)) < intermediatesBelow)
        return false;
    return true;
}

bool selfIssued(const X509_CERT* c) { return cmp_X509_NAME_canonical(get_X509_issuer(c), get_X509_subject(c)) == 0; }

std::string octets(const ASN1_STRING* s) {
    return s && s->data && s->length > 0 ? std::string(reinterpret_cast<const char*>(s->data), s->length)
                                         : std::string();
}

std::string subjectKeyId(const X509_CERT* c) {
    const X509_EXTENSION* ext = extension(extensionsOf(c), kSubjectKeyId);
    if (!ext) return {};
    String id(decodeToDEROctetString(ext->extnValue->data, ext->extnValue->length));
    return octets(id.get());
}

std::string authorityKeyId(const X509_CERT* c) {
    auto aki = decodeBody<AUTHORITY_KEYID, Seq_to_AUTHORITY_KEYID, free_AUTHORITY_KEYID>(
        extension(extensionsOf(c), kAuthorityKeyId));
    return aki ? octets(aki->keyIdentifier) : std::string();
}

const X509_CERT* listed(const STACK* list, int i) { return static_cast<const X509_CERT*>(get_STACK_value(list, i)); }

bool inList(const X509_CERT* c, const STACK* list) {
    for (int i = 0; i < get_STACK_count(list); ++i)
        if (cmp_X509_CERT(c, listed(list, i)) == 0) return true;
    return false;
}

// ---- CRLs ------------------------------------------------------------------

bool hasScheme(std::string_view uri, std::string_view scheme) {
    if (uri.size() < scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(uri[i])) != scheme[i]) return false;
    return true;
}

std::vector<std::string> urisOf(const DIST_POINT_NAME* name) {
    std::vector<std::string> out;
    if (!name || name->type != DIST_POINT_FULL_NAME) return out;
    const auto* names = static_cast<const GENERAL_NAMES*>(name->value);
    for (int i = 0; i < get_STACK_count(names); ++i) {
        const auto* gn = static_cast<const GENERAL_NAME*>(get_STACK_value(names, i));
        if (gn && gn->type == GENERAL_NAME_URI) out.push_back(octets(static_cast<const ASN1_STRING*>(gn->value)));
    }
    return out;
}

using DistPoints = Own<CRL_DIST_POINTS, free_CRL_DIST_POINTS>;

// Whether the CRL's issuingDistributionPoint lets it speak for cert as
// fetched from dpUris: no reasons subset, not indirect, the certificate's
// kind, and a name that is one of the distribution point's.
bool scopeCovers(const X509_EXTENSION* ext, const X509_CERT* cert, const std::vector<std::string>& dpUris) {
    auto idp = decodeBody<ISSUING_DIST_POINT, Seq_to_issuing_DIST_POINT, free_ISSUING_DIST_POINT>(ext);
    if (!idp) return false;
    const auto set = [](const unsigned char* flag) { return flag && *flag; };
    if (idp->onlySomeReasons || set(idp->indirectCRL) || set(idp->onlyContainsAttributeCerts)) return false;
    const bool ca = isCa(cert);
    if ((set(idp->onlyContainsUserCerts) && ca) || (set(idp->onlyContainsCACerts) && !ca)) return false;
    if (idp->distributionPoint) {
        const std::vector<std::string> names = urisOf(idp->distributionPoint);
        return std::any_of(names.begin(), names.end(), [&](const std::string& n) {
            return std::find(dpUris.begin(), dpUris.end(), n) != dpUris.end();
        });
    }
    return true;
}

// The CRL's own extensions: known ones, the scope checked; any other
// critical one, or a delta CRL, is not supported. Entries may carry the
// reason, the invalidity date and the hold instruction.
bool extensionsSupported(const X509_CRL* crl, const X509_CERT* cert, const std::vector<std::string>& dpUris) {
    static constexpr std::string_view kKnown[] = {"2.5.29.35", "2.5.29.18",         "2.5.29.20",
                                                  "2.5.29.46", "1.3.6.1.5.5.7.1.1", "2.5.29.60"};
    for (int i = 0; i < get_X509_CRL_ext_count(crl); ++i) {
        const X509_EXTENSION* ext = get_X509_CRL_ext(crl, i);
        if (oidIs(ext->extnID, kDeltaCrlIndicator)) return false;
        if (oidIs(ext->extnID, kIssuingDistPoint)) {
            if (!scopeCovers(ext, cert, dpUris)) return false;
            continue;
        }
        const bool known = std::any_of(std::begin(kKnown), std::end(kKnown),
                                       [&](std::string_view k) { return oidIs(ext->extnID, k); });
        if (!known && ext->critical) return false;
    }
    static constexpr std::string_view kEntryKnown[] = {"2.5.29.21", "2.5.29.24", "2.5.29.23"};
    const int n = crl->info ? get_STACK_count(crl->info->revokedCertificates) : 0;
    for (int i = 0; i < n; ++i) {
        const X509_REVOKED* entry = get_X509_REVOKED(crl->info, i);
        for (int j = 0; j < get_X509_REVOKED_ext_count(entry); ++j) {
            const X509_EXTENSION* ext = get_X509_REVOKED_ext(entry, j);
            if (ext->critical && std::none_of(std::begin(kEntryKnown), std::end(kEntryKnown),
                                              [&](std::string_view k) { return oidIs(ext->extnID, k); }))
                return false;
        }
    }
    return true;
}

}  // namespace

int checkCrlBytes(const X509_CERT* cert, const X509_CERT* issuer, const unsigned char* der, int len,
                  const std::vector<std::string>& dpUris) {
    X509_CRL* raw = nullptr;
    if (const int rc = VCL_X509_CRL_conv_crl2x509crl(der, len, &raw); rc != 0) return rc;
    const Crl crl(raw);
    // From the certificate's issuer, signed with the issuer's key, which may
    // sign CRLs.
    const X509_NAME* crlIssuer = get_X509_CRL_issuer(crl.get());
    const int ku = keyUsageByte(issuer);
    if (cmp_X509_NAME_canonical(crlIssuer, get_X509_issuer(cert)) != 0 ||
        cmp_X509_NAME_canonical(crlIssuer, get_X509_subject(issuer)) != 0 || (ku >= 0 && !(ku & kCrlSign)) ||
        verify_SIG_X509_CRL(crl.get(), get_X509_SPKI(issuer)) != 0) {
        ZCORE_LOG(VCL_LOG_ERROR, "CRL check: the CRL's issuer, signer or signature does not hold");
        return crlCode(VCL_R_VERIFY_CERT_SIGN);
    }
    if (!extensionsSupported(crl.get(), cert, dpUris)) {
        ZCORE_LOG(VCL_LOG_ERROR, "CRL check: a CRL of a kind not supported");
        return crlCode(VCL_R_UNSUPPORTED_MODE);
    }
    const Time64_T now = clockNow();
    Time64_T thisUpdate = 0, nextUpdate = 0;
    const X509_TIME* next = get_X509_CRL_nextUpdate(crl.get());
    if (!instantOf(get_X509_CRL_thisUpdate(crl.get()), 0, thisUpdate) || now < thisUpdate ||
        (next && (!instantOf(next, 0, nextUpdate) || now > nextUpdate))) {
        ZCORE_LOG(VCL_LOG_ERROR, "CRL check: the CRL is out of date");
        return crlCode(VCL_R_EXPIRED_CERT);
    }
    if (findRevoked(crl.get(), get_X509_serial(cert)) >= 0) return crlCode(VCL_R_REVOKED);
    return 0;
}

bool fetchCrl(const std::string& uri, std::string& out) {
    if (hasScheme(uri, "ldap://")) {
        unsigned char* data = nullptr;
        int len = 0;
        const int rc = VCL_Ldap_Get_Data(uri.c_str(), static_cast<int>(uri.size()), &data, &len);
        if (rc != 0) {
            ZCORE_LOG(VCL_LOG_ERROR, "CRL check: %s: LDAP error %d", uri.c_str(), rc);
            return false;
        }
        out.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(len));
        VCL_Free(data, len);
        return true;
    }
    HttpFetch rq;
    rq.url = uri.c_str();
    rq.connectTimeout = kCrlFetchTimeout;
    rq.readTimeout = kCrlFetchTimeout;
    HttpAnswer answer;
    if (!httpFetch(rq, answer) || answer.status != 200) return false;
    out.assign(answer.body.get(), answer.length);
    return true;
}

namespace {

// The search for a path upwards from one certificate, over the list.
class PathSearch {
public:
    PathSearch(const STACK* list, int crlFlag) : m_list(list), m_crlFlag(crlFlag) {}

    int from(const X509_CERT* cert, int intermediatesBelow);

private:
    bool onPath(const X509_CERT* c) const { return std::find(m_path.begin(), m_path.end(), c) != m_path.end(); }

    const STACK* m_list;
    int m_crlFlag;
    int m_links = 0;
    std::vector<const X509_CERT*> m_path;
};

int PathSearch::from(const X509_CERT* cert, int intermediatesBelow) {
    if (selfIssued(cert)) {
        // A path ends only at a certificate of the list itself.
        if (!inList(cert, m_list)) return pathCode(VCL_R_NO_ISSUER);
        return VCL_CPV_verify_cert(cert, cert, 0);
    }
    // Listed certificates named as cert's issuer, not yet on this path; those
    // whose key identifier the certificate names come first.
    std::vector<const X509_CERT*> candidates, others;
    const std::string aki = authorityKeyId(cert);
    for (int i = 0; i < get_STACK_count(m_list); ++i) {
        const X509_CERT* c = listed(m_list, i);
        if (!c || onPath(c) || cmp_X509_NAME_canonical(get_X509_subject(c), get_X509_issuer(cert)) != 0) continue;
        (!aki.empty() && subjectKeyId(c) == aki ? candidates : others).push_back(c);
    }
    candidates.insert(candidates.end(), others.begin(), others.end());

    int result = pathCode(VCL_R_NO_ISSUER);
    bool signedByOne = false;
    for (const X509_CERT* issuer : candidates) {
        if (++m_links > kMaxLinks) break;
        // Every issuer below the anchor must be a CA.
        if (!selfIssued(issuer) && !mayIssue(issuer, intermediatesBelow)) continue;
        int rc = VCL_CPV_verify_cert(cert, issuer, m_crlFlag);
        if (rc == certCode(VCL_R_VERIFY_CERT_SIGN)) {
            if (!signedByOne) result = rc;
            continue;
        }
        if (rc == 0) {
            m_path.push_back(issuer);
            rc = from(issuer, intermediatesBelow + 1);
            m_path.pop_back();
            if (rc == 0) return 0;
        }
        // What went wrong past a signature that held tells the most.
        if (!signedByOne) result = rc;
        signedByOne = true;
    }
    return result;
}

}  // namespace

}  // namespace zcore::cpv

using namespace zcore::cpv;

extern "C" {

VCL_API int VCL_CPV_verify_cert(const X509_CERT* cert, const X509_CERT* issuer, int crl_flag) {
    if (!cert || !issuer) return certCode(VCL_R_NULL_PARAM);
    if (verify_SIG_X509_CERT(cert, get_X509_SPKI(issuer)) != 0) return certCode(VCL_R_VERIFY_CERT_SIGN);
    const Own<X509_TIME, free_X509_TIME> now(timeOf(clockNow()));
    if (!now || verify_X509_validity(cert, now.get()) != 0) return certCode(VCL_R_EXPIRED_CERT);
    return crl_flag == VCL_CPV_CHECK_CRL ? VCL_CPV_check_crl(cert, issuer) : 0;
}

VCL_API int VCL_CPV_check_crl(const X509_CERT* cert, const X509_CERT* issuer) {
    if (!cert) return crlCode(VCL_R_NULL_PARAM);
    // Without the issuer's key a CRL cannot be trusted.
    if (!issuer) return crlCode(VCL_R_INVALID_PARAM);
    const X509_EXTENSION* ext = extension(extensionsOf(cert), kCrlDistPoints);
    if (!ext) return 0;
    DistPoints points(nullptr);
    {
        Node node(decodeToDERSequence(ext->extnValue->data, ext->extnValue->length));
        CRL_DIST_POINTS* list = nullptr;
        if (!node || Seq_to_CRL_DIST_POINTS(node.get(), &list) != 0) {
            free_CRL_DIST_POINTS(list);
            return crlCode(VCL_R_CRL_PATH);
        }
        points.reset(list);
    }
    bool unsupported = false, tried = false;
    for (int i = 0; i < get_STACK_count(points.get()); ++i) {
        const auto* dp = static_cast<const DIST_POINT*>(get_STACK_value(points.get(), i));
        // A point for some reasons only, or for a CRL of another issuer,
        // cannot clear the certificate by itself.
        if (dp->reasons || get_STACK_count(dp->cRLIssuer) > 0) {
            unsupported = true;
            continue;
        }
        const std::vector<std::string> uris = urisOf(dp->distributionPoint);
        for (const std::string& uri : uris) {
            if (!hasScheme(uri, "ldap://") && !hasScheme(uri, "http://")) continue;
            tried = true;
            std::string der;
            if (!fetchCrl(uri, der)) continue;
            return checkCrlBytes(cert, issuer, reinterpret_cast<const unsigned char*>(der.data()),
                                 static_cast<int>(der.size()), uris);
        }
    }
    if (tried) return crlCode(VCL_R_NOT_FOUND);
    return unsupported ? crlCode(VCL_R_UNSUPPORTED_MODE) : crlCode(VCL_R_CRL_PATH);
}

VCL_API int VCL_CPV_verify_cert_path(const X509_CERT* cert, const STACK* ca_list, int crl_flag) {
    if (!cert || !ca_list) return pathCode(VCL_R_NULL_PARAM);
    PathSearch search(ca_list, crl_flag);
    return search.from(cert, 0);
}

VCL_API int VCL_CPV_Cert_Path_Validation(int n_ca, const CERT_ITEM* ca_certs, const void* cert, int cert_len,
                                         int crl_flag) {
    if (!cert || cert_len <= 0) return VCL_CORE_CODE(VCL_CAT_X509_CPV_CERT_PATH_VALID, VCL_R_INVALID_PARAM);
    if (n_ca < 0 || (n_ca > 0 && !ca_certs)) return VCL_CORE_CODE(VCL_CAT_X509_CPV_CERT_PATH_VALID, VCL_R_NULL_PARAM);
    struct Certs {
        X509_CERTIFICATES* s = new_X509_CERTIFICATES();
        ~Certs() { free_X509_CERTIFICATES(s); }
    } list;
    if (!list.s) return VCL_CORE_CODE(VCL_CAT_X509_CPV_CERT_PATH_VALID, VCL_R_MALLOC);
    for (int i = 0; i < n_ca; ++i) {
        X509_CERT* ca = nullptr;
        if (const int rc = VCL_X509_conv_cert2x509(ca_certs[i].data, ca_certs[i].len, &ca); rc != 0) return rc;
        if (insert_STACK_value(list.s, ca, i) == 0) {
            free_X509_CERT(ca);
            return VCL_CORE_CODE(VCL_CAT_X509_CPV_CERT_PATH_VALID, VCL_R_MALLOC);
        }
    }
    X509_CERT* raw = nullptr;
    if (const int rc = VCL_X509_conv_cert2x509(cert, cert_len, &raw); rc != 0) return rc;
    const Cert target(raw);
    return VCL_CPV_verify_cert_path(target.get(), list.s, crl_flag);
}

VCL_API int VCL_CPV_Check_CRL(const void* cert, int cert_len, const void* issuer_cert, int issuer_len) {
    if (!cert || cert_len <= 0 || !issuer_cert || issuer_len <= 0) return crlCode(VCL_R_INVALID_PARAM);
    X509_CERT* a = nullptr;
    X509_CERT* b = nullptr;
    if (const int rc = VCL_X509_conv_cert2x509(cert, cert_len, &a); rc != 0) return rc;
    const Cert subject(a);
    if (const int rc = VCL_X509_conv_cert2x509(issuer_cert, issuer_len, &b); rc != 0) return rc;
    const Cert issuer(b);
    return VCL_CPV_check_crl(subject.get(), issuer.get());
}

}  // extern "C"
