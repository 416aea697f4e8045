#!/usr/bin/env bash
# LDAP URLs of CRL distribution points: ports, %-encoded DNs, attribute lists
# with options, scopes and filters, an IPv6 literal, ldaps.
# Usage: core_ldap_url_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
printf 'ldap://dirhost:10389/cn=CA,c=KR?certificateRevocationList' > "$out/plain.txt"
printf 'ldap://ldap.signgate.com:389/ou=dp5p76,ou=AccreditedCA,o=KICA,c=KR?certificateRevocationList;binary' > "$out/kica.txt"
printf 'LDAP://h/cn=Root%%20CA,o=%%ED%%95%%9C,c=KR?authorityRevocationList;binary,cn?base?(objectclass=*)' > "$out/encoded.txt"
printf 'ldap://[::1]:1389/o=x' > "$out/v6.txt"
printf 'ldaps://h/x' > "$out/ldaps.txt"
