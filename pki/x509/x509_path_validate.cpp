// Path validation in the manner of RFC 5280 6.1, without policy mapping and
// name constraints (paths that carry either are refused).
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "x509/x509_path.hpp"
#include <zunPKI/x509/x509v3.h>
#include <zunPKI/x509/x509v3_constraints.h>
#include <zunPKI/x509/x509v3_policy.h>

namespace path = zpki::x509::path;
using zpki::Owned;
using zpki::x509::CanonText;
using zpki::x509::NameKey;

namespace {

constexpr PKI_ERROR err(unsigned func, unsigned reason) { return PKI_ERR(L_CPV, func, reason); }

template <class T>
using Vec = std::vector<T, zpki::VscAllocator<T>>;
using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;

// keyUsage keyCertSign: bit 5, 0x04 of the first octet.
constexpr uint8_t kKeyCertSign = 0x04;

// Extensions the validation knows; a critical one outside this list refuses
// the certificate. Policy mappings and name constraints are known so that
// they get their own refusal.
constexpr const char* kKnownExtensions[] = {
    path::kKeyUsage,          path::kSubjectAltName, path::kBasicConstraints, path::kCertificatePolicies,
    path::kPolicyConstraints, path::kExtKeyUsage,    path::kInhibitAnyPolicy, path::kNameConstraints,
    path::kPolicyMappings,    path::kSubjectKeyId,   path::kAuthorityKeyId,
};

bool sameText(const CanonText& t, const OBJECT_IDENTIFIER* oid) {
    return oid && oid->data && oid->length >= 0 && t.size() == static_cast<size_t>(oid->length) &&
           std::memcmp(t.data(), oid->data, t.size()) == 0;
}

CanonText textOf(const OBJECT_IDENTIFIER* oid) {
    return oid && oid->data && oid->length > 0
               ? CanonText(reinterpret_cast<const char*>(oid->data), static_cast<size_t>(oid->length))
               : CanonText();
}

// ---- The valid-policy tree while validating ------------------------------------

struct PolicyNode {
    CanonText policy;
    int parent;  // index, -1 for the root
    int depth;
    int children;     // live children
    int criticality;  // as VALID_POLICY_DATA has it
    bool live;
};

class PolicyTree {
public:
    PolicyTree() { m_nodes.push_back({CanonText(path::kAnyPolicy), -1, 0, 0, -1, true}); }

    bool empty() const { return m_live == 0; }
    const Vec<PolicyNode>& nodes() const { return m_nodes; }

    // False when the tree would grow past its cap.
    bool add(const CanonText& policy, int parent, int depth, int criticality) {
        if (m_nodes.size() >= VALID_POLICY_TREE_MAX_NODES) return false;
        m_nodes.push_back({policy, parent, depth, 0, criticality, true});
        ++m_nodes[static_cast<size_t>(parent)].children;
        ++m_live;
        return true;
    }

    // Removes a node with everything below it. Children always come after
    // their parents, so one pass from the node on finds them.
    void removeSubtree(int i) {
        PolicyNode& n = m_nodes[static_cast<size_t>(i)];
        if (!n.live) return;
        n.live = false;
        --m_live;
        if (n.parent >= 0) --m_nodes[static_cast<size_t>(n.parent)].children;
        for (size_t j = static_cast<size_t>(i) + 1; j < m_nodes.size(); ++j) {
            PolicyNode& c = m_nodes[j];
            if (c.live && c.parent >= 0 && !m_nodes[static_cast<size_t>(c.parent)].live) {
                c.live = false;
                --m_live;
            }
        }
    }

    // Removes childless nodes above depth, deepest first.
    void pruneAbove(int depth) {
        for (int d = depth - 1; d >= 0; --d)
            for (size_t j = 0; j < m_nodes.size(); ++j)
                if (m_nodes[j].live && m_nodes[j].depth == d && m_nodes[j].children == 0)
                    removeSubtree(static_cast<int>(j));
    }

    void clear() {
        for (PolicyNode& n : m_nodes) n.live = false;
        m_live = 0;
    }

    Vec<int> liveAt(int depth) const {
        Vec<int> out;
        for (size_t j = 0; j < m_nodes.size(); ++j)
            if (m_nodes[j].live && m_nodes[j].depth == depth) out.push_back(static_cast<int>(j));
        return out;
    }

