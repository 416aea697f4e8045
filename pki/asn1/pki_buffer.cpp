#include "asn1/pki_buffer.hpp"

#include "pki_mem.hpp"

namespace zpki {

Buffer Buffer::allocate(size_t n) {
    Buffer b;
    if (n == 0) n = 1;
    b.m_data = static_cast<unsigned char*>(PKI_CALLOC(1, n));
    if (b.m_data != nullptr) b.m_size = n;
    return b;
}

void Buffer::reset() {
    // VSC_Free zeroes the block before it releases it.
    if (m_data != nullptr) PKI_FREE(m_data);
    m_data = nullptr;
    m_size = 0;
}

}  // namespace zpki
