/*
 * PKCS#11 tokens: one vendor module loaded by path (through libzunPKI's
 * loader), sessions, a signer's certificate, RSA key pair and VID random
 * stored on the token under fixed labels, RSA, symmetric and digest
 * operations on the token, and the signed KISA lists of security-token
 * drivers copied into flat records.
 *
 * Handles, slots, object classes, key types, mechanisms and modulus sizes
 * are the standard's CK_ULONG types (8 bytes on 64-bit Linux): modules
 * refuse 4-byte values where a CK_ULONG is due.
 *
 * Labels of the objects stored here (id: the caller's identifier bytes,
 * at most VCL_PK11_MAX_ID_LEN of them, copied by length):
 *   certificate, public and private key of a signing certificate  "SIGN_" id
 *   the same of a key-management (encryption-only) certificate     "KM_" id
 *   the VID random (a private data object, application
 *   "Veridan PKI Application")                                      "R4VID=" id
 *   generated public / private key                                  "PUBK_" / "PRIV_" id
 *   secret key                                                      id
 * The keys and certificate of a signer carry CKA_ID = id. Private keys are
 * sensitive and not extractable.
 *
 * Object references: ref and ref_len name an object by CKA_ID when ref_kind
 * is ':' (VCL_PK11_REF_ID), by CKA_LABEL otherwise; the first match is used.
 *
 * Results are 0 or a CORE_ERROR_CODE of module byte 0xb4 (the category of
 * the function, then a reason; error.h's VCL_CAT_PKCS11_). The module's own
 * CK_RV is not passed on, except by VCL_PK11_Logout. Lengths the caller
 * gives for output it owns (*len arguments with a caller's buffer) are the
 * room on entry and the length on return; a result longer than the room
 * gives reason 0x0a and nothing is written. Buffers handed out are
 * NUL-terminated, one byte longer than their length, and released with
 * VCL_Free; on failure nothing is handed out (NULL and 0).
 *
 * The loaded module and its state are process-wide and unlocked: load,
 * initialise, finalise and unload from one thread while nothing else calls
 * a token function.
 */
#ifndef ZUNCORE_PKCS11_H
#define ZUNCORE_PKCS11_H

#include <zunCore/core_export.h>
#include <zunCore/keys.h>
#include <zunPKI/pkcs/pkcs11.h>

/* The reference kind that names an object by CKA_ID. */
#define VCL_PK11_REF_ID ':'
/* The longest identifier: with "R4VID=" before it a label holds 255 bytes. */
#define VCL_PK11_MAX_ID_LEN 249
/* At most this many certificates are listed. */
#define VCL_PK11_MAX_CERTS 50
/* The longest VID random read back. */
#define VCL_PK11_MAX_VID_RANDOM 256
/* The longest digest (SHA-512 is 64 bytes). */
#define VCL_PK11_MAX_DIGEST 128

/* Key kinds of the store functions: a signing certificate (or none) and a
 * key-management one. */
#define VCL_PK11_KIND_NONE 0
#define VCL_PK11_KIND_SIGN 3
#define VCL_PK11_KIND_KM 4

/* Padding kinds of signatures. */
#define VCL_PK11_PKCS1_V15 1
#define VCL_PK11_PSS 2

/* Text fields of the driver records: at most 255 bytes and a terminator. */
#define VCL_PK11_FIELD_SIZE 256

/* One driver of a token-distribution list: the entry's URL and the driver's
 * six fields. Texts are the list's bytes, zero-terminated; a general name
 * is its text (a URI, DNS name or e-mail address as it stands, a directory
 * name as VCL_X509_name_to_str writes it, an IP address in dotted or
 * colon-hex form, a registered ID as a dotted identifier). */
typedef struct {
    char url[VCL_PK11_FIELD_SIZE];
    char field1[VCL_PK11_FIELD_SIZE];
    char field2[VCL_PK11_FIELD_SIZE];
    char field3[VCL_PK11_FIELD_SIZE]; /* general name */
    int field4;
    char field5[VCL_PK11_FIELD_SIZE]; /* general name */
    char field6[VCL_PK11_FIELD_SIZE]; /* optional: empty when absent */
} VCL_PK11_DRIVER_INFO;

/* One signature token: its name, the long name of its algorithm (the
 * dotted identifier for one the object-identifier table lacks) and its
 * value bytes. 772 bytes. */
typedef struct {
    char name[VCL_PK11_FIELD_SIZE];
    char algorithm[VCL_PK11_FIELD_SIZE];
    unsigned char value[VCL_PK11_FIELD_SIZE];
    int value_len;
} VCL_PK11_DRIVER_SIGNATURE_INFO;

