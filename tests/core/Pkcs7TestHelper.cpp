// The PKCS#7 signing time in a child process, under the zone of its TZ.
//   core_p7_helper sign <cert> <key> <password> <YYYY-MM-DD,hh:mm:ss | now> <out>
//       a message of the ordinary maker with the VID random, DER into out
//   core_p7_helper time <message file>
//       the signer's signing time as VCL_PK7_Get_Sign_Time prints it
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <zunCore/keys.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>

namespace {

std::string readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int sign(char** argv) {
    const std::string cert = readAll(argv[2]), key = readAll(argv[3]);
    PKISTRINFO* s = VCL_PK1_New_PKISTRINFO();
    if (!s || VCL_PK1_Set_PKISTRINFO(s, cert.data(), static_cast<int>(cert.size()), key.data(),
                                     static_cast<int>(key.size()), argv[4]) != 0)
        return 2;
    ASN1_TIME* time = std::strcmp(argv[5], "now") == 0 ? nullptr : charToASN1_TIME(argv[5]);
    const std::string data = "signed under a time zone";
    char* out = nullptr;
    int len = 0;
    const int rc = VCL_PK7_Make_Signed_Data_With_Random(data.data(), static_cast<int>(data.size()), s, "SHA256", time,
                                                        1, 1, 1, 1, VCL_PK7_DER, &out, &len);
    free_ASN1_TIME(time);
    VCL_PK1_Free_PKISTRINFO(s);
    if (rc != 0) {
        std::printf("%x\n", static_cast<unsigned>(rc));
        return 1;
    }
    std::ofstream(argv[6], std::ios::binary).write(out, len);
    VCL_Free(out, len);
    return 0;
}

int time(char** argv) {
    const std::string msg = readAll(argv[2]);
    char text[VCL_PK7_SIGN_TIME_TEXT_SIZE] = {};
    const int rc = VCL_PK7_Get_Sign_Time(VCL_PK7_DER, msg.data(), static_cast<int>(msg.size()), 0, text);
    if (rc != 0) {
        std::printf("%x\n", static_cast<unsigned>(rc));
        return 1;
    }
    std::printf("%s\n", text);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "sign") == 0) return sign(argv);
    if (argc == 3 && std::strcmp(argv[1], "time") == 0) return time(argv);
    std::fprintf(stderr, "usage: core_p7_helper sign <cert> <key> <pw> <time|now> <out> | time <message>\n");
    return 2;
}
