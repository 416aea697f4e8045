// Every name, extension list and request attribute set of the
// python-cryptography vectors (real certificates, NIST's PKITS, CRLs,
// requests, malformed cases) and of our openssl fixtures, read by the library
// and by pyasn1: the same entries, and our re-encoding equal to the DER
// rebuilt from pyasn1's reading.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "X509TestUtil.h"

using namespace x509test;

namespace {

const char* kVectors = "/usr/lib/python3/dist-packages/cryptography_vectors/x509";

struct Outcome {
    bool decoded = false;
    std::string summary;
    Bytes der;
};

template <class Owner, class T>
Outcome readWith(const Bytes& input, PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**),
                 PKI_ERROR (*toSeq)(const T*, ASN1_UNIT**), std::string (*summarise)(const T*)) {
    PKI_ERROR rc;
    Owner rec = decodeWith<Owner>(fromSeq, input, &rc);
    if (rc != 0) {
        EXPECT_EQ(rec, nullptr);
        return {};
    }
    return {true, summarise(rec.get()), encode(toSeq, static_cast<const T*>(rec.get()))};
}

Outcome readComponent(const std::string& kind, const Bytes& input) {
    if (kind == "name") return readWith<Name>(input, Seq_to_X509_NAME, X509_NAME_to_Seq, nameSummary);
    if (kind == "exts") return readWith<Extensions>(input, Seq_to_X509_EXTENSIONS, X509_EXTENSIONS_to_Seq, extsSummary);
    return readWith<Attributes>(input, Seq_to_X509_ATTRIBUTES, X509_ATTRIBUTES_to_Seq, attrsSummary);
}

TEST(X509Vectors, NamesExtensionsAndAttributesAgreeWithPyasn1) {
    ASSERT_FALSE(fixtures().empty());
    zqtest::TempDir dir("x509vec");
    std::map<std::string, int> checked;
    std::vector<std::string> mismatches;
    for (const std::string& source : {std::string(kVectors), fixtures()}) {
        const std::string out = dir / std::to_string(checked.size());
        auto r = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/pki/x509/vectors_dump.py", source, out});
        ASSERT_EQ(r.status, 0) << source;
        for (const auto& row : tsvRows(out + "/manifest.tsv")) {
            ASSERT_EQ(row.size(), 5u);
            const std::string &kind = row[0], &label = row[1], &in = row[2], &expectedPath = row[3], &summary = row[4];
            const Outcome ours = readComponent(kind, pkitest::readBytes(in));
            if (summary == "-") continue;  // pyasn1 refuses it: ours may go either way, without harm
            ++checked[kind];
            if (!ours.decoded)
                mismatches.push_back(kind + " " + label + ": refused");
            else if (ours.summary != summary)
                mismatches.push_back(kind + " " + label + ": read " + ours.summary + "\n  pyasn1: " + summary);
            else if (ours.der != pkitest::readBytes(expectedPath))
                mismatches.push_back(kind + " " + label + ": re-encoded " + toHex(ours.der));
        }
    }
    for (const auto& m : mismatches) ADD_FAILURE() << m;
    // The sweep really ran over the vectors.
    EXPECT_GT(checked["name"], 1000);
    EXPECT_GT(checked["exts"], 500);
    EXPECT_GT(checked["attrs"], 10);
}

}  // namespace
