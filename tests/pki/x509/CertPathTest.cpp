// Path building and validation on the chains of make_path_fixtures.py, with
// openssl verify as the oracle where it judges the same question; the
// valid-policy tree records, the settings, and names compared as RFC 5280
// 7.1 does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "PathTestUtil.h"

using namespace x509test;

namespace {

const std::string& pathFixtures() {
    static zqtest::TempDir dir("pathfix");
    static const std::string path = [] {
        const auto r =
            zqtest::run({"env", "PYTHONDONTWRITEBYTECODE=1", "PYTHONPATH=" + zqtest::sourceDir() + "/tests/pki/x509",
                         zqtest::kPython, zqtest::sourceDir() + "/tests/pki/x509/make_path_fixtures.py", dir.path()});
        return r.status == 0 ? dir.path() : std::string();
    }();
    return path;
}

Cert fixture(const std::string& name) {
    EXPECT_FALSE(pathFixtures().empty()) << "fixture script failed";
    return decodeCert(pkitest::readBytes(pathFixtures() + "/" + name + ".der"));
}

std::string pem(const std::string& name) { return pathFixtures() + "/" + name + ".pem"; }

// openssl verify of leaf against root with the candidates as untrusted
// certificates; its exit status and what it says.
zqtest::RunResult opensslOn(const std::string& leaf, const std::vector<std::string>& candidates) {
    static zqtest::TempDir dir("pathoracle");
    std::string untrusted;
    for (const auto& c : candidates) untrusted += zqtest::readFile(pem(c));
    const std::string file = dir / "untrusted.pem";
    zqtest::writeFile(file, untrusted);
    std::vector<std::string> argv{"sh", "-c", "exec openssl verify \"$@\" 2>&1", "verify", "-CAfile", pem("root")};
    if (!candidates.empty()) argv.insert(argv.end(), {"-untrusted", file});
    argv.push_back(pathFixtures() + "/" + leaf + ".der");
    return zqtest::run(argv);
}

struct Loaded {
    std::vector<Cert> owned;
    Certs list;
};

Loaded load(const std::vector<std::string>& names) {
    Loaded l;
    l.list.reset(new_X509_CERTIFICATES());
    for (const auto& n : names) {
        l.owned.push_back(fixture(n));
        EXPECT_EQ(add_X509_CERTIFICATES(l.list.get(), l.owned.back().get()), 0) << n;
    }
    return l;
}

// ---- Issuers ----------------------------------------------------------------

TEST(CertPath, IssuersThatAreNoCAsAreRefused) {
    PathSettings keep(3, 0, 0);  // ca-noext and ca-v1 carry no policy
    Cert root = fixture("root"), leaf = fixture("leaf");
    Anchors anchors = anchorsOf({root.get()});
    for (const char* ca : {"ca-cafalse", "ca-noext", "ca-v1"}) {
        Loaded candidates = load({ca});
        const PathResult r = buildAndValidate(candidates.list.get(), anchors.get(), leaf.get());
        EXPECT_EQ(r.built, 0) << ca;
        EXPECT_EQ(r.validated, 0x5309011b) << ca;
        const auto oracle = opensslOn("leaf", {ca});
        EXPECT_NE(oracle.status, 0) << ca;
        EXPECT_NE(oracle.output.find("invalid CA certificate"), std::string::npos) << ca << oracle.output;
    }
}

TEST(CertPath, IssuerSearch) {
    Cert root = fixture("root");
    Anchors anchors = anchorsOf({root.get()});
    struct Case {
        const char* what;
        const char* leaf;
        std::vector<std::string> candidates;
        PKI_ERROR built;
        PKI_ERROR validated;  // -1: not validated
        int length;
        bool oracle;  // openssl verify judges the same
    } cases[] = {
        {"chain to the anchor's certificate", "leaf", {"ca", "root"}, 0, 0, 3, true},
        {"anchor without a certificate", "leaf", {"ca"}, 0, 0, 3, true},
        {"the leaf is the anchor", "root", {}, 0, 0, 1, true},
        {"key identifier only a prefix", "leaf", {"ca-skiprefix", "root"}, 0x5305012f, -1, 0, true},
        {"issuer name and serial", "leaf-akid", {"ca"}, 0, 0, 3, true},
        {"another serial, another name", "leaf-akid", {"ca-otherserial", "decoy"}, 0x5305012f, -1, 0, true},
        {"self-signed issuer", "leaf", {"ca-selfsigned"}, 0x53050116, -1, 0, true},
        // Our anchor's name, another key: handed to validation to say so.
        {"only a root that is not ours", "leaf", {"ca-cross", "other-root"}, 0, 0x53100054, 3, true},
        // openssl stops at the first issuer; we go past it.
        {"past a dead end", "leaf", {"ca-cross", "other-root", "ca"}, 0, 0, 3, false},
        {"extension twice", "leaf-dupext", {"ca"}, 0, 0x5314002b, 3, true},
        {"policy tree past its cap", "leaf", {"ca-policies"}, 0, 0x53100119, 3, false},
    };
    for (const auto& c : cases) {
        Loaded candidates = load(c.candidates);
        Cert leaf = fixture(c.leaf);
        const PathResult r = buildAndValidate(candidates.list.get(), anchors.get(), leaf.get());
        EXPECT_EQ(r.built, c.built) << c.what;
        if (c.built == 0) EXPECT_EQ(r.validated, c.validated) << c.what;
        EXPECT_EQ(r.length, c.length) << c.what;
        if (c.oracle) EXPECT_EQ(opensslOn(c.leaf, c.candidates).status == 0, r.ok()) << c.what;
    }
}

TEST(CertPath, MaximumLengthBoundsTheSearch) {
    Cert root = fixture("root"), leaf = fixture("leaf");
    Anchors anchors = anchorsOf({root.get()});
    Loaded candidates = load({"ca", "root"});
    {
        PathSettings keep(2, 255, 0);  // leaf, ca and the anchor
        EXPECT_TRUE(buildAndValidate(candidates.list.get(), anchors.get(), leaf.get()).ok());
    }
    {
        PathSettings keep(1, 255, 0);
        EXPECT_EQ(buildAndValidate(candidates.list.get(), anchors.get(), leaf.get()).built, 0x5305012f);
    }
    EXPECT_EQ(set_max_certificatePath_length(0), 1);
    EXPECT_EQ(get_max_certificatePath_length(), 3);
    EXPECT_EQ(set_initial_policy_mapping_inhibit(255), 255);
    EXPECT_EQ(get_initial_policy_mapping_inhibit(), 0);
    STACK* path = nullptr;
    EXPECT_EQ(build_certPath(nullptr, anchors.get(), leaf.get(), &path), 0x53050049);
    EXPECT_EQ(path, nullptr);
}

// Every certificate below the anchor is checked under the one above it,
// self-issued ones included; the last element is trusted as it is.
TEST(CertPath, HandMadePaths) {
    Cert root = fixture("root"), ca = fixture("ca"), leaf = fixture("leaf"), selfSigned = fixture("ca-selfsigned"),
         otherRoot = fixture("other-root"), cross = fixture("ca-cross"), decoy = fixture("decoy");
    struct Case {
        const char* what;
        std::vector<const X509_CERT*> path;
        PKI_ERROR code;
    } cases[] = {
        {"whole chain", {leaf.get(), ca.get(), root.get()}, 0},
        {"an intermediate as the anchor", {leaf.get(), ca.get()}, 0},
        {"a CA left out", {leaf.get(), root.get()}, 0x53100054},
        {"an issuer of another key", {leaf.get(), ca.get(), otherRoot.get()}, 0x53100054},
        {"issuer name does not chain", {cross.get(), decoy.get()}, 0x53100106},
        {"self-signed inside", {leaf.get(), selfSigned.get(), root.get()}, 0x53100116},
        {"empty", {}, 0x53070049},
    };
    for (const auto& c : cases) {
        Certs path(new_X509_CERTIFICATES());
        for (const X509_CERT* cert : c.path) add_X509_CERTIFICATES(path.get(), cert);
        EXPECT_EQ(validate_certpath(path.get(), nullptr, nullptr), c.code) << c.what;
    }
    EXPECT_EQ(validate_certpath(nullptr, nullptr, nullptr), 0x53070049);
}

// ---- The valid-policy tree ----------------------------------------------------

std::string policyOf(const VALID_POLICY_NODE* n) { return oidText(n->data->validPolicy); }

TEST(CertPath, PolicyTreeAndUserSet) {
    Cert root = fixture("root"), ca = fixture("ca"), leaf = fixture("leaf"), policyLeaf = fixture("leaf-policy");
    Certs path = certList({leaf.get(), ca.get(), root.get()});

    // Every certificate asserts anyPolicy: one node per level, each the
    // child of the one above.
    node_LIST* made = nullptr;
    ASSERT_EQ(validate_certpath(path.get(), nullptr, &made), 0);
    Tree tree(made);
    ASSERT_EQ(get_count_from_node_LIST(tree.get()), 3);
    const VALID_POLICY_NODE* parent = nullptr;
    int depth = 0;
    for (const node_LIST* level = tree.get(); level; level = level->next, ++depth) {
        EXPECT_EQ(level->depth, depth);
        EXPECT_EQ(level->marker, VALID_POLICY_TREE_MARKER);
        ASSERT_EQ(get_STACK_count(level->nodes), 1);
        const auto* node = static_cast<const VALID_POLICY_NODE*>(get_STACK_value(level->nodes, 0));
        EXPECT_EQ(policyOf(node), "2.5.29.32.0");
        EXPECT_EQ(node->parent, parent);
        EXPECT_EQ(node->childCount, depth < 2 ? 1 : 0);
        EXPECT_EQ(node->data->criticality, depth == 0 ? -1 : 0);
        parent = node;
    }

    // A user policy under anyPolicy replaces the anyPolicy leaf; the tree
    // given in is refilled where it stands.
    Oids wanted = oidList({"1.2.3.4"});
    node_LIST* head = tree.get();
    ASSERT_EQ(validate_certpath(path.get(), wanted.get(), &head), 0);
    EXPECT_EQ(head, tree.get());
    const node_LIST* deepest = tree.get();
    while (deepest->next) deepest = deepest->next;
    ASSERT_EQ(get_STACK_count(deepest->nodes), 1);
    EXPECT_EQ(policyOf(static_cast<const VALID_POLICY_NODE*>(get_STACK_value(deepest->nodes, 0))), "1.2.3.4");

    // A leaf of policy 1.2.3.4 only: acceptable for {1.2.3.4}, not for
    // {1.2.3.5} while explicit policy is required.
    Certs policyPath = certList({policyLeaf.get(), ca.get(), root.get()});
    EXPECT_EQ(validate_certpath(policyPath.get(), wanted.get(), nullptr), 0);
    Oids other = oidList({"1.2.3.5"});
    EXPECT_EQ(validate_certpath(policyPath.get(), other.get(), nullptr), 0x53070119);
    PathSettings keep(3, 0, 0);
    EXPECT_EQ(validate_certpath(policyPath.get(), other.get(), nullptr), 0);
    // anyPolicy inhibited from the start: only the leaf's own policy counts.
    {
        PathSettings inhibit(3, 255, 255);
        EXPECT_EQ(validate_certpath(path.get(), nullptr, nullptr), 0x5310011c);
        EXPECT_EQ(validate_certpath(policyPath.get(), nullptr, nullptr), 0x5310011c);
    }
}

// The counters live in each call: validations on several threads at once
// keep their own verdicts.
TEST(CertPath, ConcurrentValidationsKeepTheirOwnVerdicts) {
    Cert root = fixture("root"), ca = fixture("ca"), leaf = fixture("leaf"), policyLeaf = fixture("leaf-policy");
    Certs good = certList({leaf.get(), ca.get(), root.get()});
    Certs refused = certList({policyLeaf.get(), ca.get(), root.get()});
    Oids other = oidList({"1.2.3.5"});
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                const bool even = (t + i) % 2 == 0;
                const PKI_ERROR rc = validate_certpath(even ? good.get() : refused.get(), other.get(), nullptr);
                wrong += rc != (even ? 0 : 0x53070119);
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong, 0);
}

