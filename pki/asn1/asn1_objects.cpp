#include <zunPKI/asn1/asn1_objects.h>

#include <zunCrypto/algid.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <unordered_map>

#include "asn1/ber_internal.hpp"

namespace {

#define OWN_ARC ZUNPKI_OWN_OID_ARC

constexpr OID_TABLE kRows[] = {
#include "asn1_objects_table.inc"
};
static_assert(sizeof kRows / sizeof kRows[0] == OID_TABLE_ROWS, "row numbers are handles");

#undef OWN_ARC

constexpr int kRowCount = OID_TABLE_ROWS;

bool validRow(int row) { return row >= 1 && row < kRowCount; }

// Text -> first row, for the dotted texts and both names; built once, so a
// lookup costs one hash instead of a walk over the rows. The hasher is ours so
// the map's code stays inside the library instead of being exported with the
// standard library's visibility.
struct TextHash {
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
using TextIndex = std::unordered_map<std::string_view, int, TextHash>;

struct Indexes {
    TextIndex byOid, bySn, byLn;
    Indexes() {
        for (int row = 0; row < kRowCount; ++row) {
            const OID_TABLE& r = kRows[row];
            // emplace keeps the first row where several share a text
            if (r.oid != nullptr) byOid.emplace(r.oid, row);
            if (r.sn != nullptr) bySn.emplace(r.sn, row);
            if (r.ln != nullptr) byLn.emplace(r.ln, row);
        }
    }
};

const Indexes& indexes() {
    static const Indexes idx;
    return idx;
}

// DER contents -> dotted text of the rows: most identifiers a decoder meets
// are in the table, and taking their text beats converting arc by arc. An
// open-addressed table of short contents; only texts that convert back to
// themselves are listed.
class ContentsIndex {
public:
    static constexpr size_t kMaxKey = 22;

    ContentsIndex() {
        for (int row = 0; row < kRowCount; ++row) {
            const char* text = kRows[row].oid;
            if (text == nullptr) continue;
            zpki::ber::Bytes der;
            const size_t len = std::strlen(text);
            char back[zpki::ber::kMaxOidText];
            size_t n = 0;
            if (!zpki::ber::oidTextToContents(text, len, der) || der.size() > kMaxKey ||
                !zpki::ber::oidContentsToText(der.data(), der.size(), back, n) || n != len ||
                std::memcmp(back, text, n) != 0)
                continue;
            Slot* slot = probe(der.data(), der.size());
            if (slot->text) continue;  // the first row wins
            slot->len = static_cast<uint8_t>(der.size());
            std::memcpy(slot->key, der.data(), der.size());
            slot->text = text;
            slot->textLen = static_cast<uint16_t>(len);
        }
    }
    bool find(const uint8_t* contents, size_t len, std::string_view& text) const {
        if (len == 0 || len > kMaxKey) return false;
        const Slot* slot = const_cast<ContentsIndex*>(this)->probe(contents, len);
        if (!slot->text) return false;
        text = std::string_view(slot->text, slot->textLen);
        return true;
    }

private:
    struct Slot {
        uint8_t len = 0;
        uint8_t key[kMaxKey] = {};
        uint16_t textLen = 0;
        const char* text = nullptr;
    };
    static constexpr size_t kSlots = 2048;  // a power of two, less than half full
    std::array<Slot, kSlots> m_slots{};

