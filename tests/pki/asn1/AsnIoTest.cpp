// DER and PEM input and output through encoder and decoder callbacks, checked
// against openssl's own conversions of a certificate.
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/utils.h>

#include "PkiHelpers.h"
#include "TestSupport.h"

#include <zunCrypto/zunCrypto.h>

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

namespace {

using pkitest::bytes;
using pkitest::len;
using pkitest::openssl;
using pkitest::Owned;

// The simplest structure there is: a node, encoded and decoded as itself.
PKI_ERROR nodeToSeq(void* value, ASN1_UNIT** node) {
    *node = dup_ASN1_UNIT(static_cast<ASN1_UNIT*>(value));
    return *node != nullptr ? PKI_SUCCESS : 1;
}
PKI_ERROR seqToNode(ASN1_UNIT* node, void** value) {
    *value = dup_ASN1_UNIT(node);
    return *value != nullptr ? PKI_SUCCESS : 1;
}
// An encoder that starts a node and then fails, as a real one may.
PKI_ERROR failingEncoder(void*, ASN1_UNIT** node) {
    *node = new_ASN1_UNIT();
    return 0x46010101;
}
PKI_ERROR failingDecoder(ASN1_UNIT*, void**) { return 0x460f002b; }

struct Value {
    void* p = nullptr;
    ~Value() { free_ASN1_UNIT(static_cast<ASN1_UNIT*>(p)); }
};

class DerPem : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new zqtest::TempDir("asn1io");
        std::string key = *dir / "key.pem";
        openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", key});
        openssl({"req", "-x509", "-key", key, "-subj", "/C=KR/O=Test/CN=DER PEM", "-days", "1", "-outform", "DER",
                 "-out", *dir / "cert.der"});
        der = zqtest::readFile(*dir / "cert.der");
        pem = openssl({"x509", "-inform", "DER", "-outform", "PEM", "-in", *dir / "cert.der"});
    }
    static void TearDownTestSuite() { delete dir; }
    static zqtest::TempDir* dir;
    static std::string der, pem;
};
zqtest::TempDir* DerPem::dir = nullptr;
std::string DerPem::der, DerPem::pem;

TEST_F(DerPem, BothWaysLikeOpenssl) {
    Value cert;
    ASSERT_EQ(readDER_from_File(&cert.p, seqToNode, (*dir / "cert.der").c_str()), PKI_SUCCESS);

    Owned<char> text;
    int n = writePEM_to_Binary(cert.p, nodeToSeq, "CERTIFICATE", 11, text.out());
    EXPECT_EQ(text.str(n), pem);
    std::string pemPath = *dir / "ours.pem";
    EXPECT_EQ(writePEM_to_FILE(cert.p, nodeToSeq, "CERTIFICATE", 11, pemPath.c_str()), len(pem));
    EXPECT_EQ(openssl({"x509", "-in", pemPath, "-outform", "DER"}), der);

    zqtest::writeFile(*dir / "theirs.pem", pem);
    Value fromPem;
    ASSERT_EQ(readPEM_from_File(&fromPem.p, seqToNode, (*dir / "theirs.pem").c_str()), PKI_SUCCESS);
    Owned<unsigned char> back;
    n = writeDER_to_Binary(fromPem.p, nodeToSeq, back.out());
    EXPECT_EQ(back.str(n), der);
    std::string derPath = *dir / "ours.der";
    EXPECT_EQ(writeDER_to_FILE(fromPem.p, nodeToSeq, derPath.c_str()), len(der));
    EXPECT_EQ(zqtest::readFile(derPath), der);

    unsigned char digest[64];
    EXPECT_EQ(get_ASN1_hash(cert.p, nodeToSeq, VSC_DIGEST_SHA256, digest), 32);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), 32), openssl({"dgst", "-sha256", "-binary"}, der));
}

TEST_F(DerPem, ReadsOneTlvWithinTheGivenBytes) {
    // Whatever follows the TLV is not read; a TLV longer than the bytes is refused.
    std::string withTail = der + "trailing bytes";
    Value v;
    ASSERT_EQ(readDER_from_Binary(&v.p, seqToNode, bytes(withTail), len(withTail)), PKI_SUCCESS);
    Owned<unsigned char> out;
    EXPECT_EQ(out.str(ASN1_to_binary(static_cast<ASN1_UNIT*>(v.p), out.out())), der);

    Value none;
    EXPECT_EQ(readDER_from_Binary(&none.p, seqToNode, bytes(der), len(der) - 1), 0x4300004F);
    EXPECT_EQ(readDER_from_Binary(&none.p, seqToNode, nullptr, 10), 0x4300002B);
    EXPECT_EQ(readDER_from_Binary(&none.p, failingDecoder, bytes(der), len(der)), 0x460f002b);
    EXPECT_EQ(readDER_from_File(&none.p, seqToNode, (*dir / "missing").c_str()), 0x4300002B);
    zqtest::writeFile(*dir / "truncated.der", der.substr(0, der.size() / 2));
    EXPECT_EQ(readDER_from_File(&none.p, seqToNode, (*dir / "truncated.der").c_str()), 0x4300004F);

    EXPECT_EQ(readPEM_from_Binary(&none.p, seqToNode, "no armour at all here", 21), 0x4E00002B);
    std::string notTlv = "-----BEGIN X-----\nMIIBCg==\n-----END X-----\n";  // 30 82 01 0a: 266 bytes promised
    EXPECT_EQ(readPEM_from_Binary(&none.p, seqToNode, notTlv.c_str(), len(notTlv)), 0x4E00004F);
    EXPECT_EQ(readPEM_from_Binary(&none.p, failingDecoder, pem.c_str(), len(pem)), 0x460f002b);
    EXPECT_EQ(none.p, nullptr);
}

