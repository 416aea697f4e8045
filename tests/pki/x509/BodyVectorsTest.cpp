// Every extension body the library decodes, from every certificate and CRL of
// the python-cryptography vectors (real certificates, NIST's PKITS, the
// custom cases): what pyasn1 reads as DER re-encodes to the same bytes; what
// it reads as BER decodes and re-encodes to the input or to pyasn1's DER;
// what it refuses is refused or re-encodes unchanged; nothing harms the
// process.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "BodyTestUtil.h"

using namespace x509test;

namespace {

const char* kVectors = "/usr/lib/python3/dist-packages/cryptography_vectors/x509";

struct Outcome {
    bool decoded = false;
    Bytes der;
};

// The record's encoding; its duplicate must encode the same.
template <class T>
Outcome roundTrip(const Bytes& body, PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**),
                  PKI_ERROR (*toSeq)(const T*, ASN1_UNIT**), void (*release)(T*), T* (*dup)(const T*)) {
    Node node = nodeOf(body);
    T* rec = nullptr;
    if (!node || fromSeq(node.get(), &rec) != 0) return {};
    std::unique_ptr<T, void (*)(T*)> owned(rec, release), copy(dup(rec), release);
    Outcome out{true, encode(toSeq, static_cast<const T*>(rec))};
    EXPECT_EQ(toHex(encode(toSeq, static_cast<const T*>(copy.get()))), toHex(out.der));
    return out;
}

using Reader = std::function<Outcome(const Bytes&)>;

const std::map<std::string, Reader>& readers() {
    static const Reader names = [](const Bytes& b) {
        return roundTrip(b, Seq_to_GENERAL_NAMES, GENERAL_NAMES_to_Seq, free_GENERAL_NAMES, dup_GENERAL_NAMES);
    };
    static const Reader dps = [](const Bytes& b) {
        return roundTrip(b, Seq_to_CRL_DIST_POINTS, CRL_DIST_POINTS_to_Seq, free_CRL_DIST_POINTS, dup_CRL_DIST_POINTS);
    };
    static const Reader access = [](const Bytes& b) {
        return roundTrip(b, Seq_to_AUTHORITY_INFO_ACCESS, AUTHORITY_INFO_ACCESS_to_Seq, free_AUTHORITY_INFO_ACCESS,
                         dup_AUTHORITY_INFO_ACCESS);
    };
    static const std::map<std::string, Reader> m = {
        {"2.5.29.17", names},
        {"2.5.29.18", names},
        {"2.5.29.29", names},
        {"2.5.29.31", dps},
        {"2.5.29.46", dps},
        {"1.3.6.1.5.5.7.1.1", access},
        {"1.3.6.1.5.5.7.1.11", access},
        {"2.5.29.19",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_to_Seq, free_BASIC_CONSTRAINTS,
                              dup_BASIC_CONSTRAINTS);
         }},
        {"2.5.29.32",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_CERTIFICATE_POLICIES, CERTIFICATE_POLICIES_to_Seq, free_CERTIFICATE_POLICIES,
                              dup_CERTIFICATE_POLICIES);
         }},
        {"2.5.29.33",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_POLICY_MAPPINGS, POLICY_MAPPINGS_to_Seq, free_POLICY_MAPPINGS,
                              dup_POLICY_MAPPINGS);
         }},
        {"2.5.29.35",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_AUTHORITY_KEYID, AUTHORITY_KEYID_to_Seq, free_AUTHORITY_KEYID,
                              dup_AUTHORITY_KEYID);
         }},
        {"2.5.29.37",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_to_Seq, free_EXTENDED_KEY_USAGE,
                              dup_EXTENDED_KEY_USAGE);
         }},
        {"2.5.29.36",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_POLICY_CONSTRAINTS, POLICY_CONSTRAINTS_to_Seq, free_POLICY_CONSTRAINTS,
                              dup_POLICY_CONSTRAINTS);
         }},
        {"2.5.29.30",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_NAME_CONSTRAINTS, NAME_CONSTRAINTS_to_Seq, free_NAME_CONSTRAINTS,
                              dup_NAME_CONSTRAINTS);
         }},
        {"2.5.29.28",
         [](const Bytes& b) {
             return roundTrip(b, Seq_to_issuing_DIST_POINT, issuing_DIST_POINT_to_Seq, free_ISSUING_DIST_POINT,
                              dup_ISSUING_DIST_POINT);
         }},
    };
    return m;
}

