// IssuerAndSerialNumber as a member of other records: Sub<ISSUER_AND_SERIAL_NUMBER>.
#pragma once

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/issuer_and_serial_number.h>
#include "x509/x509_name.hpp"

template <>
struct zpki::asn1::Describe<ISSUER_AND_SERIAL_NUMBER> {
    using Shape = Sequence<Field<&ISSUER_AND_SERIAL_NUMBER::issuer, zpki::x509::NameCodec>,
                           Field<&ISSUER_AND_SERIAL_NUMBER::serialNumber, Integer>>;
};
