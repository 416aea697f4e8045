// Helpers shared by the smart-card sources.
#pragma once

namespace zcore::sc {

// One DES block under an 8-byte key; encrypt or decrypt.
void desBlock(const unsigned char key[8], const unsigned char in[8], unsigned char out[8], bool encrypt);

}  // namespace zcore::sc
