/*
 * OCSP (RFC 6960) as bytes: the client builds a request for one certificate
 * and reads a response into a status, a revocation date and a reason; the
 * responder parses a signed request, builds the response data step by step
 * (init, one entry per certificate, final signing) and makes error
 * responses. Every intermediate result is DER, so a responder keeps its work
 * between calls in plain buffers.
 *
 * Every input buffer comes with its length. Certificates are DER or PEM
 * where said (PEM by its armour), else DER. Buffers handed out are new,
 * NUL-terminated, one byte longer than their length, and released with
 * VCL_Free, except where a function says the crypto layer's allocator
 * (VSC_Free). On failure nothing is handed out.
 *
 * Results are 0 or (category << 16) | reason with the categories 0xd001
 * request building, 0xd002 response reading and certificate re-encoding,
 * 0xd003 request parsing and key conversion, 0xd004 responder data from a
 * certificate, 0xd005 revocation info, 0xd006 response data start, 0xd007
 * response data update, 0xd008 final response, 0xd009 request list, 0xd00a
 * single request details, 0xd00b error response. Codes of the name
 * mappings, the key readers and libzunPKI's request builder pass through
 * where said.
 */
#ifndef ZUNCORE_OCSP_H
#define ZUNCORE_OCSP_H

#include <zunCore/core_export.h>

/* Certificate status. */
#define VCL_OCSP_GOOD 0
#define VCL_OCSP_REVOKED 1
#define VCL_OCSP_UNKNOWN 2

/* Room of the client's outputs: the revocation date YYYYMMDDhhmmss with its
 * NUL, and the reason text (VCL_X509_REVOKED_REASON_SIZE). */
#define VCL_OCSP_DATE_SIZE 15
#define VCL_OCSP_REASON_SIZE 52

/* How far the responder's clock may run ahead of ours, or its nextUpdate
 * behind it, in seconds. */
#define VCL_OCSP_CLOCK_SKEW 300

VCL_BEGIN_DECLS

/* ---- Client -------------------------------------------------------------------
 * A request for cert (DER or PEM) under the digest hash_name names (NULL:
 * SHA1), with the nonce (1 to 64 bytes; NULL: 16 random bytes). cert may
 * carry its issuer's certificate after it (a second PEM block, or a second
 * DER element): the CertID's key hash is then the issuer key's digest, as
 * any digest needs; without it only SHA-1 works, from cert's
 * authorityKeyIdentifier (libzunPKI's 0x500100ff otherwise).
 * Signed when both signer_cert and signer_key are given: the key is PEM
 * "RSA PRIVATE KEY" (plain or encrypted under password), another PEM or DER
 * encrypted PKCS#8 opened with password; the signature's digest is that of
 * the signer certificate's signature when it is SHA-1, SHA-256 or HAS-160,
 * else the request's; pad_mode is the RSA signature mode (1 PKCS#1 v1.5, 2
 * PSS). Codes: 0xd0010002 NULL out-pointers, 0xd0010101 cert, 0xd0010103
 * signer certificate, 0xd0010104 a PKCS#8 key that does not read,
 * 0xd0010105 it does not decrypt, 0xd0010018 a PKCS#1 key that does not
 * open, 0xd0010032 its PrivateKeyInfo, 0xd0010043 a PEM type that cannot be
 * told, 0xd0010106 signing, 0xd0010107 / 0xd0010108 encoding, 0xd0010001. */
VCL_API int VCL_OCSP_Single_Request_Ex(const void* cert, int cert_len, const void* signer_cert, int signer_cert_len,
                                       const void* signer_key, int signer_key_len, const char* password, int pw_len,
                                       const char* hash_name, int pad_mode, const unsigned char* nonce, int nonce_len,
                                       unsigned char** req, int* req_len);
/* The same with SHA1 and PKCS#1 v1.5. */
VCL_API int VCL_OCSP_Single_Request(const void* cert, int cert_len, const void* signer_cert, int signer_cert_len,
                                    const void* signer_key, int signer_key_len, const char* password, int pw_len,
                                    const unsigned char* nonce, int nonce_len, unsigned char** req, int* req_len);

