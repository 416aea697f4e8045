// The PKCS#11 loader against the fixture module built with the tests: unbound
// wrappers, a module without some functions, and counts and lengths no
// module can mean.
#include "Pkcs11Helpers.h"

#include <cstring>
#include <string>
#include <vector>

using p11test::FixtureControls;
using p11test::kFixture;
using p11test::Loader;

namespace {

// clang-format off
#define P11_POINTERS(X) \
    X(C_Initialize) \
    X(C_Finalize) \
    X(C_GetSlotList) \
    X(C_GetTokenInfo) \
    X(C_OpenSession) \
    X(C_CloseSession) \
    X(C_Login) \
    X(C_Logout) \
    X(C_GetAttributeValue) \
    X(C_FindObjectsInit) \
    X(C_FindObjects) \
    X(C_FindObjectsFinal) \
    X(C_GetSlotInfo) \
    X(C_GetFunctionList) \
    X(C_GetInfo) \
    X(C_GenerateKeyPair) \
    X(C_CreateObject) \
    X(C_EncryptInit) \
    X(C_Encrypt) \
    X(C_EncryptUpdate) \
    X(C_EncryptFinal) \
    X(C_DecryptInit) \
    X(C_Decrypt) \
    X(C_DecryptUpdate) \
    X(C_DecryptFinal) \
    X(C_DigestInit) \
    X(C_Digest) \
    X(C_DigestUpdate) \
    X(C_DigestKey) \
    X(C_DigestFinal) \
    X(C_SignInit) \
    X(C_Sign) \
    X(C_SignUpdate) \
    X(C_SignFinal) \
    X(C_VerifyInit) \
    X(C_Verify) \
    X(C_DestroyObject)
// clang-format on

// The names whose pointers are bound.
std::vector<std::string> bound() {
    std::vector<std::string> names;
#define P11_IF_BOUND(name) \
    if (pfn##name) names.push_back(#name);
    P11_POINTERS(P11_IF_BOUND)
#undef P11_IF_BOUND
    return names;
}

// One call of every wrapper; none may reach a module while unbound, so null
// arguments are safe.
struct Call {
    const char* name;
    CK_RV (*call)();
};
const Call kEveryWrapper[] = {
    {"C_Initialize", [] { return p11_C_Initialize(nullptr); }},
    {"C_Finalize", [] { return p11_C_Finalize(nullptr); }},
    {"C_GetSlotList", [] { return p11_C_GetSlotList(1, nullptr, nullptr); }},
    {"C_GetTokenInfo", [] { return p11_C_GetTokenInfo(0, nullptr); }},
    {"C_OpenSession", [] { return p11_C_OpenSession(0, 0, nullptr, nullptr, nullptr); }},
    {"C_CloseSession", [] { return p11_C_CloseSession(0); }},
    {"C_Login", [] { return p11_C_Login(0, CKU_USER, nullptr, 0); }},
    {"C_Logout", [] { return p11_C_Logout(0); }},
    {"C_GetAttributeValue", [] { return p11_C_GetAttributeValue(0, 0, nullptr, 0); }},
    {"C_FindObjectsInit", [] { return p11_C_FindObjectsInit(0, nullptr, 0); }},
    {"C_FindObjects", [] { return p11_C_FindObjects(0, nullptr, 0, nullptr); }},
    {"C_FindObjectsFinal", [] { return p11_C_FindObjectsFinal(0); }},
    {"C_GetSlotInfo", [] { return p11_C_GetSlotInfo(0, nullptr); }},
    {"C_GetFunctionList", [] { return p11_C_GetFunctionList(nullptr); }},
    {"C_GetInfo", [] { return p11_C_GetInfo(nullptr); }},
    {"C_GenerateKeyPair", [] { return p11_C_GenerateKeyPair(0, nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr); }},
    {"C_CreateObject", [] { return p11_C_CreateObject(0, nullptr, 0, nullptr); }},
    {"C_EncryptInit", [] { return p11_C_EncryptInit(0, nullptr, 0); }},
    {"C_Encrypt", [] { return p11_C_Encrypt(0, nullptr, 0, nullptr, nullptr); }},
    {"C_EncryptUpdate", [] { return p11_C_EncryptUpdate(0, nullptr, 0, nullptr, nullptr); }},
    {"C_EncryptFinal", [] { return p11_C_EncryptFinal(0, nullptr, nullptr); }},
    {"C_DecryptInit", [] { return p11_C_DecryptInit(0, nullptr, 0); }},
    {"C_Decrypt", [] { return p11_C_Decrypt(0, nullptr, 0, nullptr, nullptr); }},
    {"C_DecryptUpdate", [] { return p11_C_DecryptUpdate(0, nullptr, 0, nullptr, nullptr); }},
    {"C_DecryptFinal", [] { return p11_C_DecryptFinal(0, nullptr, nullptr); }},
    {"C_DigestInit", [] { return p11_C_DigestInit(0, nullptr); }},
    {"C_Digest", [] { return p11_C_Digest(0, nullptr, 0, nullptr, nullptr); }},
    {"C_DigestUpdate", [] { return p11_C_DigestUpdate(0, nullptr, 0); }},
    {"C_DigestKey", [] { return p11_C_DigestKey(0, 0); }},
    {"C_DigestFinal", [] { return p11_C_DigestFinal(0, nullptr, nullptr); }},
    {"C_SignInit", [] { return p11_C_SignInit(0, nullptr, 0); }},
    {"C_Sign", [] { return p11_C_Sign(0, nullptr, 0, nullptr, nullptr); }},
    {"C_SignUpdate", [] { return p11_C_SignUpdate(0, nullptr, 0); }},
    {"C_SignFinal", [] { return p11_C_SignFinal(0, nullptr, nullptr); }},
    {"C_VerifyInit", [] { return p11_C_VerifyInit(0, nullptr, 0); }},
    {"C_Verify", [] { return p11_C_Verify(0, nullptr, 0, nullptr, 0); }},
    {"C_DestroyObject", [] { return p11_C_DestroyObject(0, 0); }},
};

void expectAllUnbound(const char* when) {
    SCOPED_TRACE(when);
    EXPECT_TRUE(bound().empty());
    EXPECT_EQ(std::size(kEveryWrapper), 37u);
    for (const Call& c : kEveryWrapper) EXPECT_EQ(c.call(), 400u) << c.name;
}

TEST_F(Loader, EveryWrapperAnswers400WhileNothingIsBound) {
    expectAllUnbound("before any load");
    EXPECT_EQ(_load_pkcs11_module("/nonexistent/libmissing.so"), -1);
    expectAllUnbound("after a failed load");
    EXPECT_EQ(_load_pkcs11_module(nullptr), -1);
    EXPECT_EQ(_load_pkcs11_module(""), -1);
    expectAllUnbound("after loading nothing");

    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    EXPECT_FALSE(bound().empty());
    _unload_pkcs11_module();
    expectAllUnbound("after an unload");
    EXPECT_FALSE(p11test::mapped(kFixture));

    // A failed load after a good one leaves nothing of the earlier module.
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    EXPECT_EQ(_load_pkcs11_module("/nonexistent/libmissing.so"), -1);
    expectAllUnbound("after a failed load replaced a good one");
    EXPECT_FALSE(p11test::mapped(kFixture));
    _assign_function_list();
    expectAllUnbound("after binding without a module");
}

TEST_F(Loader, MissingFunctionsStayUnbound) {
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    EXPECT_EQ(bound(), (std::vector<std::string>{"C_Initialize", "C_Finalize", "C_GetSlotList", "C_GetAttributeValue",
                                                 "C_FindObjects", "C_GetInfo", "C_Encrypt", "C_DecryptFinal",
                                                 "C_Digest", "C_SignInit", "C_Sign"}));
    EXPECT_EQ(p11_C_Initialize(nullptr), CKR_OK);
    CK_MECHANISM mech{CKM_SHA256_RSA_PKCS, nullptr, 0};
    EXPECT_EQ(p11_C_SignInit(1, &mech, 2), CKR_OK);
    CK_BYTE data[] = "data";
    CK_BYTE sig[16];
    CK_ULONG sigLen = sizeof sig;
    EXPECT_EQ(p11_C_Sign(1, data, 4, sig, &sigLen), CKR_OK);
    EXPECT_EQ(sigLen, 4u);
    EXPECT_EQ(p11_C_SignUpdate(1, data, 4), 400u);
    EXPECT_EQ(p11_C_SignFinal(1, sig, &sigLen), 400u);
    CK_INFO info;
    ASSERT_EQ(p11_C_GetInfo(&info), CKR_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(info.manufacturerID), 14), "loader fixture");
    EXPECT_EQ(p11_C_Finalize(nullptr), CKR_OK);
}

// Any non-zero tokenPresent arrives as CK_TRUE (its low byte alone would make
// 0x100 "every slot").
TEST_F(Loader, TokenPresentArrivesAsOneByte) {
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    FixtureControls fixture;
    ASSERT_TRUE(fixture.ok());
    for (auto [given, arrives] : {std::pair<CK_ULONG, int>{0x101, 1}, {0x100, 1}, {1, 1}, {0, 0}}) {
        CK_ULONG n = 0;
        EXPECT_EQ(p11_C_GetSlotList(given, nullptr, &n), CKR_OK);
        EXPECT_EQ(fixture.tokenPresent(), arrives) << given;
    }
}

constexpr CK_ULONG kUnavailable = CK_UNAVAILABLE_INFORMATION;
constexpr CK_ULONG k16MiB = 16ul << 20;

// The bytes a caller takes from a buffer after a call: as many as reported
// on success. Reading them is what the sanitizers watch.
std::string taken(CK_RV rv, const std::vector<CK_BYTE>& buffer, CK_ULONG len) {
    if (rv != CKR_OK) return {};
    return std::string(reinterpret_cast<const char*>(buffer.data()), len);
}

// Output lengths: the module writes within the room it got and reports the
// chosen length. What does not fit the room, is no length, or is past the
// cap is refused with the length set to 0.
TEST_F(Loader, OutputLengthsAreChecked) {
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    FixtureControls fixture;
    ASSERT_TRUE(fixture.ok());
    struct Case {
        CK_ULONG answer;
        CK_RV rv;
        CK_ULONG room;  // 0: a size query (no output)
        CK_RV expected;
        CK_ULONG expectedLen;
    } cases[] = {
        {4, CKR_OK, 64, CKR_OK, 4},
        {64, CKR_OK, 64, CKR_OK, 64},
        {65, CKR_OK, 64, P11_BAD_ANSWER, 0},
        {kUnavailable, CKR_OK, 64, P11_BAD_ANSWER, 0},
        {k16MiB, CKR_OK, 64, P11_BAD_ANSWER, 0},
        {300, CKR_OK, 0, CKR_OK, 300},
        {P11_MAX_VALUE_LEN, CKR_OK, 0, CKR_OK, P11_MAX_VALUE_LEN},
        {k16MiB, CKR_OK, 0, P11_BAD_ANSWER, 0},
        {kUnavailable, CKR_OK, 0, P11_BAD_ANSWER, 0},
        {128, CKR_BUFFER_TOO_SMALL, 64, CKR_BUFFER_TOO_SMALL, 128},
        {k16MiB, CKR_BUFFER_TOO_SMALL, 64, P11_BAD_ANSWER, 0},
        // Errors pass as they are; the length is not to be read then.
        {kUnavailable, CKR_FUNCTION_FAILED, 64, CKR_FUNCTION_FAILED, kUnavailable},
    };
    CK_BYTE in[16] = {};
    struct Fn {
        const char* name;
        CK_RV (*call)(CK_BYTE* in, CK_BYTE* out, CK_ULONG* len);
    } fns[] = {
        {"C_Sign", [](CK_BYTE* i, CK_BYTE* o, CK_ULONG* l) { return p11_C_Sign(1, i, 16, o, l); }},
        {"C_Encrypt", [](CK_BYTE* i, CK_BYTE* o, CK_ULONG* l) { return p11_C_Encrypt(1, i, 16, o, l); }},
        {"C_Digest", [](CK_BYTE* i, CK_BYTE* o, CK_ULONG* l) { return p11_C_Digest(1, i, 16, o, l); }},
        {"C_DecryptFinal", [](CK_BYTE*, CK_BYTE* o, CK_ULONG* l) { return p11_C_DecryptFinal(1, o, l); }},
    };
    for (const Fn& fn : fns) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(fn.name) + " answer " + std::to_string(c.answer) + " room " +
                         std::to_string(c.room));
            fixture.answer(c.answer, c.rv);
            std::vector<CK_BYTE> out(c.room);
            CK_ULONG len = c.room;
            const CK_RV rv = fn.call(in, c.room ? out.data() : nullptr, &len);
            EXPECT_EQ(rv, c.expected);
            EXPECT_EQ(len, c.expectedLen);
            if (c.room) {
                EXPECT_EQ(taken(rv, out, len), std::string(rv == CKR_OK ? len : 0, '\xab'));
            }
        }
    }
}