TEST(PolicyTreeRecords, LevelsAddReverseRemove) {
    Tree tree(new_node_LIST());
    EXPECT_EQ(tree->depth, -1);
    EXPECT_EQ(add_VALID_POLICY_TREE_LIST(nullptr, nullptr), 0x530b0049);
    VALID_POLICY_NODE* parent = nullptr;
    for (int level = 0; level < 3; ++level) {
        VALID_POLICY_NODE* node = new_VALID_POLICY_NODE();
        node->data = new_VALID_POLICY_DATA();
        const std::string text = "1.2." + std::to_string(level);
        node->data->validPolicy = new_OBJECT_IDENTIFIER(text.data(), static_cast<int>(text.size()));
        node->parent = parent;
        VALID_POLICY_NODES* nodes = new_VALID_POLICY_NODES();
        ASSERT_EQ(add_VALID_POLICY_NODE(nodes, node), 0);
        ASSERT_EQ(add_VALID_POLICY_TREE_LIST(tree.get(), nodes), 0);
        free_VALID_POLICY_NODES(nodes);  // the tree has the node
        parent = node;
    }
    ASSERT_EQ(get_count_from_node_LIST(tree.get()), 3);
    EXPECT_EQ(tree->next->next->depth, 2);
    EXPECT_EQ(tree->next->next->marker, VALID_POLICY_TREE_MARKER);

    node_LIST* reversed = reverse_node_LIST(tree.release());
    EXPECT_EQ(reversed->depth, 2);
    EXPECT_EQ(policyOf(static_cast<VALID_POLICY_NODE*>(get_STACK_value(reversed->nodes, 0))), "1.2.2");
    tree.reset(reverse_node_LIST(reversed));
    EXPECT_EQ(tree->depth, 0);
    EXPECT_EQ(policyOf(static_cast<VALID_POLICY_NODE*>(get_STACK_value(tree->nodes, 0))), "1.2.0");

    EXPECT_EQ(remove_node_LIST(tree.get(), 1), 0);
    EXPECT_EQ(get_count_from_node_LIST(tree.get()), 1);
    EXPECT_EQ(reverse_node_LIST(nullptr), nullptr);
    EXPECT_EQ(get_count_from_node_LIST(nullptr), 0);
}