TEST_F(DerPem, EncoderFailuresAreFailures) {
    std::string path = *dir / "never.der";
    EXPECT_EQ(writeDER_to_FILE(der.data(), failingEncoder, path.c_str()), -1);
    EXPECT_FALSE(zqtest::fileExists(path));
    Owned<unsigned char> out;
    EXPECT_EQ(writeDER_to_Binary(der.data(), failingEncoder, out.out()), -1);
    Owned<char> text;
    EXPECT_EQ(writePEM_to_Binary(der.data(), failingEncoder, "X", 1, text.out()), -1);
    EXPECT_EQ(writePEM_to_Binary(der.data(), nodeToSeq, "X", 1, nullptr), 0x4E00002B);
    EXPECT_EQ(writePEM_to_FILE(der.data(), nodeToSeq, "X", 1, nullptr), 0x4E00002B);
    EXPECT_EQ(writeDER_to_FILE(der.data(), nodeToSeq, nullptr), -1);
    unsigned char digest[64];
    EXPECT_EQ(get_ASN1_hash(der.data(), failingEncoder, VSC_DIGEST_SHA256, digest), 0);
}

// A PEM whose label names a private key goes to a new file its owner alone
// reads, whatever the umask; other files get the umask's mode, and a file
// that is replaced keeps its own.
TEST_F(DerPem, PrivateKeyPemFilesAreTheOwnersAlone) {
    Value cert;
    ASSERT_EQ(readDER_from_Binary(&cert.p, seqToNode, bytes(der), len(der)), PKI_SUCCESS);
    auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    };
    const mode_t old = ::umask(022);
    const struct {
        const char* label;
        int labelLen;
        int mode;
    } cases[] = {
        {"PRIVATE KEY", 11, 0600},
        {"RSA PRIVATE KEY", 15, 0600},
        {"ENCRYPTED PRIVATE KEY", 21, 0600},
        {"EC PRIVATE KEY and more", 14, 0600},  // only labelLen characters are the label
        {"CERTIFICATE", 11, 0644},
        {"CERT PRIVATE KEY", 4, 0644},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.label, static_cast<size_t>(c.labelLen)));
        const std::string path = *dir / ("mode" + std::to_string(i++) + ".pem");
        ASSERT_GT(writePEM_to_FILE(cert.p, nodeToSeq, c.label, c.labelLen, path.c_str()), 0);
        EXPECT_EQ(modeOf(path), c.mode);
    }
    const std::string kept = *dir / "kept-mode.pem";
    zqtest::writeFile(kept, "old");
    ::chmod(kept.c_str(), 0640);
    ASSERT_GT(writePEM_to_FILE(cert.p, nodeToSeq, "PRIVATE KEY", 11, kept.c_str()), 0);
    EXPECT_EQ(modeOf(kept), 0640);
    ::umask(old);
}

TEST(AsnIo, NodesAndStringsToBytes) {
    // An indefinite node keeps its end-of-contents pair.
    ASN1_UNIT* node = new_ASN1_UNIT();
    std::string ab = "ab", cn = "2.5.4.3";
    ASN1_STRING octets{ASN1_TAG_OCTET_STRING, const_cast<unsigned char*>(bytes(ab)), 2, 0};
    ASSERT_EQ(addToDERSequence(node, ASN1_TAG_ANY_STRING, &octets, 2), PKI_SUCCESS);
    ASSERT_EQ(setBERLengthForm(node, ASN1_LENGTH_INDEFINITE), PKI_SUCCESS);
    Owned<unsigned char> out;
    int n = ASN1_to_binary(node, out.out());
    EXPECT_EQ(out.str(n), std::string("\x30\x80\x04\x02"
                                      "ab\x00\x00",
                                      8));
    free_ASN1_UNIT(node);

    Owned<unsigned char> tlv;
    n = ASN1_STRING_to_binary(&octets, tlv.out());
    EXPECT_EQ(tlv.str(n),
              "\x04\x02"
              "ab");
    ASN1_STRING oid{ASN1_TAG_OBJECT_IDENTIFIER, const_cast<unsigned char*>(bytes(cn)), 7, 0};
    Owned<unsigned char> oidTlv;
    n = ASN1_STRING_to_binary(&oid, oidTlv.out());
    EXPECT_EQ(oidTlv.str(n), "\x06\x03\x55\x04\x03");

    ASN1_UNIT empty{};
    Owned<unsigned char> none;
    EXPECT_EQ(ASN1_to_binary(&empty, none.out()), -1);
    EXPECT_EQ(ASN1_STRING_to_binary(nullptr, none.out()), -1);
    EXPECT_EQ(ASN1_to_FILE(&empty, "/nonexistent/x"), -1);
}

}  // namespace
