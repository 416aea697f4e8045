// Path building: from a certificate up to a trust anchor through the
// candidates, trying every issuer that chains and going past dead ends.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "x509/x509_path.hpp"
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509v3.h>
#include <zunPKI/x509/x509v3_constraints.h>

namespace path = zpki::x509::path;
using zpki::Owned;
using zpki::x509::NameKey;

namespace {

constexpr PKI_ERROR err(unsigned reason) { return PKI_ERR(L_CPV, F_BUILD_CERTPATH, reason); }

template <class T>
using Vec = std::vector<T, zpki::VscAllocator<T>>;
using Cert = Owned<X509_CERT, free_X509_CERT>;
using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;

// Issuers looked at (each costs a signature check) per pass: many
// candidates of one name must not make the search run away.
constexpr int kMaxIssuerChecks = 4096;

const X509_CERT* certAt(const STACK* list, int i) { return static_cast<const X509_CERT*>(get_STACK_value(list, i)); }
const TRUST_ANCHOR* anchorAt(const STACK* list, int i) {
    return static_cast<const TRUST_ANCHOR*>(get_STACK_value(list, i));
}

// A certificate standing for an anchor the candidates hold no certificate
// of: its name as issuer and subject, its key, nothing else.
X509_CERT* certificateOf(const TRUST_ANCHOR* anchor) {
    Cert cert(new_X509_CERT());
    if (!cert || !cert->tbs || set_X509_version(cert.get(), 2) != 0 ||
        set_X509_subject(cert.get(), anchor->name) != 0 || set_X509_issuer(cert.get(), anchor->name) != 0)
        return nullptr;
    if (!(cert->tbs->subjectPublicKeyInfo = dup_X509_PUBKEY(anchor->publicKey))) return nullptr;
    touch_X509_CERT(cert.get());
    return cert.release();
}

// What a certificate's authorityKeyIdentifier asks of its issuer.
struct IssuerHints {
    bool usable = true;  // false: the extension does not decode, nothing matches
    Owned<AUTHORITY_KEYID, free_AUTHORITY_KEYID> akid;
};

IssuerHints hintsOf(const X509_CERT* cert) {
    IssuerHints h;
    const X509_EXTENSION* ext = path::findExtension(cert, path::kAuthorityKeyId);
    if (!ext) return h;
    Node node(path::extensionNode(ext));
    AUTHORITY_KEYID* akid = nullptr;
    if (!node || Seq_to_AUTHORITY_KEYID(node.get(), &akid) != 0) {
        h.usable = false;
        return h;
    }
    h.akid.reset(akid);
    return h;
}

// The identifier and serial must be the candidate's whole identifier and
// serial, and a directory name the candidate's issuer (RFC 5280 4.2.1.1).
bool hintsAllow(const IssuerHints& h, const X509_CERT* candidate) {
    if (!h.usable) return false;
    const AUTHORITY_KEYID* akid = h.akid.get();
    if (!akid) return true;
    if (akid->keyIdentifier) {
        if (const X509_EXTENSION* ski = path::findExtension(candidate, path::kSubjectKeyId)) {
            zpki::der::Element e;
            if (!path::extensionBody(ski, e) || e.identifier != ASN1_TAG_OCTET_STRING) return false;
            const OCTET_STRING* id = akid->keyIdentifier;
            if (e.contentsSize != static_cast<size_t>(id->length) ||
                (e.contentsSize && std::memcmp(e.contents, id->data, e.contentsSize) != 0))
                return false;
        }
    }
    if (akid->authorityCertSerialNumber &&
        VSC_Cmp_BIGINT(akid->authorityCertSerialNumber, get_X509_serial(candidate)) != 0)
        return false;
    bool sawDirectory = false;
    for (int i = 0; i < get_STACK_count(akid->authorityCertIssuer); ++i) {
        const auto* gn = static_cast<const GENERAL_NAME*>(get_STACK_value(akid->authorityCertIssuer, i));
        if (!gn || gn->type != GENERAL_NAME_DIRECTORY) continue;
        sawDirectory = true;
        if (zpki::x509::namesMatch(static_cast<const X509_NAME*>(gn->value), get_X509_issuer(candidate))) return true;
    }
    return !sawDirectory;
}

class Builder {
public:
    Builder(const STACK* candidates, const STACK* anchors) : m_candidates(candidates), m_anchors(anchors) {
        for (int i = 0; i < get_STACK_count(candidates); ++i) {
            const X509_CERT* c = certAt(candidates, i);
            m_candidateNames.push_back(zpki::x509::nameKey(c && c->tbs ? get_X509_subject(c) : nullptr));
        }
        for (int i = 0; i < get_STACK_count(anchors); ++i) {
            const TRUST_ANCHOR* a = anchorAt(anchors, i);
            m_anchorNames.push_back(zpki::x509::nameKey(a ? a->name : nullptr));
        }
        m_maxAbove = static_cast<size_t>(get_max_certificatePath_length());
    }

    // Strict: only issuers whose signature and validity hold. Else any that
    // chains by name, so that validation can say what is wrong.
    bool search(const X509_CERT* leaf, bool strict) {
        m_strict = strict;
        m_checks = 0;
        m_path.clear();
        m_path.push_back(leaf);
        if (strict && verify_X509_validity(leaf, nullptr) != 0) return false;
        return extend(leaf, zpki::x509::nameKey(get_X509_subject(leaf)));
    }

    const Vec<const X509_CERT*>& found() const { return m_path; }
    bool sawUntrustedRoot() const { return m_untrustedRoot; }

private:
    struct Option {
        const X509_CERT* cert;
        int rank;
        bool madeForAnchor;
    };