VCL_BEGIN_DECLS

/* ---- Module, slots and sessions ------------------------------------------- */
/* Loads the module at path, finalising and unloading the module loaded
 * before (if this library initialised it). 0xb4060087 when path is NULL or
 * does not load: every token function then fails until a load succeeds. */
VCL_API int VCL_PK11_Load_Library(const char* path);
/* Finalises the module (if this library initialised it) and unloads it. 0. */
VCL_API int VCL_PK11_Unload_Library(void);
/* C_Initialize (a module already initialised counts as success) and
 * C_Finalize. 0xb407007c / 0xb408007d. */
VCL_API int VCL_PK11_Initialize(void);
VCL_API int VCL_PK11_Finalize(void);
/* The number of slots with a token. 0xb4090002 NULL, 0xb409007e. */
VCL_API int VCL_PK11_Get_Slot_Count(CK_ULONG* count);
/* The ids of the slots with a token (the handles Open_Session takes):
 * *count is the room of slots on entry, the number written on return.
 * 0xb4090002 NULL, 0xb409000a more slots than room, 0xb409007e. */
VCL_API int VCL_PK11_Get_Slot_List(CK_SLOT_ID* slots, CK_ULONG* count);
/* A serial read-write session on slot, logged in as the user when a pin is
 * given (pin_len bytes; a user already logged in through another session
 * counts as success). 0xb40a0002 NULL session, 0xb40a0003 a negative
 * pin_len, 0xb40a007f the session does not open, 0xb40a0080 the login
 * fails (a wrong PIN too): the session then stays open in *session for the
 * caller to close. */
VCL_API int VCL_PK11_Open_Session(CK_SLOT_ID slot, const char* pin, int pin_len, CK_SESSION_HANDLE* session);
/* C_Logout's CK_RV, unchanged. */
VCL_API int VCL_PK11_Logout(CK_SESSION_HANDLE session);
/* Closes *session and sets it to CK_INVALID_HANDLE. 0xb40b0002 NULL,
 * 0xb40b0081. */
VCL_API int VCL_PK11_Close_Session(CK_SESSION_HANDLE* session);

/* ---- Token information ------------------------------------------------------ */
/* The token's 16-byte serialNumber field as the token writes it (blank
 * padded) into buffer; *len is its room (at least 16). 0xb41e0002 NULL,
 * 0xb41e000a room, 0xb41e008f. */
VCL_API int VCL_PK11_Get_Token_Serial(CK_SLOT_ID slot, unsigned char* buffer, int* len);
/* ulFreePublicMemory and ulFreePrivateMemory as the token reports them
 * (CK_UNAVAILABLE_INFORMATION when it does not say). 0xb41f0002 NULL,
 * 0xb41f008f. */
VCL_API int VCL_PK11_Get_Token_FreeMemory(CK_SLOT_ID slot, CK_ULONG* free_public, CK_ULONG* free_private);

/* ---- Objects ---------------------------------------------------------------- */
/* The first object of the class (and key type, when not 0) with the label.
 * 0xb40d0002 NULL label or handle, 0xb40d0005 label_len <= 0, 0xb40d0082
 * none found or the search failed. */
VCL_API int VCL_PK11_find_object_by_lable(CK_SESSION_HANDLE session, CK_OBJECT_CLASS object_class, CK_KEY_TYPE key_type,
                                          const void* label, int label_len, CK_OBJECT_HANDLE* handle);
/* The first object of the class with the CKA_ID. Codes as above. */
VCL_API int VCL_PK11_find_object_by_id(CK_SESSION_HANDLE session, CK_OBJECT_CLASS object_class, const void* id,
                                       int id_len, CK_OBJECT_HANDLE* handle);
/* Destroys the first object of the class with the CKA_ID. 0xb4160003 NULL
 * or empty id, 0xb40d0082 none found or the search failed, 0xb4160089 the
 * destroy failed. */
VCL_API int VCL_PK11_delete_object(CK_SESSION_HANDLE session, CK_OBJECT_CLASS object_class, const void* id, int id_len);

/* ---- Names ------------------------------------------------------------------ */
/* The key type and mechanism of a symmetric algorithm name (any case; names
 * ending "-CBC" are the padded CBC mechanisms, except "BF-CBC"): BF-CBC,
 * DES-ECB, DES-CBC, AES-ECB, AES-CBC, ARIA-ECB, ARIA-CBC, SEED-ECB,
 * SEED-CBC, DES_2EDE-ECB, DES_2EDE-CBC, DES_3EDE-ECB, DES_3EDE-CBC.
 * 0xb40c0002 NULL, 0xb40c0010 any other name (RC5 too: its parameters are
 * not supported). */