    bool hasChildWith(int parent, const CanonText& policy) const {
        for (const PolicyNode& c : m_nodes)
            if (c.live && c.parent == parent && c.policy == policy) return true;
        return false;
    }

private:
    Vec<PolicyNode> m_nodes;
    size_t m_live = 1;
};

// ---- Reading extensions ------------------------------------------------------

// The policy identifiers of the certificate, in order, each once; false when
// certificatePolicies does not decode.
bool policiesOf(const X509_EXTENSION* ext, Vec<CanonText>& out) {
    Node node(path::extensionNode(ext));
    CERTIFICATE_POLICIES* list = nullptr;
    if (!node || Seq_to_CERTIFICATE_POLICIES(node.get(), &list) != 0) return false;
    Owned<CERTIFICATE_POLICIES, free_CERTIFICATE_POLICIES> owned(list);
    for (int i = 0; i < get_STACK_count(list); ++i) {
        const auto* pi = static_cast<const POLICY_INFO*>(get_STACK_value(list, i));
        if (!pi || !pi->policyIdentifier) return false;
        CanonText p = textOf(pi->policyIdentifier);
        if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(std::move(p));
    }
    return true;
}

// ---- The validation --------------------------------------------------------------

class Validation {
public:
    Validation(const STACK* chain, const OBJECT_IDENTIFIERS* userSet) : m_chain(chain), m_userSet(userSet) {}

    PKI_ERROR run();
    // The tree as the C records, into *out (made when null).
    PKI_ERROR deliver(node_LIST** out) const;

private:
    const X509_CERT* at(int index) const { return static_cast<const X509_CERT*>(get_STACK_value(m_chain, index)); }
    PKI_ERROR checkExtensions(const X509_CERT* cert) const;
    PKI_ERROR processPolicies(const X509_CERT* cert, int i, bool selfIssued);
    PKI_ERROR prepareForNext(const X509_CERT* cert, bool selfIssued);
    PKI_ERROR wrapUp(const X509_CERT* leaf);
    bool userAccepts(const CanonText& policy) const;
    bool userHasAnyPolicy() const;

