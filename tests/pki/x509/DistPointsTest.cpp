// CRL distribution points, the issuing distribution point and access
// information: python-cryptography's bodies and a vector CRL read, written
// and built; older forms and the one-distribution-point calling pattern;
// errors.
#include <gtest/gtest.h>

#include "BodyTestUtil.h"
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>

using namespace x509test;

namespace {

using DistPoint = Own<DIST_POINT, free_DIST_POINT>;
using DistPointName = Own<DIST_POINT_NAME, free_DIST_POINT_NAME>;
using IssuingDistPoints = Own<ISSUING_DIST_POINTS, free_ISSUING_DIST_POINTS>;
using AccessDescription = Own<ACCESS_DESCRIPTION, free_ACCESS_DESCRIPTION>;

std::string names(const GENERAL_NAMES* l) {
    std::string s;
    for (int i = 0; i < get_STACK_count(l); ++i) {
        const GENERAL_NAME* gn = itemOf<GENERAL_NAME>(l, i);
        s += i ? "," : "";
        if (gn->type == GENERAL_NAME_DIRECTORY)
            s += "dir(" + nameSummary(static_cast<X509_NAME*>(gn->value)) + ")";
        else
            s += text(static_cast<ASN1_STRING*>(gn->value));
    }
    return s;
}

std::string dpName(const DIST_POINT_NAME* n) {
    if (!n) return "";
    if (n->type == DIST_POINT_FULL_NAME) return "full(" + names(static_cast<GENERAL_NAMES*>(n->value)) + ")";
    return "rdn(" + nameSummary(static_cast<X509_NAME*>(n->value)) + ")";
}

std::string bits(const BIT_STRING* b) { return b ? hexOf(b) + "/" + std::to_string(b->extra) : ""; }

std::string dpSummary(const DIST_POINT* dp) {
    return dpName(dp->distributionPoint) + " reasons=" + bits(dp->reasons) + " issuer=" + names(dp->cRLIssuer);
}

std::string dpsSummary(const CRL_DIST_POINTS* l) {
    std::string s;
    for (int i = 0; i < get_STACK_count(l); ++i) s += (i ? "; " : "") + dpSummary(itemOf<DIST_POINT>(l, i));
    return s;
}

std::string flag(const unsigned char* f) { return f ? (*f ? "T" : "F") : "-"; }

std::string idpSummary(const ISSUING_DIST_POINT* idp) {
    return dpName(idp->distributionPoint) + " user=" + flag(idp->onlyContainsUserCerts) +
           " ca=" + flag(idp->onlyContainsCACerts) + " reasons=" + bits(idp->onlySomeReasons) +
           " indirect=" + flag(idp->indirectCRL) + " attr=" + flag(idp->onlyContainsAttributeCerts);
}

DIST_POINT_NAME* fullName(GENERAL_NAME* gn) {
    DIST_POINT_NAME* n = new_DIST_POINT_NAME();
    n->type = DIST_POINT_FULL_NAME;
    n->value = new_GENERAL_NAMES();
    push_STACK_value(static_cast<STACK*>(n->value), gn);
    return n;
}

unsigned char* flagTrue() {
    auto* f = static_cast<unsigned char*>(VSC_Malloc(1, __FILE__, __LINE__));
    *f = 0xff;
    return f;
}

// The issuingDistributionPoint body of a PEM CRL of the vectors.
Bytes crlIdpBody(const std::string& path) {
    void* node = nullptr;
    const auto keep = [](ASN1_UNIT* n, void** out) -> PKI_ERROR { return (*out = dup_ASN1_UNIT(n)) ? 0 : 1; };
    if (readPEM_from_File(&node, keep, path.c_str()) != 0) return {};
    Node crl(static_cast<ASN1_UNIT*>(node));
    Node tbs = childAt(crl.get(), {0});
    for (int i = 0; i < getSequenceChildNum(tbs.get()); ++i) {
        if (getChildType(tbs.get(), i) != 0xa0) continue;
        Extensions exts = decodeExtensions(pkitest::bytesOf(childAt(tbs.get(), {i, 0}).get()));
        const int at = get_X509_EXTENSION_index_by_OID_index(exts.get(), 770, -1);
        const OCTET_STRING* v = get_X509_EXTENSION_data(get_X509_EXTENSION(exts.get(), at));
        if (v) return Bytes(v->data, v->data + v->length);
    }
    return {};
}

TEST(CrlDistributionPoints, ReadWrittenAndBuiltLikePythonCryptography) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes peer = peerBody("cdp");
    PKI_ERROR rc;
    DistPoints list = decodeWith<DistPoints>(Seq_to_CRL_DIST_POINTS, peer, &rc);
    ASSERT_EQ(rc, 0);
    // Each CRL issuer stays with its own distribution point.
    EXPECT_EQ(dpsSummary(list.get()),
              "full(http://crl.example/a.crl) reasons=60/5 issuer=dir(2.5.4.3:0c:497373756572); "
              "rdn(2.5.4.3:0c:72656c+2.5.4.10:0c:6f7267) reasons= issuer=http://issuer.example/");
    EXPECT_EQ(encode(CRL_DIST_POINTS_to_Seq, static_cast<const CRL_DIST_POINTS*>(list.get())), peer);