TEST(ExtensionBodyVectors, DerBodiesRoundTripAndNoneHarms) {
    zqtest::TempDir dir("bodyvec");
    auto r = zqtest::run(
        {zqtest::kPython, zqtest::sourceDir() + "/tests/pki/x509/ext_bodies_dump.py", kVectors, dir.path()});
    ASSERT_EQ(r.status, 0);
    std::map<std::string, int> checked;
    std::vector<std::string> mismatches;
    for (const auto& row : tsvRows(dir / "manifest.tsv")) {
        ASSERT_EQ(row.size(), 5u);
        const std::string &oid = row[0], &label = row[1], &path = row[2], &verdict = row[3], &theirsPath = row[4];
        const Bytes body = pkitest::readBytes(path);
        const Outcome ours = readers().at(oid)(body);
        const std::string what = oid + " " + label + ": " + toHex(body);
        if (verdict == "-") {  // pyasn1 refuses it: ours may refuse it too, or keep it whole
            if (ours.decoded && ours.der != body) mismatches.push_back(what + "\n  re-encoded " + toHex(ours.der));
            continue;
        }
        ++checked[oid];
        if (!ours.decoded) {
            // An identifier without any field is refused (0x4709002b).
            if (!(oid == "2.5.29.35" && body == Bytes{0x30, 0x00})) mismatches.push_back(what + ": refused");
        } else if (ours.der != body && (verdict == "der" || ours.der != pkitest::readBytes(theirsPath))) {
            mismatches.push_back(what + "\n  re-encoded " + toHex(ours.der));
        }
    }
    for (const auto& m : mismatches) ADD_FAILURE() << m;
    // The sweep really ran over every kind.
    for (const auto& [oid, reader] : readers()) EXPECT_GT(checked[oid], 0) << oid;
    EXPECT_GT(checked["2.5.29.32"], 300);
}

}  // namespace

namespace {

// Every one-byte change of each peer body decodes to an error and nothing, or
// to a record that copies and encodes (the sanitizers watch).
TEST(ExtensionBodyVectors, OneByteChangesDoNoHarm) {
    ASSERT_FALSE(extFixtures().empty());
    expectMutationsHarmless<GeneralNames>(peerBody("san"), Seq_to_GENERAL_NAMES, GENERAL_NAMES_to_Seq,
                                          dup_GENERAL_NAMES);
    expectMutationsHarmless<DistPoints>(peerBody("cdp"), Seq_to_CRL_DIST_POINTS, CRL_DIST_POINTS_to_Seq,
                                        dup_CRL_DIST_POINTS);
    expectMutationsHarmless<IssuingDistPoint>(peerBody("idp"), Seq_to_issuing_DIST_POINT, issuing_DIST_POINT_to_Seq,
                                              dup_ISSUING_DIST_POINT);
    expectMutationsHarmless<Policies>(peerBody("cp"), Seq_to_CERTIFICATE_POLICIES, CERTIFICATE_POLICIES_to_Seq,
                                      dup_CERTIFICATE_POLICIES);
    expectMutationsHarmless<NameConstraints>(peerBody("nc"), Seq_to_NAME_CONSTRAINTS, NAME_CONSTRAINTS_to_Seq,
                                             dup_NAME_CONSTRAINTS);
    expectMutationsHarmless<Akid>(peerBody("aki"), Seq_to_AUTHORITY_KEYID, AUTHORITY_KEYID_to_Seq, dup_AUTHORITY_KEYID);
    expectMutationsHarmless<InfoAccess>(peerBody("aia"), Seq_to_AUTHORITY_INFO_ACCESS, AUTHORITY_INFO_ACCESS_to_Seq,
                                        dup_AUTHORITY_INFO_ACCESS);
    expectMutationsHarmless<PolicyConstraints>(peerBody("pc_300_1"), Seq_to_POLICY_CONSTRAINTS,
                                               POLICY_CONSTRAINTS_to_Seq, dup_POLICY_CONSTRAINTS);
    expectMutationsHarmless<BasicConstraints>(peerBody("bc_ca_200"), Seq_to_BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_to_Seq,
                                              dup_BASIC_CONSTRAINTS);
    // The identity data inside the VID certificate's otherName.
    Node san = nodeOf(extensionBody(extFixture("vid.der"), 85));
    Node identity = childAt(san.get(), {1, 1, 0});
    expectMutationsHarmless<Own<KISA_IDENTIFY_DATA, free_KISA_IDENTIFY_DATA>>(
        pkitest::bytesOf(identity.get()), Seq_to_KISA_IDENTIFY_DATA, KISA_IDENTIFY_DATA_to_Seq, dup_KISA_IDENTIFY_DATA);
}

}  // namespace
