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

template <class T>
Outcome readWith(const Bytes& input, PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**),
                 PKI_ERROR (*toSeq)(const T*, ASN1_UNIT**), std::string (*summarise)(const T*), void (*release)(T*)) {
    Outcome o;
    Node node = nodeOf(input);
    T* rec = nullptr;
    if (node && fromSeq(node.get(), &rec) == 0) {
        o.decoded = true;
        o.summary = summarise(rec);
        o.der = encode(toSeq, static_cast<const T*>(rec));
    } else {
        EXPECT_EQ(rec, nullptr);
    }
    release(rec);
    return o;
}

void releaseAttributes(X509_ATTRIBUTES* list) { free_X509_ATTRIBUTES(list); }

Outcome readComponent(const std::string& kind, const Bytes& input) {
    if (kind == "name") return readWith<X509_NAME>(input, Seq_to_X509_NAME, X509_NAME_to_Seq, nameSummary, free_X509_NAME);
    if (kind == "exts")
        return readWith<X509_EXTENSIONS>(input, Seq_to_X509_EXTENSIONS, X509_EXTENSIONS_to_Seq, extsSummary,
                                         free_X509_EXTENSIONS);
    return readWith<X509_ATTRIBUTES>(input, Seq_to_X509_ATTRIBUTES, X509_ATTRIBUTES_to_Seq, attrsSummary,
                                     releaseAttributes);
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
        std::istringstream manifest(zqtest::readFile(out + "/manifest.tsv"));
        std::string line;
        while (std::getline(manifest, line)) {
            std::istringstream fields(line);
            std::string kind, label, in, expectedPath, summary;
            std::getline(fields, kind, '\t');
            std::getline(fields, label, '\t');
            std::getline(fields, in, '\t');
            std::getline(fields, expectedPath, '\t');
            std::getline(fields, summary, '\t');
            const Outcome ours = readComponent(kind, pkitest::readBytes(in));
            if (summary == "-") continue;  // pyasn1 refuses it: ours may go either way, without harm
            ++checked[kind];
            if (!ours.decoded) mismatches.push_back(kind + " " + label + ": refused");
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