/* Reads a DER response. *resp_status is its responseStatus (not 0:
 * 0xd0020110). *cert_status is VCL_OCSP_UNKNOWN until the response is read
 * through; it reads VCL_OCSP_GOOD only from a response the trust rules
 * below accept.
 * Trust (verify non-zero): signer_cert (DER or PEM) is required. The
 * response must verify under signer_cert itself, or under a certificate it
 * carries that signer_cert issued (its signature checked, valid now) with
 * the OCSPSigning purpose; with a nonce (nonce_len > 0) it must carry that
 * nonce. When signer_cert issued the responder, or is itself a CA
 * certificate, the status is the first SingleResponse whose CertID names
 * signer_cert as issuer (its name and key hashes); otherwise the response
 * must hold exactly one SingleResponse. That SingleResponse's thisUpdate
 * may be at most VCL_OCSP_CLOCK_SKEW ahead of now and its nextUpdate, when
 * present, at most that far behind.
 * With verify 0 nothing is verified; the status is chosen the same way.
 * pad_mode is kept for callers: the response's own algorithm is used.
 * A revoked status writes the revocation date in Korean time
 * (YYYYMMDDhhmmss, VCL_OCSP_DATE_SIZE bytes) into date_out and the reason
 * text (VCL_OCSP_REASON_SIZE bytes) into reason_out, when given; a good or
 * unknown status leaves them untouched.
 * Codes: 0xd0020002 NULL status pointers (or nonce), 0xd0020109 not a response,
 * 0xd0020110 a status other than successful, 0xd0020111 no basic response,
 * 0xd0010119 signer_cert does not read, 0xd0020112 no signer_cert, a
 * signature, responder, nonce or time that fails, 0xd0020114 no
 * SingleResponse for signer_cert's certificates (or not exactly one),
 * 0xd0020117 short memory. */
VCL_API int VCL_OCSP_Response_Ex(const void* resp, int resp_len, const void* signer_cert, int signer_cert_len,
                                 int verify, int pad_mode, const unsigned char* nonce, int nonce_len, int* resp_status,
                                 int* cert_status, char* date_out, char* reason_out);
/* The same with verification on. */
VCL_API int VCL_OCSP_Response(const void* resp, int resp_len, const void* signer_cert, int signer_cert_len,
                              const unsigned char* nonce, int nonce_len, int* resp_status, int* cert_status,
                              char* date_out, char* reason_out);

/* ---- Responder ----------------------------------------------------------------
 * A signed request (DER or PEM): its first certificate as DER, its nonce
 * and its number of single requests; verify 1 checks the signature under
 * that certificate. Outputs are NULL and 0 on failure. 0xd0030003 no
 * request or len <= 0, 0xd0030002 NULL out-pointers, 0xd0030065 /
 * 0xd0030067 DER / PEM that does not read, 0xd003012d unsigned, 0xd0030106
 * the signature does not verify, 0xd003012e no single request, 0xd0030116
 * no nonce (or one over 64 bytes), 0xd003012f no certificate, 0xd0030066
 * the certificate does not encode, 0xd0030001. */
VCL_API int VCL_Parsing_OCSP_request_Ex(const void* req, int len, int verify, unsigned char** signer_der,
                                        int* signer_len, int pad_mode, unsigned char** nonce, int* nonce_len,
                                        int* count);
VCL_API int VCL_Parsing_OCSP_request(const void* req, int len, int verify, unsigned char** signer_der, int* signer_len,
                                     unsigned char** nonce, int* nonce_len, int* count);
/* The single request at index as DER. 0xd0090003 no request or len <= 0,
 * 0xd0090002 NULL out-pointers, 0xd0090065 / 0xd0090067, 0xd0090133 index
 * outside the list, 0xd0090134, 0xd0090066, 0xd0090001. */
VCL_API int VCL_Get_OCSP_request_from_list(const void* req, int len, int index, unsigned char** single_der,
                                           int* single_len);
/* The CertID's serial number (upper-case hex, two digits a byte) and
 * issuerKeyHash (upper-case hex) of a single request, as texts. 0xd00a0003
 * no single request or len <= 0, 0xd00a0002 NULL out-pointers, 0xd00a0065
 * it does not read, 0xd00a0001. */
VCL_API int VCL_Get_single_requet_info(const void* single_der, int single_len, char** serial_hex, char** key_hash_hex);
/* What a responder matches requests against, from a DER certificate: its
 * authorityKeyIdentifier's key identifier and its serial number as
 * upper-case hex, and the digest of its signature (SHA-1, SHA-256 or
 * HAS-160; else SHA-256). 0xd0040003 no certificate, 0xd0040002 NULL
 * out-pointers, 0xd0040103 it does not read, 0xd0570000 / 0xd0550000 the
 * information record, 0xd0040130 no authorityKeyIdentifier, 0xd004006b no
 * serial, 0xd004008f an empty key identifier text, 0xd0040131 no key
 * identifier, 0xd0040003 a key identifier text over 1023 characters,
 * 0xd0040001. */
VCL_API int VCL_Get_infomation_from_cert(const void* cert_der, int cert_len, char** key_id_hex, char** serial_hex,
                                         int* digest_id);

