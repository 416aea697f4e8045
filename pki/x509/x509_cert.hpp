// Certificates inside the library: the DER a record was decoded from, the
// bytes a certificate or its TBS body encodes to, and the codec that makes a
// certificate a member of another record.
#pragma once

#include <array>
#include <cstdint>

#include "asn1/asn1_struct.hpp"
#include "asn1/ber_internal.hpp"
#include "x509/x509_cert.h"

// The DER a record was decoded from, with what the record held then. The
// bytes stand for the record only while it still holds the same members.
struct x509_received_st {
    zpki::ber::Bytes der;
    std::array<uintptr_t, 18> snapshot{};
};

namespace zpki::x509 {

// Bytes that are either borrowed from a record's kept DER or owned.
struct DerBytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
    ber::Bytes own;

    void borrow(const ber::Bytes& b) {
        data = b.data();
        size = b.size();
    }
    void adopt() {
        data = own.data();
        size = own.size();
    }
};

// The DER of the TBS body: the kept bytes while they still stand for it, else
// the body encoded afresh (0, or the encoder's code).
PKI_ERROR tbsDer(const X509_TBS_CERT* tbs, DerBytes& out);
// The same for the whole certificate.
PKI_ERROR certDer(const X509_CERT* cert, DerBytes& out);

// Drops the kept DER of the TBS body and of the certificate.
void dropReceived(X509_TBS_CERT* tbs);
void dropReceived(X509_CERT* cert);

inline bool isCertIdentifier(uint8_t id) { return id == 0x30; }

// A certificate as a member of another record.
using CertCodec = asn1::ByFunctions<X509_CERT, new_X509_CERT, free_X509_CERT, dup_X509_CERT, cmp_X509_CERT,
                                    X509_CERT_to_Seq, Seq_to_X509_CERT, isCertIdentifier>;

}  // namespace zpki::x509
