/*
 * libzunCrypto: the crypto primitive layer (VSC_ functions).
 *
 * Headers:
 *   <zunCrypto/zunCrypto.h>  this file: every VSC_ function and the object records
 *   <zunCrypto/algid.h>      the numeric algorithm ids shared with the PKI and core
 *                            libraries (included here)
 *
 * Conventions
 * - Functions return 0 on success. VSC_FAIL (1) means a padding, scheme or
 *   signature check failed; any other value is one of the VSC_ERR_ codes below.
 *   Constructors return an object or NULL.
 * - Lengths are int; a negative length is refused.
 * - Memory handed out by this library (texts, buffers) is released with VSC_Free
 *   or VSC_Free_Ex; both zero the block before releasing it. Every allocator
 *   takes the caller's source file name and line last (use the VSC_MALLOC etc.
 *   macros to pass __FILE__ and __LINE__).
 * - Object records are plain structs whose named members callers may read (and,
 *   where noted, set). Members named impl belong to the library.
 * - Key material held by units is zeroed when the unit is freed or cleaned.
 * - Objects are not shared between threads; distinct objects may be used from
 *   distinct threads at once. VSC_Dup_RSA may copy one unit from several
 *   threads at once, and the copies may be used at once.
 */
#ifndef ZUNCRYPTO_ZUNCRYPTO_H
#define ZUNCRYPTO_ZUNCRYPTO_H

#include <stddef.h>

#include <zunCrypto/algid.h>

#if defined(__GNUC__)
#define VSC_API __attribute__((visibility("default")))
#else
#define VSC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ======================================================================== */
/* Result codes                                                              */
/* ======================================================================== */
#define VSC_OK 0
#define VSC_FAIL 1 /* padding, scheme or signature check failed */
#define VSC_ERR_BASE 0x60000000
#define VSC_ERR_NULL_ARGUMENT 0x60000001
#define VSC_ERR_INVALID_ARGUMENT 0x60000002
#define VSC_ERR_INVALID_LENGTH 0x60000003 /* negative length, or not a whole number of blocks */
#define VSC_ERR_MEMORY 0x60000004
#define VSC_ERR_UNKNOWN_ALGORITHM 0x60000005 /* id not in the tables */
#define VSC_ERR_UNSUPPORTED 0x60000006       /* known id, no implementation (RC5, MDC2, ...) */
#define VSC_ERR_NOT_INITIALIZED 0x60000007   /* unit used before its Init */
#define VSC_ERR_BUFFER_TOO_SMALL 0x60000008
#define VSC_ERR_KEY_MISSING 0x60000009 /* the key lacks the values the operation needs */
#define VSC_ERR_INVALID_KEY 0x6000000a
#define VSC_ERR_BACKEND 0x6000000b /* the underlying library failed */
#define VSC_ERR_RANDOM 0x6000000c
#define VSC_ERR_WRONG_DIRECTION 0x6000000d /* e.g. Final of a verifying unit asked to sign */
#define VSC_ERR_NOT_IMPLEMENTED 0x6000000e
#define VSC_ERR_INVALID_PARAMS 0x6000000f /* domain parameters that do not hold */

/* A short English text for a result code (static; never NULL). */
VSC_API const char* VSC_Get_Error_String(int code);

/* ======================================================================== */
/* Memory                                                                    */
/* ======================================================================== */
/* Allocation failure gives NULL, as does a block above 4 GiB (a negative int
 * converted to size_t). A size of 0 gives a valid, unique block.
 * VSC_Free and VSC_Free_Ex zero the whole block, then release it; NULL is
 * ignored. VSC_Free_Ex's len is what the caller knows of the block; the whole
 * block is zeroed whatever it says. VSC_Realloc zeroes the old block when it
 * moves. Blocks of these functions are released only with VSC_Free/_Ex. */
VSC_API void* VSC_Malloc(size_t size, const char* file, int line);
VSC_API void* VSC_Calloc(size_t count, size_t size, const char* file, int line);
VSC_API void* VSC_Realloc(void* ptr, size_t size, const char* file, int line);
VSC_API void VSC_Free(void* ptr, const char* file, int line);
VSC_API void VSC_Free_Ex(void* ptr, size_t len, const char* file, int line);

