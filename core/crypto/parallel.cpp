// CTR mode spread over POSIX threads: the input is split into ranges of
// whole blocks, and each thread starts its own counter at its first block,
// so no thread runs through the blocks before its range.
#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>

#include "crypto/crypto_internal.hpp"
#include "crypto/parallel_internal.hpp"
#include "util/core_internal.hpp"

namespace {

constexpr int kCat = VCL_CAT_SYMMETRIC_PARALLEL;

// More threads than this gain nothing on any machine we run on and only
// cost stacks; the split changes, the result does not (every block's
// counter depends on its position alone).
constexpr int kMaxThreads = 256;

int startWithPthreads(pthread_t* handle, void* (*body)(void*), void* arg) {
    return pthread_create(handle, nullptr, body, arg);
}

// The counter block of block number index: the initial block plus index,
// big-endian over the whole block.
void counterAt(const unsigned char* initial, int blockLen, long long index, unsigned char* out) {
    std::memcpy(out, initial, static_cast<size_t>(blockLen));
    unsigned long long carry = static_cast<unsigned long long>(index);
    for (int i = blockLen - 1; i >= 0 && carry != 0; --i) {
        carry += out[i];
        out[i] = static_cast<unsigned char>(carry & 0xFF);
        carry >>= 8;
    }
}

// The output buffer, released with free (VCL_Free) like every buffer the
// library hands out. It is not zeroed: the threads write every byte of it
// and the closing NUL is set here. A large one asks for huge pages: the
// threads' first writes would otherwise fault in one small page at a time,
// and those faults, not the cipher, bound how well the threads scale.
unsigned char* newOutput(size_t n) {
    constexpr size_t kHuge = size_t{2} << 20;
    void* p = nullptr;
    if (n >= 2 * kHuge) {
        if (posix_memalign(&p, kHuge, n) != 0) return nullptr;
        madvise(p, n / kHuge * kHuge, MADV_HUGEPAGE);  // only a hint
    } else {
        p = std::malloc(n);
    }
    return static_cast<unsigned char*>(p);
}

}  // namespace

zcore::ThreadStarter zcore::g_startThread = startWithPthreads;

