/*
 * KCDSA and ECDSA signature values.
 *
 * KCDSA: SEQUENCE { r BIT STRING, s INTEGER } (r is a hash-sized byte
 * string, kept whole). ECDSA: SEQUENCE { r INTEGER, s INTEGER }.
 *
 * The decoders take the length of the DER and write into the caller's
 * buffers: *r_len and *s_len give each buffer's size on entry and the count
 * written on return; a value that does not fit is refused. s (and the ECDSA
 * r) are written as INTEGER contents, (bits + 8) / 8 bytes.
 *
 * The decoders take DER only, so that a signature has one byte form: definite
 * lengths in the fewest octets, INTEGERs non-negative in the fewest octets, r
 * of KCDSA a primitive BIT STRING without unused bits, nothing after the
 * SEQUENCE. A value longer than SIGNATURE_VALUE_MAX_PART bytes is refused, so
 * whatever decodes encodes again to the same bytes.
 */
#ifndef ZUNPKI_X509_SIG_H
#define ZUNPKI_X509_SIG_H

#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>

/* Longest r or s the encoders take, in bytes. */
#define SIGNATURE_VALUE_MAX_PART 4096

ZUNPKI_BEGIN_DECLS

/* The DER in a new buffer *der (released with VSC_Free); returns its length,
 * or 0x4F00002B for a missing argument or a length out of 1..4096,
 * 0x4F00003C when a value cannot be made, or an encoder's code. */
ZUNPKI_API int encode_KCDSASignatureValue(unsigned char** der, const unsigned char* r, int r_len,
                                          const unsigned char* s, int s_len);
/* 0, or 1 on any failure (missing argument, malformed DER, a value that does
 * not fit its buffer). */
ZUNPKI_API int decode_KCDSASignatureValue(unsigned char* r, int* r_len, unsigned char* s, int* s_len,
                                          const unsigned char* der, int der_len);
/* The same two under their other exported names. */
ZUNPKI_API int encode_KCDSASignatrueValue(unsigned char** der, const unsigned char* r, int r_len,
                                          const unsigned char* s, int s_len);
ZUNPKI_API int decode_KCDSASignatrueValue(unsigned char* r, int* r_len, unsigned char* s, int* s_len,
                                          const unsigned char* der, int der_len);

/* r and s are unsigned big-endian. 0, 0x462E0049 for a missing argument or a
 * length out of 1..4096, 0x462E003C, 0x462E0104. */
ZUNPKI_API PKI_ERROR encode_ECDSASignatureValue(unsigned char** der, int* der_len, const unsigned char* r, int r_len,
                                                const unsigned char* s, int s_len);
/* 0, 0x462F0049 for a missing argument, 0x462F0104 when the input is not the
 * DER of a SEQUENCE of two non-negative INTEGERs, 0x462F002B when a value does
 * not fit its buffer (or is longer than SIGNATURE_VALUE_MAX_PART). */
ZUNPKI_API PKI_ERROR decode_ECDSASignatureValue(unsigned char* r, int* r_len, unsigned char* s, int* s_len,
                                                const unsigned char* der, int der_len);

ZUNPKI_END_DECLS

#endif
