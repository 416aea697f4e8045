/*
 * Certificate forms (DER, PEM, the decoded record), the text makers of the
 * information record one by one, time texts, and the binary forms of names,
 * public keys and DigestInfo.
 *
 * Results are 0 or a CORE_ERROR_CODE (codes of libzunPKI pass through where
 * said). Certificates are DER or PEM (PEM as VCL_COM_is_pem tells it; leading
 * blanks and line ends are skipped). Buffers and texts handed out are
 * NUL-terminated and released with VCL_Free; records of libzunPKI with their
 * free_ function.
 */
#ifndef ZUNCORE_X509_CONV_H
#define ZUNCORE_X509_CONV_H

#include <zunCore/core_export.h>
#include <zunCore/x509_info.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>

/* A DigestInfo as texts. */
typedef struct {
    char* algorithm; /* algorithm text with separator '|' */
    char* reserved;  /* set to NULL */
    char* digest;    /* upper-case hex joined by ':' */
    int digestLen;   /* bytes of the digest */
} DIGEST_INFO_TEXT;

VCL_BEGIN_DECLS

/* ---- Certificate forms ------------------------------------------------------ */
/* A new record. 0xa9510002 cert NULL or len <= 0, 0xa9510061 out NULL,
 * 0xa9510068 / 0xa9510069 the DER / PEM reader found no input, 0xa9510001;
 * the readers' other codes (0x4300004f bytes that are not one element,
 * 0x4e00002b text without armour, the decoder's). */
VCL_API int VCL_X509_conv_cert2x509(const void* cert, int len, X509_CERT** out);
/* PEM input is copied as it is (len bytes); DER input is decoded and written
 * under "CERTIFICATE". 0xa9010002 cert NULL or len <= 0, 0xa9010061,
 * 0xa9010068, 0xa9010064 the writer failed, 0xa9010001; decoding codes. */
VCL_API int VCL_X509_Conv_Cert2PEM(const void* cert, int len, char** pem, int* pem_len);
/* DER input is copied as it is; PEM input is read and written as DER.
 * 0xa9020002 cert NULL or len <= 0, 0xa9020061, 0xa9020069, 0xa9020066,
 * 0xa9020001; decoding codes. */
VCL_API int VCL_X509_Conv_Cert2DER(const void* cert, int len, void** der, int* der_len);
/* The certificate's RSA key into the caller's unit. 0xa9520002, 0xa9520061,
 * 0xa9520062 no public key, 0xa9520063 not an RSA key; decoding codes. */
VCL_API int VCL_X509_get_rsaunit(const void* cert, int len, RSA_UNIT* rsa);

/* ---- Text makers (the forms of <zunCore/x509_info.h>) ----------------------- */
/* mode 2 the hexadecimal text, any other the decimal. 0xa9550002,
 * 0xa9550061, 0xa9550001. */
VCL_API int VCL_X509_bigint_to_str(const BIGINT* number, char** text, int mode);
/* 0xa9560002, 0xa9560061, 0xa9560001. */
VCL_API int VCL_X509_oid_to_str(const OBJECT_IDENTIFIER* oid, char** text, int separator);
/* The GMT text of a UTCTime or GeneralizedTime; seconds (two digits) stand
 * in for seconds the text leaves out. 0xa9570002, 0xa9570061, 0xa9570003 a
 * time of another type or a text that does not read (shorter than its form,
 * a bad field, no zone), 0xa9570001. */
VCL_API int VCL_X509_time_to_str(const X509_TIME* time, const char* seconds, char** text);
/* 0xa9580002, 0xa9580061, 0xa9580003 over 2047 characters, 0xa958006d a
 * component that cannot be read (no type or value, a NUL in the value),
 * 0xa9580001. */
VCL_API int VCL_X509_name_to_str(const X509_NAME* name, char** text);

/* ---- Time texts ------------------------------------------------------------- */
/* A time text YYYYMMDDhhmm[ss] read as local time into a new UTCTime of the
 * form (asn1.h's UTC_TIME_ forms). 0xa9610002, 0xa9610061, 0xa9610003 a text
 * of 11 characters or fewer, not digits, or a time UTCTime cannot hold
 * (outside 1950-2049). */