extern "C" {

VCL_API int VCL_SYM_CTR_block_count(int len, int block) {
    if (len < 0 || block <= 0) return -1;
    return len / block + (len % block != 0 ? 1 : 0);
}

VCL_API int VCL_SYM_CTR_block_assign(int threads, int blocks, int index) {
    if (threads <= 0) return -1;
    return index * (blocks / threads) + std::min(index, blocks % threads);
}

VCL_API void* VCL_SYM_Parallel_CTR_cipher_thread(void* record) {
    auto* w = static_cast<VCL_SYM_CTR_WORK*>(record);
    if (!w) return nullptr;
    w->status = 0;
    const int first = VCL_SYM_CTR_block_assign(w->thread_count, w->block_count, w->thread_index);
    const int count = VCL_SYM_CTR_block_assign(w->thread_count, w->block_count, w->thread_index + 1) - first;
    const long long start = static_cast<long long>(first) * w->block_length;
    const long long end =
        std::min(static_cast<long long>(first + count) * w->block_length, static_cast<long long>(w->input_length));
    if (first < 0 || end - start <= 0) return record;

    unsigned char counter[32];  // the longest block is 16 bytes
    if (w->block_length <= 0 || w->block_length > static_cast<int>(sizeof counter)) {
        w->status = VCL_CORE_CODE(kCat, VCL_R_BLOCK_LENGTH);
        return record;
    }
    counterAt(w->counter, w->block_length, first, counter);
    zcore::CipherUnit unit(VSC_New_BLOCK_CIPHER_Unit());
    if (!unit) {
        w->status = VCL_CORE_CODE(kCat, VCL_R_MALLOC);
        return record;
    }
    int n = 0, m = 0;
    int rc = VSC_Init_BLOCK_CIPHER(unit.get(), w->cipher_id, w->key, counter, w->direction);
    if (rc == VSC_OK)
        rc =
            VSC_Update_BLOCK_CIPHER(unit.get(), w->output + start, &n, w->input + start, static_cast<int>(end - start));
    if (rc == VSC_OK) rc = VSC_Final_BLOCK_CIPHER(unit.get(), w->output + start + n, &m);
    explicit_bzero(counter, sizeof counter);
    w->status = rc;
    return record;
}

VCL_API int VCL_SYM_Parallel_Cipher(int direction, int threads, const unsigned char* key, int key_len,
                                    const unsigned char* counter, int counter_len, const char* name, int /*pad*/,
                                    const unsigned char* in, int in_len, unsigned char** out, int* out_len,
                                    unsigned char encoding) {
    if (out) *out = nullptr;
    if (out_len) *out_len = 0;
    if (threads <= 0) return VCL_CORE_CODE(kCat, VCL_R_THREAD_COUNT);
    if (!key || !out || !out_len || !name || (!in && in_len > 0)) return VCL_CORE_CODE(kCat, VCL_R_NULL_PARAM);
    if (std::strlen(name) >= VCL_SYM_WORK_NAME_SIZE) return VCL_CORE_CODE(kCat, VCL_R_INVALID_PARAM);
    int id = 0;
    if (int rc = VCL_COM_convert_cipher_name(name, &id); rc != 0) return rc;
    const int keyLen = VSC_Get_Key_Length(id);
    if (keyLen < 0) return -1;
    if (keyLen != key_len) return VCL_CORE_CODE(kCat, VCL_R_KEY_LENGTH);
    const int block = VSC_Get_Block_Length(id);
    if (block <= 0) return VCL_CORE_CODE(kCat, VCL_R_BLOCK_LENGTH);
    if (zcore::cipherMode(id) != VSC_CIPHER_MODE_CTR) return VCL_CORE_CODE(kCat, VCL_R_UNSUPPORTED_MODE);
    if (!counter || counter_len != block) return VCL_CORE_CODE(kCat, VCL_R_INVALID_PARAM);
    id |= VSC_CIPHER_NO_PADDING;
    const bool encrypt = direction != 0;

    // The decoded input, when it comes as Base64; released on every path.
    const unsigned char* data = in;
    int dataLen = in_len;
    unsigned char* decoded = nullptr;
    if (!encrypt && (encoding == VCL_ENCODING_BASE64 || encoding == VCL_ENCODING_BASE64_LINES)) {
        dataLen = VCL_Base64_Decode(reinterpret_cast<const char*>(in), in_len, &decoded);
        if (dataLen <= 0) return VCL_CORE_CODE(VCL_CAT_SYMMETRIC_ENCRYPT, VCL_R_DECODE_BASE64);
        data = decoded;
    }
    struct Release {
        unsigned char* p;
        int n;
        ~Release() { VCL_Free(p, n); }
    } decodedGuard{decoded, dataLen};

    const int blocks = VCL_SYM_CTR_block_count(dataLen, block);
    if (blocks < 0) return VCL_CORE_CODE(kCat, VCL_R_BLOCK_COUNT);
    if (dataLen == INT_MAX) return VCL_CORE_CODE(kCat, VCL_R_INVALID_LENGTH);  // no room for the NUL
    const int workers = std::min({threads, blocks, kMaxThreads});

    unsigned char* output = newOutput(static_cast<size_t>(dataLen) + 1);
    Release outputGuard{output, dataLen + 1};
    if (output) output[dataLen] = 0;
    std::vector<VCL_SYM_CTR_WORK> work;
    std::vector<pthread_t> handles;
    try {
        work.resize(static_cast<size_t>(workers));
        handles.resize(static_cast<size_t>(workers));
    } catch (const std::bad_alloc&) {
        return VCL_CORE_CODE(kCat, VCL_R_MALLOC);
    }
    if (!output) return VCL_CORE_CODE(kCat, VCL_R_MALLOC);

    int started = 0;
    int result = 0;
    for (int i = 0; i < workers; ++i) {
        VCL_SYM_CTR_WORK& w = work[static_cast<size_t>(i)];
        std::memset(&w, 0, sizeof w);
        w.key = key;
        std::strcpy(w.cipher_name, name);
        w.cipher_id = id;
        w.input = data;
        w.input_length = dataLen;
        w.output = output;
        w.output_length = dataLen;
        w.block_length = block;
        w.block_count = blocks;
        w.thread_count = workers;
        w.thread_index = i;
        w.direction = encrypt ? 1 : 0;
        w.counter = counter;
        if (zcore::g_startThread(&handles[static_cast<size_t>(i)], VCL_SYM_Parallel_CTR_cipher_thread, &w) != 0) {
            // The running threads still write into the buffers: they are
            // joined below before anything is released.
            result = VCL_CORE_CODE(VCL_CAT_SYMMETRIC_ENCRYPT, VCL_R_THREAD_START);
            break;
        }
        ++started;
    }
    for (int i = 0; i < started; ++i) {
        pthread_join(handles[static_cast<size_t>(i)], nullptr);
        if (result == 0 && work[static_cast<size_t>(i)].status != 0) result = work[static_cast<size_t>(i)].status;
    }
    if (result != 0) return result;

    if (encrypt && (encoding == VCL_ENCODING_BASE64 || encoding == VCL_ENCODING_BASE64_LINES)) {
        char* text = nullptr;
        const int len = VCL_Base64_Encode(output, dataLen, &text, encoding == VCL_ENCODING_BASE64_LINES ? 1 : 0);
        if (len <= 0) {
            VCL_Free(text, 0);
            return VCL_CORE_CODE(VCL_CAT_SYMMETRIC_ENCRYPT, VCL_R_ENCODE_BASE64);
        }
        *out = reinterpret_cast<unsigned char*>(text);
        *out_len = len;
        return 0;
    }
    outputGuard.p = nullptr;
    *out = output;
    *out_len = dataLen;
    return 0;
}

VCL_API int VCL_SYM_Parallel_Encrypt(int threads, const unsigned char* key, int key_len, const unsigned char* counter,
                                     int counter_len, const char* name, int pad, const unsigned char* in, int in_len,
                                     unsigned char** out, int* out_len, unsigned char encoding) {
    return VCL_SYM_Parallel_Cipher(1, threads, key, key_len, counter, counter_len, name, pad, in, in_len, out, out_len,
                                   encoding);
}

VCL_API int VCL_SYM_Parallel_Decrypt(int threads, const unsigned char* key, int key_len, const unsigned char* counter,
                                     int counter_len, const char* name, int pad, const unsigned char* in, int in_len,
                                     unsigned char** out, int* out_len, unsigned char encoding) {
    return VCL_SYM_Parallel_Cipher(0, threads, key, key_len, counter, counter_len, name, pad, in, in_len, out, out_len,
                                   encoding);
}

}  // extern "C"
