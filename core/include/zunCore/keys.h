/*
 * Signer credentials and RSA keys: the PKISTRINFO record in which a
 * certificate, its private key and the key's password travel (the store
 * calls it PKI_STR_INFO), opening private keys of every form this library
 * reads, public keys from certificates and PKCS#1 files, RSA key generation,
 * PKCS#1 PEM files of a certificate's key, and flat RSA components.
 *
 * Private keys are opened in this order: PKCS#1 (DER without password, PEM
 * plain or "DEK-Info" encrypted), then PKCS#8 (an EncryptedPrivateKeyInfo
 * in DER or PEM under the password, or with a NULL password a plain
 * PrivateKeyInfo). Keys are RSA (kind 1) or KCDSA (kind 2); a key of any
 * other kind is refused with reason 0x40. Passwords are at most 255 bytes.
 *
 * Results are 0 or a CORE_ERROR_CODE; codes of libzunPKI and of the crypto
 * layer pass through unchanged. On failure nothing is handed out
 * (out-pointers NULL and 0). New buffers are NUL-terminated, one byte longer
 * than their length, and released with VCL_Free.
 */
#ifndef ZUNCORE_KEYS_H
#define ZUNCORE_KEYS_H

#include <zunCore/core_export.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/x509/x509_key.h>

/* Longest password a credential holds (its field keeps a zero after it). */
#define VCL_PASSWORD_MAX 255

/* Key kinds and certificate uses of a credential. */
#define VCL_KEY_KIND_RSA 1
#define VCL_KEY_KIND_KCDSA 2
#define VCL_CERT_USE_SIGN 3
#define VCL_CERT_USE_OTHER 4

/* A signer's credentials. cert and key are owned by the record (malloc'd,
 * with a zero byte after the data); arrays of records are contiguous. The
 * store and the agent read these fields: the layout stays. */
typedef struct {
    unsigned char* cert; /* DER or PEM */
    int cert_len;
    unsigned char* key; /* encrypted PKCS#8 DER, or any form the key openers read */
    int key_len;
    char password[256]; /* without a terminator of its own; the rest stays zero */
    int password_len;
    int key_kind; /* VCL_KEY_KIND_ (set by PKCS#12 reading) */
    int cert_use; /* VCL_CERT_USE_ (set by PKCS#12 reading) */
} PKISTRINFO;

/* Flat RSA components: unsigned big-endian bytes from the start of each
 * field, then their length. Keys of up to 4096 bits fit. The store reads
 * these fields: the layout stays. */
typedef struct {
    unsigned char modulus[512];
    int modulus_len;
    unsigned char public_exponent[16];
    int public_exponent_len;
    unsigned char private_exponent[512];
    int private_exponent_len;
    unsigned char prime1[256]; /* p */
    int prime1_len;
    unsigned char prime2[256]; /* q */
    int prime2_len;
    unsigned char exponent1[256]; /* d mod (p-1) */
    int exponent1_len;
    unsigned char exponent2[256]; /* d mod (q-1) */
    int exponent2_len;
    unsigned char coefficient[256]; /* q^-1 mod p */
    int coefficient_len;
} RSAINFO;

/* A certificate's bytes (DER or PEM), for lists of further certificates. */
typedef struct {
    unsigned char* data;
    int len;
} CERT_ITEM;

/* The forms VCL_PK1_Generate_RSA_Key and VCL_PK8_to_PK1 write. */
#define VCL_FORM_DER 48 /* '0' */
#define VCL_FORM_PEM 49 /* '1' */

VCL_BEGIN_DECLS

/* ---- Credentials ---------------------------------------------------------- */
/* A new zero-filled record, or NULL when memory is short. */
VCL_API PKISTRINFO* VCL_PK1_New_PKISTRINFO(void);
/* Copies the certificate (when cert is given and cert_len > 0) and the key
 * (when key is given and key_len > 0), and with the key the NUL-terminated
 * password (a NULL password leaves the password fields as they are). What
 * the record held before is wiped and replaced. All or nothing:
 * 0xa4020002 NULL info, 0xa4020003 a password above 255 bytes, 0xa4020001
 * short memory (the record is then as it was). */
VCL_API int VCL_PK1_Set_PKISTRINFO(PKISTRINFO* info, const void* cert, int cert_len, const void* key, int key_len,
                                   const char* password);
/* Wipes the certificate, key and password, frees them and the record. NULL
 * is ignored. */
VCL_API void VCL_PK1_Free_PKISTRINFO(PKISTRINFO* info);
/* The same for each of count records of a contiguous array, which is left
 * zero-filled and not freed (the caller frees it). */
