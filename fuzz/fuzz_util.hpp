// Helpers the fuzz targets share.
#pragma once

#include <zunPKI/asn1/ber.h>

// Encodes a record and drops the result: an encoder must not fail badly on
// whatever a decoder accepted.
template <class T>
void encodeAndFree(PKI_ERROR (*encoder)(const T*, ASN1_UNIT**), const T* record) {
    ASN1_UNIT* node = nullptr;
    encoder(record, &node);
    free_ASN1_UNIT(node);
}