#define VSC_MALLOC(size) VSC_Malloc((size), __FILE__, __LINE__)
#define VSC_CALLOC(count, size) VSC_Calloc((count), (size), __FILE__, __LINE__)
#define VSC_REALLOC(ptr, size) VSC_Realloc((ptr), (size), __FILE__, __LINE__)
#define VSC_FREE(ptr) VSC_Free((ptr), __FILE__, __LINE__)
#define VSC_FREE_EX(ptr, len) VSC_Free_Ex((ptr), (len), __FILE__, __LINE__)

/* ======================================================================== */
/* Library set-up, modes and version                                         */
/* ======================================================================== */
/* Every function initialises the library on first use; VSC_Crypto_Initialize
 * does it explicitly and reports whether the algorithm providers loaded.
 * Modes are recorded and reported; none restricts the algorithms on offer
 * (the PKI library never switches modes), and none makes random output
 * predictable: random bytes are always seeded from the operating system. */
#define VSC_MODE_PROVEN 0
#define VSC_MODE_NON_PROVEN 1
#define VSC_MODE_TEST 2

VSC_API int VSC_Crypto_Initialize(void);
VSC_API int VSC_Change_Non_Proven_Mode(void);
VSC_API int VSC_Change_Test_Mode(void);
VSC_API int VSC_Get_Crypto_Mode(void);
/* Dotted version text, e.g. "3.2.0" (static). */
VSC_API const char* VSC_Get_Crypto_Version(void);

/* ======================================================================== */
/* Big integers                                                              */
/* ======================================================================== */
typedef struct vsc_bigint_st BIGINT; /* opaque */

VSC_API BIGINT* VSC_New_BIGINT(void);            /* value 0 */
VSC_API void VSC_Free_BIGINT(BIGINT* a);         /* zeroes; NULL and the shared one are ignored */
VSC_API BIGINT* VSC_Dup_BIGINT(const BIGINT* a); /* NULL for NULL */
VSC_API int VSC_Copy_BIGINT(BIGINT* to, const BIGINT* from);
/* -1, 0 or 1. A NULL argument orders before any value; two NULLs are equal. */
VSC_API int VSC_Cmp_BIGINT(const BIGINT* a, const BIGINT* b);
/* Unsigned big-endian bytes to a value; into ret, or a new BIGINT when ret is
 * NULL. Returns ret or the new value; NULL on failure. len 0 gives 0. */
VSC_API BIGINT* VSC_Binary_To_BIGINT(BIGINT* ret, const unsigned char* bin, int len);
/* Contents of a non-negative DER INTEGER: (bits + 8) / 8 bytes, a leading zero
 * when the top bit is set, one zero byte for 0. The magnitude of a negative
 * value is written the same way. Returns the byte count, or -1. */
VSC_API int VSC_BIGINT_To_Binary(const BIGINT* a, unsigned char* out);
/* Minimal unsigned big-endian bytes, (bits + 7) / 8; 0 bytes for 0. Returns the
 * byte count, or -1. */
VSC_API int VSC_BIGINT_To_Binary_Unsigned(const BIGINT* a, unsigned char* out);
VSC_API int VSC_Get_BIGINT_Bits_Length(const BIGINT* a); /* 0 for 0 or NULL */
/* The value when it fits an unsigned long, else (unsigned long)-1; 0 for NULL. */
VSC_API unsigned long VSC_Get_BIGINT_Word(const BIGINT* a);
VSC_API int VSC_Set_BIGINT_Word(BIGINT* a, unsigned long w);
VSC_API int VSC_Add_BIGINT(BIGINT* r, const BIGINT* a, const BIGINT* b); /* r = a + b */
VSC_API int VSC_Add_BIGINT_Word(BIGINT* a, unsigned long w);             /* a += w */
/* The value 1, shared and read-only; VSC_Free_BIGINT ignores it. */
VSC_API BIGINT* VSC_Value_One_BIGINT(void);
/* Texts, released with VSC_Free; NULL on failure. DEC: decimal with '-' for
 * negatives. HEX and Dump: upper-case hex, two digits per byte ("00" for 0),
 * '-' for negatives. */