VCL_API void VCL_PK1_Free_PKISTRINFOS(PKISTRINFO* array, int count);

/* ---- Opening keys ------------------------------------------------------------ */
/* A private key of any form into a new key marked private (free with
 * free_ASYMMETRIC_KEY). When neither form opens, the PKCS#8 attempt's code
 * (a wrong password: 0x4a070012). 0xa4030002 NULL arguments, 0xa4030003 a
 * password above 255 bytes, 0xa4030040 a key that is neither RSA nor KCDSA. */
VCL_API int VCL_PK1_priv_convert_keyunit(const void* key, int key_len, const char* password, int pw_len,
                                         ASYMMETRIC_KEY** asym);
/* A PKCS#1 RSA private key (DER, password unused; PEM plain or encrypted).
 * -2 for a NULL key, 0xa4030040 a public key, else the reader's code. */
VCL_API int VCL_PK1_get_asym_key(const void* key, int key_len, const char* password, int pw_len, ASYMMETRIC_KEY** asym);
/* The public key of a certificate (DER or PEM; RSA or KCDSA), or an RSA
 * public key in PEM ("RSA PUBLIC KEY", "PUBLIC KEY") or DER, marked public.
 * 0xa4040002 NULL arguments, 0xa4040019 nothing reads as a key, 0xa4040040 a
 * certificate key of another kind. */
VCL_API int VCL_PK1_pubk_convert_keyunit(const void* cert_or_key, int len, ASYMMETRIC_KEY** asym);
/* The kind of a private key (VCL_KEY_KIND_) as VCL_PK1_priv_convert_keyunit
 * opens it; its codes. */
VCL_API int VCL_COM_GetPrivateKeyType(const void* key, int key_len, const char* password, int pw_len, int* kind);

/* ---- Generation ---------------------------------------------------------------- */
/* New RSA parameters with e = 65537 into rsa; the crypto layer's code
 * (0xa4010002 for a NULL unit). */
VCL_API int VCL_PK1_rsa_gen_param(int method, int bits, RSA_UNIT* rsa);
/* A new key pair: the PKCS#1 public key ("RSA PUBLIC KEY") and the plain
 * private key ("RSA PRIVATE KEY"), as PEM, or as DER for form 48.
 * 0xa4010012 method other than 1 or 2, 0xa4010003 bits outside 1024..4096,
 * 0xa401006f generation failed, 0xa4010070 / 0xa4010071 public / private key
 * not written, 0xa4010002 NULL out-pointers, 0xa4010001 short memory. */
VCL_API int VCL_PK1_Generate_RSA_Key(int method, int bits, int form, unsigned char** pub, int* pub_len,
                                     unsigned char** priv, int* priv_len);

/* ---- PKCS#1 files of a certificate's key -------------------------------------- */
/* The certificate's RSA public key as "RSA PUBLIC KEY" PEM. 0xa40f002c
 * nothing written, 0xa40f0001 short memory, 0xa40f0002 NULL arguments. */
VCL_API int VCL_PK1_Cert_To_Publickey_Pemfile(const void* cert, int cert_len, char** pem, int* pem_len);
/* The private key of the certificate (PKCS#1 DER or PEM, PKCS#8 DER or
 * PEM, plain or encrypted, opened with the password) as "RSA PRIVATE KEY"
 * PEM encrypted under the same password (plain for a NULL password).
 * 0xa413002f a key that is not the certificate's, 0xa4130090 a key file of
 * another type, 0xa413002c nothing written, 0xa4130001 short memory,
 * 0xa4130002 NULL arguments, 0xa4130003 a password above 255 bytes. */
VCL_API int VCL_PK1_Cert_To_Privatekey_Pemfile(const void* cert, int cert_len, const void* key, int key_len,
                                               const char* password, int pw_len, char** pem, int* pem_len);

/* ---- Flat components (free the record with free) ------------------------------ */
/* All eight components of an RSA private key. 0xa4050040 not an RSA key,
 * 0xa405000a a component longer than its field, 0xa4050001 short memory,
 * 0xa4050002 NULL out-pointer; the opener's codes. */
VCL_API int VCL_PK1_Privatekey_To_RSAINFO(const void* key, int key_len, const char* password, int pw_len,
                                          RSAINFO** info);
/* n and e of a certificate's or public key's RSA key (other lengths 0).
 * 0xa4060040 not RSA, 0xa406000a too long, 0xa4060001, 0xa4060002. */
VCL_API int VCL_PK1_Cert_To_RSAINFO(const void* cert_or_key, int len, RSAINFO** info);

VCL_END_DECLS

#endif