    bool isAnchor(const X509_CERT* cert, const NameKey& subject) const {
        for (int i = 0; i < get_STACK_count(m_anchors); ++i) {
            const TRUST_ANCHOR* a = anchorAt(m_anchors, i);
            if (a && zpki::x509::namesMatch(m_anchorNames[static_cast<size_t>(i)], subject) &&
                path::keysEqual(a->publicKey, get_X509_SPKI(cert)))
                return true;
        }
        return false;
    }

    bool inPath(const X509_CERT* cert) const {
        for (const X509_CERT* c : m_path)
            if (c == cert || cmp_X509_CERT(c, cert) == 0) return true;
        return false;
    }

    bool extend(const X509_CERT* cert, const NameKey& subject) {
        if (isAnchor(cert, subject)) return true;
        if (m_path.size() > m_maxAbove) return false;
        const NameKey issuer = zpki::x509::nameKey(get_X509_issuer(cert));
        if (zpki::x509::namesMatch(issuer, subject) && path::signedByOwnKey(cert)) {
            m_untrustedRoot = true;  // a root, but none of ours
            return false;
        }
        const IssuerHints hints = hintsOf(cert);
        Vec<Option> options;
        for (int i = 0; i < get_STACK_count(m_candidates); ++i) {
            const X509_CERT* c = certAt(m_candidates, i);
            if (!c || !c->tbs || !zpki::x509::namesMatch(m_candidateNames[static_cast<size_t>(i)], issuer) ||
                !hintsAllow(hints, c) || inPath(c))
                continue;
            if (++m_checks > kMaxIssuerChecks) return false;
            const bool signs = verify_SIG_X509_CERT(cert, get_X509_SPKI(c)) == 0;
            const bool current = verify_X509_validity(c, nullptr) == 0;
            if (m_strict && !(signs && current)) continue;
            const bool anchor = isAnchor(c, m_candidateNames[static_cast<size_t>(i)]);
            options.push_back({c, (signs ? 0 : 8) + (anchor ? 0 : 4) + (current ? 0 : 1), false});
        }
        for (int i = 0; i < get_STACK_count(m_anchors); ++i) {
            const TRUST_ANCHOR* a = anchorAt(m_anchors, i);
            if (!a || !a->name || !a->publicKey ||
                !zpki::x509::namesMatch(m_anchorNames[static_cast<size_t>(i)], issuer))
                continue;
            if (++m_checks > kMaxIssuerChecks) return false;
            const bool signs = verify_SIG_X509_CERT(cert, a->publicKey) == 0;
            if (m_strict && !signs) continue;
            X509_CERT* made = certificateOf(a);
            if (!made) throw std::bad_alloc();
            m_made.emplace_back(made);
            // After the anchors' own certificates, before other issuers.
            options.push_back({made, (signs ? 0 : 8) + 2, true});
        }
        std::stable_sort(options.begin(), options.end(),
                         [](const Option& a, const Option& b) { return a.rank < b.rank; });
        for (const Option& o : options) {
            m_path.push_back(o.cert);
            if (o.madeForAnchor || extend(o.cert, zpki::x509::nameKey(get_X509_subject(o.cert)))) return true;
            m_path.pop_back();
        }
        return false;
    }

    const STACK* m_candidates;
    const STACK* m_anchors;
    Vec<NameKey> m_candidateNames;
    Vec<NameKey> m_anchorNames;
    size_t m_maxAbove = 0;
    bool m_strict = true;
    int m_checks = 0;
    bool m_untrustedRoot = false;
    Vec<const X509_CERT*> m_path;
    Vec<Cert> m_made;  // certificates made for anchors, alive while the search runs
};

}  // namespace

extern "C" ZUNPKI_API PKI_ERROR build_certPath(const STACK* candidates, const STACK* anchors, const X509_CERT* leaf,
                                               STACK** chain) {
    if (!candidates || !anchors || !leaf || !leaf->tbs || !chain) return err(ERR_R_NULL_ARGUMENT);
    try {
        Builder builder(candidates, anchors);
        PKI_ERROR rc = 0;
        if (!builder.search(leaf, true)) {
            if (!builder.search(leaf, false))
                return err(builder.sawUntrustedRoot() ? ERR_INVALID_TRUST_ANCHOR : ERR_NOT_FOUNDED);
            // The only path there is: handed over with the first validity
            // fault; a bad signature is validation's to report.
            for (const X509_CERT* c : builder.found())
                if ((rc = verify_X509_validity(c, nullptr)) != 0) break;
        }
        Owned<STACK, free_X509_CERTIFICATES> copies(new_X509_CERTIFICATES());
        if (!copies) return err(ERR_R_ALLOC_3C);
        for (const X509_CERT* c : builder.found())
            if (add_X509_CERTIFICATES(copies.get(), c) != 0) return err(ERR_R_ALLOC_3C);
        const bool made = !*chain;
        if (made && !(*chain = new_X509_CERTIFICATES())) return err(ERR_R_ALLOC_3C);
        const int before = get_STACK_count(*chain);
        for (int i = 0; i < get_STACK_count(copies.get()); ++i) {
            if (push_STACK_value(*chain, get_STACK_value(copies.get(), i)) == 0) {
                while (get_STACK_count(*chain) > before) pop_STACK_value(*chain);
                if (made) {
                    free_X509_CERTIFICATES(*chain);
                    *chain = nullptr;
                }
                return err(ERR_R_ALLOC_3C);
            }
        }
        free_STACK(copies.release());  // the certificates now belong to *chain
        return rc;
    } catch (const std::bad_alloc&) {
        return err(ERR_R_ALLOC_3C);
    }
}