VSC_API char* VSC_BIGINT_To_DEC(const BIGINT* a);
VSC_API char* VSC_BIGINT_To_HEX(const BIGINT* a);
VSC_API char* VSC_Dump_BIGINT(const BIGINT* a);
/* Hex text (optional '-', digits of either case, nothing else) to a new value;
 * NULL for NULL, empty or malformed text. */
VSC_API BIGINT* VSC_HEX_To_BIGINT(const char* text);
/* Writes the hex text and a newline to standard output. */
VSC_API int VSC_Print_BIGINT(const BIGINT* a);

/* ======================================================================== */
/* Digests                                                                   */
/* ======================================================================== */
typedef struct vsc_digest_unit_st {
    int alg_id;        /* digest id after VSC_Init_DIGEST, else 0 */
    int block_length;  /* input block in bytes (64 for SHA-256) */
    int digest_length; /* output in bytes */
    void* impl;
} DIGEST_UNIT;

#define VSC_MAX_DIGEST_LENGTH 64

VSC_API DIGEST_UNIT* VSC_New_DIGEST_Unit(void);
VSC_API void VSC_Free_DIGEST_Unit(DIGEST_UNIT* unit);
VSC_API int VSC_Init_DIGEST(DIGEST_UNIT* unit, int digest_id);
VSC_API int VSC_Update_DIGEST(DIGEST_UNIT* unit, const unsigned char* data, int len);
/* Writes digest_length bytes to out (room for VSC_MAX_DIGEST_LENGTH is always
 * enough) and leaves the unit started again for a new message with the same
 * algorithm. out_len may be NULL. */
VSC_API int VSC_Final_DIGEST(DIGEST_UNIT* unit, unsigned char* out, int* out_len);
VSC_API int VSC_DIGEST(int digest_id, const unsigned char* data, int len, unsigned char* out, int* out_len);
/* Output length in bytes; -1 for an unknown or unavailable digest. */
VSC_API int VSC_Get_DIGEST_Length(int digest_id);
/* Input block length in bytes; -1 when unknown. */
VSC_API int VSC_Get_DIGEST_Block_Length(int digest_id);
/* Digest id of a name, case-insensitive ("sha256", "SHA-256", "has160",
 * "md5", ...); 0 when unknown. */
VSC_API int VSC_Get_DIGEST_Alg_ID_By_Name(const char* name);

/* ======================================================================== */
/* HMAC                                                                      */
/* ======================================================================== */
typedef struct vsc_hmac_unit_st {
    int alg_id; /* digest id */
    int digest_length;
    void* impl;
} HMAC_UNIT;

VSC_API HMAC_UNIT* VSC_New_HMAC_Unit(void);
VSC_API void VSC_Free_HMAC_Unit(HMAC_UNIT* unit);
/* digest_id: a digest id, or the HMAC id (bit 28 set). Any key length. */
VSC_API int VSC_Init_HMAC(HMAC_UNIT* unit, int digest_id, const unsigned char* key, int key_len);
VSC_API int VSC_Update_HMAC(HMAC_UNIT* unit, const unsigned char* data, int len);
/* Like VSC_Final_DIGEST: the unit is ready for a new message under the same key. */
VSC_API int VSC_Final_HMAC(HMAC_UNIT* unit, unsigned char* out, int* out_len);

/* ======================================================================== */
/* Block ciphers                                                             */
/* ======================================================================== */
typedef struct vsc_block_cipher_unit_st {
    int alg_id;  /* the cipher id given to Init, bit 0 included */
    int encrypt; /* 1 encrypt, 0 decrypt */
    int padding; /* 1 when PKCS#7 padding is added/removed */
    int key_length;
    int block_length;
    int iv_length;        /* 0 for ECB */
    unsigned char iv[16]; /* the IV given to Init (iv_length bytes) */
    void* impl;
} BLOCK_CIPHER_UNIT;

VSC_API BLOCK_CIPHER_UNIT* VSC_New_BLOCK_CIPHER_Unit(void);
VSC_API void VSC_Free_BLOCK_CIPHER_Unit(BLOCK_CIPHER_UNIT* unit);
/* key: VSC_Get_Key_Length(cipher_id) bytes; iv: VSC_Get_IV_Length bytes (NULL
 * means zeros; ignored for ECB). encrypt: 1 encrypts, 0 decrypts. Bit 0 of
 * cipher_id set: no padding, and the data must be whole blocks (ECB, CBC).
 * CFB, OFB and CTR are never padded. A unit may be initialised again. */
