// The PKCS#11 loader with SoftHSM2, a real module, checked against
// pkcs11-tool on the same token: load, initialise, slots, token information,
// a logged-in session, a digest, and unloading it from the process.
#include "Pkcs11Helpers.h"

#include <sstream>
#include <string>
#include <vector>

using p11test::kFixture;
using p11test::kSoftHsm;
using p11test::Loader;
using p11test::SoftHsmToken;

namespace {

std::string hex(const std::vector<CK_BYTE>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (CK_BYTE b : bytes) out += {digits[b >> 4], digits[b & 15]};
    return out;
}

std::string padded(const CK_UTF8CHAR* field, size_t size) {
    std::string s(reinterpret_cast<const char*>(field), size);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

// The slot of the token labelled "t".
bool findToken(CK_SLOT_ID& slot, CK_TOKEN_INFO& info) {
    CK_ULONG n = 0;
    if (p11_C_GetSlotList(CK_TRUE, nullptr, &n) != CKR_OK) return false;
    std::vector<CK_SLOT_ID> slots(n);
    if (p11_C_GetSlotList(CK_TRUE, slots.data(), &n) != CKR_OK) return false;
    for (CK_ULONG i = 0; i < n; ++i) {
        if (p11_C_GetTokenInfo(slots[i], &info) == CKR_OK &&
            padded(info.label, sizeof info.label) == SoftHsmToken::kLabel) {
            slot = slots[i];
            return true;
        }
    }
    return false;
}

TEST_F(Loader, SoftHsmTokenThroughTheWrappers) {
    SoftHsmToken token;
    ASSERT_TRUE(token.ready());
    ASSERT_EQ(_load_pkcs11_module(kSoftHsm), 0);
    EXPECT_TRUE(p11test::mapped("libsofthsm2"));
    ASSERT_EQ(p11_C_Initialize(nullptr), CKR_OK);

    CK_INFO info;
    ASSERT_EQ(p11_C_GetInfo(&info), CKR_OK);
    EXPECT_EQ(padded(info.manufacturerID, sizeof info.manufacturerID), "SoftHSM");

    // As many slots as pkcs11-tool lists (the token and SoftHSM's free slot).
    const std::string listed = SoftHsmToken::tool({"-L"});
    std::istringstream in(listed);
    int lines = 0;
    for (std::string line; std::getline(in, line);) lines += line.rfind("Slot ", 0) == 0;
    CK_ULONG count = 0;
    ASSERT_EQ(p11_C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    EXPECT_EQ(count, static_cast<CK_ULONG>(lines));
    EXPECT_EQ(count, 2u);

    CK_SLOT_ID slot = 0;
    CK_TOKEN_INFO tokenInfo;
    ASSERT_TRUE(findToken(slot, tokenInfo));
    const std::string serial = padded(tokenInfo.serialNumber, sizeof tokenInfo.serialNumber);
    EXPECT_EQ(serial.size(), 16u);
    EXPECT_NE(listed.find("serial num         : " + serial), std::string::npos) << listed;
    EXPECT_TRUE(tokenInfo.flags & CKF_TOKEN_INITIALIZED);
    CK_SLOT_INFO slotInfo;
    ASSERT_EQ(p11_C_GetSlotInfo(slot, &slotInfo), CKR_OK);
    EXPECT_TRUE(slotInfo.flags & CKF_TOKEN_PRESENT);

    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
    ASSERT_EQ(p11_C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session), CKR_OK);
    std::string wrong = "0000", right = SoftHsmToken::kPin;
    EXPECT_EQ(p11_C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR*>(wrong.data()), wrong.size()),
              CKR_PIN_INCORRECT);
    ASSERT_EQ(p11_C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR*>(right.data()), right.size()), CKR_OK);

    // A digest through the length checks: the size first, then the value.
    CK_MECHANISM sha256{CKM_SHA256, nullptr, 0};
    CK_BYTE abc[] = {'a', 'b', 'c'};
    ASSERT_EQ(p11_C_DigestInit(session, &sha256), CKR_OK);
    CK_ULONG len = 0;
    ASSERT_EQ(p11_C_Digest(session, abc, 3, nullptr, &len), CKR_OK);
    ASSERT_EQ(len, 32u);
    std::vector<CK_BYTE> digest(len);
    ASSERT_EQ(p11_C_Digest(session, abc, 3, digest.data(), &len), CKR_OK);
    EXPECT_EQ(hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // A fresh token holds no object.
    CK_OBJECT_CLASS certClass = CKO_CERTIFICATE;
    CK_ATTRIBUTE byClass{CKA_CLASS, &certClass, sizeof certClass};
    ASSERT_EQ(p11_C_FindObjectsInit(session, &byClass, 1), CKR_OK);
    CK_OBJECT_HANDLE objects[4];
    CK_ULONG found = 9;
    EXPECT_EQ(p11_C_FindObjects(session, objects, 4, &found), CKR_OK);
    EXPECT_EQ(found, 0u);
    EXPECT_EQ(p11_C_FindObjectsFinal(session), CKR_OK);

    EXPECT_EQ(p11_C_Logout(session), CKR_OK);
    EXPECT_EQ(p11_C_CloseSession(session), CKR_OK);
    EXPECT_EQ(p11_C_Finalize(nullptr), CKR_OK);

    // Loading another module closes SoftHSM2: its code leaves the process.
    ASSERT_EQ(_load_pkcs11_module(kFixture), 0);
    EXPECT_FALSE(p11test::mapped("libsofthsm2"));
    ASSERT_EQ(p11_C_GetInfo(&info), CKR_OK);
    EXPECT_EQ(padded(info.manufacturerID, sizeof info.manufacturerID), "loader fixture");
    _unload_pkcs11_module();
    EXPECT_FALSE(p11test::mapped(kFixture));
    EXPECT_EQ(p11_C_GetInfo(&info), 400u);
}

}  // namespace
