// CMS inside the library: what the records, signing and enveloping share,
// and how a CMS SignerInfo lends its members to the PKCS#7 engine.
#pragma once

#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include <zunPKI/pkcs/cms.h>
#include "pkcs/pkcs7.hpp"

namespace zpki::cms {

inline PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_CMS, func, reason); }

// A code of the PKCS#7 engine under a CMS function byte (its reason kept);
// any other code as it is.
inline PKI_ERROR asCms(PKI_ERROR rc, unsigned func) {
    return rc != 0 && PKI_ERR_LIB(rc) == PKI_ERR_LIB(L_PKCS7) ? code(func, PKI_ERR_REASON(rc)) : rc;
}

// The table row of an identifier; 0 for none.
int rowOf(const OBJECT_IDENTIFIER* oid);
// The content-type row of a message; 0 for none.
int typeOf(const CMS_CONTENT_INFO* cms);

// The content when the message is of that type, else null.
template <class T>
T* contentAs(const CMS_CONTENT_INFO* cms, int row) {
    return cms && typeOf(cms) == row ? static_cast<T*>(cms->content) : nullptr;
}

// The version a SignerInfo or key-transport RecipientInfo has by its
// identifier (RFC 5652 5.3, 6.2.1).
inline unsigned long signerVersion(const SIGNER_IDENTIFIER* sid) {
    return sid && sid->type == CMS_ID_KEY_IDENTIFIER ? 3 : 1;
}
inline unsigned long recipientVersion(const RECIPIENT_IDENTIFIER* rid) {
    return rid && rid->type == CMS_ID_KEY_IDENTIFIER ? 2 : 0;
}

// The subjectKeyIdentifier of a certificate (the OCTET STRING its extension
// holds), or null.
asn1::String keyIdentifierOf(const X509_CERT* cert);
// True when the identifier names cert: its issuer and serial, or its
// subjectKeyIdentifier.
bool identifies(const SIGNER_IDENTIFIER* id, const X509_CERT* cert);
// A new identifier of cert: by its key identifier (0x5257012f when it has
// none) or its issuer and serial. 0 or a code under func.
PKI_ERROR identifierOf(const X509_CERT* cert, bool byKeyIdentifier, SIGNER_IDENTIFIER*& out, unsigned func);

// Appends an attribute of the row with one value (see add_CMS_Signed_Attribute)
// to *list, made when null; false when it does not make one.
bool addAttribute(X509_ATTRIBUTES*& list, int row, int tag, const void* value, int len);

// The PKCS#7 engine works on a P7_SIGNER_INFO: a CMS SignerInfo lends it
// its members for one call and takes back what the engine put in their
// place (a new version, algorithm, signature, the sorted attributes).
class LentSigner {
public:
    explicit LentSigner(CMS_SIGNER_INFO& si) : m_si(si) {
        m_p7.version = si.version;
        m_p7.digestAlgorithm = si.digestAlgorithm;
        m_p7.authenticatedAttributes = si.signedAttrs;
        m_p7.digestEncryptionAlgorithm = si.signatureAlgorithm;
        m_p7.encryptedDigest = si.signature;
        m_p7.unauthenticatedAttributes = si.unsignedAttrs;
        m_p7.key = si.key;
        m_p7.received = si.received;
    }
    ~LentSigner() {
        m_si.version = m_p7.version;
        m_si.digestAlgorithm = m_p7.digestAlgorithm;
        m_si.signedAttrs = m_p7.authenticatedAttributes;
        m_si.signatureAlgorithm = m_p7.digestEncryptionAlgorithm;
        m_si.signature = m_p7.encryptedDigest;
        m_si.unsignedAttrs = m_p7.unauthenticatedAttributes;
        m_si.key = m_p7.key;
        m_si.received = m_p7.received;
    }
    LentSigner(const LentSigner&) = delete;
    LentSigner& operator=(const LentSigner&) = delete;
    P7_SIGNER_INFO* get() { return &m_p7; }

private:
    CMS_SIGNER_INFO& m_si;
    P7_SIGNER_INFO m_p7{};
};

}  // namespace zpki::cms
