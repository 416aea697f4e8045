// Helpers of the X.509 record tests: summaries in the form vectors_dump.py
// writes, encoders into bytes, and the openssl fixtures.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <sstream>
#include <string>
#include <vector>
#include <vector>

#include "../PkiHelpers.h"
#include "../asn1/PkiTestUtil.h"
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/x509/x509.h>

namespace x509test {

using pkitest::Bytes;
using pkitest::fromHex;
using pkitest::Node;
using pkitest::toHex;

inline Node nodeOf(const Bytes& b) { return Node(decodeToDERSequence(b.data(), static_cast<int>(b.size()))); }

// DER by hand. The bytes are copied into vectors sized first: GCC's
// array-bounds check misreads insertions after a braced header in Release.
inline Bytes cat(std::initializer_list<Bytes> parts) {
    size_t size = 0;
    for (const auto& p : parts) size += p.size();
    Bytes out(size);
    auto at = out.begin();
    for (const auto& p : parts) at = std::copy(p.begin(), p.end(), at);
    return out;
}

// identifier, the shortest definite length, contents
inline Bytes tlv(unsigned char id, const Bytes& contents) {
    const size_t n = contents.size();
    Bytes header{id};
    if (n < 128) {
        header.push_back(static_cast<unsigned char>(n));
    } else {
        Bytes len;
        for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<unsigned char>(v));
        header.push_back(static_cast<unsigned char>(0x80 | len.size()));
        header = cat({header, len});
    }
    return cat({header, contents});
}

inline Bytes seq(std::initializer_list<Bytes> parts) { return tlv(0x30, cat(parts)); }

// Records owned by the test, released with their library's free function.
template <auto Free>
struct FreeWith {
    template <class T>
    void operator()(T* p) const {
        Free(p);
    }
};
using Name = std::unique_ptr<X509_NAME, FreeWith<free_X509_NAME>>;
using Extension = std::unique_ptr<X509_EXTENSION, FreeWith<free_X509_EXTENSION>>;
using Extensions = std::unique_ptr<X509_EXTENSIONS, FreeWith<free_X509_EXTENSIONS>>;
using Attribute = std::unique_ptr<X509_ATTRIBUTE, FreeWith<free_X509_ATTRIBUTE>>;
using Attributes = std::unique_ptr<X509_ATTRIBUTES, FreeWith<free_X509_ATTRIBUTES>>;

// What a decoder makes of der (null when it refuses); its code in *rc.
template <class Owner, class T>
Owner decodeWith(PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**), const Bytes& der, PKI_ERROR* rc) {
    Node node = nodeOf(der);
    T* made = nullptr;
    const PKI_ERROR code = node ? fromSeq(node.get(), &made) : -1;
    if (rc) *rc = code;
    return Owner(made);
}
inline Name decodeName(const Bytes& der, PKI_ERROR* rc = nullptr) {
    return decodeWith<Name>(Seq_to_X509_NAME, der, rc);
}
inline Extensions decodeExtensions(const Bytes& der, PKI_ERROR* rc = nullptr) {
    return decodeWith<Extensions>(Seq_to_X509_EXTENSIONS, der, rc);
}
inline Attributes decodeAttributes(const Bytes& der, PKI_ERROR* rc = nullptr) {
    return decodeWith<Attributes>(Seq_to_X509_ATTRIBUTES, der, rc);
}

// The DER an encoder writes for rec; empty when it fails.
template <class T>
Bytes encode(PKI_ERROR (*toSeq)(const T*, ASN1_UNIT**), const T* rec) {
    ASN1_UNIT* made = nullptr;
    const PKI_ERROR rc = toSeq(rec, &made);
    Node node(made);
    return rc == 0 ? pkitest::bytesOf(node.get()) : Bytes{};
}

// Every copy of good with one byte replaced by a telling value decodes to an
// error and nothing, or to a record that copies and encodes.
template <class Owner, class T>
void expectMutationsHarmless(const Bytes& good, PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**),
                             PKI_ERROR (*toSeq)(const T*, ASN1_UNIT**), T* (*dup)(const T*)) {
    for (size_t i = 0; i < good.size(); ++i) {
        for (unsigned char v : {0x00, 0x01, 0x04, 0x0c, 0x30, 0x31, 0x80, 0xa0, 0xff}) {
            Bytes m = good;
            m[i] = v;
            PKI_ERROR rc;
            Owner r = decodeWith<Owner>(fromSeq, m, &rc);
            if (rc != 0) {
                EXPECT_EQ(r, nullptr);
                continue;
            }
            Owner copy(dup(r.get()));
            encode(toSeq, static_cast<const T*>(copy.get()));
        }
    }
}

