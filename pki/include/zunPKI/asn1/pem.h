/* PEM armour: the BEGIN and END lines around Base64 text. */
#ifndef ZUNPKI_PEM_H
#define ZUNPKI_PEM_H

#include <zunPKI/asn1/pki_export.h>

ZUNPKI_BEGIN_DECLS

/* Base64 of der (line_flag 1: lines of 64 characters) inside the armour for
 * label. Returns the text length, 0 when der, label or out is null or der is
 * empty. Free *out with VSC_Free. */
ZUNPKI_API int encode_PEM(const unsigned char* der, int der_len, const char* label, int label_len, char** out,
                          int line_flag);

/* "-----BEGIN <label>-----\n" b64 "\n-----END <label>-----\n"; the length is
 * b64_len + 2 * label_len + 33. 0 when b64, label or out is null. */
ZUNPKI_API int base64ToPEM(const char* b64, int b64_len, const char* label, int label_len, char** out);

/* Decodes the Base64 body of the first armour in pem (the label is not
 * checked). Returns the byte count with the bytes in *out, 0 on any failure. */
ZUNPKI_API int decode_PEM(const char* pem, int pem_len, unsigned char** out);

ZUNPKI_END_DECLS

#endif