VCL_API int VCL_PK11_convert_algorithm(const char* name, CK_KEY_TYPE* key_type, CK_MECHANISM_TYPE* mechanism);
/* The signature mechanism of a digest name (MD5, SHA1, SHA224, SHA256,
 * SHA384, SHA512, any case; NULL or empty: the mechanism without digest)
 * for padding kind VCL_PK11_PKCS1_V15 or VCL_PK11_PSS. 0xb4220002 NULL
 * mechanism, 0xb4220013 another kind, 0xb4220010 another name or PSS with
 * MD5. */
VCL_API int VCL_PK11_convert_hashname(const char* hash_name, int padding_kind, CK_MECHANISM_TYPE* mechanism);

/* ---- Operations -------------------------------------------------------------- */
/* Symmetric encryption and decryption with a secret key found by ref (of
 * the algorithm's key type). iv: the CBC mechanisms take one block (8 bytes
 * for DES, 3DES and Blowfish, 16 for AES, ARIA and SEED); absent or empty
 * means a zero block; another length is refused. The ECB mechanisms take
 * none (an IV given is not used). The result is handed out in *out.
 * Encrypt: 0xb40e0002 NULL algorithm, 0xb40e0003 other NULL or negative
 * arguments, 0xb40e000a an IV of the wrong length, 0xb40e0083 key not found
 * or init, 0xb40e0084 operation, 0xb40e0001 memory; the name's code.
 * Decrypt: the same with 0xb40f and 0x85 / 0x86. */
VCL_API int VCL_PK11_Sym_Encrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                                 const char* algorithm, const unsigned char* iv, int iv_len, const unsigned char* in,
                                 int in_len, unsigned char** out, int* out_len);
VCL_API int VCL_PK11_Sym_Decrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                                 const char* algorithm, const unsigned char* iv, int iv_len, const unsigned char* in,
                                 int in_len, unsigned char** out, int* out_len);
/* RSA encryption and decryption with the key found by ref: the private key
 * when key_class is '3', else the public key. padding: VCL_RSA_OAEP (8) or
 * VCL_RSA_OAEP_V21 (16) is OAEP with SHA-1 and MGF1-SHA1 and no label,
 * VCL_RSA_PKCS1_V15 (32) PKCS#1 v1.5. Encrypt: 0xb4100003 arguments,
 * 0xb4100011 padding, 0xb4100083 key not found or init, 0xb4100084
 * operation, 0xb4100001 memory; decrypt: 0xb411 with 0x85 / 0x86. */
VCL_API int VCL_PK11_RSA_Encrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind, char key_class,
                                 int padding, const unsigned char* in, int in_len, unsigned char** out, int* out_len);
VCL_API int VCL_PK11_RSA_Decrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind, char key_class,
                                 int padding, const unsigned char* in, int in_len, unsigned char** out, int* out_len);
/* RSA signature with the private key found by ref, and its verification
 * with the public key, under VCL_PK11_convert_hashname's mechanism. A named
 * digest hashes the data on the token; without a name v1.5 signs the data
 * as given (a DigestInfo) and PSS signs a digest, which must be 20, 28, 32,
 * 48 or 64 bytes long (SHA-1 to SHA-512, else 0xb4220010). PSS uses MGF1
 * with the digest and a salt of the digest's length. Sign: 0xb4120003
 * arguments, 0xb4120052 key not found, init or sign, 0xb4120001 memory;
 * verify: 0xb4130003, 0xb4130053 (also a signature that does not verify);
 * the name's code. */
VCL_API int VCL_PK11_RSA_Sign(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                              const char* hash_name, int padding_kind, const unsigned char* data, int data_len,
                              unsigned char** sig, int* sig_len);
VCL_API int VCL_PK11_RSA_Verify(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                                const char* hash_name, int padding_kind, const unsigned char* data, int data_len,
                                const unsigned char* sig, int sig_len);
/* A new RSA key pair on the token (e = 65537) labelled "PUBK_" pub_id and
 * "PRIV_" priv_id, with those CKA_IDs; the modulus (unsigned big-endian)
 * into modulus, *modulus_len its room (at least (modulus_bits + 7) / 8).
 * 0xb4140003 arguments (NULL, empty or too long identifiers, too little
 * room), 0xb414006f generation, 0xb4140088 the modulus does not read (the
 * new keys are then destroyed). */
