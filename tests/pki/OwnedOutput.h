// Buffers the library hands out, owned by the test that asked for them.
#pragma once

#include <zunCrypto/zunCrypto.h>

#include <string>

namespace pkitest {

// Owns a buffer that the library handed out (released with VSC_Free).
template <class T>
struct Owned {
    T* p = nullptr;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { VSC_FREE(p); }
    T** out() { return &p; }
    std::string str(int n) const { return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)); }
};

inline const unsigned char* bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}
inline const unsigned char* bytes(const char* s)
{
    return reinterpret_cast<const unsigned char*>(s);
}
// A temporary's bytes would not outlive the statement.
const unsigned char* bytes(std::string&&) = delete;

inline int len(const std::string& s)
{
    return static_cast<int>(s.size());
}

}  // namespace pkitest
