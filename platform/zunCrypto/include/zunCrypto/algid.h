/*
 * Algorithm identifiers of libzunCrypto.
 *
 * The one table of numeric algorithm ids shared by the crypto layer, the PKI
 * library and the core library. Ids are 32-bit: the algorithm family in the
 * upper bits and, for block ciphers, the mode in the low byte. Digest ids and
 * cipher ids are separate name spaces (the SHA-1 digest and the RC5 cipher
 * share the value 0x05000100).
 *
 * Plain C, no dependencies; include it as <zunCrypto/algid.h>.
 */
#ifndef ZUNCRYPTO_ALGID_H
#define ZUNCRYPTO_ALGID_H

/* ---- Digests ------------------------------------------------------------ */
#define VSC_DIGEST_SHA1 0x05000100
#define VSC_DIGEST_SHA224 0x05000200
#define VSC_DIGEST_SHA256 0x05000300
#define VSC_DIGEST_SHA384 0x05000400
#define VSC_DIGEST_SHA512 0x05000500
#define VSC_DIGEST_MD5 0x06000100
#define VSC_DIGEST_HAS160 0x07000100
#define VSC_DIGEST_MDC2 0x08000100 /* named by the tables; not available */

/* HMAC ids: the digest id with bit 28 set. */
#define VSC_HMAC_FLAG 0x10000000
#define VSC_HMAC_SHA1 0x15000100
#define VSC_HMAC_SHA224 0x15000200
#define VSC_HMAC_SHA256 0x15000300
#define VSC_HMAC_SHA384 0x15000400
#define VSC_HMAC_SHA512 0x15000500
#define VSC_HMAC_MD5 0x16000100
#define VSC_HMAC_HAS160 0x17000100

/* ---- Block ciphers ------------------------------------------------------ */
/* Cipher id = algorithm id | mode, optionally | VSC_CIPHER_NO_PADDING. */
#define VSC_CIPHER_MODE_ECB 0x00
#define VSC_CIPHER_MODE_CBC 0x20
#define VSC_CIPHER_MODE_CFB 0x40 /* full-block feedback, never padded */
#define VSC_CIPHER_MODE_OFB 0x60 /* never padded */
#define VSC_CIPHER_MODE_CTR 0x80 /* big-endian counter over the whole block, never padded */
#define VSC_CIPHER_MODE_MASK 0xE0
#define VSC_CIPHER_NO_PADDING 0x01 /* bit 0: add or remove no padding */
#define VSC_CIPHER_ALG_MASK 0xFFFFFF00

/* Algorithm ids (mode ECB). */
#define VSC_CIPHER_AES128 0x01000100
#define VSC_CIPHER_AES192 0x01000200
#define VSC_CIPHER_AES256 0x01000300
#define VSC_CIPHER_DES 0x02000100          /* single DES, 8-byte key */
#define VSC_CIPHER_DES_EDE 0x02000200      /* triple DES, 24-byte key (the PEM key cipher) */
#define VSC_CIPHER_DES_EDE_2KEY 0x02001200 /* triple DES with two keys, 16-byte key */
#define VSC_CIPHER_DES_EDE3 0x02010200     /* triple DES, 24-byte key */
#define VSC_CIPHER_ARIA128 0x03000100
#define VSC_CIPHER_ARIA192 0x03000200
#define VSC_CIPHER_ARIA256 0x03000300
#define VSC_CIPHER_SEED 0x04000100
#define VSC_CIPHER_RC5 0x05000100     /* named by the tables; not available */
#define VSC_CIPHER_BF 0x06000100      /* Blowfish, 16-byte key */
#define VSC_CIPHER_RC2_128 0x07000100 /* RC2, 16-byte key, 128 effective bits */
#define VSC_CIPHER_RC2_40 0x07000200  /* RC2, 5-byte key, 40 effective bits */

/* Frequent combinations. */
#define VSC_CIPHER_SEED_CBC (VSC_CIPHER_SEED | VSC_CIPHER_MODE_CBC)         /* 0x04000120 */
#define VSC_CIPHER_ARIA128_CBC (VSC_CIPHER_ARIA128 | VSC_CIPHER_MODE_CBC)   /* 0x03000120 */
#define VSC_CIPHER_AES128_CBC (VSC_CIPHER_AES128 | VSC_CIPHER_MODE_CBC)     /* 0x01000120 */
#define VSC_CIPHER_AES256_CBC (VSC_CIPHER_AES256 | VSC_CIPHER_MODE_CBC)     /* 0x01000320 */
#define VSC_CIPHER_DES_CBC (VSC_CIPHER_DES | VSC_CIPHER_MODE_CBC)           /* 0x02000120 */
#define VSC_CIPHER_DES_EDE_CBC (VSC_CIPHER_DES_EDE | VSC_CIPHER_MODE_CBC)   /* 0x02000220 */
#define VSC_CIPHER_DES_EDE3_CBC (VSC_CIPHER_DES_EDE3 | VSC_CIPHER_MODE_CBC) /* 0x02010220 */

#define VSC_CIPHER_MODE(id) ((id)&VSC_CIPHER_MODE_MASK)
#define VSC_CIPHER_ALG(id) ((id) & (int)VSC_CIPHER_ALG_MASK)

/* ---- Public-key algorithms (the cipher ids of key and signature rows) ---- */
/* The low byte is the RSA scheme that a signature or key-transport row implies. */
#define VSC_PKEY_RSA 0x20000000
#define VSC_PKEY_RSA_SIG 0x20000001 /* RSA with PKCS#1 v1.5 signature */
#define VSC_PKEY_RSA_PSS 0x20000002 /* RSASSA-PSS */
#define VSC_PKEY_RSA_OAEP_SET 0x20000008
#define VSC_PKEY_RSA_OAEP 0x20000010 /* RSAES-OAEP */
#define VSC_PKEY_DSA 0x30000000
#define VSC_PKEY_KCDSA 0x40000000
#define VSC_PKEY_ECDSA 0x50000000

/* Password-based rows whose cipher is RC2 (PKCS#12). */
#define VSC_PBE_RC2_128_CBC (VSC_CIPHER_RC2_128 | VSC_CIPHER_MODE_CBC) /* 0x07000120 */
#define VSC_PBE_RC2_40_CBC (VSC_CIPHER_RC2_40 | VSC_CIPHER_MODE_CBC)   /* 0x07000220 */

/* ---- RSA schemes and padding modes --------------------------------------- */
/* A padding mode is the scheme in the low byte, optionally OR'd with a digest
 * id (the digest of OAEP or PSS) and, for PSS, a salt length in bits 16-23. */
#define VSC_RSAES_RAW 0        /* raw RSA, no padding */
#define VSC_RSAES_OAEP 8       /* OAEP (PKCS#1 v2.0 naming) */
#define VSC_RSAES_OAEP_V21 16  /* OAEP (PKCS#1 v2.1 naming); same encoding */
#define VSC_RSAES_PKCS1_V15 32 /* PKCS#1 v1.5 */
#define VSC_RSASSA_DEFAULT 0   /* with an RSA key: PKCS#1 v1.5 */
#define VSC_RSASSA_PKCS1_V15 1
#define VSC_RSASSA_PSS 2

#define VSC_PAD_SCHEME(mode) ((mode)&0xFF)
#define VSC_PAD_SALT_LENGTH(mode) (((mode) >> 16) & 0xFF)
#define VSC_PAD_DIGEST(mode) ((mode)&0xFF00FF00)

#endif /* ZUNCRYPTO_ALGID_H */
