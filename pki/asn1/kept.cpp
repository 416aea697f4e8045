// Kept DER: shared buffers and the references records hold to them.
#include "asn1/kept.hpp"

#include <new>

namespace zpki::asn1 {

namespace {
thread_local SharedDer* t_current = nullptr;
thread_local unsigned* t_failure = nullptr;
}  // namespace

DecodeFailure::DecodeFailure() : m_outer(t_failure) { t_failure = &m_code; }
DecodeFailure::~DecodeFailure() { t_failure = m_outer; }

void DecodeFailure::note(unsigned code) {
    if (t_failure && !*t_failure) *t_failure = code;
}

SharedDer* newSharedDer(size_t size) {
    if (size > SIZE_MAX - sizeof(SharedDer)) return nullptr;
    void* mem = PKI_MALLOC(sizeof(SharedDer) + size);
    if (!mem) return nullptr;
    auto* d = new (mem) SharedDer{};
    d->refs.store(1, std::memory_order_relaxed);
    d->size = size;
    for (auto& t : d->taken) t.store(false, std::memory_order_relaxed);
    return d;
}

void retain(SharedDer* d) {
    if (d) d->refs.fetch_add(1, std::memory_order_relaxed);
}

void release(SharedDer* d) {
    if (!d || d->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    d->~SharedDer();
    PKI_FREE(d);
}

// A slot of the buffer when one is free, else a block of its own.
Kept* takeSlot(SharedDer* der) {
    for (int i = 0; i < SharedDer::kSlots; ++i) {
        bool expected = false;
        if (der->taken[i].compare_exchange_strong(expected, true, std::memory_order_acq_rel)) return &der->slots[i];
    }
    return PKI_NEW(Kept);
}

Kept* newKept(SharedDer* der, size_t offset, size_t size, uint64_t mark) {
    Kept* k = takeSlot(der);
    if (!k) return nullptr;
    retain(der);
    k->der = der;
    k->offset = offset;
    k->size = size;
    k->mark = mark;
    return k;
}

void freeKept(Kept*& k) {
    if (!k) return;
    SharedDer* der = k->der;
    const ptrdiff_t slot = k - der->slots;
    if (slot >= 0 && slot < SharedDer::kSlots) {
        *k = Kept{};
        der->taken[slot].store(false, std::memory_order_release);
    } else {
        PKI_FREE(k);
    }
    release(der);
    k = nullptr;
}

DecodeScope::DecodeScope(SharedDer* der) : m_previous(t_current) { t_current = der; }
DecodeScope::~DecodeScope() { t_current = m_previous; }
SharedDer* DecodeScope::current() { return t_current; }

Kept* keepElement(const der::Element& e, uint64_t mark) {
    if (!e.start) return nullptr;
    SharedDer* in = t_current;
    if (in && in->holds(e.start, e.totalSize))
        return newKept(in, static_cast<size_t>(e.start - in->bytes()), e.totalSize, mark);
    SharedDer* own = newSharedDer(e.totalSize);
    if (!own) return nullptr;
    std::memcpy(own->bytes(), e.start, e.totalSize);
    Kept* k = newKept(own, 0, e.totalSize, mark);
    release(own);
    return k;
}

}  // namespace zpki::asn1
