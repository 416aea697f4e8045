// An extension list as a member of another record, e.g.
//   Field<&T::extensions, Optional<Explicit<3, zpki::x509::ExtensionsCodec>>>
// An empty list is left out; an empty Extensions SEQUENCE does not decode.
#pragma once

#include "asn1/asn1_struct.hpp"
#include <zunPKI/x509/x509v3.h>

template <>
struct zpki::asn1::Describe<X509_EXTENSION> {
    using Shape =
        Sequence<Field<&X509_EXTENSION::extnID, Oid>, Field<&X509_EXTENSION::critical, Default<Boolean<-1>, 0>>,
                 Field<&X509_EXTENSION::extnValue, OctetString>>;
};

namespace zpki::x509 {

struct ExtensionsCodec : asn1::SequenceOf<asn1::Sub<X509_EXTENSION>> {
    using WriteOwner = ExtensionsCodec;
    using List = asn1::SequenceOf<asn1::Sub<X509_EXTENSION>>;
    static bool present(const Value& v) { return v && v->count > 0; }
    static bool decodeContents(const asn1::Element& e, Value& out) {
        return e.contentsSize > 0 && List::decodeContents(e, out);
    }
};

}  // namespace zpki::x509