VSC_API int VSC_Init_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, int cipher_id, const unsigned char* key,
                                  const unsigned char* iv, int encrypt);
/* out needs room for in_len + block_length bytes; *out_len receives the count. */
VSC_API int VSC_Update_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len, const unsigned char* in,
                                    int in_len);
/* out needs room for block_length bytes. Decryption with padding checks and
 * removes it (VSC_FAIL when it is wrong); without padding, left-over bytes
 * that do not make a block give VSC_ERR_INVALID_LENGTH. The unit must be
 * initialised again before further use. */
VSC_API int VSC_Final_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len);
/* One shot. out needs room for in_len + block length bytes. */
VSC_API int VSC_BLOCK_CIPHER(int cipher_id, int encrypt, const unsigned char* key, const unsigned char* iv,
                             const unsigned char* in, int in_len, unsigned char* out, int* out_len);
/* Lengths of a cipher id (mode and bit 0 are ignored except that ECB has no
 * IV); -1 when unknown or unavailable. */
VSC_API int VSC_Get_Key_Length(int cipher_id);
VSC_API int VSC_Get_IV_Length(int cipher_id);
VSC_API int VSC_Get_Block_Length(int cipher_id);

/* The "advanced" pair: a unit started with an explicitly sized key, and a
 * bounded one-pass finish.
 * Init: key_len must equal the cipher's key length; otherwise as
 * VSC_Init_BLOCK_CIPHER. DoFinal: update over all of in, then final, writing
 * at most out_size bytes (VSC_ERR_BUFFER_TOO_SMALL when that is not enough). */
VSC_API int VSC_Init_Advanced_BLOCK_CIPHER(int cipher_id, BLOCK_CIPHER_UNIT* unit, const unsigned char* key,
                                           int encrypt, const unsigned char* iv, int key_len);
VSC_API int VSC_DoFinal_Advanced_BLOCK_CIPHER(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len,
                                              const unsigned char* in, int in_len, int out_size);

/* CBC-MAC: CBC encryption under a zero IV of the data padded with zero bytes
 * to whole blocks (empty data: one zero block); the MAC is the last cipher
 * block (block_length bytes). The mode bits of cipher_id are ignored. */
VSC_API int VSC_CBC_MAC(int cipher_id, const unsigned char* key, const unsigned char* data, int len, unsigned char* out,
                        int* out_len);

/* ======================================================================== */
/* RC4                                                                       */
/* ======================================================================== */
typedef struct vsc_rc4_unit_st {
    int key_length;
    void* impl;
} RC4_UNIT;

VSC_API RC4_UNIT* VSC_New_RC4_Unit(void);
VSC_API void VSC_Free_RC4_Unit(RC4_UNIT* unit);
VSC_API int VSC_Init_RC4(RC4_UNIT* unit, const unsigned char* key, int key_len); /* 1..256 bytes */
/* Encrypts or decrypts len bytes; out may equal in. */
VSC_API int VSC_Do_RC4(RC4_UNIT* unit, const unsigned char* in, int len, unsigned char* out);

/* ======================================================================== */
/* Random                                                                    */
/* ======================================================================== */
/* All three draw from generators seeded by the operating system. */
VSC_API int VSC_Rand_Bytes(unsigned char* buf, int len);
VSC_API int VSC_Rand_Bytes_PRNG(unsigned char* buf, int len);
/* A hash DRBG on digest_id (SHA-1 or SHA-2; 0 means SHA-256), freshly
 * instantiated from the operating system's entropy. additional_input is an
 * optional NUL-terminated text mixed into the generation; prediction_resistance
 * non-zero reseeds before generating. */
VSC_API int VSC_Rand_Bytes_DRBG(unsigned char* buf, int len, const char* additional_input, int digest_id,
                                int prediction_resistance);

/* ======================================================================== */
/* RSA                                                                       */
/* ======================================================================== */
/* Completeness word values. */
#define VSC_RSA_FLAG_PUBLIC 3  /* n and e */
#define VSC_RSA_FLAG_PRIVATE 4 /* n, e and d */
#define VSC_RSA_FLAG_FULL 31   /* all eight values */

