// The virtual-keypad adapters: what differs per keypad provider (which
// callback URLs are its own, what its page URL carries, how the enciphered
// input of a callback becomes the password), the factory that holds the
// adapter of the open keypad, the keypad option text, and the two exported
// wrappers of the core's digest and cipher. No GTK here: the window lives in
// KeypadWindow.cpp.
//
// A callback URL comes from a remote page: every length in it is bounded
// before it reaches a buffer, and a value that does not fit is refused, never
// cut (a cut password would be another password).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

// ---- Limits and fixed values ---------------------------------------------------------

// The window's result buffer: at most 259 bytes of plain text and a NUL.
inline constexpr int kKeypadResultSize = 260;
inline constexpr int kKeypadMaxPlain = kKeypadResultSize - 1;
// Hex texts of a callback decode into buffers of the result's size.
inline constexpr int kKeypadMaxHexDigits = 2 * kKeypadResultSize;
// The Inca key buffer holds the decoded "rand".
inline constexpr int kIncaMaxRandBytes = 32;
// The Lumen key derivation hashes rand and the salt word, domainport and a
// digest, in buffers of the result's size.
inline constexpr int kLumenMaxRand = 250;
inline constexpr int kLumenMaxDomainPort = 240;

inline constexpr char kLumenSalt[] = "brovatane";
inline constexpr char kLumenIv[] = "quofenstralbimek";
// Our Inca keypad page enciphers under this IV too (tests/agent/ui/keypad_page.py
// is given it by the tests from here).
inline constexpr std::array<unsigned char, 16> kIncaIv = {0x49, 0x6e, 0x63, 0x61, 0x4b, 0x65, 0x79, 0x70,
                                                          0x61, 0x64, 0x2d, 0x49, 0x56, 0x21, 0x30, 0x31};

// ---- Bytes that are wiped when they go ------------------------------------------------

class WipedBytes {
public:
    WipedBytes() = default;
    explicit WipedBytes(size_t n) : m_bytes(n) {}
    ~WipedBytes() { clear(); }
    WipedBytes(const WipedBytes&) = delete;
    WipedBytes& operator=(const WipedBytes&) = delete;
    void clear();
    void assign(const void* data, size_t n);
    void resize(size_t n);
    unsigned char* data() { return m_bytes.data(); }
    const unsigned char* data() const { return m_bytes.data(); }
    size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }

private:
    std::vector<unsigned char> m_bytes;
};

// ---- Adapters ---------------------------------------------------------------------------

class IVirtualKeypad {
public:
    virtual ~IVirtualKeypad() = default;
    // Deciphers a callback URL into out (kKeypadResultSize bytes, zeroed by
    // the caller; the plain text without a NUL): 0, or a negative code with
    // nothing written.
    virtual int GetNavigate(std::string url, char* out) = 0;
    virtual int Init(std::string) = 0;
    // The URL of the keypad page to load for the page URL url.
    virtual std::string GetUrl(std::string url) = 0;
    // 255 for a callback URL of this provider, 0 for anything else.
    virtual int CheckURL(std::string url) = 0;
};

class CBasicVirtualKeypad : public IVirtualKeypad {
public:
    // len hex digits of hex into out (len / 2 bytes): len / 2; -1 for NULL
    // arguments, len of 0 or less, or odd; -2 for a character that is not a
    // hex digit (out may then hold a part).
    int GetHex2bin(const char* hex, unsigned char* out, int len);
    // One digit: 0 to 15; -1 for NUL, -2 for any other character.
    int GetHex2bin(char c);
    // Form encoding of at most len bytes of text: letters, digits, "-", "."
    // and "_" kept, white space as "+", everything else as "%XX".
    std::string URLEncode(const char* text, int len);
    char toHex(const unsigned char& nibble);
    // The value of name in a callback URL ("domainport" gives "host:port",
    // port 0 when the URL has none): 0, or -1 when the URL does not parse or
    // has no such parameter. A parameter name matches whole, at the start of
    // the query or after "?" or "&"; the first occurrence wins; the value is
    // not decoded.
    int GetPaserURL(const char* url, const char* name, std::string& value);
    // Standard Base64 of len characters (ended by "=" or by their end) into
    // out: the number of bytes, or -1 for NULL, a character outside the
    // alphabet or anything but "=" after the first "=".
    int Base64Decode(const char* text, int len, WipedBytes& out);
    int strnocasecmp(const char* a, const char* b, int n);
    bool URLParse_GetPort(const std::string& host, unsigned short& port);
    bool URLParse_GetServer(const std::string& host, std::string& server);
    bool URLParse_GetValue(const char* text, const char* name, std::string& value);
    bool URLParse(const char* url, int& unused, std::string& server, std::string& rest, unsigned short& port);

protected:
    // Digits checked as the buffers need them: 1 to maxDigits, even, hex
    // only. The bytes, or -1.
    int DecodeHexParam(const std::string& hex, int maxDigits, unsigned char* out);
    // Copies plain into out when it fits the result buffer; false otherwise.
    static bool CopyPlain(const unsigned char* plain, int len, char* out);
};

