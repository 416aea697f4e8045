/*
 * Protecting and opening PKCS#12 files: the MAC over the authenticated
 * safe, password-encrypted safes (pkcs7-encryptedData) and key bags
 * (pkcs8ShroudedKeyBag), building a PFX bag by bag, bag attributes, and
 * import_PKCS12, which checks the MAC and sorts the contents into private
 * keys, end-entity certificates and CA certificates. The derivation is
 * pkcs12_kdf.h.
 *
 * A PFX is built as: key and certificate bags (add_PKCS12_keyinfo,
 * add_PKCS12_cert, add_PKCS12_LKID, add_PKCS12_friendlyname_ASC),
 * PKCS12_add_safe for each safe, PKCS12_add_safes, set_PKCS12_mac, then
 * P12_PFX_to_Seq.
 *
 * Passwords are bytes and a length (-1: up to the terminating zero). For the
 * PKCS#12 derivation each byte becomes 00 xx and two zero octets end the
 * password; a null password is no octets at all, "" the two zero octets.
 * PBES2 (as OpenSSL writes by default) takes the bytes themselves.
 *
 * PBE algorithms are object-identifier rows: 144 PBE-SHA1-RC4-128, 145
 * PBE-SHA1-RC4-40, 146 PBE-SHA1-3DES (the default), 147 PBE-SHA1-2DES, 148
 * PBE-SHA1-RC2-128, 149 PBE-SHA1-RC2-40, each with the key length of its
 * cipher; a cipher row (AES-256-CBC ...) writes PBES2 with that cipher.
 * Reading takes everything decrypt_PKCS5 reads.
 */
#ifndef ZUNPKI_PKCS12_SAFE_H
#define ZUNPKI_PKCS12_SAFE_H

#include <zunPKI/pkcs/pkcs12.h>
#include <zunPKI/pkcs/pkcs12_kdf.h>

/* The MAC does not match the password (or cannot be computed). */
#define ERR_PKCS12_MAC_MISMATCH 0x5e

/* The row of PKCS#12's default PBE algorithm and the iteration count used
 * where a caller leaves it to us (a count of 0 or less). */
#define P12_DEFAULT_PBE 146
#define P12_DEFAULT_ITERATIONS 2048

ZUNPKI_BEGIN_DECLS

/* ---- MAC ------------------------------------------------------------------
 * The MAC is the HMAC, under a key derived with ID 3 and the digest's
 * length, over the authSafe's data (the DER of the AuthenticatedSafe). */

/* Sets the MAC with digest_id (0: SHA-1; SHA-256, SHA-384, SHA-512 and
 * HAS-160 are the others on offer). MAC data that already has a salt keeps
 * its salt and count; otherwise the salt is a copy of the one given, or
 * salt_len (8 when 0 or less) random octets, and the count is iterations
 * (1 is left out as the default; 0 or less means P12_DEFAULT_ITERATIONS).
 * 0; 0x4D110049 for a null PFX; 0x4D11010D for another digest or MAC data
 * that cannot be set up; 0x4D11010E when the MAC cannot be computed. */
ZUNPKI_API PKI_ERROR set_PKCS12_mac(PKCS12* pfx, const char* password, int len, const void* salt, int salt_len,
                                    int iterations, int digest_id);
/* 0 when the MAC matches, -1 when it differs, 1 when it cannot be computed
 * (no MAC data, an authSafe that is not data, an unknown digest). */
ZUNPKI_API int verify_PKCS12_mac(const PKCS12* pfx, const char* password, int len);

/* ---- Import ------------------------------------------------------------------
 * Checks the MAC, opens the safes and appends to *keys (P8_PRIV_KEY_INFO),
 * *certs and *ca_certs (X509_CERT; basicConstraints cA TRUE makes a CA
 * certificate), each made when null. A certificate gets its bag's
 * localKeyID and friendlyName (as UTF-8) as its auxiliary values. Keys and
 * certificates are not paired here; a shrouded key bag without localKeyID
 * is imported like any other, a plain key bag without one fails the import.
 * A null or empty password opens a file whose MAC used either convention;
 * a password that is not ASCII is tried in its UTF-16 form too (as other
 * tools write it). On failure the caller's lists are as they were and lists
 * made here are freed (set null).
 * 0x4D0F0049 null PFX; 0x4D0F003B no memory for a list; 0x4D0F005E the MAC
 * does not match; 0x4D0F0104 a safe or bag that does not decode, decrypt or
 * import. */
ZUNPKI_API PKI_ERROR import_PKCS12(const PKCS12* pfx, const char* password, int len, STACK** keys, STACK** certs,
                                   STACK** ca_certs);

/* ---- Safes ------------------------------------------------------------------ */
/* Appends the bags as a safe to *safes (made when null): pbe_row -1 a plain
 * data safe, 0 P12_DEFAULT_PBE, another row encrypted under the password
 * (zero-terminated). 0, 0x4D10003B when the list cannot be made, 1 when the
 * safe cannot be made or added (nothing is changed). */
