// Allocation with the caller's file and line. Every block is zeroed before it
// goes back to the system, whatever the caller says about its length.
#include "internal.h"

#include <malloc.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>

namespace {

// Far beyond any buffer of this system; a negative int passed as a size lands
// above it and is refused instead of reaching the system allocator.
constexpr std::size_t kMaxBlock = std::size_t(1) << 32;

// explicit_bzero: a memset the compiler may not drop, without the call
// through OpenSSL's function pointer that every small block paid for.
void wipe(void* ptr) {
    if (ptr != nullptr) explicit_bzero(ptr, malloc_usable_size(ptr));
}

}  // namespace

extern "C" {

void* VSC_Malloc(size_t size, const char* /*file*/, int /*line*/) {
    if (size > kMaxBlock) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* VSC_Calloc(size_t count, size_t size, const char* /*file*/, int /*line*/) {
    if (count == 0 || size == 0) return std::calloc(1, 1);
    if (count > kMaxBlock / size) return nullptr;
    return std::calloc(count, size);
}

void* VSC_Realloc(void* ptr, size_t size, const char* file, int line) {
    if (ptr == nullptr) return VSC_Malloc(size, file, line);
    if (size > kMaxBlock) return nullptr;
    // A moved block would leave its old contents behind; copy and wipe instead.
    void* fresh = std::malloc(size == 0 ? 1 : size);
    if (fresh == nullptr) return nullptr;  // the old block stays valid, as with realloc
    std::size_t old = malloc_usable_size(ptr);
    std::memcpy(fresh, ptr, old < size ? old : size);
    wipe(ptr);
    std::free(ptr);
    return fresh;
}

void VSC_Free(void* ptr, const char* /*file*/, int /*line*/) {
    wipe(ptr);
    std::free(ptr);
}

void VSC_Free_Ex(void* ptr, size_t /*len*/, const char* /*file*/, int /*line*/) {
    // The length callers pass may be short (or longer than the block); the
    // allocator knows the real size.
    wipe(ptr);
    std::free(ptr);
}

}  // extern "C"