typedef struct vsc_rsa_unit_st {
    int flag;       /* completeness word (3, 4, 31); callers may also use it as a kind field */
    int operation;  /* operation word: callers may set it (7 before a private-key
                       operation); informative only */
    int is_private; /* private marker: 1 when d is held */
    BIGINT* n;
    BIGINT* e;
    BIGINT* d;
    BIGINT* p;
    BIGINT* q;
    BIGINT* dP;
    BIGINT* dQ;
    BIGINT* qInv;
    BIGINT* cache;            /* a cached value callers may release (VSC_Free_BIGINT) and clear */
    int digest_id;            /* digest of the running signature or OAEP operation */
    int padding_mode;         /* padding mode given to the last Init */
    int sign;                 /* RSASSA: 1 signing, 0 verifying; RSAES: 1 private key, 0 public key */
    DIGEST_UNIT* digest_unit; /* the running signature's digest (owned) */
    void* impl;
} RSA_UNIT;

/* The key values are read when an operation starts: callers may set the
 * members directly (the unit owns them and frees them). Private operations need
 * n, e and d (CRT values are used when all five are present); public ones n and e.
 * The unit keeps the backend's key made from its values between operations,
 * shared with its copies (VSC_Dup_RSA), and makes it again when the values
 * are no longer the ones it was made from; it is freed and wiped with the
 * last unit that uses it. */
VSC_API RSA_UNIT* VSC_New_RSA(void);
VSC_API void VSC_Free_RSA(RSA_UNIT* rsa);
VSC_API void VSC_Clean_RSA(RSA_UNIT* rsa); /* frees and zeroes every value, keeps the record */
VSC_API RSA_UNIT* VSC_Dup_RSA(const RSA_UNIT* rsa);
/* Copies the values. n and e are required; d and the CRT values may be NULL.
 * When d, p and q are given without dP, dQ, qInv those are computed. Sets
 * flag (3, 4 or 31) and is_private. On failure the unit is left as it was. */
VSC_API int VSC_Set_RSA_Params(RSA_UNIT* rsa, const BIGINT* n, const BIGINT* e, const BIGINT* d, const BIGINT* p,
                               const BIGINT* q, const BIGINT* dP, const BIGINT* dQ, const BIGINT* qInv);
VSC_API int VSC_Set_RSA_Public_Params(RSA_UNIT* rsa, const BIGINT* n, const BIGINT* e);
/* Modulus length in bytes; -1 without a modulus. */
VSC_API int VSC_Get_RSA_Length(const RSA_UNIT* rsa);
/* A new key of bits bits (1024..16384) and public exponent e (odd, >= 3;
 * 0 means 65537) into rsa. method is accepted and not used. */
VSC_API int VSC_Generate_RSA_Params_Ex(RSA_UNIT* rsa, unsigned long e, int bits, int method);

/* Signatures (RSASSA).
 * padding_mode: scheme in the low byte (1 PKCS#1 v1.5, 2 PSS, 0 = v1.5), PSS
 * salt length in bits 16-23 (0: the digest length when signing; when
 * verifying, any salt length is accepted), optionally a digest id. digest_id
 * is the message digest (0: the digest bits of padding_mode, else SHA-1);
 * PSS uses MGF1 with the same digest. sign: 1 sign, 0 verify. */
VSC_API int VSC_Init_RSASSA(RSA_UNIT* rsa, int digest_id, int padding_mode, int sign);
VSC_API int VSC_Update_RSASSA(RSA_UNIT* rsa, const unsigned char* data, int len);
/* Signing: writes the signature (modulus length) into sig; *sig_len is the room
 * on entry when positive (0: room for the modulus length assumed) and the
 * length on return. Verifying: *sig_len is the signature's length, which
 * must be the modulus length; returns 0 when it is valid, VSC_FAIL when not. Either way the unit is then ready for a
 * next message under the same key, digest and padding. */
VSC_API int VSC_Final_RSASSA(RSA_UNIT* rsa, unsigned char* sig, int* sig_len);
/* Verification with the length as a value: 0 valid, VSC_FAIL not. */
VSC_API int VSC_Verify_RSASSA(RSA_UNIT* rsa, const unsigned char* sig, int sig_len);
/* RSASSA-PSS with an exact salt length, 0 included (the salt bits of
 * VSC_Init_RSASSA's mode cannot ask for no salt, stop at 255, and when
 * verifying 0 there accepts any length): signing writes a salt of salt_len
 * bytes, verifying accepts only a salt of that length. digest_id is the
 * message digest (0: SHA-1); MGF1 uses the same. Update and Final as after
 * VSC_Init_RSASSA; a salt that does not fit the modulus fails there
 * (VSC_FAIL). VSC_ERR_INVALID_ARGUMENT for a negative salt_len. */