// identifier:contents of a TLV, in hex.
inline std::string tlvSummary(const Bytes& tlv) {
    zpki::der::Cursor c(tlv.data(), tlv.size());
    zpki::der::Element e;
    if (!zpki::der::getElement(c, e)) return "?";
    char id[4];
    std::snprintf(id, sizeof id, "%02x", e.identifier);
    return std::string(id) + ":" + toHex(e.contents, e.contentsSize);
}

inline std::string stringSummary(const ASN1_STRING* s) {
    unsigned char* der = nullptr;
    const int n = ASN1_STRING_to_binary(s, &der);
    const Bytes b = n > 0 ? Bytes(der, der + n) : Bytes{};
    VSC_FREE(der);
    return tlvSummary(b);
}

inline std::string oidText(const OBJECT_IDENTIFIER* oid) {
    return oid && oid->data ? std::string(reinterpret_cast<const char*>(oid->data), oid->length) : "?";
}

inline std::string nameSummary(const X509_NAME* name) {
    std::string s;
    for (int i = 0; i < get_X509_NAME_count(name); ++i) {
        const X509_NAME_CHILD* e = get_X509_NAME_CHILD(name, i);
        if (i) s += e->sameRdn ? "+" : "/";
        s += oidText(e->type) + ":" + stringSummary(e->value);
    }
    return s;
}

inline std::string extsSummary(const X509_EXTENSIONS* list) {
    std::string s;
    for (int i = 0; i < get_X509_EXTENSION_count(list); ++i) {
        const X509_EXTENSION* e = get_X509_EXTENSION(list, i);
        const OCTET_STRING* v = get_X509_EXTENSION_data(e);
        if (i) s += ";";
        s += oidText(e->extnID) + ":" + std::to_string(get_X509_EXTENSION_critical(e)) + ":";
        s += toHex(v->data, v->length);
    }
    return s;
}

inline std::string valueSummary(const X509_ATTRIBUTE* a, int i) {
    const int tag = get_X509_ATTRIBUTE_data_type(a, i);
    void* v = get_X509_ATTRIBUTE_data(a, i);
    if (tag & 0x20) return tlvSummary(pkitest::bytesOf(static_cast<ASN1_UNIT*>(v)));
    // The string under the record's tag.
    ASN1_STRING s = *static_cast<ASN1_STRING*>(v);
    s.type = tag;
    return stringSummary(&s);
}

inline std::string attrsSummary(const X509_ATTRIBUTES* list) {
    std::string s;
    for (int i = 0; i < get_X509_ATTRIBUTES_count(list); ++i) {
        const X509_ATTRIBUTE* a = get_X509_ATTRIBUTES_child(list, i);
        if (i) s += ";";
        s += oidText(get_X509_ATTRIBUTE_OID(a)) + "=";
        for (int j = 0; j < get_X509_ATTRIBUTE_count(a); ++j) s += (j ? "," : "") + valueSummary(a, j);
    }
    return s;
}

// The child at a path of indexes below node, as its own node.
inline Node childAt(const ASN1_UNIT* node, std::initializer_list<int> path) {
    Node cur(dup_ASN1_UNIT(node));
    for (int i : path) {
        if (!cur) break;
        zpki::der::Element e;
        cur.reset(zpki::ber::childElement(cur.get(), i, e) ? zpki::ber::nodeFromElement(e) : nullptr);
    }
    return cur;
}

// The rows of a tab-separated manifest, each row's fields in order.
inline std::vector<std::vector<std::string>> tsvRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(zqtest::readFile(path));
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        std::vector<std::string>& row = rows.emplace_back();
        for (size_t start = 0;;) {  // a trailing tab ends with an empty field
            const size_t tab = line.find('\t', start);
            row.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
    }
    return rows;
}

// The lines of a text file that are not empty.
inline std::vector<std::string> fileLines(const std::string& path) {
    std::istringstream in(zqtest::readFile(path));
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);)
        if (!l.empty()) out.push_back(l);
    return out;
}

// The objects of make_fixtures.sh, made once per test program.
inline const std::string& fixtures() {
    static zqtest::TempDir dir("x509fix");
    static const bool made =
        zqtest::run({zqtest::sourceDir() + "/tests/pki/x509/make_fixtures.sh", dir.path()}).status == 0;
    static const std::string path = made ? dir.path() : std::string();
    return path;
}

inline Bytes fixture(const std::string& name) { return pkitest::readBytes(fixtures() + "/" + name); }

}  // namespace x509test
