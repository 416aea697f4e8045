/*
 * Random bytes, block ciphers and digests by name, over the crypto layer.
 *
 * Ciphers are named as VCL_COM_convert_cipher_name takes them ("SEED-CBC"),
 * digests as VCL_COM_convert_hash_name ("SHA256"). pad 0 turns padding off
 * (the input must then be whole blocks in ECB and CBC); CFB, OFB and CTR are
 * never padded. Results are 0 or a CORE_ERROR_CODE; codes of the crypto layer
 * and of the name mappings pass through. On failure nothing is handed out
 * (out-pointers NULL and 0). New buffers are NUL-terminated, one byte longer
 * than their length, and released with VCL_Free.
 */
#ifndef ZUNCORE_CIPHER_H
#define ZUNCORE_CIPHER_H

#include <zunCore/core_export.h>
#include <zunCrypto/zunCrypto.h>

/* Output encodings of the one-shot and parallel ciphers: the result (when
 * encrypting) or the input (when decrypting) as Base64 on one line, as
 * Base64 in lines of 64 characters each ending with a newline, or raw. */
#define VCL_ENCODING_BASE64 0
#define VCL_ENCODING_BASE64_LINES 1
#define VCL_ENCODING_RAW 2

/* Longest cipher name the parallel cipher copies into its work records. */
#define VCL_SYM_WORK_NAME_SIZE 64

/* One thread's share of a parallel CTR operation. */
typedef struct {
    const unsigned char* key;
    char cipher_name[VCL_SYM_WORK_NAME_SIZE];
    int cipher_id; /* with the no-padding bit */
    const unsigned char* input;
    int input_length;
    unsigned char* output; /* shared; each thread writes its own blocks */
    int output_length;
    int block_length;
    int block_count; /* of the whole input, the last one partial */
    int thread_count;
    int thread_index;
    int direction;                /* 1 encrypt, 0 decrypt */
    int status;                   /* 0, or the code this thread failed with */
    const unsigned char* counter; /* initial counter block (block_length bytes) */
} VCL_SYM_CTR_WORK;

VCL_BEGIN_DECLS

/* ---- Random ------------------------------------------------------------- */
VCL_API int VCL_PRNG_Get_Random(unsigned char* buf, int len);
/* The hash DRBG on SHA-256. */
VCL_API int VCL_DRBG_Get_Random(unsigned char* buf, int len);
/* The DRBG with an additional-input text (or NULL), a digest id and a
 * prediction-resistance flag. */
VCL_API int VCL_DRBG_Get_Random_ex(unsigned char* buf, int len, const char* additional_input, int digest_id,
                                   int prediction_resistance);

/* ---- Cipher information ------------------------------------------------- */
/* The key length into *len; -1 when the crypto layer does not know it. */
VCL_API int VCL_SYM_Get_Key_Length(const char* name, int* len);
/* The block length; 0 when the name does not map. */
VCL_API int VCL_SYM_Get_Block_Length(const char* name);
/* Room for the padded encryption of len bytes and a NUL: (len / block + 1)
 * x block + 1; 0 for an unknown name or a negative len. */
VCL_API int VCL_SYM_Enc_Buf_Size(const char* name, int len);

/* ---- One-shot ciphers ------------------------------------------------------
 * key and iv of the cipher's lengths (iv NULL: zeros; ECB ignores it).
 * Encryption hands out the result in the encoding asked for; decryption
 * reads its input in it (Base64 may have lines ending in LF or CR LF).
 * Codes of encryption (decryption: 0xa002...): 0xa0010002 NULL key, input or
 * out-pointers, 0xa0010003 a negative length, 0xa001000a input that is not
 * whole blocks without padding, 0xa0010023 Base64 encoding failed,
 * 0xa0010024 Base64 decoding failed (both directions), 0xa0010001 short
 * memory. A wrong padding on decryption gives the crypto layer's VSC_FAIL. */
VCL_API int VCL_SYM_Encrypt(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                            const unsigned char* in, int in_len, unsigned char** out, int* out_len,
                            unsigned char encoding);
VCL_API int VCL_SYM_Decrypt(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                            const unsigned char* in, int in_len, unsigned char** out, int* out_len,
                            unsigned char encoding);
/* Raw bytes into the caller's out_buf, followed by a NUL. Encryption zeroes
 * and fills VCL_SYM_Enc_Buf_Size(name, in_len) bytes with padding (in_len + 1
 * without); decryption needs in_len + 1. */
VCL_API int VCL_SYM_Encrypt_F(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                              const unsigned char* in, int in_len, unsigned char* out_buf, int* out_len);
VCL_API int VCL_SYM_Decrypt_F(const unsigned char* key, const unsigned char* iv, const char* name, int pad,
                              const unsigned char* in, int in_len, unsigned char* out_buf, int* out_len);

