// Helpers of the path tests: certificate lists, anchors, settings kept for
// one test, and openssl verify as the oracle.
#pragma once

#include <string>
#include <vector>

#include "CertTestUtil.h"
#include <zunPKI/x509/certpath.h>

namespace x509test {

using Certs = std::unique_ptr<X509_CERTIFICATES, FreeWith<free_X509_CERTIFICATES>>;
using Anchors = std::unique_ptr<TRUST_ANCHORS, FreeWith<free_TRUST_ANCHORS>>;
using Oids = std::unique_ptr<OBJECT_IDENTIFIERS, FreeWith<free_OBJECT_IDENTIFIERS>>;
using Tree = std::unique_ptr<node_LIST, FreeWith<free_node_LIST>>;

inline Certs certList(std::initializer_list<const X509_CERT*> certs) {
    Certs list(new_X509_CERTIFICATES());
    for (const X509_CERT* c : certs) EXPECT_EQ(add_X509_CERTIFICATES(list.get(), c), 0);
    return list;
}

// An anchor list of the certificates' subjects and keys.
inline Anchors anchorsOf(std::initializer_list<const X509_CERT*> certs) {
    Anchors list(new_TRUST_ANCHORS());
    for (const X509_CERT* c : certs) {
        TRUST_ANCHOR a{get_X509_subject(c), get_X509_SPKI(c)};
        EXPECT_EQ(add_TRUST_ANCHORS(list.get(), &a), 0);
    }
    return list;
}

inline Oids oidList(const std::vector<std::string>& texts) {
    Oids list(new_OBJECT_IDENTIFIERS());
    for (const auto& t : texts) {
        pkitest::String oid(new_OBJECT_IDENTIFIER(t.data(), static_cast<int>(t.size())));
        EXPECT_EQ(add_OBJECT_IDENTIFIERS(list.get(), oid.get()), 0);
    }
    return list;
}

// The path settings for the life of a test, restored after it.
class PathSettings {
public:
    PathSettings(int maxLength, int explicitPolicy, int inhibitAny)
        : m_max(get_max_certificatePath_length()),
          m_explicit(get_initial_explicit_policy()),
          m_inhibit(get_initial_any_policy_inhibit()) {
        set_max_certificatePath_length(maxLength);
        set_initial_explicit_policy(explicitPolicy);
        set_initial_any_policy_inhibit(inhibitAny);
    }
    ~PathSettings() {
        set_max_certificatePath_length(m_max);
        set_initial_explicit_policy(m_explicit);
        set_initial_any_policy_inhibit(m_inhibit);
    }
    PathSettings(const PathSettings&) = delete;
    PathSettings& operator=(const PathSettings&) = delete;

private:
    int m_max, m_explicit, m_inhibit;
};

struct PathResult {
    PKI_ERROR built = -1;
    PKI_ERROR validated = -1;
    int length = 0;
    bool ok() const { return built == 0 && validated == 0; }
};

// build_certPath, then validate_certpath of what it built.
inline PathResult buildAndValidate(const X509_CERTIFICATES* candidates, const TRUST_ANCHORS* anchors,
                                   const X509_CERT* leaf, const OBJECT_IDENTIFIERS* userSet = nullptr) {
    PathResult r;
    STACK* path = nullptr;
    r.built = build_certPath(candidates, anchors, leaf, &path);
    Certs owned(path);
    r.length = path ? get_STACK_count(path) : 0;
    if (r.built == 0) {
        node_LIST* tree = nullptr;
        r.validated = validate_certpath(path, userSet, &tree);
        Tree ownedTree(tree);
        if (r.validated == 0) EXPECT_NE(tree, nullptr);
    }
    return r;
}

// The elements inside one DER element.
inline std::vector<Bytes> childrenOf(const Bytes& der) {
    zpki::der::Cursor c(der.data(), der.size());
    zpki::der::Element whole;
    EXPECT_TRUE(zpki::der::getElement(c, whole));
    zpki::der::Cursor in(whole.contents, whole.contentsSize);
    std::vector<Bytes> out;
    zpki::der::Element e;
    while (!in.empty() && zpki::der::getElement(in, e)) out.emplace_back(e.start, e.start + e.totalSize);
    return out;
}

// openssl verify's verdict: 0 when the leaf verifies (its complaints are
// not shown).
inline int opensslVerify(const std::vector<std::string>& options, const std::string& leafPem) {
    std::vector<std::string> argv{"sh", "-c", "exec openssl verify \"$@\" 2>/dev/null", "verify"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(leafPem);
    return zqtest::run(argv).status;
}

}  // namespace x509test
