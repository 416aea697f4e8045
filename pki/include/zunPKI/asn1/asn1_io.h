/* Structures to and from DER and PEM bytes and files, through each
 * structure's encoder and decoder callbacks. */
#ifndef ZUNPKI_ASN1_IO_H
#define ZUNPKI_ASN1_IO_H

#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>

/* A structure's encoder (X_to_Seq): fills *node, making it when null. */
typedef PKI_ERROR (*ASN1_ENCODE_FUNC)(void* value, ASN1_UNIT** node);
/* A structure's decoder (Seq_to_X): fills *value, making it when null. */
typedef PKI_ERROR (*ASN1_DECODE_FUNC)(ASN1_UNIT* node, void** value);

ZUNPKI_BEGIN_DECLS

/* The node's bytes (identifier, length octets, contents and, for the
 * indefinite form, the end-of-contents pair) in a new buffer; the byte count,
 * or -1 when the node has no identifier. */
ZUNPKI_API int ASN1_to_binary(const ASN1_UNIT* node, unsigned char** bytes);
/* The DER TLV of one string; -1 for null arguments or when it does not encode. */
ZUNPKI_API int ASN1_STRING_to_binary(const ASN1_STRING* str, unsigned char** bytes);
/* Writes the node's bytes to path; the count written, or -1. */
ZUNPKI_API int ASN1_to_FILE(const ASN1_UNIT* node, const char* path);

/* DER of value in a new buffer; the length, or -1. */
ZUNPKI_API int writeDER_to_Binary(void* value, ASN1_ENCODE_FUNC encoder, unsigned char** bytes);
/* DER of value written to path; the count written, or -1 (a failed encoder
 * included). */
ZUNPKI_API int writeDER_to_FILE(void* value, ASN1_ENCODE_FUNC encoder, const char* path);
/* Decodes the one TLV at the start of the len bytes (bytes after it are
 * ignored). 0x4300002B for null input, 0x4300004F when the bytes are not one
 * TLV, else the decoder's code. */
ZUNPKI_API PKI_ERROR readDER_from_Binary(void** value, ASN1_DECODE_FUNC decoder, const unsigned char* bytes, int len);
ZUNPKI_API PKI_ERROR readDER_from_File(void** value, ASN1_DECODE_FUNC decoder, const char* path);

/* PEM of value under label (lines of 64 characters) in a new text; its
 * length, 0x4E00002B for a null output pointer, or -1. */
ZUNPKI_API int writePEM_to_Binary(void* value, ASN1_ENCODE_FUNC encoder, const char* label, int labelLen, char** pem);
/* The same written to path: the count written, 0x4E00002B for a null path, or -1. */
ZUNPKI_API int writePEM_to_FILE(void* value, ASN1_ENCODE_FUNC encoder, const char* label, int labelLen,
                                const char* path);
/* 0x4E00002B for null input or no armour, 0x4E00004F when its body is not one
 * TLV, else the decoder's code. */
ZUNPKI_API PKI_ERROR readPEM_from_Binary(void** value, ASN1_DECODE_FUNC decoder, const char* pem, int pemLen);
ZUNPKI_API PKI_ERROR readPEM_from_File(void** value, ASN1_DECODE_FUNC decoder, const char* path);

/* Digest (a VSC_DIGEST_ id) of the DER of value into out, which holds the
 * digest's length; that length, or 0. */
ZUNPKI_API int get_ASN1_hash(void* value, ASN1_ENCODE_FUNC encoder, int digestId, unsigned char* out);

ZUNPKI_END_DECLS

#endif