// "transkey://" callbacks with rand (text) and result (hex of SEED-CBC).
class CVirtualKeypad_Lumen : public CBasicVirtualKeypad {
public:
    int GetNavigate(std::string url, char* out) override;
    int Init(std::string) override { return 0; }
    std::string GetUrl(std::string url) override { return url; }
    int CheckURL(std::string url) override;
    // First 16 bytes of SHA-1(domainport || SHA-1(rand || salt)) into key
    // (16 bytes): 0; -1 for inputs over their limits, -2 or -3 when a
    // digest fails.
    int _GetSeedKey(const char* domainport, const char* rand, unsigned char* key, int* keyLen);
};

// "transkey://" callbacks with rand (hex, 1 to 32 bytes) and result (hex of
// ARIA-256-CBC under 256 rounds of SHA-256 over rand).
class CVirtualKeypad_Inca : public CBasicVirtualKeypad {
public:
    int GetNavigate(std::string url, char* out) override;
    int Init(std::string) override { return 0; }
    std::string GetUrl(std::string url) override { return url; }
    int CheckURL(std::string url) override;
};

// "nFilterkey://" callbacks with encdata (the page's key data and Base64 of
// its cipher text), keyed by a pair made for each page URL.
class CVirtualKeypad_NSHC : public CBasicVirtualKeypad {
public:
    // One key text of the pair, wiped when replaced or gone.
    class CNSHC_Key {
    public:
        virtual ~CNSHC_Key() { RemoveKey(); }
        // Nothing for NULL or len 0; else the old key goes and len bytes of
        // bytes are kept, with a NUL after them.
        void SetKey(const char* bytes, int len);
        const char* GetKey() const { return m_bytes.empty() ? nullptr : reinterpret_cast<const char*>(m_bytes.data()); }
        int GetKeyLength() const { return static_cast<int>(m_bytes.empty() ? 0 : m_bytes.size() - 1); }
        void RemoveKey() { m_bytes.clear(); }

    private:
        WipedBytes m_bytes;
    };

    int GetNavigate(std::string url, char* out) override;
    int Init(std::string) override { return 0; }
    std::string GetUrl(std::string url) override;
    int CheckURL(std::string url) override;
    virtual int _GetString(std::string encdata, char* out);

private:
    CNSHC_Key m_publicKey;
    CNSHC_Key m_privateKey;
};

// ---- Factory -------------------------------------------------------------------------------

class IVirtualKeypadCreator {
public:
    virtual ~IVirtualKeypadCreator() = default;
    virtual IVirtualKeypad* CreateVirtualKeypad() = 0;
};

class CWebDlgVirtualKeypad : public IVirtualKeypadCreator {
public:
    // A new adapter for name ("lumen", "inca", "nshc", any case, whole):
    // 0; -1 for NULL, -2 for a name without an adapter (none is held then).
    int CreateKeypad(const char* name);
    IVirtualKeypad* GetKeypad() { return m_keypad.get(); }
    void ReleaseKeypad() { m_keypad.reset(); }
    // A new adapter for the stored name (owned by the caller), or NULL.
    IVirtualKeypad* CreateVirtualKeypad() override;

private:
    std::unique_ptr<IVirtualKeypad> m_keypad;
    char m_name[100] = {};
};

// ---- The keypad option text -------------------------------------------------------------

// The page and the window's size from the provider option text ("url=",
// "width=", "height=", keys in any case, items joined by "&").
struct KeypadPageOption {
    std::string url;
    int width = 500;
    int height = 400;
};
// 0; -2 when the text has no URL or one the window must not open: only
// https, or http to this machine (127.0.0.1, ::1, localhost). Sizes are
// clamped to 100..1920 x 100..1200.
int KeypadOption_Parse(const char* text, KeypadPageOption& option);

// ---- Exported wrappers of the core ------------------------------------------------------

extern "C" {
// Digest name ("SHA1", "SHA256") over in: a new buffer (free) with a NUL
// after the digest. 0; -100 for no input, -1 when the digest fails, -200
// without memory.
__attribute__((visibility("default"))) int VSF_HASH_Data(const void* in, int len, unsigned char** out, int* outLen,
                                                         const char* name);
// The cipher name (a bare name completed to its CBC mode) over in, direction
// 1 enciphering, any other deciphering: a new buffer (free) with a NUL
// after the result. 0; -1 for no key or name, -200 for no input or a name
// without a mode, -300 / -400 when enciphering / deciphering fails, -500
// without memory.
__attribute__((visibility("default"))) int VSF_Cipher(const void* key, const void* iv, char* name, int pad,
                                                      const void* in, int inLen, void** out, int* outLen, int encoding,
                                                      int direction);
}