    DistPoints built(new_CRL_DIST_POINTS());
    DIST_POINT* first = new_DIST_POINT();
    first->distributionPoint = fullName(makeName(GENERAL_NAME_URI, ia5("http://crl.example/a.crl")));
    first->reasons = new_BIT_STRING("011", 3);
    push_STACK_value(first->cRLIssuer, makeName(GENERAL_NAME_DIRECTORY, cnName("Issuer")));
    DIST_POINT* second = new_DIST_POINT();
    second->distributionPoint = new_DIST_POINT_NAME();
    second->distributionPoint->type = DIST_POINT_RELATIVE_NAME;
    X509_NAME* rdn = cnName("rel");  // two entries a caller added one by one make the one RDN
    add_X509_NAME_child_OID_index(rdn, 17, ASN1_TAG_UTF8_STRING, reinterpret_cast<const unsigned char*>("org"), -1, -1);
    second->distributionPoint->value = rdn;
    push_STACK_value(second->cRLIssuer, makeName(GENERAL_NAME_URI, ia5("http://issuer.example/")));
    push_STACK_value(built.get(), first);
    push_STACK_value(built.get(), second);
    EXPECT_EQ(encode(CRL_DIST_POINTS_to_Seq, static_cast<const CRL_DIST_POINTS*>(built.get())), peer);
    DistPoints copy(dup_CRL_DIST_POINTS(built.get()));
    built.reset();
    EXPECT_EQ(encode(CRL_DIST_POINTS_to_Seq, static_cast<const CRL_DIST_POINTS*>(copy.get())), peer);
}