VSC_API int VSC_Init_RSASSA_PSS(RSA_UNIT* rsa, int digest_id, int salt_len, int sign);

/* Encryption (RSAES).
 * padding_mode: scheme in the low byte (0 raw, 8 or 16 OAEP, 32 PKCS#1 v1.5),
 * optionally OR'd with the OAEP digest. use_private: which key is used:
 * 1 the private key, 0 the public key (0 to encrypt for a recipient, 1 to
 * decrypt; the reverse pair gives PKCS#1 v1.5 block type 1 "private
 * encryption" recovered with the public key). digest_id: the OAEP digest
 * (0: the digest bits of padding_mode, else SHA-1); MGF1 uses the same. */
VSC_API int VSC_Init_RSAES(RSA_UNIT* rsa, int padding_mode, int use_private, int digest_id);
/* out needs the modulus length; *out_len receives it. Raw input is at most the
 * modulus length and below the modulus. VSC_FAIL when the message is too long
 * for the padding. */
VSC_API int VSC_Encrypt_RSAES(RSA_UNIT* rsa, unsigned char* out, int* out_len, const unsigned char* in, int in_len);
/* *out_len is the room on entry when positive (0: room for the modulus length
 * assumed). VSC_FAIL when the padding is wrong. */
VSC_API int VSC_Decrypt_RSAES(RSA_UNIT* rsa, unsigned char* out, int* out_len, const unsigned char* in, int in_len);

/* Encoders for callers that apply the raw RSA operation themselves.
 * EMSA-PKCS1-v1_5: out (em_len bytes) = 00 01 FF.. 00 DigestInfo(digest_id, digest);
 * digest_len must be the digest's length. VSC_FAIL when em_len is too short. */
VSC_API int VSC_Add_EMSA_PKCS1_v1_5_Encode(unsigned char* out, int em_len, const unsigned char* digest, int digest_len,
                                           int digest_id);
/* EMSA-PSS of a message digest for rsa's modulus: em_len (at least the modulus
 * length) bytes to out, right-aligned with leading zeros when em_len exceeds
 * the encoded length. salt_len < 0 or 0: the digest length. digest: the unit
 * whose algorithm hashes and masks (NULL: rsa->digest_id, else SHA-1). */
VSC_API int VSC_Add_RSASSA_PKCS1_PSS_Encode(const RSA_UNIT* rsa, unsigned char* out, int em_len,
                                            const unsigned char* m_hash, int m_hash_len, int salt_len,
                                            const DIGEST_UNIT* digest);

/* ======================================================================== */
/* KCDSA                                                                     */
/* ======================================================================== */
typedef struct vsc_kcdsa_unit_st {
    BIGINT* p;
    BIGINT* q;
    BIGINT* g;
    BIGINT* y;           /* public value g^(x^-1 mod q) mod p */
    BIGINT* x;           /* private value, NULL for a public key */
    BIGINT* j;           /* optional: (p - 1) / (2q) */
    unsigned char* seed; /* optional generation seed (VSC_Malloc'd, owned) */
    int seed_len;
    int count;                /* generation count */
    int is_private;           /* 1 when x is held */
    DIGEST_UNIT* digest_unit; /* optional; when set and initialised, its algorithm is the
                                 digest of VSC_Init_KCDSA (owned, freed with the unit) */
    int digest_id;            /* digest of the running operation */
    int sign;                 /* 1 signing, 0 verifying */
    void* impl;
} KCDSA_UNIT;

VSC_API KCDSA_UNIT* VSC_New_KCDSA(void);
VSC_API void VSC_Free_KCDSA(KCDSA_UNIT* k);
VSC_API void VSC_Clean_KCDSA(KCDSA_UNIT* k); /* frees and zeroes the values, keeps the record */
/* Copies p, q, g (required), x and y (either may be NULL, not both). y is
 * computed from x when missing. Sets is_private. */
