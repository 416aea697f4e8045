// Pattern compression on arbitrary bytes, both ways: a stream decompresses
// within the text limit or is refused, and any text the compressor takes
// comes back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunCore/compress.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

// Compresses and decompresses text; buffers exactly as large as promised.
void roundTrip(const unsigned char* text, int len) {
    std::vector<char> pattern(static_cast<size_t>(len) + 2);
    std::vector<unsigned char> stream(VCL_COMPRESS_BUFFER_SIZE);
    const int n = VCL_CompressData(text, pattern.data(), len, stream.data());
    if (n < 0) return;
    check(n <= VCL_COMPRESS_MAX_STREAM && stream[static_cast<size_t>(n)] == 0);
    std::vector<unsigned char> back(VCL_COMPRESS_BUFFER_SIZE);
    check(VCL_Decompress(stream.data(), n, back.data()) == len);
    check(std::memcmp(back.data(), text, static_cast<size_t>(len)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 2 * VCL_COMPRESS_MAX_STREAM) return 0;
    // The input exactly, so a read past it is seen.
    std::vector<unsigned char> in(data, data + size);
    std::vector<unsigned char> text(VCL_COMPRESS_BUFFER_SIZE);
    const int n = VCL_Decompress(in.data(), static_cast<int>(size), text.data());
    check(n >= -1 && n <= VCL_COMPRESS_MAX_TEXT);
    if (n > 0) {
        check(text[static_cast<size_t>(n)] == 0);
        roundTrip(text.data(), n);
    }
    if (size <= VCL_COMPRESS_MAX_TEXT) roundTrip(in.data(), static_cast<int>(size));
    return 0;
}
