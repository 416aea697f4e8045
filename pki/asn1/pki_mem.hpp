// Memory of libzunPKI: every block comes from the crypto layer's allocator
// with the source file and line of the call that wanted it.
#pragma once

#include <zunCrypto/zunCrypto.h>

#include <cstddef>
#include <memory>
#include <new>

#define PKI_MALLOC(n) VSC_Malloc((n), __FILE__, __LINE__)
#define PKI_CALLOC(count, n) VSC_Calloc((count), (n), __FILE__, __LINE__)
#define PKI_REALLOC(p, n) VSC_Realloc((p), (n), __FILE__, __LINE__)
#define PKI_FREE(p) VSC_Free((p), __FILE__, __LINE__)
// A zeroed record of type T.
#define PKI_NEW(T) static_cast<T*>(VSC_Calloc(1, sizeof(T), __FILE__, __LINE__))

namespace zpki {

struct VscFree {
    void operator()(void* p) const { PKI_FREE(p); }
};
// A block of the crypto layer's allocator owned by the scope.
template <class T>
using VscPtr = std::unique_ptr<T, VscFree>;

// A library record owned by the scope and released with its free function.
template <class T, void (*Free)(T*)>
struct FreeWith {
    void operator()(T* p) const { Free(p); }
};
template <class T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, FreeWith<T, Free>>;

// std::allocator over the crypto layer's allocator, for containers inside
// the library.
template <class T>
struct VscAllocator {
    using value_type = T;
    VscAllocator() = default;
    template <class U>
    VscAllocator(const VscAllocator<U>&) {}
    T* allocate(std::size_t n) {
        void* p = PKI_MALLOC(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { PKI_FREE(p); }
    template <class U>
    bool operator==(const VscAllocator<U>&) const {
        return true;
    }
};

}  // namespace zpki
