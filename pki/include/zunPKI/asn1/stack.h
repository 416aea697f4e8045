/*
 * STACK: the library's one container, an ordered growable array of untyped
 * pointers with an optional compare function. Every SEQUENCE OF and SET OF of
 * the structures is a STACK. The stack never owns its items: free_STACK frees
 * the array only, free_STACK_values frees the items with it.
 */
#ifndef ZUNPKI_STACK_H
#define ZUNPKI_STACK_H

#include <zunPKI/asn1/pki_export.h>

/* Receives two pointers to item slots (pointers to the item pointers) and
 * answers like qsort's compare. */
typedef int (*STACK_compare_func)(const void* a, const void* b);

typedef struct stack_st {
    int count;    /* number of items */
    void** items; /* capacity slots */
    int sorted;   /* 1 when the items are known to be in compare order */
    int capacity; /* slots allocated; at least 4, grows geometrically */
    STACK_compare_func compare;
} STACK;

typedef void (*STACK_free_func)(void* item);

ZUNPKI_BEGIN_DECLS

ZUNPKI_API STACK* new_STACK(void);
ZUNPKI_API STACK* new_STACK_compare_func(STACK_compare_func compare);
/* Shallow copy: same compare function, sorted flag and item pointers. */
ZUNPKI_API STACK* dup_STACK(const STACK* stack);
ZUNPKI_API void free_STACK(STACK* stack);
ZUNPKI_API void free_STACK_values(STACK* stack, STACK_free_func free_item);

/* Returns the new count, 0 for a null stack or when growing fails. A negative
 * index or one not below count appends. */
ZUNPKI_API int insert_STACK_value(STACK* stack, void* item, int index);
ZUNPKI_API int push_STACK_value(STACK* stack, void* item);
ZUNPKI_API void* pop_STACK_value(STACK* stack);
ZUNPKI_API void* remove_STACK_value(STACK* stack, int index);
/* Replace the item at index and return the new one; null outside 0..count-1. */
ZUNPKI_API void* set_STACK_value(STACK* stack, void* item, int index);
ZUNPKI_API void* sk_set(STACK* stack, int index, void* item);
ZUNPKI_API int get_STACK_count(const STACK* stack);
ZUNPKI_API void* get_STACK_value(const STACK* stack, int index);

ZUNPKI_API void sort_STACK(STACK* stack);
ZUNPKI_API int is_STACK_sorted(const STACK* stack);
/* With a compare function both sort the stack first, then search it:
 * find_STACK_value gives the first equal slot, find_STACK_value_ex the slot
 * the binary search stopped at (the last probed when nothing is equal).
 * Without one both compare pointers from slot 0. -1 when nothing is found. */
ZUNPKI_API int find_STACK_value(STACK* stack, const void* item);
ZUNPKI_API int find_STACK_value_ex(STACK* stack, const void* item);

ZUNPKI_END_DECLS

#endif