/* The crypto layer's advanced pair (VSC_Init_Advanced_BLOCK_CIPHER and
 * VSC_DoFinal_Advanced_BLOCK_CIPHER) by name. */
VCL_API int VCL_SYM_Encrypt_init_Adv(BLOCK_CIPHER_UNIT* unit, const unsigned char* key, const char* name, int pad,
                                     const unsigned char* iv, int key_len);
VCL_API int VCL_SYM_Decrypt_init_Adv(BLOCK_CIPHER_UNIT* unit, const unsigned char* key, const char* name, int pad,
                                     const unsigned char* iv, int key_len);
VCL_API int VCL_SYM_Encrypt_doFinal_Adv(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len,
                                        const unsigned char* in, int in_len, int out_size);
VCL_API int VCL_SYM_Decrypt_doFinal_Adv(BLOCK_CIPHER_UNIT* unit, unsigned char* out, int* out_len,
                                        const unsigned char* in, int in_len, int out_size);

/* ---- Parallel CTR ----------------------------------------------------------
 * A CTR cipher ("AES-CTR", "SEED-CTR", ...) over threads threads, each
 * taking a range of whole blocks. counter is the initial counter block and
 * counter_len its length, which must be the cipher's block length; block i
 * is enciphered under counter + i (big-endian over the whole block), as
 * openssl enc -*-ctr -iv does. key_len must be the cipher's key length.
 * Codes: 0xa003015e threads <= 0, 0xa003015c wrong key length, 0xa003015d
 * no block length, 0xa0030011 not CTR, 0xa0030003 a wrong counter block or a
 * name longer than 63 characters, 0xa0030002 NULL key, input or out-pointers,
 * 0xa003015b a negative length, 0xa001015a a thread that did not start,
 * 0xa0030001 short memory, 0xa0010023 / 0xa0010024 Base64; else the status of
 * the first thread that failed. */
VCL_API int VCL_SYM_Parallel_Encrypt(int threads, const unsigned char* key, int key_len, const unsigned char* counter,
                                     int counter_len, const char* name, int pad, const unsigned char* in, int in_len,
                                     unsigned char** out, int* out_len, unsigned char encoding);
VCL_API int VCL_SYM_Parallel_Decrypt(int threads, const unsigned char* key, int key_len, const unsigned char* counter,
                                     int counter_len, const char* name, int pad, const unsigned char* in, int in_len,
                                     unsigned char** out, int* out_len, unsigned char encoding);
/* direction 1 encrypts, 0 decrypts. */
VCL_API int VCL_SYM_Parallel_Cipher(int direction, int threads, const unsigned char* key, int key_len,
                                    const unsigned char* counter, int counter_len, const char* name, int pad,
                                    const unsigned char* in, int in_len, unsigned char** out, int* out_len,
                                    unsigned char encoding);
/* Blocks of len bytes, the last one partial; -1 for a negative len or a
 * block length <= 0. */
VCL_API int VCL_SYM_CTR_block_count(int len, int block);
/* The first block of thread index: index x (blocks / threads) +
 * min(index, blocks mod threads); -1 for threads <= 0. */
VCL_API int VCL_SYM_CTR_block_assign(int threads, int blocks, int index);
/* The thread body; record is a VCL_SYM_CTR_WORK. Returns record. */
VCL_API void* VCL_SYM_Parallel_CTR_cipher_thread(void* record);

/* ---- Digests ---------------------------------------------------------------
 * Codes of VCL_HASH_Data (VCL_HASH_FILE: 0xa102...): 0xa1010002 NULL
 * arguments, 0xa1010003 a negative length, 0xa1010020 no digest unit,
 * 0xa1010022 no digest length, 0xa1010001 short memory; VCL_HASH_FILE also
 * 0xa1020004 when the file does not open and 0xa102000c when reading fails. */
VCL_API int VCL_HASH_Data(const unsigned char* in, int in_len, unsigned char** digest, int* digest_len,
                          const char* name);
VCL_API int VCL_HASH_FILE(const char* path, unsigned char** digest, int* digest_len, const char* name);
/* The digest's length into *len; 0xa1010022 when there is none. */
VCL_API int VCL_HASH_Get_Length(const char* name, int* len);
/* Step by step, with the crypto layer's codes. Final writes the digest into
 * buf (VSC_MAX_DIGEST_LENGTH bytes are always enough) and leaves the unit
 * ready for a next message. */
VCL_API DIGEST_UNIT* VCL_HASH_New(void);
VCL_API int VCL_HASH_Init(DIGEST_UNIT* unit, const char* name);
VCL_API int VCL_HASH_Update(DIGEST_UNIT* unit, const unsigned char* data, int len);
VCL_API int VCL_HASH_Final(DIGEST_UNIT* unit, unsigned char* buf, int* len);
VCL_API void VCL_HASH_Free(DIGEST_UNIT* unit);

VCL_END_DECLS

#endif