// ---- Names ----------------------------------------------------------------

using NameEntries = std::vector<std::tuple<const char*, int, std::string, bool>>;  // oid, type, value, same RDN

Name nameOf(const NameEntries& entries) {
    Name name(new_X509_NAME());
    for (const auto& [oid, type, value, sameRdn] : entries) {
        pkitest::String o(new_OBJECT_IDENTIFIER(oid, static_cast<int>(std::strlen(oid))));
        EXPECT_EQ(
            add_X509_NAME_child_OID(name.get(), o.get(), type, reinterpret_cast<const unsigned char*>(value.data()),
                                    static_cast<int>(value.size()), -1),
            0);
        if (sameRdn) get_X509_NAME_CHILD(name.get(), get_X509_NAME_count(name.get()) - 1)->sameRdn = 1;
    }
    return name;
}

TEST(NameCompare, Rfc5280Rules) {
    const char* cn = "2.5.4.3";
    const char* o = "2.5.4.10";
    const NameEntries base{{o, 19, "Test Certificates", false}, {cn, 12, "Good CA", false}};
    const std::string bmpGoodCa("\0G\0o\0o\0d\0 \0C\0A", 14);
    struct Case {
        const char* what;
        NameEntries other;
        bool equal;
    } cases[] = {
        {"the same", base, true},
        {"ASCII case", {{o, 19, "TEST certificates", false}, {cn, 12, "good ca", false}}, true},
        {"whitespace", {{o, 19, "  Test   Certificates ", false}, {cn, 12, "Good\tCA", false}}, true},
        {"PrintableString as UTF8String", {{o, 12, "Test Certificates", false}, {cn, 19, "Good CA", false}}, true},
        {"BMPString", {{o, 19, "Test Certificates", false}, {cn, 30, bmpGoodCa, false}}, true},
        {"another value", {{o, 19, "Test Certificates", false}, {cn, 12, "Good CB", false}}, false},
        {"RDNs in another order", {{cn, 12, "Good CA", false}, {o, 19, "Test Certificates", false}}, false},
        {"one RDN of two values", {{o, 19, "Test Certificates", false}, {cn, 12, "Good CA", true}}, false},
        {"an RDN more", {{o, 19, "Test Certificates", false}, {cn, 12, "Good CA", false}, {cn, 12, "x", false}}, false},
        {"another attribute", {{o, 19, "Test Certificates", false}, {"2.5.4.11", 12, "Good CA", false}}, false},
    };
    Name a = nameOf(base);
    for (const auto& c : cases) {
        Name b = nameOf(c.other);
        EXPECT_EQ(cmp_X509_NAME_canonical(a.get(), b.get()), c.equal ? 0 : -1) << c.what;
        EXPECT_EQ(cmp_X509_NAME_canonical(b.get(), a.get()), c.equal ? 0 : -1) << c.what;
    }
    // Multi-valued RDNs match whatever the order of their attributes.
    Name ab = nameOf({{o, 19, "X", false}, {cn, 12, "Y", true}});
    Name ba = nameOf({{cn, 12, "y", false}, {o, 19, "x", true}});
    EXPECT_EQ(cmp_X509_NAME_canonical(ab.get(), ba.get()), 0);
    // Only ASCII case is folded; a UTF8String that does not read compares
    // byte for byte.
    Name upper = nameOf({{cn, 12, "\xc3\x89", false}});
    Name lower = nameOf({{cn, 12, "\xc3\xa9", false}});
    EXPECT_EQ(cmp_X509_NAME_canonical(upper.get(), lower.get()), -1);
    Name bad = nameOf({{cn, 12, "\xc3", false}});
    Name badCopy = nameOf({{cn, 12, "\xc3", false}});
    EXPECT_EQ(cmp_X509_NAME_canonical(bad.get(), badCopy.get()), 0);
    EXPECT_EQ(cmp_X509_NAME_canonical(bad.get(), nullptr), 1);
    // cmp_X509_NAME stays byte for byte.
    Name folded = nameOf({{o, 19, "TEST certificates", false}, {cn, 12, "good ca", false}});
    EXPECT_EQ(cmp_X509_NAME(a.get(), folded.get()), -1);
}