TEST(CrlDistributionPoints, OlderFormsAndOneDistributionPoint) {
    const struct {
        const char* in;
        const char* summary;
        const char* out;  // null: unchanged
    } cases[] = {
        // reasons in an explicit [1]
        {"30083006a10403020560", " reasons=60/5 issuer=", "3006300481020560"},
        // a relative name written as a whole Name inside [1]
        {"30143012a010a10e300c310a300806035504030c0178",
         "rdn(2.5.4.3:0c:78) reasons= issuer=", "3010300ea00ca10a300806035504030c0178"},
        // an empty cRLIssuer: GeneralNames hold at least one name
        {"30043002a200", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        std::string in = c.in, out = c.out ? c.out : c.in;
        std::erase(in, ' ');
        std::erase(out, ' ');
        PKI_ERROR rc;
        DistPoints list = decodeHex<DistPoints>(Seq_to_CRL_DIST_POINTS, in, &rc);
        if (!c.summary) {  // GeneralNames need at least one name
            EXPECT_EQ(rc, 0x47410104) << in;
            continue;
        }
        ASSERT_EQ(rc, 0) << in;
        EXPECT_EQ(dpsSummary(list.get()), c.summary);
        EXPECT_EQ(toHex(encode(CRL_DIST_POINTS_to_Seq, static_cast<const CRL_DIST_POINTS*>(list.get()))), out);
    }

    // One DistributionPoint handed over alone gives one record, name, reasons
    // and CRL issuer together.
    ASSERT_FALSE(extFixtures().empty());
    Node body = nodeOf(peerBody("cdp"));
    Node first = childAt(body.get(), {0});
    CRL_DIST_POINTS* made = nullptr;
    ASSERT_EQ(Seq_to_CRL_DIST_POINTS(first.get(), &made), 0);
    DistPoints one(made);
    EXPECT_EQ(dpsSummary(one.get()), "full(http://crl.example/a.crl) reasons=60/5 issuer=dir(2.5.4.3:0c:497373756572)");

    // A new record's empty CRL-issuer list is left out.
    DistPoint dp(new_DIST_POINT());
    dp->distributionPoint = fullName(makeName(GENERAL_NAME_URI, ia5("a.b/")));
    EXPECT_EQ(toHex(encode(DIST_POINT_to_Seq, static_cast<const DIST_POINT*>(dp.get()))), "300aa008a0068604612e622f");

    EXPECT_EQ(refusal<DistPoints>(Seq_to_CRL_DIST_POINTS, "3000"), 0x4741002b);
    DistPoints empty(new_CRL_DIST_POINTS());
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(CRL_DIST_POINTS_to_Seq(empty.get(), &node), 0x4742002b);
    DistPointName odd(new_DIST_POINT_NAME());
    odd->type = 5;
    EXPECT_EQ(dup_DIST_POINT_NAME(odd.get()), nullptr);
}

TEST(IssuingDistributionPoint, FlagsReadInBothFormsWrittenImplicitly) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes vector =
        crlIdpBody("/usr/lib/python3/dist-packages/cryptography_vectors/x509/custom/crl_idp_fullname_only_user.pem");
    ASSERT_FALSE(vector.empty());
    const struct {
        Bytes in;
        const char* summary;
    } cases[] = {
        {vector, "full(http://myhost.com/myca.crl) user=T ca=- reasons= indirect=- attr=-"},
        {peerBody("idp"), "full(http://crl.example/a.crl) user=T ca=- reasons=40/6 indirect=- attr=-"},
        {peerBody("idp_indirect"), "full(http://crl.example/a.crl) user=- ca=- reasons= indirect=T attr=-"},
        {peerBody("idp_attr"), "rdn(2.5.4.3:0c:78) user=- ca=- reasons= indirect=- attr=T"},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        IssuingDistPoint idp = decodeWith<IssuingDistPoint>(Seq_to_issuing_DIST_POINT, c.in, &rc);
        ASSERT_EQ(rc, 0) << toHex(c.in);
        EXPECT_EQ(idpSummary(idp.get()), c.summary);
        EXPECT_EQ(encode(issuing_DIST_POINT_to_Seq, static_cast<const ISSUING_DIST_POINT*>(idp.get())), c.in);
        // The body handed to the list decoder is one record.
        auto list = decodeWith<IssuingDistPoints>(Seq_to_issuing_DIST_POINTS, c.in, &rc);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(get_STACK_count(list.get()), 1);
        EXPECT_EQ(idpSummary(itemOf<ISSUING_DIST_POINT>(list.get(), 0)), c.summary);
    }

    // Built like python-cryptography's; a FALSE flag is left out.
    IssuingDistPoint built(new_ISSUING_DIST_POINT());
    built->distributionPoint = fullName(makeName(GENERAL_NAME_URI, ia5("http://crl.example/a.crl")));
    built->onlyContainsUserCerts = flagTrue();
    built->onlyContainsCACerts = flagTrue();
    *built->onlyContainsCACerts = 0;
    built->onlySomeReasons = new_BIT_STRING("01", 2);
    EXPECT_EQ(encode(issuing_DIST_POINT_to_Seq, static_cast<const ISSUING_DIST_POINT*>(built.get())), peerBody("idp"));

    // Flags in an explicit tag read too; an empty body does not.
    PKI_ERROR rc;
    IssuingDistPoint explicitForm = decodeHex<IssuingDistPoint>(Seq_to_issuing_DIST_POINT, "3005a1030101ff", &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(idpSummary(explicitForm.get()), " user=T ca=- reasons= indirect=- attr=-");
    EXPECT_EQ(toHex(encode(issuing_DIST_POINT_to_Seq, static_cast<const ISSUING_DIST_POINT*>(explicitForm.get()))),
              "30038101ff");
    EXPECT_EQ(refusal<IssuingDistPoints>(Seq_to_issuing_DIST_POINTS, "3000"), 0x4727002b);
    EXPECT_EQ(refusal<IssuingDistPoint>(Seq_to_issuing_DIST_POINT, "30038102ffff"), 0x47170104);
}

TEST(AuthorityInfoAccess, ReadWrittenAndBuiltLikePythonCryptography) {
    ASSERT_FALSE(extFixtures().empty());
    const Bytes peer = peerBody("aia");
    PKI_ERROR rc;
    InfoAccess list = decodeWith<InfoAccess>(Seq_to_AUTHORITY_INFO_ACCESS, peer, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(get_STACK_count(list.get()), 2);
    const ACCESS_DESCRIPTION* ocsp = itemOf<ACCESS_DESCRIPTION>(list.get(), 0);
    EXPECT_EQ(index_from_OBJECT_IDENTIFIER(ocsp->accessMethod), 178);
    EXPECT_EQ(ocsp->accessLocation->type, GENERAL_NAME_URI);
    EXPECT_EQ(index_from_OBJECT_IDENTIFIER(itemOf<ACCESS_DESCRIPTION>(list.get(), 1)->accessMethod), 179);

    InfoAccess built(new_AUTHORITY_INFO_ACCESS());
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(AUTHORITY_INFO_ACCESS_to_Seq(built.get(), &node), 0x4726002b);
    for (const auto& [row, uri] : {std::pair{178, "http://ocsp.example/"}, {179, "http://ca.example/ca.der"}}) {
        ACCESS_DESCRIPTION* ad = new_ACCESS_DESCRIPTION();
        ad->accessMethod = index_to_OBJECT_IDENTIFIER(row);
        ad->accessLocation = makeName(GENERAL_NAME_URI, ia5(uri));
        push_STACK_value(built.get(), ad);
    }
    EXPECT_EQ(encode(AUTHORITY_INFO_ACCESS_to_Seq, static_cast<const AUTHORITY_INFO_ACCESS*>(built.get())), peer);
    EXPECT_EQ(refusal<InfoAccess>(Seq_to_AUTHORITY_INFO_ACCESS, "3000"), 0x4725002b);
    EXPECT_EQ(refusal<AccessDescription>(Seq_to_ACCESS_DESCRIPTION, "300a06082b06010505073001"), 0x47430104);
}

}  // namespace
