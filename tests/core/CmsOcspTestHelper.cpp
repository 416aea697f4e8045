// CMS signing times and OCSP responses in a child process, under the zone of
// its TZ (and faketime's clock where the tests ask).
//   core_cms_ocsp_helper cms-sign <cert> <key> <now | YYYY-MM-DD,hh:mm:ss> <out>
//       VCL_CMS_Make_Signed_Data (RSA, SHA256, version 1), DER into out
//   core_cms_ocsp_helper cms-time <message>
//       the first signer's signing time as VCL_CMS_Get_Sign_Time prints it
//   core_cms_ocsp_helper ocsp-read <response> <trusted cert> <nonce hex | ->
//       "<result hex> <status> <date> <reason>" of VCL_OCSP_Response
//   core_cms_ocsp_helper ocsp-respond <request> <responder der> <key> <out> [<serial> <time> <reason>]
//       the responder cycle, the serial revoked at the local time text
#include <cstdio>
#include <cstring>
#include <string>

#include <zunPKI/asn1/asn1.h>

#include "CmsOcspHelpers.h"

namespace {

using cotest::n;

int cmsSign(char** argv) {
    const std::string cert = zqtest::readFile(argv[2]), key = zqtest::readFile(argv[3]);
    cotest::Signer s(cert, key);
    ASN1_TIME* time = std::strcmp(argv[4], "now") == 0 ? nullptr : charToASN1_TIME(argv[4]);
    const std::string data = "signed under a time zone";
    cotest::Out out;
    const int rc = VCL_CMS_Make_Signed_Data(data.data(), n(data), s, VCL_CMS_SIGN_PKCS1, "SHA256", time, 1, VCL_CMS_DER,
                                            out.ptr(), &out.len);
    free_ASN1_TIME(time);
    if (rc != 0) {
        std::printf("%x\n", static_cast<unsigned>(rc));
        return 1;
    }
    zqtest::writeFile(argv[5], out.str());
    return 0;
}

int cmsTime(char** argv) {
    const std::string msg = zqtest::readFile(argv[2]);
    char text[VCL_CMS_SIGN_TIME_TEXT_SIZE] = {};
    const int rc = VCL_CMS_Get_Sign_Time(VCL_CMS_DER, msg.data(), n(msg), 0, text);
    if (rc != 0) {
        std::printf("%x\n", static_cast<unsigned>(rc));
        return 1;
    }
    std::printf("%s\n", text);
    return 0;
}

int ocspRead(char** argv) {
    const std::string resp = zqtest::readFile(argv[2]), trusted = zqtest::readFile(argv[3]);
    const std::string nonce = std::strcmp(argv[4], "-") == 0 ? std::string() : cotest::unhex(argv[4]);
    int respStatus = -1, certStatus = -1;
    char date[VCL_OCSP_DATE_SIZE] = "-", reason[VCL_OCSP_REASON_SIZE] = "-";
    const int rc =
        VCL_OCSP_Response(resp.data(), n(resp), trusted.data(), n(trusted), nonce.empty() ? nullptr : cotest::u(nonce),
                          n(nonce), &respStatus, &certStatus, date, reason);
    std::printf("%x %d %s %s\n", static_cast<unsigned>(rc), certStatus, date, reason);
    return 0;
}

int ocspRespond(int argc, char** argv) {
    cotest::RevokedList revoked;
    if (argc == 9) revoked[argv[6]] = {argv[7], std::atoi(argv[8])};
    const cotest::Cycle c =
        cotest::respond(zqtest::readFile(argv[2]), zqtest::readFile(argv[3]), zqtest::readFile(argv[4]), revoked);
    if (c.rc != 0) {
        std::printf("%s %x\n", c.step.c_str(), static_cast<unsigned>(c.rc));
        return 1;
    }
    zqtest::writeFile(argv[5], c.response);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "cms-sign" && argc == 6) return cmsSign(argv);
    if (cmd == "cms-time" && argc == 3) return cmsTime(argv);
    if (cmd == "ocsp-read" && argc == 5) return ocspRead(argv);
    if (cmd == "ocsp-respond" && (argc == 6 || argc == 9)) return ocspRespond(argc, argv);
    std::fprintf(stderr, "usage: see the head of CmsOcspTestHelper.cpp\n");
    return 2;
}
