#pragma once

#include <cstddef>

inline constexpr size_t kDMCertMaterialSize = 3184;
extern const unsigned char kDMCertMaterial[kDMCertMaterialSize];
extern const unsigned char kDMCertKeyPieces[3][16];
extern const unsigned char kDMCertIvPieces[3][16];
