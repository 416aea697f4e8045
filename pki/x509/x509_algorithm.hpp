// The AlgorithmIdentifier as a member of described records.
#pragma once

#include <zunPKI/x509/x509_key.h>
#include "asn1/asn1_struct.hpp"

namespace zpki::x509 {

using Algorithm = Owned<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER>;

inline bool isSequence(uint8_t id) { return id == 0x30; }

// An AlgorithmIdentifier member.
using AlgorithmId = asn1::ByFunctions<X509_ALGO_IDENTIFIER, new_X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER,
                                      dup_X509_ALGO_IDENTIFIER, cmp_X509_ALGO_IDENTIFIER, X509_ALGO_IDENTIFIER_to_Seq,
                                      Seq_to_X509_ALGO_IDENTIFIER, isSequence>;

}  // namespace zpki::x509