/* Response data for the responder certificate (DER): responder by key
 * hash, producedAt now, the request's nonce (required). 0xd0060003 no
 * certificate or nonce, 0xd0060002 NULL out-pointers, 0xd0060065 the
 * certificate does not read, 0xd0060132 the data cannot be made,
 * 0xd0060066 it does not encode. */
VCL_API int VCL_Make_OCSP_response_init(const void* responder_cert_der, int cert_len, const unsigned char* nonce,
                                        int nonce_len, unsigned char** rd_der, int* rd_len);
/* init and one update in one call; req must be a request (DER or PEM).
 * 0xd0060003 a missing input, 0xd0060065 / 0xd0060067 the request,
 * 0xd0060137 the single request, 0xd006013d the revocation info,
 * 0xd0060119 the certificate, 0xd0060138 the entry, 0xd0060132. */
VCL_API int VCL_Make_OCSP_response_init_one(const void* req, int req_len, const void* single_der, int single_len,
                                            const void* revoked_der, int revoked_len, const void* responder_cert_der,
                                            int cert_len, int status, const unsigned char* nonce, int nonce_len,
                                            unsigned char** rd_der, int* rd_len);
/* The response data with one more entry: the single request's CertID, the
 * status (0 good, 1 revoked with revoked_der, 2 unknown), thisUpdate now
 * and no nextUpdate (newer information may be had at any time).
 * 0xd0070003 a missing input, 0xd0070002 NULL out-pointers, 0xd0070136 /
 * 0xd0070137 / 0xd0070065 the data, single request or revocation info does
 * not read, 0xd0070138 the entry, 0xd007013a it does not encode. */
VCL_API int VCL_Make_OCSP_response_update(const void* rd_der, int rd_len, const void* single_der, int single_len,
                                          const void* revoked_der, int revoked_len, int status,
                                          unsigned char** rd_der_out, int* rd_out_len);
/* A revocation info: the time text YYYYMMDDhhmm[ss] read as local time,
 * and the CRLReason code. 0xd0050003 no text, 0xd0050002 NULL
 * out-pointers, 0xd0050135 a text that does not read, 0xd0050139. */
VCL_API int VCL_Make_revoke_info(const char* time_text, int reason, unsigned char** revoked_der, int* revoked_len);
/* Signs the response data with the responder's key (DER PrivateKeyInfo,
 * as VCL_Priv_to_key_unit makes it) under the digest id and RSA mode, and
 * wraps it in a response of resp_status. 0xd0080003 a missing input,
 * 0xd0080002 NULL out-pointers, 0xd0080136 / 0xd0080119 / 0xd0080065 the
 * data, certificate or key does not read, 0xd008013b signing, 0xd008013e /
 * 0xd008013c wrapping, 0xd0080066 encoding. */
VCL_API int VCL_Make_OCSP_response_final_Ex(const void* rd_der, int rd_len, const void* responder_cert_der,
                                            int cert_len, const void* key_der, int key_len, int digest_id, int pad_mode,
                                            int resp_status, unsigned char** resp, int* resp_len);
VCL_API int VCL_Make_OCSP_response_final(const void* rd_der, int rd_len, const void* responder_cert_der, int cert_len,
                                         const void* key_der, int key_len, int digest_id, int resp_status,
                                         unsigned char** resp, int* resp_len);
/* A response of an error status (1 to 6) without response bytes. *resp is
 * NULL and *resp_len 0 first. 0xd00b013c a status outside 0..6, 0xd00b0002
 * NULL out-pointers, 0xd00b0066. */
VCL_API int VCL_OCSP_Response_error(int resp_status, unsigned char** resp, int* resp_len);
/* A private key (PEM "RSA PRIVATE KEY", plain or encrypted; another PEM or
 * DER encrypted PKCS#8) as DER PrivateKeyInfo for the final signing, in a
 * buffer of the crypto layer's allocator (VSC_Free). 0xd0030003 no key or
 * password or key_len <= 0, 0xd0030002 NULL out-pointers, 0xd0030018 /
 * 0xd0030032 the PKCS#1 key, 0xd0030067 / 0xd0030065 a PKCS#8 PEM / DER
 * that does not read, 0xd0030105 it does not decrypt, 0xd0030043 a PEM
 * type that cannot be told, 0xd0030066. */
VCL_API int VCL_Priv_to_key_unit(const void* key, int key_len, const char* password, unsigned char** p8_der,
                                 int* p8_len);
/* A certificate (DER or PEM) as DER, in a buffer of the crypto layer's
 * allocator (VSC_Free). 0xd0020003 no certificate or len <= 0, 0xd0020002
 * NULL out-pointers, 0xd0020065 / 0xd0020067, 0xd0020066. */
VCL_API int VCL_Cert_conv_DER_type(const void* cert, int len, unsigned char** der, int* der_len);

VCL_END_DECLS

#endif
