// asn1: filled in by the next commits.