VCL_API int VCL_PK11_RSA_Key_Generate(CK_SESSION_HANDLE session, const void* pub_id, int pub_id_len,
                                      const void* priv_id, int priv_id_len, CK_ULONG modulus_bits,
                                      unsigned char* modulus, int* modulus_len);
/* A digest on the token: "MD5", "SHA1", "SHA224", "SHA256", "SHA384" or
 * "SHA512" (any case) into digest, *digest_len its room. 0xb4150002 NULL,
 * 0xb4150006 name, 0xb415000a room, 0xb415000b digest. */
VCL_API int VCL_PK11_Hash(CK_SESSION_HANDLE session, const char* name, const unsigned char* data, int data_len,
                          unsigned char* digest, int* digest_len);

/* ---- A signer on the token --------------------------------------------------- */
/* Stores a signer under vid: with a certificate (cert_len > 1; DER or PEM,
 * RSA) its certificate object and public key, with a private key (key_len >
 * 0; any form VCL_PK1_priv_convert_keyunit opens with password) the
 * private key and the key's VID random, and without a certificate the
 * public key from the private key. Kind and labels come from the
 * certificate (VCL_X509_is_signcert). Everything is checked before anything
 * is written, and a failure destroys the objects this call created (objects
 * stored before under vid stay). 0xb4170002 NULL vid, 0xb4170005 vid_len <=
 * 0, 0xb4170003 vid_len above VCL_PK11_MAX_ID_LEN or neither certificate
 * nor key, 0xb4170040 a certificate or key that is not RSA, 0xb417002f a key
 * that is not the certificate's, 0xb417008a the certificate object;
 * otherwise the failing step's code (decoding, the key opener, the VID
 * random's lookup, the set_ functions). */
VCL_API int VCL_PK11_Set_RSAKey(CK_SESSION_HANDLE session, const char* vid, int vid_len, const void* cert, int cert_len,
                                const void* key, int key_len, const char* password, int password_len);
/* The public-key object of kind (VCL_PK11_KIND_) under vid; subject is the
 * DER of the certificate's subject (NULL or empty: none). 0xb41a0002 NULL
 * vid, modulus or exponent, 0xb41a0005 lengths <= 0 (vid above
 * VCL_PK11_MAX_ID_LEN, modulus above 512 or exponent above 127 bytes
 * too), 0xb41a008a. */
VCL_API int VCL_PK11_set_public_key(CK_SESSION_HANDLE session, int kind, const char* vid, int vid_len,
                                    const unsigned char* subject, int subject_len, const unsigned char* modulus,
                                    int modulus_len, const unsigned char* exponent, int exponent_len,
                                    CK_OBJECT_HANDLE* handle);
/* The private-key object of kind under vid from a key opened with the
 * password (VCL_PK1_priv_convert_keyunit; wiped after use). 0xb41b0002
 * NULL vid or key, 0xb41b0005 lengths, 0xb41b0040 not an RSA key,
 * 0xb41b000a a component too long, 0xb41b008a; the opener's codes. */
VCL_API int VCL_PK11_set_private_key(CK_SESSION_HANDLE session, int kind, const char* vid, int vid_len,
                                     const unsigned char* subject, int subject_len, const void* key, int key_len,
                                     const char* password, int password_len);
/* The key's VID random (VCL_PK8_Get_Random) as the data object
 * "R4VID=" vid. 0xb41c0002, 0xb41c0005, 0xb41c008a; the lookup's codes. */
VCL_API int VCL_PK11_set_vid_random(CK_SESSION_HANDLE session, const char* vid, int vid_len, const void* key,
                                    int key_len, const char* password, int password_len);
/* The VID random stored under vid into buffer (*len its room; at most
 * VCL_PK11_MAX_VID_RANDOM bytes). 0xb41d0002, 0xb41d0005, 0xb41d000a room,
 * 0xb40d0082 not found, 0xb41d0088 the value does not read. */
VCL_API int VCL_PK11_Get_Vid_Random(CK_SESSION_HANDLE session, const char* vid, int vid_len, unsigned char* buffer,
                                    int* len);
/* The certificate with CKA_ID id as a new buffer. 0xb4180003 arguments,
 * 0xb40d0082 not found, 0xb4180088 the value does not read (or is empty or
 * above 1 MiB), 0xb4180001. */
VCL_API int VCL_PK11_Get_Cert(CK_SESSION_HANDLE session, const void* id, int id_len, unsigned char** cert,
                              int* cert_len);
