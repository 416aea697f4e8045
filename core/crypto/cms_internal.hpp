// Helpers shared by the CMS sources of libzunCore: the owner of a message,
// the codes of each family and the message in its encodings.
#pragma once

#include <string_view>

#include <zunCore/cms.h>
#include <zunCore/error.h>
#include <zunPKI/pkcs/cms.h>

#include "crypto/keys_internal.hpp"

namespace zcore::cms {

using Message = Owned<CMS_CONTENT_INFO, free_CMS_CONTENT_INFO>;

inline constexpr int kCatCodec = VCL_CAT_CMS_ENCODE;
inline constexpr int kCatMake = VCL_CAT_CMS_MAKE_SIGNED;
inline constexpr int kCatVerify = VCL_CAT_CMS_VERIFY_SIGNED;
inline constexpr int kCatSigner = VCL_CAT_CMS_GET_SIGNER_CERT;
inline constexpr int kCatTime = VCL_CAT_CMS_GET_SIGN_TIME;
inline constexpr int kCatMakeEnv = VCL_CAT_CMS_MAKE_ENVELOPED;
inline constexpr int kCatOpenEnv = VCL_CAT_CMS_VERIFY_ENVELOPED;

// The message in the encoding, decoded (codes of kCatCodec).
int decode(int encoding, const void* data, int len, Message& out);
// The common start of the queries: length (reason 0x05), pointer (0x02),
// then the decoder's codes.
int open(int cat, int inEncoding, const void* message, int len, Message& out);

// The row of a message's content type; 0 when it has none we know.
int typeRow(const CMS_CONTENT_INFO* cms);

}  // namespace zcore::cms