    const STACK* m_chain;
    const OBJECT_IDENTIFIERS* m_userSet;
    int m_n = 0;  // certificates below the anchor
    PolicyTree m_tree;
    int m_explicitPolicy = 0;
    int m_inhibitAnyPolicy = 0;
    int m_maxPathLength = 0;
    const X509_PUBKEY* m_workingKey = nullptr;
    NameKey m_workingName;
};

// Every extension at most once; a critical one must be one the validation
// knows.
PKI_ERROR Validation::checkExtensions(const X509_CERT* cert) const {
    const X509_EXTENSIONS* list = cert->tbs->extensions;
    const int count = get_X509_EXTENSION_count(list);
    for (int i = 0; i < count; ++i) {
        const X509_EXTENSION* ext = get_X509_EXTENSION(list, i);
        if (!ext || !ext->extnID) return err(F_VERIFY_CRITICAL_EXTENSIONS, ERR_R_INVALID_ELEMENT);
        for (int j = 0; j < i; ++j) {
            const X509_EXTENSION* other = get_X509_EXTENSION(list, j);
            if (cmp_ASN1_STRING(other->extnID, ext->extnID) == 0)
                return err(F_VERIFY_CRITICAL_EXTENSIONS, ERR_R_INVALID_ELEMENT);
        }
        if (!ext->critical) continue;
        bool known = false;
        for (const char* oid : kKnownExtensions) known = known || path::oidIs(ext->extnID, oid);
        if (!known) return err(F_VERIFY_CRITICAL_EXTENSIONS, ERR_R_UNSUPPORTED);
    }
    return 0;
}

bool Validation::userHasAnyPolicy() const {
    if (get_STACK_count(m_userSet) <= 0) return true;
    for (int i = 0; i < get_STACK_count(m_userSet); ++i)
        if (path::oidIs(static_cast<const OBJECT_IDENTIFIER*>(get_STACK_value(m_userSet, i)), path::kAnyPolicy))
            return true;
    return false;
}

bool Validation::userAccepts(const CanonText& policy) const {
    for (int i = 0; i < get_STACK_count(m_userSet); ++i)
        if (sameText(policy, static_cast<const OBJECT_IDENTIFIER*>(get_STACK_value(m_userSet, i)))) return true;
    return false;
}

// 6.1.3 (d) and (e), no mapping: every expected-policy set is {valid policy}.
PKI_ERROR Validation::processPolicies(const X509_CERT* cert, int i, bool selfIssued) {
    if (m_tree.empty()) return 0;
    const X509_EXTENSION* ext = path::findExtension(cert, path::kCertificatePolicies);
    if (!ext) {
        m_tree.clear();  // (e)
        return 0;
    }
    Vec<CanonText> policies;
    if (!policiesOf(ext, policies)) return err(F_PROCESS_BASIC_CERTIFICATE, ERR_ASN1_DECODING);
    const int criticality = ext->critical ? 255 : 0;
    const CanonText any(path::kAnyPolicy);
    const Vec<int> parents = m_tree.liveAt(i - 1);
    const PKI_ERROR tooBig = err(F_PROCESS_BASIC_CERTIFICATE, ERR_INVALID_VALID_POLICY_TREE);
    bool certHasAny = false;
    for (const CanonText& p : policies) {
        if (p == any) {
            certHasAny = true;
            continue;
        }
        bool matched = false;  // (d)(1)(i)
        for (int parent : parents) {
            if (m_tree.nodes()[static_cast<size_t>(parent)].policy != p) continue;
            if (!m_tree.add(p, parent, i, criticality)) return tooBig;
            matched = true;
        }
        if (matched) continue;
        for (int parent : parents) {  // (d)(1)(ii)
            if (m_tree.nodes()[static_cast<size_t>(parent)].policy != any) continue;
            if (!m_tree.add(p, parent, i, criticality)) return tooBig;
        }
    }
    // (d)(2): anyPolicy in the certificate stands for each expected policy no
    // child has taken yet, unless inhibited.
    if (certHasAny && (m_inhibitAnyPolicy > 0 || (i < m_n && selfIssued))) {
        for (int parent : parents) {
            const CanonText expected = m_tree.nodes()[static_cast<size_t>(parent)].policy;
            if (m_tree.hasChildWith(parent, expected)) continue;
            if (!m_tree.add(expected, parent, i, criticality)) return tooBig;
        }
    }
    m_tree.pruneAbove(i);  // (d)(3)
    return 0;
}

// 6.1.4 for an intermediate certificate.
PKI_ERROR Validation::prepareForNext(const X509_CERT* cert, bool selfIssued) {
    if (path::findExtension(cert, path::kPolicyMappings))
        return err(F_PROCESS_POLICY_MAPPINGS, ERR_INVALID_POLICY_MAPPING);
    if (path::findExtension(cert, path::kNameConstraints)) return err(F_PROCESS_NAME_CONSTRAINTS, ERR_R_UNSUPPORTED);
    m_workingKey = get_X509_SPKI(cert);  // (c)-(f)
    m_workingName = zpki::x509::nameKey(get_X509_subject(cert));

    if (!selfIssued) {  // (h)
        if (m_explicitPolicy > 0) --m_explicitPolicy;
        if (m_inhibitAnyPolicy > 0) --m_inhibitAnyPolicy;
    }
    if (const X509_EXTENSION* ext = path::findExtension(cert, path::kPolicyConstraints)) {  // (i)
        Node node(path::extensionNode(ext));
        POLICY_CONSTRAINTS* pc = nullptr;
        if (!node || Seq_to_POLICY_CONSTRAINTS(node.get(), &pc) != 0)
            return err(F_VERIFY_POLICYCONSTRANITS, ERR_ASN1_DECODING);
        Owned<POLICY_CONSTRAINTS, free_POLICY_CONSTRAINTS> owned(pc);
        int v = 0;
        if (pc->requireExplicitPolicy) {
            if (!path::smallValue(pc->requireExplicitPolicy, v))
                return err(F_VERIFY_POLICYCONSTRANITS, ERR_ASN1_DECODING);
            m_explicitPolicy = std::min(m_explicitPolicy, v);
        }
        if (pc->inhibitPolicyMapping && !path::smallValue(pc->inhibitPolicyMapping, v))
            return err(F_VERIFY_POLICYCONSTRANITS, ERR_ASN1_DECODING);
    }
    if (const X509_EXTENSION* ext = path::findExtension(cert, path::kInhibitAnyPolicy)) {  // (j)
        zpki::der::Element e;
        int v = 0;
        Owned<BIGINT, VSC_Free_BIGINT> skip;
        if (path::extensionBody(ext, e) && e.identifier == 0x02)
            skip.reset(static_cast<BIGINT*>(zpki::ber::decodeElement(e, ASN1_TAG_INTEGER)));
        if (!skip || !path::smallValue(skip.get(), v)) return err(F_VERIFY_INHIBITANYPOLICY, ERR_ASN1_DECODING);
        m_inhibitAnyPolicy = std::min(m_inhibitAnyPolicy, v);
    }

    // (k): a CA certificate is v3 and says so in basicConstraints.
    const X509_EXTENSION* bcExt = path::findExtension(cert, path::kBasicConstraints);
    if (get_X509_version(cert) != 2 || !bcExt) return err(F_VERIFY_BASICCONSTRAINTS, ERR_INVALID_BASIC_CONSTRAINTS);
    Node bcNode(path::extensionNode(bcExt));
    BASIC_CONSTRAINTS* bc = nullptr;
    if (!bcNode || Seq_to_BASIC_CONSTRAINTS(bcNode.get(), &bc) != 0) return err(F_VERIFY_BASICCONSTRAINTS, 0x0e);
    Owned<BASIC_CONSTRAINTS, free_BASIC_CONSTRAINTS> ownedBc(bc);
    if (!bc->cA) return err(F_VERIFY_BASICCONSTRAINTS, ERR_INVALID_BASIC_CONSTRAINTS);

    if (!selfIssued) {  // (l)
        if (m_maxPathLength <= 0) return err(F_PROCESS_PREPARE_FOR_NEXT, ERR_INVALID_MAX_PATH_LENGTH);
        --m_maxPathLength;
    }
    if (bc->pathLenConstraint) {  // (m)
        int v = 0;
        if (!path::smallValue(bc->pathLenConstraint, v))
            return err(F_VERIFY_BASICCONSTRAINTS, ERR_INVALID_BASIC_CONSTRAINTS);
        m_maxPathLength = std::min(m_maxPathLength, v);
    }

    if (const X509_EXTENSION* ext = path::findExtension(cert, path::kKeyUsage)) {  // (n)
        Owned<ASN1_STRING, free_ASN1_STRING> bits;
        zpki::der::Element e;
        if (path::extensionBody(ext, e) && e.identifier == ASN1_TAG_BIT_STRING)
            bits.reset(static_cast<ASN1_STRING*>(zpki::ber::decodeElement(e, ASN1_TAG_BIT_STRING)));
        if (!bits) return err(F_VERIFY_KEYUSAGE, ERR_ASN1_DECODING);
        if (bits->length < 1 || !(bits->data[0] & kKeyCertSign)) return err(F_VERIFY_KEYUSAGE, ERR_INVALID_KEY_USAGE);
    }
    return 0;
}

// 6.1.5 (a), (b) and (g).
PKI_ERROR Validation::wrapUp(const X509_CERT* leaf) {
    if (m_explicitPolicy > 0) --m_explicitPolicy;
    if (const X509_EXTENSION* ext = path::findExtension(leaf, path::kPolicyConstraints)) {
        Node node(path::extensionNode(ext));
        POLICY_CONSTRAINTS* pc = nullptr;
        if (!node || Seq_to_POLICY_CONSTRAINTS(node.get(), &pc) != 0)
            return err(F_VERIFY_POLICYCONSTRANITS, ERR_ASN1_DECODING);
        Owned<POLICY_CONSTRAINTS, free_POLICY_CONSTRAINTS> owned(pc);
        int v = 0;
        if (pc->requireExplicitPolicy) {
            if (!path::smallValue(pc->requireExplicitPolicy, v))
                return err(F_VERIFY_POLICYCONSTRANITS, ERR_ASN1_DECODING);
            if (v == 0) m_explicitPolicy = 0;
        }
    }
    if (!m_tree.empty() && !userHasAnyPolicy()) {
        const CanonText any(path::kAnyPolicy);
        const auto& nodes = m_tree.nodes();
        // (g)(iii)(1): the nodes whose parent is anyPolicy.
        Vec<int> set;
        for (size_t j = 0; j < nodes.size(); ++j)
            if (nodes[j].live && nodes[j].parent >= 0 && nodes[static_cast<size_t>(nodes[j].parent)].policy == any)
                set.push_back(static_cast<int>(j));
        Vec<CanonText> setPolicies;
        for (int j : set) setPolicies.push_back(nodes[static_cast<size_t>(j)].policy);
        // (2): those of a policy the user does not accept go, with what is below them.
        for (int j : set) {
            const CanonText& p = nodes[static_cast<size_t>(j)].policy;
            if (p != any && !userAccepts(p)) m_tree.removeSubtree(j);
        }
        // (3): an anyPolicy leaf stands for each user policy not yet in the set.
        for (int a : m_tree.liveAt(m_n)) {
            const PolicyNode leafAny = nodes[static_cast<size_t>(a)];
            if (leafAny.policy != any) continue;
            for (int k = 0; k < get_STACK_count(m_userSet); ++k) {
                const CanonText p = textOf(static_cast<const OBJECT_IDENTIFIER*>(get_STACK_value(m_userSet, k)));
                if (p.empty() || std::find(setPolicies.begin(), setPolicies.end(), p) != setPolicies.end()) continue;
                if (!m_tree.add(p, leafAny.parent, m_n, leafAny.criticality))
                    return err(F_PROCESS_BASIC_CERTIFICATE, ERR_INVALID_VALID_POLICY_TREE);
                setPolicies.push_back(p);
            }
            m_tree.removeSubtree(a);
        }
        m_tree.pruneAbove(m_n);  // (4)
    }
    return m_explicitPolicy > 0 || !m_tree.empty() ? 0 : err(F_VALIDATE_CERTPATH, ERR_INVALID_VALID_POLICY_TREE);
}

PKI_ERROR Validation::run() {
    const int count = get_STACK_count(m_chain);
    if (count <= 0) return err(F_VALIDATE_CERTPATH, ERR_R_NULL_ARGUMENT);
    for (int k = 0; k < count; ++k)
        if (!at(k) || !at(k)->tbs) return err(F_VALIDATE_CERTPATH, ERR_R_NULL_ARGUMENT);
    m_n = count - 1;

    // The anchor: trusted for its name and key, held to its validity and to
    // a path length it names; constraints we cannot honour refuse the path.
    const X509_CERT* anchor = at(m_n);
    if (PKI_ERROR rc = verify_X509_validity(anchor, nullptr)) return rc;
    if (path::findExtension(anchor, path::kPolicyMappings))
        return err(F_PROCESS_POLICY_MAPPINGS, ERR_INVALID_POLICY_MAPPING);
    if (path::findExtension(anchor, path::kNameConstraints)) return err(F_PROCESS_NAME_CONSTRAINTS, ERR_R_UNSUPPORTED);
    m_workingKey = get_X509_SPKI(anchor);
    m_workingName = zpki::x509::nameKey(get_X509_subject(anchor));
    m_explicitPolicy = get_initial_explicit_policy() ? 0 : m_n + 1;
    m_inhibitAnyPolicy = get_initial_any_policy_inhibit() ? 0 : m_n + 1;
    m_maxPathLength = get_max_certificatePath_length() - 1;
    if (const X509_EXTENSION* ext = path::findExtension(anchor, path::kBasicConstraints)) {
        Node node(path::extensionNode(ext));
        BASIC_CONSTRAINTS* bc = nullptr;
        if (node && Seq_to_BASIC_CONSTRAINTS(node.get(), &bc) == 0) {
            int v = 0;
            if (bc->cA && bc->pathLenConstraint && path::smallValue(bc->pathLenConstraint, v))
                m_maxPathLength = std::min(m_maxPathLength, v);
            free_BASIC_CONSTRAINTS(bc);
        }
    }
    if (m_n == 0) return 0;  // the anchor itself

    for (int index = m_n - 1; index >= 0; --index) {
        const X509_CERT* cert = at(index);
        const int i = m_n - index;  // 1 for the certificate under the anchor
        const bool leaf = index == 0;
        const bool selfIssued = is_selfSigned(cert) == 0;
        if (PKI_ERROR rc = checkExtensions(cert)) return rc;
        // A self-signed certificate inside a path is a root someone put
        // there, not a key rollover: refused whatever signed it.
        if (!leaf && selfIssued && path::signedByOwnKey(cert))
            return err(F_PROCESS_BASIC_CERTIFICATE, ERR_INVALID_TRUST_ANCHOR);
        // 6.1.3 (a)
        if (verify_SIG_X509_CERT(cert, m_workingKey) != 0) return err(F_PROCESS_BASIC_CERTIFICATE, 0x54);
        if (PKI_ERROR rc = verify_X509_validity(cert, nullptr)) return rc;
        if (!zpki::x509::namesMatch(zpki::x509::nameKey(get_X509_issuer(cert)), m_workingName))
            return err(F_PROCESS_BASIC_CERTIFICATE, ERR_TBS_CERT_SUBJECT);
        // (d) to (f)
        if (PKI_ERROR rc = processPolicies(cert, i, selfIssued)) return rc;
        if (m_explicitPolicy <= 0 && m_tree.empty())
            return err(F_PROCESS_BASIC_CERTIFICATE, ERR_INVALID_CERTIFICATE_POLICIES);
        if (!leaf) {
            if (PKI_ERROR rc = prepareForNext(cert, selfIssued)) return rc;
        }
    }
    return wrapUp(at(0));
}

// One VALID_POLICY_NODE for a tree node.
VALID_POLICY_NODE* makeNode(const PolicyNode& n, VALID_POLICY_NODE* parent) {
    Owned<VALID_POLICY_NODE, free_VALID_POLICY_NODE> node(new_VALID_POLICY_NODE());
    if (!node || !(node->data = new_VALID_POLICY_DATA())) return nullptr;
    node->childCount = n.children;
    node->parent = parent;
    node->data->criticality = n.criticality;
    const int len = static_cast<int>(n.policy.size());
    node->data->validPolicy = new_OBJECT_IDENTIFIER(n.policy.data(), len);
    node->data->expectedPolicySet = new_OBJECT_IDENTIFIERS();
    if (!node->data->validPolicy || !node->data->expectedPolicySet ||
        add_OBJECT_IDENTIFIERS(node->data->expectedPolicySet, node->data->validPolicy) != 0)
        return nullptr;
    return node.release();
}

PKI_ERROR Validation::deliver(node_LIST** out) const {
    const PKI_ERROR noMemory = err(F_VALIDATE_CERTPATH, ERR_R_ALLOC_3C);
    Owned<node_LIST, free_node_LIST> head(new_node_LIST());
    if (!head) return noMemory;
    head->depth = 0;
    head->marker = VALID_POLICY_TREE_MARKER;
    const auto& nodes = m_tree.nodes();
    Vec<VALID_POLICY_NODE*> made(nodes.size(), nullptr);
    node_LIST* level = head.get();
    for (int depth = 0; depth <= m_n; ++depth) {
        const Vec<int> live = m_tree.liveAt(depth);
        if (live.empty()) break;
        if (depth > 0) {
            node_LIST* next = new_node_LIST();
            if (!next) return noMemory;
            next->depth = depth;
            next->marker = VALID_POLICY_TREE_MARKER;
            level->next = next;
            level = next;
        }
        if (!(level->nodes = new_VALID_POLICY_NODES())) return noMemory;
        for (int j : live) {
            const PolicyNode& n = nodes[static_cast<size_t>(j)];
            VALID_POLICY_NODE* node = makeNode(n, n.parent >= 0 ? made[static_cast<size_t>(n.parent)] : nullptr);
            if (!node) return noMemory;
            if (push_STACK_value(level->nodes, node) == 0) {
                free_VALID_POLICY_NODE(node);
                return noMemory;
            }
            made[static_cast<size_t>(j)] = node;
        }
    }
    if (*out) {
        // The caller's head keeps its address and takes the new contents.
        node_LIST* mine = *out;
        free_node_LIST(mine->next);
        free_STACK_values(mine->nodes, [](void* n) { free_VALID_POLICY_NODE(static_cast<VALID_POLICY_NODE*>(n)); });
        *mine = *head;
        head->nodes = nullptr;
        head->next = nullptr;
    } else {
        *out = head.release();
    }
    return 0;
}

}  // namespace

extern "C" ZUNPKI_API PKI_ERROR validate_certpath(const STACK* chain, const OBJECT_IDENTIFIERS* user_initial_policy_set,
                                                  node_LIST** tree) {
    if (!chain) return err(F_VALIDATE_CERTPATH, ERR_R_NULL_ARGUMENT);
    try {
        Validation v(chain, user_initial_policy_set);
        if (PKI_ERROR rc = v.run()) return rc;
        return tree ? v.deliver(tree) : 0;
    } catch (const std::bad_alloc&) {
        return err(F_VALIDATE_CERTPATH, ERR_R_ALLOC_3C);
    }
}