// ---- Trust anchors ----------------------------------------------------------

using Anchor = std::unique_ptr<TRUST_ANCHOR, FreeWith<free_TRUST_ANCHOR>>;

TEST(TrustAnchor, CodecListAndLookup) {
    Cert root = fixture("root"), other = fixture("other-root");
    TRUST_ANCHOR view{get_X509_subject(root.get()), get_X509_SPKI(root.get())};
    const Bytes python = pkitest::readBytes(pathFixtures() + "/anchor.der");
    EXPECT_EQ(encode(TRUST_ANCHOR_to_Seq, static_cast<const TRUST_ANCHOR*>(&view)), python);
    PKI_ERROR rc;
    Anchor decoded = decodeWith<Anchor>(Seq_to_TRUST_ANCHOR, python, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(cmp_X509_NAME(decoded->name, view.name), 0);
    Anchor copy(dup_TRUST_ANCHOR(decoded.get()));
    EXPECT_EQ(cmp_TRUST_ANCHOR(copy.get(), decoded.get()), 0);

    const Bytes name = childrenOf(python)[0], key = childrenOf(python)[1];
    struct Case {
        const char* what;
        Bytes der;
        PKI_ERROR code;
    } cases[] = {
        {"name only", seq({name}), 0x5304002b},
        {"three elements", seq({name, key, key}), 0x5304002b},
        {"key first", seq({key, name}), 0x53040104},
        {"name not a SEQUENCE", seq({tlv(0x31, {}), key}), 0x53040104},
    };
    for (const auto& c : cases) {
        Anchor r = decodeWith<Anchor>(Seq_to_TRUST_ANCHOR, c.der, &rc);
        EXPECT_EQ(rc, c.code) << c.what;
        EXPECT_EQ(r, nullptr) << c.what;
    }
    TRUST_ANCHOR noKey{view.name, nullptr};
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(TRUST_ANCHOR_to_Seq(&noKey, &node), 0x53030049);
    EXPECT_EQ(Seq_to_TRUST_ANCHOR(nullptr, nullptr), 0x53040049);

    // Lookup: name as RFC 5280 compares it, and the key.
    Anchors list = anchorsOf({other.get(), root.get()});
    EXPECT_EQ(get_TRUST_ANCHORS_index_by_TRUST_ANCHOR(list.get(), &view), 1);
    Name folded = nameOf({{"2.5.4.10", 19, "zq", false}, {"2.5.4.3", 19, "ZQ PATH ROOT", false}});
    TRUST_ANCHOR caseless{folded.get(), view.publicKey};
    EXPECT_EQ(get_TRUST_ANCHORS_index_by_TRUST_ANCHOR(list.get(), &caseless), 1);
    Cert ca = fixture("ca");
    TRUST_ANCHOR otherKey{view.name, get_X509_SPKI(ca.get())};
    EXPECT_EQ(get_TRUST_ANCHORS_index_by_TRUST_ANCHOR(list.get(), &otherKey), -1);
    EXPECT_EQ(add_TRUST_ANCHORS(list.get(), &noKey), 1);
    EXPECT_EQ(get_STACK_count(list.get()), 2);
}

}  // namespace
