// Callback URLs a keypad page may send, through the three adapters: the
// first byte chooses the adapter, the rest is the URI. Whatever the page
// sends, at most 259 bytes reach the result buffer and nothing past it; a
// refused callback writes nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/VirtualKeypad.h"

namespace {

// A fixed pair, so the seed corpus can hold callbacks sealed to it
// (fuzz/corpus/keypad_callback_fuzz.sh seals to the public half).
constexpr char kPrivate[] = "0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20";
constexpr char kPublic[] = "07a37cbc142093c8b755dc1b10e86cb426374ad16aa853ed0bdfc0b2b86d1c7c";

char* copyText(const char* text) {
    char* t = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    if (t) std::strcpy(t, text);
    return t;
}

}  // namespace

// Takes the place of the library's key generation for this program (the
// library's FreeString releases these with free as well).
extern "C" int N_GenerateKeypair(int, int, char** priv, int* privLen, char** pub, int* pubLen) {
    *priv = copyText(kPrivate);
    *pub = copyText(kPublic);
    *privLen = *pubLen = 64;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static CVirtualKeypad_Lumen lumen;
    static CVirtualKeypad_Inca inca;
    static CVirtualKeypad_NSHC nshc;
    static const bool paired = !nshc.GetUrl("https://keypad.example/").empty();
    (void)paired;
    CBasicVirtualKeypad* keypads[] = {&lumen, &inca, &nshc};
    CBasicVirtualKeypad& k = *keypads[data[0] % 3];
    const std::string url(reinterpret_cast<const char*>(data + 1), size - 1);

    const int mine = k.CheckURL(url);
    if (mine != 0 && mine != 255) abort();
    for (const char* name : {"rand", "result", "encdata", "domainport"}) {
        std::string value;
        const int rc = k.GetPaserURL(url.c_str(), name, value);
        if (rc != 0 && rc != -1) abort();
        if (rc == 0 && value.size() > url.size() + 6) abort();
        if (rc == 0 && std::strcmp(name, "domainport") == 0 && value.find(':') == std::string::npos) abort();
    }

    // The window's 260-byte buffer inside a larger one: byte 259 and what
    // follows stay zero.
    char buf[kKeypadResultSize + 64] = {};
    const int rc = k.GetNavigate(url, buf);
    if (mine == 0 && rc != -1) abort();
    for (size_t i = kKeypadMaxPlain; i < sizeof buf; ++i)
        if (buf[i] != 0) abort();
    if (rc < 0)
        for (const char c : buf)
            if (c != 0) abort();
    return 0;
}
