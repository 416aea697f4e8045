// An owning byte buffer from the crypto library's allocator, for results that
// are handed to callers (who release them with VSC_Free). Until released it is
// freed (and zeroed, as VSC_Free does) on every exit path, so a failed conversion of key material
// leaves nothing behind.
#pragma once

#include <cstddef>
#include <utility>

namespace zpki {

class Buffer {
public:
    Buffer() = default;
    ~Buffer() { reset(); }
    Buffer(Buffer&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
    Buffer& operator=(Buffer&& other) noexcept {
        if (this != &other) {
            reset();
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
        }
        return *this;
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // A zero-filled buffer of n bytes (at least one); empty when memory is short.
    static Buffer allocate(size_t n);
    // Takes back a buffer of n bytes that an operation of this library handed
    // out (n is the operation's result, which may be negative on failure).
    static Buffer adopt(void* p, long long n) {
        Buffer b;
        if (p != nullptr) {
            b.m_data = static_cast<unsigned char*>(p);
            b.m_size = n > 0 ? static_cast<size_t>(n) : 0;
        }
        return b;
    }

    unsigned char* data() const { return m_data; }
    char* chars() const { return reinterpret_cast<char*>(m_data); }
    size_t size() const { return m_size; }
    explicit operator bool() const { return m_data != nullptr; }

    // Hands the bytes to the caller, who frees them with VSC_Free.
    unsigned char* release() {
        m_size = 0;
        return std::exchange(m_data, nullptr);
    }
    char* releaseChars() { return reinterpret_cast<char*>(release()); }

    void reset();

private:
    unsigned char* m_data = nullptr;
    size_t m_size = 0;
};

}  // namespace zpki
