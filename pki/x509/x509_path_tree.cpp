// Valid-policy tree records, their print, and the path settings.
#include <atomic>
#include <cstdio>

#include "asn1/pki_mem.hpp"
#include <zunPKI/x509/certpath.h>

namespace {

// The settings. Atomic so that reading them while another thread sets them
// is no data race; each validation reads them once, at its start.
std::atomic<int> g_maxLength{0};  // 0: unset
std::atomic<int> g_explicitPolicy{255};
std::atomic<int> g_anyPolicyInhibit{0};

constexpr int kDefaultMaxLength = 3;

void freeNodes(VALID_POLICY_NODES* nodes) {
    free_STACK_values(nodes, [](void* n) { free_VALID_POLICY_NODE(static_cast<VALID_POLICY_NODE*>(n)); });
}

}  // namespace

extern "C" {

// ---- Settings ---------------------------------------------------------------

ZUNPKI_API int set_max_certificatePath_length(int n) {
    if (n <= 0) return 1;
    g_maxLength = n;
    return 0;
}

ZUNPKI_API int get_max_certificatePath_length(void) {
    const int n = g_maxLength;
    return n > 0 ? n : kDefaultMaxLength;
}

ZUNPKI_API int set_initial_explicit_policy(int v) { return g_explicitPolicy = v; }
ZUNPKI_API int get_initial_explicit_policy(void) { return g_explicitPolicy; }
ZUNPKI_API int set_initial_any_policy_inhibit(int v) { return g_anyPolicyInhibit = v; }
ZUNPKI_API int get_initial_any_policy_inhibit(void) { return g_anyPolicyInhibit; }
ZUNPKI_API int set_initial_policy_mapping_inhibit(int v) { return v; }
ZUNPKI_API int get_initial_policy_mapping_inhibit(void) { return 0; }

// ---- Levels -----------------------------------------------------------------

ZUNPKI_API node_LIST* new_node_LIST(void) {
    node_LIST* level = PKI_NEW(node_LIST);
    if (level) level->depth = -1;
    return level;
}

ZUNPKI_API void free_node_LIST(node_LIST* list) {
    while (list) {
        node_LIST* next = list->next;
        freeNodes(list->nodes);
        PKI_FREE(list);
        list = next;
    }
}

ZUNPKI_API int get_count_from_node_LIST(const node_LIST* list) {
    int n = 0;
    for (; list; list = list->next) ++n;
    return n;
}

ZUNPKI_API node_LIST* reverse_node_LIST(node_LIST* list) {
    const int count = get_count_from_node_LIST(list);
    if (count == 0) return nullptr;
    // Each level keeps its depth: a reversed tree lists its deepest level
    // first, and reversing it again gives the tree back.
    node_LIST* reversed = nullptr;
    while (list) {
        node_LIST* next = list->next;
        list->next = reversed;
        reversed = list;
        list = next;
    }
    return reversed;
}

ZUNPKI_API int remove_node_LIST(node_LIST* list, int n) {
    if (!list) return 0;
    for (int kept = 1; kept < n && list->next; ++kept) list = list->next;
    free_node_LIST(list->next);
    list->next = nullptr;
    return 0;
}

ZUNPKI_API PKI_ERROR add_VALID_POLICY_TREE_LIST(node_LIST* list, const VALID_POLICY_NODES* nodes) {
    if (!list || !nodes) return PKI_ERR(L_CPV, F_ADD_VALID_POLICY_TREE_LIST, ERR_R_NULL_ARGUMENT);
    VALID_POLICY_NODES* copy = dup_STACK(nodes);
    if (!copy) return PKI_ERR(L_CPV, F_ADD_VALID_POLICY_TREE_LIST, ERR_R_ALLOC_3C);
    node_LIST* level = list;
    if (list->depth == -1) {
        freeNodes(list->nodes);
        free_node_LIST(list->next);
        list->depth = 0;
    } else {
        int before = 1;
        while (level->next) {
            level = level->next;
            ++before;
        }
        node_LIST* added = PKI_NEW(node_LIST);
        if (!added) {
            free_STACK(copy);
            return PKI_ERR(L_CPV, F_ADD_VALID_POLICY_TREE_LIST, ERR_R_ALLOC_3C);
        }
        added->depth = before;
        level->next = added;
        level = added;
    }
    level->marker = VALID_POLICY_TREE_MARKER;
    level->nodes = copy;
    level->next = nullptr;
    return 0;
}

// ---- Nodes ------------------------------------------------------------------

ZUNPKI_API VALID_POLICY_DATA* new_VALID_POLICY_DATA(void) {
    VALID_POLICY_DATA* data = PKI_NEW(VALID_POLICY_DATA);
    if (data) data->criticality = -1;
    return data;
}

ZUNPKI_API void free_VALID_POLICY_DATA(VALID_POLICY_DATA* data) {
    if (!data) return;
    free_ASN1_STRING(data->validPolicy);
    free_POLICY_QUALIFIERS(data->qualifiers);
    free_OBJECT_IDENTIFIERS(data->expectedPolicySet);
    PKI_FREE(data);
}

ZUNPKI_API VALID_POLICY_NODE* new_VALID_POLICY_NODE(void) { return PKI_NEW(VALID_POLICY_NODE); }

ZUNPKI_API void free_VALID_POLICY_NODE(VALID_POLICY_NODE* node) {
    if (!node) return;
    free_VALID_POLICY_DATA(node->data);
    PKI_FREE(node);
}

ZUNPKI_API VALID_POLICY_NODES* new_VALID_POLICY_NODES(void) { return new_STACK(); }
ZUNPKI_API void free_VALID_POLICY_NODES(VALID_POLICY_NODES* list) { free_STACK(list); }

ZUNPKI_API int add_VALID_POLICY_NODE(VALID_POLICY_NODES* list, VALID_POLICY_NODE* node) {
    return list && node && push_STACK_value(list, node) != 0 ? 0 : 1;
}

// ---- Print ------------------------------------------------------------------

ZUNPKI_API int print_VALID_POLICY_NODES(const VALID_POLICY_NODES* list) {
    const int count = get_STACK_count(list);
    for (int i = 0; i < count; ++i) {
        const auto* node = static_cast<const VALID_POLICY_NODE*>(get_STACK_value(list, i));
        const OBJECT_IDENTIFIER* policy = node && node->data ? node->data->validPolicy : nullptr;
        std::printf("[%d] Valid Policy : %.*s\n", i, policy && policy->data ? policy->length : 0,
                    policy && policy->data ? reinterpret_cast<const char*>(policy->data) : "");
    }
    return count > 0 ? count : 0;
}

ZUNPKI_API void print_VALID_POLICY_TREE_LIST(const node_LIST* list) {
    if (!list || list->marker != VALID_POLICY_TREE_MARKER) return;
    for (; list; list = list->next) {
        if (!list->nodes) continue;
        std::printf("[depth = %d] -----------------------\n", list->depth);
        print_VALID_POLICY_NODES(list->nodes);
    }
}

}  // extern "C"