VSC_API int VSC_Set_KCDSA_Params(KCDSA_UNIT* k, const BIGINT* p, const BIGINT* q, const BIGINT* g, const BIGINT* x,
                                 const BIGINT* y);
/* Length of q in bytes (the size of R and S); -1 without q. Buffers of
 * 2 x this + 1 hold r or s; 3 x this holds their DER pair. */
VSC_API int VSC_Get_KCDSA_Length(const KCDSA_UNIT* k);
/* sign: 1 sign, 0 verify. The digest is the one of k->digest_unit when that is
 * initialised, else HAS-160 for a q of at most 160 bits and SHA-256 above.
 * VSC_ERR_INVALID_PARAMS for an even p, a p of more than 10000 bits or a q
 * not below p (also from VSC_Set_KCDSA_Params). */
VSC_API int VSC_Init_KCDSA(KCDSA_UNIT* k, int sign);
VSC_API int VSC_Init_KCDSA_Ex(KCDSA_UNIT* k, int sign, int digest_id);
VSC_API int VSC_Update_KCDSA(KCDSA_UNIT* k, const unsigned char* data, int len);
/* Signing: writes R (min(digest length, |q|) bytes) and S (|q| bytes,
 * big-endian, left-padded); *r_len and *s_len are the room on entry when
 * positive (0: room assumed) and the lengths on return. Verifying: r, *r_len, s,
 * *s_len are the signature (s unsigned big-endian of any length); 0 valid,
 * VSC_FAIL not. Every failure of either direction returns VSC_FAIL. The unit
 * is then ready for a next message with the same digest. */
VSC_API int VSC_Final_KCDSA(KCDSA_UNIT* k, unsigned char* r, int* r_len, unsigned char* s, int* s_len);
VSC_API int VSC_Verify_KCDSA(KCDSA_UNIT* k, const unsigned char* r, int r_len, const unsigned char* s, int s_len);

/* ======================================================================== */
/* Elliptic curves (key records)                                             */
/* ======================================================================== */
typedef struct vsc_ecpoint_st {
    BIGINT* x;
    BIGINT* y;
    int infinity; /* 1 for the point at infinity (x and y zero) */
} ECPOINT;

typedef struct vsc_ecurve_st {
    int curve_id;  /* the caller's curve number */
    char name[32]; /* e.g. "prime256v1" */
    BIGINT* a;
    BIGINT* b;
    BIGINT* p;
    ECPOINT* G;
    BIGINT* n;
    int field_length; /* bytes of p */
} ECURVE;

typedef struct vsc_ecc_key_st {
    ECURVE* curve;  /* owned */
    ECPOINT* point; /* public point, owned */
    BIGINT* d;      /* private scalar, NULL for a public key */
    int is_private;
} ECC_KEY;

VSC_API ECC_KEY* VSC_New_ECC_Key(void);
VSC_API void VSC_Free_ECC_Key(ECC_KEY* key);
VSC_API ECPOINT* VSC_New_ECPOINT(void); /* x = y = 0 */
VSC_API void VSC_Free_ECPOINT(ECPOINT* pt);
VSC_API int VSC_Zero_Value_ECPOINT(ECPOINT* pt); /* the point at infinity */
VSC_API ECURVE* VSC_New_ECURVE(void);
VSC_API void VSC_Free_ECURVE(ECURVE* curve);
/* Copies the values (all required) and the name (at most 31 characters). */
VSC_API int VSC_Set_ECURVE_Params(ECURVE* curve, int curve_id, const char* name, const BIGINT* a, const BIGINT* b,
                                  const BIGINT* p, const ECPOINT* G, const BIGINT* n);
/* 0 when the key's point lies on its curve (and is not infinity), VSC_FAIL
 * when not. */
VSC_API int VSC_Check_ECC_Key(const ECC_KEY* key);
/* The public point d x G of the key's private scalar on its curve, into out
 * (whose x and y are made when missing). VSC_ERR_KEY_MISSING without d or
 * without complete curve values. */
VSC_API int VSC_Get_ECC_Public_Point(const ECC_KEY* key, ECPOINT* out);

#ifdef __cplusplus
}
#endif

#endif /* ZUNCRYPTO_ZUNCRYPTO_H */