    // The slot holding the key, or the empty one where it would go.
    Slot* probe(const uint8_t* key, size_t len) {
        uint64_t h = 0xcbf29ce484222325ull;
        for (size_t i = 0; i < len; ++i) h = (h ^ key[i]) * 0x100000001b3ull;
        for (size_t i = h & (kSlots - 1);; i = (i + 1) & (kSlots - 1)) {
            Slot& s = m_slots[i];
            if (!s.text || (s.len == len && std::memcmp(s.key, key, len) == 0)) return &s;
        }
    }
};

int lookup(const TextIndex& map, const char* text, int len) {
    if (text == nullptr || len <= 0) return 0;
    auto it = map.find(std::string_view(text, static_cast<size_t>(len)));
    return it == map.end() ? 0 : it->second;
}

// Row -> algorithm id, as rows of one id listed together.
struct IdRows {
    int id;
    std::initializer_list<int> rows;
};

template <size_t N>
std::array<int, kRowCount> perRow(const IdRows (&groups)[N]) {
    std::array<int, kRowCount> table{};
    for (const auto& g : groups)
        for (int row : g.rows) table[static_cast<size_t>(row)] = g.id;
    return table;
}

constexpr int CBC = VSC_CIPHER_MODE_CBC, CFB = VSC_CIPHER_MODE_CFB, OFB = VSC_CIPHER_MODE_OFB;

const IdRows kDigestRows[] = {
    {VSC_DIGEST_MD5, {4, 8, 10, 104, 112, 169}},
    {VSC_DIGEST_SHA1,
     {64, 65, 68, 70, 113, 115, 144, 145, 146, 147, 148, 149, 170, 416, 780, 784, 793, 802, 811, 819, 828}},
    {VSC_DIGEST_MDC2, {95, 96}},
    {VSC_HMAC_SHA1, {163, 325}},
    {VSC_DIGEST_SHA256, {668, 672, 820, 829, 840, 841}},
    {VSC_DIGEST_SHA384, {669, 673}},
    {VSC_DIGEST_SHA512, {670, 674}},
    {VSC_DIGEST_SHA224, {671, 675}},
    {VSC_DIGEST_HAS160, {781, 783, 801, 812, 821, 830}},
};

// Symmetric ciphers, the first row of each group being the cipher's own row.
const IdRows kCipherRows[] = {
    {VSC_CIPHER_DES, {29, 323, 643, 800}},
    {VSC_CIPHER_DES | CBC, {31, 9, 10, 80, 170}},
    {VSC_CIPHER_DES | CFB, {30, 656, 657}},
    {VSC_CIPHER_DES | OFB, {45}},
    {VSC_CIPHER_DES_EDE, {32, 241, 243, 246}},
    {VSC_CIPHER_DES_EDE | CBC, {43}},
    {VSC_CIPHER_DES_EDE | CFB, {60}},
    {VSC_CIPHER_DES_EDE | OFB, {62}},
    {VSC_CIPHER_DES_EDE_2KEY | CBC, {147}},
    {VSC_CIPHER_DES_EDE3, {33}},
    {VSC_CIPHER_DES_EDE3 | CBC, {44, 146}},
    {VSC_CIPHER_DES_EDE3 | CFB, {61, 658, 659}},
    {VSC_CIPHER_DES_EDE3 | OFB, {63}},
    {VSC_PBE_RC2_128_CBC, {148}},
    {VSC_PBE_RC2_40_CBC, {149}},
    {VSC_CIPHER_AES128, {418}},
    {VSC_CIPHER_AES128 | CBC, {419}},
    {VSC_CIPHER_AES128 | CFB, {421, 650, 653}},
    {VSC_CIPHER_AES128 | OFB, {420}},
    {VSC_CIPHER_AES192, {422}},
    {VSC_CIPHER_AES192 | CBC, {423}},
    {VSC_CIPHER_AES192 | CFB, {425, 651, 654}},
    {VSC_CIPHER_AES192 | OFB, {424}},
    {VSC_CIPHER_AES256, {426}},
    {VSC_CIPHER_AES256 | CBC, {427}},
    {VSC_CIPHER_AES256 | CFB, {429, 652, 655}},
    {VSC_CIPHER_AES256 | OFB, {428}},
    {VSC_CIPHER_ARIA128, {823}},
    {VSC_CIPHER_ARIA128 | CBC, {824, 828, 829, 830}},
    {VSC_CIPHER_ARIA128 | CFB, {826}},
    {VSC_CIPHER_ARIA128 | OFB, {825}},
    {VSC_CIPHER_SEED, {776}},
    {VSC_CIPHER_SEED | CBC, {777, 780, 793}},
    {VSC_CIPHER_SEED | CFB, {779}},
    {VSC_CIPHER_SEED | OFB, {778}},
    {VSC_CIPHER_RC5, {121}},
    {VSC_CIPHER_RC5 | CBC, {120}},
    {VSC_CIPHER_RC5 | CFB, {122}},
    {VSC_CIPHER_RC5 | OFB, {123}},
    {VSC_CIPHER_BF, {92}},
    {VSC_CIPHER_BF | CBC, {91}},
    {VSC_CIPHER_BF | CFB, {93}},
    {VSC_CIPHER_BF | OFB, {94}},
};

const IdRows kKeyRows[] = {
    {VSC_PKEY_RSA, {6, 19, 96, 104, 115, 119, 377, 794}},
    {VSC_PKEY_RSA_SIG, {7, 8, 42, 65, 396, 668, 669, 670, 671}},
    {VSC_PKEY_RSA_PSS, {435, 835}},
    {VSC_PKEY_RSA_OAEP_SET, {644}},
    {VSC_PKEY_RSA_OAEP, {832}},
    {VSC_PKEY_DSA, {66, 67, 70, 113, 116}},
    {VSC_PKEY_KCDSA, {782, 783, 784, 801, 802, 841}},
    {VSC_PKEY_ECDSA, {840}},
};

// Cipher ids whose rows are only password-based schemes or rows without an
// identifier of their own: no row stands for the plain cipher.
constexpr int kNoCipherRow[] = {VSC_CIPHER_DES_EDE3, VSC_CIPHER_DES_EDE_2KEY | CBC, VSC_PBE_RC2_128_CBC,
                                VSC_PBE_RC2_40_CBC};

const std::array<int, kRowCount>& digestOfRow() {
    static const auto table = perRow(kDigestRows);
    return table;
}

const std::array<int, kRowCount>& cipherOfRow() {
    static const auto table = [] {
        auto t = perRow(kCipherRows);
        auto keys = perRow(kKeyRows);
        for (size_t i = 0; i < t.size(); ++i)
            if (keys[i] != 0) t[i] = keys[i];
        return t;
    }();
    return table;
}

// Algorithm kinds, as row lists: digests or MACs, symmetric ciphers, public-key
// rows (signatures are digest | public key = 3) and password-based schemes.
const std::array<unsigned char, kRowCount>& kindOfRow() {
    static const auto table = [] {
        std::array<unsigned char, kRowCount> t{};
        auto mark = [&t](std::initializer_list<std::pair<int, int>> ranges, unsigned char kind) {
            for (auto [first, last] : ranges)
                for (int row = first; row <= last; ++row) t[static_cast<size_t>(row)] |= kind;
        };
        mark({{3, 4},     {7, 8},     {41, 42},   {64, 66},   {70, 70},   {95, 96},   {104, 104},
              {113, 115}, {117, 117}, {119, 119}, {163, 163}, {257, 257}, {396, 396}, {416, 416},
              {668, 675}, {781, 781}, {783, 784}, {797, 797}, {799, 802}, {841, 841}},
             OID_ALGOR_DIGEST);
        mark({{5, 5},
              {29, 40},
              {43, 46},
              {60, 63},
              {80, 80},
              {91, 94},
              {97, 98},
              {108, 111},
              {120, 123},
              {166, 166},
              {241, 244},
              {246, 247},
              {418, 429},
              {643, 643},
              {650, 659},
              {751, 768},
              {776, 779},
              {823, 826}},  // ARIA, a cipher like SEED beside it
             OID_ALGOR_CIPHER);
        mark({{6, 8},
              {19, 19},
              {66, 67},
              {70, 70},
              {96, 96},
              {104, 104},
              {113, 113},
              {115, 116},
              {119, 119},
              {377, 377},
              {396, 396},
              {416, 416},
              {435, 435},
              {644, 644},
              {668, 671},
              {782, 784},
              {794, 794},
              {801, 802},
              {841, 841}},
             OID_ALGOR_PKEY);
        mark({{9, 10},
              {112, 112},
              {144, 149},
              {161, 162},
              {168, 170},
              {780, 780},
              {793, 793},
              {796, 796},
              {811, 812},
              {819, 821},
              {828, 830}},
             OID_ALGOR_PBE);
        return t;
    }();
    return table;
}

int firstRowOf(const IdRows* groups, size_t n, int id) {
    for (size_t i = 0; i < n; ++i)
        if (groups[i].id == id) return *groups[i].rows.begin();
    return 0;
}

}  // namespace

namespace zpki::ber {

bool knownOidText(const uint8_t* contents, size_t len, std::string_view& text) {
    static const ContentsIndex index;
    return index.find(contents, len, text);
}

}  // namespace zpki::ber

extern "C" {

int index_from_oid_string(const char* text, int len) { return lookup(indexes().byOid, text, len); }

int index_from_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER* oid) {
    if (oid == nullptr || oid->data == nullptr) return 0;
    return index_from_oid_string(reinterpret_cast<const char*>(oid->data), oid->length);
}

int index_from_sn(const char* name, int len) { return lookup(indexes().bySn, name, len); }

int index_from_ln(const char* name, int len) { return lookup(indexes().byLn, name, len); }

const char* sn_from_index(int row) { return validRow(row) ? kRows[row].sn : nullptr; }

const char* ln_from_index(int row) { return validRow(row) ? kRows[row].ln : nullptr; }

OBJECT_IDENTIFIER* index_to_OBJECT_IDENTIFIER(int row) {
    if (!validRow(row) || kRows[row].oid == nullptr) return nullptr;
    const char* text = kRows[row].oid;
    return new_OBJECT_IDENTIFIER(text, static_cast<int>(std::strlen(text)));
}

OBJECT_IDENTIFIER* get_OBJECT_IDENTIFIER(const char* name, int row) {
    if (row == 0) {
        if (name == nullptr) return nullptr;
        int len = static_cast<int>(std::strlen(name));
        row = index_from_sn(name, len);
        if (row == 0) row = index_from_ln(name, len);
        if (row == 0) return nullptr;
    }
    return index_to_OBJECT_IDENTIFIER(row);
}

const OID_TABLE* OID_LIST(int row) { return &kRows[row >= 0 && row < kRowCount ? row : 0]; }

int cmp_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER* a, const OBJECT_IDENTIFIER* b) {
    if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
    if (a->length != b->length) return a->length - b->length;
    if (a->length <= 0) return 0;
    return std::memcmp(a->data, b->data, static_cast<size_t>(a->length));
}

