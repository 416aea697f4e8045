// Stacks inside the library.
#pragma once

#include <zunPKI/asn1/stack.h>

namespace zpki {

// A new stack with room for capacity items (at least 4).
STACK* newStack(int capacity, STACK_compare_func compare = nullptr);

// Room for capacity items in one step (a decoder that counted its items
// first: no regrowth, no spare half at the peak). False when it cannot grow.
bool reserveStack(STACK* stack, int capacity);

}  // namespace zpki
