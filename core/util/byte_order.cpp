// Hex digits and network (big-endian) byte order of numbers.
#include <cstring>

#include <zunCore/encode.h>

namespace {

// Host order from the first byte of an int 1: non-zero on a little-endian host.
bool littleEndian() {
    const int one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first != 0;
}

template <typename T>
int toNetwork(T v, unsigned char* out, int size) {
    if (!out || size < static_cast<int>(sizeof(T))) return -1;
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof(T));
    for (size_t i = 0; i < sizeof(T); ++i) out[i] = littleEndian() ? bytes[sizeof(T) - 1 - i] : bytes[i];
    return static_cast<int>(sizeof(T));
}

template <typename T>
int fromNetwork(const unsigned char* in, int count, T* out) {
    if (!in || !out || count != static_cast<int>(sizeof(T))) return -1;
    unsigned char bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = littleEndian() ? in[sizeof(T) - 1 - i] : in[i];
    std::memcpy(out, bytes, sizeof(T));
    return static_cast<int>(sizeof(T));
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

}  // namespace

extern "C" {

VCL_API void VCL_ConvertUcharToHex(unsigned char b, char out[2]) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (!out) return;
    out[0] = kHex[b >> 4];
    out[1] = kHex[b & 15];
}

VCL_API unsigned char VCL_ConvertHexToUchar(const char p[2]) {
    if (!p) return 0;
    return static_cast<unsigned char>(hexDigit(p[0]) << 4 | hexDigit(p[1]));
}

VCL_API int VCL_HtonShort(short v, unsigned char* out, int size) { return toNetwork(v, out, size); }
VCL_API int VCL_NtohShort(const unsigned char* in, int count, short* out) { return fromNetwork(in, count, out); }
VCL_API int VCL_HtonInt16(int16_t v, unsigned char* out, int size) { return toNetwork(v, out, size); }
VCL_API int VCL_NtohInt16(const unsigned char* in, int count, int16_t* out) { return fromNetwork(in, count, out); }
VCL_API int VCL_HtonInt(int v, unsigned char* out, int size) { return toNetwork(v, out, size); }
VCL_API int VCL_NtohInt(const unsigned char* in, int count, int* out) { return fromNetwork(in, count, out); }
VCL_API int VCL_HtonInt32(int32_t v, unsigned char* out, int size) { return toNetwork(v, out, size); }
VCL_API int VCL_NtohInt32(const unsigned char* in, int count, int32_t* out) { return fromNetwork(in, count, out); }
VCL_API int VCL_HtonFloat(float v, unsigned char* out, int size) { return toNetwork(v, out, size); }
VCL_API int VCL_NtohFloat(const unsigned char* in, int count, float* out) { return fromNetwork(in, count, out); }
VCL_API int VCL_HtonDouble(double v, unsigned char* out, int size) { return toNetwork(v, out, size); }
VCL_API int VCL_NtohDouble(const unsigned char* in, int count, double* out) { return fromNetwork(in, count, out); }

}  // extern "C"