ZUNPKI_API PKI_ERROR PKCS12_add_safe(P12_AUTH_SAFE** safes, const P12_SAFEBAGS* bags, int pbe_row, int iterations,
                                     const char* password);
/* A new PFX (version 3) whose authSafe holds the DER of the list; null on failure. */
ZUNPKI_API PKCS12* PKCS12_add_safes(const P12_AUTH_SAFE* safes);
/* A pkcs7-data ContentInfo holding the DER of the bags, and back. Null on failure. */
ZUNPKI_API P7_CONTENT_INFO* gen_PKCS12_p7data(const P12_SAFEBAGS* bags);
ZUNPKI_API P12_SAFEBAGS* get_PKCS12_p7data(const P7_CONTENT_INFO* ci);
/* A pkcs7-encryptedData ContentInfo holding the bags encrypted under
 * pbe_row; a salt_len of 0 or less, or no salt, means 8 random octets;
 * iterations of 0 or less P12_DEFAULT_ITERATIONS. Null on failure. */
ZUNPKI_API P7_CONTENT_INFO* gen_PKCS12_p7encdata(int pbe_row, const char* password, int len, const void* salt,
                                                 int salt_len, int iterations, const P12_SAFEBAGS* bags);
/* The bags of an encrypted safe; null when it is none or does not decrypt. */
ZUNPKI_API P12_SAFEBAGS* get_PKCS12_p7encdata(const P7_CONTENT_INFO* ci, const char* password, int len);

/* ---- Bags ---------------------------------------------------------------------- */
/* Appends bag (owned by the list from then on) to *bags (made when null).
 * 0; 0x4D120049 null arguments; 0x4D12003B no list; 0x4D12010C no room. */
ZUNPKI_API PKI_ERROR add_PKCS12_bag(P12_SAFEBAGS** bags, P12_SAFEBAG* bag);
/* A new certBag of the certificate appended to *bags; it belongs to the
 * list. Null on failure. */
ZUNPKI_API P12_SAFEBAG* add_PKCS12_cert(P12_SAFEBAGS** bags, const X509_CERT* cert);
/* A new bag of a copy of the key appended to *bags; it belongs to the list.
 * A key_usage other than 0 adds a keyUsage attribute (a one-octet BIT
 * STRING) to the key (a negative one fails). pbe_row -1 makes a plain
 * keyBag, 0 P12_DEFAULT_PBE, another row a pkcs8ShroudedKeyBag encrypted
 * under the password (zero-terminated). Null on failure. */
ZUNPKI_API P12_SAFEBAG* add_PKCS12_keyinfo(P12_SAFEBAGS** bags, const P8_PRIV_KEY_INFO* key, int key_usage,
                                           int iterations, int pbe_row, const char* password);
/* A keyBag that takes over key (which stays the caller's on failure). */
ZUNPKI_API P12_SAFEBAG* get_PKCS12_keybag(P8_PRIV_KEY_INFO* key);
/* A pkcs8ShroudedKeyBag of key encrypted under pbe_row (a salt of salt_len
 * octets, or 8 random ones; iterations of 0 or less mean
 * P12_DEFAULT_ITERATIONS); its algorithm is the PBE algorithm. Null for a
 * null key or password, or on failure. */
ZUNPKI_API P12_SAFEBAG* get_PKCS12_shr_keybag(int pbe_row, const char* password, int len, const void* salt,
                                              int salt_len, int iterations, const P8_PRIV_KEY_INFO* key);

/* ---- Attributes ------------------------------------------------------------------ */
/* A localKeyID attribute of the octets (the attribute list made when
 * missing). 0, or 1 when it cannot be added. */
ZUNPKI_API int add_PKCS12_LKID(P12_SAFEBAG* bag, const void* id, int len);
/* A friendlyName attribute: name is UTF-8 (EUC-KR text that is not UTF-8
 * is converted from KS X 1001), written as a BMPString in UTF-16. len -1:
 * up to the terminating zero. 0, or 1 when it cannot be added. */
ZUNPKI_API int add_PKCS12_friendlyname_ASC(P12_SAFEBAG* bag, const char* name, int len);
/* A friendlyName of len octets already in UTF-16 (big-endian); the bag's
 * attribute list must exist. 1 when added, 0 when not. */
ZUNPKI_API int add_PKCS12_friendlyname_UNI(P12_SAFEBAG* bag, const char* bmp, int len);
/* The first value of the first attribute of that row (borrowed), or null
 * (also for a constructed value). */
ZUNPKI_API ASN1_STRING* get_PKCS12_attribute(const X509_ATTRIBUTES* attrs, int row);
/* The bag's friendlyName as new UTF-8 text (free with VSC_Free); null when
 * the bag has none or it is not a BMPString. */
ZUNPKI_API char* get_PKCS12_friendlyname(const P12_SAFEBAG* bag);

ZUNPKI_END_DECLS

#endif
