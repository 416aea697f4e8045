// The pointer stack. Capacity doubles when full, so n pushes cost O(n).
#include <zunPKI/asn1/stack.h>

#include <cstdlib>
#include <cstring>

#include "asn1/pki_mem.hpp"
#include "asn1/stack_internal.hpp"

namespace {

constexpr int kInitialCapacity = 4;

bool grow(STACK* stack) {
    if (stack->count < stack->capacity) return true;
    if (stack->capacity > (1 << 29)) return false;
    return zpki::reserveStack(stack, stack->capacity < kInitialCapacity ? kInitialCapacity : stack->capacity * 2);
}

// Binary search over the sorted items. Returns the slot that compared equal,
// or the last slot probed when none did (found tells which).
int search(const STACK* stack, const void* item, bool& found) {
    int lo = 0, hi = stack->count, mid = -1;
    found = false;
    while (lo < hi) {
        mid = (lo + hi) / 2;
        const int c = stack->compare(&item, &stack->items[mid]);
        if (c < 0) {
            hi = mid;
        } else if (c > 0) {
            lo = mid + 1;
        } else {
            found = true;
            break;
        }
    }
    return mid;
}

int scan(const STACK* stack, const void* item) {
    for (int i = 0; i < stack->count; ++i)
        if (stack->items[i] == item) return i;
    return -1;
}

}  // namespace

namespace zpki {

STACK* newStack(int capacity, STACK_compare_func compare) {
    if (capacity < kInitialCapacity) capacity = kInitialCapacity;
    if (capacity > (1 << 30)) return nullptr;
    STACK* stack = PKI_NEW(STACK);
    if (!stack) return nullptr;
    stack->items = static_cast<void**>(PKI_CALLOC(static_cast<size_t>(capacity), sizeof(void*)));
    if (!stack->items) {
        PKI_FREE(stack);
        return nullptr;
    }
    stack->capacity = capacity;
    stack->compare = compare;
    return stack;
}

bool reserveStack(STACK* stack, int capacity) {
    if (!stack || capacity <= stack->capacity) return stack != nullptr;
    if (capacity > (1 << 30)) return false;
    auto* items = static_cast<void**>(PKI_REALLOC(stack->items, sizeof(void*) * static_cast<size_t>(capacity)));
    if (!items) return false;
    std::memset(items + stack->capacity, 0, sizeof(void*) * (capacity - stack->capacity));
    stack->items = items;
    stack->capacity = capacity;
    return true;
}

}  // namespace zpki

extern "C" {

ZUNPKI_API STACK* new_STACK(void) { return new_STACK_compare_func(nullptr); }

ZUNPKI_API STACK* new_STACK_compare_func(STACK_compare_func compare) {
    return zpki::newStack(kInitialCapacity, compare);
}

ZUNPKI_API STACK* dup_STACK(const STACK* stack) {
    if (!stack) return nullptr;
    STACK* copy = PKI_NEW(STACK);
    if (!copy) return nullptr;
    const int capacity = stack->capacity > stack->count ? stack->capacity : stack->count;
    copy->items = static_cast<void**>(PKI_CALLOC(capacity > 0 ? capacity : 1, sizeof(void*)));
    if (!copy->items) {
        PKI_FREE(copy);
        return nullptr;
    }
    if (stack->count > 0) std::memcpy(copy->items, stack->items, sizeof(void*) * stack->count);
    copy->count = stack->count;
    copy->capacity = capacity;
    copy->sorted = stack->sorted;
    copy->compare = stack->compare;
    return copy;
}

ZUNPKI_API void free_STACK(STACK* stack) {
    if (!stack) return;
    PKI_FREE(stack->items);
    PKI_FREE(stack);
}

ZUNPKI_API void free_STACK_values(STACK* stack, STACK_free_func free_item) {
    if (!stack) return;
    if (free_item)
        for (int i = 0; i < stack->count; ++i)
            if (stack->items[i]) free_item(stack->items[i]);
    free_STACK(stack);
}

ZUNPKI_API int insert_STACK_value(STACK* stack, void* item, int index) {
    if (!stack || !grow(stack)) return 0;
    if (index < 0 || index >= stack->count) {
        stack->items[stack->count] = item;
    } else {
        std::memmove(stack->items + index + 1, stack->items + index, sizeof(void*) * (stack->count - index));
        stack->items[index] = item;
    }
    stack->sorted = 0;
    return ++stack->count;
}

ZUNPKI_API int push_STACK_value(STACK* stack, void* item) {
    return stack ? insert_STACK_value(stack, item, stack->count) : 0;
}

ZUNPKI_API void* pop_STACK_value(STACK* stack) {
    if (!stack || stack->count <= 0) return nullptr;
    return remove_STACK_value(stack, stack->count - 1);
}

ZUNPKI_API void* remove_STACK_value(STACK* stack, int index) {
    if (!stack || index < 0 || index >= stack->count) return nullptr;
    void* item = stack->items[index];
    std::memmove(stack->items + index, stack->items + index + 1, sizeof(void*) * (stack->count - index - 1));
    stack->items[--stack->count] = nullptr;
    return item;
}

ZUNPKI_API void* set_STACK_value(STACK* stack, void* item, int index) {
    if (!stack || index < 0 || index >= stack->count) return nullptr;
    stack->items[index] = item;
    return item;
}

ZUNPKI_API void* sk_set(STACK* stack, int index, void* item) { return set_STACK_value(stack, item, index); }

ZUNPKI_API int get_STACK_count(const STACK* stack) { return stack ? stack->count : -1; }

ZUNPKI_API void* get_STACK_value(const STACK* stack, int index) {
    if (!stack || index < 0 || index >= stack->count) return nullptr;
    return stack->items[index];
}

ZUNPKI_API void sort_STACK(STACK* stack) {
    if (!stack || stack->sorted || !stack->compare) return;
    if (stack->count > 1) std::qsort(stack->items, stack->count, sizeof(void*), stack->compare);
    stack->sorted = 1;
}

ZUNPKI_API int is_STACK_sorted(const STACK* stack) { return stack ? stack->sorted : 1; }

}  // extern "C"

namespace {

// exact: the first equal slot or -1; otherwise the slot the search stopped at.
int find(STACK* stack, const void* item, bool exact) {
    if (!stack) return -1;
    if (!stack->compare) return scan(stack, item);
    sort_STACK(stack);
    if (!item || stack->count == 0) return -1;
    bool found;
    int slot = search(stack, item, found);
    if (!exact) return slot;
    if (!found) return -1;
    while (slot > 0 && stack->compare(&item, &stack->items[slot - 1]) == 0) --slot;
    return slot;
}

}  // namespace

extern "C" {

ZUNPKI_API int find_STACK_value(STACK* stack, const void* item) { return find(stack, item, true); }

ZUNPKI_API int find_STACK_value_ex(STACK* stack, const void* item) { return find(stack, item, false); }

}  // extern "C"
