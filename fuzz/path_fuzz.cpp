// Path building and validation on mutated chains. The bytes are a SEQUENCE
// OF Certificate, leaf first, anchor last; the first byte also picks the
// settings. The chain is built and validated as it comes, and then once
// more with every certificate given one fixed key and signed again with it,
// so that mutations of names, extensions and policies get past the
// signatures and reach the checks after them. What validation accepts is
// checked again here: signatures and names chain, issuers are CAs, nothing
// refused is carried, and the policy tree holds together.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/x509.h>

namespace {

constexpr int kMaxCertificates = 8;

const X509_CERT* at(const STACK* list, int i) { return static_cast<const X509_CERT*>(get_STACK_value(list, i)); }

bool oidIs(const OBJECT_IDENTIFIER* oid, const char* text) {
    const size_t n = std::strlen(text);
    return oid && oid->data && static_cast<size_t>(oid->length) == n && std::memcmp(oid->data, text, n) == 0;
}

const X509_EXTENSION* extension(const X509_CERT* c, const char* oid) {
    const X509_EXTENSIONS* list = c->tbs->extensions;
    for (int i = 0; i < get_X509_EXTENSION_count(list); ++i)
        if (oidIs(get_X509_EXTENSION(list, i)->extnID, oid)) return get_X509_EXTENSION(list, i);
    return nullptr;
}

bool isCa(const X509_CERT* c) {
    const X509_EXTENSION* ext = extension(c, "2.5.29.19");
    if (get_X509_version(c) != 2 || !ext) return false;
    ASN1_UNIT* node = decodeToDERSequence(ext->extnValue->data, ext->extnValue->length);
    BASIC_CONSTRAINTS* bc = nullptr;
    const bool ca = node && Seq_to_BASIC_CONSTRAINTS(node, &bc) == 0 && bc->cA;
    free_BASIC_CONSTRAINTS(bc);
    free_ASN1_UNIT(node);
    return ca;
}

bool signsCertificates(const X509_CERT* c) {
    const X509_EXTENSION* ext = extension(c, "2.5.29.15");
    if (!ext) return true;
    BIT_STRING* bits = decodeToDERBitString(ext->extnValue->data, ext->extnValue->length);
    const bool ok = bits && bits->length > 0 && (bits->data[0] & 0x04);
    free_ASN1_STRING(bits);
    return ok;
}

// What an accepted path must be, checked without the validation's code.
void checkAccepted(const STACK* path, const node_LIST* tree) {
    const int n = get_STACK_count(path);
    for (int i = 0; i + 1 < n; ++i) {
        const X509_CERT* cert = at(path, i);
        const X509_CERT* issuer = at(path, i + 1);
        if (verify_SIG_X509_CERT(cert, get_X509_SPKI(issuer)) != 0) abort();
        if (cmp_X509_NAME_canonical(get_X509_issuer(cert), get_X509_subject(issuer)) != 0) abort();
        if (i + 1 < n - 1 && (!isCa(issuer) || !signsCertificates(issuer))) abort();
        if (i > 0 && (extension(cert, "2.5.29.33") || extension(cert, "2.5.29.30"))) abort();
    }
    if (!tree || tree->depth != 0 || tree->marker != VALID_POLICY_TREE_MARKER) abort();
    // Every node's parent sits in the level above, and the child counts add up.
    for (const node_LIST* level = tree; level; level = level->next) {
        for (int k = 0; k < get_STACK_count(level->nodes); ++k) {
            const auto* node = static_cast<const VALID_POLICY_NODE*>(get_STACK_value(level->nodes, k));
            int children = 0;
            if (level->next)
                for (int j = 0; j < get_STACK_count(level->next->nodes); ++j)
                    children +=
                        static_cast<const VALID_POLICY_NODE*>(get_STACK_value(level->next->nodes, j))->parent == node;
            if (children != node->childCount || !node->data || !node->data->validPolicy) abort();
        }
        if (level->next && level->next->depth != level->depth + 1) abort();
    }
}

void validate(const STACK* path) {
    node_LIST* tree = nullptr;
    if (validate_certpath(path, nullptr, &tree) == 0) checkAccepted(path, tree);
    free_node_LIST(tree);
}

// Each certificate given key's public half and signed with it.
bool resign(STACK* certs, const ASYMMETRIC_KEY* key, const X509_PUBKEY* pub) {
    for (int i = 0; i < get_STACK_count(certs); ++i) {
        auto* c = static_cast<X509_CERT*>(get_STACK_value(certs, i));
        if (set_X509_pub_key(c, pub) != 0 || gen_SIG_X509_Cert(c, key) != 0) return false;
    }
    return true;
}

struct FixedKey {
    ASYMMETRIC_KEY* key = new_ASYMMETRIC_KEY();
    X509_PUBKEY* pub = new_X509_PUBKEY();
    FixedKey() {
        RSA_UNIT* rsa = VSC_New_RSA();
        if (!rsa || VSC_Generate_RSA_Params_Ex(rsa, 65537, 1024, 0) != 0 || RSA_UNIT_to_ASYMMETRIC_KEY(rsa, key) != 0 ||
            set_X509_PUBKEY_rsa(pub, rsa) != 0)
            abort();
        VSC_Free_RSA(rsa);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FixedKey fixed;
    if (size < 2) return 0;
    set_max_certificatePath_length(kMaxCertificates);
    set_initial_explicit_policy(data[0] & 1);
    set_initial_any_policy_inhibit(data[0] & 2);
    ASN1_UNIT* node = decodeToBERSequence(data + 1, static_cast<int>(size - 1));
    if (!node) return 0;
    STACK* certs = nullptr;
    if (Seq_to_X509_CERTIFICATES(node, &certs) == 0 && get_STACK_count(certs) > 0 &&
        get_STACK_count(certs) <= kMaxCertificates) {
        const int n = get_STACK_count(certs);
        TRUST_ANCHORS* anchors = new_TRUST_ANCHORS();
        TRUST_ANCHOR a{get_X509_subject(at(certs, n - 1)), get_X509_SPKI(at(certs, n - 1))};
        add_TRUST_ANCHORS(anchors, &a);
        STACK* path = nullptr;
        if (build_certPath(certs, anchors, at(certs, 0), &path) == 0) validate(path);
        free_X509_CERTIFICATES(path);
        validate(certs);
        if (resign(certs, fixed.key, fixed.pub)) validate(certs);
        free_TRUST_ANCHORS(anchors);
    }
    free_X509_CERTIFICATES(certs);
    free_ASN1_UNIT(node);
    return 0;
}