// Encrypt and decrypt outputs may pass the input by at most the cap.
TEST_F(Loader, EncryptOutputsAreBoundByTheirInput) {
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    FixtureControls fixture;
    ASSERT_TRUE(fixture.ok());
    CK_BYTE in[16] = {};
    CK_ULONG len = 0;
    fixture.answer(16 + P11_MAX_VALUE_LEN, CKR_OK);
    EXPECT_EQ(p11_C_Encrypt(1, in, 16, nullptr, &len), CKR_OK);
    fixture.answer(17 + P11_MAX_VALUE_LEN, CKR_OK);
    EXPECT_EQ(p11_C_Encrypt(1, in, 16, nullptr, &len), P11_BAD_ANSWER);
    // An input length near the top does not wrap the bound.
    fixture.answer(kUnavailable - 1, CKR_OK);
    EXPECT_EQ(p11_C_Encrypt(1, in, kUnavailable - 2, nullptr, &len), CKR_OK);
    fixture.answer(kUnavailable, CKR_OK);
    EXPECT_EQ(p11_C_Encrypt(1, in, kUnavailable - 2, nullptr, &len), P11_BAD_ANSWER);
}

TEST_F(Loader, AttributeLengthsAreChecked) {
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    FixtureControls fixture;
    ASSERT_TRUE(fixture.ok());
    struct Case {
        CK_ULONG answer;
        CK_RV rv;
        CK_RV expected;
        CK_ULONG withRoom;  // what the entry with a 32-byte buffer reads
        CK_ULONG sizeOnly;  // what the size query reads
    } cases[] = {
        {20, CKR_OK, CKR_OK, 20, 20},
        {40, CKR_OK, P11_BAD_ANSWER, kUnavailable, 40},
        {kUnavailable, CKR_OK, P11_BAD_ANSWER, kUnavailable, kUnavailable},
        {k16MiB, CKR_OK, P11_BAD_ANSWER, kUnavailable, kUnavailable},
        // The standard's mark of a value that cannot be revealed.
        {kUnavailable, CKR_ATTRIBUTE_SENSITIVE, CKR_ATTRIBUTE_SENSITIVE, kUnavailable, kUnavailable},
        {40, CKR_BUFFER_TOO_SMALL, CKR_BUFFER_TOO_SMALL, 40, 40},
        {k16MiB, CKR_BUFFER_TOO_SMALL, P11_BAD_ANSWER, kUnavailable, kUnavailable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("answer " + std::to_string(c.answer) + " rv " + std::to_string(c.rv));
        fixture.answer(c.answer, c.rv);
        std::vector<CK_BYTE> value(32);
        CK_ATTRIBUTE attrs[] = {{CKA_VALUE, value.data(), 32}, {CKA_ID, nullptr, 0}};
        const CK_RV rv = p11_C_GetAttributeValue(1, 2, attrs, 2);
        EXPECT_EQ(rv, c.expected);
        EXPECT_EQ(attrs[0].ulValueLen, c.withRoom);
        EXPECT_EQ(attrs[1].ulValueLen, c.sizeOnly);
        if (rv == CKR_OK) {
            EXPECT_EQ(taken(rv, value, attrs[0].ulValueLen), std::string(20, '\xcd'));
        }
    }
}

TEST_F(Loader, CountsAreChecked) {
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    FixtureControls fixture;
    ASSERT_TRUE(fixture.ok());

    CK_SLOT_ID slots[4] = {};
    CK_ULONG n = 4;
    fixture.answer(2, CKR_OK);
    EXPECT_EQ(p11_C_GetSlotList(CK_TRUE, slots, &n), CKR_OK);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(slots[1], 8u);
    n = 4;
    fixture.answer(5, CKR_OK);
    EXPECT_EQ(p11_C_GetSlotList(CK_TRUE, slots, &n), P11_BAD_ANSWER);
    EXPECT_EQ(n, 0u);
    fixture.answer(P11_MAX_SLOT_COUNT + 1, CKR_OK);
    EXPECT_EQ(p11_C_GetSlotList(CK_TRUE, nullptr, &n), P11_BAD_ANSWER);
    EXPECT_EQ(n, 0u);
    fixture.answer(kUnavailable, CKR_OK);
    EXPECT_EQ(p11_C_GetSlotList(CK_TRUE, nullptr, &n), P11_BAD_ANSWER);
    fixture.answer(P11_MAX_SLOT_COUNT, CKR_OK);
    EXPECT_EQ(p11_C_GetSlotList(CK_TRUE, nullptr, &n), CKR_OK);
    EXPECT_EQ(n, P11_MAX_SLOT_COUNT);

    CK_OBJECT_HANDLE objects[4];
    CK_ULONG found = 0;
    fixture.answer(3, CKR_OK);
    EXPECT_EQ(p11_C_FindObjects(1, objects, 4, &found), CKR_OK);
    EXPECT_EQ(found, 3u);
    EXPECT_EQ(objects[2], 102u);
    fixture.answer(5, CKR_OK);
    EXPECT_EQ(p11_C_FindObjects(1, objects, 4, &found), P11_BAD_ANSWER);
    EXPECT_EQ(found, 0u);
}

}  // namespace