OBJECT_IDENTIFIER* dup_OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER* oid) {
    if (oid == nullptr || oid->data == nullptr || oid->length <= 0) return nullptr;
    return new_OBJECT_IDENTIFIER(reinterpret_cast<const char*>(oid->data), oid->length);
}

int get_DigestID_from_OID(int row) { return validRow(row) ? digestOfRow()[static_cast<size_t>(row)] : 0; }

int get_CipherID_from_OID(int row) { return validRow(row) ? cipherOfRow()[static_cast<size_t>(row)] : 0; }

int get_AlgorType_from_OID(int row) { return validRow(row) ? kindOfRow()[static_cast<size_t>(row)] : 0; }

int get_OID_from_DigestID(int digestId) {
    // The plain digest rows, not the first signature row of each digest.
    switch (digestId) {
        case VSC_DIGEST_SHA1:
            return 64;
        case VSC_DIGEST_SHA224:
            return 675;
        case VSC_DIGEST_SHA256:
            return 672;
        case VSC_DIGEST_SHA384:
            return 673;
        case VSC_DIGEST_SHA512:
            return 674;
        case VSC_DIGEST_MD5:
            return 4;
        case VSC_DIGEST_HAS160:
            return 781;
        case VSC_DIGEST_MDC2:
            return 95;
        case VSC_HMAC_SHA1:
            return 163;
        default:
            return 0;
    }
}

int get_OID_from_CipherID(int cipherId) {
    for (int none : kNoCipherRow)
        if (cipherId == none) return 0;
    return firstRowOf(kCipherRows, std::size(kCipherRows), cipherId);
}

}  // extern "C"
