// Certificate bytes through the store's classification and naming: a class
// is -1 or 1-9 and the same from every function, every folder name handed
// out is one safe path component, and the government names keep their
// forms.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zephaltpavix/zephaltpavix.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

bool safeComponent(const char* p, int n) {
    if (!p || n <= 0 || std::strlen(p) != static_cast<size_t>(n)) return false;
    const std::string_view name(p, static_cast<size_t>(n));
    return name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int len = static_cast<int>(size);
    const int cls = VPL_Get_CertType(data, len);
    check(cls == -1 || (cls >= 1 && cls <= 9));

    char *ca = nullptr, *subject = nullptr;
    int caLen = -1, subjectLen = -1;
    const int named = VPL_Cert_PublicANDPrivate(data, len, &ca, &caLen, &subject, &subjectLen);
    if (named >= 1 && named <= 9) {
        check(named == cls);
        check(safeComponent(ca, caLen) && safeComponent(subject, subjectLen));
    } else {
        check(named == -1 || named == VPL_ERR_PATH);
        check(!ca && !subject && caLen == 0 && subjectLen == 0);
        check(named == VPL_ERR_PATH ? cls != -1 : true);
    }
    VPL_Free(ca, caLen);
    VPL_Free(subject, subjectLen);

    char* cn = nullptr;
    int use = -1, gpkiClass = -1;
    const int rc = VPL_Get_GPKI_CNNameOfSubjectDN(data, len, &cn, &use, &gpkiClass);
    if (rc == 0) {
        check(cn && safeComponent(cn, static_cast<int>(std::strlen(cn))));
        check(use == 0 || use == 3 || use == 4);
        check(gpkiClass == 1 || gpkiClass == 2);
        check(cls != -1);
    } else {
        check(!cn && (rc == -1 || rc == VPL_ERR_X509_INFO || rc == VPL_ERR_PATH));
    }
    std::free(cn);

    // The bytes as a DN text and a key id, read only within their length.
    char* out = nullptr;
    int outLen = 0;
    const char* text = reinterpret_cast<const char*>(data);
    VPL_OEqual_Find(text, len, &out, &outLen);
    check(!out || static_cast<size_t>(outLen) < size);
    VPL_Free(out, outLen);
    if (VPL_ToUpper(text, len, &out, &outLen) == 0 && out) {
        check(static_cast<size_t>(outLen) <= size);
        for (int i = 0; i < outLen; ++i) check(!(out[i] >= 'a' && out[i] <= 'z'));
        VPL_Free(out, outLen);
    }
    return 0;
}
