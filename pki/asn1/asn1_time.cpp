// asn1_time: filled in by the next commits.