/* Destroys the certificate, public key and private key with CKA_ID vid and
 * the data object "R4VID=" vid; those not there are passed over.
 * 0xb4190003 arguments, 0xb40d0082 a search that failed, 0xb419008b /
 * 0xb419008c / 0xb419008d / 0xb419008e the certificate / public key /
 * private key / VID random would not be destroyed (the objects after it are
 * then left). */
VCL_API int VCL_PK11_Delete_RSAKey(CK_SESSION_HANDLE session, const char* vid, int vid_len);
/* The number of X.509 certificates on the token, at most
 * VCL_PK11_MAX_CERTS. 0xb4230002 NULL, 0xb4230082. */
VCL_API int VCL_PK11_Get_All_Certs_Count(CK_SESSION_HANDLE session, int* count);
/* Up to capacity (and VCL_PK11_MAX_CERTS) certificates into certs, in the
 * token's order, *count set to the number filled: cert the certificate
 * (CKA_VALUE), key the object's CKA_ID (not a key), cert_use 3 or 4
 * (VCL_X509_is_signcert), key_kind 2 for a KCDSA key, else 1. The first
 * failure ends the walk with its code; the records filled before it stay
 * (*count of them; free them with VCL_PK1_Free_PKISTRINFOS). 0xb4240002
 * NULL, 0xb4240003 capacity < 0, 0xb4240082 the search, 0xb4240088 a value
 * that does not read, 0xb4240001; decoding codes. */
VCL_API int VCL_PK11_Get_All_Certs(CK_SESSION_HANDLE session, PKISTRINFO* certs, int capacity, int* count);

/* ---- Secret keys --------------------------------------------------------------- */
/* A sensitive secret key of the algorithm's key type (VCL_PK11_convert_algorithm)
 * labelled and identified by id. 0xb4200002 NULL, 0xb4200005 lengths (id
 * above VCL_PK11_MAX_ID_LEN too), 0xb420008a; the name's code. */
VCL_API int VCL_PK11_Set_Sym_Key(CK_SESSION_HANDLE session, const void* id, int id_len, const char* algorithm,
                                 const unsigned char* key, int key_len);
/* Destroys the secret key with CKA_ID id: 0 also when there is none.
 * 0xb4210003 arguments, 0xb40d0082 a search that failed, 0xb4210089. */
VCL_API int VCL_PK11_Delete_Sym_Key(CK_SESSION_HANDLE session, const void* id, int id_len);

/* ---- Driver lists (DER of a KISA_HSM_SIGNATURE_VALUE) --------------------------- */
/* The signer's issuer name as a new text (VCL_X509_name_to_str). 0xb4010003
 * arguments, 0xb4010059 the list does not decode; the text maker's codes. */
VCL_API int VCL_PK11_Get_HSM_Signer_IssuerDN(const unsigned char* der, int len, char** text);
/* The number of drivers of all distribution entries (0 for another kind).
 * 0xb4020003, 0xb4020059. */
VCL_API int VCL_PK11_Get_HSM_Driver_Count(const unsigned char* der, int len, int* count);
/* The number of signature tokens (0 for another kind). 0xb4040003,
 * 0xb4040059. */
VCL_API int VCL_PK11_Get_HSM_Driver_Signature_Count(const unsigned char* der, int len, int* count);
/* Checks the list's signature with the signer's certificate (DER or PEM;
 * required), then writes one record per driver, entry by entry, into
 * records, which holds VCL_PK11_Get_HSM_Driver_Count records; nothing is
 * written on failure. An empty list carries no signature (0x30020011).
 * 0xb4030003 arguments (a
 * missing certificate too), 0xb4030059 the list does not decode or a
 * general name has no text of at most 255 bytes, 0xb4030078 a list of
 * signature tokens; the certificate decoder's and the signature check's
 * codes (0x3002012f another signer, 0x30020029 not an RSA key, a signature
 * that does not verify). */
VCL_API int VCL_PK11_Verify_HSM_Driver_Info(const unsigned char* der, int len, const void* cert, int cert_len,
                                            VCL_PK11_DRIVER_INFO* records);
/* The same for a list of signature tokens: one record per token into
 * records, which holds VCL_PK11_Get_HSM_Driver_Signature_Count records.
 * 0xb4050003, 0xb4050059, 0xb4050078 a list of distribution entries; the
 * same codes passed on. */
VCL_API int VCL_PK11_Verify_HSM_Driver_Signature_Info(const unsigned char* der, int len, const void* cert, int cert_len,
                                                      VCL_PK11_DRIVER_SIGNATURE_INFO* records);

VCL_END_DECLS

#endif