VCL_API int VCL_X509_str_to_utc_time(const char* text, UTC_TIME** out, int form);
/* The same text as a new local calendar time. 0xa9660002, 0xa9660061,
 * 0xa9660003. */
VCL_API int VCL_X509_str_to_asn1_time(const char* text, ASN1_TIME** out);
/* A GMT time text YYYYMMDDhhmmss as Korean time (GMT + 9 h) into out (15
 * bytes), whatever the host's zone. 0, 0xa9640002 NULL, 0xa9640118 a text
 * that does not read. */
VCL_API int VCL_GenTime_To_LocalTime(const char* text, char* out);

/* ---- Binary forms ----------------------------------------------------------- */
/* DER of a name / of a SubjectPublicKeyInfo. 0xa9620002, 0xa9620061,
 * 0xa962006e the encoding failed, 0xa9620001. */
VCL_API int VCL_X509_name_to_binary(const X509_NAME* name, unsigned char** der, int* der_len);
VCL_API int VCL_X509_pubkey_to_binary(const X509_PUBKEY* key, unsigned char** der, int* der_len);
/* A new record of len bytes of SubjectPublicKeyInfo DER. 0xa9630002,
 * 0xa9630061, 0xa963003d the bytes do not decode (*out unchanged). */
VCL_API int VCL_X509_binary_to_pubkey(const unsigned char* der, int len, X509_PUBKEY** out);
/* The record's pubkeyDER as a new record. 0xa95d0002 (also without
 * pubkeyDER), 0xa95d0061; VCL_X509_binary_to_pubkey's codes. */
VCL_API int VCL_X509_get_pubkey(const X509_Info* info, X509_PUBKEY** out);
/* A new record of an rsaEncryption (RSAPublicKey DER) or KCDSA (the INTEGER
 * y) key of key_len bytes under the algorithm of the dotted text.
 * 0xa95e0002, 0xa95e0061, 0xa95e006c another algorithm, 0xa95e0001; the key
 * decoder's code. */
VCL_API int VCL_X509_mk_pubkey(const char* algorithm, const unsigned char* key_bits, int key_len, X509_PUBKEY** out);
/* DER of a DigestInfo: the digest's algorithm (by the crypto layer's name,
 * "SHA256", with NULL parameters as PKCS#1 writes them) and digest_len bytes
 * of digest, which must be that digest's length. 0xa9640002 digest or der
 * NULL, 0xa9640006 an unknown name, 0xa964000a a length of another digest,
 * 0xa964003c encoding failed, 0xa9640001. */
VCL_API int VCL_X509_SIGN_to_binary(const char* digest_name, const unsigned char* digest, int digest_len,
                                    unsigned char** der, int* der_len);
/* Reads len bytes of DigestInfo into the record's texts (its pointers are
 * overwritten, not released). -1 when the bytes do not decode into a
 * DigestInfo; 0xa9640002 NULL arguments; the algorithm text's codes.
 * For looking into a block: it reads as Seq_to_X509_SIGN does (a wrapper
 * SEQUENCE, absent parameters, BER lengths), so equal texts do not make a
 * signature good; VCL_PK1_Public_Verify compares the whole DER block. */
VCL_API int VCL_binary_to_X509_SIGN(const unsigned char* der, int len, DIGEST_INFO_TEXT* out);

/* ---- Attributes and extensions ---------------------------------------------- */
/* A copy of the value of the first attribute of the row when it has exactly
 * one (a constructed value as a string of its contents, type its identifier);
 * *out NULL when no attribute has the row, unchanged when it has another
 * number of values. The list is left as it is. 0xa95b0002 list NULL,
 * 0xa95b0061 out NULL, 0xa95b0001. */
VCL_API int VCL_X509_attributes_get_asn1_string(const X509_ATTRIBUTES* list, int oid_row, ASN1_STRING** out);
/* The subjectKeyIdentifier's OCTET STRING as a new string; *out unchanged
 * without one. Always 0 (nothing for NULL arguments). */
VCL_API int VCL_X509_get_subjectkeyidentifier(const X509_CERT* cert, ASN1_STRING** out);

VCL_END_DECLS

#endif
